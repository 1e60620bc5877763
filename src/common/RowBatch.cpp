#include "RowBatch.h"

#include "modFunction.h"

RowBatch::RowBatch(Connection& conn, QString table) : m_conn(conn), m_table(std::move(table)) {}

void RowBatch::Add(const FieldMap& row) {
    m_rows.append(row);
}

FieldMap* RowBatch::Find(const QString& key, const QVariant& value) {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->Get(key) == value) return &*it;
    return nullptr;
}

void RowBatch::Flush() {
    if (m_rows.isEmpty()) return;
    const QList<FieldInfo> columns = m_conn.TableColumns(m_table);
    QStringList groupColumns;
    QVariantList values;
    int rows = 0;
    auto write = [&] {
        if (rows == 0) return;
        const QString one = u'(' + QStringList(groupColumns.size(), QStringLiteral("?")).join(u',') + u')';
        m_conn.Execute(QStringLiteral("Insert Into ") + m_table + QStringLiteral(" (") +
                           groupColumns.join(u',') + QStringLiteral(") values ") +
                           QStringList(rows, one).join(u','),
                       values);
        values.clear();
        rows = 0;
    };
    for (const FieldMap& record : m_rows) {
        InsertRow row = InsertRowOf(columns, record);
        if (row.columns.isEmpty())
            throw DbError(ErrNo::General, QStringLiteral("表“%1”中没有可写入的字段。").arg(m_table));
        // Rows that write other columns go into a statement of their own; so does a row that would take
        // the statement past what the server binds.
        const int limit = m_conn.dialect().maxParameters();
        if (row.columns != groupColumns || values.size() + row.values.size() > limit) {
            write();
            groupColumns = row.columns;
        }
        values += row.values;
        ++rows;
    }
    write();
    m_rows.clear();
}
