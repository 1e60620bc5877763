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

class FieldGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FieldGrid(QWidget* parent = nullptr);

    int maxCols() const { return columnCount() - 1; }
    void setMaxCols(int n);
    int maxRows() const { return rowCount(); }
    void setMaxRows(int n);
    bool validCol(int col) const { return col >= 1 && col <= maxCols(); }
    bool validRow(int row) const { return row >= 1 && row <= maxRows(); }

    // The cell's value: the picked item's whole text, "1"/"0" for a check box, the typed text.
    QString text(int col, int row) const;
    void setText(int col, int row, const QString& text);
    // A button cell shows its caption, which is kept apart from its value.
    QString caption(int col, int row) const;
    void setCaption(int col, int row, const QString& caption);

    int kind(int col, int row) const;
    QStringList items(int col, int row) const;
    bool locked(int col, int row) const;
    void setLocked(int col, int row, bool locked); // row -1: the whole column

    // Cell kind with its settings; row -1 makes it the column's kind.
    struct Format {
        int kind = CellType::Edit;
        QStringList items;     // drop-down items (whole texts)
        int maxLength = 32000; // text cells
        int maxDrop = 10;      // items shown when dropped down
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    };
    void setFormat(int col, int row, const Format& format);

    void setColTitle(int col, const QString& title);
    void setColWidthUnits(int col, double units);
    void setColHidden(int col, bool hidden);

    int activeRow() const { return currentRow() + 1; }
    void setActiveRow(int row);

    // Row edits; the row count stays as it is (the last row drops out on insert, an empty one
    // comes in at the bottom on delete).
    void deleteGridRow(int row);
    void insertGridRow(int row);
    void clearGridRow(int row);
    void clearAllData();

    // Drop-down item as shown: the part before the hidden identifiers.
    static QString visibleText(const QString& itemText);

    // Raised by the delegate on a user's action only.
    void emitButtonClicked(int col, int row) { Q_EMIT buttonClicked(col, row); }
    void emitChange(int col, int row) { Q_EMIT change(col, row); }

Q_SIGNALS:
    // The user ticked or cleared a check box, or pressed a button cell.
    void buttonClicked(int col, int row);
    // The user picked a drop-down item or finished typing into a text cell.
    void change(int col, int row);

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
void initSpreadGrid(FieldGrid* grid);
// Whole column col becomes drop-down cells with the Tab-separated items of list.
void setComboColumn(FieldGrid* grid, int col, const QString& list);
void setCheckColumn(FieldGrid* grid, int col);
void setButtonCell(FieldGrid* grid, int col, int row);
void setEditCell(FieldGrid* grid, int col, int row);
// On the active row: 1 delete, 2 clear the row, 3 insert before it, 4 clear every cell.
void editGridRow(FieldGrid* grid, int operation);
