#include "BillNumbering.h"

#include "common/modFunction.h"
#include <cmath>

QString FormatRunningNumber(double number, int length) {
    const long long n = std::llround(number);
    QString digits = QString::number(n < 0 ? -n : n);
    if (length > 0 && digits.size() < length) digits = QString(length - digits.size(), u'0') + digits;
    return n < 0 ? u'-' + digits : digits;
}

void BillNumberRule::Load(Connection& conn, qint32 billTypeID) {
    m_billTypeID = billTypeID;
    m_rows.clear();
    const RecordsetPtr rs =
        conn.Query(QStringLiteral("select * from t_billcoderule where fbilltypeid=?"), {billTypeID});
    const int valueColumn = rs->FieldIndex(QStringLiteral("fprojectval"));
    m_valueType = rs->FieldType(valueColumn);
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        Row r;
        r.kind = LeadingNumber(NullToText(rs->value(QStringLiteral("fprojectid"))));
        r.stored = rs->value(valueColumn);
        r.isNull = r.stored.isNull();
        r.prefix = NullToText(r.stored).trimmed();
        r.number = LeadingNumber(NullToText(r.stored));
        r.width = int(std::nearbyint(LeadingNumber(NullToText(rs->value(QStringLiteral("flength"))))));
        m_rows << r;
    }
}

QString BillNumberRule::Next(const QString& defaultText) {
    if (m_rows.isEmpty()) return {};
    QString text = defaultText;
    for (const Row& r : m_rows) {
        if (r.kind == 1) {
            text = r.prefix;
        } else if (r.kind == 3) {
            // A mask that cannot be built gives no number at all.
            if (r.width < 0 || r.width > 255) return {};
            text += FormatRunningNumber(r.number, r.width);
        }
    }
    // An empty (Null) number stays Null, as Null+1 would.
    for (Row& r : m_rows)
        if (r.kind == 3 && !r.isNull) r.number += 1;
    return text;
}

void BillNumberRule::WriteBack(Connection& conn) {
    // "fprojectval+1" is no SQL that every server takes for a text column: the value is written back.
    QList<QVariant> done;
    for (const Row& r : m_rows) {
        if (r.kind != 3 || r.isNull || done.contains(r.stored)) continue;
        if (LeadingNumber(NullToText(r.stored)) == r.number) continue;
        done << r.stored;
        const QVariant value =
            IsNumericAdoType(m_valueType) ? QVariant(r.number) : QVariant(FormatRunningNumber(r.number, 0));
        // The rule rows are the import's, locked since it began: a row that changed meanwhile would hand out
        // its numbers twice.
        if (conn.Execute(QStringLiteral("update t_billcoderule set fprojectval=? where fbilltypeid=? and "
                                        "fprojectid=3 and fprojectval=?"),
                         {value, m_billTypeID, r.stored}) == 0)
            throw DbError(
                ErrNo::General,
                QStringLiteral("单据类型%1的编码规则在引入期间被改动，发票号无法回写。").arg(m_billTypeID));
    }
}

QString GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText,
                     DbError* failure) {
    try {
        BillNumberRule rule;
        rule.Load(conn, billTypeID);
        const QString text = rule.Next(defaultText);
        if (doUpdate && !text.isEmpty()) rule.WriteBack(conn);
        return text;
    } catch (const DbError& e) {
        if (failure) *failure = e;
        return {};
    }
}

QList<qint64> GetNewInterIDs(Connection& conn, int count) {
    return conn.NextInterIDs(QStringLiteral("ICSALE"), count);
}
