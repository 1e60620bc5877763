// The accounting database's identifier counter: the next internal identifiers of a table.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"
#include <QSqlQuery>
#include <algorithm>

using namespace ConnectionPrivate;

QString Connection::nextInterId(const QString& tableName) {
    switch (m_dialect.interIdSource()) {
    case Dialect::InterIdSource::Procedure: {
        // As on the accounting product's SQL Server: the stored procedure with an output parameter, which
        // must be bound to a value of its size.
        const QString sql = QStringLiteral("{CALL GetICMaxNum(?, ?)}");
        QSqlQuery& q = prepared(sql);
        q.bindValue(0, tableName);
        q.bindValue(1, QVariant(qlonglong(0)), QSql::Out);
        if (!q.exec()) {
            const DbError e = sqlError(q, sql);
            q.finish();
            throw e;
        }
        const QVariant id = q.boundValue(1);
        q.finish();
        if (id.isNull() || id.toLongLong() == 0)
            throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"), QString(), sql);
        return QString::number(id.toLongLong());
    }
    case Dialect::InterIdSource::Function: {
        const RecordsetPtr rs = query(QStringLiteral("select GetICMaxNum(?)"), {tableName});
        if (rs->isEmpty() || rs->value(0).isNull())
            throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
        return QString::number(rs->value(0).toLongLong());
    }
    case Dialect::InterIdSource::CounterTable:
        break;
    }
    // The counter table. Advance first, read afterwards: the write lock is held from here.
    const int n =
        exec(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum+1 where FTableName=?"), {tableName});
    if (n == 0)
        exec(QStringLiteral(
                 "insert into t_ICMaxNum(FTableName,FMaxNum) select ?, coalesce(max(FInterID),0)+1 from ") +
                 tableName,
             {tableName});
    const RecordsetPtr rs =
        query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName=?"), {tableName});
    if (rs->isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("标识计数器不可用。"));
    return QString::number(rs->value(0).toLongLong());
}

QList<qint64> Connection::nextInterIDs(const QString& tableName, int count) {
    QList<qint64> ids;
    if (count <= 0) return ids;
    ids.reserve(count);
    if (m_dialect.server == DbServer::PostgreSQL) {
        // The function is called once per row of the series, through ODBC as well.
        const RecordsetPtr rs =
            query(QStringLiteral("select GetICMaxNum(?) from generate_series(1, cast(? as integer))"),
                  {tableName, count});
        for (const QVariantList& row : rs->allRows()) {
            if (row.value(0).isNull())
                throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
            ids.append(row.value(0).toLongLong());
        }
        if (ids.size() != count) throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    if (m_dialect.interIdSource() == Dialect::InterIdSource::CounterTable) {
        const int n = exec(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum+? where FTableName=?"),
                           {count, tableName});
        if (n == 0)
            exec(QStringLiteral("insert into t_ICMaxNum(FTableName,FMaxNum) select ?, "
                                "coalesce(max(FInterID),0)+? from ") +
                     tableName,
                 {tableName, count});
        const RecordsetPtr rs =
            query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName=?"), {tableName});
        if (rs->isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("标识计数器不可用。"));
        const qint64 last = rs->value(0).toLongLong();
        for (qint64 id = last - count + 1; id <= last; ++id)
            ids.append(id);
        return ids;
    }
    // A stored procedure hands out one at a time.
    for (int i = 0; i < count; ++i)
        ids.append(nextInterId(tableName).toLongLong());
    return ids;
}
