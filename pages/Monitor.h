// The GSM monitor: polls the gateway's GSM module with AT commands over the
// cable and shows its identity, network, call and signal.
#pragma once
#include <QDialog>
#include <QEventLoop>
#include <QRect>
#include <QTimer>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TPageHost;

#include "Monitorparse.h"
#include "Signalchart.h"
#include "Signalquery.h"
#include "Signaltrace.h"

class TFMonitor : public QDialog {
    Q_OBJECT
public:
    TFMonitor(TPageHost& host, QWidget* parent = nullptr);
    void ResetDisplay();
    void ShowSignal(int q);
    void PollTimerTimeout();
    void OkButtonClick();
    // Antenna mode: only the signal, every m_AntennaInterval, drawn on the chart.
    void AntennaBoxClick();
    bool AntennaMode() const;
    const CSignalTrace& Trace() const { return m_Trace; }
    bool Stopped() const { return m_Stop; }
    bool Polling() const { return m_Polling; }
    // The dialog sized to its contents within the available area of its screen,
    // whatever the mode and language: no larger than the area less the window
    // frame (the chart gives way), and moved into it.
    void KeepOnScreen();
    // For a test: the area to keep within instead of the screen's (empty: the screen's).
    void SetScreenArea(const QRect& area) { m_ScreenArea = area; }

    QLabel *StatusCaption, *Status, *ModuleCaption, *Module, *ImeiCaption, *Imei, *ImsiCaption, *Imsi,
        *SmsCentreCaption, *SmsCentreNumber, *OperatorCaption, *Operator, *CallCaption, *Call, *SignalCaption, *Signal,
        *SignalLevel;
    QProgressBar* SignalBar;
    QPushButton* OkButton;
    QCheckBox* AntennaBox;  // antenna mode
    TSignalChart* SignalChart;
    QLabel* SignalSummary;  // now, best (with its time) and worst of the chart
    QTimer PollTimer;
    int m_CyclePause = 10000;      // between two polling cycles [ms]
    int m_AntennaInterval = 1000;  // between two signal readings in antenna mode [ms]

protected:
    void showEvent(QShowEvent* event) override;  // FormActivate
    void reject() override;

private:
    void Cycle(bool& first, bool& centreKnown);
    void AntennaCycle();
    void UpdateChart();
    void TranslateChart();
    TSignalReading ReadSignal();
    void ShowNoReading();
    QRect ScreenArea() const;
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
    CSignalTrace m_Trace;
    QRect m_ScreenArea;
};
