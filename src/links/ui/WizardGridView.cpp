#include "links/ui/WizardGridView.h"

#include "common/Session.h"

#include "common/FieldMap.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "links/ui/ExpressionDialog.h"
#include "links/ui/FieldGrid.h"
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QStyle>

using namespace GridCol;

namespace {
// The grid is never narrower than its columns with every heading whole: a narrow wizard would otherwise
// hide the last ones (OrvaneQOR公式) behind the scroll bar.
void fitGridWidth(FieldGrid* grid) {
    const QFontMetrics fm(grid->horizontalHeader()->font());
    int width =
        2 * grid->frameWidth() + grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid) + 2;
    if (grid->verticalHeader()->isVisible()) width += grid->verticalHeader()->sizeHint().width();
    for (int c = 0; c < grid->columnCount(); ++c) {
        if (grid->isColumnHidden(c)) continue;
        const QTableWidgetItem* h = grid->horizontalHeaderItem(c);
        const int title = h ? fm.horizontalAdvance(h->text()) + 14 : 0;
        // The formula column stretches: its own width is what is left over.
        width += c == Formula ? title : qMax(grid->columnWidth(c), title);
    }
    grid->setMinimumWidth(width);
}
} // namespace

void formatFpGrid(FieldGrid* grid) {
    try {
        initSpreadGrid(grid);
        grid->setMaxCols(Count);
        grid->setMaxRows(kGridRows);
        const QStringList titles{QStringLiteral("航天金税引出字段"), QStringLiteral("字段类型"),
                                 QStringLiteral("公式"), QStringLiteral("OrvaneQOR字段"),
                                 QStringLiteral("OrvaneQOR公式")};
        for (int c = 1; c <= titles.size(); ++c)
            grid->setColTitle(c, titles[c - 1]);
        const double widths[Count] = {13, 4, 3, 15, 14, 1, 1};
        for (int c = 1; c <= Count; ++c)
            grid->setColWidthUnits(c, widths[c - 1]);
        // The formula column takes what room is left, so long formulas stay readable.
        grid->horizontalHeader()->setSectionResizeMode(Formula, QHeaderView::Stretch);
        grid->setColHidden(TaxID, true);
        grid->setColHidden(QorID, true);
        grid->setLocked(FieldType, -1, true);
        fitGridWidth(grid);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("FormatFpGrid"), e);
    }
}

void setTaxFieldTitle(FieldGrid* grid, const QString& format) {
    grid->setColTitle(TaxField, format == u"xlsx"  ? QStringLiteral("电子发票平台模板字段")
                                : format == u"xml" ? QStringLiteral("开票软件XML字段")
                                                   : QStringLiteral("航天金税引出字段"));
    // Wide enough for the heading it has now.
    grid->setColWidthUnits(TaxField, 13);
    fitGridWidth(grid);
}

void fillFieldLists(const Session& session, FieldGrid* grid, bool isHead, const QString& format) {
    setComboColumn(grid, TaxField, taxFieldList(session.config(), isHead, format));
    setComboColumn(grid, QorField, qorFieldList(session.config(), isHead));
    setCheckColumn(grid, IsFormula);
}

void gridCellChanged(FieldGrid* grid, int col, int row) {
    const QString t = grid->text(col, row);
    if (t.trimmed().isEmpty()) return;
    if (col == TaxField) {
        grid->setText(TaxID, row, splitItem(t, QStringLiteral("|"), 1));
        grid->setText(FieldType, row, typeToText(splitItem(t, QStringLiteral("|"), 2)));
    } else if (col == QorField) {
        grid->setText(QorID, row, splitItem(t, QStringLiteral("|"), 1));
    }
}

void setFormulaState(FieldGrid* grid, int col, int row) {
    if (col != IsFormula) return;
    if (grid->text(IsFormula, row).trimmed() == u"1") {
        setButtonCell(grid, Formula, row);
        grid->setLocked(QorField, row, true);
        return;
    }
    setEditCell(grid, Formula, row);
    grid->setLocked(QorField, row, false);
    // A formula left behind in column 7 would be saved as if it were a field: the field must be picked again.
    if (grid->text(QorID, row).contains(u'|')) {
        grid->setText(QorID, row, QString());
        grid->setText(QorField, row, QString());
    }
}

void editFormula(const Session& session, FieldGrid* grid, int col, int row, bool isHead) {
    if (col != Formula) return;
    if (grid->text(TaxField, row).trimmed().isEmpty()) return;
    ExpressionDialog dlg(session, grid->window());
    dlg.dataType = textToType(grid->text(FieldType, row)).toInt();
    dlg.txtExp->setPlainText(grid->caption(Formula, row));
    dlg.isHead = isHead;
    dlg.loadData();
    dlg.exec();
    if (!dlg.ok()) return;
    grid->setCaption(Formula, row, dlg.returnFieldDesc());
    grid->setText(QorID, row,
                  storedFormula(dlg.returnFieldId(), dlg.returnFieldName(), dlg.returnFieldDesc()));
}

void setGridRows(FieldGrid* grid, const QList<GridRow>& rows) {
    // A link with more rows than the grid shows must not lose them on the next save.
    if (rows.size() > grid->maxRows()) grid->setMaxRows(int(rows.size()));
    for (int r = 1; r <= grid->maxRows(); ++r) {
        grid->clearGridRow(r);
        const GridRow g = r <= rows.size() ? rows[r - 1] : GridRow{};
        grid->setText(TaxField, r, g.taxField);
        grid->setText(FieldType, r, g.typeText);
        grid->setText(IsFormula, r, g.isFormula);
        grid->setText(TaxID, r, g.taxID);
        grid->setText(QorID, r, g.qorID);
        setFormulaState(grid, IsFormula, r);
        if (g.isFormula == u"1")
            grid->setCaption(Formula, r, g.caption);
        else
            grid->setText(QorField, r, g.qorField);
    }
}

bool loadDetailData(const Session& session, FieldGrid* grid, const QString& key, bool isHead) {
    try {
        setGridRows(grid, loadDetailRows(session.config(), key, isHead));
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("LoadDetailData"), e);
        return false;
    }
}

QList<GridRow> readGridRows(const FieldGrid* grid) {
    QList<GridRow> rows;
    for (int r = 1; r <= grid->maxRows(); ++r) {
        GridRow g;
        g.taxField = grid->text(TaxField, r);
        g.typeText = grid->text(FieldType, r);
        g.isFormula = grid->text(IsFormula, r);
        g.qorField = grid->text(QorField, r);
        g.caption = grid->caption(Formula, r);
        g.taxID = grid->text(TaxID, r);
        g.qorID = grid->text(QorID, r);
        rows.append(g);
    }
    return rows;
}

bool checkGridData(FieldGrid* grid, bool isHead) {
    try {
        return checkGridRows(readGridRows(grid), isHead);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("CheckGridData"), e);
        return false;
    }
}

bool getDetailData(FieldGrid* grid, RecordList& list, bool isHead) {
    for (const GridRow& g : readGridRows(grid))
        if (g.mapped()) list.add(detailFieldMap(g, isHead));
    return true;
}
