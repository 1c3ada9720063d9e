#include "Monitor.h"

#include "Main.h"

TFMonitor::TFMonitor(TFMain& main, QWidget* parent) : QDialog(parent), m_Main(main) { setObjectName("TFMonitor"); }
