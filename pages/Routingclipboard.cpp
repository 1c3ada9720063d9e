// The routing tables as a spreadsheet sees them: blocks of cells copied as
// tab-separated text, pasted (corrected as typed ones) and cleared.
#include "Routingtables.h"

#include "Bindings.h"
#include "Commonutils.h"
#include "Globals.h"
#include "Language.h"
#include "Parameters.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTableWidget>
#include <optional>

namespace {
// Tab-separated cells as spreadsheets put them on the clipboard: a field with a
// tab, a line break or a quote is quoted, with its quotes doubled.
std::vector<QStringList> ParseCells(const QString& text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += c;
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.isEmpty()) {
            quoted = true;
        } else if (c == '\t') {
            row << field;
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row << field;
            rows.push_back(row);
            row.clear();
            field.clear();
            any = false;
            continue;
        } else {
            field += c;
        }
        any = true;
    }
    if (any) {
        row << field;
        rows.push_back(row);
    }
    return rows;
}

QString CellsText(const std::vector<QStringList>& rows)
{
    QString text;
    for (const QStringList& row : rows) {
        QStringList fields;
        for (QString f : row) {
            if (f.contains('\t') || f.contains('\n') || f.contains('\r') || f.startsWith('"'))
                f = '"' + f.replace('"', "\"\"") + '"';
            fields << f;
        }
        text += fields.join('\t') + '\n';
    }
    return text;
}

// The item value a pasted text stands for in a list column: an item's value
// written as a number, or an item's text in any letter case.
std::optional<int> ListValue(const QComboBox* list, const QString& text)
{
    const QString t = text.trimmed();
    static const QRegularExpression number("^[+-]?\\d+$");
    if (number.match(t).hasMatch()) {
        bool ok = false;
        const int v = t.toInt(&ok);
        if (ok && ComboFindValue(list, v) >= 0) return v;
        return std::nullopt;
    }
    for (int j = 0; j < list->count(); ++j)
        if (!t.isEmpty() && list->itemText(j).compare(t, Qt::CaseInsensitive) == 0) return ComboItemValue(list, j);
    return std::nullopt;
}

const int kTextNotPasted = 373, kTextNotPastedCell = 374;
const int kMaxReported = 12;  // cells named in the message; the rest are counted
}  // namespace

QRect TFRoutingTables::SelectedBlock(const TGrid& grid) const
{
    QTableWidget* t = grid.table;
    QRect block;
    const QList<QTableWidgetSelectionRange> ranges = t->selectedRanges();
    if (!ranges.isEmpty()) {
        const QTableWidgetSelectionRange& r = ranges.first();
        block = QRect(QPoint(r.leftColumn(), r.topRow()), QPoint(r.rightColumn(), r.bottomRow()));
    } else if (t->currentRow() >= 0 && t->currentColumn() >= 0) {
        block = QRect(t->currentColumn(), t->currentRow(), 1, 1);
    }
    // The default rule's label is no cell of a parameter: a block on it starts at the first one.
    if (!block.isEmpty() && block.right() < grid.first) block.moveLeft(grid.first);
    if (!block.isEmpty() && block.left() < grid.first) block.setLeft(grid.first);
    return block;
}

bool TFRoutingTables::GridKey(TGrid& grid, QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopyCells(grid);
    } else if (event->matches(QKeySequence::Cut)) {
        CopyCells(grid);
        ClearCells(grid);
    } else if (event->matches(QKeySequence::Paste)) {
        PasteCells(grid);
    } else if (event->matches(QKeySequence::Delete)) {
        ClearCells(grid);
    } else {
        return false;
    }
    return true;
}

void TFRoutingTables::CopyCells(TGrid& grid)
{
    const QRect block = SelectedBlock(grid);
    if (block.isEmpty()) return;
    std::vector<QStringList> rows;
    for (int r = block.top(); r <= block.bottom(); ++r) {
        QStringList row;
        for (int c = block.left(); c <= block.right(); ++c) {
            // A list cell as shown; a value that is no item of its list as it is.
            const QTableWidgetItem* item = grid.table->item(r, c);
            const bool shown = item && !item->text().isEmpty();
            row << (shown ? item->text() : FromBytes(CellValue(grid, r, c)));
        }
        rows.push_back(row);
    }
    QGuiApplication::clipboard()->setText(CellsText(rows));
}

void TFRoutingTables::PasteCells(TGrid& grid)
{
    const std::vector<QStringList> rows = ParseCells(QGuiApplication::clipboard()->text());
    QRect block = SelectedBlock(grid);
    if (rows.empty() || block.isEmpty()) return;
    QTableWidget* t = grid.table;
    const bool fill = rows.size() == 1 && rows[0].size() == 1;
    if (!fill) {
        int width = 0;
        for (const QStringList& row : rows) width = std::max(width, int(row.size()));
        block.setSize(QSize(width, int(rows.size())));
    }
    block &= QRect(grid.first, 0, t->columnCount() - grid.first, t->rowCount());
    QStringList refused;
    int refusedCount = 0;
    for (int r = block.top(); r <= block.bottom(); ++r)
        for (int c = block.left(); c <= block.right(); ++c) {
            const QStringList& row = fill ? rows[0] : rows[size_t(r - block.top())];
            const int i = fill ? 0 : c - block.left();
            if (i >= row.size()) continue;
            const TColumn& col = *ColumnAt(grid, c);
            if (col.list) {
                const std::optional<int> v = ListValue(col.list, row[i]);
                if (v) {
                    SetCell(grid, r, c, NumberText(*v));
                } else if (++refusedCount <= kMaxReported) {
                    const QString where = grid.routing ? QString("%1.").arg(r + 1) : Language().Text(grid.labelText);
                    refused << Substitute(Language().Text(kTextNotPastedCell),
                                          {where, Language().Text(col.text), row[i]});
                }
            } else {
                // As a typed value: normalised by the parameter's type.
                std::string value = ToBytes(row[i]);
                Parameters().NormalizeValue(col.key, value);
                SetCell(grid, r, c, value);
            }
        }
    t->clearSelection();
    t->setRangeSelected(QTableWidgetSelectionRange(block.top(), block.left(), block.bottom(), block.right()), true);
    if (refusedCount > kMaxReported) refused << QString("… (%1)").arg(refusedCount);
    if (!refused.isEmpty() && m_Host)
        m_Host->Warning(Substitute(Language().Text(kTextNotPasted), {refused.join('\n')}));
}

void TFRoutingTables::ClearCells(TGrid& grid)
{
    const QRect block = SelectedBlock(grid);
    for (int r = block.top(); r <= block.bottom(); ++r)
        for (int c = block.left(); c <= block.right(); ++c) {
            std::string value;
            Parameters().NormalizeValue(ColumnAt(grid, c)->key, value);
            SetCell(grid, r, c, value);
        }
}
