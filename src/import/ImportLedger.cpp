#include "ImportLedger.h"

#include "common/Ledger.h"
#include "common/modFunction.h"

namespace {
Connection& Ensured(Connection& acct) {
    Ledger::Ensure(acct);
    return acct;
}
QString Key(const QString& kind, const QString& number) {
    return kind + QChar(0x1f) + number;
}
} // namespace

ImportLedger::ImportLedger(Connection& acct)
    : m_acct(acct), m_rows(Ensured(acct), Ledger::Table()), m_startTime(Ledger::Now()) {
    m_direction = m_rows.Column(QStringLiteral("FDirection"));
    m_kind = m_rows.Column(QStringLiteral("FInvoiceKind"));
    m_code = m_rows.Column(QStringLiteral("FTaxCode"));
    m_number = m_rows.Column(QStringLiteral("FTaxNumber"));
    m_interID = m_rows.Column(QStringLiteral("FInterID"));
    m_billNo = m_rows.Column(QStringLiteral("FBillNo"));
    m_docNo = m_rows.Column(QStringLiteral("FDocNo"));
    m_issueState = m_rows.Column(QStringLiteral("FIssueState"));
    m_state = m_rows.Column(QStringLiteral("FState"));
    m_file = m_rows.Column(QStringLiteral("FFileName"));
    m_time = m_rows.Column(QStringLiteral("FTime"));
    m_user = m_rows.Column(QStringLiteral("FUserName"));
}

std::optional<ImportLedger::Earlier> ImportLedger::EarlierInvoice(const QString& kind, const QString& code,
                                                                  const QString& number) {
    auto it = m_imported.find(code);
    if (it == m_imported.end()) {
        // One code holds a run of numbers: what came in before under it is read once.
        QHash<QString, Earlier> numbers;
        const RecordsetPtr rs = m_acct.Query(
            QStringLiteral(
                "select FInvoiceKind,FTaxNumber,FBillNo,FDirection,FInterID,FIssueState from TF_Ledger "
                "where FTaxCode=? order by FDirection desc"),
            {code});
        for (const QVariantList& row : rs->allRows()) {
            const QString key = Key(NullToText(row.value(0)), NullToText(row.value(1)));
            Earlier e{row.value(3).toInt(), NullToText(row.value(2)), row.value(4),
                      NullToText(row.value(5)) == Ledger::IssueCancelled()};
            // An import row first; of several export rows (the members of one document), any.
            if (!numbers.contains(key)) numbers.insert(key, e);
        }
        it = m_imported.insert(code, numbers);
    }
    const auto found = it->constFind(Key(kind, number));
    if (found == it->constEnd()) return std::nullopt;
    return *found;
}

void ImportLedger::CancelImported(const Earlier& earlier, const QString& kind, const QString& code,
                                  const QString& number) {
    int type = AdoType::VarWChar;
    for (const FieldInfo& f : m_acct.TableColumns(QStringLiteral("ICSale")))
        if (f.name.compare(u"FCancellation", Qt::CaseInsensitive) == 0) type = f.type;
    // As the import writes a cancelled invoice.
    m_acct.Execute(QStringLiteral("update ICSale set FCancellation=? where FInterID=?"),
                   {SqlBindValue(type, QStringLiteral("1")), earlier.interID});
    m_acct.Execute(
        QStringLiteral("update TF_Ledger set FIssueState=? where FDirection=? and FInvoiceKind=? and "
                       "FTaxCode=? and FTaxNumber=?"),
        {Ledger::IssueCancelled(), Ledger::Import, kind, code, number});
    m_imported.remove(code);
}

bool ImportLedger::ImportedHere(const QString& kind, const QString& code, const QString& number) {
    return m_acct
               .Query(QStringLiteral("select count(*) from TF_Ledger where FInvoiceKind=? and FTaxCode=? and "
                                     "FTaxNumber=?"),
                      {kind, code, number})
               ->value(0)
               .toLongLong() > 0;
}

void ImportLedger::Flush(const QStringList& interIDs) {
    if (m_rows.Pending() == 0) return;
    if (interIDs.size() != m_rows.Pending())
        throw DbError(ErrNo::General, QStringLiteral("引入记录与发票的数目不一致。"));
    if (m_interID >= 0)
        for (int i = 0; i < m_rows.Pending(); ++i)
            BoundRowBatch::Set(m_rows.At(i), m_interID,
                               BoundRowBatch::FromVariant(
                                   SqlBindValue(m_rows.Columns()[m_interID].type, QVariant(interIDs[i]))));
    m_rows.Flush();
}

void ImportLedger::Add(const QString& kind, const QString& code, const QString& number, const QString& billNo,
                       const QString& docNo, bool cancelled, const QString& file, const QString& user) {
    BoundRowBatch::Row row = m_rows.EmptyRow();
    auto bound = [&](int col, const QString& value) {
        return BoundRowBatch::FromVariant(
            SqlBindValue(m_rows.Columns()[col].type, QVariant(value.left(255))));
    };
    auto text = [&](int col, const QString& value) {
        if (col >= 0) BoundRowBatch::Set(row, col, bound(col, value));
    };
    auto same = [&](int col, const QString& value, LastText& last) {
        if (col < 0) return;
        if (last.bound.index() == 0 || last.text.isNull() != value.isNull() || last.text != value)
            last = {value, bound(col, value)};
        BoundRowBatch::Set(row, col, last.bound);
    };
    BoundRowBatch::Set(
        row, m_direction,
        BoundRowBatch::FromVariant(BindNumber(m_rows.Columns().value(m_direction).type, Ledger::Import)));
    BoundRowBatch::Set(
        row, m_state,
        BoundRowBatch::FromVariant(BindNumber(m_rows.Columns().value(m_state).type, Ledger::Stands)));
    text(m_kind, kind);
    text(m_code, code);
    text(m_number, number);
    text(m_interID, QString()); // the column is written by every row alike
    text(m_billNo, billNo);
    text(m_docNo, docNo);
    text(m_issueState, cancelled ? Ledger::IssueCancelled() : Ledger::Issued());
    same(m_file, file, m_lastFile);
    same(m_time, m_startTime, m_lastTime);
    same(m_user, user, m_lastUser);
    m_rows.Add(std::move(row));
}
