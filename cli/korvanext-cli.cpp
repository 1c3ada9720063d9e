// Command-line access to the tool's configuration model and gateway link.
#include "Catalogue.h"
#include "Comdialing.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Comterminal.h"
#include "Gatewayimage.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parametry.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// Exit statuses; 10 + the link error code for a link failure.
enum ExitCode {
    kOk = 0,
    kUsage = 1,
    kFileError = 2,  // a file cannot be read or written
    kDataError = 3,  // bad input data
    kRefused = 4,    // declined or refused; diff: differences found
    kDamaged = 5,    // the gateway's data damaged or not confirmed
    kLinkError = 10,
};

struct Command {
    const char* name;
    const char* args;
    const char* help;
    int minArgs;
    std::function<int(const std::vector<std::string>&)> run;
};

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "korvanext-cli: %s\n", message.c_str());
    return code;
}

bool ReadFileBytes(const std::string& path, QByteArray& out)
{
    QFile f(QString::fromLocal8Bit(path.c_str()));
    if (!f.open(QIODevice::ReadOnly)) return false;
    out = f.readAll();
    return true;
}

int CmdKeys(const std::vector<std::string>&)
{
    CParameters p;
    BuildCatalogue(p);
    for (const auto& [key, rc] : p.Entries())
        std::printf("%s\t%s\t%d\t%d\n", key.c_str(), rc.Par->ClassName(), rc.Count, rc.Par->m_Address);
    return kOk;
}

int CmdDefaults(const std::vector<std::string>& a)
{
    CParameters p;
    BuildCatalogue(p);
    if (!p.SaveToFile(a[0])) return Fail(kFileError, "cannot write '" + a[0] + "'");
    return kOk;
}

int CmdEncode(const std::vector<std::string>& a)
{
    CParameters p;
    BuildCatalogue(p);
    if (!p.LoadFromFile(a[0])) return Fail(kFileError, "cannot read '" + a[0] + "'");
    const std::vector<uint8_t> image = GatewayImage(p);
    if (!WriteFileAtomically(QString::fromLocal8Bit(a[1].c_str()),
                             QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()))))
        return Fail(kFileError, "cannot write '" + a[1] + "'");
    return kOk;
}

int CmdDecode(const std::vector<std::string>& a)
{
    QByteArray bytes;
    if (!ReadFileBytes(a[0], bytes)) return Fail(kFileError, "cannot read '" + a[0] + "'");
    if (bytes.size() != ImageLayout::ImageSize)
        return Fail(kDataError, "'" + a[0] + "' holds " + std::to_string(bytes.size()) + " bytes, an image has " +
                                    std::to_string(ImageLayout::ImageSize));
    const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData());
    if (!Block1Valid(image)) return Fail(kDataError, "block 1 of '" + a[0] + "' has a bad checksum");
    if (!Block2Valid(image)) return Fail(kDataError, "block 2 of '" + a[0] + "' has a bad checksum");
    CParameters p;
    BuildCatalogue(p);
    p.FromImage(image);
    if (!p.SaveToFile(a[1])) return Fail(kFileError, "cannot write '" + a[1] + "'");
    return kOk;
}

// ---------------------------------------------------------------- link commands

struct LinkOptions {
    QString port = "Com1";
    QString modemDevice;
    QString modemNumber;
    bool yes = false;
    std::vector<std::string> rest;
};

volatile std::sig_atomic_t g_Interrupted = 0;

// Progress on the terminal's error output when it is a terminal; questions are
// answered by --yes (otherwise no).
class TConsoleUI : public TOperationUI {
public:
    explicit TConsoleUI(bool yes) : m_Yes(yes), m_Tty(isatty(2)) {}
    void ShowProgress(bool show, int textNumber, bool) override
    {
        m_Shown = show;
        if (show) Line(Language().Text(textNumber));
    }
    void SetProgressLabel(const QString& text) override { Line(text); }
    void SetProgressMax(int max) override { m_Max = max; }
    void SetProgressPos(int pos) override
    {
        m_Pos = pos;
        if (m_Tty && m_Shown && m_Max > 0) std::fprintf(stderr, "\r  %3d %%", 100 * pos / m_Max);
    }
    int ProgressPos() const override { return m_Pos; }
    void SetCancelVisible(bool) override {}
    bool Cancelled() const override { return g_Interrupted != 0; }
    void Message(const QString& text, TIcon icon) override
    {
        const QString flat = QString(text).replace('\n', ' ');
        if (icon == TIcon::Error) std::fprintf(stderr, "%skorvanext-cli: %s\n", m_Tty ? "\n" : "", qPrintable(flat));
        else if (m_Tty) std::fprintf(stderr, "\n%s\n", qPrintable(flat));
    }
    bool Ask(const QString& text, TIcon) override
    {
        std::fprintf(stderr, "%s%s [%s]\n", m_Tty ? "\n" : "", qPrintable(QString(text).replace('\n', ' ')),
                     m_Yes ? "yes" : "no: give --yes to agree");
        return m_Yes;
    }
    QString ChooseFirmware(const QStringList& paths) override { return paths.isEmpty() ? QString() : paths.front(); }
    void ProcessEvents() override { QCoreApplication::processEvents(); }

private:
    void Line(const QString& text)
    {
        if (m_Tty) std::fprintf(stderr, "\r%s\n", qPrintable(QString(text).replace('\n', ' ')));
    }
    bool m_Yes;
    bool m_Tty;
    bool m_Shown = false;
    int m_Max = 0;
    int m_Pos = 0;
};

// The program's objects and the gateway operations, set up for one command.
struct Session {
    explicit Session(const LinkOptions& o) : ui(o.yes), ops(Parameters(), Terminal(), Language(), ui)
    {
        Language().Init(ProgramFolder(), nullptr, nullptr);
        const int eng = Language().FindLanguage("Eng");
        if (Language().LanguageCount() > 0) Language().LoadLanguage(eng >= 0 ? eng : 0);
        BuildCatalogue(Parameters());
        ops.ComPort = o.port;
        ops.FirmwareFolder = ProgramFolder();
        Terminal().m_OnStateChange = [this](bool c, bool a) { ops.SetLinkState(c, a); };
        if (!o.modemNumber.isEmpty()) {
            if (!o.modemDevice.isEmpty() && o.modemDevice.startsWith('/'))
                Terminal().SetTelephony(std::make_unique<CHayesTelephony>(
                    std::vector<std::pair<QString, QString>>{{o.modemDevice, o.modemDevice}}, false));
            ops.IsModem = true;
            ops.ModemNumber = o.modemNumber;
            ops.ModemId = o.modemDevice.isEmpty() && Terminal().m_DeviceCount ? Terminal().m_DeviceNames[0] : o.modemDevice;
        }
    }
    ~Session()
    {
        ops.CloseGatewayLink();
        if (ops.ModemConnected || Terminal().m_CallActive) Terminal().HangUp();
        Terminal().m_OnStateChange = nullptr;
    }
    // Dials when a modem is asked for; false when no call came up.
    bool Connect()
    {
        if (!ops.IsModem) return true;
        ops.SpeedButton6Click();
        return ops.ModemConnected;
    }
    // The exit code of the last operation.
    int Exit() const
    {
        switch (ops.Outcome) {
        case TOutcome::Done: return kOk;
        case TOutcome::Declined: return kRefused;
        case TOutcome::Damaged: return kDamaged;
        case TOutcome::BadInput: return kDataError;
        case TOutcome::FileError: return kFileError;
        case TOutcome::Link: return kLinkError + ops.LinkCode;
        }
        return kRefused;
    }

    TGlobalObjects globals;
    TConsoleUI ui;
    CGatewayOps ops;
};

bool ParseLinkOptions(const std::vector<std::string>& a, LinkOptions& o)
{
    for (size_t i = 0; i < a.size(); ++i) {
        const std::string& x = a[i];
        auto value = [&]() -> QString { return i + 1 < a.size() ? QString::fromStdString(a[++i]) : QString(); };
        if (x == "--port") o.port = value();
        else if (x == "--modem") o.modemDevice = value();
        else if (x == "--modem-number") o.modemNumber = value();
        else if (x == "--yes" || x == "-y") o.yes = true;
        else if (x.rfind("--", 0) == 0) {
            std::fprintf(stderr, "korvanext-cli: unknown option '%s'\n", x.c_str());
            return false;
        } else o.rest.push_back(x);
    }
    return true;
}

int WithLink(const std::vector<std::string>& a, size_t files, const std::function<int(Session&, const LinkOptions&)>& run)
{
    LinkOptions o;
    if (!ParseLinkOptions(a, o)) return kUsage;
    if (o.rest.size() < files) return Fail(kUsage, "missing file argument (see --help)");
    Session s(o);
    std::signal(SIGINT, [](int) {
        g_Interrupted = 1;
        if (CCOMTerminal* t = &Terminal()) t->m_Abort = true;
    });
    if (!s.Connect()) return s.ops.Outcome == TOutcome::Link ? s.Exit() : Fail(kLinkError, "no modem connection");
    return run(s, o);
}

int CmdIdentify(const std::vector<std::string>& a)
{
    return WithLink(a, 0, [](Session& s, const LinkOptions&) -> int {
        // Identification is the first part of a read; the image is read too and checked.
        if (!s.ops.EzRgnBtn2Click()) return s.Exit();
        for (const char* key : {"HWVer", "SWVer", "SerialNum", "OperLock"})
            std::printf("%s\t%s\n", key, Parameters().GetValue(key, 0).c_str());
        return kOk;
    });
}

int CmdRead(const std::vector<std::string>& a)
{
    return WithLink(a, 1, [](Session& s, const LinkOptions& o) -> int {
        if (!s.ops.EzRgnBtn2Click()) return s.Exit();
        if (!Parameters().SaveToFile(o.rest[0])) return Fail(kFileError, "cannot write '" + o.rest[0] + "'");
        return kOk;
    });
}

// Options of the write that select what is written: --only KEY[,KEY...] and
// --no-backup. Taken out of the arguments before the link options are read.
struct WriteChoice {
    std::vector<std::string> only;  // keys to take from the file; empty: the whole file
    bool noBackup = false;
};

int SplitWriteOptions(std::vector<std::string>& a, WriteChoice& w)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--no-backup") {
            w.noBackup = true;
        } else if (a[i] == "--only") {
            if (i + 1 >= a.size()) return Fail(kUsage, "--only needs KEY[,KEY...]");
            const QStringList keys = QString::fromStdString(a[++i]).split(',', Qt::SkipEmptyParts);
            for (const QString& k : keys) w.only.push_back(k.trimmed().toStdString());
            if (w.only.empty()) return Fail(kUsage, "--only needs KEY[,KEY...]");
        } else {
            rest.push_back(a[i]);
        }
    }
    CParameters p;
    BuildCatalogue(p);
    for (const std::string& key : w.only) {
        const CParameters::TMultiPar* rc = p.Find(key);
        if (!rc) return Fail(kUsage, "--only: no setting '" + key + "' (see 'korvanext-cli keys')");
        if (!rc->Par->m_InFile || rc->Par->m_Address < 0)
            return Fail(kUsage, "--only: '" + key + "' is not a setting that configuration files carry");
    }
    a = rest;
    return kOk;
}

// Where the write kept what the gateway held, for a person watching.
void ReportCopy(const Session& s)
{
    if (!s.ops.LastCopy.isEmpty() && isatty(2))
        std::fprintf(stderr, "korvanext-cli: the gateway's previous configuration is kept in '%s'\n",
                     qPrintable(QDir::toNativeSeparators(s.ops.LastCopy)));
}

int CmdWrite(const std::vector<std::string>& args)
{
    std::vector<std::string> a = args;
    WriteChoice w;
    if (const int rc = SplitWriteOptions(a, w)) return rc;
    return WithLink(a, 1, [&w](Session& s, const LinkOptions& o) -> int {
        if (!Parameters().LoadFromFile(o.rest[0])) return Fail(kFileError, "cannot read '" + o.rest[0] + "'");
        // A configuration file never carries the PIN and the service password into the gateway.
        s.ops.PinChanged = s.ops.PasswordChanged = false;
        s.ops.KeepCopies = !w.noBackup;
        bool done = false;
        if (w.only.empty()) {
            done = s.ops.EzRgnBtn3Click();
        } else {
            std::vector<TSettingRef> chosen;
            for (const std::string& key : w.only)
                for (int i = 0; i < Parameters().Find(key)->Count; ++i) chosen.push_back({key, i});
            done = s.ops.WriteSelected(Parameters(), chosen, {});
        }
        ReportCopy(s);
        return done ? kOk : s.Exit();
    });
}

// The file against the gateway's own configuration, one line per value that differs.
int CmdCompare(const std::vector<std::string>& a)
{
    return WithLink(a, 1, [](Session& s, const LinkOptions& o) -> int {
        CParameters file;
        BuildCatalogue(file);
        if (!file.LoadFromFile(o.rest[0])) return Fail(kFileError, "cannot read '" + o.rest[0] + "'");
        CParameters gateway;
        BuildCatalogue(gateway);
        std::vector<uint8_t> image;
        if (!s.ops.ReadGateway(gateway, image)) return s.Exit();
        const TComparison c = CompareConfigurations(gateway, file);
        for (const TDifference& d : c.differences)
            std::printf("%-24s \"%s\" -> \"%s\"\n", SettingName(d.key, d.index, d.count).c_str(),
                        EscapeFileValue(d.mine).c_str(), EscapeFileValue(d.other).c_str());
        return c.Same() ? kOk : kRefused;
    });
}

// The kept copies of gateway configurations, newest first.
int CmdBackups(const std::vector<std::string>& a)
{
    QString serial;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--serial" && i + 1 < a.size()) serial = QString::fromStdString(a[++i]);
        else return Fail(kUsage, "usage: backups [--serial N]");
    }
    const CKeptCopies copies;
    for (const TKeptCopy& c : copies.List(serial))
        std::printf("%s\t%s\t%s\t%s\n", qPrintable(c.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss")),
                    qPrintable(c.serial), qPrintable(c.firmware), qPrintable(QDir::toNativeSeparators(c.folder)));
    return kOk;
}

int CmdBackup(const std::vector<std::string>& a)
{
    return WithLink(a, 1, [](Session& s, const LinkOptions& o) -> int {
        if (!s.ops.EzRgnBtn2Click()) return s.Exit();
        const QDir dir(QString::fromStdString(o.rest[0]));
        if (!QDir().mkpath(dir.path())) return Fail(kFileError, "cannot create '" + o.rest[0] + "'");
        QString serial = QString::fromStdString(Parameters().GetValue("SerialNum", 0));
        serial.replace(QRegularExpression("[^A-Za-z0-9_-]"), "_");
        const QString base = dir.filePath(QString("gateway-%1-%2").arg(serial.isEmpty() ? "unknown" : serial,
                                                                      QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss")));
        const std::vector<uint8_t> image = GatewayImage(Parameters());
        if (!Parameters().SaveToFile((base + ".kvx").toStdString()) ||
            !WriteFileAtomically(base + ".bin", QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()))))
            return Fail(kFileError, "cannot write '" + base.toStdString() + "'");
        std::printf("%s.kvx\n%s.bin\n", qPrintable(base), qPrintable(base));
        return kOk;
    });
}

int CmdUpgrade(const std::vector<std::string>& a)
{
    return WithLink(a, 1, [](Session& s, const LinkOptions& o) -> int {
        s.ops.FirmwareFile = QString::fromStdString(o.rest[0]);
        if (!QFileInfo::exists(s.ops.FirmwareFile)) return Fail(kFileError, "cannot read '" + o.rest[0] + "'");
        return s.ops.EzRgnBtn1Click() ? kOk : s.Exit();
    });
}

int CmdDiff(const std::vector<std::string>& a)
{
    std::vector<std::string> files;
    bool defaults = false;
    for (const auto& x : a) {
        if (x == "--defaults") defaults = true;
        else files.push_back(x);
    }
    if (files.size() != (defaults ? 1u : 2u)) return Fail(kUsage, "usage: diff A.kvx B.kvx | diff --defaults A.kvx");
    CParameters left, right;
    BuildCatalogue(left);
    BuildCatalogue(right);
    if (!left.LoadFromFile(files[0])) return Fail(kFileError, "cannot read '" + files[0] + "'");
    if (!defaults && !right.LoadFromFile(files[1])) return Fail(kFileError, "cannot read '" + files[1] + "'");
    int differences = 0;
    for (const auto& [key, rc] : left.Entries()) {
        if (!rc.Par->m_InFile) continue;
        for (int i = 0; i < rc.Count; ++i) {
            const std::string& l = rc.Values[size_t(i)];
            const std::string r = right.GetValue(key, i);
            if (l == r) continue;
            ++differences;
            const std::string name = rc.Count > 1 ? key + "[" + std::to_string(i + 1) + "]" : key;
            std::printf("%-24s \"%s\" -> \"%s\"\n", name.c_str(), EscapeFileValue(r).c_str(), EscapeFileValue(l).c_str());
        }
    }
    return differences ? kRefused : kOk;
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"keys", "", "list every parameter: key, value type, instance count, image address", 0, CmdKeys},
        {"defaults", "FILE.kvx", "write the default configuration file", 1, CmdDefaults},
        {"encode", "FILE.kvx IMAGE.bin", "encode a configuration file into a 12288-byte gateway image", 2, CmdEncode},
        {"decode", "IMAGE.bin FILE.kvx", "decode a gateway image into a configuration file", 2, CmdDecode},
        {"identify", "[LINK]", "show the gateway's hardware, firmware, serial number and operator lock", 0, CmdIdentify},
        {"read", "FILE.kvx [LINK]", "read the configuration from the gateway into a file", 1, CmdRead},
        {"write", "FILE.kvx [LINK]",
         "write a file to the gateway (verified; keeps its PIN and password, and a copy of what it held);\n"
         "                                   --only KEY[,KEY...] takes just those settings from the file,\n"
         "                                   --no-backup keeps no copy",
         1, CmdWrite},
        {"compare", "FILE.kvx [LINK]", "list the settings where the gateway differs from the file (exit 4 when any)", 1,
         CmdCompare},
        {"backups", "[--serial N]", "list the kept copies of gateway configurations: time, serial, firmware, folder", 0,
         CmdBackups},
        {"backup", "DIR [LINK]", "read the gateway into DIR as a time-stamped file and image", 1, CmdBackup},
        {"diff", "A.kvx B.kvx | --defaults A.kvx", "list the values that differ (exit 4 when any)", 1, CmdDiff},
        {"upgrade", "FIRMWARE.Bin [LINK]", "load new firmware into the gateway", 1, CmdUpgrade},
    };
    return commands;
}

void Usage(FILE* out)
{
    std::fprintf(out, "usage: korvanext-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : Commands()) std::fprintf(out, "  %-9s %-22s %s\n", c.name, c.args, c.help);
    std::fprintf(out,
                 "\nLINK: --port PORT (a device path or Com1..Com8; default Com1), or --modem-number NUMBER\n"
                 "      [--modem DEVICE] to dial; --yes agrees to the gateway's questions.\n"
                 "Exit codes: 0 done, 1 usage, 2 file, 3 bad data, 4 refused or declined (diff: differences),\n"
                 "10+ link failure (10 line lost, 11 interrupted, 12 no answer, 13 bad reply, 14 send, 15 port).\n"
                 "\n'korvanext-cli COMMAND --help' describes one command.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        Usage(args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    for (const Command& c : Commands()) {
        if (args[0] != c.name) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
            std::printf("usage: korvanext-cli %s %s\n  %s\n", c.name, c.args, c.help);
            if (std::strstr(c.args, "LINK"))
                std::printf("LINK: --port PORT | --modem-number NUMBER [--modem DEVICE]; --yes agrees to questions\n");
            return kOk;
        }
        if (int(rest.size()) < c.minArgs) {
            std::fprintf(stderr, "usage: korvanext-cli %s %s\n", c.name, c.args);
            return kUsage;
        }
        return c.run(rest);
    }
    return Fail(kUsage, "unknown command '" + args[0] + "' (see --help)");
}
