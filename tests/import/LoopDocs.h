#pragma once
// The export's documents as the loop's tests use them: the tax system's issued invoice made from one, and
// the documents by their 单据号 (ExportedDocs.h).
#include "ExportedDocs.h"
#include "InvoiceLines.h"
#include "common/Values.h"
#include "export/ExportWriter.h"
#include <QHash>

// An issued invoice of the tax system made from a document of the export; plus: added to its amount.
inline QStringList issuedFrom(const ExportDoc& doc, const QString& number, bool cancelled = false,
                              double plus = 0, const QStringList& bodies = {goodsLine({})}) {
    return invoice({.net = decimalText(doc.amount + plus, 2),
                    .tax = decimalText(doc.tax, 2),
                    .cancelled = cancelled ? QStringLiteral("1") : QStringLiteral("0"),
                    .number = number,
                    .docNo = doc.docNo},
                   bodies);
}
