// The seven configuration pages, in the order of the window's page list.
#pragma once
#include <array>

class QWidget;
class TFPage;

std::array<TFPage*, 7> MakePages(QWidget* parent);
