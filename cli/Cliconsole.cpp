#include "Cliconsole.h"

#include "Cliquestions.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Globals.h"
#include "Language.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
// One line of text: the lines of a message joined into sentences.
QString FlatText(const QString& text)
{
    QStringList sentences;
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty()) continue;
        if (!QString(".?!:").contains(line.back())) line += '.';
        sentences << line;
    }
    return sentences.join(' ');
}
}  // namespace

// ---------------------------------------------------------------- signals

namespace {
// A signal handler may only store into lock-free atomics.
std::atomic<std::atomic<bool>*> g_InterruptFlag{nullptr};
std::atomic<std::atomic<bool>*> g_InterruptNowFlag{nullptr};
std::atomic<std::atomic<bool>*> g_InterruptFinishesFlag{nullptr};
volatile std::sig_atomic_t g_Signal = 0;
volatile std::sig_atomic_t g_Count = 0;
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int signal)
{
    if (g_Count == 0) {
        g_Signal = signal;
        g_Count = 1;
        // Set before the flag, so that whoever sees the flag knows its kind.
        std::atomic<bool>* finishes = g_InterruptFinishesFlag.load();
        if (finishes) finishes->store(signal == SIGTERM || signal == SIGHUP);
        if (std::atomic<bool>* flag = g_InterruptFlag.load()) flag->store(true);
        return;
    }
    // The second stops at once, also in the middle of a block; a third need not wait for that.
    g_Count = 2;
    if (std::atomic<bool>* now = g_InterruptNowFlag.load()) now->store(true);
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &deflt, nullptr);
}
}  // namespace

void CatchInterrupts(std::atomic<bool>* flag, std::atomic<bool>* now, std::atomic<bool>* finishes)
{
    g_InterruptFlag = flag;
    g_InterruptNowFlag = now;
    g_InterruptFinishesFlag = finishes;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    // The handler runs for one signal at a time, so that it counts them right.
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, s);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

int InterruptCount() { return g_Count; }

int InterruptSignal() { return g_Signal; }

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

// ---------------------------------------------------------------- diagnostics

namespace {
bool g_Verbose = false;

void Diagnostic(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if ((type == QtDebugMsg || type == QtInfoMsg) && !g_Verbose) return;
    std::fprintf(stderr, "korvanext-cli: %s\n", qPrintable(ShownText(message.trimmed())));
}
}  // namespace

void RouteDiagnostics(bool verbose)
{
    g_Verbose = verbose;
    // The link's and the upgrade's diagnostics are silent by default (a polling
    // window would print them once a second); --verbose asks for them.
    if (verbose) QLoggingCategory::setFilterRules("korvanext.link.debug=true\nkorvanext.upgrade.debug=true");
    qInstallMessageHandler(Diagnostic);
}

// ---------------------------------------------------------------- console

TConsoleUI::TConsoleUI(bool yes, const QStringList& agreed, std::atomic<bool>& interrupt)
    : m_Yes(yes), m_Agreed(agreed), m_Tty(isatty(2)), m_Interrupt(interrupt)
{}

void TConsoleUI::Line(const QString& text)
{
    if (!m_Tty) return;
    std::fprintf(stderr, "%s%s\n", m_BarShown ? "\n" : "", qPrintable(ShownText(FlatText(text))));
    m_BarShown = false;
}

void TConsoleUI::ShowProgress(bool show, int textNumber, bool)
{
    if (show) Line(Language().Text(textNumber));
    else if (m_Shown && m_BarShown && m_Tty) {
        std::fputc('\n', stderr);
        m_BarShown = false;
    }
    m_Shown = show;
}

void TConsoleUI::SetProgressLabel(const QString& text) { Line(text); }

void TConsoleUI::SetProgressPos(int pos)
{
    if (m_Tty && m_Shown && m_Max > 0) {
        // The bar follows every received chunk; the terminal needs only whole percents.
        const int percent = 100 * std::min(pos, m_Max) / m_Max;
        if (m_BarShown && percent == m_Percent) return;
        m_Percent = percent;
        std::fprintf(stderr, "\r  %3d %%", percent);
        std::fflush(stderr);
        m_BarShown = true;
    }
}

void TConsoleUI::Print(const QString& line)
{
    m_LastError = line;
    std::fprintf(stderr, "%skorvanext-cli: %s\n", m_BarShown ? "\n" : "", qPrintable(ShownText(line)));
    m_BarShown = false;
}

void TConsoleUI::Error(const QString& text)
{
    // An interrupt ends with one line; what the operation says on its way out joins it.
    if (m_Interrupt) m_Held += (m_Held.isEmpty() ? "" : " ") + FlatText(text);
    else Print(FlatText(text));
}

void TConsoleUI::Interrupted(const QString& text)
{
    Print(m_Held.isEmpty() ? FlatText(text) : FlatText(text) + " " + m_Held);
    m_Held.clear();
}

void TConsoleUI::Message(const QString& text, TIcon icon)
{
    if (icon == TIcon::Error || icon == TIcon::Warning) Error(text);
    else Line(text);
}

bool TConsoleUI::Answer(const QString& text, bool yes, const QString& why)
{
    // The question is printed in every case: it names what is about to happen.
    std::fprintf(stderr, "%skorvanext-cli: %s [%s: %s]\n", m_BarShown ? "\n" : "",
                 qPrintable(ShownText(FlatText(text))), yes ? "yes" : "no", qPrintable(why));
    m_BarShown = false;
    if (!yes) m_LastError = FlatText(text) + " (not agreed: " + why + ")";
    return yes;
}

bool TConsoleUI::Ask(const QString& text, TIcon, TDefaultAnswer)
{
    return Answer(text, m_Yes, m_Yes ? "--yes" : "give --yes to agree");
}

bool TConsoleUI::AskQuestion(TQuestion question, const QString& text, TIcon, TDefaultAnswer)
{
    const QString name = QuestionName(question);
    if (m_Agreed.contains(name)) return Answer(text, true, "--agree " + name);
    if (!m_Yes) m_Declined = name;
    return Answer(text, m_Yes, m_Yes ? "--yes" : "give --agree " + name + " or --yes to agree");
}

void TConsoleUI::ProcessEvents() { QCoreApplication::processEvents(); }

void TConsoleUI::Stopping(const QString& text)
{
    Line(text + "\nA second interrupt stops at once, and may leave the gateway in the middle of the block.");
}

void TConsoleUI::Note(const QString& text)
{
    std::fprintf(stderr, "%skorvanext-cli: %s\n", m_BarShown ? "\n" : "", qPrintable(ShownText(text)));
    m_BarShown = false;
}

void TConsoleUI::FinishingWrite()
{
    Note(QString("%1 received: finishing the write so that the gateway is left whole (both blocks new, read back); "
                 "a second signal stops at once and may leave the gateway in the middle of a block")
             .arg(SignalName(InterruptSignal())));
}

void TConsoleUI::FinishingFirmware(int secondsLeft)
{
    Note(QString("%1 received: the firmware transfer finishes first (about %2 s more); a second signal cuts it and "
                 "leaves the gateway without working firmware until 'korvanext-cli upgrade FILE' is run again")
             .arg(SignalName(InterruptSignal()))
             .arg(secondsLeft));
}

// ---------------------------------------------------------------- dialling

TConsoleDialingView::TConsoleDialingView(std::atomic<bool>& interrupt, int boundMs)
    : m_Interrupt(interrupt), m_BoundMs(boundMs), m_Tty(isatty(2))
{}

void TConsoleDialingView::Add(const QString& message)
{
    if (m_Tty) std::fprintf(stderr, "%s\n", qPrintable(ShownText(FlatText(message))));
    else qInfo("%s", qPrintable(FlatText(message)));
}

void TConsoleDialingView::RunModal()
{
    m_Closed = false;
    QElapsedTimer waited;
    waited.start();
    // Waits only while a call is being set up; a failure to start one has been said already.
    while (!m_Closed && !m_Interrupt && Terminal().m_CallActive && (m_BoundMs <= 0 || waited.elapsed() < m_BoundMs))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);  // the terminal's timer wakes it
}
