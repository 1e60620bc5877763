#include "BillNumbering.h"

#include "common/modFunction.h"
#include <cmath>

QString FormatRunningNumber(double number, int length) {
    const long long n = std::llround(number);
    QString digits = QString::number(n < 0 ? -n : n);
    if (length > 0 && digits.size() < length) digits = QString(length - digits.size(), u'0') + digits;
    return n < 0 ? u'-' + digits : digits;
}

QString GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText,
                     DbError* failure) {
    try {
        const RecordsetPtr rs =
            conn.Query(QStringLiteral("select * from t_billcoderule where fbilltypeid=?"), {billTypeID});
        if (rs->isEmpty()) return {};
        const int valueColumn = rs->FieldIndex(QStringLiteral("fprojectval"));
        QString text = defaultText;
        QList<QVariant> running; // the running numbers as read, each advanced once
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
                text += FormatRunningNumber(LeadingNumber(NullToText(value)), int(width));
                if (!value.isNull() && !running.contains(value)) running << value;
            }
        }
        if (doUpdate) {
            // Read, then written back: "fprojectval+1" is no SQL that every server takes for a text
            // column. An empty (Null) number stays Null, as Null+1 would.
            const int type = rs->FieldType(valueColumn);
            for (const QVariant& value : running) {
                const double next = LeadingNumber(NullToText(value)) + 1;
                const QVariant stored =
                    IsNumericAdoType(type) ? QVariant(next) : QVariant(FormatRunningNumber(next, 0));
                conn.Execute(QStringLiteral("update t_billcoderule set fprojectval=? where fbilltypeid=? and "
                                            "fprojectid=3 and fprojectval=?"),
                             {stored, billTypeID, value});
            }
        }
        return text;
    } catch (const DbError& e) {
        if (failure) *failure = e;
        return {};
    }
}

QString GetNewInterID(Connection& conn) {
    return conn.NextInterID(QStringLiteral("ICSALE"));
}
