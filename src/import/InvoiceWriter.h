#pragma once
// Writes the invoices of an issued-invoice file: one ICSale row per head line, one ICSaleEntry row per
// goods line, and for a discount line a change of the goods line before it. The rows are typed as their
// columns take them when the line is read and written many to a statement; every step runs on the
// import's transaction. A step that returns false has shown its message and the caller rolls back.

#include "common/Connection.h"
#include "common/RowBatch.h"
#include "import/BillNumbering.h"
#include "import/ImportRules.h"
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

class Session;

class InvoiceWriter {
public:
    InvoiceWriter(Session& session, ImportRules& rules);

    // At the start of an import: the date of the day and the numbering rules are read anew, the columns of
    // both tables found. The whole file gets the date (and period) of its start, also past midnight.
    void beginImport();
    // At the end of an import, before the commit (after the last Flush): the running numbers are stored.
    // Throws DbError.
    void endImport();
    // Between two invoices: true once enough rows have gathered to be written.
    bool isFull() const;
    // Between two invoices: gives the invoices in memory their FInterID (one call of the counter for all
    // of them) and writes their rows, the heads first, then beforeLines with the identifiers in the order
    // the invoices were added, then the lines. Returns the identifiers. Throws DbError.
    QStringList flush(const std::function<void(const QStringList&)>& beforeLines = {});

    // Head step: checks and resolves the head line (file line lineNumber) and adds the invoice. head
    // receives the line. Throws DbError for what the error report covers.
    bool writeHead(const QString& line, qint32 lineNumber, ImportLine& head);
    // Goods-line step: adds the line under the current invoice with the given entry number.
    bool writeGoodsLine(const QString& line, qint32 lineNumber, qint32 entryID);
    // Discount-line step: applies the discount to the line written for prevLine.
    bool writeDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine);

    // FBillNo of the invoice being written.
    const QString& billNo() const { return m_billNo; }
    // After a failed import, rolled back: the first bill number it gave that another sales invoice of the
    // set already has; empty when there is none. Throws DbError.
    QString takenBillNo();

private:
    struct HeadColumns {
        int interID, billNo, tranType, classType, date, saleStyle, yearPeriod, year, period, fincDate,
            payDate, cancellation, checker, checkDate, status, customer, biller, amount, amountFor,
            unreceived;
    };
    struct EntryColumns {
        int interID, entryID, item, qty, auxQty, unit, taxRate, taxAmount, stdTaxAmount, price, auxPrice,
            taxPrice, auxTaxPrice, priceDiscount, auxPriceDiscount, amount, stdAmount, amountIncludeTax,
            stdAmountIncludeTax, allAmount, note, batchNo, discountRate, amtDiscount, stdAmtDiscount;
    };
    // The numbers of a head (不含税金额, 税额) or goods line, strictly: a value that is no number stops
    // the import naming line, field and value; an empty one is 0.
    bool parseLineNumber(const ImportLine& line, int position, const QString& field, qint32 lineNumber,
                         double& out);
    bool mapHeadFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber);
    // Prices, amounts and tax of a goods line by invoice kind (the session's giInvoiceKind) and price mode.
    bool mapBodyFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber, bool& computed);
    // The columns a discount line changes in the line before it, or nothing when they cannot be worked out.
    std::optional<QList<QPair<int, double>>> buildDiscountUpdate(const QString& line,
                                                                 const QString& prevLine);
    BillNumberRule& rule(qint32 billTypeID);
    void setText(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QString& text);
    void setValue(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QVariant& value);
    void setNumber(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, double value);

    Session& m_session;
    ConnectionPtr m_acct;
    ImportRules& m_rules;
    // Until its rows are written an invoice's FInterID is a stand-in, its place among the invoices in
    // memory (negative, so it is never taken for an identifier).
    BoundRowBatch::Value m_interID;
    QString m_billNo;
    QString m_today;
    // The dates of the file as their column takes them, by the file's text: a month's invoices share a few
    // dozen.
    QHash<QString, BoundRowBatch::Value> m_dates;
    // The head columns every invoice of the import writes alike, with their values.
    std::optional<QList<QPair<int, BoundRowBatch::Value>>> m_fixedHead;
    int m_enough = 1000; // rows gathered before they are written
    std::optional<BillNumberRule> m_special, m_ordinary;
    std::optional<std::pair<QString, QString>> m_period; // year, period
    bool m_periodRead = false;
    // Heads and lines are written many to a statement; a line stays in memory until its invoice ends, so a
    // discount changes it there.
    std::optional<BoundRowBatch> m_heads;
    std::optional<BoundRowBatch> m_entries;
    HeadColumns m_h{};
    EntryColumns m_e{};
    std::optional<BoundRowBatch::Row> m_headDefaults;
    // Positions of the fields of the file the writer reads.
    struct HeadFields {
        int kind, date, cancelled, checker, net, tax;
    } m_hf{};
    struct BodyFields {
        int qty, price, priceMode, amount, rate, tax;
    } m_bf{};
    ImportLine m_goods; // the goods line being written, its room reused for the next
    // Per column that is no text column, the last text setText converted for it and its value.
    struct LastText {
        QString text;
        BoundRowBatch::Value bound;
    };
    std::vector<LastText> m_headTexts, m_entryTexts;
};

// "yyyymmdd" of the file as the "yyyy-mm-dd" of the database; false when it is no date.
bool invoiceDateText(const QString& fileDate, QString& out);
