#include "Smerovacitabulka.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parametry.h"
#include "Parcontrols.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

static const int kRows = 120;

namespace {
// Edits a cell: a drop-down list for the list columns, a line for the others;
// a typed value is normalised by its parameter's type when the editor closes.
class TCellDelegate : public QStyledItemDelegate {
public:
    TCellDelegate(TFSmerovaciTabulka* page, TFSmerovaciTabulka::TGrid* grid)
        : QStyledItemDelegate(page), m_Page(page), m_Grid(grid)
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const auto& col = m_Grid->columns[size_t(index.column())];
        if (!col.list) {
            auto* e = new QLineEdit(parent);
            e->setFrame(false);
            return e;
        }
        auto* combo = new QComboBox(parent);
        for (int j = 0; j < col.list->count(); ++j) combo->addItem(col.list->itemText(j), ComboItemValue(col.list, j));
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
        const auto& col = m_Grid->columns[size_t(index.column())];
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
    TFSmerovaciTabulka* m_Page;
    TFSmerovaciTabulka::TGrid* m_Grid;
};
}  // namespace

TFSmerovaciTabulka::TFSmerovaciTabulka(QWidget* parent) : TFDForm(parent)
{
    setObjectName("TFSmerovaciTabulka");
    auto* top = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    top->addWidget(PageControl1);
    auto sheet = [this](QWidget*& w, const char* name, int tag) {
        w = new QWidget;
        w->setObjectName(name);
        PageControl1->addTab(w, QString());
        SetTag(w, tag);
        return new QVBoxLayout(w);
    };
    QVBoxLayout* fxsTab = sheet(TabSheet1, "TabSheet1", 211);
    QVBoxLayout* fxoTab = sheet(TabSheet2, "TabSheet2", 212);
    QVBoxLayout* gsmTab = sheet(TabSheet3, "TabSheet3", 213);

    // List editors: hidden lists that carry the item values and texts of their column.
    auto list = [this](QComboBox*& c, const char* name, std::initializer_list<int> values, int tag) {
        c = MakeCombo(name, values, tag);
        c->hide();
        return c;
    };
    list(ComboBox5, "ComboBox5", {0, 1}, 26);
    list(ComboBox7, "ComboBox7", {0, 1, 2, 3}, 216);
    list(ComboBox8, "ComboBox8", {0, 1}, 28);
    list(ComboBox10, "ComboBox10", {0, 1}, 26);
    list(ComboBox11, "ComboBox11", {0, 1, 2, 3}, 216);
    list(ComboBox12, "ComboBox12", {0, 1}, 28);
    list(ComboBox1, "ComboBox1", {0, 1}, 218);
    list(ComboBox6, "ComboBox6", {0, 1}, 220);
    list(ComboBox9, "ComboBox9", {0, 1}, 218);
    list(ComboBox13, "ComboBox13", {0, 1}, 220);
    list(ComboBox3, "ComboBox3", {0, 1, 2, 3, 4}, 226);
    list(ComboBox15, "ComboBox15", {0, 1, 2, 3, 4}, 226);

    TabFXS.columns = {{"FXSNumBegin", 25, nullptr}, {"FXSPermitted", 26, ComboBox5}, {"FXSDirection", 216, ComboBox7},
                      {"FXSNumLength", 27, nullptr}, {"FXSNumEnd", 28, ComboBox8},   {"FXSRemove", 29, nullptr},
                      {"FXSAdd", 30, nullptr},       {"FXSExtraTar", 150, nullptr},  {"FXSTarif", 151, nullptr},
                      {"FXSCallTime", 290, nullptr}};
    TabFXSDef.columns = {{"FXSDefPermitted", 26, ComboBox10}, {"FXSDefDirection", 216, ComboBox11},
                         {"FXSDefNumLength", 27, nullptr},    {"FXSDefNumEnd", 28, ComboBox12},
                         {"FXSDefRemove", 29, nullptr},       {"FXSDefAdd", 30, nullptr},
                         {"FXSDefExtraTar", 150, nullptr},    {"FXSDefTarif", 151, nullptr},
                         {"FXSDefCallTime", 290, nullptr}};
    TabFXO.columns = {{"FXONumBegin", 217, nullptr}, {"FXOPermitted", 218, ComboBox1}, {"FXONumLength", 219, nullptr},
                      {"FXONumEnd", 220, ComboBox6},  {"FXORemove", 221, nullptr},     {"FXOAdd", 222, nullptr},
                      {"FXOCallTime", 290, nullptr}};
    TabFXODef.columns = {{"FXODefPermitted", 218, ComboBox9}, {"FXODefNumLength", 219, nullptr},
                         {"FXODefNumEnd", 220, ComboBox13},   {"FXODefRemove", 221, nullptr},
                         {"FXODefAdd", 222, nullptr},         {"FXODefCallTime", 290, nullptr}};
    TabGSM.columns = {{"GSMNum", 224, nullptr},
                      {"GSMSubString", 225, nullptr},
                      {"GSMDirection", 226, ComboBox3},
                      {"GSMDialNUm", 227, nullptr},
                      {"GSMCallTime", 290, nullptr}};
    TabGSMDef.columns = {{"GSMDefDirection", 226, ComboBox15}, {"GSMDefDialNum", 227, nullptr},
                         {"GSMDefCallTime", 290, nullptr}};
    TabFXSDef.labelText = 31;
    TabFXODef.labelText = 223;
    TabGSMDef.labelText = 228;
    const struct {
        TGrid* grid;
        const char* name;
        bool routing;
    } grids[] = {{&TabFXS, "TabFXS", true}, {&TabFXSDef, "TabFXSDef", false}, {&TabFXO, "TabFXO", true},
                 {&TabFXODef, "TabFXODef", false}, {&TabGSM, "TabGSM", true}, {&TabGSMDef, "TabGSMDef", false}};
    for (const auto& g : grids) {
        auto* t = new QTableWidget(g.routing ? kRows : 1, int(g.grid->columns.size()), this);
        t->setObjectName(g.name);
        t->setItemDelegate(new TCellDelegate(this, g.grid));
        t->setEditTriggers(QAbstractItemView::AllEditTriggers);
        t->setSelectionMode(QAbstractItemView::SingleSelection);
        t->verticalHeader()->setDefaultSectionSize(21);
        t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        t->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        t->horizontalHeader()->setHighlightSections(false);
        t->verticalHeader()->setHighlightSections(false);
        t->setWordWrap(false);
        if (!g.routing) {
            t->horizontalHeader()->hide();
            t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            t->setFixedHeight(t->verticalHeader()->defaultSectionSize() + 2 * t->frameWidth() + 4);
        }
        g.grid->table = t;
        g.grid->routing = g.routing;
    }

    // Single settings.
    auto* g3 = MakeGroup("GroupBox3", 285, TabSheet1);
    auto* f3 = new QFormLayout(g3);
    Edit2 = MakeEdit("Edit2", 8);
    AddRow(f3, 286, Edit2);
    fxsTab->addWidget(g3);
    fxsTab->addWidget(TabFXS.table, 1);
    fxsTab->addWidget(TabFXSDef.table);

    auto* g2 = MakeGroup("GroupBox2", 233, TabSheet2);
    auto* f2 = new QGridLayout(g2);
    ComboBox4 = MakeCombo("ComboBox4", {0, 1}, 234);
    Edit14 = MakeEdit("Edit14", 16);
    Edit16 = MakeEdit("Edit16", 3);
    UpDown6 = MakeUpDown("UpDown6", Edit16, 0, 255);
    Edit15 = MakeEdit("Edit15", 8);
    Edit3 = MakeEdit("Edit3", 8);
    Edit4 = MakeEdit("Edit4", 8);
    auto cell = [&](QGridLayout* grid, int row, int col, int tag, QWidget* field) {
        QLabel* l = MakeLabel(nullptr, tag);
        l->setBuddy(field);
        grid->addWidget(l, row, col);
        grid->addWidget(field, row, col + 1);
    };
    cell(f2, 0, 0, 234, ComboBox4);
    cell(f2, 1, 0, 235, Edit14);
    cell(f2, 2, 0, 236, EditWithUpDown(Edit16, UpDown6));
    cell(f2, 0, 2, 237, Edit15);
    cell(f2, 1, 2, 287, Edit3);
    cell(f2, 2, 2, 286, Edit4);
    f2->setColumnStretch(1, 1);
    f2->setColumnStretch(3, 1);
    fxoTab->addWidget(g2);
    fxoTab->addWidget(TabFXO.table, 1);
    fxoTab->addWidget(TabFXODef.table);

    auto* g1 = MakeGroup("GroupBox1", 229, TabSheet3);
    auto* f1 = new QGridLayout(g1);
    Edit10 = MakeEdit("Edit10", 5);
    UpDown1 = MakeUpDown("UpDown1", Edit10, 100, 25500, 100);
    Edit11 = MakeEdit("Edit11", 5);
    UpDown2 = MakeUpDown("UpDown2", Edit11, 100, 25500, 100);
    Edit13 = MakeEdit("Edit13", 3);
    UpDown3 = MakeUpDown("UpDown3", Edit13, 0, 255);
    ComboBox2 = MakeCombo("ComboBox2", {0, 1}, 278);
    ComboBox14 = MakeCombo("ComboBox14", {0, 1}, 279);
    cell(f1, 0, 0, 230, EditWithUpDown(Edit10, UpDown1));
    cell(f1, 1, 0, 231, EditWithUpDown(Edit11, UpDown2));
    cell(f1, 2, 0, 232, EditWithUpDown(Edit13, UpDown3));
    cell(f1, 0, 2, 278, ComboBox2);
    cell(f1, 1, 2, 279, ComboBox14);
    f1->setColumnStretch(1, 1);
    f1->setColumnStretch(3, 1);
    gsmTab->addWidget(g1);
    gsmTab->addWidget(TabGSM.table, 1);
    gsmTab->addWidget(TabGSMDef.table);

    // A default rule scrolls sideways with its table.
    for (auto [table, def] : {std::pair{&TabFXS, &TabFXSDef}, std::pair{&TabFXO, &TabFXODef}, std::pair{&TabGSM, &TabGSMDef}})
        connect(table->table->horizontalScrollBar(), &QScrollBar::valueChanged, def->table->horizontalScrollBar(),
                &QScrollBar::setValue);
    connect(ComboBox4, qOverload<int>(&QComboBox::currentIndexChanged), this, &TFSmerovaciTabulka::ComboBox4Change);
    // The two Veltran fields show one number.
    auto mirror = [this](QLineEdit* from, QLineEdit* to) {
        connect(from, &QLineEdit::textChanged, this, [this, to](const QString& text) {
            if (m_Mirroring) return;
            m_Mirroring = true;
            to->setText(text);
            m_Mirroring = false;
        });
    };
    mirror(Edit2, Edit4);
    mirror(Edit4, Edit2);
    // A typed Veltran number in the mirror is corrected like the bound field.
    connect(Edit4, &QLineEdit::editingFinished, this, [this] {
        std::string t = ToBytes(Edit4->text());
        Parameters().NormalizeValue("Veltran", t);
        Edit4->setText(FromBytes(t));
    });
}

TFSmerovaciTabulka::TGrid* TFSmerovaciTabulka::GridOf(QTableWidget* table)
{
    for (TGrid* g : {&TabFXS, &TabFXSDef, &TabFXO, &TabFXODef, &TabGSM, &TabGSMDef})
        if (g->table == table) return g;
    return nullptr;
}

std::string TFSmerovaciTabulka::CellValue(const TGrid& grid, int row, int column) const
{
    const QTableWidgetItem* item = grid.table->item(row, column);
    if (!item) return {};
    if (grid.columns[size_t(column)].list) return ToBytes(item->data(Qt::UserRole).toString());
    return ToBytes(item->text());
}

void TFSmerovaciTabulka::SetCell(TGrid& grid, int row, int column, const std::string& value)
{
    const TColumn& col = grid.columns[size_t(column)];
    QTableWidgetItem* item = grid.table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid.table->setItem(row, column, item);
    }
    if (col.list) {
        // A list cell shows the text of the item whose value it holds, or nothing.
        item->setData(Qt::UserRole, FromBytes(value));
        const int j = ComboFindValue(col.list, ParseNumber(value));
        item->setText(j >= 0 ? col.list->itemText(j) : QString());
    } else {
        item->setText(FromBytes(value));
    }
    item->setToolTip(Language().Hint(col.text));
}

void TFSmerovaciTabulka::FillGrid(TGrid& grid)
{
    QTableWidget* t = grid.table;
    const CParameters& p = Parameters();
    QStringList headers;
    for (const TColumn& c : grid.columns) headers << Language().Text(c.text);
    t->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < t->columnCount(); ++c) {
        if (QTableWidgetItem* h = t->horizontalHeaderItem(c)) h->setToolTip(Language().Hint(grid.columns[size_t(c)].text));
    }
    QStringList rowLabels;
    if (grid.routing) {
        for (int r = 1; r <= kRows; ++r) rowLabels << QString("%1.").arg(r);
    } else {
        rowLabels << Language().Text(grid.labelText);
    }
    t->setVerticalHeaderLabels(rowLabels);
    if (!grid.routing && t->verticalHeaderItem(0)) t->verticalHeaderItem(0)->setToolTip(Language().Hint(grid.labelText));
    t->blockSignals(true);
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c) SetCell(grid, r, c, p.GetValue(grid.columns[size_t(c)].key, r));
    t->blockSignals(false);
}

void TFSmerovaciTabulka::StoreGrid(TGrid& grid)
{
    for (int r = 0; r < grid.table->rowCount(); ++r)
        for (int c = 0; c < grid.table->columnCount(); ++c)
            Parameters().SetValue(grid.columns[size_t(c)].key, r, CellValue(grid, r, c));
}

void TFSmerovaciTabulka::AlignDefault(TGrid& table, TGrid& def, int skipped)
{
    // The default rule sits under the table's columns it shares.
    QTableWidget* t = table.table;
    QTableWidget* d = def.table;
    t->resizeColumnsToContents();
    int labelWidth = t->verticalHeader()->width();
    for (int c = 0; c < skipped; ++c) labelWidth += t->columnWidth(c);
    d->verticalHeader()->setFixedWidth(std::max(labelWidth, d->verticalHeader()->sizeHint().width()));
    for (int c = 0; c < d->columnCount(); ++c) {
        const int w = std::max(t->columnWidth(c + skipped), 60);
        t->setColumnWidth(c + skipped, w);
        d->setColumnWidth(c, w);
    }
    if (d->verticalHeader()->width() > labelWidth && skipped > 0)
        t->setColumnWidth(skipped - 1, t->columnWidth(skipped - 1) + d->verticalHeader()->width() - labelWidth);
}

void TFSmerovaciTabulka::LoadFromParameters()
{
    TranslatePage(this);
    CParameters& p = Parameters();
    p.ClearControls();
    BindEdit("Veltran", Edit2);
    BindCombo("FXODirection", ComboBox4);
    BindEdit("FXOFollowMeNum", Edit14);
    BindEdit("FXOAlertFMCount", Edit16);
    BindEdit("FXOFMPassw", Edit15);
    BindEdit("FXOHangUpCode", Edit3);
    BindEdit("GSMDISATime", Edit10);
    BindEdit("GSMDialFXOTime", Edit11);
    BindEdit("GSMCallBackTime", Edit13);
    BindCombo("GSMFaxTo", ComboBox2);
    BindCombo("GSMDataTo", ComboBox14);
    PageControl1->setCurrentWidget(TabSheet3);
    p.ControlsFromValues();
    PageControl1->setCurrentWidget(TabSheet2);
    p.ControlsFromValues();
    PageControl1->setCurrentWidget(TabSheet1);
    p.ControlsFromValues();
    ComboBox4Change();
    for (TGrid* g : {&TabFXS, &TabFXSDef, &TabFXO, &TabFXODef, &TabGSM, &TabGSMDef}) FillGrid(*g);
    AlignDefault(TabFXS, TabFXSDef, 1);
    AlignDefault(TabFXO, TabFXODef, 1);
    AlignDefault(TabGSM, TabGSMDef, 2);
    TabFXSDef.table->setCurrentCell(0, 2);
    TabFXODef.table->setCurrentCell(0, 1);
    TabGSMDef.table->setCurrentCell(0, 1);
}

void TFSmerovaciTabulka::StoreToParameters()
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
    Parameters().ValuesFromControls();
}

void TFSmerovaciTabulka::FitToArea(int /*width*/, int height)
{
    setMinimumHeight(std::max(8 * TabFXSDef.table->height(), 184));
    (void)height;
}

void TFSmerovaciTabulka::ComboBox4Change()
{
    // Calls from FXO follow the tables only when so chosen.
    const bool byTable = ComboBox4->currentIndex() == 1;
    TabFXO.table->setEnabled(byTable);
    TabFXODef.table->setEnabled(byTable);
}
