#include "import/ImportLedger.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Values.h"

namespace {
Connection& ensured(Connection& acct) {
    Ledger::ensure(acct);
    return acct;
}
QString keyOf(const QString& kind, const QString& number) {
    return kind + QChar(0x1f) + number;
}
} // namespace

ImportLedger::ImportLedger(Connection& acct)
    : m_acct(acct), m_rows(ensured(acct), Ledger::table()), m_startTime(Ledger::now()) {
    m_direction = m_rows.column(QStringLiteral("FDirection"));
    m_kind = m_rows.column(QStringLiteral("FInvoiceKind"));
    m_code = m_rows.column(QStringLiteral("FTaxCode"));
    m_number = m_rows.column(QStringLiteral("FTaxNumber"));
    m_interID = m_rows.column(QStringLiteral("FInterID"));
    m_billNo = m_rows.column(QStringLiteral("FBillNo"));
    m_docNo = m_rows.column(QStringLiteral("FDocNo"));
    m_issueState = m_rows.column(QStringLiteral("FIssueState"));
    m_state = m_rows.column(QStringLiteral("FState"));
    m_file = m_rows.column(QStringLiteral("FFileName"));
    m_time = m_rows.column(QStringLiteral("FTime"));
    m_user = m_rows.column(QStringLiteral("FUserName"));
}

std::optional<ImportLedger::Earlier> ImportLedger::earlierInvoice(const QString& kind, const QString& code,
                                                                  const QString& number) {
    auto it = m_imported.find(code);
    if (it == m_imported.end()) {
        // One code holds a run of numbers: what came in before under it is read once.
        QHash<QString, Earlier> numbers;
        const RecordsetPtr rs = m_acct.query(
            QStringLiteral(
                "select FInvoiceKind,FTaxNumber,FBillNo,FDirection,FInterID,FIssueState from TF_Ledger "
                "where FTaxCode=? order by FDirection desc"),
            {code});
        for (const QVariantList& row : rs->allRows()) {
            const QString key = keyOf(nullToText(row.value(0)), nullToText(row.value(1)));
            Earlier e{row.value(3).toInt(), nullToText(row.value(2)), row.value(4),
                      nullToText(row.value(5)) == Ledger::issueCancelled()};
            // An import row first; of several export rows (the members of one document), any.
            if (!numbers.contains(key)) numbers.insert(key, e);
        }
        it = m_imported.insert(code, numbers);
    }
    const auto found = it->constFind(keyOf(kind, number));
    if (found == it->constEnd()) return std::nullopt;
    return *found;
}

void ImportLedger::cancelImported(const Earlier& earlier, const QString& kind, const QString& code,
                                  const QString& number) {
    int type = AdoType::VarWChar;
    for (const FieldInfo& f : m_acct.tableColumns(QStringLiteral("ICSale")))
        if (f.name.compare(u"FCancellation", Qt::CaseInsensitive) == 0) type = f.type;
    // As the import writes a cancelled invoice.
    m_acct.exec(QStringLiteral("update ICSale set FCancellation=? where FInterID=?"),
                {sqlBindValue(type, QStringLiteral("1")), earlier.interID});
    m_acct.exec(QStringLiteral("update TF_Ledger set FIssueState=? where FDirection=? and FInvoiceKind=? and "
                               "FTaxCode=? and FTaxNumber=?"),
                {Ledger::issueCancelled(), Ledger::Import, kind, code, number});
    m_imported.remove(code);
}

bool ImportLedger::importedHere(const QString& kind, const QString& code, const QString& number) {
    return m_acct
               .query(QStringLiteral("select count(*) from TF_Ledger where FInvoiceKind=? and FTaxCode=? and "
                                     "FTaxNumber=?"),
                      {kind, code, number})
               ->value(0)
               .toLongLong() > 0;
}

void ImportLedger::flush(const QStringList& interIDs) {
    if (m_rows.pending() == 0) return;
    if (interIDs.size() != m_rows.pending())
        throw DbError(ErrNo::General, QStringLiteral("引入记录与发票的数目不一致。"));
    if (m_interID >= 0)
        for (int i = 0; i < m_rows.pending(); ++i)
            BoundRowBatch::set(m_rows.at(i), m_interID,
                               BoundRowBatch::fromVariant(
                                   sqlBindValue(m_rows.columns()[m_interID].type, QVariant(interIDs[i]))));
    m_rows.flush();
}

void ImportLedger::add(const QString& kind, const QString& code, const QString& number, const QString& billNo,
                       const QString& docNo, bool cancelled, const QString& file, const QString& user) {
    BoundRowBatch::Row row = m_rows.emptyRow();
    auto bound = [&](int col, const QString& value) {
        return BoundRowBatch::fromVariant(
            sqlBindValue(m_rows.columns()[col].type, QVariant(value.left(255))));
    };
    auto text = [&](int col, const QString& value) {
        if (col >= 0) BoundRowBatch::set(row, col, bound(col, value));
    };
    auto same = [&](int col, const QString& value, LastText& last) {
        if (col < 0) return;
        if (last.bound.index() == 0 || last.text.isNull() != value.isNull() || last.text != value)
            last = {value, bound(col, value)};
        BoundRowBatch::set(row, col, last.bound);
    };
    BoundRowBatch::set(
        row, m_direction,
        BoundRowBatch::fromVariant(bindNumber(m_rows.columns().value(m_direction).type, Ledger::Import)));
    BoundRowBatch::set(
        row, m_state,
        BoundRowBatch::fromVariant(bindNumber(m_rows.columns().value(m_state).type, Ledger::Stands)));
    text(m_kind, kind);
    text(m_code, code);
    text(m_number, number);
    text(m_interID, QString()); // the column is written by every row alike
    text(m_billNo, billNo);
    text(m_docNo, docNo);
    text(m_issueState, cancelled ? Ledger::issueCancelled() : Ledger::issued());
    same(m_file, file, m_lastFile);
    same(m_time, m_startTime, m_lastTime);
    same(m_user, user, m_lastUser);
    m_rows.add(std::move(row));
}
