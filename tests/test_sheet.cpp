#include "Captions.h"
#include "Pagecaptions.h"
#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Language.h"
#include "Pagelist.h"
#include "Parameters.h"
#include "Sheetprint.h"
#include "Signaltrace.h"
#include "apptest.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

namespace {
QString Program(const char* name) { return QCoreApplication::applicationDirPath() + "/" + name; }

// The text of a PDF as a reader gets it; ligatures become their letters.
QString PdfText(const QString& path)
{
    QProcess p;
    p.start("pdftotext", {"-layout", path, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

struct TRun {
    int code = -1;
    QString out, err;
};

// korvanext-cli in the test's folder; a simulator answers on its own thread meanwhile.
TRun Cli(const QStringList& args, const QString& folder, const QString& program = Program("korvanext-cli"))
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Gives every setting a value other than its default where its type lets it
// have one, and a few routing rows their numbers.
void ChangeEverything(CParameters& p)
{
    const char* candidates[] = {"1", "2", "7", "12", "123", "0", "9", "AB1"};
    for (const auto& [key, par] : p.Entries()) {
        if (!par.Par->m_InFile || par.Count > 1) continue;
        for (const char* c : candidates) {
            std::string v = c;
            p.NormalizeValue(key, v);
            if (v != par.Par->m_Default) {
                p.SetValue(key, 0, v);
                break;
            }
        }
    }
    p.SetValue("FXSNumBegin", 2, "604");
    p.SetValue("FXSDirection", 2, "1");
    p.SetValue("GSMNum", 119, "+420777");
    // A row without its number, but with a changed value: shown too.
    p.SetValue("FXOAdd", 40, "55");
}

struct Sheet : AppFixture {
    void SetUp() override { StartApp(); }
};
}  // namespace

TEST_F(Sheet, HoldsEverySettingThatDiffersAsThePageShowsItAndNeverASecret)
{
    main->LanguageButtonClick("Ger");
    CParameters defaults;
    BuildCatalogue(defaults);
    ChangeEverything(Parameters());
    Parameters().SetValue("PINVal", 0, "9386");
    Parameters().SetValue("ServisPassw", 0, "55321");
    Parameters().SetValue("FXOFMPassw", 0, "77413");  // the quick follow-me password
    const CCaptions& captions = BuiltInCaptions();
    const QString html =
        SheetHtml(Parameters(), captions, {"KX2-000042", "3.15", "anlage.kvx", QDateTime::currentDateTime()});
    const TComparison changed = CompareConfigurations(defaults, Parameters());
    ASSERT_GT(changed.differences.size(), 100u);
    for (const TDifference& d : changed.differences) {
        if (SecretSetting(d.key)) continue;
        const CCaptions::TCaption* c = captions.Find(d.key);
        const QString shown = captions.Show(d.key, d.other).toHtmlEscaped();
        if (d.count > 1) {
            // The row of a routing table: its number, then its values in the columns' order.
            const int row = html.indexOf(QString("<tr><td>%1</td>").arg(d.index + 1));
            ASSERT_GE(row, 0) << d.key << ":" << d.index + 1;
            EXPECT_GE(html.indexOf("<td>" + shown + "</td>", row), 0) << d.key << ":" << d.index + 1;
            continue;
        }
        const QString label = !c || c->path.empty() ? QString::fromStdString(d.key) : CCaptions::Text(c->path.back());
        // A grid of numbered rows (remote supervision) is a table with its rows numbered.
        const bool gridded = c && std::any_of(captions.Entries().begin(), captions.Entries().end(), [c](const auto& e) {
                                 return e.second.row > 0 && e.second.path == c->path;
                             });
        if (gridded) {
            const int row =
                html.indexOf(QString("<tr><td>%1</td>").arg(std::max(c->row, 1)), html.indexOf(label.toHtmlEscaped()));
            EXPECT_GE(html.indexOf("<td>" + shown + "</td>", row), 0) << d.key;
            continue;
        }
        EXPECT_TRUE(html.contains(">" + label.toHtmlEscaped() + "</td><td>" + shown + "</td>"))
            << d.key << " as " << label.toStdString() << " = " << shown.toStdString();
        if (c && c->show == CCaptions::TShow::List) {
            EXPECT_NE(shown, QString::fromStdString(d.other)) << d.key;
        }
    }
    // Routing tables only with the rows that are used or hold a change.
    EXPECT_TRUE(html.contains("<tr><td>41</td>"));
    EXPECT_FALSE(html.contains("<tr><td>42</td>"));
    EXPECT_FALSE(html.contains("9386"));
    EXPECT_FALSE(html.contains("55321"));
    EXPECT_FALSE(html.contains("77413"));
    EXPECT_FALSE(html.contains(QString(" 2.</td>")));  // never "Number, Number 2., ..."
    // A page without a setting to show has no heading (the security page holds only secrets).
    EXPECT_FALSE(html.contains("<h2>" + CCaptions::Text(kPageTitleTexts[6]).toHtmlEscaped() + "</h2>"));
    EXPECT_FALSE(html.contains(QRegularExpression("</h2>\\s*(<h2>|</body>)")));
    EXPECT_TRUE(html.contains("anlage.kvx"));

    // The window's PDF: the same sheet, as text a reader finds.
    QTemporaryDir dir;
    prompts->savePath = dir.filePath("blatt.pdf");
    ASSERT_TRUE(main->ExportSheetClick());
    const QString text = PdfText(prompts->savePath);
    EXPECT_TRUE(text.contains(CCaptions::Text(528))) << text.left(400).toStdString();
    EXPECT_TRUE(text.contains(captions.Show("FXSTypeDial", Parameters().GetValue("FXSTypeDial", 0))));
    EXPECT_TRUE(text.contains("+420777"));
    EXPECT_FALSE(text.contains("9386"));
    EXPECT_FALSE(text.contains("55321"));
    EXPECT_FALSE(text.contains("77413"));
    // In no file, but with a gateway's serial number: it came from that gateway.
    EXPECT_TRUE(text.contains(CCaptions::Text(532)));
}

TEST_F(Sheet, AfterAReadNamesTheGatewayAndTheCaptionsFollowThePages)
{
    ASSERT_TRUE(main->m_Ops.ReadFromGateway());
    QTemporaryDir dir;
    prompts->savePath = dir.filePath("read.pdf");
    ASSERT_TRUE(main->ExportSheetClick());
    const QString text = PdfText(prompts->savePath);
    EXPECT_TRUE(text.contains("KX2-004711"));
    EXPECT_TRUE(text.contains("3.15"));
    EXPECT_TRUE(text.contains(CCaptions::Text(532)));
    // A file that cannot be written says so and leaves nothing behind.
    prompts->savePath = dir.filePath("no/such/folder/x.pdf");
    EXPECT_FALSE(main->ExportSheetClick());
    EXPECT_TRUE(LastMessage().contains("x.pdf"));

    // The table the build took from the pages is what the pages show now.
    std::vector<TFPage*> pages;
    for (int i = 0; i < 7; ++i) pages.push_back(main->Page(i));
    const CCaptions live = CaptionsFromPages(pages);
    const auto& built = BuiltInCaptions().Ordered();
    ASSERT_EQ(live.Ordered().size(), built.size());
    for (size_t i = 0; i < built.size(); ++i) {
        const auto& a = live.Ordered()[i];
        const auto& b = built[i];
        EXPECT_EQ(a.key, b.key);
        EXPECT_EQ(a.page, b.page) << a.key;
        EXPECT_EQ(a.caption.path, b.caption.path) << a.key;
        EXPECT_EQ(a.caption.values, b.caption.values) << a.key;
        EXPECT_EQ(int(a.caption.show), int(b.caption.show)) << a.key;
    }
}

TEST_F(Sheet, CommandLineWritesHtmlAndPdfInTheLanguageAskedFor)
{
    QTemporaryDir dir;
    Parameters().SetAllDefaults();
    Parameters().SetValue("FXSTypeDial", 0, "1");
    Parameters().SetValue("GSMNum", 4, "+420603");
    ASSERT_TRUE(Parameters().SaveToFile(dir.filePath("site.kvx").toStdString()));
    TRun r = Cli({"sheet", "site.kvx", "site.html", "--language", "Pol"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(dir.filePath("site.html"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    main->LanguageButtonClick("Pol");
    EXPECT_TRUE(html.contains(BuiltInCaptions().Show("FXSTypeDial", "1").toHtmlEscaped()));
    EXPECT_TRUE(html.contains("<tr><td>5</td><td>+420603</td>"));
    EXPECT_TRUE(html.contains(CCaptions::Text(528)));

    r = Cli({"sheet", "site.kvx", "site.pdf"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(PdfText(dir.filePath("site.pdf")).contains("Configuration sheet"));
    // --json before the command is the same command, with the fonts its PDF takes.
    r = Cli({"--json", "sheet", "site.kvx", "first.pdf"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(PdfText(dir.filePath("first.pdf")).contains("Configuration sheet"));

    r = Cli({"sheet", "site.kvx", "site.html", "--language", "Xyz"}, dir.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Eng")) << r.err.toStdString();
    r = Cli({"sheet", "site.kvx", "site.txt"}, dir.path());
    EXPECT_EQ(r.code, 1);
    r = Cli({"sheet", "missing.kvx", "out.pdf"}, dir.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.pdf")));

    // Installed, the PDF writer is a module in <libdir>/korvanext/: without it a PDF
    // is a file error that names it, and HTML is still written.
    const QString built = QFileInfo(Program("korvanext-cli")).path() + "/";
    ASSERT_TRUE(QDir(dir.path()).mkpath("usr/bin") && QDir(dir.path()).mkpath("usr/share/korvanext") &&
                QDir(dir.path()).mkpath("usr/" KVX_MODULE_DIR));
    const QString installed = dir.filePath("usr/bin/korvanext-cli");
    ASSERT_TRUE(QFile::copy(built + "korvanext-cli", installed));
    for (const QString& table : QDir(built).entryList({"*.ini"}, QDir::Files))
        ASSERT_TRUE(QFile::copy(built + table, dir.filePath("usr/share/korvanext/" + table)));
    r = Cli({"sheet", "site.kvx", "lost.pdf"}, dir.path(), installed);
    EXPECT_EQ(r.code, 2);
    const QString module = dir.filePath("usr/" KVX_MODULE_DIR "/korvanext-sheetpdf.so");
    EXPECT_TRUE(r.err.contains("'" + module + "'") && r.err.contains("reinstall")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("lost.pdf")));
    EXPECT_EQ(Cli({"sheet", "site.kvx", "kept.html"}, dir.path(), installed).code, 0);
    ASSERT_TRUE(QFile::copy(built + "korvanext-sheetpdf.so", module));
    r = Cli({"sheet", "site.kvx", "found.pdf"}, dir.path(), installed);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(PdfText(dir.filePath("found.pdf")).contains("Configuration sheet"));
}

// Every routing table full of the longest numbers, in the languages with the
// longest words: no number or header is broken across lines, no secret shows,
// and every page names the gateway and counts the pages.
TEST_F(Sheet, PdfKeepsNumbersAndWordsWholeAndNamesTheGatewayOnEveryPage)
{
    QTemporaryDir dir;
    Parameters().SetAllDefaults();
    Parameters().SetValue("SerialNum", 0, "KX2-000042");
    Parameters().SetValue("FXOFMPassw", 0, "77413");
    // Each table's two numbers and its last column.
    const char* const tables[][3] = {{"FXSNumBegin", "FXSAdd", "FXSCallTime"},
                                     {"FXONumBegin", "FXOAdd", "FXOCallTime"},
                                     {"GSMNum", "GSMDialNUm", "GSMCallTime"}};
    std::vector<QStringList> rows;  // what each used row must show on one line
    for (int t = 0; t < 3; ++t)
        for (int row = 0; row < 12; ++row) {
            QStringList shown;
            for (int k = 0; k < 2; ++k) {
                // 16 digits, the most a number holds; each one different.
                shown << QString("00420%1").arg(77700000000LL + row * 100 + t * 10 + k, 11, 10, QChar('0'));
            }
            shown << QString::number(200 + t * 20 + row);
            for (int k = 0; k < 3; ++k) {
                Parameters().SetValue(tables[t][k], row, shown[k].toStdString());
                ASSERT_EQ(Parameters().GetValue(tables[t][k], row), shown[k].toStdString()) << tables[t][k];
            }
            rows.push_back(shown);
        }
    ASSERT_TRUE(Parameters().SaveToFile(dir.filePath("site.kvx").toStdString()));
    for (const char* language : {"Ger", "Fin", "Eng"}) {
        const TRun r = Cli({"sheet", "site.kvx", "site.pdf", "--language", language}, dir.path());
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        main->LanguageButtonClick(language);
        const QString text = PdfText(dir.filePath("site.pdf"));
        // A row's values on the line of its first number, none cut off by the page's edge.
        const QStringList lines = text.split('\n');
        for (const QStringList& shown : rows) {
            const auto line =
                std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(shown[0]); });
            ASSERT_NE(line, lines.end()) << language << " " << shown[0].toStdString();
            for (const QString& value : shown)
                EXPECT_TRUE(line->contains(QRegularExpression("\\b" + value + "\\b")))
                    << language << " " << line->toStdString();
        }
        EXPECT_FALSE(text.contains("77413")) << language;
        // The routing tables' headers, word by word.
        for (const CCaptions::TEntry& e : BuiltInCaptions().Ordered()) {
            if (Parameters().Find(e.key)->Count < 2) continue;
            for (const QString& word : CCaptions::Text(e.caption.path.back()).split(' ', Qt::SkipEmptyParts))
                EXPECT_TRUE(text.contains(word)) << language << " " << e.key << ": " << word.toStdString();
        }
        QStringList pages = text.split('\f');
        pages.removeIf([](const QString& page) { return page.trimmed().isEmpty(); });
        ASSERT_GE(pages.size(), 3) << language;
        for (int i = 0; i < pages.size(); ++i) {
            EXPECT_TRUE(pages[i].contains("KX2-000042")) << language << " page " << i + 1;
            EXPECT_TRUE(
                pages[i].contains(Substitute(Text(658), {QString::number(i + 1), QString::number(pages.size())})))
                << language << " page " << i + 1;
        }
    }
}

TEST_F(Sheet, SignalCommandPrintsTheReadingsAskedFor)
{
    QTemporaryDir dir;
    TRun r = Cli({"signal", "--port", port, "--count", "3", "--interval", "0.2"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    for (const QString& l : lines) EXPECT_TRUE(l.contains("-79 dB")) << l.toStdString();
    const auto log = sim->AtLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "AT+CSQ"), 3);
    EXPECT_EQ(log.size(), 3u);

    sim->SetSignal(99);
    r = Cli({"signal", "--port", port, "--count", "2", "--interval", "0.2", "--json"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray readings = o["readings"].toArray();
    ASSERT_EQ(readings.size(), 2);
    EXPECT_EQ(readings[0].toObject()["csq"].toInt(), 99);
    EXPECT_TRUE(readings[0].toObject()["dB"].isNull());

    // Without a count the readings go on until the user ends them, which is no failure.
    sim->SetSignal(20);
    QProcess p;
    p.start(Program("korvanext-cli"), {"signal", "--port", port, "--interval", "0.2"});
    QString seen;
    for (int i = 0; i < 100 && seen.count('\n') < 2; ++i) {
        p.waitForReadyRead(200);
        seen += QString::fromUtf8(p.readAllStandardOutput());
    }
    EXPECT_GE(seen.count("-73 dB"), 2) << seen.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    EXPECT_EQ(Cli({"signal", "--port", port, "--count", "0"}, dir.path()).code, 1);
    EXPECT_EQ(Cli({"signal", "--modem-number", "123", "--modem", "/dev/null"}, dir.path()).code, 1);
}

TEST(SheetSignalTrace, KeepsTheLastMinutesAndMarksTheBestAndWorst)
{
    CSignalTrace t(60);
    const QDateTime start = QDateTime::currentDateTime();
    EXPECT_FALSE(t.Best());
    EXPECT_FALSE(t.Add(start, 99));  // no measurement
    EXPECT_TRUE(t.Add(start, 10));
    EXPECT_TRUE(t.Add(start.addSecs(10), 20));
    EXPECT_TRUE(t.Add(start.addSecs(20), 20));
    EXPECT_TRUE(t.Add(start.addSecs(30), 5));
    EXPECT_EQ(t.Best()->dB, -73);
    EXPECT_EQ(t.Best()->time, start.addSecs(10));  // the first place that reached it
    EXPECT_EQ(t.Worst()->dB, -103);
    EXPECT_TRUE(t.Add(start.addSecs(75), 32));  // the first readings fall out of the minute
    EXPECT_EQ(t.Readings().size(), 3u);
    EXPECT_EQ(t.Best()->dB, -49);
    EXPECT_EQ(t.Readings().front().time, start.addSecs(20));
}

// Whatever comes before it, a heading never closes a page: it starts the page
// its table or settings start on, together with the headings right above it.
TEST(SheetPages, AHeadingStaysWithWhatItHeads)
{
    QString rows;
    for (int r = 1; r <= 6; ++r) rows += QString("<tr><td>%1</td><td>value</td></tr>").arg(r);
    int orphans = 0;
    for (int filler = 0; filler < 40; ++filler) {
        QString html = "<html><body>";
        for (int i = 0; i < filler; ++i) html += "<p>line</p>";
        html += "<h2>Page</h2><h3>Group</h3><table>" + rows + "</table><h3>Next</h3><p>setting</p></body></html>";
        const auto document = SheetDocument(html);
        document->setPageSize(QSizeF(400, 300));
        // Headings whose next block starts a later page.
        const auto apart = [&document] {
            QStringList found;
            const auto page = [&](const QTextBlock& b) {
                return int(document->documentLayout()->blockBoundingRect(b).top() / 300);
            };
            for (QTextBlock b = document->begin(); b.next().isValid(); b = b.next())
                if (b.blockFormat().headingLevel() > 0 && page(b) != page(b.next())) found << b.text();
            return found;
        };
        orphans += int(apart().size());
        KeepHeadingsWithWhatFollows(*document);
        EXPECT_EQ(apart(), QStringList()) << filler;
    }
    EXPECT_GT(orphans, 0);  // the cases did put headings at a page's foot
}
