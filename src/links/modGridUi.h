#pragma once
// A spreadsheet grid for the link wizard, addressed like the spread control it replaces: columns and
// rows count from 1, column 0 shows the row numbers, row 0 is the title row and row -1 addresses a
// whole column (also the rows added later by an insert or delete).

#include <QHash>
#include <QStringList>
#include <QTableWidget>

// Cell kinds, numbered as the spread control numbers them.
namespace CellType {
constexpr int Edit = 1, Button = 7, Combo = 8, Check = 10;
}

class FpGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FpGrid(QWidget* parent = nullptr);

    int MaxCols() const { return columnCount() - 1; }
    void SetMaxCols(int n);
    int MaxRows() const { return rowCount(); }
    void SetMaxRows(int n);
    bool ValidCol(int col) const { return col >= 1 && col <= MaxCols(); }
    bool ValidRow(int row) const { return row >= 1 && row <= MaxRows(); }

    // The cell's value: the picked item's whole text, "1"/"0" for a check box, the typed text.
    QString Text(int col, int row) const;
    void SetText(int col, int row, const QString& text);
    // A button cell shows its caption, which is kept apart from its value.
    QString Caption(int col, int row) const;
    void SetCaption(int col, int row, const QString& caption);

    int Kind(int col, int row) const;
    QStringList Items(int col, int row) const;
    bool Locked(int col, int row) const;
    void SetLocked(int col, int row, bool locked); // row -1: the whole column

    // Cell kind with its settings; row -1 makes it the column's kind.
    struct Format {
        int kind = CellType::Edit;
        QStringList items;     // drop-down items (whole texts)
        int maxLength = 32000; // text cells
        int maxDrop = 10;      // items shown when dropped down
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    };
    void SetFormat(int col, int row, const Format& format);

    void SetColTitle(int col, const QString& title);
    void SetColWidthUnits(int col, double units);
    void SetColHidden(int col, bool hidden);

    int ActiveRow() const { return currentRow() + 1; }
    void SetActiveRow(int row);

    // Row edits; the row count stays as it is (the last row drops out on insert, an empty one
    // comes in at the bottom on delete).
    void DeleteGridRow(int row);
    void InsertGridRow(int row);
    void ClearGridRow(int row);
    void ClearAllData();

    // Drop-down item as shown: the part before the hidden identifiers.
    static QString VisibleText(const QString& itemText);

    // Raised by the delegate on a user's action only.
    void emitButtonClicked(int col, int row) { Q_EMIT ButtonClicked(col, row); }
    void emitChange(int col, int row) { Q_EMIT Change(col, row); }

Q_SIGNALS:
    // The user ticked or cleared a check box, or pressed a button cell.
    void ButtonClicked(int col, int row);
    // The user picked a drop-down item or finished typing into a text cell.
    void Change(int col, int row);

private:
    QTableWidgetItem* cell(int col, int row) const;
    QTableWidgetItem* ensureCell(int col, int row);
    void applyFormat(QTableWidgetItem* item, const Format& format);
    void applyFlags(QTableWidgetItem* item);
    void fillNewRow(int tableRow);
    void renumber();

    QHash<int, Format> m_colFormat;
    QHash<int, bool> m_colLocked;
};

// Standard look: light, blue accents, grey lines, numbered first column headed "序号".
void InitSpreadGrid(FpGrid* grid);
// Whole column col becomes drop-down cells with the Tab-separated items of list.
void SetComboColumn(FpGrid* grid, int col, const QString& list);
void SetCheckColumn(FpGrid* grid, int col);
void SetButtonCell(FpGrid* grid, int col, int row);
void SetEditCell(FpGrid* grid, int col, int row);
// On the active row: 1 delete, 2 clear the row, 3 insert before it, 4 clear every cell.
void EditGridRow(FpGrid* grid, int operation);
