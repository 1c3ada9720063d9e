#include "Monitor.h"

#include "Commonutils.h"
#include "Terminal.h"
#include "Pageform.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Netport.h"
#include "Signalquery.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {
const int kTextAntenna = 520, kTextBest = 521, kTextWorst = 522, kTextNow = 537, kTextNoReading = 655,
          kTextNowNoReading = 656, kTextRawNetworkPort = 657;
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
    SignalChart = new TSignalChart(this);
    SignalChart->setVisible(false);
    SignalSummary = new QLabel(this);
    SignalSummary->setObjectName("SignalSummary");
    SignalSummary->setWordWrap(true);
    SignalSummary->setVisible(false);
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

void TFMonitor::TranslateChart()
{
    SignalChart->Translate(Language());
    UpdateChart();
}

// The chart and the line under it: now, best (with its time) and worst of the kept readings.
void TFMonitor::UpdateChart()
{
    SignalChart->Show(m_Trace, m_AntennaInterval);
    if (m_Trace.Readings().empty()) {
        SignalSummary->clear();
        return;
    }
    CLanguage& l = Language();
    const auto* now = m_Trace.Now();
    QStringList parts{now ? Substitute(l.Text(kTextNow), {QString::number(now->dB)}) : l.Text(kTextNowNoReading)};
    if (const auto* best = m_Trace.Best()) {
        parts << Substitute(l.Text(kTextBest), {QString::number(best->dB), best->time.toString("HH:mm:ss")})
              << Substitute(l.Text(kTextWorst), {QString::number(m_Trace.Worst()->dB)});
    }
    SignalSummary->setText(parts.join("    "));
}

bool TFMonitor::AntennaMode() const { return AntennaBox->isChecked(); }

void TFMonitor::AntennaBoxClick()
{
    const bool on = AntennaMode();
    if (on) m_Trace.Clear();
    UpdateChart();
    SignalChart->setVisible(on);
    SignalSummary->setVisible(on);
    KeepOnScreen();
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
    QDialog::showEvent(event);
    KeepOnScreen();
    // Once the window manager has framed it, the frame is known.
    QTimer::singleShot(0, this, &TFMonitor::KeepOnScreen);
    if (!m_Host.IsModem()) PollTimer.start();
}

QRect TFMonitor::ScreenArea() const
{
    if (!m_ScreenArea.isEmpty()) return m_ScreenArea;
    QScreen* s = isVisible() ? screen() : nullptr;
    if (!s && parentWidget()) s = parentWidget()->window()->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

void TFMonitor::KeepOnScreen()
{
    const QRect area = ScreenArea();
    if (area.isEmpty()) return;
    const QRect inner = geometry(), outer = frameGeometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                   outer.bottom() - inner.bottom());
    // Not framed yet: room for a title bar and borders.
    if (frame.isNull()) {
        const int border = 4;
        frame = QMargins(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
    }
    const QSize most(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
    setMaximumSize(most);
    // As large as its contents want, up to the area (adjustSize stops at two thirds of the screen).
    resize(sizeHint().boundedTo(most));
    QRect placed(pos(), size() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()));
    if (placed.right() > area.right()) placed.moveRight(area.right());
    if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
    if (placed.left() < area.left()) placed.moveLeft(area.left());
    if (placed.top() < area.top()) placed.moveTop(area.top());
    if (placed.topLeft() != pos()) move(placed.topLeft());
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
    // Before the dialog is sized for its opening: the chart shows in antenna mode.
    SignalChart->setVisible(AntennaMode());
    SignalSummary->setVisible(AntennaMode());
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
        SignalLevel->setText(Substitute("%i dBm", {QString::number(2 * q - 113)}));
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
    else if (!signal.Measured()) SetText(Signal, kTextNoReading);
    ShowSignal(signal.Measured() ? signal.csq : -1);
    return signal;
}

// The last value no longer holds: the link went away.
void TFMonitor::ShowNoReading()
{
    SetText(Signal, kTextNoReading);
    ShowSignal(-1);
    if (!AntennaMode()) return;
    m_Trace.AddGap(QDateTime::currentDateTime());
    UpdateChart();
}

// Antenna mode: the signal alone, as often as the module answers comfortably.
void TFMonitor::AntennaCycle()
{
    const TSignalReading signal = ReadSignal();
    if (signal.answered) SetText(Status, 102);
    // A reading without a level is kept as a gap: the chart breaks there.
    m_Trace.Add(QDateTime::currentDateTime(), signal.Measured() ? signal.csq : -1);
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
        if (maker.empty() && model.empty() && revision.empty()) SetText(Module, 240);
        else SetValue(Module, maker + " " + model + " " + revision, 240);
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
    ReadSignal();
    Pause(m_CyclePause);
}

void TFMonitor::PollTimerTimeout()
{
    PollTimer.stop();
    m_Stop = false;
    if (m_Host.MonitorBusy()) return;
    // A raw network port keeps the server's speed: nothing would ever answer.
    if (const QString instead = SignalPortInstead(m_Host.ComPort()); !instead.isEmpty()) {
        m_Stop = true;
        m_Host.Warning(Substitute(Language().Text(kTextRawNetworkPort), {ShownPortText(m_Host.ComPort()), instead}));
        done(0);
        return;
    }
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
                ShowNoReading();
                first = true;
                if (e.Code == CE_NOT_CONNECTED || e.Code == CE_SEND_ERROR) {
                    // The line went away: open it again before the next cycle.
                    Pause(1000);
                    if (m_Stop) break;
                    try {
                        term.Connect(m_Host.ComPort(), 57600);
                        term.m_Terminator = 13;
                    } catch (const CCOMTermExp&) {}
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
