#pragma once
// Rules of the wizard's field-mapping grids that need no window: field type texts, the drop-down item
// lists, reading a stored link's rows, checking the grid rows and turning them into t_Detail rows.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QList>
#include <QString>
#include <QVariant>

// Grid columns.
namespace GridCol {
constexpr int TaxField = 1, FieldType = 2, IsFormula = 3, QorField = 4, Formula = 5, TaxID = 6, QorID = 7;
constexpr int Count = 7;
} // namespace GridCol
constexpr int kGridRows = 50;

// One grid row as the rules see it.
struct GridRow {
    QString taxField;  // column 1: the tax field's item text (or its name when loaded)
    QString typeText;  // column 2
    QString isFormula; // column 3: "1" ticked
    QString qorField;  // column 4: the accounting field's item text (or its description)
    QString caption;   // column 5: the formula's display form on the button
    QString taxID;     // column 6
    QString qorID;     // column 7: accounting field FID or the stored formula
    bool mapped() const { return !taxField.trimmed().isEmpty(); }
};

// "1" 文本, "2" 日期, "3" 数字; anything else gives "".
QString typeToText(const QString& code);
QString textToType(const QString& text);

// Tab-terminated drop-down items of the rows of sql on the configuration connection: tax items
// name + 100 blanks + "|" + FID + "|" + type, accounting items description + 100 blanks + "|" + FID.
QString getFieldList(Connection& config, const QString& sql, bool isTaxList, const QVariantList& params = {});
// The item lists of one side of the grids.
QString taxFieldList(Connection& config, bool isHead, const QString& format = QStringLiteral("txt"));
QString qorFieldList(Connection& config, bool isHead);

// The stored rows of one side of link key, in saved order, as grid rows (throws DbError).
QList<GridRow> loadDetailRows(Connection& config, const QString& key, bool isHead);

// A mapped row: the tax field (name, type code "1"-"3", Fid) and the accounting field's FID or the stored
// formula, with the accounting field's description or the formula's display form (throws DbError).
GridRow mappedGridRow(Connection& config, const QString& taxName, const QString& typeCode, bool formula,
                      const QString& taxID, const QString& qorID);
// The factory link's mappings of one side (t_DefaultDetail), in its order: what a new text or XML link
// may start from (throws DbError).
QList<GridRow> factoryGridRows(Connection& config, bool isHead);

// Checks the rows of one grid; shows the first failure and returns false.
bool checkGridRows(const QList<GridRow>& rows, bool isHead);
// The fields the tax system needs on every head and detail line (the first items of each) that the rows
// leave unmapped, head first: a file without them is refused by the tax system. By the link's format
// (FFormat): an XML document lists its lines and needs no 商品行数; a workbook's columns are the platform's.
QStringList missingRequiredFields(const QList<GridRow>& head, const QList<GridRow>& body,
                                  const QString& format = QStringLiteral("txt"));
// One field of the tax system's text layout.
struct LayoutField {
    QString id, name, type; // t_TaxField Fid, Fname, FFieldType
};
// The fields of the text file's head or detail line in the order the tax system reads them (throws DbError).
QList<LayoutField> textFileLayout(Connection& config, bool isHead);
// The tax field named by a grid row: its item text up to the identifiers.
QString rowTaxName(const GridRow& row);
// The layout fields that kept leaves out before the last layout field it keeps, in layout order: the tax
// system reads by position, so each of them shifts what follows. Fields after the last kept one may be
// left off.
QStringList layoutGaps(const QStringList& layout, const QStringList& kept);
QStringList layoutGaps(const QList<LayoutField>& layout, const QList<GridRow>& rows);
// The wizard's question before it fills the gaps of head and body (either may be empty, not both).
QString layoutGapQuestion(const QStringList& headGaps, const QStringList& bodyGaps);
// The mapped rows in layout order, each gap filled by a row that writes an empty field; rows of fields
// outside the layout keep their place after it.
QList<GridRow> fillLayoutGaps(const QList<GridRow>& rows, const QList<LayoutField>& layout);
// The t_Detail row of a mapped grid row.
FieldMap detailFieldMap(const GridRow& row, bool isHead);
// The stored formula: identifier form | SQL form | display form.
QString storedFormula(const QString& idForm, const QString& sqlForm, const QString& displayForm);
