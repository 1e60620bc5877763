// The materialised result set, and the ways a query's rows come back: all at once, or one at a time
// to a callback or through a cursor; the ADO types of a result's fields.
#include "common/Recordset.h"

#include "common/ConnectionPrivate.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <optional>

using namespace ConnectionPrivate;

Recordset::Recordset(QList<FieldInfo> fields, QList<QVariantList> rows)
    : m_fields(std::move(fields)), m_rows(std::move(rows)) {
    clearFilter();
}

int Recordset::fieldIndex(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const QVariantList& Recordset::current() const {
    if (m_pos < 0 || m_pos >= m_view.size())
        throw DbError(3021, QStringLiteral("BOF 或 EOF 中有一个是“真”，或者当前记录已被删除。"));
    return m_rows[m_view[m_pos]];
}

QVariant Recordset::value(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0) throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: ") + name);
    return current().value(i);
}

QVariant Recordset::value(int index) const {
    if (index < 0 || index >= m_fields.size())
        throw DbError(3265,
                      QStringLiteral("在对应所需名称或序数的集合中，未找到项目: ") + QString::number(index));
    return current().value(index);
}

QVariant Recordset::valueAt(int row, int index) const {
    if (row < 0 || row >= m_view.size()) return {};
    return m_rows[m_view[row]].value(index);
}

void Recordset::clearFilter() {
    m_view.clear();
    m_view.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_view.append(i);
    m_pos = 0;
}

void Recordset::setFilter(std::function<bool(const QVariantList&)> predicate) {
    m_view.clear();
    for (int i = 0; i < m_rows.size(); ++i)
        if (predicate(m_rows[i])) m_view.append(i);
    m_pos = 0;
}

void Recordset::setFilter(const QList<QPair<QString, QVariant>>& equals) {
    if (equals.isEmpty()) {
        clearFilter();
        return;
    }
    QList<QPair<int, QString>> tests;
    for (const auto& e : equals) {
        const int i = fieldIndex(e.first);
        if (i < 0) throw DbError(3001, QStringLiteral("筛选字段不存在: ") + e.first);
        tests.append({i, e.second.toString()});
    }
    setFilter([tests](const QVariantList& row) {
        for (const auto& t : tests) {
            const QVariant& v = row.value(t.first);
            if (v.isNull() || v.toString() != t.second) return false;
        }
        return true;
    });
}

namespace {

int adoTypeOfMeta(QMetaType::Type t) {
    switch (t) {
    case QMetaType::Bool:
        return AdoType::Boolean;
    case QMetaType::Short:
    case QMetaType::UShort:
        return AdoType::SmallInt;
    case QMetaType::Int:
    case QMetaType::UInt:
        return AdoType::Integer;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return AdoType::BigInt;
    case QMetaType::Float:
        return AdoType::Single;
    case QMetaType::Double:
        return AdoType::Double;
    case QMetaType::QDate:
        return AdoType::DBDate;
    case QMetaType::QDateTime:
        return AdoType::DBTimeStamp;
    case QMetaType::QByteArray:
        return AdoType::LongVarBinary;
    default:
        return AdoType::VarWChar;
    }
}

} // namespace

namespace ConnectionPrivate {

QList<FieldInfo> fieldsOf(const QSqlRecord& rec) {
    QList<FieldInfo> fields;
    fields.reserve(rec.count());
    for (int i = 0; i < rec.count(); ++i)
        fields.append({rec.fieldName(i), adoTypeOfMeta(QMetaType::Type(rec.field(i).metaType().id())),
                       std::max(0, rec.field(i).length())});
    return fields;
}

} // namespace ConnectionPrivate

namespace {
QList<QVariantList> readRows(QSqlQuery& q, int n) {
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(q.value(i));
        rows.append(std::move(row));
    }
    return rows;
}
} // namespace

RecordsetPtr Connection::query(const QString& sql, const QVariantList& params) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    std::optional<QSqlQuery> own;
    QSqlQuery* q = nullptr;
    if (params.isEmpty()) {
        own.emplace(db);
        q = &*own;
        try {
            runQuery(*q, sql, params);
        } catch (const DbError&) {
            recoverReadOnly();
            throw;
        }
    } else {
        q = &prepared(sql);
        for (int i = 0; i < params.size(); ++i)
            q->bindValue(i, bindable(params[i]));
        if (!q->exec()) {
            const DbError e = sqlError(*q, sql);
            q->finish();
            recoverReadOnly();
            throw e;
        }
    }
    const QSqlRecord rec = q->record();
    QList<FieldInfo> fields = fieldsOf(rec);
    QList<QVariantList> rows = readRows(*q, rec.count());
    if (q->lastError().isValid()) {
        const DbError e = sqlError(*q, sql);
        q->finish();
        recoverReadOnly();
        throw e;
    }
    q->finish();
    return std::make_shared<Recordset>(std::move(fields), std::move(rows));
}

void Connection::forEachRow(const QString& sql, const QVariantList& params,
                            const std::function<void(const QList<FieldInfo>&)>& onColumns,
                            const std::function<void(const QVariantList&)>& onRow) {
    // The rows of a cursor, whichever way the connection reads them.
    const std::unique_ptr<Cursor> cursor = openCursor(sql, params);
    if (onColumns) onColumns(cursor->fields());
    for (QVariantList row;;) {
        try {
            if (!cursor->next(row)) return;
        } catch (const DbError&) {
            recoverReadOnly();
            throw;
        }
        onRow(row);
    }
}

namespace {
class QueryCursor : public Connection::Cursor {
public:
    QueryCursor(QSqlDatabase db, const QString& sql) : m_query(db), m_sql(sql) {}
    void start(const QVariantList& params) {
        runQuery(m_query, m_sql, params);
        m_fields = fieldsOf(m_query.record());
    }
    const QList<FieldInfo>& fields() const override { return m_fields; }
    bool next(QVariantList& row) override {
        if (!m_query.next()) {
            if (m_query.lastError().isValid()) throw sqlError(m_query, m_sql);
            return false;
        }
        row.clear();
        for (int i = 0; i < m_fields.size(); ++i)
            row.append(m_query.value(i));
        return true;
    }

private:
    QSqlQuery m_query;
    QString m_sql;
    QList<FieldInfo> m_fields;
};
} // namespace

std::unique_ptr<Connection::Cursor> Connection::openCursor(const QString& sql, const QVariantList& params) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    if (runsDirectly()) return openCursorDirect(sql, params);
    auto cursor = std::make_unique<QueryCursor>(db, sql);
    try {
        cursor->start(params);
    } catch (const DbError&) {
        recoverReadOnly();
        throw;
    }
    return cursor;
}
