// The GSM monitor: polls the gateway's GSM module with AT commands over the
// cable and shows its identity, network, call and signal.
#pragma once
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class TPageHost;

#include "Monitorparse.h"

class TFMonitor : public QDialog {
    Q_OBJECT
public:
    TFMonitor(TPageHost& host, QWidget* parent = nullptr);
    void ResetDisplay();
    void ShowSignal(int q);
    void Timer1Timer();
    void Button1Click();
    bool Stopped() const { return m_Stop; }
    bool Polling() const { return m_Polling; }

    QLabel *Label11, *Label28, *Label2, *Label16, *Label4, *Label18, *Label6, *Label20, *Label8, *Label22, *Label10,
        *Label24, *Label32, *Label30, *Label14, *Label26, *Label34;
    QProgressBar* ProgressBar1;
    QPushButton* Button1;
    QTimer Timer1;
    int m_CyclePause = 10000;  // between two polling cycles [ms]

protected:
    void showEvent(QShowEvent* event) override;  // FormActivate
    void reject() override;

private:
    void Cycle(bool& first, bool& centreKnown);
    bool Send(const char* command, const char* ok = "OK\r\n");
    std::string Value(const char* command, const char* alternative);
    std::string ExtractOrEmpty(const char* start, const char* end);
    void Pause(int ms);
    void SetText(QLabel* label, int textNumber);
    void SetValue(QLabel* label, const std::string& value, int emptyText);

    TPageHost& m_Host;
    QEventLoop* m_PauseLoop = nullptr;  // the running pause, which Close ends at once
    bool m_Stop = true;
    bool m_Polling = false;
};
