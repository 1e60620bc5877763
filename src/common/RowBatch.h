#pragma once
// Rows of one table written many to a statement ("insert … values (…),(…),…"): on a database server
// every statement is a round trip, and an import writes thousands of rows. A row holds a value for each
// column it sets, already of the type its column takes, and writes exactly those columns (as an INSERT
// of the keys of a record would); rows stay in memory, where they may still be changed, until Flush
// writes them. The statements for one set of columns are prepared once per connection. On PostgreSQL the
// rows go with COPY, on SQLite one row a statement through SQLite's own library (no round trips there,
// and Qt SQL's work per value is what costs).

#include "common/Connection.h"
#include <QBitArray>
#include <QHash>
#include <QList>
#include <QString>
#include <vector>

class RowBatch {
public:
    struct Row {
        QVariantList values; // one per column of the table, in table order
        QBitArray set;       // the columns the row writes
    };

    RowBatch(Connection& conn, QString table);

    // The table's columns (read once) and a column's position, found without regard to case; -1 when the
    // table has no such column.
    const QList<FieldInfo>& columns() const { return m_columns; }
    const QString& table() const { return m_table; }
    int column(const QString& name) const;

    // A row that writes no column yet.
    Row emptyRow() const;
    // Sets a column of a row, when the table has it (col >= 0).
    static void set(Row& row, int col, const QVariant& value) {
        if (col < 0) return;
        row.values[col] = value;
        row.set.setBit(col);
    }
    static void set(Row& row, int col, QVariant&& value) {
        if (col < 0) return;
        row.values[col] = std::move(value);
        row.set.setBit(col);
    }

    void add(Row row) { m_rows.append(std::move(row)); }
    int pending() const { return int(m_rows.size()); }
    // The i-th row still in memory, in the order added.
    Row& at(int i) { return m_rows[i]; }
    // The last buffered row whose column col holds value, or nullptr.
    Row* find(int col, const QVariant& value);
    // Writes the buffered rows, those that set the same columns together, each such group in the order its
    // rows were added. Throws DbError.
    void flush();
    void clear() { m_rows.clear(); }

private:
    Connection& m_conn;
    QString m_table;
    QList<FieldInfo> m_columns;
    QHash<QString, int> m_index; // case-folded column name -> position
    QList<Row> m_rows;
};

// RowBatch for rows of bound values (numbers and texts held as such, not in QVariants): what an import
// writes by the ten thousand. On SQLite the values are bound as they are; elsewhere the rows become
// RowBatch's and go its way. The values are those RowBatch would hold, so the rows stored are the same.
class BoundRowBatch {
public:
    using Value = Connection::BoundValue;
    // A value for each column of the table, in table order; the row writes the columns whose value is set.
    using Row = std::vector<Value>;

    BoundRowBatch(Connection& conn, QString table);

    const QList<FieldInfo>& columns() const { return m_plain.columns(); }
    int column(const QString& name) const { return m_plain.column(name); }

    // A row that writes no column yet (the room of a row written before, when there is one).
    Row emptyRow();
    static void set(Row& row, int col, Value value) {
        if (col < 0) return;
        row[size_t(col)] = std::move(value);
    }
    static bool isSet(const Row& row, int col) { return row[size_t(col)].index() != 0; }
    // The value a QVariant holds, as bound: a number, a text or the QVariant itself.
    static Value fromVariant(const QVariant& value);
    static QVariant toVariant(const Value& value);

    void add(Row row) { m_rows.push_back(std::move(row)); }
    int pending() const { return int(m_rows.size()); }
    Row& at(int i) { return m_rows[size_t(i)]; }
    // The last buffered row whose column col holds value, or nullptr.
    Row* find(int col, const Value& value);
    // As RowBatch::Flush. Throws DbError.
    void flush();

private:
    Connection& m_conn;
    RowBatch m_plain;
    std::vector<Row> m_rows;
    std::vector<Row> m_spare; // rows written, emptied, for the rows to come
};
