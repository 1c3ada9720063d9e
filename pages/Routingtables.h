// Routing tables page: where calls from FXS, FXO and GSM go. Each direction has
// a few single settings, a table of 120 rules and a default rule.
#pragma once
#include "Pageform.h"

#include <QRect>
#include <vector>

class QTabWidget;
class QKeyEvent;
class QGridLayout;
class QTableWidget;

class TFRoutingTables : public TFPage {
    Q_OBJECT
public:
    explicit TFRoutingTables(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
    void FitToArea(int width, int height) override;
    void FxoCallsToChange();

    struct TColumn {
        const char* key;
        int text;         // header and hint text
        QComboBox* list;  // the list editor of the column, or none for typed cells
    };
    struct TGrid {
        QTableWidget* table = nullptr;
        std::vector<TColumn> columns;
        bool routing = false;  // 120 rows of instances, or the default rule (instance 0)
        int labelText = 0;     // default rule: the row label
        // Table column of the first parameter. A default rule has the columns of
        // its table; those before its first parameter hold its label.
        int first = 0;
        std::vector<int> widths;  // least width of each column (routing tables)
    };
    // The parameter column at a table column, or none for the label.
    static const TColumn* ColumnAt(const TGrid& grid, int column);
    // What a cell holds as a parameter value (the item value for list columns).
    std::string CellValue(const TGrid& grid, int row, int column) const;
    void SetCell(TGrid& grid, int row, int column, const std::string& value);

    // The selected cells as tab-separated lines, as spreadsheets exchange them.
    void CopyCells(TGrid& grid);
    // Tab-separated lines from the clipboard into the cells from the selected one
    // on, cut at the table's edges; one value fills the whole selection.
    void PasteCells(TGrid& grid);
    // Every selected cell back to what an empty entry means for its parameter.
    void ClearCells(TGrid& grid);

    QTabWidget* DirectionTabs;
    QWidget *FxsSheet, *FxoSheet, *GsmSheet;
    TGrid TabFXS, TabFXSDef, TabFXO, TabFXODef, TabGSM, TabGSMDef;
    QComboBox *FxoPermittedList, *GsmFaxTo, *GsmDirectionList, *FxoCallsTo, *FxsPermittedList, *FxoNumberEndList,
        *FxsDirectionList, *FxsNumberEndList, *FxoDefPermittedList, *FxsDefPermittedList, *FxsDefDirectionList,
        *FxsDefNumberEndList, *FxoDefNumberEndList, *GsmDataTo, *GsmDefDirectionList;
    QLineEdit *FxsVeltranNumber, *FxoHangUpCode, *FxoVeltranNumber, *GsmDisaTime, *GsmDialFxoTime, *GsmCallBackTime,
        *FxoFollowMeNumber, *FxoFollowMePassword, *FxoFollowMeRings;
    TUpDown *GsmDisaTimeUpDown, *GsmDialFxoTimeUpDown, *GsmCallBackTimeUpDown, *FxoFollowMeRingsUpDown;

private:
    void FillGrid(TGrid& grid);
    void StoreGrid(TGrid& grid);
    void SizeColumns(TGrid& table, TGrid& def);
    bool GridKey(TGrid& grid, QKeyEvent* event);
    QRect SelectedBlock(const TGrid& grid) const;
    // Below the width of their two columns of fields, the settings above the
    // tables stand in one column, each label above its field, so the tables
    // (and their scroll bars) stay within the page's area.
    void Reflow(bool oneColumn);
    struct TCell {
        QWidget* widget;
        int row, column;
    };
    std::vector<std::pair<QGridLayout*, std::vector<TCell>>> m_TwoColumnGrids;
    bool m_OneColumn = false;
    bool m_Mirroring = false;
};
