#pragma once
// Writes the invoices of an issued-invoice file: one ICSale row per head line, one ICSaleEntry row per
// goods line, and for a discount line an update of the goods line before it. Every step runs on the
// import's transaction; a step that returns false has shown its message and the caller rolls back.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include "common/modFunction.h"
#include <QString>

class ImportRules;

class InvoiceWriter {
public:
    InvoiceWriter(ConnectionPtr acct, ImportRules& rules);

    // Head step: checks and resolves the head line and inserts the invoice. values receives the
    // head's fields. Throws DbError for what the error report covers.
    bool WriteHead(const QString& line, FieldMap& values);
    // Goods-line step: inserts the line under the current invoice with the given entry number.
    bool WriteGoodsLine(const QString& line, qint32 entryID);
    // Discount-line step: applies the discount to the line written for prevLine.
    bool WriteDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine);

    bool MapHeadFields(FieldMap& map, const FieldMap& v);
    // Prices, amounts and tax of a goods line by invoice kind (giInvoiceKind) and price mode.
    static bool MapBodyFields(FieldMap& map, const FieldMap& v);
    // The update of a discount line, or an empty statement when it cannot be built.
    SqlStatement BuildDiscountUpdate(const QString& line, qint32 interID, qint32 prevEntryID,
                                     const QString& prevLine);

    // FInterID of the invoice being written.
    const QString& InterID() const { return m_interID; }

private:
    ConnectionPtr m_acct;
    ImportRules& m_rules;
    QString m_interID;
};

// "yyyymmdd" of the file as the "yyyy-mm-dd" of the database; false when it is no date.
bool InvoiceDateText(const QString& fileDate, QString& out);
