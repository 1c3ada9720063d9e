// Does every text fit its control? Walks a window's visible widgets and names
// each label, button, group title, tab, list item or table header that is cut.
#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Misfits among the visible widgets of the window of root, each as
// "control: what does not fit". Widgets cut off by a parent count as misfits too.
QStringList Misfits(QWidget* root);

// Lets pending layout and paint requests run.
void Settle();

// Runs visit once for every combination of tabs that can show within scope,
// with the path of tab texts; the first tabs are shown again afterwards.
void ForEveryTab(QWidget* scope, const std::function<void(const QString& path)>& visit, const QString& path = {});
