// The GSM monitor: polls the gateway's GSM module with AT commands.
#pragma once
#include <QDialog>

class TFMain;

class TFMonitor : public QDialog {
    Q_OBJECT
public:
    TFMonitor(TFMain& main, QWidget* parent = nullptr);

private:
    TFMain& m_Main;
};
