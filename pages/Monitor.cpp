#include "Monitor.h"

#include "Commonutils.h"
#include "Terminal.h"
#include "Pageform.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Signalquery.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const int kTextAntenna = 520, kTextBest = 521, kTextWorst = 522, kTextLevelAxis = 523, kTextTimeAxis = 524,
          kTextSignalSeries = 525, kTextNow = 537, kTextBestSeries = 541, kTextWorstSeries = 542, kTextNowSeries = 543;
const int kLowestDb = -113, kHighestDb = -49;
}  // namespace

TFMonitor::TFMonitor(TPageHost& host, QWidget* parent) : QDialog(parent), m_Host(host)
{
    setObjectName("TFMonitor");
    SetTag(this, 17);
    auto* grid = new QGridLayout;
    auto label = [this](const char* name, int tag) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        SetTag(l, tag, false);
        return l;
    };
    const struct {
        QLabel** caption;
        const char* captionName;
        int tag;
        QLabel** value;
        const char* valueName;
    } rows[] = {{&StatusCaption, "StatusCaption", 100, &Status, "Status"},
                {&ModuleCaption, "ModuleCaption", 94, &Module, "Module"},
                {&ImeiCaption, "ImeiCaption", 95, &Imei, "Imei"},
                {&ImsiCaption, "ImsiCaption", 96, &Imsi, "Imsi"},
                {&SmsCentreCaption, "SmsCentreCaption", 97, &SmsCentreNumber, "SmsCentreNumber"},
                {&OperatorCaption, "OperatorCaption", 98, &Operator, "Operator"},
                {&CallCaption, "CallCaption", 131, &Call, "Call"},
                {&SignalCaption, "SignalCaption", 99, &Signal, "Signal"}};
    int r = 0;
    for (const auto& row : rows) {
        *row.caption = label(row.captionName, row.tag);
        *row.value = label(row.valueName, 101);
        (*row.value)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        (*row.value)->setMinimumWidth(260);
        grid->addWidget(*row.caption, r, 0, Qt::AlignTop);
        grid->addWidget(*row.value, r, 1);
        ++r;
    }
    Module->setWordWrap(true);
    SignalBar = new QProgressBar(this);
    SignalBar->setObjectName("SignalBar");
    SignalBar->setRange(0, 32);
    SignalBar->setTextVisible(false);
    SignalLevel = new QLabel(this);
    SignalLevel->setObjectName("SignalLevel");
    grid->addWidget(SignalBar, r - 1, 1);
    grid->addWidget(SignalLevel, r, 1);
    OkButton = new QPushButton(this);
    OkButton->setObjectName("OkButton");
    SetTag(OkButton, 1);
    AntennaBox = new QCheckBox(this);
    AntennaBox->setObjectName("AntennaBox");
    SetTag(AntennaBox, kTextAntenna);
    BuildChart();
    auto* l = new QVBoxLayout(this);
    l->addLayout(grid);
    l->addWidget(SignalChart, 1);
    l->addWidget(SignalSummary);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(AntennaBox);
    bottom->addStretch();
    bottom->addWidget(OkButton);
    l->addLayout(bottom);
    connect(OkButton, &QPushButton::clicked, this, &TFMonitor::OkButtonClick);
    connect(AntennaBox, &QCheckBox::clicked, this, &TFMonitor::AntennaBoxClick);
    PollTimer.setSingleShot(true);
    PollTimer.setInterval(500);
    connect(&PollTimer, &QTimer::timeout, this, &TFMonitor::PollTimerTimeout);
}

void TFMonitor::SetText(QLabel* label, int textNumber)
{
    SetTag(label, textNumber, false);
    label->setText(Language().Text(textNumber));
}

void TFMonitor::SetValue(QLabel* label, const std::string& value, int emptyText)
{
    if (value.empty()) {
        SetText(label, emptyText);
        return;
    }
    SetTag(label, 0, false);
    label->setText(FromBytes(value));
}

void TFMonitor::BuildChart()
{
    auto* chart = new QChart;
    m_Line = new QLineSeries(chart);
    m_Best = new QScatterSeries(chart);
    m_Worst = new QScatterSeries(chart);
    m_Now = new QScatterSeries(chart);
    m_Best->setColor(QColor(0, 150, 0));
    m_Worst->setColor(QColor(200, 0, 0));
    m_Now->setColor(QColor(0, 90, 200));
    for (QScatterSeries* s : {m_Best, m_Worst, m_Now}) s->setMarkerSize(11);
    m_TimeAxis = new QDateTimeAxis(chart);
    m_TimeAxis->setFormat("HH:mm:ss");
    m_TimeAxis->setTickCount(6);
    m_LevelAxis = new QValueAxis(chart);
    m_LevelAxis->setRange(kLowestDb, kHighestDb);
    m_LevelAxis->setTickCount(5);  // every 16 dB, from the lowest level the module reports
    m_LevelAxis->setLabelFormat("%d");
    chart->addAxis(m_TimeAxis, Qt::AlignBottom);
    chart->addAxis(m_LevelAxis, Qt::AlignLeft);
    for (QXYSeries* s : std::initializer_list<QXYSeries*>{m_Line, m_Best, m_Worst, m_Now}) {
        chart->addSeries(s);
        s->attachAxis(m_TimeAxis);
        s->attachAxis(m_LevelAxis);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    SignalChart = new QChartView(chart, this);
    SignalChart->setObjectName("SignalChart");
    SignalChart->setRenderHint(QPainter::Antialiasing);
    SignalChart->setMinimumSize(480, 240);
    SignalChart->setVisible(false);
    SignalSummary = new QLabel(this);
    SignalSummary->setObjectName("SignalSummary");
    SignalSummary->setVisible(false);
}

void TFMonitor::TranslateChart()
{
    CLanguage& l = Language();
    m_Line->setName(l.Text(kTextSignalSeries));
    m_Best->setName(l.Text(kTextBestSeries));
    m_Worst->setName(l.Text(kTextWorstSeries));
    m_Now->setName(l.Text(kTextNowSeries));
    m_LevelAxis->setTitleText(l.Text(kTextLevelAxis));
    m_TimeAxis->setTitleText(l.Text(kTextTimeAxis));
    UpdateChart();
}

// The kept readings on the chart: the last few minutes, the best, the worst and the latest marked.
void TFMonitor::UpdateChart()
{
    const auto& readings = m_Trace.Readings();
    QList<QPointF> points;
    for (const auto& r : readings) points.append(QPointF(double(r.time.toMSecsSinceEpoch()), r.dB));
    m_Line->replace(points);
    const auto mark = [](QScatterSeries* s, const CSignalTrace::TReading* r) {
        if (r) s->replace(QList<QPointF>{QPointF(double(r->time.toMSecsSinceEpoch()), r->dB)});
        else s->clear();
    };
    mark(m_Best, m_Trace.Best());
    mark(m_Worst, m_Trace.Worst());
    mark(m_Now, readings.empty() ? nullptr : &readings.back());
    // Thirty readings across at least, at most the kept time, the newest reading at the right.
    const QDateTime last = readings.empty() ? QDateTime::currentDateTime() : readings.back().time;
    QDateTime first = readings.empty() ? last : readings.front().time;
    const qint64 least = std::max<qint64>(3000, 30LL * m_AntennaInterval);
    if (first.msecsTo(last) < least) first = last.addMSecs(-least);
    m_TimeAxis->setRange(first, last.addMSecs(least / 30));
    if (readings.empty()) {
        SignalSummary->clear();
        return;
    }
    const auto* best = m_Trace.Best();
    const auto* worst = m_Trace.Worst();
    CLanguage& l = Language();
    SignalSummary->setText(Substitute(l.Text(kTextNow), {QString::number(readings.back().dB)}) + "    " +
                           Substitute(l.Text(kTextBest), {QString::number(best->dB), best->time.toString("HH:mm:ss")}) +
                           "    " + Substitute(l.Text(kTextWorst), {QString::number(worst->dB)}));
}

bool TFMonitor::AntennaMode() const { return AntennaBox->isChecked(); }

void TFMonitor::AntennaBoxClick()
{
    const bool on = AntennaMode();
    if (on) m_Trace.Clear();
    UpdateChart();
    SignalChart->setVisible(on);
    SignalSummary->setVisible(on);
    adjustSize();
    // The running pause belongs to the other mode: the next poll follows the new one at once.
    if (m_PauseLoop) m_PauseLoop->quit();
}

void TFMonitor::showEvent(QShowEvent* event)
{
    TranslatePage(this);
    ResetDisplay();
    TranslateChart();
    // Over a modem call nothing is polled, so there is no antenna to place.
    AntennaBox->setEnabled(!m_Host.IsModem());
    SignalChart->setVisible(AntennaMode());
    SignalSummary->setVisible(AntennaMode());
    QDialog::showEvent(event);
    if (!m_Host.IsModem()) PollTimer.start();
}

void TFMonitor::ResetDisplay()
{
    for (QLabel* l : {Module, Imei, Imsi, SmsCentreNumber, Operator, Signal, Call}) SetText(l, 101);
    SetText(Status, 103);
    Signal->setVisible(true);
    SignalBar->setVisible(false);
    SignalLevel->setVisible(false);
    m_Trace.Clear();
    UpdateChart();
    if (m_Host.IsModem() && m_Host.ModemConnected()) {
        const auto f = MonitorParse::IdentFields(m_Host.GatewayIdent());
        if (f.size() > 0) SetValue(Module, f[0], 101);
        if (f.size() > 1) SetValue(Imei, f[1], 101);
        if (f.size() > 2) SetValue(Operator, f[2], 101);
        if (f.size() > 3) Operator->setText(Operator->text() + FromBytes(f[3]));
        ShowSignal(f.size() > 4 && !f[4].empty() ? ParseNumber(f[4]) : -1);
        SetText(Status, 102);
    }
}

void TFMonitor::ShowSignal(int q)
{
    const bool bar = q >= 0 && q <= 32;
    if (bar) {
        SignalBar->setValue(q);
        SignalLevel->setText(Substitute("%i dB", {QString::number(2 * q - 113)}));
    }
    SignalBar->setVisible(bar);
    SignalLevel->setVisible(bar);
    Signal->setVisible(!bar);
}

void TFMonitor::Pause(int ms)
{
    if (m_Stop) return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    m_PauseLoop = &loop;
    loop.exec();
    m_PauseLoop = nullptr;
}

bool TFMonitor::Send(const char* command, const char* ok)
{
    const bool answered = Terminal().SendAndWait(command, ok, "ERROR\r\n") == 1;
    if (m_Stop) throw CCOMTermExp(CE_USER);
    return answered;
}

// A value that the module gives between two line ends, asked with an alternative command if need be.
std::string TFMonitor::Value(const char* command, const char* alternative)
{
    bool answered = Send(command);
    if (!answered && alternative) {
        Pause(300);
        answered = Send(alternative);
    }
    const std::string v = answered ? ExtractOrEmpty("\r\n", "\r\n") : std::string();
    Pause(300);
    return v;
}

// A value of the reply fit to show, or empty when the reply does not hold one.
std::string TFMonitor::ExtractOrEmpty(const char* start, const char* end)
{
    try {
        return MonitorParse::Clean(Terminal().Extract(start, end));
    } catch (const CCOMTermExp&) {
        return {};
    }
}

// The signal, asked and shown; a module that says ERROR shows it has no value.
TSignalReading TFMonitor::ReadSignal()
{
    const TSignalReading signal = QuerySignal(Terminal());
    if (m_Stop) throw CCOMTermExp(CE_USER);
    if (!signal.answered) SetText(Signal, 240);
    ShowSignal(signal.csq);
    return signal;
}

// Antenna mode: the signal alone, as often as the module answers comfortably.
void TFMonitor::AntennaCycle()
{
    int q = -1;
    if (Send("AT+CSQ")) {
        SetText(Status, 102);
        const std::string v = ExtractOrEmpty("+CSQ:", ",");
        q = v.empty() || v.size() > 4 ? -1 : ParseNumber(v);
        ShowSignal(q);
    } else {
        SetText(Signal, 240);
        ShowSignal(-1);
    }
    m_Trace.Add(QDateTime::currentDateTime(), q);
    UpdateChart();
    Pause(m_AntennaInterval);
}

void TFMonitor::Cycle(bool& first, bool& centreKnown)
{
    if (AntennaMode()) {
        AntennaCycle();
        return;
    }
    CCOMTerminal& term = Terminal();
    if (first) {
        first = false;
        term.SendAndWait("AT", "OK\r\n");
        Pause(300);
        SetText(Status, 102);
        const std::string maker = Value("AT+GMI", "AT+CGMI");
        const std::string model = Value("AT+GMM", "AT+CGMM");
        const std::string revision = Value("AT+GMR", "AT+CGMR");
        if (maker.empty() && model.empty() && revision.empty())
            SetText(Module, 240);
        else
            SetValue(Module, maker + " " + model + " " + revision, 240);
        SetValue(Imei, Value("AT+GSN", "AT+CGSN"), 240);
        SetValue(Imsi, Value("AT+CIMI", nullptr), 240);
    }
    if (m_Stop) return;
    if (!centreKnown) {
        if (Send("AT+CSCA?")) {
            SetValue(SmsCentreNumber, ExtractOrEmpty("\"", "\""), 101);
            centreKnown = true;
        } else {
            SmsCentreNumber->clear();
        }
        Pause(300);
    }
    std::string name;
    if (Send("AT+COPS=3,0")) {
        Pause(300);
        if (Send("AT+COPS?")) name = ExtractOrEmpty("\"", "\"");
    }
    Pause(300);
    if (Send("AT+COPS=3,2")) {
        Pause(300);
        if (Send("AT+COPS?")) {
            const std::string numeric = ExtractOrEmpty("\"", "\"");
            if (!numeric.empty()) name += " (" + numeric + ")";
        }
    }
    SetValue(Operator, name, 240);
    Pause(300);
    if (Send("AT+CLCC", "\r\nOK\r\n")) {
        SetText(Call, 134);
        int direction = 0;
        std::string number;
        if (MonitorParse::FirstCall(term.Received(), direction, number)) {
            const int text = direction == 0 ? 133 : 132;
            Call->setText(Language().Text(text) + " (" + FromBytes(number) + ")");
            SetTag(Call, text, false);
        }
    } else {
        SetText(Call, 240);
    }
    Pause(300);
    if (Send("AT+CSQ")) {
        const std::string q = ExtractOrEmpty("+CSQ:", ",");
        ShowSignal(q.empty() || q.size() > 4 ? -1 : ParseNumber(q));
    } else {
        SetText(Signal, 240);
        ShowSignal(-1);
    }
    Pause(m_CyclePause);
}

void TFMonitor::PollTimerTimeout()
{
    PollTimer.stop();
    m_Stop = false;
    if (m_Host.MonitorBusy()) return;
    m_Host.SetMonitorBusy(true);
    m_Polling = true;
    CCOMTerminal& term = Terminal();
    // Whatever ends the loop, the port is closed and the program is free again.
    struct Cleanup {
        TFMonitor* m;
        ~Cleanup()
        {
            Terminal().Close();
            m->m_Host.SetMonitorBusy(false);
            m->m_Polling = false;
            m->PollTimer.stop();
        }
    } cleanup{this};
    try {
        m_Host.CloseGatewayLink();
        term.Close();
        Pause(1000);
        if (m_Stop) return;
        try {
            term.Connect(m_Host.ComPort(), 57600);
        } catch (const CCOMTermExp& e) {
            m_Host.ShowLinkError(e);
            m_Stop = true;
            done(0);
            return;
        }
        term.m_Terminator = 13;
        term.m_Timeout = 1000;
        bool first = true, centreKnown = false;
        while (!m_Stop) {
            try {
                Cycle(first, centreKnown);
            } catch (const CCOMTermExp& e) {
                if (e.Code == CE_USER || m_Stop) break;
                SetText(Status, 103);
                first = true;
                if (e.Code == CE_NOT_CONNECTED || e.Code == CE_SEND_ERROR) {
                    // The line went away: open it again before the next cycle.
                    Pause(1000);
                    if (m_Stop) break;
                    try {
                        term.Connect(m_Host.ComPort(), 57600);
                        term.m_Terminator = 13;
                    } catch (const CCOMTermExp&) {
                    }
                } else {
                    Pause(300);
                }
            }
        }
    } catch (const std::exception&) {
        // A failure outside the link's own errors ends the monitor cleanly.
        m_Stop = true;
        if (isVisible()) done(0);
    }
}

void TFMonitor::OkButtonClick()
{
    ResetDisplay();
    m_Stop = true;
    Terminal().m_Abort = true;
    if (m_PauseLoop) m_PauseLoop->quit();
    PollTimer.stop();
    done(0);
}

void TFMonitor::reject() { OkButtonClick(); }
