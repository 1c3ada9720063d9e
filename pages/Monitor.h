// The GSM monitor: polls the gateway's GSM module with AT commands over the
// cable and shows its identity, network, call and signal.
#pragma once
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

class QCheckBox;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QScatterSeries;
class QValueAxis;
class TPageHost;

#include "Monitorparse.h"
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

    QLabel *StatusCaption, *Status, *ModuleCaption, *Module, *ImeiCaption, *Imei, *ImsiCaption, *Imsi,
        *SmsCentreCaption, *SmsCentreNumber, *OperatorCaption, *Operator, *CallCaption, *Call, *SignalCaption, *Signal,
        *SignalLevel;
    QProgressBar* SignalBar;
    QPushButton* OkButton;
    QCheckBox* AntennaBox;  // antenna mode
    QChartView* SignalChart;
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
    void BuildChart();
    void UpdateChart();
    void TranslateChart();
    TSignalReading ReadSignal();
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
    QLineSeries* m_Line = nullptr;
    QScatterSeries *m_Best = nullptr, *m_Worst = nullptr, *m_Now = nullptr;
    QDateTimeAxis* m_TimeAxis = nullptr;
    QValueAxis* m_LevelAxis = nullptr;
};
