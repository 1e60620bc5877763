#pragma once
// The export's part of the ledger (TF_Ledger): a row per document written, kept aside in a temporary
// file while the export runs (memory stays the same however many documents) and written in the export's
// own transaction, which holds the ledger's lock, just before the file takes the target's place.

#include "common/Connection.h"
#include "export/ExportWriter.h"
#include <QString>
#include <QTemporaryFile>

class ExportLedger {
public:
    // file: the export's file as the ledger records it; supersede: the invoices went out before and
    // their earlier export rows are kept, marked superseded.
    ExportLedger(QString linkID, QString file, QString user, bool supersede);

    // Keeps the document for write(). Throws DbError when the temporary file cannot be written.
    void add(const ExportDoc& doc);
    int documents() const { return m_documents; }
    // The files of an export that writes several, by ExportDoc::part; a document of part 0 is in file.
    void setPartFiles(const QStringList& files) { m_partFiles = files; }
    // Writes a row per document on acct, in its open transaction. Throws DbError.
    void write(Connection& acct);

private:
    // Reads the documents back, count at a time.
    template <typename F> void forEachBatch(int count, F&& f);

    QString m_linkID, m_file, m_user;
    QStringList m_partFiles;
    bool m_supersede;
    QTemporaryFile m_spool;
    int m_documents = 0;
};
