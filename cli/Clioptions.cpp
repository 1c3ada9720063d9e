#include "Clioptions.h"

#include "Clifiles.h"
#include "Cliexit.h"
#include "Cliquestions.h"
#include "Clireport.h"
#include "Commonutils.h"
#include "Netport.h"

namespace {

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

}  // namespace

bool OnLink(TGroup group)
{
    return group == kLinkCommand || group == kWriteCommand || group == kUpgradeCommand || group == kSignalCommand ||
           group == kApplyCommand;
}

void AddOptions(QCommandLineParser& parser, TGroup group)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kHelp, kJson});
    if (group == kDiffCommand) parser.addOption(kDefaults);
    if (OnLink(group))
        parser.addOptions({kPort, kPortsFrom, kModem, kModemNumber, kYes, kAgree, kWait, kVerbose, kJobs});
    if (group == kSignalCommand) parser.addOptions({kInterval, kCount});
    if (group == kSheetCommand) parser.addOption(kLanguageId);
    if (group == kWriteCommand) parser.addOptions({kOnly, kNoBackup});
    if (group == kUpgradeCommand) parser.addOption(kForceDamaged);
    if (group == kBackupsCommand) parser.addOption(kSerial);
    if (group == kSetCommand) parser.addOption(kYes);
    if (group == kApplyCommand) parser.addOptions({kState, kCheck, kDiffOption, kNoBackup});
}

int ParseLinkOptions(TOptions& o)
{
    if (o.linkParsed) return kOk;
    const QCommandLineParser& p = o.parser;
    o.ports.clear();
    o.passOn.clear();
    o.yes = p.isSet(kYes);
    o.agreed.clear();
    if (p.isSet(kAgree))
        if (const int rc = ParseAgreed(p.values(kAgree), o.agreed)) return rc;
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
        if (!ok || o.waitSeconds < 0)
            return Fail(kUsage, "--wait wants a number of seconds, not " + Quoted(p.value(kWait)));
    }
    if (p.isSet(kJobs)) {
        bool ok = false;
        o.jobs = p.value(kJobs).toInt(&ok);
        if (!ok || o.jobs < 1)
            return Fail(kUsage, "--jobs wants a number of gateways at once, 1 or more, not " + Quoted(p.value(kJobs)));
    }
    o.modem = p.value(kModem);
    o.modemNumber = p.value(kModemNumber);
    if (!o.modemNumber.isEmpty() && !o.ports.isEmpty()) return Fail(kUsage, "give either --port or --modem-number");
    if (!o.modem.isEmpty() && o.modemNumber.isEmpty()) return Fail(kUsage, "--modem needs --modem-number");
    // Never a guess: dialling on a port taken at random would write into whatever is attached there.
    if (o.modem.isEmpty() && !o.modemNumber.isEmpty())
        return Fail(kUsage, "--modem-number needs --modem DEVICE, the modem's serial device or network port");
    // A network port that cannot be one is a wrong command line, told before
    // anything is opened, and never with a password it may hold.
    for (const QString& port : o.ports + QStringList{o.modem}) {
        TNetworkAddress address;
        if (IsNetworkPort(port) && !ParseNetworkPort(port, address))
            return Fail(kUsage, Quoted(ShownPortText(port)) +
                                    " is no network port: name it socket://HOST:PORT or rfc2217://HOST:PORT");
    }
    if (o.ports.isEmpty()) o.ports << "Com1";
    if (o.yes) o.passOn << "--yes";
    if (!o.agreed.isEmpty()) o.passOn << "--agree" << o.agreed.join(',');
    if (o.verbose) o.passOn << "--verbose";
    if (p.isSet(kWait)) o.passOn << "--wait" << QString::number(o.waitSeconds);
    // The write's own options go to every gateway of a fleet too.
    const QStringList given = p.optionNames();
    if (given.contains(kNoBackup.names().front())) o.passOn << "--no-backup";
    if (given.contains(kOnly.names().front())) o.passOn << "--only" << p.values(kOnly).join(',');
    if (given.contains(kForceDamaged.names().front())) o.passOn << "--force-damaged";
    if (given.contains(kState.names().front())) o.passOn << "--state" << p.value(kState);
    if (given.contains(kCheck.names().front())) o.passOn << "--check";
    if (given.contains(kDiffOption.names().front())) o.passOn << "--diff";
    o.linkParsed = true;
    return kOk;
}
