// Small database procedures: queries that report their failure, values as a column takes them, the
// INSERT of a record, the period of a day.
#include "common/DbProcedures.h"

#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Values.h"
#include <cmath>
#include <cstdlib>

QVariant bindNumber(int fieldType, double value) {
    if (isNumericAdoType(fieldType)) {
        if (isIntegerAdoTypeCode(fieldType) && value == std::floor(value) && std::fabs(value) < 9e15)
            return QVariant(qlonglong(value));
        return QVariant(value);
    }
    return sqlBindValue(fieldType, QVariant(value));
}

RecordsetPtr openRs(Connection* conn, const QString& sql, const QVariantList& params) {
    if (!conn) {
        showMsg(QStringLiteral("对象变量未设置：连接不存在。"));
        return nullptr;
    }
    try {
        return conn->query(sql, params);
    } catch (const DbError& e) {
        showMsg(e.description());
        reportCause(QStringLiteral("OpenRs"), e);
        return nullptr;
    }
}

QVariant getFieldValue(Connection* conn, const QString& sql, int fieldIndex, const QVariant& def,
                       const QVariantList& params) {
    const RecordsetPtr rs = openRs(conn, sql, params);
    if (!rs) throw objectNotSetError();
    if (rs->atEnd()) return {};
    return nullToValue(rs->value(fieldIndex), def);
}

bool testSql(const QString& sql, Connection* conn, const QVariantList& params) {
    if (sql.trimmed().isEmpty() || !conn) return false;
    try {
        conn->query(sql, params);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

bool isNumericAdoType(int t) {
    switch (t) {
    case AdoType::SmallInt:
    case AdoType::Integer:
    case AdoType::Single:
    case AdoType::Double:
    case AdoType::Currency:
    case AdoType::UnsignedTinyInt:
    case AdoType::BigInt:
    case AdoType::Numeric:
        return true;
    default:
        return false;
    }
}

bool isIntegerAdoTypeCode(int t) {
    return t == AdoType::SmallInt || t == AdoType::Integer || t == AdoType::UnsignedTinyInt ||
           t == AdoType::BigInt;
}

static QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return {};
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return numberText(value.toDouble());
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

namespace {
// "yyyy-MM-dd" read by hand: the format parser costs more than the rest of an import's row.
QDate isoDate(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() != 10 || t[4] != u'-' || t[7] != u'-') return {};
    int parts[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, len[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int i = from[p]; i < from[p] + len[p]; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9') return {};
            parts[p] = parts[p] * 10 + (c - u'0');
        }
    return QDate(parts[0], parts[1], parts[2]);
}
} // namespace

QVariant sqlBindValue(int fieldType, const QVariant& value) {
    const int id = value.typeId();
    if ((id == QMetaType::Int || id == QMetaType::LongLong) && !value.isNull() &&
        isNumericAdoType(fieldType) && std::llabs(value.toLongLong()) < 9'000'000'000'000'000LL) {
        // A whole number goes in as it is (the text detour below would give the same).
        if (isIntegerAdoTypeCode(fieldType)) return QVariant(value.toLongLong());
        return QVariant(double(value.toLongLong()));
    }
    const QString s = valueText(value);
    if (isNumericAdoType(fieldType)) {
        double d = 0;
        if (!strictNumber(s, d))
            return isIntegerAdoTypeCode(fieldType) ? QVariant(qlonglong(0)) : QVariant(0.0);
        if (isIntegerAdoTypeCode(fieldType) && d == std::floor(d) && std::fabs(d) < 9e15)
            return QVariant(qlonglong(d));
        return QVariant(d);
    }
    if (fieldType == AdoType::Boolean)
        return QVariant(s.compare(u"True", Qt::CaseInsensitive) == 0 || s == u"1");
    if (fieldType == AdoType::Date || fieldType == AdoType::DBDate || fieldType == AdoType::DBTimeStamp) {
        // A date column of a server takes a date, not a text that looks like one.
        const QDate d = isoDate(s);
        if (d.isValid()) return QVariant(d);
    }
    // An empty text is written as an empty text, not as Null.
    return QVariant(s.isNull() ? QString("") : s);
}

QString sqlValue(int fieldType, const QVariant& value) {
    const QVariant v = sqlBindValue(fieldType, value);
    if (fieldType == AdoType::Boolean) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isNumericAdoType(fieldType)) return valueText(v);
    if (v.typeId() == QMetaType::QDate)
        return u'\'' + v.toDate().toString(QStringLiteral("yyyy-MM-dd")) + u'\'';
    QString s = v.toString();
    s.replace(u'\'', QStringLiteral("''"));
    return u'\'' + s + u'\'';
}

InsertRow insertRowOf(const QList<FieldInfo>& columns, const FieldMap& values) {
    InsertRow row;
    for (const FieldInfo& f : columns) {
        if (!values.contains(f.name)) continue;
        QVariant v = values.get(f.name);
        if (v.typeId() == QMetaType::QString) v = v.toString().trimmed();
        row.columns << f.name;
        row.values << sqlBindValue(f.type, v);
    }
    return row;
}

SqlStatement buildInsertSql(const QString& tableName, const FieldMap* values, Connection& conn) {
    SqlStatement st;
    if (!values) return st;
    InsertRow row = insertRowOf(conn.tableColumns(tableName), *values);
    if (row.columns.isEmpty())
        throw DbError(ErrNo::General, QStringLiteral("表“%1”中没有可写入的字段。").arg(tableName));
    st.sql = QStringLiteral("Insert Into ") + tableName + QStringLiteral(" (") + row.columns.join(u',') +
             QStringLiteral(") values (") + QStringList(row.columns.size(), QStringLiteral("?")).join(u',') +
             u')';
    st.values = std::move(row.values);
    return st;
}

QString fieldNameList(const Recordset* rs) {
    if (!rs) return {};
    QStringList names;
    for (const FieldInfo& f : rs->fields())
        names << f.name;
    return names.join(u',');
}

void closeConnection(const ConnectionPtr& conn) {
    if (conn && conn->state() == 1) conn->close();
}

bool getPeriod(QString& year, QString& period, Connection& acct, const QDate& day) {
    const QString d = day.toString(QStringLiteral("yyyy-MM-dd"));
    const RecordsetPtr rs = acct.query(
        QStringLiteral("select FPeriod,FYear from T_PeriodDate where ?>=FStartDate and ?<=FEndDate"), {d, d});
    if (rs->atEnd()) return false;
    period = nullToText(rs->value(QStringLiteral("FPeriod")), QStringLiteral("1"));
    year = nullToText(rs->value(QStringLiteral("FYear")));
    return true;
}
