#include "Cliapply.h"

#include "Catalogue.h"
#include "Cliexit.h"
#include "Clikeys.h"
#include "Clireport.h"
#include "Clischema.h"
#include "Commonutils.h"
#include "Language.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Parameters.h"

#include <QDir>
#include <QJsonArray>
#include <cstdio>

namespace {
// A value for every output: a secret never shows.
QString Shown(const TDifference& d, const std::string& value)
{
    return SecretSetting(d.key) ? QString("(secret)") : FromBytes(value);
}
}  // namespace

int TApplyCommand::Prepare(const TApplyOptions& options)
{
    m_Options = options;
    // The captions of list items, for a refusal; the link's run has objects of its own.
    TGlobalObjects globals;
    Language().InitEnglish(ProgramFolder());
    CParameters catalogue;
    BuildCatalogue(catalogue);
    const TDesiredRules rules{ChoicesOf, SecretSetting, SecretFromOutside};
    QString error;
    bool fileError = false;
    if (!LoadDesiredState(options.path, catalogue, rules, m_State, error, fileError)) {
        Report().Error(error);
        return fileError ? kFileError : kDataError;
    }
    return kOk;
}

int TApplyCommand::Run(CGatewayOps& ops, QJsonObject& report, const std::function<int()>& failed)
{
    TApplyRun run;
    run.replaced = m_Options.replaced;
    run.checkOnly = m_Options.check;
    ops.KeepCopies = m_Options.keepCopy;
    const bool done = ops.Apply(m_State, run);
    report["serial"] = run.serial;
    report["firmware"] = run.firmware;
    report["partial"] = ops.MayHoldPart();
    report["backup"] = ops.LastCopy.isEmpty() ? QJsonValue() : QJsonValue(ops.LastCopy);
    report["changed"] = run.written;
    if (!done) return failed();

    QJsonObject before, after;
    for (const TDifference& d : run.changes) {
        const QString name = QString::fromStdString(SettingName(d.key, d.index, d.count));
        before[name] = Shown(d, d.mine);
        after[name] = Shown(d, d.other);
        if (m_Options.diff && !m_Options.json) PrintDifference(d, true);
    }
    report["before"] = before;
    report["after"] = after;
    const char* result = run.changes.empty() ? "unchanged" : run.checkOnly ? "would-change" : "changed";
    report["result"] = result;
    if (!m_Options.json) {
        const int n = int(run.changes.size());
        if (run.changes.empty()) std::printf("unchanged\n");
        else
            std::printf("%s: %d setting%s (block%s %s)\n", run.checkOnly ? "would change" : "changed", n,
                        n == 1 ? "" : "s", run.block1 && run.block2 ? "s" : "",
                        run.block1 && run.block2 ? "1 and 2"
                        : run.block1             ? "1"
                                                 : "2");
        if (!ops.LastCopy.isEmpty())
            std::fprintf(stderr, "korvanext-cli: the gateway's previous configuration is kept in '%s'\n",
                         qPrintable(ShownText(QDir::toNativeSeparators(ops.LastCopy))));
    }
    return run.checkOnly && !run.changes.empty() ? int(kDiffers) : int(kOk);
}
