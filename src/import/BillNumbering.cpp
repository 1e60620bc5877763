#include "BillNumbering.h"

#include "common/modFunction.h"
#include <cmath>

QString FormatRunningNumber(double number, int length) {
    const long long n = std::llround(number);
    QString digits = QString::number(n < 0 ? -n : n);
    if (length > 0 && digits.size() < length) digits = QString(length - digits.size(), u'0') + digits;
    return n < 0 ? u'-' + digits : digits;
}

QString GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText) {
    try {
        if (doUpdate)
            conn.Execute(
                QStringLiteral("update t_billcoderule set fprojectval = fprojectval+1 where fbilltypeid=? "
                               "and fprojectid=3"),
                {billTypeID});
        const RecordsetPtr rs =
            conn.Query(QStringLiteral("select * from t_billcoderule where fbilltypeid=?"), {billTypeID});
        if (rs->isEmpty()) return {};
        QString text = defaultText;
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
            const double kind = LeadingNumber(NullToText(rs->value(QStringLiteral("fprojectid"))));
            if (kind == 1) {
                text = NullToText(rs->value(QStringLiteral("fprojectval"))).trimmed();
            } else if (kind == 3) {
                const double width =
                    std::nearbyint(LeadingNumber(NullToText(rs->value(QStringLiteral("flength")))));
                // A mask that cannot be built gives no number at all.
                if (width < 0 || width > 255) return {};
                const QVariant value = rs->value(QStringLiteral("fprojectval"));
                double number = LeadingNumber(NullToText(value));
                // The row already holds the next number: ours is the one before it. An empty (Null)
                // number stays Null when advanced, so it still reads as 0.
                if (doUpdate && !value.isNull()) number -= 1;
                text += FormatRunningNumber(number, int(width));
            }
        }
        return text;
    } catch (const DbError&) {
        return {};
    }
}

QString GetNewInterID(Connection& conn) {
    return conn.NextInterID(QStringLiteral("ICSALE"));
}
