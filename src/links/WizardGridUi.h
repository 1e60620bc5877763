#pragma once
// The wizard's two field-mapping grids (head and body): layout, lists, the user's picks, formulas,
// loading a stored link, checking and reading the rows. The rules themselves are in WizardGrid.h.

#include "WizardGrid.h"

class FpGrid;
class RecordList;
class Session;

void FormatFpGrid(FpGrid* grid);
void FillFieldLists(const Session& session, FpGrid* grid, bool isHead,
                    const QString& format = QStringLiteral("txt"));
// After the user picked a tax field (column 1) or an accounting field (column 4).
void GridCellChanged(FpGrid* grid, int col, int row);
// After the formula box (column 3) of a row changed.
void SetFormulaState(FpGrid* grid, int col, int row);
// Formula button (column 5): edit the row's formula in the expression editor.
void EditFormula(const Session& session, FpGrid* grid, int col, int row, bool isHead);
// Puts rows into the grid from its first row on, clearing the rest.
void SetGridRows(FpGrid* grid, const QList<GridRow>& rows);
bool LoadDetailData(const Session& session, FpGrid* grid, const QString& key, bool isHead);
bool CheckGridData(FpGrid* grid, bool isHead);
bool GetDetailData(FpGrid* grid, RecordList& list, bool isHead);

// Every row of the grid as the rules see it.
QList<GridRow> ReadGridRows(const FpGrid* grid);
