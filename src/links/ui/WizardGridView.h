#pragma once
// The wizard's two field-mapping grids (head and body): layout, lists, the user's picks, formulas,
// loading a stored link, checking and reading the rows. The rules themselves are in WizardGrid.h.

#include "links/WizardGrid.h"

class FieldGrid;
class RecordList;
class Session;

void formatFpGrid(FieldGrid* grid);
// The first column's heading: the fields of the format the link writes (txt, xml, xlsx).
void setTaxFieldTitle(FieldGrid* grid, const QString& format);
void fillFieldLists(const Session& session, FieldGrid* grid, bool isHead,
                    const QString& format = QStringLiteral("txt"));
// After the user picked a tax field (column 1) or an accounting field (column 4).
void gridCellChanged(FieldGrid* grid, int col, int row);
// After the formula box (column 3) of a row changed.
void setFormulaState(FieldGrid* grid, int col, int row);
// Formula button (column 5): edit the row's formula in the expression editor.
void editFormula(const Session& session, FieldGrid* grid, int col, int row, bool isHead);
// Puts rows into the grid from its first row on, clearing the rest.
void setGridRows(FieldGrid* grid, const QList<GridRow>& rows);
bool loadDetailData(const Session& session, FieldGrid* grid, const QString& key, bool isHead);
bool checkGridData(FieldGrid* grid, bool isHead);
bool getDetailData(FieldGrid* grid, RecordList& list, bool isHead);

// Every row of the grid as the rules see it.
QList<GridRow> readGridRows(const FieldGrid* grid);
