#include "import/BillNumbering.h"

#include "common/DbProcedures.h"

#include "common/Messages.h"

#include "common/Values.h"
#include <cmath>

QString formatRunningNumber(double number, int length) {
    const long long n = std::llround(number);
    QString digits = QString::number(n < 0 ? -n : n);
    if (length > 0 && digits.size() < length) digits = QString(length - digits.size(), u'0') + digits;
    return n < 0 ? u'-' + digits : digits;
}

void BillNumberRule::load(Connection& conn, qint32 billTypeID) {
    m_billTypeID = billTypeID;
    m_rows.clear();
    m_given = 0;
    const RecordsetPtr rs =
        conn.query(QStringLiteral("select * from t_billcoderule where fbilltypeid=?"), {billTypeID});
    const int valueColumn = rs->fieldIndex(QStringLiteral("fprojectval"));
    m_valueType = rs->fieldType(valueColumn);
    for (rs->first(); !rs->atEnd(); rs->next()) {
        Row r;
        r.kind = leadingNumber(nullToText(rs->value(QStringLiteral("fprojectid"))));
        r.stored = rs->value(valueColumn);
        r.isNull = r.stored.isNull();
        r.prefix = nullToText(r.stored).trimmed();
        r.number = leadingNumber(nullToText(r.stored));
        r.width = int(std::nearbyint(leadingNumber(nullToText(rs->value(QStringLiteral("flength"))))));
        m_rows << r;
    }
}

QString BillNumberRule::next(const QString& defaultText) {
    if (m_rows.isEmpty()) return {};
    QString text = defaultText;
    for (const Row& r : m_rows) {
        if (r.kind == 1) {
            text = r.prefix;
        } else if (r.kind == 3) {
            // A mask that cannot be built gives no number at all.
            if (r.width < 0 || r.width > 255) return {};
            text += formatRunningNumber(r.number, r.width);
        }
    }
    // An empty (Null) number stays Null, as Null+1 would.
    for (Row& r : m_rows)
        if (r.kind == 3 && !r.isNull) r.number += 1;
    ++m_given;
    return text;
}

QStringList BillNumberRule::given() const {
    BillNumberRule start = *this;
    for (Row& r : start.m_rows)
        r.number = leadingNumber(nullToText(r.stored));
    QStringList out;
    for (int i = 0; i < m_given; ++i)
        out << start.next(QString());
    return out;
}

void BillNumberRule::writeBack(Connection& conn) {
    // "fprojectval+1" is no SQL that every server takes for a text column: the value is written back.
    QList<QVariant> done;
    for (const Row& r : m_rows) {
        if (r.kind != 3 || r.isNull || done.contains(r.stored)) continue;
        if (leadingNumber(nullToText(r.stored)) == r.number) continue;
        done << r.stored;
        const QVariant value =
            isNumericAdoType(m_valueType) ? QVariant(r.number) : QVariant(formatRunningNumber(r.number, 0));
        // The rule rows are the import's, locked since it began: a row that changed meanwhile would hand out
        // its numbers twice.
        if (conn.exec(QStringLiteral("update t_billcoderule set fprojectval=? where fbilltypeid=? and "
                                     "fprojectid=3 and fprojectval=?"),
                      {value, m_billTypeID, r.stored}) == 0)
            throw DbError(
                ErrNo::General,
                QStringLiteral("单据类型%1的编码规则在引入期间被改动，发票号无法回写。").arg(m_billTypeID));
    }
}

QString getNewBillId(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText,
                     DbError* failure) {
    try {
        BillNumberRule rule;
        rule.load(conn, billTypeID);
        const QString text = rule.next(defaultText);
        if (doUpdate && !text.isEmpty()) rule.writeBack(conn);
        return text;
    } catch (const DbError& e) {
        if (failure) *failure = e;
        return {};
    }
}

QList<qint64> getNewInterIDs(Connection& conn, int count) {
    return conn.nextInterIDs(QStringLiteral("ICSALE"), count);
}
