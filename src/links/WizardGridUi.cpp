#include "WizardGridUi.h"

#include "common/Session.h"

#include "common/FieldMap.h"
#include "common/modFunction.h"
#include "frmEditExpression.h"
#include "modGridUi.h"
#include <QHeaderView>
#include <QPlainTextEdit>

using namespace GridCol;

void FormatFpGrid(FpGrid* grid) {
    try {
        InitSpreadGrid(grid);
        grid->SetMaxCols(Count);
        grid->SetMaxRows(kGridRows);
        const QStringList titles{QStringLiteral("航天金税引出字段"), QStringLiteral("字段类型"),
                                 QStringLiteral("公式"), QStringLiteral("OrvaneQOR字段"),
                                 QStringLiteral("OrvaneQOR公式")};
        for (int c = 1; c <= titles.size(); ++c)
            grid->SetColTitle(c, titles[c - 1]);
        const double widths[Count] = {13, 4, 3, 15, 14, 1, 1};
        for (int c = 1; c <= Count; ++c)
            grid->SetColWidthUnits(c, widths[c - 1]);
        // The formula column takes what room is left, so long formulas stay readable.
        grid->horizontalHeader()->setSectionResizeMode(Formula, QHeaderView::Stretch);
        grid->SetColHidden(TaxID, true);
        grid->SetColHidden(QorID, true);
        grid->SetLocked(FieldType, -1, true);
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("FormatFpGrid"), e);
    }
}

void FillFieldLists(const Session& session, FpGrid* grid, bool isHead, const QString& format) {
    SetComboColumn(grid, TaxField, TaxFieldList(session.Config(), isHead, format));
    SetComboColumn(grid, QorField, QorFieldList(session.Config(), isHead));
    SetCheckColumn(grid, IsFormula);
}

void GridCellChanged(FpGrid* grid, int col, int row) {
    const QString t = grid->Text(col, row);
    if (t.trimmed().isEmpty()) return;
    if (col == TaxField) {
        grid->SetText(TaxID, row, SplitItem(t, QStringLiteral("|"), 1));
        grid->SetText(FieldType, row, TypeToText(SplitItem(t, QStringLiteral("|"), 2)));
    } else if (col == QorField) {
        grid->SetText(QorID, row, SplitItem(t, QStringLiteral("|"), 1));
    }
}

void SetFormulaState(FpGrid* grid, int col, int row) {
    if (col != IsFormula) return;
    if (grid->Text(IsFormula, row).trimmed() == u"1") {
        SetButtonCell(grid, Formula, row);
        grid->SetLocked(QorField, row, true);
        return;
    }
    SetEditCell(grid, Formula, row);
    grid->SetLocked(QorField, row, false);
    // A formula left behind in column 7 would be saved as if it were a field: the field must be picked again.
    if (grid->Text(QorID, row).contains(u'|')) {
        grid->SetText(QorID, row, QString());
        grid->SetText(QorField, row, QString());
    }
}

void EditFormula(const Session& session, FpGrid* grid, int col, int row, bool isHead) {
    if (col != Formula) return;
    if (grid->Text(TaxField, row).trimmed().isEmpty()) return;
    frmEditExpression dlg(session, grid->window());
    dlg.DataType = TextToType(grid->Text(FieldType, row)).toInt();
    dlg.txtExp->setPlainText(grid->Caption(Formula, row));
    dlg.isHead = isHead;
    dlg.LoadData();
    dlg.exec();
    if (!dlg.Ok()) return;
    grid->SetCaption(Formula, row, dlg.ReturnFieldDesc());
    grid->SetText(QorID, row,
                  StoredFormula(dlg.ReturnFieldID(), dlg.ReturnFieldName(), dlg.ReturnFieldDesc()));
}

void SetGridRows(FpGrid* grid, const QList<GridRow>& rows) {
    // A link with more rows than the grid shows must not lose them on the next save.
    if (rows.size() > grid->MaxRows()) grid->SetMaxRows(int(rows.size()));
    for (int r = 1; r <= grid->MaxRows(); ++r) {
        grid->ClearGridRow(r);
        const GridRow g = r <= rows.size() ? rows[r - 1] : GridRow{};
        grid->SetText(TaxField, r, g.taxField);
        grid->SetText(FieldType, r, g.typeText);
        grid->SetText(IsFormula, r, g.isFormula);
        grid->SetText(TaxID, r, g.taxID);
        grid->SetText(QorID, r, g.qorID);
        SetFormulaState(grid, IsFormula, r);
        if (g.isFormula == u"1")
            grid->SetCaption(Formula, r, g.caption);
        else
            grid->SetText(QorField, r, g.qorField);
    }
}

bool LoadDetailData(const Session& session, FpGrid* grid, const QString& key, bool isHead) {
    try {
        SetGridRows(grid, LoadDetailRows(session.Config(), key, isHead));
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("LoadDetailData"), e);
        return false;
    }
}

QList<GridRow> ReadGridRows(const FpGrid* grid) {
    QList<GridRow> rows;
    for (int r = 1; r <= grid->MaxRows(); ++r) {
        GridRow g;
        g.taxField = grid->Text(TaxField, r);
        g.typeText = grid->Text(FieldType, r);
        g.isFormula = grid->Text(IsFormula, r);
        g.qorField = grid->Text(QorField, r);
        g.caption = grid->Caption(Formula, r);
        g.taxID = grid->Text(TaxID, r);
        g.qorID = grid->Text(QorID, r);
        rows.append(g);
    }
    return rows;
}

bool CheckGridData(FpGrid* grid, bool isHead) {
    try {
        return CheckGridRows(ReadGridRows(grid), isHead);
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("CheckGridData"), e);
        return false;
    }
}

bool GetDetailData(FpGrid* grid, RecordList& list, bool isHead) {
    for (const GridRow& g : ReadGridRows(grid))
        if (g.mapped()) list.Add(DetailFieldMap(g, isHead));
    return true;
}
