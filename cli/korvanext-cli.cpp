// Command-line access to the tool's configuration model and gateway link, for
// scripts and for many gateways at once.
#include "Captions.h"
#include "Catalogue.h"
#include "Cliconsole.h"
#include "Cliexit.h"
#include "Clifleet.h"
#include "Clireport.h"
#include "Dialing.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Netport.h"
#include "Parameters.h"
#include "Sheet.h"
#include "Writecheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDefaultWaitSeconds = 15;

int Fail(int code, const QString& message)
{
    Report().Error(message);
    return code;
}

QString Quoted(const QString& path) { return "'" + path + "'"; }


// ---------------------------------------------------------------- files

// Why a file cannot be written (created or replaced), or empty when it can.
QString WriteProblem(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray p = QFile::encodeName(path);
    struct stat st{};
    if (::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return "it is a folder";
    const QString folder = info.absolutePath();
    const QByteArray f = QFile::encodeName(folder);
    if (::stat(f.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "folder " + Quoted(folder) + ": " + QString::fromLocal8Bit(std::strerror(errno ? errno : ENOTDIR));
    // Written through a temporary file beside it: the folder must take new files.
    if (::access(f.constData(), W_OK) != 0)
        return "folder " + Quoted(folder) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

// Why a folder cannot be made or written into, or empty when it can.
QString FolderProblem(const QString& path)
{
    QString existing = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(existing) && QFileInfo(existing).absolutePath() != existing)
        existing = QFileInfo(existing).absolutePath();
    const QByteArray e = QFile::encodeName(existing);
    struct stat st{};
    if (::stat(e.constData(), &st) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return Quoted(existing) + " is not a folder";
    if (::access(e.constData(), W_OK) != 0) return Quoted(existing) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

// Creates the folder: empty, or why it cannot be.
QString MakeFolder(const QString& path)
{
    if (const QString why = FolderProblem(path); !why.isEmpty()) return why;
    return CreatePath(path) ? QString() : QString("it cannot be created");
}

int CannotRead(const QString& path, const QString& why) { return Fail(kFileError, "cannot read " + Quoted(path) + ": " + why); }
int CannotWrite(const QString& path, const QString& why) { return Fail(kFileError, "cannot write " + Quoted(path) + ": " + why); }

// Writes a gateway image atomically (every byte on the disk before the old file
// is replaced); empty, or the reason of the failure.
QString SaveImage(const QString& path, const std::vector<uint8_t>& image)
{
    TFileStatus status;
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), int(image.size()));
    return WriteFileAtomically(path, bytes, &status) ? QString() : status.Reason;
}

QString SaveConfiguration(const CParameters& p, const QString& path)
{
    TFileStatus status;
    return p.SaveToFile(QFile::encodeName(path).toStdString(), status) ? QString() : status.Reason;
}

// Reads a regular file of at most maxSize bytes: 0, or the exit status after
// saying why not (devices and FIFOs are never opened).
int ReadBounded(const QString& path, qint64 maxSize, QByteArray& bytes, const QString& what)
{
    TFileStatus status;
    if (ReadFileBounded(path, maxSize, bytes, &status)) return kOk;
    if (status.Kind == TFileStatus::TooLarge) return Fail(kDataError, Quoted(path) + " is not " + what + ": " + status.Reason);
    return CannotRead(path, status.Reason);
}

// Loads a configuration file: 0, or the exit status after saying why not. A
// file that names no known key is refused: it would load as the defaults.
// `gaps` receives what the file left out of the gateway's settings.
int LoadConfiguration(CParameters& p, const QString& path, CParameters::TFileGaps* gaps = nullptr)
{
    CParameters::TLoadReport r;
    if (!p.LoadFromFile(QFile::encodeName(path).toStdString(), r)) {
        if (r.File.Kind == TFileStatus::NotConfiguration)
            return Fail(kDataError, "no configuration keys found in " + Quoted(path));
        if (r.File.Kind == TFileStatus::TooLarge)
            return Fail(kDataError, Quoted(path) + " is not a configuration file: " + r.File.Reason);
        return CannotRead(path, r.File.Reason);
    }
    if (r.UnknownCount > 0) {
        QStringList names;
        for (const std::string& n : r.UnknownNames) names << QString::fromStdString(n);
        if (r.UnknownCount > int(r.UnknownNames.size())) names << "...";
        std::fprintf(stderr, "korvanext-cli: %s: %d unknown keys ignored: %s\n", qPrintable(ShownText(Quoted(path))),
                     r.UnknownCount, qPrintable(ShownText(names.join(", "))));
    }
    if (gaps) *gaps = r.Gaps;
    return kOk;
}

// Warns of what the configuration from `path` would give the gateway other
// than the file says: values it cannot hold, what the file left out.
void WarnNotHeld(const CParameters& p, const QString& path, const CParameters::TFileGaps& gaps, const char* outcome)
{
    const TWriteCheck check = CheckBeforeWrite(p, gaps);
    for (const TDifference& d : check.changed)
        std::fprintf(stderr, "korvanext-cli: %s: %s %s cannot be held by the gateway, it keeps %s (%s)\n",
                     qPrintable(Quoted(path)), SettingName(d.key, d.index, d.count).c_str(), qPrintable(ShownValue(d.mine)),
                     qPrintable(ShownValue(d.other)), qPrintable(HeldLimit(*p.Find(d.key)->Par)));
    if (!check.missing.empty()) {
        QStringList names;
        for (const CParameters::TFileGap& g : check.missing) names << GapName(g);
        std::fprintf(stderr, "korvanext-cli: %s lacks %s: %s\n", qPrintable(Quoted(path)), qPrintable(names.join(", ")),
                     outcome);
    }
    if (check.brokenLastLine)
        std::fprintf(stderr, "korvanext-cli: %s ends in a broken line: it may have been cut short\n", qPrintable(Quoted(path)));
}

std::unique_ptr<CParameters> Catalogue()
{
    auto p = std::make_unique<CParameters>();
    BuildCatalogue(*p);
    return p;
}

// ---------------------------------------------------------------- keys and rows

int EditDistance(const QString& a, const QString& b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j) row[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] = std::min({up + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[size_t(b.size())];
}

QString ClosestKey(const CParameters& p, const QString& key)
{
    QString best;
    int bestDistance = 1 << 30;
    for (const auto& entry : p.Entries()) {
        if (!entry.second.Par->m_InFile) continue;
        const QString k = QString::fromStdString(entry.first);
        const int d = EditDistance(k.toLower(), key.toLower());
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

// KEY or KEY:ROW (rows count from 1, as the window shows them). row is 0 for
// a whole key.
struct TKeyRef {
    std::string key;
    int row = 0;
    const CParameters::TMultiPar* par = nullptr;
};

int ParseKeyRef(const CParameters& p, const QString& text, TKeyRef& ref)
{
    const int colon = text.indexOf(':');
    const QString key = colon < 0 ? text : text.left(colon);
    ref.key = key.toStdString();
    ref.par = p.Find(ref.key);
    if (!ref.par || !ref.par->Par->m_InFile) {
        if (ref.par) return Fail(kUsage, Quoted(key) + " is not kept in configuration files");
        return Fail(kUsage, "unknown key " + Quoted(key) + "; the closest is " + Quoted(ClosestKey(p, key)) +
                                " ('korvanext-cli keys' lists them all)");
    }
    if (colon < 0) return kOk;
    bool ok = false;
    ref.row = text.mid(colon + 1).toInt(&ok);
    if (!ok || ref.row < 1 || ref.row > ref.par->Count)
        return Fail(kUsage, QString("%1 has %2: not %3")
                                .arg(key, ref.par->Count == 1 ? QString("no rows") : QString("rows 1 to %1").arg(ref.par->Count),
                                     Quoted(text.mid(colon + 1))));
    return kOk;
}

QString KeyName(const std::string& key, int count, int index) { return QString::fromStdString(SettingName(key, index, count)); }

// ---------------------------------------------------------------- option parsing

struct TOptions {
    QCommandLineParser parser;
    QStringList positional;
    QStringList ports;
    bool yes = false, json = false, verbose = false;
    bool linkParsed = false;  // the link options are read once, also when a command looks at them first
    int waitSeconds = kDefaultWaitSeconds;
    int jobs = 32;  // gateways of a fleet at once
    QString modem, modemNumber;
    QStringList passOn;  // what every run of a fleet gets besides its port
};

enum TGroup { kFileCommand, kDiffCommand, kLinkCommand, kWriteCommand, kBackupsCommand, kUpgradeCommand, kSignalCommand, kSheetCommand };

bool OnLink(TGroup group)
{
    return group == kLinkCommand || group == kWriteCommand || group == kUpgradeCommand || group == kSignalCommand;
}

// The options; their descriptions are in the help texts below.
const QCommandLineOption kPort("port", QString(), "PORT");
const QCommandLineOption kPortsFrom("ports-from", QString(), "FILE");
const QCommandLineOption kModem("modem", QString(), "DEVICE");
const QCommandLineOption kModemNumber("modem-number", QString(), "NUMBER");
const QCommandLineOption kYes({"y", "yes"}, QString());
const QCommandLineOption kWait("wait", QString(), "SECONDS");
const QCommandLineOption kVerbose("verbose", QString());
const QCommandLineOption kJobs("jobs", QString(), "N");
const QCommandLineOption kJson("json", QString());
const QCommandLineOption kDefaults("defaults", QString());
const QCommandLineOption kHelp({"h", "help"}, QString());
const QCommandLineOption kOnly("only", QString(), "KEY[,KEY...]");
const QCommandLineOption kNoBackup("no-backup", QString());
const QCommandLineOption kSerial("serial", QString(), "N");
const QCommandLineOption kForceDamaged("force-damaged", QString());
const QCommandLineOption kInterval("interval", QString(), "S");
const QCommandLineOption kCount("count", QString(), "N");
const QCommandLineOption kLanguageId("language", QString(), "ID");

void AddOptions(QCommandLineParser& parser, TGroup group)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kHelp, kJson});
    if (group == kDiffCommand) parser.addOption(kDefaults);
    if (OnLink(group)) parser.addOptions({kPort, kPortsFrom, kModem, kModemNumber, kYes, kWait, kVerbose, kJobs});
    if (group == kSignalCommand) parser.addOptions({kInterval, kCount});
    if (group == kSheetCommand) parser.addOption(kLanguageId);
    if (group == kWriteCommand) parser.addOptions({kOnly, kNoBackup});
    if (group == kUpgradeCommand) parser.addOption(kForceDamaged);
    if (group == kBackupsCommand) parser.addOption(kSerial);
}

// Reads the ports of --ports-from: 0, or the exit status after saying why not.
int ReadPorts(const QString& path, QStringList& ports)
{
    QByteArray bytes;
    if (const int rc = ReadBounded(path, kMaxConfigFileSize, bytes, "a list of ports")) return rc;
    for (const QByteArray& raw : bytes.split('\n')) {
        QString line = QString::fromLocal8Bit(raw);
        line = line.left(line.indexOf('#')).trimmed();
        if (!line.isEmpty()) ports << line;
    }
    if (ports.isEmpty()) return Fail(kUsage, Quoted(path) + " names no port");
    return kOk;
}

int ParseLinkOptions(TOptions& o)
{
    if (o.linkParsed) return kOk;
    const QCommandLineParser& p = o.parser;
    o.ports.clear();
    o.passOn.clear();
    o.yes = p.isSet(kYes);
    o.json = p.isSet(kJson);
    o.verbose = p.isSet(kVerbose);
    o.ports = p.values(kPort);
    if (p.isSet(kPortsFrom))
        for (const QString& file : p.values(kPortsFrom))
            if (const int rc = ReadPorts(file, o.ports)) return rc;
    if (o.ports.removeDuplicates() > 0) return Fail(kUsage, "a port is given twice");
    if (p.isSet(kWait)) {
        bool ok = false;
        o.waitSeconds = p.value(kWait).toInt(&ok);
        if (!ok || o.waitSeconds < 0) return Fail(kUsage, "--wait wants a number of seconds, not " + Quoted(p.value(kWait)));
    }
    if (p.isSet(kJobs)) {
        bool ok = false;
        o.jobs = p.value(kJobs).toInt(&ok);
        if (!ok || o.jobs < 1) return Fail(kUsage, "--jobs wants a number of gateways at once, 1 or more, not " + Quoted(p.value(kJobs)));
    }
    o.modem = p.value(kModem);
    o.modemNumber = p.value(kModemNumber);
    if (!o.modemNumber.isEmpty() && !o.ports.isEmpty()) return Fail(kUsage, "give either --port or --modem-number");
    if (!o.modem.isEmpty() && o.modemNumber.isEmpty()) return Fail(kUsage, "--modem needs --modem-number");
    // Never a guess: dialling on a port taken at random would write into whatever is attached there.
    if (o.modem.isEmpty() && !o.modemNumber.isEmpty()) return Fail(kUsage, "--modem-number needs --modem DEVICE, the modem's serial device or network port");
    // A network port that cannot be one is a wrong command line, told before
    // anything is opened, and never with a password it may hold.
    for (const QString& port : o.ports + QStringList{o.modem}) {
        TNetworkAddress address;
        if (IsNetworkPort(port) && !ParseNetworkPort(port, address))
            return Fail(kUsage, Quoted(ShownPortText(port)) + " is no network port: name it socket://HOST:PORT or rfc2217://HOST:PORT");
    }
    if (o.ports.isEmpty()) o.ports << "Com1";
    if (o.yes) o.passOn << "--yes";
    if (o.verbose) o.passOn << "--verbose";
    if (p.isSet(kWait)) o.passOn << "--wait" << QString::number(o.waitSeconds);
    // The write's own options go to every gateway of a fleet too.
    const QStringList given = p.optionNames();
    if (given.contains(kNoBackup.names().front())) o.passOn << "--no-backup";
    if (given.contains(kOnly.names().front())) o.passOn << "--only" << p.values(kOnly).join(',');
    if (given.contains(kForceDamaged.names().front())) o.passOn << "--force-damaged";
    o.linkParsed = true;
    return kOk;
}

// ---------------------------------------------------------------- link session

// The program's objects and the gateway operations, set up for one command on one gateway.
class TSession {
public:
    explicit TSession(const TOptions& o)
        : m_Ui(o.yes, Terminal().m_Interrupt), ops(Parameters(), Terminal(), Language(), m_Ui),
          m_Dialing(Terminal().m_Interrupt, 120000)
    {
        Language().Init(ProgramFolder(), nullptr, nullptr);
        const int eng = Language().FindLanguage("Eng");
        if (Language().LanguageCount() > 0) Language().LoadLanguage(eng >= 0 ? eng : 0);
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
                Terminal().SetTelephony(std::make_unique<CHayesTelephony>(
                    std::vector<std::pair<QString, QString>>{{o.modem, o.modem}}, false));
            // The call, too, is given up after --wait, not after the modem's own minute.
            auto* modem = dynamic_cast<CHayesTelephony*>(Terminal().Telephony());
            if (modem && o.waitSeconds > 0) modem->m_DialTimeoutMs = std::min(modem->m_DialTimeoutMs, o.waitSeconds * 1000);
            ops.IsModem = true;
            ops.ModemNumber = o.modemNumber;
            ops.ModemId = o.modem;
        }
        // Remembered from one run to the next: a transfer this program cut off on a port.
        ops.CutTransfers = CCutTransfers(CCutTransfers::StateFolder());
        // A run whose reader went away (a fleet's parent) still ends its
        // operation in order instead of dying at its next line of output.
        std::signal(SIGPIPE, SIG_IGN);
        CatchInterrupts(&Terminal().m_Interrupt, &Terminal().m_InterruptNow);
    }
    ~TSession()
    {
        Release();
        CatchInterrupts(nullptr);
        Terminal().m_OnStateChange = nullptr;
        Terminal().m_View = nullptr;
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // Ends the link: "A" to a greeted gateway, the port closed, a call hung up.
    void Release()
    {
        ops.EndSession();
        Terminal().Close();
    }
    // Dials when a modem is asked for; false when no call came up.
    bool Connect()
    {
        if (!ops.IsModem || Terminal().m_Interrupt) return !ops.IsModem;
        ops.ConnectModem();
        return ops.ModemConnected;
    }
    QString Where() const { return ops.IsModem ? "the modem call to " + ops.ModemNumber : ops.PortName(); }
    bool Interrupted() const { return Terminal().m_Interrupt; }

    // The exit status of an operation that did not succeed, with its one line
    // where the operation did not print one itself.
    int Exit(const QString& command)
    {
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
            if (!ops.GatewayVersion.isEmpty() && !ops.FirmwareCurrent())
                return Say(kRefused, QString("the gateway on %1 has firmware %2, older than version 3, and '%3' does not upgrade "
                                             "it: 'korvanext-cli upgrade FILE' does that")
                                         .arg(Where(), ops.GatewayVersion, command));
            if (m_Ui.LastError().isEmpty()) m_Ui.Error("declined: nothing was changed");
            return kRefused;
        case TOutcome::Damaged: return kDamaged;
        case TOutcome::BadInput: return kDataError;
        case TOutcome::FileError: return kFileError;
        case TOutcome::Link:
            if (ops.LinkCode == CE_USER) return Say(kInterrupted, "interrupted: stopped '" + command + "' on " + Where());
            if (m_Ui.LastError().isEmpty()) m_Ui.Error(QString("link failure %1 on %2").arg(LinkErrorName(ops.LinkCode), Where()));
            return kLinkError + ops.LinkCode;
        }
        return kRefused;
    }
    int Say(int code, const QString& line)
    {
        m_Ui.Error(line);
        return code;
    }
    // A file that cannot be written once the gateway was read: said as every
    // error of the session is, so that --json carries it too.
    int CannotWrite(const QString& path, const QString& why) { return Say(kFileError, "cannot write " + Quoted(path) + ": " + why); }
    // The command's fields and the port for the JSON document, and the error it ended with.
    void AddToReport(QJsonObject report, int code) const
    {
        report["port"] = ops.IsModem ? ops.ModemNumber : ops.ComPort;
        Report().Add(report);
        if (code != kOk && !m_Ui.LastError().isEmpty()) Report().KeepError(m_Ui.LastError());
    }

private:
    TGlobalObjects m_Globals;
    TConsoleUI m_Ui;

public:
    CGatewayOps ops;

private:
    TConsoleDialingView m_Dialing;
};

QString Value(const char* key) { return FromBytes(Parameters().GetValue(key, 0)); }

// A name for per-gateway files: the serial number, else the port.
QString GatewayFileName(const TSession& s)
{
    QString name = Value("SerialNum");
    if (name.isEmpty()) name = "port-" + QFileInfo(s.ops.ComPort).fileName();
    return CKeptCopies::FolderName(name);
}

// Files named by serial number are created new in the folder and never replace
// nor follow what is there: when the name is taken (another gateway of the run
// reporting the same serial number, an earlier run, a planted link) the port's
// name is added, then a number. files: the endings and their bytes, all
// written under one name. Empty, or why not; written gets the paths.
QString CreateGatewayFiles(const TSession& s, const QString& folder, const QString& stem,
                           const std::vector<std::pair<QString, QByteArray>>& files, unsigned mode, QStringList& written)
{
    const QString port = CKeptCopies::FolderName(s.ops.IsModem ? s.ops.ModemNumber : QFileInfo(s.ops.ComPort).fileName());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = attempt == 0 ? stem : attempt == 1 ? stem + "-" + port : QString("%1-%2-%3").arg(stem, port).arg(attempt);
        written.clear();
        TFileStatus status;
        for (const auto& [ending, bytes] : files) {
            const QString path = QDir(folder).filePath(name + ending);
            if (!CreateFileExclusively(path, bytes, mode, &status)) break;
            written << path;
        }
        if (written.size() == int(files.size())) return {};
        for (const QString& path : written) QFile::remove(path);
        written.clear();
        if (status.Kind != TFileStatus::Exists) return Quoted(QDir(folder).filePath(name + files[0].first)) + ": " + status.Reason;
    }
    return Quoted(QDir(folder).filePath(stem + files[0].first)) + ": every name for it is taken";
}

QByteArray ConfigurationText(const CParameters& p)
{
    const std::string text = p.SaveToText();
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Runs one gateway operation; report collects the JSON fields, the text
// output is printed by the operation itself.
using TLinkRun = std::function<int(TSession&, const TOptions&, QJsonObject& report)>;

// A link failure exits with 10 + its code.
static_assert(kLineLost == kLinkError + CE_NOT_CONNECTED && kInterrupted == kLinkError + CE_USER &&
              kNoAnswer == kLinkError + CE_CONNECTION_TIMEOUT && kBadReply == kLinkError + CE_PARSING_ERROR &&
              kSendFailed == kLinkError + CE_SEND_ERROR && kPortError == kLinkError + CE_OPEN_ERROR);

// `beforeLink` runs before any port is opened or call placed; false ends the command there.
int WithLink(const QString& command, TOptions& o, const TLinkRun& run,
             const std::function<bool(TSession&)>& beforeLink = nullptr)
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
        rc = s.ops.Outcome == TOutcome::Link || s.Interrupted() ? s.Exit(command)
                                                                 : s.Say(kLinkError, "no modem connection to " + o.modemNumber);
    } else {
        rc = run(s, o, report);
        if (s.Interrupted() && rc != kInterrupted) rc = s.Exit(command);
    }
    s.AddToReport(report, rc);
    return rc;
}

// ---------------------------------------------------------------- commands

int CmdKeys(TOptions& o)
{
    const auto p = Catalogue();
    QJsonArray keys;
    for (const auto& [key, rc] : p->Entries()) {
        keys.append(QJsonObject{{"key", QString::fromStdString(key)}, {"type", rc.Par->ClassName()}, {"rows", rc.Count},
                                {"address", rc.Par->m_Address}});
        if (!o.json) std::printf("%s\t%s\t%d\t%d\n", key.c_str(), rc.Par->ClassName(), rc.Count, rc.Par->m_Address);
    }
    Report().Add({{"keys", keys}});
    return kOk;
}

int CmdDefaults(TOptions& o)
{
    const auto p = Catalogue();
    const QString path = o.positional[0];
    if (const QString why = SaveConfiguration(*p, path); !why.isEmpty()) return CannotWrite(path, why);
    Report().Add({{"file", path}});
    return kOk;
}

int CmdEncode(TOptions& o)
{
    const auto p = Catalogue();
    CParameters::TFileGaps gaps;
    if (const int rc = LoadConfiguration(*p, o.positional[0], &gaps)) return rc;
    WarnNotHeld(*p, o.positional[0], gaps, "the image has their defaults");
    const std::vector<uint8_t> image = GatewayImage(*p);
    const QString out = o.positional[1];
    if (const QString why = SaveImage(out, image); !why.isEmpty()) return CannotWrite(out, why);
    Report().Add({{"file", out}});
    return kOk;
}

int CmdDecode(TOptions& o)
{
    const QString in = o.positional[0], out = o.positional[1];
    QByteArray bytes;
    if (const int rc = ReadBounded(in, ImageLayout::ImageSize, bytes, "an image")) return rc;
    if (bytes.size() != ImageLayout::ImageSize)
        return Fail(kDataError, QString("%1 holds %2 bytes, an image has %3").arg(Quoted(in)).arg(bytes.size()).arg(ImageLayout::ImageSize));
    const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData());
    if (!Block1Valid(image)) return Fail(kDataError, "block 1 of " + Quoted(in) + " has a bad checksum");
    if (!Block2Valid(image)) return Fail(kDataError, "block 2 of " + Quoted(in) + " has a bad checksum");
    const auto p = Catalogue();
    p->FromImage(image);
    if (const QString why = SaveConfiguration(*p, out); !why.isEmpty()) return CannotWrite(out, why);
    Report().Add({{"file", out}});
    return kOk;
}

int CmdGet(TOptions& o)
{
    const auto p = Catalogue();
    TKeyRef ref;
    if (const int rc = ParseKeyRef(*p, o.positional[1], ref)) return rc;
    if (const int rc = LoadConfiguration(*p, o.positional[0])) return rc;
    // A value is printed as text, never as commands to the terminal.
    if (ref.row > 0 || ref.par->Count == 1) {
        const QString value = FromBytes(p->GetValue(ref.key, std::max(ref.row - 1, 0)));
        QJsonObject j{{"key", QString::fromStdString(ref.key)}, {"value", value}};
        if (ref.row > 0) j["row"] = ref.row;
        Report().Add(j);
        if (!o.json) std::printf("%s\n", ShownText(value).toLocal8Bit().constData());
        return kOk;
    }
    QJsonArray values;
    for (int i = 0; i < ref.par->Count; ++i) {
        const QString value = FromBytes(p->GetValue(ref.key, i));
        values.append(value);
        if (!o.json)
            std::printf("%s\t%s\n", qPrintable(KeyName(ref.key, ref.par->Count, i)), ShownText(value).toLocal8Bit().constData());
    }
    Report().Add({{"key", QString::fromStdString(ref.key)}, {"values", values}});
    return kOk;
}

int CmdSet(TOptions& o)
{
    const auto p = Catalogue();
    struct TAssignment {
        TKeyRef ref;
        QString given;
    };
    std::vector<TAssignment> assignments;
    // Every assignment is checked before the file is touched.
    for (int i = 1; i < o.positional.size(); ++i) {
        const QString& a = o.positional[i];
        const int eq = a.indexOf('=');
        if (eq <= 0) return Fail(kUsage, "expected KEY=VALUE or KEY:ROW=VALUE, not " + Quoted(a));
        TAssignment as;
        if (const int rc = ParseKeyRef(*p, a.left(eq), as.ref)) return rc;
        if (as.ref.row == 0 && as.ref.par->Count > 1)
            return Fail(kUsage, QString("%1 has rows 1 to %2: give KEY:ROW=VALUE").arg(a.left(eq)).arg(as.ref.par->Count));
        as.given = a.mid(eq + 1);
        assignments.push_back(as);
    }
    const QString path = o.positional[0];
    CParameters::TFileGaps gaps;
    if (const int rc = LoadConfiguration(*p, path, &gaps)) return rc;
    QJsonArray changed;
    for (const TAssignment& as : assignments) {
        const int index = std::max(as.ref.row - 1, 0);
        p->SetValue(as.ref.key, index, ToBytes(as.given));
        const std::string value = p->GetValue(as.ref.key, index);
        const QString stored = FromBytes(value);
        const QString name = KeyName(as.ref.key, as.ref.par->Count, index);
        // A value the gateway would change on the way is not what the user asked for.
        if (HeldValue(*as.ref.par->Par, value) != value)
            return Fail(kDataError, QString("%1: %2 cannot be held by the gateway, which keeps %3; %4 is unchanged")
                                        .arg(name, ShownValue(value), HeldLimit(*as.ref.par->Par), Quoted(path)));
        if (stored == as.given) continue;
        QJsonObject j{{"key", QString::fromStdString(as.ref.key)}, {"given", as.given}, {"stored", stored}};
        if (as.ref.row > 0) j["row"] = as.ref.row;
        changed.append(j);
        std::fprintf(stderr, "korvanext-cli: %s: \"%s\" is stored as \"%s\"\n", qPrintable(name), qPrintable(ShownText(as.given)),
                     qPrintable(ShownText(stored)));
    }
    WarnNotHeld(*p, path, gaps, "the file now holds their defaults");
    if (const QString why = SaveConfiguration(*p, path); !why.isEmpty()) return CannotWrite(path, why);
    Report().Add({{"file", path}, {"changed", changed}});
    return kOk;
}

// Prints each difference as KEY[:ROW] "a" -> "b" (unless JSON is asked for) and
// gives them as JSON, the two sides named aName and bName.
QJsonArray Differences(const TComparison& c, const char* aName, const char* bName, bool json)
{
    QJsonArray list;
    for (const TDifference& d : c.differences) {
        QJsonObject j{{"key", QString::fromStdString(d.key)}, {aName, FromBytes(d.mine)}, {bName, FromBytes(d.other)}};
        if (d.count > 1) j["row"] = d.index + 1;
        list.append(j);
        if (!json)
            std::printf("%s \"%s\" -> \"%s\"\n", qPrintable(KeyName(d.key, d.count, d.index)), EscapeFileValue(d.mine).c_str(),
                        EscapeFileValue(d.other).c_str());
    }
    return list;
}

int CmdDiff(TOptions& o)
{
    const bool defaults = o.parser.isSet(kDefaults);
    o.json = o.parser.isSet(kJson);
    if (o.positional.size() != (defaults ? 1 : 2))
        return Fail(kUsage, "diff compares two files: diff A.kvx B.kvx, or diff --defaults A.kvx");
    // From A to B, as diff(1) reads: with --defaults, from the defaults to A.
    const auto from = Catalogue(), to = Catalogue();
    const QString fromName = defaults ? QString("defaults") : o.positional[0];
    const QString toName = defaults ? o.positional[0] : o.positional[1];
    if (!defaults)
        if (const int rc = LoadConfiguration(*from, fromName)) return rc;
    if (const int rc = LoadConfiguration(*to, toName)) return rc;
    // Files are compared as they are kept: every key they carry, the gateway's
    // identification values included.
    std::set<std::string> kept;
    for (const auto& [key, rc] : from->Entries())
        if (rc.Par->m_InFile) kept.insert(key);
    const QJsonArray differences = Differences(CompareConfigurations(*from, *to, kept), "from", "to", o.json);
    Report().Add({{"from", fromName}, {"to", toName}, {"count", differences.size()}, {"differences", differences}});
    return differences.isEmpty() ? kOk : kRefused;
}

int CmdIdentify(TOptions& o)
{
    return WithLink("identify", o, [](TSession& s, const TOptions& opt, QJsonObject& report) {
        if (!s.ops.Identify()) return s.Exit("identify");
        report = {{"hardware", Value("HWVer")}, {"firmware", Value("SWVer")}, {"serial", Value("SerialNum")},
                  {"operatorLock", Value("OperLock")}};
        if (!opt.json)
            for (const char* key : {"HWVer", "SWVer", "SerialNum", "OperLock"})
                std::printf("%s\t%s\n", key, ShownText(Value(key)).toLocal8Bit().constData());
        return int(kOk);
    });
}

// A target that is a folder (or ends with a separator) takes files named by serial number.
bool IsFolderTarget(const QString& path) { return path.endsWith('/') || QFileInfo(path).isDir(); }

int ReadInto(TSession& s, const QString& target, QJsonObject& report)
{
    if (!s.ops.ReadFromGateway()) return s.Exit("read");
    if (s.Interrupted()) return s.Exit("read");
    report = {{"serial", Value("SerialNum")}, {"firmware", Value("SWVer")}};
    if (IsFolderTarget(target)) {
        if (const QString why = MakeFolder(target); !why.isEmpty()) return s.CannotWrite(target, why);
        QStringList written;
        if (const QString why = CreateGatewayFiles(s, target, GatewayFileName(s), {{".kvx", ConfigurationText(Parameters())}},
                                                   0666, written);
            !why.isEmpty())
            return s.Say(kFileError, "cannot write " + why);
        report["file"] = written.value(0);
        return kOk;
    }
    if (const QString why = SaveConfiguration(Parameters(), target); !why.isEmpty()) return s.CannotWrite(target, why);
    report["file"] = target;
    return kOk;
}

int CmdRead(TOptions& o)
{
    const QString target = o.positional[0];
    if (IsFolderTarget(target)) {
        if (const QString why = FolderProblem(target); !why.isEmpty()) return CannotWrite(target, why);
    } else {
        if (const int rc = ParseLinkOptions(o)) return rc;
        if (o.ports.size() > 1) return Fail(kUsage, "several gateways need a folder to read into (a path ending with '/')");
        if (const QString why = WriteProblem(target); !why.isEmpty()) return CannotWrite(target, why);
    }
    return WithLink("read", o, [](TSession& s, const TOptions& opt, QJsonObject& report) {
        const int rc = ReadInto(s, opt.positional[0], report);
        if (rc == kOk && IsFolderTarget(opt.positional[0]) && !opt.json)
            std::printf("%s\n", qPrintable(ShownText(report.value("file").toString())));
        return rc;
    });
}

int CmdBackup(TOptions& o)
{
    if (const QString why = FolderProblem(o.positional[0]); !why.isEmpty()) return CannotWrite(o.positional[0], why);
    return WithLink("backup", o, [](TSession& s, const TOptions& opt, QJsonObject& report) {
        const QString dir = opt.positional[0];
        if (const QString why = MakeFolder(dir); !why.isEmpty()) return s.CannotWrite(dir, why);
        if (!s.ops.ReadFromGateway() || s.Interrupted()) return s.Exit("backup");
        const QString stem =
            QString("gateway-%1-%2").arg(GatewayFileName(s), QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
        const std::vector<uint8_t> image = GatewayImage(Parameters());
        // The image holds the gateway's PIN and service password: for the user's eyes only.
        QStringList written;
        if (const QString why = CreateGatewayFiles(
                s, dir, stem,
                {{".kvx", ConfigurationText(Parameters())},
                 {".bin", QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()))}},
                0600, written);
            !why.isEmpty())
            return s.Say(kFileError, "cannot write " + why);
        report = {{"serial", Value("SerialNum")}, {"firmware", Value("SWVer")}, {"files", QJsonArray::fromStringList(written)}};
        if (!opt.json)
            for (const QString& f : written) std::printf("%s\n", qPrintable(ShownText(f)));
        return int(kOk);
    });
}

// The keys of --only, each a setting that files carry and the image holds: 0,
// or the exit status after saying why not.
int OnlyKeys(const TOptions& o, const CParameters& p, std::vector<std::string>& keys)
{
    if (!o.parser.isSet(kOnly)) return kOk;
    for (const QString& list : o.parser.values(kOnly))
        for (const QString& k : list.split(',', Qt::SkipEmptyParts)) {
            const std::string key = k.trimmed().toStdString();
            const CParameters::TMultiPar* rc = p.Find(key);
            if (!rc)
                return Fail(kUsage, "--only: unknown key " + Quoted(k.trimmed()) + "; the closest is " +
                                        Quoted(ClosestKey(p, k.trimmed())));
            if (!rc->Par->m_InFile || rc->Par->m_Address < 0)
                return Fail(kUsage, "--only: " + Quoted(k.trimmed()) + " is not a setting that configuration files carry");
            keys.push_back(key);
        }
    if (keys.empty()) return Fail(kUsage, "--only needs KEY[,KEY...]");
    return kOk;
}

int CmdWrite(TOptions& o)
{
    const auto file = Catalogue();
    std::vector<std::string> only;
    if (const int rc = OnlyKeys(o, *file, only)) return rc;
    // The file is read once, before any gateway is touched.
    CParameters::TFileGaps gaps;
    if (const int rc = LoadConfiguration(*file, o.positional[0], &gaps)) return rc;
    const bool keepCopy = !o.parser.isSet(kNoBackup);
    std::vector<TSettingRef> chosen;
    for (const std::string& key : only)
        for (int i = 0; i < file->Find(key)->Count; ++i) chosen.push_back({key, i});
    auto prepare = [&file, &gaps](TSession& s) {
        Parameters().Restore(file->Snapshot());
        s.ops.SourceGaps = gaps;
        // A configuration file never carries the PIN and the service password into the gateway.
        s.ops.PinChanged = s.ops.PasswordChanged = false;
    };
    // What the gateway would hold other than the file says is asked about first:
    // a refusal places no modem call and opens no port.
    auto agree = [&](TSession& s) {
        prepare(s);
        return s.ops.AgreeBeforeLink(Parameters(), only.empty() ? nullptr : &chosen);
    };
    return WithLink("write", o, [&](TSession& s, const TOptions& opt, QJsonObject& report) {
        prepare(s);
        s.ops.KeepCopies = keepCopy;
        s.ops.NoCopyMessage = [](const QString& folder, const QString& reason) {
            return "Nothing was written: the copy of the gateway's configuration could not be kept in " + Quoted(folder) +
                   " (" + reason + "). Make room there, or give --no-backup to write without a copy.";
        };
        const bool done = only.empty() ? s.ops.WriteToGateway() : s.ops.WriteSelected(Parameters(), chosen, {});
        // Whether the gateway may now hold part of the file (for scripts and a fleet's summary).
        report["partial"] = s.ops.MayHoldPart();
        // What the write learnt of the gateway, for the summary of a fleet.
        if (!s.ops.GatewaySerial.isEmpty()) report["serial"] = s.ops.GatewaySerial;
        if (!s.ops.GatewayVersion.isEmpty()) report["firmware"] = s.ops.GatewayVersion;
        if (!s.ops.LastCopy.isEmpty()) {
            report["copy"] = s.ops.LastCopy;
            if (!opt.json && isatty(2))
                std::fprintf(stderr, "korvanext-cli: the gateway's previous configuration is kept in %s\n",
                             qPrintable(Quoted(QDir::toNativeSeparators(s.ops.LastCopy))));
        }
        return done ? int(kOk) : s.Exit("write");
    }, agree);
}

// The gateway's own configuration against the file, one line per value that differs.
int CmdCompare(TOptions& o)
{
    // The file is read once, before any gateway is touched.
    const auto file = Catalogue();
    if (const int rc = LoadConfiguration(*file, o.positional[0])) return rc;
    return WithLink("compare", o, [&file](TSession& s, const TOptions& opt, QJsonObject& report) {
        const auto gateway = Catalogue();
        std::vector<uint8_t> image;
        if (!s.ops.ReadGateway(*gateway, image) || s.Interrupted()) return s.Exit("compare");
        const TComparison c = CompareConfigurations(*gateway, *file);
        const QJsonArray differences = Differences(c, "gateway", "file", opt.json);
        report = {{"serial", FromBytes(gateway->GetValue("SerialNum", 0))},
                  {"firmware", FromBytes(gateway->GetValue("SWVer", 0))},
                  {"file", opt.positional[0]},
                  {"count", differences.size()},
                  {"equal", c.equal},
                  {"differences", differences}};
        return c.Same() ? int(kOk) : int(kRefused);
    });
}

// The kept copies of gateway configurations, newest first.
int CmdBackups(TOptions& o)
{
    const QString serial = o.parser.value(kSerial);
    const CKeptCopies copies;
    if (const QString why = copies.RootProblem(); !why.isEmpty())
        return Fail(kFileError, "the kept copies in " + Quoted(copies.Root()) + " are not listed: " + why);
    QJsonArray list;
    for (const TKeptCopy& c : copies.List(serial)) {
        const QString time = c.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
        const QString folder = QDir::toNativeSeparators(c.folder);
        QJsonObject j{{"time", c.time.toString(Qt::ISODate)}, {"serial", c.serial}, {"firmware", c.firmware}, {"folder", folder}};
        if (c.Damaged()) j["damaged"] = c.damage;
        list.append(j);
        // A damaged copy is listed, marked, so that nobody restores it unawares.
        if (!o.json)
            std::printf("%s\t%s\t%s\t%s%s\n", qPrintable(time), qPrintable(ShownText(c.serial)), qPrintable(ShownText(c.firmware)),
                        qPrintable(ShownText(folder)), c.Damaged() ? qPrintable("\tdamaged: " + ShownText(c.damage)) : "");
    }
    Report().Add({{"root", QDir::toNativeSeparators(copies.Root())}, {"copies", list}});
    return kOk;
}

int CmdUpgrade(TOptions& o)
{
    const QString file = o.positional[0];
    QByteArray bytes;
    if (const int rc = ReadBounded(file, ImageLayout::FirmwareSize, bytes, "a firmware file")) return rc;
    const bool force = o.parser.isSet(kForceDamaged);
    // A damaged file is refused before any gateway is touched, also for a fleet.
    if (bytes.size() == ImageLayout::FirmwareSize && !force) {
        const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData());
        const uint32_t stored = ImageLayout::FirmwareStoredSum(image), sum = ImageLayout::FirmwareSum(image);
        if (stored != sum)
            return Fail(kDataError, QString("%1 is damaged: it carries the checksum 0x%2, but its bytes add up to 0x%3; "
                                            "nothing was sent (--force-damaged loads it all the same)")
                                        .arg(Quoted(file))
                                        .arg(stored, 8, 16, QChar('0'))
                                        .arg(sum, 8, 16, QChar('0')));
    }
    return WithLink("upgrade", o, [force](TSession& s, const TOptions& opt, QJsonObject& report) {
        s.ops.FirmwareFile = QFileInfo(opt.positional[0]).absoluteFilePath();
        s.ops.OfferUpgrade = true;
        s.ops.DamagedFirmware = force ? CGatewayOps::TDamagedFirmware::Send : CGatewayOps::TDamagedFirmware::Refuse;
        // No one is there to press Cancel: a block the gateway keeps refusing ends the upgrade.
        s.ops.MaxBlockRefusals = 20;
        report = {{"file", s.ops.FirmwareFile}};
        // The command is the request; the question that names the file and both versions remains.
        const bool done = s.ops.UpgradeAgreed();
        if (!s.ops.FirmwareVersion.isEmpty()) report["fileVersion"] = s.ops.FirmwareVersion;
        if (!s.ops.FirmwareBefore.isEmpty()) report["previousFirmware"] = s.ops.FirmwareBefore;
        if (!s.ops.GatewayVersion.isEmpty()) report["firmware"] = s.ops.GatewayVersion;
        return done ? int(kOk) : s.Exit("upgrade");
    });
}

// Reads the signal every intervalMs until count readings (0: until interrupted),
// as the GSM monitor asks the module on the cable at 57600 baud.
int SignalReadings(TSession& s, const TOptions& opt, QJsonObject& report, int intervalMs, int count)
{
    CCOMTerminal& t = Terminal();
    QJsonArray readings;
    report["readings"] = readings;
    try {
        t.Connect(s.ops.ComPort, 57600);
        t.m_Terminator = 13;
        // A silent module ends the command after --wait (0: it is waited for until Ctrl-C).
        t.m_Timeout = opt.waitSeconds > 0 ? opt.waitSeconds * 1000 : 1 << 30;
        for (int n = 0; count == 0 || n < count; ++n) {
            for (int waited = 0; n > 0 && waited < intervalMs && !s.Interrupted(); waited += 50)
                PauseWithEvents(std::min(50, intervalMs - waited));
            if (s.Interrupted()) throw CCOMTermExp(CE_USER);
            const bool answered = t.SendAndWait("AT+CSQ", "OK\r\n", "ERROR\r\n") == 1;
            const QDateTime now = QDateTime::currentDateTime();
            int q = -1;
            if (answered) {
                try {
                    const std::string v = t.Extract("+CSQ:", ",");
                    if (!v.empty() && v.size() <= 4) q = ParseNumber(v);
                } catch (const CCOMTermExp&) {
                }
            }
            const bool measured = q >= 0 && q <= 32;
            QJsonObject r{{"time", now.toString(Qt::ISODate)}, {"csq", answered ? QJsonValue(q) : QJsonValue()},
                          {"dB", measured ? QJsonValue(2 * q - 113) : QJsonValue()}};
            readings.append(r);
            if (!opt.json) {
                const QString when = now.toString("yyyy-MM-dd HH:mm:ss");
                if (measured) std::printf("%s  %d dB  (CSQ %d)\n", qPrintable(when), 2 * q - 113, q);
                else if (answered) std::printf("%s  no measurement  (CSQ %d)\n", qPrintable(when), q);
                else std::printf("%s  the module answered ERROR\n", qPrintable(when));
                std::fflush(stdout);
            }
        }
    } catch (const CCOMTermExp& e) {
        report["readings"] = readings;
        // Without --count, Ctrl-C is how the readings end.
        if (e.Code == CE_USER && count == 0 && !readings.isEmpty()) {
            t.m_Interrupt = false;
            return int(kOk);
        }
        s.ops.ShowLinkError(e);
        return s.Exit("signal");
    }
    report["readings"] = readings;
    return int(kOk);
}

// The GSM module's signal, one reading a line, until --count readings or Ctrl-C.
int CmdSignal(TOptions& o)
{
    if (const int rc = ParseLinkOptions(o)) return rc;
    if (o.ports.size() > 1) return Fail(kUsage, "signal watches one gateway: give one --port");
    // The gateway hands AT commands to its module only on the cable.
    if (!o.modemNumber.isEmpty()) return Fail(kUsage, "signal works over the cable only: give --port, not --modem-number");
    // The module talks at 57600 baud; a raw TCP port keeps the server's speed.
    // Known from the command line alone, so a usage error before anything is opened.
    TNetworkAddress address;
    if (ParseNetworkPort(o.ports.value(0), address) && !address.comPort)
        return Fail(kUsage, "signal sets the line to 57600 baud, which a raw " + Quoted(o.ports.value(0)) +
                                " cannot: name the terminal server's port as rfc2217://" +
                                QString::fromStdString(address.Name()));
    double seconds = 1;
    if (o.parser.isSet(kInterval)) {
        bool ok = false;
        seconds = o.parser.value(kInterval).toDouble(&ok);
        if (!ok || seconds < 0.2 || seconds > 3600)
            return Fail(kUsage, "--interval wants seconds from 0.2 to 3600, not " + Quoted(o.parser.value(kInterval)));
    }
    int count = 0;
    if (o.parser.isSet(kCount)) {
        bool ok = false;
        count = o.parser.value(kCount).toInt(&ok);
        if (!ok || count < 1) return Fail(kUsage, "--count wants a number of readings from 1, not " + Quoted(o.parser.value(kCount)));
    }
    return WithLink("signal", o, [seconds, count](TSession& s, const TOptions& opt, QJsonObject& report) {
        return SignalReadings(s, opt, report, int(seconds * 1000), count);
    });
}

// The configuration sheet of a file, as PDF or HTML, in the language asked for.
int CmdSheet(TOptions& o)
{
    const QString in = o.positional[0], out = o.positional[1];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != "pdf" && suffix != "html" && suffix != "htm")
        return Fail(kUsage, "the sheet is written as OUT.pdf or OUT.html, not " + Quoted(out));
    TGlobalObjects globals;
    if (!Language().Init(ProgramFolder(), nullptr, nullptr) || Language().LanguageCount() == 0)
        return CannotRead(ProgramFolder() + "/L_Init.ini", "the language index is missing or empty; reinstall the program");
    const QString id = o.parser.isSet(kLanguageId) ? o.parser.value(kLanguageId) : QString("Eng");
    const int lang = Language().FindLanguage(id);
    if (lang < 0) {
        QStringList ids;
        for (int i = 0; i < Language().LanguageCount(); ++i) ids << Language().Language(i).Id;
        return Fail(kUsage, "--language: no language " + Quoted(id) + "; there are " + ids.join(", "));
    }
    if (!Language().LoadLanguage(lang))
        return CannotRead(ProgramFolder(), "the language file of " + id + " cannot be read; reinstall the program");
    BuildCatalogue(Parameters());
    if (const int rc = LoadConfiguration(Parameters(), in)) return rc;
    if (const QString why = WriteProblem(out); !why.isEmpty()) return CannotWrite(out, why);
    TSheetTitle title;
    title.serial = Value("SerialNum");
    title.firmware = Value("SWVer");
    title.origin = QFileInfo(in).fileName();
    title.when = QDateTime::currentDateTime();
    const QString html = SheetHtml(Parameters(), BuiltInCaptions(), title);
    TFileStatus status;
    if (!(suffix == "pdf" ? WriteSheetPdf(html, out, &status) : WriteSheetHtml(html, out, &status)))
        return CannotWrite(out, status.Reason);
    Report().Add({{"file", out}});
    return kOk;
}

struct TCommand {
    const char* name;
    const char* args;
    const char* help;
    TGroup group;
    int minArgs;
    int maxArgs;  // -1: any number
    int (*run)(TOptions&);
};

const std::vector<TCommand>& Commands()
{
    static const std::vector<TCommand> commands = {
        {"keys", "", "list every parameter: key, value type, row count, image address", kFileCommand, 0, 0, CmdKeys},
        {"defaults", "FILE.kvx", "write the default configuration file", kFileCommand, 1, 1, CmdDefaults},
        {"encode", "FILE.kvx IMAGE.bin", "encode a configuration file into a 12288-byte gateway image", kFileCommand, 2, 2, CmdEncode},
        {"decode", "IMAGE.bin FILE.kvx", "decode a gateway image into a configuration file", kFileCommand, 2, 2, CmdDecode},
        {"get", "FILE.kvx KEY[:ROW]", "print a value (a key with rows and no ROW: every row)", kFileCommand, 2, 2, CmdGet},
        {"set", "FILE.kvx KEY[:ROW]=VALUE...", "store values as the program would (says when one is stored changed; refuses one the gateway cannot hold)",
         kFileCommand, 2, -1, CmdSet},
        {"diff", "A.kvx B.kvx | --defaults A.kvx", "show how to get from A to B: KEY[:ROW] \"a\" -> \"b\" (exit 4 when any)",
         kDiffCommand, 1, 2, CmdDiff},
        {"identify", "[LINK]", "show the gateway's hardware, firmware, serial number and operator lock", kLinkCommand, 0, 0,
         CmdIdentify},
        {"read", "FILE.kvx|DIR/ [LINK]", "read the configuration from the gateway into a file (DIR: named by serial number)",
         kLinkCommand, 1, 1, CmdRead},
        {"write", "FILE.kvx [LINK]",
         "write a file to the gateway (verified; keeps the gateway's PIN and password and a copy of what it held)",
         kWriteCommand, 1, 1, CmdWrite},
        {"compare", "FILE.kvx [LINK]", "show where the gateway differs from the file: KEY[:ROW] \"gateway\" -> \"file\" (exit 4 when any)",
         kLinkCommand, 1, 1, CmdCompare},
        {"backups", "[--serial N]", "list the kept copies of gateway configurations: time, serial, firmware, folder",
         kBackupsCommand, 0, 0, CmdBackups},
        {"backup", "DIR [LINK]", "read the gateway into DIR as a time-stamped file and image", kLinkCommand, 1, 1, CmdBackup},
        {"upgrade", "FIRMWARE.Bin [LINK]", "load new firmware into the gateway (names file and versions; needs --yes)",
         kUpgradeCommand, 1, 1, CmdUpgrade},
        {"signal", "[--interval S] [--count N] [LINK]",
         "print the GSM signal once a second (or every S seconds) until Ctrl-C or N readings", kSignalCommand, 0, 0, CmdSignal},
        {"sheet", "FILE.kvx OUT.pdf|OUT.html [--language ID]",
         "write the configuration sheet: every setting as the pages show it (ID: Eng, Ger, ...)", kSheetCommand, 2, 2, CmdSheet},
    };
    return commands;
}

const char* const kExitHelp =
    "Exit status:\n"
    "  0   done\n"
    "  1   usage: a wrong command line, an unknown key\n"
    "  2   a file cannot be read or written (missing, permission, a folder, disk full)\n"
    "  3   bad input data: not a configuration file, an image or firmware file of the wrong size or content,\n"
    "      a value the gateway cannot hold; write: a file it would not hold as it is (no --yes)\n"
    "  4   declined: a question not agreed to (no --yes), firmware older than 3 met by a command\n"
    "      other than upgrade; diff: differences found\n"
    "  5   the gateway's data damaged or not confirmed (a block bad three times, a write not\n"
    "      acknowledged or read back different, firmware not taken or a block refused 20\n"
    "      times), or not a gateway of this kind\n"
    "  10  line lost      11  interrupted (SIGINT, SIGTERM, SIGHUP)    12  no answer (also --wait)\n"
    "  13  bad reply      14  send failure                             15  the port cannot be opened\n"
    "  With several ports: the worst (highest) status of all gateways.\n";

const char* const kJsonHelp =
    "--json (any command) prints one JSON document on stdout, also for a wrong command line:\n"
    "  always: command, exit, result, error (null when done)\n"
    "  keys: keys [{key, type, rows, address}]; defaults, encode, decode, sheet: file\n"
    "  get: key, value (and row) or values; set: file, changed [{key, row, given, stored}]\n"
    "  identify: port, hardware, firmware, serial, operatorLock\n"
    "  read, backup, write, upgrade: port, serial, firmware, file or files\n"
    "  upgrade: also fileVersion and previousFirmware; firmware is what the gateway reports after it\n"
    "  diff: from, to, count, differences [{key, row (keys with rows), from, to}]\n"
    "  compare: port, serial, firmware, file, count, equal, differences [{key, row, gateway, file}]\n"
    "  write: also copy (the folder of the kept copy) and partial (true: the gateway may hold part\n"
    "         of the file, block 1 new and block 2 old or a block cut off)\n"
    "  backups: root, copies [{time, serial, firmware, folder, damaged (why, for a damaged copy)}]\n"
    "  signal: port, readings [{time, csq, dB (null: no measurement)}]\n"
    "  several ports: gateways [{port, exit, result, seconds, and the fields above}],\n"
    "                 duplicates [{serial, ports}] (gateways that report one serial number)\n";

const char* const kLinkHelp =
    "LINK:\n"
    "  --port PORT          serial port: a device path or Com1..Com8 (default Com1); repeat it,\n"
    "                       or give --ports-from FILE, to run on several gateways at once;\n"
    "                       a terminal server's port: rfc2217://HOST:PORT or socket://HOST:PORT\n"
    "  --ports-from FILE    the ports, one a line ('#' starts a comment)\n"
    "  --jobs N             several ports: at most N gateways at once, the rest queued (default 32)\n"
    "  --modem-number NUMBER --modem DEVICE     dial the gateway instead\n"
    "  --yes, -y            agree to the gateway's questions\n"
    "  --wait SECONDS       give up when the gateway does not answer (default 15, 0: for ever);\n"
    "                       bytes that keep coming do not extend it, and a device that talks but\n"
    "                       never answers as the gateway does is no gateway (exit 5)\n"
    "  --verbose            show the link's diagnostic lines\n"
    "  --json               one JSON document on stdout\n";

const char* const kUpgradeHelp =
    "Upgrade:\n"
    "  A file whose bytes do not add up to its own checksum is damaged and refused (exit 3):\n"
    "  --force-damaged      load it all the same (--yes does not)\n"
    "  Each block is sent again when the gateway refuses it; 20 refusals of one block in a\n"
    "  row stop the upgrade (exit 5). --wait also bounds the wait for each block's answer\n"
    "  (20 s at most). Afterwards the gateway is asked for its version: one other than\n"
    "  the file's means it did not take the firmware (exit 5).\n";

const char* const kWriteHelp =
    "Write:\n"
    "  --only KEY[,KEY...]  take only these settings from the file; the rest of the gateway stays\n"
    "  --no-backup          keep no copy of what the gateway held (kept by default, see 'backups')\n";

void Usage(FILE* out)
{
    std::fprintf(out, "usage: korvanext-cli COMMAND [ARGS] [OPTIONS]\n\nCommands:\n");
    for (const TCommand& c : Commands()) std::fprintf(out, "  %-9s %-31s %s\n", c.name, c.args, c.help);
    std::fprintf(out,
                 "\n%s\n%s\n%s"
                 "  Options may come anywhere after the command; --wait=5 is the same as --wait 5.\n"
                 "  Several ports: one run per port in parallel; their messages are prefixed with\n"
                 "  the port, a summary (port, serial number, firmware, result, time, files) ends.\n"
                 "  Progress goes to stderr when it is a terminal.\n\n%s\n%s\n"
                 "'korvanext-cli COMMAND --help' describes one command; --version shows the version.\n",
                 kLinkHelp, kWriteHelp, kUpgradeHelp, kJsonHelp, kExitHelp);
}

void CommandUsage(const TCommand& c)
{
    std::printf("usage: korvanext-cli %s %s\n  %s\n", c.name, c.args, c.help);
    if (c.group == kSignalCommand)
        std::printf("\n  --interval S  seconds between two readings (default 1)\n"
                    "  --count N     stop after N readings (default: at Ctrl-C, which then ends with 0)\n");
    if (c.group == kSheetCommand)
        std::printf("\n  --language ID the sheet's language: Cze, Eng, Slo, Ger, Pol, Fin or Tur (default Eng)\n");
    if (OnLink(c.group)) std::printf("\n%s", kLinkHelp);
    if (c.group == kWriteCommand) std::printf("\n%s", kWriteHelp);
    if (c.group == kUpgradeCommand) std::printf("\n%s", kUpgradeHelp);
    if (c.group == kBackupsCommand) std::printf("\n  --serial N   only the copies of this gateway\n  --json       one JSON document\n");
    if (c.group == kDiffCommand) std::printf("\n  --defaults   compare with the default configuration\n  --json       one JSON document\n");
    std::printf("\n%s", kExitHelp);
}

}  // namespace

int main(int argc, char** argv)
{
    // The sheet's PDF is laid out with fonts, which take a GUI application; it needs no display.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "sheet") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("korvanext-cli");
    QStringList args = QCoreApplication::arguments().mid(1);
    // --json=1 is --json, and --json (or a misspelt --json...) may come before
    // the command: it is taken as given after it.
    for (QString& a : args)
        if (a == "--json=1" || a == "--json=true" || a == "--json=yes") a = "--json";
    qsizetype lead = 0;
    while (lead < args.size() && args[lead].startsWith("--json")) ++lead;
    if (lead > 0 && lead < args.size()) args = args.mid(lead, 1) + args.mid(0, lead) + args.mid(lead + 1);
    TCliReport report(args);
    if (args.isEmpty()) {
        Usage(stderr);
        return report.Finish(kUsage);
    }
    if (args[0] == "--help" || args[0] == "-h") {
        Usage(stdout);
        return kOk;
    }
    if (args[0] == "--version" || args[0] == "-v") {
        std::printf("korvanext-cli %s\n", KVX_VERSION);
        return kOk;
    }
    const auto found = std::find_if(Commands().begin(), Commands().end(), [&](const TCommand& c) { return args[0] == c.name; });
    if (found == Commands().end()) return report.Finish(Fail(kUsage, "unknown command " + Quoted(args[0]) + " (see --help)"));
    const TCommand& c = *found;
    report.SetCommand(c.name);
    TOptions o;
    AddOptions(o.parser, c.group);
    if (!o.parser.parse(QStringList{"korvanext-cli"} + args.mid(1)))
        return report.Finish(
            Fail(kUsage, c.name + QString(": ") + o.parser.errorText() + " (see 'korvanext-cli " + c.name + " --help')"));
    if (o.parser.isSet(kHelp)) {
        CommandUsage(c);
        return kOk;
    }
    o.json = o.parser.isSet(kJson);
    o.positional = o.parser.positionalArguments();
    if (o.positional.size() < c.minArgs || (c.maxArgs >= 0 && o.positional.size() > c.maxArgs))
        return report.Finish(Fail(kUsage, QString("usage: korvanext-cli %1 %2 (%3 argument%4 given)")
                                              .arg(c.name, c.args)
                                              .arg(o.positional.size())
                                              .arg(o.positional.size() == 1 ? "" : "s")));
    return report.Finish(c.run(o));
}
