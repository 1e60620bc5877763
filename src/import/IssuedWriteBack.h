#pragma once
// The write-back of issued invoices: an invoice the tax system issued from a document this program
// exported (its 销售单据编号 is the document's 单据号) is no new sales invoice. Its kind, code, number, date
// and totals go onto the ledger's export rows of that document, and its code and number into the sales
// invoice's write-back column (t_OtherInfo key WriteBackColumn, factory FTaxInvoiceNo) where the set has it.
// Everything runs on the import's transaction.

#include "common/Connection.h"
#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

// An issued invoice as the write-back sees it.
struct IssuedInvoice {
    QString kind, code, number; // 发票种类, 发票代码 (empty for a fully digital e-invoice), 发票号码
    QString docNo;              // 销售单据编号
    QString date;               // 开票日期, yyyy-MM-dd
    double amount = 0, tax = 0; // 合计金额 (without tax), 合计税额
    bool cancelled = false;     // 作废标志 1
    // "代码-号码", or the number alone without a code.
    QString numberText() const;
};

// The documents whose export rows stand and hold no invoice: each 单据号 with the sales invoices of its
// rows. Held in arrays and found by a sorted index, not as a hash of lists: a month's write-back holds
// 100,000 of them.
class OpenDocuments {
public:
    // A row of a document, its rows in any order: the document's index, which stays what it is.
    int add(const QString& docNo, qlonglong interID);
    // After the last add, before the first find.
    void finish();
    int size() const { return int(m_docNos.size()); }
    // The document's index, or -1.
    int find(QStringView docNo) const;
    const QString& docNo(int doc) const { return m_docNos.at(doc); }
    QList<qlonglong> interIDs(int doc) const {
        return m_ids.mid(m_idStarts.at(doc), m_idStarts.at(doc + 1) - m_idStarts.at(doc));
    }
    // Taken once by the write-back: false when it was taken before.
    bool take(int doc);

private:
    QList<QString> m_docNos;
    QHash<QString, int> m_adding;            // while rows are added
    QList<std::pair<int, qlonglong>> m_rows; // while rows are added
    QList<qlonglong> m_ids;                  // by document
    QList<int> m_idStarts;                   // where each document's begin in m_ids, and the end
    QList<int> m_sorted;                     // the documents by 单据号
    QList<bool> m_taken;
};

class IssuedWriteBack {
public:
    // acct: the import's connection; config: Taxlink.db, which names the write-back column.
    IssuedWriteBack(Connection& acct, Connection& config);

    // At the start of an import, outside its transaction: finds the write-back column. Throws DbError.
    void begin();
    // The documents still open (单据号 → the sales invoices of its rows) as the caller read them with its own
    // columns, after begin(): the write-back then does not read them again.
    void setOpenDocuments(OpenDocuments open) {
        m_open = std::move(open);
        m_openRead = true;
    }
    const OpenDocuments& openDocuments() const { return m_open; }

    enum class Outcome {
        NotOurs, // no document of this set: the invoice is imported as a new sales invoice
        Written, // written back onto the document's export rows
        Refused  // notice says why; the import stops
    };
    // Writes the invoice back onto the export rows of its document. Throws DbError.
    Outcome apply(const IssuedInvoice& invoice, QString& notice);
    // A cancellation of an invoice written back before (its rows hold its number): they are marked
    // cancelled, the sales invoices may go out again. False when no export row holds it. Throws DbError.
    bool cancel(const IssuedInvoice& invoice);
    // A tax invoice written back before (代码 empty for a fully digital one) found flushed red or cancelled
    // later: its export rows get the state (已红冲, 部分红冲, 已作废); exportable marks them cancelled, so
    // the sales invoices may go out again. False when no standing export row holds it. Throws DbError.
    bool markIssueState(const QString& code, const QString& number, const QString& state, bool exportable);
    // Before the commit: the write-back column of every sales invoice written back to. False with notice
    // when a value is longer than the column takes (nothing is cut). Throws DbError.
    bool finish(QString& notice);

    // The column written to (empty when the set has none).
    const QString& column() const { return m_column; }

    // Why apply refused the last invoice where a sales invoice of its cancelled document went out again
    // since: that sales invoice and the document it went out in.
    struct OutAgain {
        QString billNo, docNo;
    };
    const std::optional<OutAgain>& outAgain() const { return m_outAgain; }

private:
    bool writeNumbers(const QList<qlonglong>& ids, const QHash<qlonglong, QList<QVariantList>>& rowsOf,
                      QString& notice);
    struct ExportRow;
    QList<ExportRow> exportRows(const QString& where, const QVariantList& params);
    // A sales invoice of the rows (one export of docNo at time) that went out in another document since.
    std::optional<OutAgain> wentOutAgain(const QList<ExportRow>& rows, const QString& docNo,
                                         const QString& time);
    // Copies of the rows of one export of the document, holding the invoice's numbers.
    void insertCopies(const QList<ExportRow>& rows, const IssuedInvoice& invoice);
    void touch(const QVariant& interID);
    // The documents whose export rows stand and hold no invoice, read once (at the first invoice, inside
    // the write-back's lock): the sales invoices of each.
    void readOpenDocuments();

    Connection& m_acct;
    Connection& m_config;
    QString m_column;
    int m_columnLength = 0;
    QSet<qlonglong> m_touched; // FInterID of the sales invoices written back to
    std::optional<OutAgain> m_outAgain;
    bool m_openRead = false;
    OpenDocuments m_open;
};

// The name of the write-back column in Taxlink.db (t_OtherInfo, key WriteBackColumn); the factory's
// FTaxInvoiceNo when the key is missing, empty when it is set empty. Throws DbError.
QString writeBackColumnName(Connection& config);
