#pragma once
// Writes the invoices of an issued-invoice file: one ICSale row per head line, one ICSaleEntry row per
// goods line, and for a discount line an update of the goods line before it. Every step runs on the
// import's transaction; a step that returns false has shown its message and the caller rolls back.

#include "BillNumbering.h"
#include "common/Connection.h"
#include "common/FieldMap.h"
#include "common/RowBatch.h"
#include "common/modFunction.h"
#include <QString>
#include <optional>

class ImportRules;
class Session;

class InvoiceWriter {
public:
    InvoiceWriter(Session& session, ImportRules& rules);

    // At the start of an import: the date of the day and the numbering rules are read anew. The whole
    // file gets the date (and period) of its start, also when it runs past midnight.
    void BeginImport();
    // At the end of an import, before the commit: the rows still in memory are written and the running
    // numbers stored. Throws DbError.
    void EndImport();
    // Between two invoices: writes what has gathered once there is enough of it.
    void FlushIfFull();

    // Head step: checks and resolves the head line and inserts the invoice. values receives the
    // head's fields. Throws DbError for what the error report covers.
    bool WriteHead(const QString& line, FieldMap& values);
    // Goods-line step: inserts the line under the current invoice with the given entry number.
    bool WriteGoodsLine(const QString& line, qint32 entryID);
    // Discount-line step: applies the discount to the line written for prevLine.
    bool WriteDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine);

    bool MapHeadFields(FieldMap& map, const FieldMap& v);
    // Prices, amounts and tax of a goods line by invoice kind (the session's giInvoiceKind) and price mode.
    bool MapBodyFields(FieldMap& map, const FieldMap& v);
    // The columns a discount line changes in the line before it, or nothing when they cannot be worked out.
    std::optional<FieldMap> BuildDiscountUpdate(const QString& line, const QString& prevLine);

    // FInterID of the invoice being written.
    const QString& InterID() const { return m_interID; }

private:
    BillNumberRule& Rule(qint32 billTypeID);

    Session& m_session;
    ConnectionPtr m_acct;
    ImportRules& m_rules;
    QString m_interID;
    QString m_today;
    std::optional<BillNumberRule> m_special, m_ordinary;
    std::optional<std::pair<QString, QString>> m_period; // year, period
    bool m_periodRead = false;
    // Heads and lines are written many to a statement; a line stays in memory until its invoice ends, so a
    // discount changes it there.
    RowBatch m_heads;
    RowBatch m_entries;
};

// "yyyymmdd" of the file as the "yyyy-mm-dd" of the database; false when it is no date.
bool InvoiceDateText(const QString& fileDate, QString& out);
