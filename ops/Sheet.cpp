#include "Sheet.h"

#include "Captions.h"
#include "Catalogue.h"
#include "Commonutils.h"
#include "Gatewayimage.h"
#include "Globals.h"
#include "Language.h"
#include "Parameters.h"

#include <algorithm>

namespace {
const int kTextSheet = 528, kTextSerial = 529, kTextFirmware = 530, kTextSource = 531, kTextDate = 533,
          kTextOther = 535, kTextRow = 536, kTextNoRows = 540, kTextNotKnown = 101, kTextPageOf = 658;

QString Escaped(const QString& s) { return s.toHtmlEscaped(); }

QString Cell(const QString& tag, const QString& text) { return "<" + tag + ">" + Escaped(text) + "</" + tag + ">"; }

// A routing row is used when its number is set (the gateway marks it in its
// used-entry bitmap); one whose other values were changed is shown too, so the
// sheet hides nothing the configuration holds.
bool RowShown(const CParameters& p, const std::vector<const CCaptions::TEntry*>& columns, int row)
{
    for (const CCaptions::TEntry* c : columns) {
        const auto* par = p.Find(c->key);
        const std::string& value = par->Values[size_t(row)];
        if (UsedBitmapOf(c->key) >= 0 ? !value.empty() : value != par->Par->m_Default) return true;
    }
    return false;
}

class CSheetWriter {
public:
    CSheetWriter(const CParameters& p, const CCaptions& c) : m_P(p), m_C(c) {}

    // The page's settings under the tabs and groups that hold them, each group
    // where the page's controls first reach it; a routing table after the
    // single settings of its tab. A page with nothing to show has no heading.
    void Page(int page)
    {
        std::vector<std::vector<int>> contexts;
        std::vector<std::vector<const CCaptions::TEntry*>> groups;
        for (const CCaptions::TEntry& e : m_C.Ordered()) {
            if (e.page != page || !m_P.Find(e.key) || SecretSetting(e.key)) continue;
            const std::vector<int> context = Context(e);
            const auto at = std::find(contexts.begin(), contexts.end(), context);
            if (at == contexts.end()) {
                contexts.push_back(context);
                groups.push_back({&e});
            } else {
                groups[size_t(at - contexts.begin())].push_back(&e);
            }
        }
        if (groups.empty()) return;
        m_Html += Cell("h2", CCaptions::Text(kPageTitleTexts[page]));
        for (size_t g = 0; g < groups.size(); ++g) {
            Heading(contexts[g]);
            std::vector<const CCaptions::TEntry*> columns, gridded;
            for (const CCaptions::TEntry* e : groups[g]) {
                const auto* par = m_P.Find(e->key);
                if (par->Count > 1) {
                    columns.push_back(e);
                } else if (InGrid(groups[g], *e)) {
                    gridded.push_back(e);
                } else {
                    Setting(Label(*e), m_C.Show(e->key, par->Values[0]));
                }
            }
            if (!gridded.empty()) Grid(gridded);
            if (!columns.empty()) Table(columns);
        }
        CloseSettings();
    }

    // Settings that files keep but no page shows, by their keys.
    void Others()
    {
        bool any = false;
        for (const auto& [key, par] : m_P.Entries()) {
            if (!par.Par->m_InFile || SecretSetting(key) || m_C.Find(key)) continue;
            if (!any) m_Html += Cell("h2", CCaptions::Text(kTextOther));
            any = true;
            for (int i = 0; i < par.Count; ++i)
                Setting(QString::fromStdString(par.Count > 1 ? key + ":" + std::to_string(i + 1) : key),
                        m_C.Show(key, par.Values[size_t(i)]));
        }
        CloseSettings();
    }

    QString m_Html;

private:
    static std::vector<int> Context(const CCaptions::TEntry& e)
    {
        const std::vector<int>& path = e.caption.path;
        return std::vector<int>(path.begin(), path.end() - (path.empty() ? 0 : 1));
    }

    static QString Label(const CCaptions::TEntry& e)
    {
        return e.caption.path.empty() ? QString::fromStdString(e.key) : CCaptions::Text(e.caption.path.back());
    }

    // A setting in a grid of numbered rows: its page labels the rows after the
    // first with their numbers, the first by the column's caption alone.
    static bool InGrid(const std::vector<const CCaptions::TEntry*>& group, const CCaptions::TEntry& e)
    {
        if (e.caption.row > 0) return true;
        return std::any_of(group.begin(), group.end(), [&e](const CCaptions::TEntry* other) {
            return other->caption.row > 0 && other->caption.path == e.caption.path;
        });
    }

    // Such a grid as a table: the rows numbered as the page numbers them.
    void Grid(const std::vector<const CCaptions::TEntry*>& entries)
    {
        CloseSettings();
        std::vector<std::vector<int>> paths;
        std::vector<int> rows;
        for (const auto* e : entries) {
            if (std::find(paths.begin(), paths.end(), e->caption.path) == paths.end()) paths.push_back(e->caption.path);
            rows.push_back(std::max(e->caption.row, 1));
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        m_Html += "<table class=\"rows\" width=\"100%\">\n<thead><tr>" + Cell("th", CCaptions::Text(kTextRow));
        for (const auto& path : paths)
            for (const auto* e : entries)
                if (e->caption.path == path) {
                    m_Html += Cell("th", Label(*e));
                    break;
                }
        m_Html += "</tr></thead>\n";
        for (int row : rows) {
            m_Html += "<tr>" + Cell("td", QString::number(row));
            for (const auto& path : paths) {
                QString value;
                for (const auto* e : entries)
                    if (e->caption.path == path && std::max(e->caption.row, 1) == row)
                        value = m_C.Show(e->key, m_P.Find(e->key)->Values[0]);
                m_Html += Cell("td", value);
            }
            m_Html += "</tr>\n";
        }
        m_Html += "</table>\n";
    }

    void Heading(const std::vector<int>& context)
    {
        CloseSettings();
        QStringList parts;
        for (int n : context) parts << CCaptions::Text(n);
        if (!parts.isEmpty()) m_Html += Cell("h3", parts.join(QString(" \u203A ")));
    }

    void Setting(const QString& label, const QString& value)
    {
        // One width for every page's settings, so their values line up.
        if (!m_Open) m_Html += "<table class=\"settings\" width=\"100%\">\n";
        m_Open = true;
        m_Html += "<tr><td width=\"50%\">" + Escaped(label) + "</td>" + Cell("td", value) + "</tr>\n";
    }

    void CloseSettings()
    {
        if (m_Open) m_Html += "</table>\n";
        m_Open = false;
    }

    void Table(const std::vector<const CCaptions::TEntry*>& columns)
    {
        CloseSettings();
        const int rows = m_P.Find(columns.front()->key)->Count;
        QString body;
        for (int r = 0; r < rows; ++r) {
            if (!RowShown(m_P, columns, r)) continue;
            body += "<tr>" + Cell("td", QString::number(r + 1));
            for (const auto* c : columns) body += Cell("td", m_C.Show(c->key, m_P.Find(c->key)->Values[size_t(r)]));
            body += "</tr>\n";
        }
        if (body.isEmpty()) {
            m_Html += Cell("p", CCaptions::Text(kTextNoRows));
            return;
        }
        // The whole width, and a header row that every page of the table repeats.
        m_Html += "<table class=\"rows\" width=\"100%\">\n<thead><tr>" + Cell("th", CCaptions::Text(kTextRow));
        for (const auto* c : columns) m_Html += Cell("th", Label(*c));
        m_Html += "</tr></thead>\n" + body + "</table>\n";
    }

    const CParameters& m_P;
    const CCaptions& m_C;
    bool m_Open = false;
};
}  // namespace

QString SheetHtml(const CParameters& parameters, const CCaptions& captions, const TSheetTitle& title)
{
    CLanguage& l = Language();
    const QString heading = l.Text(0) + " \u2013 " + CCaptions::Text(kTextSheet);
    const QString unknown = l.Text(kTextNotKnown);
    const QString serial = title.serial.isEmpty() ? unknown : title.serial;
    // The title heads every printed page: which gateway a loose page belongs to.
    const QString pageHead = heading + " \u2013 " + CCaptions::Text(kTextSerial) + " " + serial;
    QString html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" + Escaped(pageHead) +
                   "</title>\n<style>\n"
                   "body { font-family: sans-serif; font-size: 10pt; }\n"
                   "h1 { font-size: 16pt; } h2 { font-size: 13pt; margin-top: 14pt; } h3 { font-size: 11pt; }\n"
                   "table { border-collapse: collapse; margin-bottom: 6pt; }\n"
                   "td, th { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }\n"
                   "th { background: #e6e6e6; }\n"
                   // Routing tables are wide: smaller, so their columns fit without breaking a word.
                   "table.rows td, table.rows th { font-size: 8pt; padding: 1px 3px; }\n"
                   "</style></head>\n<body>\n" +
                   Cell("h1", heading) + "<table class=\"title\">\n";
    const auto line = [&html](int text, const QString& value) {
        html += "<tr>" + Cell("th", CCaptions::Text(text)) + Cell("td", value) + "</tr>\n";
    };
    line(kTextSerial, serial);
    line(kTextFirmware, title.firmware.isEmpty() ? unknown : title.firmware);
    line(kTextSource, title.origin);
    line(kTextDate, title.when.toString("yyyy-MM-dd HH:mm"));
    html += "</table>\n";
    CSheetWriter writer(parameters, captions);
    for (int page = 0; page < int(std::size(kPageTitleTexts)); ++page) writer.Page(page);
    writer.Others();
    return html + writer.m_Html + "</body></html>\n";
}

bool WriteSheetHtml(const QString& html, const QString& path, TFileStatus* status)
{
    return WriteFileAtomically(path, html.toUtf8(), status);
}

TSheetPrintTexts SheetPrintTexts()
{
    return {Language().Text(0) + " \u2013 " + CCaptions::Text(kTextSheet), Language().Text(0),
            Language().Text(kTextPageOf)};
}
