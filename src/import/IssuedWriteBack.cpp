#include "import/IssuedWriteBack.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Values.h"
#include <QHash>
#include <algorithm>

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

QString writeBackColumnName(Connection& config) {
    const RecordsetPtr rs =
        config.query(QStringLiteral("select FSQL from t_OtherInfo where Fkey='WriteBackColumn'"));
    return rs->atEnd() ? QStringLiteral("FTaxInvoiceNo") : nullToText(rs->value(0)).trimmed();
}

IssuedWriteBack::IssuedWriteBack(Connection& acct, Connection& config) : m_acct(acct), m_config(config) {}

void IssuedWriteBack::begin() {
    m_touched.clear();
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

IssuedWriteBack::Outcome IssuedWriteBack::apply(const IssuedInvoice& invoice, QString& notice) {
    const QString select = QStringLiteral("select ") + kRowColumns +
                           QStringLiteral(", FTaxCode, FTaxNumber from TF_Ledger where FDirection=? and "
                                          "FDocNo=? and FState=?");
    const QList<QVariantList> live =
        m_acct.query(select, {Ledger::Export, invoice.docNo, Ledger::Stands})->allRows();
    if (!live.isEmpty()) {
        QString held; // another invoice written back onto the document already
        for (const QVariantList& row : live)
            if (!nullToText(row.value(10)).isEmpty()) {
                const QString code = nullToText(row.value(9));
                held = code.isEmpty() ? nullToText(row.value(10)) : code + u'-' + nullToText(row.value(10));
            }
        if (held.isEmpty()) {
            m_acct.exec(QStringLiteral("update TF_Ledger set FInvoiceKind=?, FTaxCode=?, FTaxNumber=?, "
                                       "FIssueDate=?, FIssuedAmount=?, FIssuedTax=?, FIssueState=?, FState=? "
                                       "where FDirection=? and FDocNo=? and FState=?"),
                        {invoice.kind, invoice.code, invoice.number, invoice.date, invoice.amount,
                         invoice.tax, issueState(invoice),
                         invoice.cancelled ? Ledger::Cancelled : Ledger::Stands, Ledger::Export,
                         invoice.docNo, Ledger::Stands});
            for (const QVariantList& row : live)
                touch(row.value(0));
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
    // The document's tax invoice was cancelled and it was not exported again since: the invoice issued
    // anew from it belongs to its last export.
    QList<QVariantList> cancelled = m_acct
                                        .query(select + QStringLiteral(" order by FTime desc"),
                                               {Ledger::Export, invoice.docNo, Ledger::Cancelled})
                                        ->allRows();
    if (cancelled.isEmpty()) return Outcome::NotOurs;
    const QVariant newest = cancelled.first().value(4);
    cancelled.erase(std::remove_if(cancelled.begin(), cancelled.end(),
                                   [&newest](const QVariantList& row) { return row.value(4) != newest; }),
                    cancelled.end());
    // One row per member and piece, however often it was cancelled.
    QList<QVariantList> rows;
    QSet<QString> seen;
    for (const QVariantList& row : cancelled)
        if (!seen.contains(nullToText(row.value(1)))) {
            seen.insert(nullToText(row.value(1)));
            rows.append(row);
        }
    insertCopies(rows, invoice);
    return Outcome::Written;
}

void IssuedWriteBack::insertCopies(const QList<QVariantList>& rows, const IssuedInvoice& invoice) {
    for (const QVariantList& row : rows) {
        QVariantList values = row.mid(0, 9);
        values << Ledger::Export << invoice.kind << invoice.code << invoice.number
               << (invoice.cancelled ? Ledger::Cancelled : Ledger::Stands) << issueState(invoice)
               << invoice.date << invoice.amount << invoice.tax;
        m_acct.exec(
            QStringLiteral("insert into TF_Ledger (") + kRowColumns +
                QStringLiteral(", FDirection, FInvoiceKind, FTaxCode, FTaxNumber, FState, FIssueState, "
                               "FIssueDate, FIssuedAmount, FIssuedTax) values (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                               "?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            values);
        touch(row.value(0));
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
    m_acct.exec(
        QStringLiteral("update TF_Ledger set FState=? where FDirection=? and FInvoiceKind=? and "
                       "FTaxCode=? and FTaxNumber=? and FState=?"),
        {Ledger::Cancelled, Ledger::Export, invoice.kind, invoice.code, invoice.number, Ledger::Stands});
    return true;
}

bool IssuedWriteBack::markIssueState(const QString& code, const QString& number, const QString& state,
                                     bool exportable) {
    const QString where =
        QStringLiteral(" where FDirection=? and coalesce(FTaxCode,'')=? and FTaxNumber=? and FState=?");
    const QVariantList key{Ledger::Export, code.isNull() ? QStringLiteral("") : code, number, Ledger::Stands};
    const RecordsetPtr rs = m_acct.query(QStringLiteral("select FInterID from TF_Ledger") + where, key);
    if (rs->atEnd()) return false;
    for (const QVariantList& row : rs->allRows())
        touch(row.value(0));
    m_acct.exec(QStringLiteral("update TF_Ledger set FIssueState=?, FState=?") + where,
                QVariantList{state, exportable ? Ledger::Cancelled : Ledger::Stands} + key);
    return true;
}

bool IssuedWriteBack::finish(QString& notice) {
    if (m_column.isEmpty() || m_touched.isEmpty()) return true;
    QList<qlonglong> ids(m_touched.begin(), m_touched.end());
    std::sort(ids.begin(), ids.end());
    // The ledger rows of the touched invoices, read a batch of invoices to a statement rather than one each.
    QHash<qlonglong, QList<QVariantList>> rowsOf;
    const int batch = std::max(1, std::min(500, m_acct.dialect().maxParameters() - 2));
    for (qsizetype at = 0; at < ids.size(); at += batch) {
        const QList<qlonglong> part = ids.mid(at, batch);
        QVariantList params{Ledger::Export, Ledger::Stands};
        for (qlonglong id : part)
            params << id;
        const RecordsetPtr rs = m_acct.query(
            QStringLiteral("select FDocNo, FTaxCode, FTaxNumber, FBillNo, FInterID from TF_Ledger where "
                           "FDirection=? and FState=? and FTaxNumber is not null and FTaxNumber<>'' and "
                           "FInterID in (") +
                QStringList(part.size(), QStringLiteral("?")).join(u',') + u')',
            params);
        for (const QVariantList& row : rs->allRows())
            rowsOf[row.value(4).toLongLong()].append(row);
    }
    for (qlonglong id : ids) {
        // The numbers of the tax invoices that stand for the sales invoice, piece by piece.
        QList<std::pair<QString, QString>> numbers; // document, number
        QString billNo;
        for (const QVariantList& row : std::as_const(rowsOf[id])) {
            const QString code = nullToText(row.value(1));
            const QString number =
                code.isEmpty() ? nullToText(row.value(2)) : code + u'-' + nullToText(row.value(2));
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
