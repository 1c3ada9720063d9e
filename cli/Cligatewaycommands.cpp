// The commands that reach a gateway, and the list of the copies kept of gateways.
#include "Clicommands.h"
#include "Cliapply.h"

#include "Cliexit.h"
#include "Clifiles.h"
#include "Clikeys.h"
#include "Clireport.h"
#include "Clisession.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Gatewayimage.h"
#include "Gatewayops.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Netport.h"
#include "Signalquery.h"
#include "Terminal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

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
                           const std::vector<std::pair<QString, QByteArray>>& files, unsigned mode,
                           QStringList& written)
{
    const QString port =
        CKeptCopies::FolderName(s.ops.IsModem ? s.ops.ModemNumber : QFileInfo(s.ops.ComPort).fileName());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = attempt == 0   ? stem
                             : attempt == 1 ? stem + "-" + port
                                            : QString("%1-%2-%3").arg(stem, port).arg(attempt);
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
        if (status.Kind != TFileStatus::Exists)
            return Quoted(QDir(folder).filePath(name + files[0].first)) + ": " + status.Reason;
    }
    return Quoted(QDir(folder).filePath(stem + files[0].first)) + ": every name for it is taken";
}

QByteArray ConfigurationText(const CParameters& p)
{
    const std::string text = p.SaveToText();
    return QByteArray(text.data(), qsizetype(text.size()));
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
        if (const QString why = CreateGatewayFiles(s, target, GatewayFileName(s),
                                                   {{".kvx", ConfigurationText(Parameters())}}, 0666, written);
            !why.isEmpty())
            return s.Say(kFileError, "cannot write " + why);
        report["file"] = written.value(0);
        return kOk;
    }
    if (const QString why = SaveConfiguration(Parameters(), target); !why.isEmpty()) return s.CannotWrite(target, why);
    report["file"] = target;
    return kOk;
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
                return Fail(kUsage,
                            "--only: " + Quoted(k.trimmed()) + " is not a setting that configuration files carry");
            keys.push_back(key);
        }
    if (keys.empty()) return Fail(kUsage, "--only needs KEY[,KEY...]");
    return kOk;
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
            const TSignalReading signal = QuerySignal(t);
            const QDateTime now = QDateTime::currentDateTime();
            const int q = signal.csq;
            QJsonObject r{{"time", now.toString(Qt::ISODate)},
                          {"csq", signal.answered ? QJsonValue(q) : QJsonValue()},
                          {"dB", signal.Measured() ? QJsonValue(signal.Dbm()) : QJsonValue()}};
            readings.append(r);
            if (!opt.json) {
                const QString when = now.toString("yyyy-MM-dd HH:mm:ss");
                if (signal.Measured()) std::printf("%s  %d dBm  (CSQ %d)\n", qPrintable(when), signal.Dbm(), q);
                else if (signal.answered) std::printf("%s  no measurement  (CSQ %d)\n", qPrintable(when), q);
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

}  // namespace

int CmdIdentify(TOptions& o)
{
    return WithLink("identify", o, [](TSession& s, const TOptions& opt, QJsonObject& report) {
        if (!s.ops.Identify()) return s.Exit("identify");
        report = {{"hardware", Value("HWVer")},
                  {"firmware", Value("SWVer")},
                  {"serial", Value("SerialNum")},
                  {"operatorLock", Value("OperLock")}};
        if (!opt.json)
            for (const char* key : {"HWVer", "SWVer", "SerialNum", "OperLock"})
                std::printf("%s\t%s\n", key, ShownText(Value(key)).toLocal8Bit().constData());
        return int(kOk);
    });
}

int CmdRead(TOptions& o)
{
    const QString target = o.positional[0];
    if (IsFolderTarget(target)) {
        if (const QString why = FolderProblem(target); !why.isEmpty()) return CannotWrite(target, why);
    } else {
        if (const int rc = ParseLinkOptions(o)) return rc;
        if (o.ports.size() > 1)
            return Fail(kUsage, "several gateways need a folder to read into (a path ending with '/')");
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
        report = {{"serial", Value("SerialNum")},
                  {"firmware", Value("SWVer")},
                  {"files", QJsonArray::fromStringList(written)}};
        if (!opt.json)
            for (const QString& f : written) std::printf("%s\n", qPrintable(ShownText(f)));
        return int(kOk);
    });
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
    return WithLink(
        "write", o,
        [&](TSession& s, const TOptions& opt, QJsonObject& report) {
            prepare(s);
            s.ops.KeepCopies = keepCopy;
            const bool done = only.empty() ? s.ops.WriteToGateway() : s.ops.WriteSelected(Parameters(), chosen, {});
            // Whether the gateway may now hold part of the file (for scripts and a fleet's summary).
            report["partial"] = s.ops.MayHoldPart();
            // Whole and read back, also when a signal came meanwhile and the exit status says so.
            report["written"] = done;
            // What the write learnt of the gateway, for the summary of a fleet.
            if (!s.ops.GatewaySerial.isEmpty()) report["serial"] = s.ops.GatewaySerial;
            if (!s.ops.GatewayVersion.isEmpty()) report["firmware"] = s.ops.GatewayVersion;
            if (!s.ops.LastCopy.isEmpty()) {
                report["copy"] = s.ops.LastCopy;
                if (!opt.json && isatty(2))
                    std::fprintf(stderr, "korvanext-cli: the gateway's previous configuration is kept in %s\n",
                                 qPrintable(Quoted(QDir::toNativeSeparators(s.ops.LastCopy))));
            }
            if (!done) return s.Exit("write");
            // Said only where the read before the write tells it (not after --no-backup without --only).
            using THeld = CGatewayOps::THeldBefore;
            const THeld held = s.ops.HeldBefore;
            report["changed"] = held == THeld::Unknown ? QJsonValue() : QJsonValue(held == THeld::Other);
            if (held != THeld::Unknown) {
                const char* result = held == THeld::Same ? "unchanged" : "changed";
                report["result"] = result;
                if (!opt.json) std::printf("%s\n", result);
            }
            return int(kOk);
        },
        agree);
}

// A desired state brought to the gateway (Cliapply.cpp).
int CmdApply(TOptions& o)
{
    TApplyOptions a;
    a.path = o.positional[0];
    a.replaced = o.parser.value(kState) == "replaced";
    if (o.parser.isSet(kState) && !a.replaced && o.parser.value(kState) != "merged")
        return Fail(kUsage, "--state is merged or replaced, not " + Quoted(o.parser.value(kState)));
    a.check = o.parser.isSet(kCheck);
    a.diff = o.parser.isSet(kDiffOption);
    a.json = o.json;
    a.keepCopy = !o.parser.isSet(kNoBackup);
    TApplyCommand apply;
    int rc = apply.Prepare(a);
    bool changed = false;  // also by an apply that a signal made exit 11 once it had finished
    if (rc == kOk)
        rc = WithLink("apply", o, [&apply, &changed](TSession& s, const TOptions&, QJsonObject& report) {
            const int code = apply.Run(s.ops, report, [&s] { return s.Exit("apply"); });
            changed = report.value("changed").toBool();
            return code;
        });
    if (rc != kOk && rc != kDiffers)
        Report().Add({{"result", rc == kRefused ? "declined" : changed ? "changed" : "failed"}, {"changed", changed}});
    return rc;
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
        return c.Same() ? int(kOk) : int(kDiffers);
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
        QJsonObject j{
            {"time", c.time.toString(Qt::ISODate)}, {"serial", c.serial}, {"firmware", c.firmware}, {"folder", folder}};
        if (c.Damaged()) j["damaged"] = c.damage;
        list.append(j);
        // A damaged copy is listed, marked, so that nobody restores it unawares.
        if (!o.json)
            std::printf("%s\t%s\t%s\t%s%s\n", qPrintable(time), qPrintable(ShownText(c.serial)),
                        qPrintable(ShownText(c.firmware)), qPrintable(ShownText(folder)),
                        c.Damaged() ? qPrintable("\tdamaged: " + ShownText(c.damage)) : "");
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
            return Fail(kDataError,
                        QString("%1 is damaged: it carries the checksum 0x%2, but its bytes add up to 0x%3; "
                                "nothing was sent (--force-damaged loads it all the same)")
                            .arg(Quoted(file))
                            .arg(stored, 8, 16, QChar('0'))
                            .arg(sum, 8, 16, QChar('0')));
    }
    return WithLink("upgrade", o, [force](TSession& s, const TOptions& opt, QJsonObject& report) {
        s.ops.FirmwareFile = QFileInfo(opt.positional[0]).absoluteFilePath();
        s.ops.OfferUpgrade = true;
        s.ops.DamagedFirmware = force ? CGatewayOps::TDamagedFirmware::Send : CGatewayOps::TDamagedFirmware::Refuse;
        report = {{"file", s.ops.FirmwareFile}};
        // The command is the request; the question that names the file and both versions remains.
        const bool done = s.ops.UpgradeAgreed();
        if (!s.ops.FirmwareVersion.isEmpty()) report["fileVersion"] = s.ops.FirmwareVersion;
        if (!s.ops.FirmwareBefore.isEmpty()) report["previousFirmware"] = s.ops.FirmwareBefore;
        if (!s.ops.GatewayVersion.isEmpty()) report["firmware"] = s.ops.GatewayVersion;
        return done ? int(kOk) : s.Exit("upgrade");
    });
}

// The GSM module's signal, one reading a line, until --count readings or Ctrl-C.
int CmdSignal(TOptions& o)
{
    if (const int rc = ParseLinkOptions(o)) return rc;
    if (o.ports.size() > 1) return Fail(kUsage, "signal watches one gateway: give one --port");
    // The gateway hands AT commands to its module only on the cable.
    if (!o.modemNumber.isEmpty())
        return Fail(kUsage, "signal works over the cable only: give --port, not --modem-number");
    // The module talks at 57600 baud; a raw TCP port keeps the server's speed.
    // Known from the command line alone, so a usage error before anything is opened.
    if (const QString instead = SignalPortInstead(o.ports.value(0)); !instead.isEmpty())
        return Fail(kUsage, "signal sets the line to 57600 baud, which a raw " + Quoted(o.ports.value(0)) +
                                " cannot: name the terminal server's port as " + instead);
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
        if (!ok || count < 1)
            return Fail(kUsage, "--count wants a number of readings from 1, not " + Quoted(o.parser.value(kCount)));
    }
    return WithLink("signal", o, [seconds, count](TSession& s, const TOptions& opt, QJsonObject& report) {
        return SignalReadings(s, opt, report, int(seconds * 1000), count);
    });
}
