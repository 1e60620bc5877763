#include "export/ExportLedger.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/RowBatch.h"
#include "common/Values.h"
#include <QDataStream>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {
constexpr int kBatch = 500; // bill numbers to a statement

QString placeholders(qsizetype n) {
    return QStringList(n, QStringLiteral("?")).join(u',');
}

// The sales invoices of a batch, each once (an invoice in pieces or of a merged document stands more often).
QVariantList distinctBills(const QList<ExportDoc>& docs) {
    QVariantList bills;
    QSet<QString> seen;
    for (const ExportDoc& d : docs)
        if (!seen.contains(d.billNo)) {
            seen.insert(d.billNo);
            bills << d.billNo;
        }
    return bills;
}
} // namespace

ExportLedger::ExportLedger(QString linkID, QString file, QString user, bool supersede)
    : m_linkID(std::move(linkID)), m_file(QFileInfo(file).absoluteFilePath().left(255)),
      m_user(std::move(user)), m_supersede(supersede) {}

void ExportLedger::add(const ExportDoc& doc) {
    if (!m_spool.isOpen() && !m_spool.open())
        throw DbError(ErrNo::General, QStringLiteral("无法创建临时文件：%1").arg(m_spool.errorString()));
    QDataStream out(&m_spool);
    // A merged document: a row per member, each under the document's 单据号 with its own share.
    if (doc.members.isEmpty()) {
        out << doc.billNo << doc.docNo << doc.amount << doc.tax << doc.part;
        ++m_documents;
    }
    for (const ExportMember& m : doc.members) {
        out << m.billNo << doc.docNo << m.amount << m.tax << doc.part;
        ++m_documents;
    }
    if (out.status() != QDataStream::Ok)
        throw DbError(ErrNo::General, QStringLiteral("写入临时文件失败：%1").arg(m_spool.errorString()));
}

template <typename F> void ExportLedger::forEachBatch(int count, F&& f) {
    if (m_documents == 0) return;
    if (!m_spool.seek(0))
        throw DbError(ErrNo::General, QStringLiteral("读取临时文件失败：%1").arg(m_spool.errorString()));
    QDataStream in(&m_spool);
    QList<ExportDoc> batch;
    for (int i = 0; i < m_documents; ++i) {
        ExportDoc d;
        in >> d.billNo >> d.docNo >> d.amount >> d.tax >> d.part;
        if (in.status() != QDataStream::Ok)
            throw DbError(ErrNo::General, QStringLiteral("读取临时文件失败：%1").arg(m_spool.errorString()));
        batch.append(std::move(d));
        if (batch.size() == count || i + 1 == m_documents) {
            f(batch);
            batch.clear();
        }
    }
}

void ExportLedger::write(Connection& acct) {
    const QString now = Ledger::now();
    // Exported again: the earlier export rows of these invoices are kept, superseded by the new ones, all
    // before the first new row goes in (a piece in the next batch must not supersede its invoice's first).
    // A row that holds a tax invoice is never superseded: the selection left its sale out.
    if (m_supersede)
        forEachBatch(kBatch, [&](const QList<ExportDoc>& docs) {
            const QVariantList params =
                QVariantList{Ledger::Superseded, Ledger::Export, Ledger::Stands} + distinctBills(docs);
            acct.exec(QStringLiteral(
                          "update TF_Ledger set FState=? where FDirection=? and FState=? and (FTaxNumber "
                          "is null or FTaxNumber='') and FBillNo in (") +
                          placeholders(params.size() - 3) + u')',
                      params);
        });
    // A document the platform refused is done with once it goes out again: its rows are kept, superseded,
    // so that the reconciliation shows the new export alone.
    forEachBatch(kBatch, [&](const QList<ExportDoc>& docs) {
        const QVariantList params =
            QVariantList{Ledger::Superseded, Ledger::Export, Ledger::Cancelled, Ledger::issueRefused()} +
            distinctBills(docs);
        acct.exec(QStringLiteral("update TF_Ledger set FState=? where FDirection=? and FState=? and "
                                 "FIssueState=? and FBillNo in (") +
                      placeholders(params.size() - 4) + u')',
                  params);
    });
    RowBatch rows(acct, Ledger::table());
    const auto column = [&rows](const char* name) { return rows.column(QString::fromLatin1(name)); };
    const int direction = column("FDirection"), interID = column("FInterID"), billNo = column("FBillNo"),
              docNo = column("FDocNo"), link = column("FLinkID"), file = column("FFileName"),
              time = column("FTime"), user = column("FUserName"), state = column("FState"),
              amount = column("FAmount"), tax = column("FTax");
    forEachBatch(kBatch, [&](const QList<ExportDoc>& docs) {
        // The sales invoices behind the numbers.
        QHash<QString, QVariant> interIDs;
        const QVariantList bills = distinctBills(docs);
        const RecordsetPtr rs =
            acct.query(QStringLiteral("select FBillNo,FInterID from ICSale where FBillNo in (") +
                           placeholders(bills.size()) + u')',
                       bills);
        for (const QVariantList& row : rs->allRows())
            interIDs.insert(nullToText(row.value(0)), row.value(1));
        // A row per document: an invoice written in pieces has one per piece.
        for (const ExportDoc& d : docs) {
            RowBatch::Row row = rows.emptyRow();
            auto set = [&](int c, const QVariant& value) {
                if (c >= 0) RowBatch::set(row, c, sqlBindValue(rows.columns()[c].type, value));
            };
            set(direction, Ledger::Export);
            set(interID, interIDs.value(d.billNo));
            set(billNo, d.billNo);
            set(docNo, d.docNo);
            set(link, m_linkID.trimmed());
            set(file, d.part > 0
                          ? QFileInfo(m_partFiles.value(d.part - 1, m_file)).absoluteFilePath().left(255)
                          : m_file);
            set(time, now);
            set(user, m_user);
            set(state, Ledger::Stands);
            set(amount, d.amount);
            set(tax, d.tax);
            rows.add(std::move(row));
        }
        rows.flush();
    });
    // A refusal of the rows surfaces here, not with the commit after the file is in place.
    acct.settleCopy();
}
