#include "RowBatch.h"

#include "modFunction.h"

RowBatch::RowBatch(Connection& conn, QString table)
    : m_conn(conn), m_table(std::move(table)), m_columns(conn.TableColumns(m_table)) {
    for (int i = 0; i < m_columns.size(); ++i)
        m_index.insert(m_columns[i].name.toCaseFolded(), i);
}

int RowBatch::Column(const QString& name) const {
    return m_index.value(name.toCaseFolded(), -1);
}

RowBatch::Row RowBatch::EmptyRow() const {
    Row r;
    r.values.resize(m_columns.size());
    r.set.resize(int(m_columns.size()));
    return r;
}

RowBatch::Row* RowBatch::Find(int col, const QVariant& value) {
    if (col < 0) return nullptr;
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->set.testBit(col) && it->values[col] == value) return &*it;
    return nullptr;
}

void RowBatch::Flush() {
    if (m_rows.isEmpty()) return;
    // Rows that write other columns go into a statement of their own; so does a row that would take the
    // statement past what the server binds.
    const int limit = m_conn.dialect().maxParameters();
    QBitArray groupSet;
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
    for (const Row& row : m_rows) {
        const int count = row.set.count(true);
        if (count == 0)
            throw DbError(ErrNo::General, QStringLiteral("表“%1”中没有可写入的字段。").arg(m_table));
        if (row.set != groupSet || values.size() + count > limit) {
            write();
            if (row.set != groupSet) {
                groupSet = row.set;
                groupColumns.clear();
                for (int c = 0; c < m_columns.size(); ++c)
                    if (groupSet.testBit(c)) groupColumns << m_columns[c].name;
            }
        }
        for (int c = 0; c < m_columns.size(); ++c)
            if (row.set.testBit(c)) values << row.values[c];
        ++rows;
    }
    write();
    m_rows.clear();
}
