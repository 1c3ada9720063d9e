// The routing grids: default rules that stay under their tables, list columns
// wide enough for their items, and cell ranges that go to and come from
// spreadsheets through the clipboard.
#include "Appsettings.h"
#include "Commonutils.h"
#include "Language.h"
#include "Parameters.h"
#include "Routingtables.h"
#include "apptest.h"
#include "fitcheck.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {
struct RoutingGrid : AppFixture {
    void SetUp() override
    {
        StartApp();
        main->resize(TAppSettings::DesignWidth, TAppSettings::DesignHeight);
        main->show();
        main->SelectPage(1);
        page = dynamic_cast<TFRoutingTables*>(main->CurrentPage());
        ASSERT_NE(page, nullptr);
        Settle();
    }
    using TGrid = TFRoutingTables::TGrid;

    // Left edge of a column in the tab's coordinates.
    static int ColumnX(QTableWidget* t, int column)
    {
        return t->viewport()->mapTo(t->parentWidget(), QPoint(t->columnViewportPosition(column), 0)).x();
    }
    static void Select(QTableWidget* t, int top, int left, int bottom, int right)
    {
        t->clearSelection();
        t->setCurrentCell(top, left);
        t->setRangeSelected(QTableWidgetSelectionRange(top, left, bottom, right), true);
    }
    static void Key(QTableWidget* t, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(t, key, modifiers);
    }
    QString Item(int text, int j) const { return Language().Item(text, j); }

    TFRoutingTables* page = nullptr;
};
}  // namespace

TEST_F(RoutingGrid, DefaultRulesStayUnderTheirTablesInEveryLanguage)
{
    const std::pair<TGrid*, TGrid*> pairs[] = {
        {&page->TabFXS, &page->TabFXSDef}, {&page->TabFXO, &page->TabFXODef}, {&page->TabGSM, &page->TabGSMDef}};
    for (int lang = 0; lang < Language().LanguageCount(); ++lang) {
        main->SetLanguage(lang);
        const std::string name = Language().Language(lang).Id.toStdString();
        for (int tab = 0; tab < 3; ++tab) {
            page->DirectionTabs->setCurrentIndex(tab);
            Settle();
            auto [table, def] = pairs[tab];
            QTableWidget* t = table->table;
            QTableWidget* d = def->table;
            SCOPED_TRACE(name + " " + t->objectName().toStdString());
            ASSERT_EQ(d->columnCount(), t->columnCount());
            EXPECT_EQ(d->viewport()->width(), t->viewport()->width());
            const int most = t->horizontalScrollBar()->maximum();
            EXPECT_EQ(d->horizontalScrollBar()->maximum(), most);
            for (int at : {0, most / 2, most}) {
                t->horizontalScrollBar()->setValue(at);
                Settle();
                for (int c = def->first; c < t->columnCount(); ++c) {
                    EXPECT_EQ(ColumnX(d, c), ColumnX(t, c)) << "column " << c << " scrolled to " << at;
                    EXPECT_EQ(d->columnWidth(c), t->columnWidth(c)) << "column " << c;
                }
            }
            // A column the user widens widens the default rule's too.
            t->horizontalScrollBar()->setValue(0);
            t->horizontalHeader()->resizeSection(def->first, 180);
            Settle();
            EXPECT_EQ(d->columnWidth(def->first), 180);
            EXPECT_EQ(ColumnX(d, def->first + 1), ColumnX(t, def->first + 1));

            // Every list item shows whole in its column; headers and the label too.
            const int margin = 2 * (t->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, t) + 1);
            for (int c = 0; c < t->columnCount(); ++c) {
                const QComboBox* list = TFRoutingTables::ColumnAt(*table, c)->list;
                for (int j = 0; list && j < list->count(); ++j)
                    EXPECT_LE(t->fontMetrics().horizontalAdvance(list->itemText(j)) + margin, t->columnWidth(c))
                        << list->itemText(j).toStdString();
            }
            int span = 0;
            for (int c = 0; c < def->first; ++c) span += d->columnWidth(c);
            EXPECT_LE(d->fontMetrics().horizontalAdvance(d->item(0, 0)->text()) + margin, span);
            for (const QString& m : Misfits(t)) ADD_FAILURE() << m.toStdString();
        }
        page->LoadFromParameters();  // widths back to their own
    }
}

TEST_F(RoutingGrid, AClickOnAListCellOpensItsList)
{
    QTableWidget* t = page->TabFXS.table;
    auto editor = [&] {
        for (QComboBox* c : t->viewport()->findChildren<QComboBox*>())
            if (c->isVisible()) return c;
        return static_cast<QComboBox*>(nullptr);
    };
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualRect(t->model()->index(4, 0)).center());
    EXPECT_EQ(editor(), nullptr);  // a typed cell is only selected
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualRect(t->model()->index(4, 2)).center());
    QComboBox* list = editor();
    ASSERT_NE(list, nullptr);
    list->hidePopup();
    EXPECT_EQ(list->currentData().toString().toStdString(), page->CellValue(page->TabFXS, 4, 2));
    list->setCurrentIndex(3);
    QTest::keyClick(list, Qt::Key_Return);
    Settle();
    EXPECT_EQ(page->CellValue(page->TabFXS, 4, 2), "3");
    EXPECT_EQ(t->item(4, 2)->text(), Item(216, 3));
}

TEST_F(RoutingGrid, CellRangesGoToTheClipboardAsTabSeparatedLines)
{
    CParameters& p = Parameters();
    p.SetValue("FXSNumBegin", 0, "420");
    p.SetValue("FXSNumBegin", 1, "421");
    p.SetValue("FXSPermitted", 1, "1");
    p.SetValue("FXSDirection", 1, "3");
    page->LoadFromParameters();
    page->SetCell(page->TabFXS, 2, 2, "7");  // matches no item: its value is copied as it is
    QTableWidget* t = page->TabFXS.table;
    Select(t, 0, 0, 2, 2);
    Key(t, Qt::Key_C);
    const QString expected =
        QString("420\t%1\t%2\n421\t%3\t%4\n\t%1\t7\n").arg(Item(26, 0), Item(216, 0), Item(26, 1), Item(216, 3));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected.toStdString());

    // What was copied comes back unchanged.
    Select(t, 0, 0, 1, 2);
    Key(t, Qt::Key_C);
    Select(t, 50, 0, 50, 0);
    Key(t, Qt::Key_V);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(page->CellValue(page->TabFXS, 50 + r, c), page->CellValue(page->TabFXS, r, c));
    EXPECT_TRUE(t->item(51, 2)->isSelected());
    EXPECT_FALSE(t->item(52, 2)->isSelected());
    EXPECT_TRUE(prompts->shown.empty());

    // Quoted fields, as spreadsheets write them, are one cell each.
    QGuiApplication::clipboard()->setText("\"12\"\t\"1\"\n\"3\"\"4\"\n");
    Select(t, 60, 0, 60, 0);
    Key(t, Qt::Key_V);
    EXPECT_EQ(page->CellValue(page->TabFXS, 60, 0), "12");
    EXPECT_EQ(page->CellValue(page->TabFXS, 60, 1), "1");
    std::string quoted = "3\"4";
    p.NormalizeValue("FXSNumBegin", quoted);
    EXPECT_EQ(page->CellValue(page->TabFXS, 61, 0), quoted);
}

TEST_F(RoutingGrid, PastedCellsAreTakenAsTypedOrChosenOnes)
{
    QTableWidget* t = page->TabFXS.table;
    auto cell = [&](int r, int c) { return page->CellValue(page->TabFXS, r, c); };
    auto normalised = [](const char* key, std::string text) {
        Parameters().NormalizeValue(key, text);
        return text;
    };
    // List columns take an item's value or its text in any case; typed ones are normalised.
    QGuiApplication::clipboard()->setText(QString("777\t%1\t2\t99\r\n888\t1\t%2\t-5\r\n999\tmaybe\t9\tx\r\n")
                                              .arg(Item(26, 1).toUpper(), Item(216, 3).toLower()));
    Select(t, 10, 0, 10, 0);
    Key(t, Qt::Key_V);
    EXPECT_EQ(cell(10, 0), "777");
    EXPECT_EQ(cell(10, 1), "1");
    EXPECT_EQ(cell(10, 2), "2");
    EXPECT_EQ(cell(10, 3), normalised("FXSNumLength", "99"));
    EXPECT_EQ(cell(11, 1), "1");
    EXPECT_EQ(cell(11, 2), "3");
    EXPECT_EQ(cell(11, 3), normalised("FXSNumLength", "-5"));
    EXPECT_EQ(t->item(11, 2)->text(), Item(216, 3));
    // Texts that are no item of the list leave their cells alone and are named.
    EXPECT_EQ(cell(12, 0), "999");
    EXPECT_EQ(cell(12, 1), "0");
    EXPECT_EQ(cell(12, 2), "0");
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].icon, TIcon::Warning);
    const QString message = prompts->shown[0].text;
    EXPECT_TRUE(message.startsWith(Language().Text(373).section('%', 0, 0))) << message.toStdString();
    EXPECT_TRUE(message.contains("13.") && message.contains("maybe") && message.contains("9")) << message.toStdString();
    EXPECT_FALSE(message.contains("'x'"));  // typed columns take anything

    // A block is cut at the table's edges; one value fills a whole selection.
    QGuiApplication::clipboard()->setText("1\t2\t3\n4\t5\t6\n");
    Select(t, 119, 8, 119, 8);
    Key(t, Qt::Key_V);
    EXPECT_EQ(cell(119, 8), normalised("FXSTarif", "1"));
    EXPECT_EQ(cell(119, 9), normalised("FXSCallTime", "2"));
    QGuiApplication::clipboard()->setText("3");
    Select(t, 20, 5, 22, 6);
    Key(t, Qt::Key_V);
    for (int r = 20; r <= 22; ++r) {
        EXPECT_EQ(cell(r, 5), normalised("FXSRemove", "3"));
        EXPECT_EQ(cell(r, 6), normalised("FXSAdd", "3"));
    }

    // Cut is copy, then delete.
    Select(t, 20, 5, 20, 6);
    Key(t, Qt::Key_X);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              normalised("FXSRemove", "3") + "\t" + normalised("FXSAdd", "3") + "\n");
    EXPECT_EQ(cell(20, 5), normalised("FXSRemove", ""));

    // Del empties a range as an empty entry would be taken.
    Select(t, 10, 0, 11, 2);
    Key(t, Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(cell(10, 0), normalised("FXSNumBegin", ""));
    EXPECT_EQ(cell(11, 2), normalised("FXSDirection", ""));
    EXPECT_EQ(cell(10, 3), normalised("FXSNumLength", "99"));  // outside the range

    // The default rule's label is no cell: a paste on it starts at the first parameter.
    QTableWidget* d = page->TabFXSDef.table;
    QGuiApplication::clipboard()->setText(QString("%1\t1\t12\n").arg(Item(26, 1)));
    d->clearSelection();
    d->setRangeSelected(QTableWidgetSelectionRange(0, 0, 0, 0), true);
    Key(d, Qt::Key_V);
    EXPECT_EQ(page->CellValue(page->TabFXSDef, 0, 1), "1");
    EXPECT_EQ(page->CellValue(page->TabFXSDef, 0, 2), "1");
    EXPECT_EQ(page->CellValue(page->TabFXSDef, 0, 3), normalised("FXSDefNumLength", "12"));
    EXPECT_EQ(d->item(0, 0)->text(), Language().Text(31));

    main->SelectPage(0);  // leaving stores
    CParameters& p = Parameters();
    EXPECT_EQ(p.GetValue("FXSNumBegin", 12), "999");
    EXPECT_EQ(p.GetValue("FXSNumBegin", 10), normalised("FXSNumBegin", ""));
    EXPECT_EQ(p.GetValue("FXSPermitted", 11), normalised("FXSPermitted", ""));
    EXPECT_EQ(p.GetValue("FXSRemove", 21), normalised("FXSRemove", "3"));
    EXPECT_EQ(p.GetValue("FXSRemove", 20), normalised("FXSRemove", ""));
    EXPECT_EQ(p.GetValue("FXSDefDirection", 0), "1");
}
