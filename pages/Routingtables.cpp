#include "Routingtables.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

static const int kRows = 120;

namespace {
// Edits a cell: a drop-down list for the list columns, a line for the others;
// a typed value is normalised by its parameter's type when the editor closes.
class TCellDelegate : public QStyledItemDelegate {
public:
    TCellDelegate(TFRoutingTables* page, TFRoutingTables::TGrid* grid)
        : QStyledItemDelegate(page), m_Page(page), m_Grid(grid)
    {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const auto* column = TFRoutingTables::ColumnAt(*m_Grid, index.column());
        if (!column) return nullptr;
        const auto& col = *column;
        if (!col.list) {
            auto* e = new QLineEdit(parent);
            e->setFrame(false);
            return e;
        }
        auto* combo = new QComboBox(parent);
        for (int j = 0; j < col.list->count(); ++j) combo->addItem(col.list->itemText(j), ComboItemValue(col.list, j));
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 2 * combo->view()->frameWidth());
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            const int value = ParseNumber(m_Page->CellValue(*m_Grid, index.row(), index.column()));
            combo->setCurrentIndex(combo->findData(value));
            combo->showPopup();
        } else if (auto* e = qobject_cast<QLineEdit*>(editor)) {
            e->setText(index.data(Qt::EditRole).toString());
        }
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        const auto* column = TFRoutingTables::ColumnAt(*m_Grid, index.column());
        if (!column) return;
        const auto& col = *column;
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            if (combo->currentIndex() < 0) return;
            m_Page->SetCell(*m_Grid, index.row(), index.column(), NumberText(combo->currentData().toInt()));
        } else if (auto* e = qobject_cast<QLineEdit*>(editor)) {
            std::string text = ToBytes(e->text());
            Parameters().NormalizeValue(col.key, text);
            m_Page->SetCell(*m_Grid, index.row(), index.column(), text);
        }
    }

private:
    TFRoutingTables* m_Page;
    TFRoutingTables::TGrid* m_Grid;
};

// Takes the room of a scroll bar and shows nothing: the default rule's cells
// then end where its table's cells end.
class TBlankBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent*) override {}
};

// A grid whose keys the page may take first: copy, paste, delete.
class TRoutingGrid : public QTableWidget {
public:
    TRoutingGrid(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {}
    std::function<bool(QKeyEvent*)> OnKey;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (OnKey && OnKey(event)) return;
        QTableWidget::keyPressEvent(event);
    }
};

}  // namespace

TFRoutingTables::TFRoutingTables(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFRoutingTables");
    auto* top = new QVBoxLayout(this);
    DirectionTabs = new QTabWidget(this);
    DirectionTabs->setObjectName("DirectionTabs");
    top->addWidget(DirectionTabs);
    auto sheet = [this](QWidget*& w, const char* name, int tag) {
        w = new QWidget;
        w->setObjectName(name);
        DirectionTabs->addTab(w, QString());
        SetTag(w, tag);
        return new QVBoxLayout(w);
    };
    QVBoxLayout* fxsTab = sheet(FxsSheet, "FxsSheet", 211);
    QVBoxLayout* fxoTab = sheet(FxoSheet, "FxoSheet", 212);
    QVBoxLayout* gsmTab = sheet(GsmSheet, "GsmSheet", 213);

    // List editors: hidden lists that carry the item values and texts of their column.
    auto list = [this](QComboBox*& c, const char* name, std::initializer_list<int> values, int tag) {
        c = MakeCombo(name, values, tag);
        c->hide();
        return c;
    };
    list(FxsPermittedList, "FxsPermittedList", {0, 1}, 26);
    list(FxsDirectionList, "FxsDirectionList", {0, 1, 2, 3}, 216);
    list(FxsNumberEndList, "FxsNumberEndList", {0, 1}, 28);
    list(FxsDefPermittedList, "FxsDefPermittedList", {0, 1}, 26);
    list(FxsDefDirectionList, "FxsDefDirectionList", {0, 1, 2, 3}, 216);
    list(FxsDefNumberEndList, "FxsDefNumberEndList", {0, 1}, 28);
    list(FxoPermittedList, "FxoPermittedList", {0, 1}, 218);
    list(FxoNumberEndList, "FxoNumberEndList", {0, 1}, 220);
    list(FxoDefPermittedList, "FxoDefPermittedList", {0, 1}, 218);
    list(FxoDefNumberEndList, "FxoDefNumberEndList", {0, 1}, 220);
    list(GsmDirectionList, "GsmDirectionList", {0, 1, 2, 3, 4}, 226);
    list(GsmDefDirectionList, "GsmDefDirectionList", {0, 1, 2, 3, 4}, 226);

    TabFXS.columns = {
        {"FXSNumBegin", 25, nullptr},  {"FXSPermitted", 26, FxsPermittedList}, {"FXSDirection", 216, FxsDirectionList},
        {"FXSNumLength", 27, nullptr}, {"FXSNumEnd", 28, FxsNumberEndList},    {"FXSRemove", 29, nullptr},
        {"FXSAdd", 30, nullptr},       {"FXSExtraTar", 150, nullptr},          {"FXSTarif", 151, nullptr},
        {"FXSCallTime", 290, nullptr}};
    TabFXSDef.columns = {{"FXSDefPermitted", 26, FxsDefPermittedList},
                         {"FXSDefDirection", 216, FxsDefDirectionList},
                         {"FXSDefNumLength", 27, nullptr},
                         {"FXSDefNumEnd", 28, FxsDefNumberEndList},
                         {"FXSDefRemove", 29, nullptr},
                         {"FXSDefAdd", 30, nullptr},
                         {"FXSDefExtraTar", 150, nullptr},
                         {"FXSDefTarif", 151, nullptr},
                         {"FXSDefCallTime", 290, nullptr}};
    TabFXO.columns = {{"FXONumBegin", 217, nullptr},  {"FXOPermitted", 218, FxoPermittedList},
                      {"FXONumLength", 219, nullptr}, {"FXONumEnd", 220, FxoNumberEndList},
                      {"FXORemove", 221, nullptr},    {"FXOAdd", 222, nullptr},
                      {"FXOCallTime", 290, nullptr}};
    TabFXODef.columns = {{"FXODefPermitted", 218, FxoDefPermittedList},
                         {"FXODefNumLength", 219, nullptr},
                         {"FXODefNumEnd", 220, FxoDefNumberEndList},
                         {"FXODefRemove", 221, nullptr},
                         {"FXODefAdd", 222, nullptr},
                         {"FXODefCallTime", 290, nullptr}};
    TabGSM.columns = {{"GSMNum", 224, nullptr},
                      {"GSMSubString", 225, nullptr},
                      {"GSMDirection", 226, GsmDirectionList},
                      {"GSMDialNUm", 227, nullptr},
                      {"GSMCallTime", 290, nullptr}};
    TabGSMDef.columns = {{"GSMDefDirection", 226, GsmDefDirectionList},
                         {"GSMDefDialNum", 227, nullptr},
                         {"GSMDefCallTime", 290, nullptr}};
    TabFXSDef.labelText = 31;
    TabFXODef.labelText = 223;
    TabGSMDef.labelText = 228;
    // Least column widths; a column grows for its header and its list's items.
    TabFXS.widths = {101, 54, 75, 58, 58, 58, 101, 58, 58, 101};
    TabFXO.widths = {101, 54, 75, 58, 58, 101, 101};
    TabGSM.widths = {101, 94, 94, 101, 101};
    TabFXSDef.first = 1;
    TabFXODef.first = 1;
    TabGSMDef.first = 2;
    const struct {
        TGrid* grid;
        const char* name;
        bool routing;
    } grids[] = {{&TabFXS, "TabFXS", true},        {&TabFXSDef, "TabFXSDef", false}, {&TabFXO, "TabFXO", true},
                 {&TabFXODef, "TabFXODef", false}, {&TabGSM, "TabGSM", true},        {&TabGSMDef, "TabGSMDef", false}};
    for (const auto& g : grids) {
        auto* t = new TRoutingGrid(g.routing ? kRows : 1, g.grid->first + int(g.grid->columns.size()), this);
        t->setObjectName(g.name);
        t->setItemDelegate(new TCellDelegate(this, g.grid));
        // Typing, F2 or a double click edit a cell; a click on a list cell opens its
        // list at once. Moving onto a cell does not, so the focus can pass the grid.
        t->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                           QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
        t->setSelectionMode(QAbstractItemView::ContiguousSelection);
        t->verticalHeader()->setDefaultSectionSize(21);
        t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        t->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        t->horizontalHeader()->setHighlightSections(false);
        t->verticalHeader()->setHighlightSections(false);
        t->setWordWrap(false);
        // Tab leaves the grid unless a cell is being typed in, where it goes to the next cell.
        t->setTabKeyNavigation(false);
        TGrid* grid = g.grid;
        t->OnKey = [this, grid](QKeyEvent* e) { return GridKey(*grid, e); };
        connect(t, &QTableWidget::clicked, t, [t, grid](const QModelIndex& index) {
            const TColumn* column = ColumnAt(*grid, index.column());
            if (column && column->list) t->edit(index);
        });
        if (g.routing) {
            t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        } else {
            t->horizontalHeader()->hide();
            t->setVerticalScrollBar(new TBlankBar(Qt::Vertical, t));
            t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            t->setFixedHeight(t->verticalHeader()->defaultSectionSize() + 2 * t->frameWidth() + 4);
            if (grid->first > 1) t->setSpan(0, 0, 1, grid->first);
        }
        g.grid->table = t;
        g.grid->routing = g.routing;
    }

    // Single settings.
    auto* g3 = MakeGroup("FxsSettingsGroup", 285, FxsSheet);
    auto* f3 = new QFormLayout(g3);
    FxsVeltranNumber = MakeEdit("FxsVeltranNumber", 8);
    AddRow(f3, 286, FxsVeltranNumber);
    fxsTab->addWidget(g3);
    fxsTab->addWidget(TabFXS.table, 1);
    fxsTab->addWidget(TabFXSDef.table);

    auto* g2 = MakeGroup("FxoSettingsGroup", 233, FxoSheet);
    auto* f2 = new QGridLayout(g2);
    FxoCallsTo = MakeCombo("FxoCallsTo", {0, 1}, 234);
    FxoFollowMeNumber = MakeEdit("FxoFollowMeNumber", 16);
    FxoFollowMeRings = MakeEdit("FxoFollowMeRings", 3);
    FxoFollowMeRingsUpDown = MakeUpDown("FxoFollowMeRingsUpDown", FxoFollowMeRings, 0, 255);
    FxoFollowMePassword = MakeEdit("FxoFollowMePassword", 8);
    FxoHangUpCode = MakeEdit("FxoHangUpCode", 8);
    FxoVeltranNumber = MakeEdit("FxoVeltranNumber", 8);
    AddCell(f2, 0, 0, 234, FxoCallsTo);
    AddCell(f2, 1, 0, 235, FxoFollowMeNumber);
    AddCell(f2, 2, 0, 236, EditWithUpDown(FxoFollowMeRings, FxoFollowMeRingsUpDown));
    AddCell(f2, 0, 2, 237, FxoFollowMePassword);
    AddCell(f2, 1, 2, 287, FxoHangUpCode);
    AddCell(f2, 2, 2, 286, FxoVeltranNumber);
    f2->setColumnStretch(1, 1);
    f2->setColumnStretch(3, 1);
    fxoTab->addWidget(g2);
    fxoTab->addWidget(TabFXO.table, 1);
    fxoTab->addWidget(TabFXODef.table);

    auto* g1 = MakeGroup("GsmSettingsGroup", 229, GsmSheet);
    auto* f1 = new QGridLayout(g1);
    GsmDisaTime = MakeEdit("GsmDisaTime", 5);
    GsmDisaTimeUpDown = MakeUpDown("GsmDisaTimeUpDown", GsmDisaTime, 100, 25500, 100);
    GsmDialFxoTime = MakeEdit("GsmDialFxoTime", 5);
    GsmDialFxoTimeUpDown = MakeUpDown("GsmDialFxoTimeUpDown", GsmDialFxoTime, 100, 25500, 100);
    GsmCallBackTime = MakeEdit("GsmCallBackTime", 3);
    GsmCallBackTimeUpDown = MakeUpDown("GsmCallBackTimeUpDown", GsmCallBackTime, 0, 255);
    GsmFaxTo = MakeCombo("GsmFaxTo", {0, 1}, 278);
    GsmDataTo = MakeCombo("GsmDataTo", {0, 1}, 279);
    AddCell(f1, 0, 0, 230, EditWithUpDown(GsmDisaTime, GsmDisaTimeUpDown));
    AddCell(f1, 1, 0, 231, EditWithUpDown(GsmDialFxoTime, GsmDialFxoTimeUpDown));
    AddCell(f1, 2, 0, 232, EditWithUpDown(GsmCallBackTime, GsmCallBackTimeUpDown));
    AddCell(f1, 0, 2, 278, GsmFaxTo);
    AddCell(f1, 1, 2, 279, GsmDataTo);
    f1->setColumnStretch(1, 1);
    f1->setColumnStretch(3, 1);
    gsmTab->addWidget(g1);
    gsmTab->addWidget(TabGSM.table, 1);
    gsmTab->addWidget(TabGSMDef.table);
    for (QGridLayout* grid : {f2, f1}) {
        std::vector<TCell> cells;
        for (int i = 0; i < grid->count(); ++i) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            if (QWidget* w = grid->itemAt(i)->widget()) cells.push_back({w, row, column});
        }
        m_TwoColumnGrids.emplace_back(grid, std::move(cells));
    }

    // A default rule stands under its table's columns: the same widths, the same
    // row label width, room for a scroll bar as its table, and both scroll
    // sideways together.
    for (auto [table, def] :
         {std::pair{&TabFXS, &TabFXSDef}, std::pair{&TabFXO, &TabFXODef}, std::pair{&TabGSM, &TabGSMDef}}) {
        QTableWidget* t = table->table;
        QTableWidget* d = def->table;
        connect(t->horizontalHeader(), &QHeaderView::sectionResized, d,
                [d](int column, int, int width) { d->setColumnWidth(column, width); });
        connect(t->horizontalScrollBar(), &QScrollBar::valueChanged, d->horizontalScrollBar(), &QScrollBar::setValue);
        connect(d->horizontalScrollBar(), &QScrollBar::valueChanged, t->horizontalScrollBar(), &QScrollBar::setValue);
    }
    ChainFocus({DirectionTabs, FxsVeltranNumber, TabFXS.table, TabFXSDef.table, FxoCallsTo, FxoFollowMeNumber,
                FxoFollowMeRings, FxoFollowMePassword, FxoHangUpCode, FxoVeltranNumber, TabFXO.table, TabFXODef.table,
                GsmDisaTime, GsmDialFxoTime, GsmCallBackTime, GsmFaxTo, GsmDataTo, TabGSM.table, TabGSMDef.table});
    connect(FxoCallsTo, qOverload<int>(&QComboBox::currentIndexChanged), this, &TFRoutingTables::FxoCallsToChange);
    // The two Veltran fields show one number.
    auto mirror = [this](QLineEdit* from, QLineEdit* to) {
        connect(from, &QLineEdit::textChanged, this, [this, to](const QString& text) {
            if (m_Mirroring) return;
            m_Mirroring = true;
            to->setText(text);
            m_Mirroring = false;
        });
    };
    mirror(FxsVeltranNumber, FxoVeltranNumber);
    mirror(FxoVeltranNumber, FxsVeltranNumber);
    // A typed Veltran number in the mirror is corrected like the bound field.
    connect(FxoVeltranNumber, &QLineEdit::editingFinished, this, [this] {
        std::string t = ToBytes(FxoVeltranNumber->text());
        Parameters().NormalizeValue("Veltran", t);
        FxoVeltranNumber->setText(FromBytes(t));
    });
}

const TFRoutingTables::TColumn* TFRoutingTables::ColumnAt(const TGrid& grid, int column)
{
    const int i = column - grid.first;
    return i >= 0 && i < int(grid.columns.size()) ? &grid.columns[size_t(i)] : nullptr;
}

std::string TFRoutingTables::CellValue(const TGrid& grid, int row, int column) const
{
    const TColumn* col = ColumnAt(grid, column);
    const QTableWidgetItem* item = grid.table->item(row, column);
    if (!col || !item) return {};
    if (col->list) return ToBytes(item->data(Qt::UserRole).toString());
    return ToBytes(item->text());
}

void TFRoutingTables::SetCell(TGrid& grid, int row, int column, const std::string& value)
{
    const TColumn* col = ColumnAt(grid, column);
    if (!col) return;
    QTableWidgetItem* item = grid.table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid.table->setItem(row, column, item);
    }
    if (col->list) {
        // A list cell shows the text of the item whose value it holds, or nothing.
        item->setData(Qt::UserRole, FromBytes(value));
        const int j = ComboFindValue(col->list, ParseNumber(value));
        item->setText(j >= 0 ? col->list->itemText(j) : QString());
    } else {
        item->setText(FromBytes(value));
    }
    item->setToolTip(Language().Hint(col->text));
}

void TFRoutingTables::FillGrid(TGrid& grid)
{
    QTableWidget* t = grid.table;
    const CParameters& p = Parameters();
    // A default rule shows no header, but a screen reader names its cells by it.
    QStringList headers;
    for (int c = 0; c < grid.first; ++c) headers << Language().Text(grid.labelText);
    for (const TColumn& c : grid.columns) headers << Language().Text(c.text);
    t->setHorizontalHeaderLabels(headers);
    if (grid.routing) {
        for (int c = 0; c < t->columnCount(); ++c)
            t->horizontalHeaderItem(c)->setToolTip(Language().Hint(grid.columns[size_t(c)].text));
        QStringList rowLabels;
        for (int r = 1; r <= kRows; ++r) rowLabels << QString("%1.").arg(r);
        t->setVerticalHeaderLabels(rowLabels);
    } else {
        t->setVerticalHeaderLabels({QString()});
        auto* label = new QTableWidgetItem(Language().Text(grid.labelText));
        label->setFlags(Qt::ItemIsEnabled);
        label->setToolTip(Language().Hint(grid.labelText));
        label->setBackground(t->palette().button());
        t->setItem(0, 0, label);
    }
    t->blockSignals(true);
    for (int r = 0; r < t->rowCount(); ++r)
        for (const TColumn& c : grid.columns) {
            const int column = grid.first + int(&c - grid.columns.data());
            SetCell(grid, r, column, p.GetValue(c.key, r));
        }
    t->blockSignals(false);
}

void TFRoutingTables::StoreGrid(TGrid& grid)
{
    for (int r = 0; r < grid.table->rowCount(); ++r)
        for (size_t i = 0; i < grid.columns.size(); ++i)
            Parameters().SetValue(grid.columns[i].key, r, CellValue(grid, r, grid.first + int(i)));
}

void TFRoutingTables::SizeColumns(TGrid& table, TGrid& def)
{
    QTableWidget* t = table.table;
    QTableWidget* d = def.table;
    const int cellMargin = 2 * (t->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, t) + 1) + 2;
    for (int c = 0; c < t->columnCount(); ++c) {
        int w = std::max(table.widths[size_t(c)], t->horizontalHeader()->sectionSizeHint(c));
        // A list column shows its longest item whole, in the language shown.
        if (const QComboBox* list = table.columns[size_t(c)].list)
            for (int j = 0; j < list->count(); ++j)
                w = std::max(w, t->fontMetrics().horizontalAdvance(list->itemText(j)) + cellMargin);
        t->setColumnWidth(c, w);
    }
    // The default rule's label takes the columns before its first parameter.
    int span = 0;
    for (int c = 0; c < def.first; ++c) span += t->columnWidth(c);
    const int label = d->fontMetrics().horizontalAdvance(Language().Text(def.labelText)) + cellMargin;
    if (label > span) t->setColumnWidth(def.first - 1, t->columnWidth(def.first - 1) + label - span);
    for (int c = 0; c < t->columnCount(); ++c) d->setColumnWidth(c, t->columnWidth(c));
    const int rowLabels = std::max(39, t->verticalHeader()->sizeHint().width());
    t->verticalHeader()->setFixedWidth(rowLabels);
    d->verticalHeader()->setFixedWidth(rowLabels);
}

void TFRoutingTables::LoadFromParameters()
{
    TranslatePage(this);
    CParBindings& p = Bindings();
    p.ClearControls();
    BindEdit("Veltran", FxsVeltranNumber);
    BindCombo("FXODirection", FxoCallsTo);
    BindEdit("FXOFollowMeNum", FxoFollowMeNumber);
    BindEdit("FXOAlertFMCount", FxoFollowMeRings);
    BindEdit("FXOFMPassw", FxoFollowMePassword);
    BindEdit("FXOHangUpCode", FxoHangUpCode);
    BindEdit("GSMDISATime", GsmDisaTime);
    BindEdit("GSMDialFXOTime", GsmDialFxoTime);
    BindEdit("GSMCallBackTime", GsmCallBackTime);
    BindCombo("GSMFaxTo", GsmFaxTo);
    BindCombo("GSMDataTo", GsmDataTo);
    // The tab the user was on stays in front (a language switch reloads the page).
    QWidget* shown = DirectionTabs->currentWidget();
    DirectionTabs->setCurrentWidget(GsmSheet);
    p.ControlsFromValues();
    DirectionTabs->setCurrentWidget(FxoSheet);
    p.ControlsFromValues();
    DirectionTabs->setCurrentWidget(FxsSheet);
    p.ControlsFromValues();
    DirectionTabs->setCurrentWidget(shown);
    FxoCallsToChange();
    for (TGrid* g : {&TabFXS, &TabFXSDef, &TabFXO, &TabFXODef, &TabGSM, &TabGSMDef}) FillGrid(*g);
    // A table is named by its tab, a default rule by its label.
    TabFXS.table->setAccessibleName(Language().Text(211));
    TabFXO.table->setAccessibleName(Language().Text(212));
    TabGSM.table->setAccessibleName(Language().Text(213));
    for (TGrid* g : {&TabFXSDef, &TabFXODef, &TabGSMDef}) g->table->setAccessibleName(Language().Text(g->labelText));
    SizeColumns(TabFXS, TabFXSDef);
    SizeColumns(TabFXO, TabFXODef);
    SizeColumns(TabGSM, TabGSMDef);
    // The default rules start at their length, their length and their number.
    TabFXSDef.table->setCurrentCell(0, TabFXSDef.first + 2);
    TabFXODef.table->setCurrentCell(0, TabFXODef.first + 1);
    TabGSMDef.table->setCurrentCell(0, TabGSMDef.first + 1);
}

void TFRoutingTables::StoreToParameters()
{
    for (TGrid* g : {&TabFXSDef, &TabFXODef, &TabGSMDef, &TabFXS, &TabFXO, &TabGSM}) {
        // An editor still open holds a typed value: take it into its cell first.
        QWidget* editor = QApplication::focusWidget();
        if (editor && editor->parentWidget() == g->table->viewport()) {
            emit g->table->itemDelegate()->commitData(editor);
            emit g->table->itemDelegate()->closeEditor(editor);
        }
        StoreGrid(*g);
    }
    Bindings().ValuesFromControls();
}

void TFRoutingTables::FitToArea(int width, int height)
{
    // Measured in two columns, in the language shown.
    Reflow(false);
    Reflow(minimumSizeHint().width() > width);
    setMinimumHeight(std::max(8 * TabFXSDef.table->height(), 184));
    (void)height;
}

void TFRoutingTables::Reflow(bool oneColumn)
{
    if (oneColumn == m_OneColumn) return;
    m_OneColumn = oneColumn;
    for (auto& [grid, cells] : m_TwoColumnGrids) {
        int rows = 0;
        for (const TCell& c : cells)
            if (c.column < 2) rows = std::max(rows, c.row + 1);
        for (const TCell& c : cells) grid->removeWidget(c.widget);
        for (const TCell& c : cells) {
            // One column: each label above its field, the right-hand pairs under the left-hand ones.
            const int pair = (c.column / 2) * rows + c.row;
            if (oneColumn) grid->addWidget(c.widget, 2 * pair + c.column % 2, 0);
            else grid->addWidget(c.widget, c.row, c.column);
        }
        grid->setColumnStretch(1, oneColumn ? 0 : 1);
        grid->setColumnStretch(3, oneColumn ? 0 : 1);
        grid->invalidate();
        grid->activate();
    }
    if (layout()) layout()->activate();
}

void TFRoutingTables::FxoCallsToChange()
{
    // Calls from FXO follow the tables only when so chosen.
    const bool byTable = FxoCallsTo->currentIndex() == 1;
    TabFXO.table->setEnabled(byTable);
    TabFXODef.table->setEnabled(byTable);
}
