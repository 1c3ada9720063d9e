// Command-line access to the tool's configuration model and gateway link, for
// scripts and for many gateways at once.
#include "Clicommands.h"
#include "Cliexit.h"
#include "Clireport.h"
#include "Sheetpdf.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <memory>

// Where the command is: --json (or a misspelt --json...) may come before it.
static qsizetype CommandIndex(const QStringList& args)
{
    qsizetype i = 0;
    while (i < args.size() && args[i].startsWith("--json")) ++i;
    return i;
}

int main(int argc, char** argv)
{
    // The sheet's PDF is laid out with fonts, which take the GUI application of its
    // module; without the module the sheet command says so when it comes to a PDF.
    std::unique_ptr<TSheetPdf> sheetPdf;
    std::unique_ptr<QCoreApplication> app;
    QStringList given;
    for (int i = 1; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
    if (const qsizetype at = CommandIndex(given); at < given.size() && given[at] == "sheet") {
        sheetPdf = std::make_unique<TSheetPdf>();
        app = sheetPdf->MakeApplication(argc, argv);
    }
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("korvanext-cli");
    QStringList args = QCoreApplication::arguments().mid(1);
    // --json=1 is --json; before the command it is taken as given after it.
    for (QString& a : args)
        if (a == "--json=1" || a == "--json=true" || a == "--json=yes") a = "--json";
    const qsizetype lead = CommandIndex(args);
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
    const auto found =
        std::find_if(Commands().begin(), Commands().end(), [&](const TCommand& c) { return args[0] == c.name; });
    if (found == Commands().end())
        return report.Finish(Fail(kUsage, "unknown command " + Quoted(args[0]) + " (see --help)"));
    const TCommand& c = *found;
    report.SetCommand(c.name);
    TOptions o;
    o.sheetPdf = sheetPdf.get();
    AddOptions(o.parser, c.group);
    if (!o.parser.parse(QStringList{"korvanext-cli"} + args.mid(1)))
        return report.Finish(Fail(
            kUsage, c.name + QString(": ") + o.parser.errorText() + " (see 'korvanext-cli " + c.name + " --help')"));
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
