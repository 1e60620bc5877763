#pragma once
// The import's part of the ledger (TF_Ledger): which invoices of the tax system came in before, and the
// rows that record this import's, written in its transaction.

#include "common/Connection.h"
#include "common/RowBatch.h"
#include <QHash>
#include <QString>
#include <optional>

class ImportLedger {
public:
    // Creates the ledger table when the set has none (outside any transaction). Throws DbError.
    explicit ImportLedger(Connection& acct);

    // What became of an invoice of the tax system that came in before: imported as a sales invoice, or
    // written back onto an exported one.
    struct Earlier {
        int direction = 0;      // Ledger::Import or Ledger::Export
        QString billNo;         // the sales invoice
        QVariant interID;       // its FInterID (imports)
        bool cancelled = false; // it came in cancelled, or its cancellation came since
    };
    std::optional<Earlier> earlierInvoice(const QString& kind, const QString& code, const QString& number);
    // A cancellation of an invoice imported before as a sales invoice: the sales invoice is cancelled
    // (FCancellation 1), its ledger row says so. Throws DbError.
    void cancelImported(const Earlier& earlier, const QString& kind, const QString& code,
                        const QString& number);
    // Whether the invoice is in the ledger already, imported or written back (this import's rows written so
    // far included).
    bool importedHere(const QString& kind, const QString& code, const QString& number);
    // A row of an invoice whose identifier is not known yet; Flush hands the identifiers over.
    // docNo: the 销售单据编号 the tax system gives the invoice (the 单据号 it was issued from).
    void add(const QString& kind, const QString& code, const QString& number, const QString& billNo,
             const QString& docNo, bool cancelled, const QString& file, const QString& user);
    int pending() const { return m_rows.pending(); }
    // Writes the rows in memory, the i-th with interIDs[i] (as many as rows). Throws DbError.
    void flush(const QStringList& interIDs);

private:
    Connection& m_acct;
    BoundRowBatch m_rows;
    // The last text of a column and its bound value: file, time and user are the same for every row.
    struct LastText {
        QString text;
        BoundRowBatch::Value bound;
    };
    LastText m_lastFile, m_lastTime, m_lastUser;
    // Per 类别代码: the invoices that came in before, by kind and number.
    QHash<QString, QHash<QString, Earlier>> m_imported;
    QString m_startTime; // the import's start: one time for the whole file
    int m_direction, m_kind, m_code, m_number, m_interID, m_billNo, m_docNo, m_issueState, m_state, m_file,
        m_time, m_user;
};
