#pragma once
// Writer of the tax system's sales-document import file (SJJK0101): the first line, then per invoice
// its head line followed by its body lines.

#include "common/Connection.h"
#include "common/Progress.h"
#include "export/DocumentSink.h"
#include <QString>
#include <functional>
#include <optional>

// Delivers the body rows in invoice-number order, without keeping them: onColumns once, then onRow for
// each row. Throws DbError, or ExportRefused when the export must stop with a notice.
using BodyRowSource = std::function<void(const std::function<void(const QList<FieldInfo>&)>& onColumns,
                                         const std::function<void(const QVariantList&)>& onRow)>;

// A condition under which nothing may be written; its description is shown as a notice (showMsg),
// followed by the database's own words where a failed query is the reason.
class ExportRefused : public DbError {
public:
    explicit ExportRefused(const QString& message, std::optional<DbError> cause = std::nullopt,
                           QString procedure = QStringLiteral("GetRs"))
        : DbError(ErrNo::General, message), m_cause(std::move(cause)), m_procedure(std::move(procedure)) {}
    const std::optional<DbError>& failedQuery() const { return m_cause; }
    // Where the cause arose, for the failure log.
    const QString& procedure() const { return m_procedure; }

private:
    std::optional<DbError> m_cause;
    QString m_procedure;
};

// The body rows of a materialised recordset (tests, small exports).
BodyRowSource bodyRowsOf(const Recordset& body);
// The rows of a materialised recordset as a cursor (tests, small exports).
std::unique_ptr<Connection::Cursor> cursorOf(const Recordset& rows);

// A sales invoice's share of a merged document.
struct ExportMember {
    QString billNo;
    double amount = 0, tax = 0;
};

// Where the writer finds what it needs of an invoice beyond FbillNo and RowsCount (columns of the head and
// body results, -1 when the link maps no such field), and the tax system's limits of one invoice.
struct ExportLayout {
    int headDocNo = -1;    // 单据号
    int headCustomer = -1; // 购方名称
    int headListName = -1; // 清单行商品名称
    int bodyAmount = -1;   // 不含税金额
    int bodyTax = -1;      // 税额
    int bodyDiscount = -1; // 折扣金额: a discounted line counts as two lines of the invoice
    int maxLines = 0;      // lines per invoice, 0 none
    double maxAmount = 0;  // amount excluding tax per invoice, 0 none
    bool useList = false;  // over the line limit: one invoice with a sales list instead of pieces
    bool dryRun = false;   // everything but the file: what would be written
    // Told of every line read (of totalLines, the lines of all heads); a request to stop leaves no file
    // behind.
    ProgressSink* progress = nullptr;
    qint64 totalLines = 0;
    // Called once every document has been written, before the file replaces the target: what the export
    // records of its documents goes in here, and a failure (thrown) leaves the target as it was.
    std::function<void()> beforeCommit;

    // Another format than the text file: the documents go to the sink instead, their values under the
    // tax field of each head column after RowsCount and each body column after FbillNo.
    DocumentSink* sink = nullptr;
    QStringList headNames, bodyNames;
    QString invoiceKind; // the link's kind of invoice, for the sink (SinkDocument::invoiceKind)
    // For merged documents: the members' shares of the lines (indexes into the document's lines) of a
    // document or piece; empty for a document of one sales invoice.
    std::function<QList<ExportMember>(const QString& docKey, const QList<int>& lines)> membersOf;
    // The tax-code catalogue by product number (税收分类编码, 简称, … as DocumentSink names them), the
    // column of the body that holds a line's product number, and the catalogue's version.
    QHash<QString, QHash<QString, QString>> codes;
    int bodyItemNumber = -1;
    QString codeVersion;
    // Where the template gives no product number: the catalogue by the product's name, each name with
    // the numbers of the products that carry it (two products of one name cannot be told apart).
    QHash<QString, QList<std::pair<QString, QHash<QString, QString>>>> codesByName;
    // The link reads the catalogue: a line's 零税率标识 and its rate must agree (column of 税率, -1 none).
    bool checkZeroRate = false;
    int bodyRate = -1;
    // The column of 货物名称, and whether it is written as *简称*名称 where the product has a short name.
    int bodyGoodsName = -1;
    bool prefixShortName = false;
    // 备注 (column of the head, -1 none) begins with the document's 单据号 and a space; past remarkLimit
    // (0: none; GBK bytes where remarkLimitInBytes, else characters) the export is refused.
    int headRemark = -1;
    bool docNoInRemark = false;
    int remarkLimit = 0;
    bool remarkLimitInBytes = false;
    // The platform computes each line's tax itself (金额 × 税率, its discount line apart, rounded half up
    // to the cent): the document's tax recorded is that one (where the link maps 税率: bodyRate).
    bool platformTax = false;
};

// The column the body query adds for the product number of a line (read, not written to a text file).
inline QString itemNumberColumn() {
    return QStringLiteral("TF_ItemNumber");
}

// One document of the file: an invoice, or a piece of one that is over a limit ("单据号-1", …).
struct ExportDoc {
    QString billNo; // the sales invoice
    QString docNo;  // its 单据号 in the file
    QString customer;
    int lines = 0;
    double amount = 0, tax = 0;
    // A merged document: the sales invoices in it, in bill-number order, with their shares.
    QList<ExportMember> members;
    QString remark = {}; // 备注 as written, where the link writes the 单据号 into it
    // The sales invoices' own tax where tax is what the platform will compute and differs from it.
    std::optional<double> ownTax = std::nullopt;
    // The file the document is in where the export writes several (DocumentSink::part): 1 for the first of
    // the sink's plannedFiles(); 0 for the export's target.
    int part = 0;
};

// Makes the members' taxes of a merged document add up to tax (cents) where they do not: tax shared out in
// whole cents by each member's amount, the cents left over to the largest remainders (a tie to the earlier
// member).
void shareTax(QList<ExportMember>& members, qint64 tax);

// What the preview says of a document whose tax as the platform computes it differs from the sales
// invoices' own; empty otherwise.
QString platformTaxNote(const ExportDoc& doc);

// The sales-list name a document over the line limit carries instead of being split.
inline QString salesListName() {
    return QStringLiteral("(详见销货清单)");
}

// Writes the file through a temporary file beside filePath that replaces it only when complete; on
// any failure an earlier file at filePath stays as it was. Head gives one row per invoice ordered by
// FbillNo, Body delivers its rows in the same order; neither is kept. An invoice over a limit of layout is
// written as pieces, each within both limits and with its own 单据号 and 商品行数; a single line over the
// amount limit stops the export. onDoc is told of every document as it is written (or, in a dry run, would
// be). True when the file was written; otherwise the failure has been shown.
bool writeTextFile(const QString& filePath, Connection::Cursor& head, const BodyRowSource& body,
                   const QString& sep, const ExportLayout& layout = {},
                   const std::function<void(const ExportDoc&)>& onDoc = {});

// The line of one row: head rows drop RowsCount, write it in place of Frows and write dates as
// YYYYMMDD; body rows drop FbillNo. Throws ExportRefused for a value holding Sep, CR or LF.
QString getTxtLine(const QList<FieldInfo>& fields, const QVariantList& row, const QString& sep, bool isHead);
