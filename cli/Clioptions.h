// The command line of korvanext-cli: the options each kind of command takes,
// and the link options read into TOptions.
#pragma once
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

constexpr int kDefaultWaitSeconds = 15;

class TSheetPdf;

struct TOptions {
    QCommandLineParser parser;
    QStringList positional;
    QStringList ports;
    bool yes = false, json = false, verbose = false;
    QStringList agreed;       // the questions of --agree, by name
    bool linkParsed = false;  // the link options are read once, also when a command looks at them first
    int waitSeconds = kDefaultWaitSeconds;
    int jobs = 32;  // gateways of a fleet at once
    QString modem, modemNumber;
    QStringList passOn;  // what every run of a fleet gets besides its port
    // The sheet command's PDF writer, loaded with the program's application.
    const TSheetPdf* sheetPdf = nullptr;
};

enum TGroup {
    kFileCommand,
    kDiffCommand,
    kLinkCommand,
    kWriteCommand,
    kBackupsCommand,
    kUpgradeCommand,
    kSignalCommand,
    kSheetCommand,
    kSetCommand,
    kApplyCommand
};

// Whether a kind of command reaches a gateway (and takes the link options).
bool OnLink(TGroup group);

// The options; their descriptions are in the help texts.
inline const QCommandLineOption kPort("port", QString(), "PORT");
inline const QCommandLineOption kPortsFrom("ports-from", QString(), "FILE");
inline const QCommandLineOption kModem("modem", QString(), "DEVICE");
inline const QCommandLineOption kModemNumber("modem-number", QString(), "NUMBER");
inline const QCommandLineOption kYes({"y", "yes"}, QString());
inline const QCommandLineOption kAgree("agree", QString(), "NAME[,NAME...]");
inline const QCommandLineOption kWait("wait", QString(), "SECONDS");
inline const QCommandLineOption kVerbose("verbose", QString());
inline const QCommandLineOption kJobs("jobs", QString(), "N");
inline const QCommandLineOption kJson("json", QString());
inline const QCommandLineOption kDefaults("defaults", QString());
inline const QCommandLineOption kHelp({"h", "help"}, QString());
inline const QCommandLineOption kOnly("only", QString(), "KEY[,KEY...]");
inline const QCommandLineOption kNoBackup("no-backup", QString());
inline const QCommandLineOption kSerial("serial", QString(), "N");
inline const QCommandLineOption kForceDamaged("force-damaged", QString());
inline const QCommandLineOption kInterval("interval", QString(), "S");
inline const QCommandLineOption kCount("count", QString(), "N");
inline const QCommandLineOption kLanguageId("language", QString(), "ID");
inline const QCommandLineOption kState("state", QString(), "merged|replaced");
inline const QCommandLineOption kCheck("check", QString());
inline const QCommandLineOption kDiffOption("diff", QString());

void AddOptions(QCommandLineParser& parser, TGroup group);

// Reads the ports, the modem and --wait once: 0, or the exit status after saying why not.
int ParseLinkOptions(TOptions& o);
