// The seven configuration pages, in the order of the window's page list.
#pragma once
#include <array>

class QWidget;
class TFDForm;

std::array<TFDForm*, 7> MakePages(QWidget* parent);
