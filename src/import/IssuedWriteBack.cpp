#include "import/IssuedWriteBack.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Values.h"
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>

namespace {
// The export rows' columns a copy keeps, in this order.
const QString kRowColumns =
    QStringLiteral("FInterID, FBillNo, FLinkID, FFileName, FTime, FUserName, FDocNo, FAmount, FTax");

QString issueState(const IssuedInvoice& invoice) {
    return invoice.cancelled ? Ledger::issueCancelled() : Ledger::issued();
}

// "XS0006-2" before "XS0006-10": pieces in their own order.
bool documentOrder(const QString& a, const QString& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}
} // namespace

QString IssuedInvoice::numberText() const {
    return Ledger::numberText(code, number);
}

QString writeBackColumnName(Connection& config) {
    const RecordsetPtr rs =
        config.query(QStringLiteral("select FSQL from t_OtherInfo where Fkey='WriteBackColumn'"));
    return rs->atEnd() ? QStringLiteral("FTaxInvoiceNo") : nullToText(rs->value(0)).trimmed();
}

int OpenDocuments::add(const QString& docNo, qlonglong interID) {
    // Rows come ordered by document: most find the last one added without a lookup.
    int doc = m_docNos.isEmpty() || m_docNos.constLast() != docNo ? -1 : int(m_docNos.size()) - 1;
    if (doc < 0) {
        const auto it = m_adding.constFind(docNo);
        if (it != m_adding.constEnd()) {
            doc = *it;
        } else {
            doc = int(m_docNos.size());
            m_docNos.append(docNo);
            m_adding.insert(docNo, doc);
        }
    }
    m_rows.append({doc, interID});
    return doc;
}

void OpenDocuments::finish() {
    m_adding = {};
    // Each document's rows counted, then placed where its own begin, in the order they came.
    m_idStarts.fill(0, m_docNos.size() + 1);
    for (const auto& row : std::as_const(m_rows))
        ++m_idStarts[row.first + 1];
    for (qsizetype d = 1; d < m_idStarts.size(); ++d)
        m_idStarts[d] += m_idStarts[d - 1];
    QList<int> next = m_idStarts;
    m_ids.resize(m_rows.size());
    for (const auto& [doc, id] : std::as_const(m_rows))
        m_ids[next[doc]++] = id;
    m_rows = {};
    m_sorted.resize(m_docNos.size());
    std::iota(m_sorted.begin(), m_sorted.end(), 0);
    std::sort(m_sorted.begin(), m_sorted.end(), [this](int a, int b) { return m_docNos[a] < m_docNos[b]; });
    m_taken.fill(false, m_docNos.size());
    m_docNos.squeeze();
}

int OpenDocuments::find(QStringView docNo) const {
    const auto it =
        std::lower_bound(m_sorted.cbegin(), m_sorted.cend(), docNo,
                         [this](int doc, QStringView key) { return QStringView(m_docNos[doc]) < key; });
    return it != m_sorted.cend() && m_docNos[*it] == docNo ? *it : -1;
}

bool OpenDocuments::take(int doc) {
    if (m_taken.at(doc)) return false;
    m_taken[doc] = true;
    return true;
}

IssuedWriteBack::IssuedWriteBack(Connection& acct, Connection& config) : m_acct(acct), m_config(config) {}

void IssuedWriteBack::begin() {
    m_touched.clear();
    m_open = {};
    m_openRead = false;
    m_column.clear();
    m_columnLength = 0;
    const QString wanted = writeBackColumnName(m_config);
    if (wanted.isEmpty()) return;
    // The column as the set names it: only a column of ICSale goes into the statement.
    for (const FieldInfo& f : m_acct.tableColumns(QStringLiteral("ICSale")))
        if (f.name.compare(wanted, Qt::CaseInsensitive) == 0) {
            m_column = f.name;
            m_columnLength = f.length;
        }
}

void IssuedWriteBack::touch(const QVariant& interID) {
    bool ok = false;
    const qlonglong id = interID.toLongLong(&ok);
    if (ok) m_touched.insert(id);
}

// An export row as the write-back reads it: the columns a copy keeps, and what it decides by.
struct IssuedWriteBack::ExportRow {
    QVariantList copy; // kRowColumns, in that order
    QVariant interID;
    QString billNo, docNo, time, code, number;
};

QList<IssuedWriteBack::ExportRow> IssuedWriteBack::exportRows(const QString& where,
                                                              const QVariantList& params) {
    const RecordsetPtr rs = m_acct.query(QStringLiteral("select ") + kRowColumns +
                                             QStringLiteral(", FTaxCode, FTaxNumber from TF_Ledger ") + where,
                                         params);
    const int copied = int(kRowColumns.count(u',')) + 1;
    const int interID = rs->fieldIndex(QStringLiteral("FInterID")),
              bill = rs->fieldIndex(QStringLiteral("FBillNo")),
              doc = rs->fieldIndex(QStringLiteral("FDocNo")), time = rs->fieldIndex(QStringLiteral("FTime")),
              code = rs->fieldIndex(QStringLiteral("FTaxCode")),
              number = rs->fieldIndex(QStringLiteral("FTaxNumber"));
    QList<ExportRow> out;
    for (const QVariantList& row : rs->allRows())
        out.append({row.mid(0, copied), row.value(interID), nullToText(row.value(bill)),
                    nullToText(row.value(doc)), nullToText(row.value(time)), nullToText(row.value(code)),
                    nullToText(row.value(number))});
    return out;
}

namespace {
// The document a piece belongs to ("XS0006-2" → "XS0006").
QString documentOf(const QString& docNo) {
    static const QRegularExpression piece(QStringLiteral("-\\d+$"));
    return QString(docNo).remove(piece);
}
} // namespace

void IssuedWriteBack::readOpenDocuments() {
    m_openRead = true;
    // A plain filter: a correlated test here may be planned as a scan per row on a ledger whose
    // statistics are stale. A document that also holds an invoice is caught by the update itself.
    m_acct.forEachRow(
        QStringLiteral("select FDocNo, FInterID from TF_Ledger where FDirection=? and FState=%1 and ")
                .arg(Ledger::Stands) +
            Ledger::withoutInvoice(),
        {Ledger::Export}, nullptr, [this](const QVariantList& row) {
            const QString docNo = nullToText(row.value(0));
            if (!docNo.isEmpty()) m_open.add(docNo, row.value(1).toLongLong());
        });
    m_open.finish();
}

IssuedWriteBack::Outcome IssuedWriteBack::apply(const IssuedInvoice& invoice, QString& notice) {
    m_outAgain.reset();
    if (!m_openRead) readOpenDocuments();
    const QString where = QStringLiteral("where ") + Ledger::documentRows(Ledger::Stands);
    // Only while the rows hold no invoice and no other row of the document holds one: another write-back
    // may have written one meanwhile. The state is named only when it changes: an update that names it
    // rewrites the ledger's two indexes of the state, half of what writing an invoice back costs.
    const auto updateRows = [&] {
        QVariantList params{invoice.kind,   invoice.code, invoice.number,     invoice.date,
                            invoice.amount, invoice.tax,  issueState(invoice)};
        if (invoice.cancelled) params << Ledger::Cancelled;
        params << Ledger::Export << invoice.docNo << Ledger::Export << invoice.docNo;
        return m_acct.exec(
            QStringLiteral("update TF_Ledger set FInvoiceKind=?, FTaxCode=?, FTaxNumber=?, FIssueDate=?, "
                           "FIssuedAmount=?, FIssuedTax=?, FIssueState=?") +
                (invoice.cancelled ? QStringLiteral(", FState=? ") : QStringLiteral(" ")) + where +
                QStringLiteral(" and ") + Ledger::withoutInvoice() +
                QStringLiteral(
                    " and not exists (select 1 from TF_Ledger h where h.FDirection=? and h.FDocNo=? "
                    "and h.FState=%1 and coalesce(h.FTaxNumber,'')<>'')")
                    .arg(Ledger::Stands),
            params);
    };
    // Most invoices of a file go onto an open document: no read of their own.
    if (const int open = m_open.find(invoice.docNo); open >= 0 && m_open.take(open)) {
        const QList<qlonglong> ids = m_open.interIDs(open);
        if (updateRows() > 0) {
            for (qlonglong id : ids)
                m_touched.insert(id);
            return Outcome::Written;
        }
    }
    const QList<ExportRow> live = exportRows(where, {Ledger::Export, invoice.docNo});
    if (!live.isEmpty()) {
        QString held; // another invoice written back onto the document already
        for (const ExportRow& row : live)
            if (!row.number.isEmpty()) held = Ledger::numberText(row.code, row.number);
        if (held.isEmpty()) {
            if (updateRows() == 0) {
                notice = QStringLiteral("发票[%1]的销售单据编号[%2]已由另一次回写写入了发票，未回写!")
                             .arg(invoice.numberText(), invoice.docNo);
                return Outcome::Refused;
            }
            for (const ExportRow& row : live)
                touch(row.interID);
            return Outcome::Written;
        }
        // A cancelled invoice issued from the document before the one it holds: kept beside it.
        if (invoice.cancelled) {
            insertCopies(live, invoice);
            return Outcome::Written;
        }
        notice = QStringLiteral("发票[%1]的销售单据编号[%2]已回写了发票[%3]，一张单据不能回写两张有效的发票!")
                     .arg(invoice.numberText(), invoice.docNo, held);
        return Outcome::Refused;
    }
    // The document's tax invoice was cancelled: the invoice issued anew from it belongs to its last export.
    const QList<ExportRow> cancelled =
        exportRows(QStringLiteral("where ") + Ledger::documentRows(Ledger::Cancelled) +
                       QStringLiteral(" order by FTime desc"),
                   {Ledger::Export, invoice.docNo});
    if (cancelled.isEmpty()) return Outcome::NotOurs;
    const QString newest = cancelled.first().time;
    // One row per member and piece, however often it was cancelled.
    QList<ExportRow> rows;
    QSet<QString> seen;
    for (const ExportRow& row : cancelled)
        if (row.time == newest && !seen.contains(row.billNo)) {
            seen.insert(row.billNo);
            rows.append(row);
        }
    // Only while none of its sales invoices has gone out again since: otherwise the invoice would be a
    // second valid one for that sale.
    if (const std::optional<OutAgain> again = wentOutAgain(rows, invoice.docNo, newest)) {
        m_outAgain = again;
        notice = QStringLiteral("发票[%1]的销售单据编号[%2]已作废，其中的销售发票[%3]已在单据[%4]中另行引出，"
                                "不能回写这张发票!")
                     .arg(invoice.numberText(), invoice.docNo, again->billNo, again->docNo);
        return Outcome::Refused;
    }
    insertCopies(rows, invoice);
    // Issued after all from a document the platform had refused: the refusal is over.
    m_acct.exec(QStringLiteral("update TF_Ledger set FState=? where ") +
                    Ledger::documentRows(Ledger::Cancelled) + QStringLiteral(" and FIssueState=?"),
                {Ledger::Superseded, Ledger::Export, invoice.docNo, Ledger::issueRefused()});
    return Outcome::Written;
}

std::optional<IssuedWriteBack::OutAgain>
IssuedWriteBack::wentOutAgain(const QList<ExportRow>& rows, const QString& docNo, const QString& time) {
    QVariantList params{Ledger::Export};
    for (const ExportRow& row : rows)
        params << row.billNo;
    const RecordsetPtr rs = m_acct.query(
        QStringLiteral(
            "select FBillNo, FDocNo, FTime, FState from TF_Ledger where FDirection=? and FBillNo in (") +
            QStringList(rows.size(), QStringLiteral("?")).join(u',') +
            QStringLiteral(") order by FBillNo, FTime desc, FDocNo"),
        params);
    const QString document = documentOf(docNo);
    for (const QVariantList& row : rs->allRows()) {
        const QString other = nullToText(row.value(1));
        if (other == docNo) continue;
        // Later than the cancelled export, or standing in another document now (an export within the same
        // second is told apart by its document: the pieces of this one are no other).
        const bool later = nullToText(row.value(2)) > time;
        const bool standsElsewhere = row.value(3).toInt() == Ledger::Stands && documentOf(other) != document;
        if (later || standsElsewhere) return OutAgain{nullToText(row.value(0)), other};
    }
    return std::nullopt;
}

void IssuedWriteBack::insertCopies(const QList<ExportRow>& rows, const IssuedInvoice& invoice) {
    for (const ExportRow& row : rows) {
        QVariantList values = row.copy;
        values << Ledger::Export << invoice.kind << invoice.code << invoice.number
               << (invoice.cancelled ? Ledger::Cancelled : Ledger::Stands) << issueState(invoice)
               << invoice.date << invoice.amount << invoice.tax;
        m_acct.exec(
            QStringLiteral("insert into TF_Ledger (") + kRowColumns +
                QStringLiteral(", FDirection, FInvoiceKind, FTaxCode, FTaxNumber, FState, FIssueState, "
                               "FIssueDate, FIssuedAmount, FIssuedTax) values (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                               "?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            values);
        touch(row.interID);
    }
}

bool IssuedWriteBack::cancel(const IssuedInvoice& invoice) {
    const RecordsetPtr rs = m_acct.query(
        QStringLiteral(
            "select FInterID from TF_Ledger where FDirection=? and FInvoiceKind=? and FTaxCode=? and "
            "FTaxNumber=?"),
        {Ledger::Export, invoice.kind, invoice.code, invoice.number});
    if (rs->atEnd()) return false;
    for (const QVariantList& row : rs->allRows())
        touch(row.value(0));
    m_acct.exec(QStringLiteral("update TF_Ledger set FIssueState=? where FDirection=? and FInvoiceKind=? and "
                               "FTaxCode=? and FTaxNumber=?"),
                {Ledger::issueCancelled(), Ledger::Export, invoice.kind, invoice.code, invoice.number});
    m_acct.exec(QStringLiteral("update TF_Ledger set FState=? where FDirection=? and FInvoiceKind=? and "
                               "FTaxCode=? and FTaxNumber=? and FState=%1")
                    .arg(Ledger::Stands),
                {Ledger::Cancelled, Ledger::Export, invoice.kind, invoice.code, invoice.number});
    return true;
}

bool IssuedWriteBack::markIssueState(const QString& code, const QString& number, const QString& state,
                                     bool exportable) {
    const QString where = QStringLiteral(" where ") + Ledger::invoiceRows(Ledger::Stands);
    const QVariantList key{Ledger::Export, code.isNull() ? QStringLiteral("") : code, number};
    const RecordsetPtr rs = m_acct.query(QStringLiteral("select FInterID from TF_Ledger") + where, key);
    if (rs->atEnd()) return false;
    for (const QVariantList& row : rs->allRows())
        touch(row.value(0));
    // The rows stand: their state is named only when it changes (see apply).
    QVariantList values{state};
    if (exportable) values << Ledger::Cancelled;
    m_acct.exec(QStringLiteral("update TF_Ledger set FIssueState=?") +
                    (exportable ? QStringLiteral(", FState=?") : QString()) + where,
                values + key);
    return true;
}

bool IssuedWriteBack::finish(QString& notice) {
    if (m_column.isEmpty() || m_touched.isEmpty()) return true;
    QList<qlonglong> ids(m_touched.begin(), m_touched.end());
    std::sort(ids.begin(), ids.end());
    // The ledger rows of the touched invoices, read a batch of invoices to a statement rather than one each,
    // and each batch written before the next is read: a month's rows are never held at once.
    const int batch = std::max(1, std::min(500, m_acct.dialect().maxParameters() - 1));
    for (qsizetype at = 0; at < ids.size(); at += batch) {
        const QList<qlonglong> part = ids.mid(at, batch);
        QVariantList params{Ledger::Export};
        for (qlonglong id : part)
            params << id;
        QHash<qlonglong, QList<QVariantList>> rowsOf;
        m_acct.forEachRow(
            QStringLiteral("select FDocNo, FTaxCode, FTaxNumber, FBillNo, FInterID from TF_Ledger where ") +
                Ledger::salesRows(Ledger::Stands) + u'(' +
                QStringList(part.size(), QStringLiteral("?")).join(u',') + u')',
            params, nullptr,
            [&rowsOf](const QVariantList& row) { rowsOf[row.value(4).toLongLong()].append(row); });
        if (!writeNumbers(part, rowsOf, notice)) return false;
    }
    return true;
}

// The write-back column of each invoice: the numbers of the tax invoices that stand for it.
bool IssuedWriteBack::writeNumbers(const QList<qlonglong>& ids,
                                   const QHash<qlonglong, QList<QVariantList>>& rowsOf, QString& notice) {
    for (qlonglong id : ids) {
        // The numbers of the tax invoices that stand for the sales invoice, piece by piece.
        QList<std::pair<QString, QString>> numbers; // document, number
        QString billNo;
        for (const QVariantList& row : rowsOf.value(id)) {
            const QString number = Ledger::numberText(nullToText(row.value(1)), nullToText(row.value(2)));
            if (std::none_of(numbers.begin(), numbers.end(),
                             [&](const auto& n) { return n.second == number; }))
                numbers.append({nullToText(row.value(0)), number});
            billNo = nullToText(row.value(3));
        }
        std::sort(numbers.begin(), numbers.end(),
                  [](const auto& a, const auto& b) { return documentOrder(a.first, b.first); });
        QStringList texts;
        for (const auto& n : numbers)
            texts << n.second;
        const QString value = texts.join(u',');
        if (m_columnLength > 0 && value.size() > m_columnLength) {
            notice = QStringLiteral("销售发票[%1]的发票号码“%2”超过回写字段%3的长度%4，引入失败!")
                         .arg(billNo, value, m_column)
                         .arg(m_columnLength);
            return false;
        }
        m_acct.exec(QStringLiteral("update ICSale set %1=? where FInterID=?").arg(m_column), {value, id});
    }
    return true;
}
