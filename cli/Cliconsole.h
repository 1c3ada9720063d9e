// The command line's side of the gateway operations: progress and messages on
// the error output, questions answered by --yes, dialling progress, and the
// signals that interrupt an operation.
#pragma once
#include "Dialing.h"
#include "Gatewayops.h"

#include <QString>
#include <QStringList>
#include <atomic>

// SIGINT, SIGTERM and SIGHUP set the flag (and remember the signal); a second
// one sets `now` (the operation stops at once, even in the middle of a block),
// a third ends the program. A first SIGTERM or SIGHUP also sets `finishes`:
// nobody is there to decide, so a write under way finishes its blocks.
void CatchInterrupts(std::atomic<bool>* flag, std::atomic<bool>* now = nullptr, std::atomic<bool>* finishes = nullptr);
// The signal that interrupted, 0 when none, and how many came.
int InterruptSignal();
int InterruptCount();
const char* SignalName(int signal);

// Debug and information lines of the libraries reach the error output only
// with --verbose; warnings always do.
void RouteDiagnostics(bool verbose);

class TConsoleUI : public TOperationUI {
public:
    // yes: every question agreed to; agreed: those of these names (--agree).
    TConsoleUI(bool yes, const QStringList& agreed, std::atomic<bool>& interrupt);
    void ShowProgress(bool show, int textNumber, bool withBar) override;
    void SetProgressLabel(const QString& text) override;
    void SetProgressMax(int max) override { m_Max = max; }
    void SetProgressPos(int pos) override;
    void SetCancelVisible(bool) override {}
    bool Cancelled() const override { return m_Interrupt; }
    void Message(const QString& text, TIcon icon) override;
    bool Ask(const QString& text, TIcon icon, TDefaultAnswer preset = TDefaultAnswer::Yes) override;
    bool AskQuestion(TQuestion question, const QString& text, TIcon icon, TDefaultAnswer preset) override;
    QString ChooseFirmware(const QStringList&) override { return {}; }
    void ProcessEvents() override;
    void Stopping(const QString& text) override;
    void FinishingWrite() override;
    void FinishingFirmware(int secondsLeft) override;

    // Prints an error line; also kept as the last error for --json.
    void Error(const QString& text);
    QString LastError() const { return m_LastError; }
    // The name of the question last not agreed to (empty: none).
    QString DeclinedQuestion() const { return m_Declined; }
    // The one line of an interrupt, with what the operation said after it.
    void Interrupted(const QString& text);

private:
    void Line(const QString& text);
    void Print(const QString& line);
    // A line that is said also without a terminal, never the error of --json.
    void Note(const QString& text);
    // Prints the question with its answer and how it came about; returns the answer.
    bool Answer(const QString& text, bool yes, const QString& why);
    bool m_Yes;
    QStringList m_Agreed;
    QString m_Declined;
    bool m_Tty;
    std::atomic<bool>& m_Interrupt;
    bool m_Shown = false;
    bool m_BarShown = false;
    int m_Max = 0;
    int m_Percent = -1;  // the percentage last printed
    QString m_LastError;
    QString m_Held;
};

// Dialling progress on a terminal; the wait for the call ends on an interrupt
// or after its bound.
class TConsoleDialingView : public TDialingView {
public:
    TConsoleDialingView(std::atomic<bool>& interrupt, int boundMs);
    void Prepare() override {}
    void Hide() override {}
    void Add(const QString& message) override;
    void RunModal() override;
    void CloseModal() override { m_Closed = true; }
    bool Active() const override { return !m_Interrupt; }
    void CallEnded() override { m_Closed = true; }

private:
    std::atomic<bool>& m_Interrupt;
    int m_BoundMs;
    bool m_Tty;
    bool m_Closed = false;
};
