#pragma once
// The invoices of one buyer merged into one document before export: one tax invoice for a month of sales
// invoices. Merging needs every head and line of the selection at hand, so a merged export holds them
// while it runs; without merging the export streams as before.

#include "export/ExportWriter.h"
#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>

struct MergeSettings {
    bool mergeLines = false; // lines of the same product, price and rate become one line
    // Head columns (-1 where the link maps none): without a buyer's name nothing is merged.
    int headCustomer = -1, headTaxNumber = -1, headKind = -1, headDocNo = -1, headRemark = -1;
    // Body columns.
    int bodyAmount = -1, bodyTax = -1, bodyDiscount = -1, bodyQuantity = -1, bodyName = -1, bodySpec = -1,
        bodyUnit = -1, bodyPrice = -1, bodyRate = -1, bodyItemNumber = -1;
    // The 备注 of a merged document may hold at most this much (0: no limit), in GBK bytes or characters.
    int remarkLimit = 0;
    bool remarkLimitInBytes = true;
    // Bytes a piece's "-N" may add to a 单据号 (0 when the link has no limits).
    int pieceSuffixBytes = 0;
    // Whether the ledger knows the 单据号 already (a document or one of its pieces, in any state).
    std::function<bool(const QString&)> docNoTaken;
};

// The 单据号 of a merged document: the smallest member's bill number, "+" and the number of the other
// members ("XS0001+2"); where that is taken, "(2)", "(3)", … after it; where it would be longer than the
// tax system's 20 bytes, the bill number loses its first characters.
QString mergedDocNo(const QString& smallestBill, int otherMembers, int pieceSuffixBytes,
                    const std::function<bool(const QString&)>& taken);

class MergedDocuments {
public:
    // Reads every head and line and merges them. Throws ExportRefused (a 备注 past its limit) or DbError.
    MergedDocuments(Connection::Cursor& head, const BodyRowSource& body, const MergeSettings& settings);
    ~MergedDocuments();

    // The documents' heads and lines, in the order and form writeTextFile reads: a merged document stands
    // under its 单据号 in FbillNo.
    Connection::Cursor& heads();
    BodyRowSource lines() const;
    // The members' shares of the lines (indexes into the document's lines) of a merged document; empty
    // for a document that is one sales invoice.
    QList<ExportMember> members(const QString& docKey, const QList<int>& lineIndexes) const;
    int mergedDocuments() const { return m_merged; }
    int memberInvoices() const { return m_members; }

private:
    struct Share {
        QString billNo;
        double amount = 0, tax = 0;
    };
    Recordset m_heads;
    QList<FieldInfo> m_bodyFields;
    QList<QVariantList> m_lines;
    QHash<QString, QList<QList<Share>>> m_shares; // per merged document, per line
    int m_merged = 0, m_members = 0;
    std::unique_ptr<Connection::Cursor> m_headCursor;
};
