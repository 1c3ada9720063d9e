// The commands on configuration files, images and sheets: none of them
// reaches a gateway.
#include "Clicommands.h"

#include "Captions.h"
#include "Catalogue.h"
#include "Cliexit.h"
#include "Clifiles.h"
#include "Clikeys.h"
#include "Clireport.h"
#include "Clischema.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Gatewayimage.h"
#include "Globals.h"
#include "Imagelayout.h"
#include "Language.h"
#include "Sheet.h"
#include "Sheetpdf.h"
#include "Strictvalues.h"
#include "Writecheck.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <memory>
#include <cstdio>
#include <set>
#include <vector>

int CmdKeys(TOptions& o)
{
    const auto p = Catalogue();
    QJsonArray keys;
    for (const auto& [key, rc] : p->Entries()) {
        keys.append(QJsonObject{{"key", QString::fromStdString(key)},
                                {"type", rc.Par->ClassName()},
                                {"rows", rc.Count},
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
        return Fail(kDataError, QString("%1 holds %2 bytes, an image has %3")
                                    .arg(Quoted(in))
                                    .arg(bytes.size())
                                    .arg(ImageLayout::ImageSize));
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
            std::printf("%s\t%s\n", qPrintable(KeyName(ref.key, ref.par->Count, i)),
                        ShownText(value).toLocal8Bit().constData());
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
    std::unique_ptr<TGlobalObjects> globals;  // the captions of list items, for a refusal
    // Every assignment is checked before the file is touched.
    for (int i = 1; i < o.positional.size(); ++i) {
        const QString& a = o.positional[i];
        const int eq = a.indexOf('=');
        if (eq <= 0) return Fail(kUsage, "expected KEY=VALUE or KEY:ROW=VALUE, not " + Quoted(a));
        TAssignment as;
        if (const int rc = ParseKeyRef(*p, a.left(eq), as.ref)) return rc;
        if (as.ref.row == 0 && as.ref.par->Count > 1)
            return Fail(kUsage,
                        QString("%1 has rows 1 to %2: give KEY:ROW=VALUE").arg(a.left(eq)).arg(as.ref.par->Count));
        as.given = a.mid(eq + 1);
        // Without --yes a value is stored as given or not at all.
        if (!o.parser.isSet(kYes)) {
            if (const QString why = BeyondBytes(as.given); !why.isEmpty())
                return Fail(kDataError, QString("%1: \"%2\" %3 (--yes stores it with '?' for them); %4 is unchanged")
                                            .arg(a.left(eq), as.given, why, Quoted(o.positional[0])));
            if (!globals) {
                globals = std::make_unique<TGlobalObjects>();
                Language().InitEnglish(ProgramFolder());
            }
            const std::string name = SettingName(as.ref.key, std::max(as.ref.row - 1, 0), as.ref.par->Count);
            if (const QString why = StrictProblem(name, *as.ref.par->Par, ToBytes(as.given), ChoicesOf(as.ref.key));
                !why.isEmpty())
                return Fail(kDataError,
                            why + " (--yes stores it adjusted); " + Quoted(o.positional[0]) + " is unchanged");
        }
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
        std::fprintf(stderr, "korvanext-cli: %s: \"%s\" is stored as \"%s\"\n", qPrintable(name),
                     qPrintable(ShownText(as.given)), qPrintable(ShownText(stored)));
    }
    WarnNotHeld(*p, path, gaps, "the file now holds their defaults");
    if (const QString why = SaveConfiguration(*p, path); !why.isEmpty()) return CannotWrite(path, why);
    Report().Add({{"file", path}, {"changed", changed}});
    return kOk;
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
    return differences.isEmpty() ? kOk : kDiffers;
}
// The configuration sheet of a file, as PDF or HTML, in the language asked for.
int CmdSheet(TOptions& o)
{
    const QString in = o.positional[0], out = o.positional[1];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != "pdf" && suffix != "html" && suffix != "htm")
        return Fail(kUsage, "the sheet is written as OUT.pdf or OUT.html, not " + Quoted(out));
    TGlobalObjects globals;
    if (!Language().Init(ProgramFolder()) || Language().LanguageCount() == 0)
        return CannotRead(ProgramFolder() + "/L_Init.ini",
                          "the language index is missing or empty; reinstall the program");
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
    const TSheetPdf& pdf = *o.sheetPdf;
    if (suffix == "pdf" && !pdf.Loaded()) return CannotRead(pdf.Path(), pdf.Error());
    TFileStatus status;
    if (!(suffix == "pdf" ? pdf.Write(html, out, SheetPrintTexts(), &status) : WriteSheetHtml(html, out, &status)))
        return CannotWrite(out, status.Reason);
    Report().Add({{"file", out}});
    return kOk;
}
