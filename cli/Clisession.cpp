#include "Clisession.h"

#include "Catalogue.h"
#include "Cliexit.h"
#include "Clifleet.h"
#include "Clireport.h"
#include "Commonutils.h"
#include "Dialing.h"
#include "Hayesmodem.h"
#include "Language.h"
#include "Netport.h"
#include "Terminal.h"

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

TSession::TSession(const TOptions& o)
    : m_Ui(o.yes, o.agreed, Terminal().m_Interrupt),
      ops(Parameters(), Terminal(), Language(), m_Ui),
      m_Dialing(Terminal().m_Interrupt, 120000)
{
    Language().InitEnglish(ProgramFolder());
    BuildCatalogue(Parameters());
    ops.ComPort = o.ports.value(0);
    ops.FirmwareFolder = ProgramFolder();
    ops.AnswerWaitMs = o.waitSeconds * 1000;
    // Connecting to a terminal server waits as long as an answer would, never for ever.
    if (o.waitSeconds > 0) Terminal().m_Comm.ConnectTimeout = o.waitSeconds * 1000;
    // Only the upgrade command flashes; every other one stops at old firmware.
    ops.OfferUpgrade = false;
    Terminal().m_View = &m_Dialing;
    Terminal().m_OnStateChange = [this](bool c, bool a) { ops.SetLinkState(c, a); };
    if (!o.modemNumber.isEmpty()) {
        if (o.modem.startsWith('/') || IsNetworkPort(o.modem))
            Terminal().SetTelephony(
                std::make_unique<CHayesTelephony>(std::vector<std::pair<QString, QString>>{{o.modem, o.modem}}, false));
        // The call, too, is given up after --wait, not after the modem's own minute.
        auto* modem = dynamic_cast<CHayesTelephony*>(Terminal().Telephony());
        if (modem && o.waitSeconds > 0) modem->m_DialTimeoutMs = std::min(modem->m_DialTimeoutMs, o.waitSeconds * 1000);
        ops.IsModem = true;
        ops.ModemNumber = o.modemNumber;
        ops.ModemId = o.modem;
    }
    // Remembered from one run to the next: a transfer this program cut off on a port.
    ops.CutTransfers = CCutTransfers(CCutTransfers::StateFolder());
    ops.CutUpgrades = CCutTransfers(CCutTransfers::StateFolder("cut-upgrades"));
    // A copy that cannot be kept stops write and apply alike; here the way out is an option.
    ops.NoCopyMessage = [](const QString& folder, const QString& reason) {
        return "Nothing was written: the copy of the gateway's configuration could not be kept in " + Quoted(folder) +
               " (" + reason + "). Make room there, or give --no-backup to write without a copy.";
    };
    // A run whose reader went away (a fleet's parent) still ends its
    // operation in order instead of dying at its next line of output.
    std::signal(SIGPIPE, SIG_IGN);
    CatchInterrupts(&Terminal().m_Interrupt, &Terminal().m_InterruptNow, &Terminal().m_InterruptFinishes);
}

TSession::~TSession()
{
    Release();
    CatchInterrupts(nullptr);
    Terminal().m_OnStateChange = nullptr;
    Terminal().m_View = nullptr;
}

void TSession::Release()
{
    ops.EndSession();
    Terminal().Close();
}

bool TSession::Connect()
{
    if (!ops.IsModem || Terminal().m_Interrupt) return !ops.IsModem;
    ops.ConnectModem();
    return ops.ModemConnected;
}

bool TSession::Interrupted() const { return Terminal().m_Interrupt; }

int TSession::Exit(const QString& command)
{
    if (Interrupted() && ops.FinishedAfterBreak) {
        // Stopping would have left the gateway worse off: said, and still an interrupt for the script.
        Release();
        const QString whole = command == "upgrade" ? "the gateway runs firmware " + ops.GatewayVersion + " now"
                                                   : "the gateway holds the new configuration whole, read back";
        m_Ui.Interrupted(QString("interrupted by %1: '%2' on %3 was finished first (%4), then the port was closed")
                             .arg(SignalName(InterruptSignal()), command, Where(), whole));
        return kInterrupted;
    }
    if (Interrupted()) {
        Release();
        m_Ui.Interrupted(QString("interrupted by %1%2: stopped '%3' on %4 %5and closed the port")
                             .arg(SignalName(InterruptSignal()), Terminal().m_InterruptNow ? " twice" : "", command,
                                  Where(), Terminal().m_InterruptNow ? "at once " : ""));
        return kInterrupted;
    }
    switch (ops.Outcome) {
    case TOutcome::Done: return Say(kRefused, "'" + command + "' did not finish on " + Where());
    case TOutcome::Declined:
        if (!ops.GatewayVersion.isEmpty() && ops.UpgradeCutEarlier())
            return Say(kRefused,
                       QString("the firmware upgrade on %1 was cut off earlier, so the gateway's firmware is "
                               "incomplete, although it reports version %2: 'korvanext-cli upgrade FILE --port %3' "
                               "repeats it; '%4' was not done")
                           .arg(Where(), ops.GatewayVersion, ops.ComPort, command));
        if (!ops.GatewayVersion.isEmpty() && !ops.FirmwareCurrent())
            return Say(kRefused,
                       QString("the gateway on %1 has firmware %2, older than version 3, and '%3' does not upgrade "
                               "it: 'korvanext-cli upgrade FILE' does that")
                           .arg(Where(), ops.GatewayVersion, command));
        if (m_Ui.LastError().isEmpty()) m_Ui.Error("declined: nothing was changed");
        return kRefused;
    case TOutcome::Damaged: return kDamaged;
    case TOutcome::BadInput: return kDataError;
    case TOutcome::FileError: return kFileError;
    case TOutcome::Link:
        if (ops.LinkCode == CE_USER) return Say(kInterrupted, "interrupted: stopped '" + command + "' on " + Where());
        if (m_Ui.LastError().isEmpty())
            m_Ui.Error(QString("link failure %1 on %2").arg(LinkErrorName(ops.LinkCode), Where()));
        return kLinkError + ops.LinkCode;
    }
    return kRefused;
}

int TSession::CannotWrite(const QString& path, const QString& why)
{
    return Say(kFileError, "cannot write " + Quoted(path) + ": " + why);
}

void TSession::AddToReport(QJsonObject report, int code) const
{
    report["port"] = ops.IsModem ? ops.ModemNumber : ops.ComPort;
    if (code != kOk && !m_Ui.DeclinedQuestion().isEmpty()) report["declinedQuestion"] = m_Ui.DeclinedQuestion();
    Report().Add(report);
    if (code != kOk && !m_Ui.LastError().isEmpty()) Report().KeepError(m_Ui.LastError());
}

// A link failure exits with 10 + its code.
static_assert(kLineLost == kLinkError + CE_NOT_CONNECTED && kInterrupted == kLinkError + CE_USER &&
              kNoAnswer == kLinkError + CE_CONNECTION_TIMEOUT && kBadReply == kLinkError + CE_PARSING_ERROR &&
              kSendFailed == kLinkError + CE_SEND_ERROR && kPortError == kLinkError + CE_OPEN_ERROR);

int WithLink(const QString& command, TOptions& o, const TLinkRun& run, const std::function<bool(TSession&)>& beforeLink)
{
    if (const int rc = ParseLinkOptions(o)) return rc;
    if (o.ports.size() > 1) {
        TFleetRun fleet;
        fleet.command = command;
        fleet.arguments = o.positional + o.passOn;
        fleet.ports = o.ports;
        fleet.json = o.json;
        fleet.jobs = o.jobs;
        std::atomic<bool> interrupt{false};
        CatchInterrupts(&interrupt);
        const int rc = RunFleet(fleet, interrupt);
        CatchInterrupts(nullptr);
        return rc;
    }
    RouteDiagnostics(o.verbose);
    TSession s(o);
    QJsonObject report;
    int rc = kOk;
    if (beforeLink && !beforeLink(s)) {
        rc = s.Exit(command);
    } else if (!s.Connect()) {
        rc = s.ops.Outcome == TOutcome::Link || s.Interrupted()
                 ? s.Exit(command)
                 : s.Say(kLinkError, "no modem connection to " + o.modemNumber);
    } else {
        rc = run(s, o, report);
        if (s.Interrupted() && rc != kInterrupted) rc = s.Exit(command);
    }
    s.AddToReport(report, rc);
    return rc;
}
