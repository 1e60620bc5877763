#pragma once
// One kind's tab of the mapping editor: the grid of name pairs (accounting name with its hidden
// identifier, tax-system name) as loaded from t_ItemMap.

#include "mapping/ItemMapStore.h"
#include <QWidget>

class ItemEntryDelegate;
class QLabel;
class QTableWidget;
class Recordset;

class NameMappingTab : public QWidget {
    Q_OBJECT
public:
    // Grid columns: 0 the number, 1 the accounting name (its item carries the identifier), 2 the tax name.
    enum Column { ColNo = 0, ColQor = 1, ColTax = 2 };

    NameMappingTab(int kind, QWidget* parent = nullptr);

    QTableWidget* grid() const { return m_grid; }
    // The note above the grid (the handlers' kind only), else null.
    QLabel* note() const { return m_note; }

    // Empty grid with its headings.
    void initGrid();
    // Fills the grid from rows of t_ItemMap; an empty recordset leaves the grid as it is.
    void fillGrid(Recordset& rs);
    void addRow();
    void deleteRow();
    // The pairs to save, every row as it stands.
    QList<ItemMapPair> pairs() const;
    // The record picked for the accounting name of the row.
    void setPicked(int row, const QString& name, int id);
    // Ends an entry still open, keeping what was typed.
    void endEntry();

Q_SIGNALS:
    // The user changed a cell.
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void renumber();
    void setEntryCells(int row);
    void sizeColumns();

    QTableWidget* m_grid;
    QLabel* m_note = nullptr;
    ItemEntryDelegate* m_entry;
};
