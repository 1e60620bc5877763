#pragma once
// Rows of one table written many to a statement ("insert … values (…),(…),…"): on a database server
// every statement is a round trip, and an import writes thousands of rows. Rows stay in memory, where
// they may still be changed, until Flush writes them; each row writes exactly the columns its record
// holds, as BuildInsertSql would.

#include "Connection.h"
#include "FieldMap.h"
#include <QList>
#include <QString>

class RowBatch {
public:
    RowBatch(Connection& conn, QString table);

    void Add(const FieldMap& row);
    int Pending() const { return int(m_rows.size()); }
    // The buffered row whose column key holds value (the last such row), or nullptr.
    FieldMap* Find(const QString& key, const QVariant& value);
    // Writes the buffered rows in the order they were added. Throws DbError.
    void Flush();
    void Clear() { m_rows.clear(); }

private:
    Connection& m_conn;
    QString m_table;
    QList<FieldMap> m_rows;
};
