#pragma once
// Stands in for the ADO connection and recordset of the accounting product's platform:
// one database connection opened from an ADO-style connection string, and materialised
// result sets that windows and engines read row by row.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <stdexcept>

class QSqlDatabase;

// The one error type of database and file operations: a number and a description, like the
// platform's Err object.
class Connection;

class DbError : public std::runtime_error {
public:
    DbError(long number, const QString& description);
    long number() const { return m_number; }
    QString description() const { return m_description; }
    // The program's standard report text: "错误编号:" & number & ",错误原因:" & description.
    QString reportText() const;

private:
    long m_number;
    QString m_description;
};

// Error 91, "object not set": a connection or result that is not there.
DbError ObjectNotSetError();
// The connection, or ObjectNotSetError when there is none.
Connection& RequireConnection(Connection* conn);

// Error numbers raised by the program itself.
namespace ErrNo {
constexpr long General = 5;  // invalid procedure call or argument
constexpr long Overflow = 6; // overflow
constexpr long FileNotFound = 53;
constexpr long PastEnd = 62;           // input past end of file
constexpr long Database = -2147217900; // the provider refused a statement
constexpr long Connect = -2147467259;  // the provider could not connect
} // namespace ErrNo

// Type codes of fields, as ADO numbers them (the program's own rules are written against them).
namespace AdoType {
constexpr int SmallInt = 2, Integer = 3, Single = 4, Double = 5, Currency = 6, Boolean = 11,
              UnsignedTinyInt = 17, BigInt = 20, Numeric = 131, Date = 7, DBDate = 133, DBTimeStamp = 135,
              VarChar = 200, VarWChar = 202, LongVarWChar = 203, Binary = 128, LongVarBinary = 205;
} // namespace AdoType

enum class DbKind { SQLite, ODBC, PostgreSQL };

// What differs between the database kinds, kept in one place.
struct Dialect {
    DbKind kind = DbKind::SQLite;
    // "delete * from T" is Access; everybody else says "delete from T".
    QString deleteFrom(const QString& table) const { return QStringLiteral("delete from ") + table; }
    QString boolLiteral(bool b) const;
};

struct FieldInfo {
    QString name;
    int type = AdoType::VarWChar; // ADO type code
};

class Recordset {
public:
    Recordset() = default;
    Recordset(QList<FieldInfo> fields, QList<QVariantList> rows);

    int FieldCount() const { return m_fields.size(); }
    QString FieldName(int i) const { return m_fields.value(i).name; }
    int FieldType(int i) const { return m_fields.value(i).type; }
    int FieldIndex(const QString& name) const; // -1 when missing; case-insensitive
    const QList<FieldInfo>& Fields() const { return m_fields; }

    // Cursor over the rows that pass the filter.
    bool EOF_() const { return m_pos >= m_view.size(); }
    bool BOF() const { return m_pos < 0 || m_view.isEmpty(); }
    bool isEmpty() const { return m_view.isEmpty(); }
    void MoveFirst() { m_pos = 0; }
    void MoveNext() {
        if (m_pos < m_view.size()) ++m_pos;
    }
    void MovePrevious() {
        if (m_pos >= 0) --m_pos;
    }
    void MoveLast() { m_pos = m_view.isEmpty() ? 0 : m_view.size() - 1; }
    int RecordCount() const { return m_view.size(); }
    int AbsolutePosition() const { return m_pos; } // 0-based position within the filtered rows
    void Move(int pos) { m_pos = pos; }

    // Value of the current row; throws DbError at EOF/BOF or for an unknown field.
    QVariant value(const QString& name) const;
    QVariant value(int index) const;
    QVariant operator[](const QString& name) const { return value(name); }
    // Value of a given row of the filtered view (no cursor move).
    QVariant valueAt(int row, int index) const;

    // Client-side filter: only rows whose fields equal the given values (exact, case-sensitive text
    // compare) stay visible. An empty list clears the filter. The cursor goes to the first row.
    void setFilter(const QList<QPair<QString, QVariant>>& equals);
    void setFilter(std::function<bool(const QVariantList&)> predicate);
    void clearFilter();

    const QList<QVariantList>& allRows() const { return m_rows; }

private:
    QList<FieldInfo> m_fields;
    QList<QVariantList> m_rows;
    QList<int> m_view; // indexes into m_rows
    int m_pos = 0;
    const QVariantList& current() const;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

class Connection;
using ConnectionPtr = std::shared_ptr<Connection>;

class Connection {
public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens a connection from "Provider=SQLite;Data Source=/path/file.db", "Provider=ODBC;DSN=…;…" or
    // "Provider=PostgreSQL;Host=…;Port=…;Database=…;User ID=…;Password=…". Throws DbError.
    static ConnectionPtr open(const QString& connectionString, Mode mode = Mode::ReadWrite);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // 1 when open, 0 when closed (ADO's State).
    int State() const;
    void Close();

    const Dialect& dialect() const { return m_dialect; }
    const QString& connectionString() const { return m_connString; }
    bool isReadOnly() const { return m_mode == Mode::ReadOnly; }

    // Runs a statement; values are bound to the "?" placeholders in order. Returns the rows affected.
    // Throws DbError.
    int Execute(const QString& sql, const QVariantList& params = {});
    // Runs a query and materialises its result. Throws DbError.
    RecordsetPtr Query(const QString& sql, const QVariantList& params = {});
    // Runs a query and calls onRow for each row without keeping the rows (large exports).
    void ForEachRow(const QString& sql, const QVariantList& params,
                    const std::function<void(const QList<FieldInfo>&)>& onColumns,
                    const std::function<void(const QVariantList&)>& onRow);

    // Columns of a table in table order with their ADO types.
    QList<FieldInfo> TableColumns(const QString& table);

    // Transactions. Immediate: take the write lock at the start and wait for it (SQLite).
    void BeginTrans(bool immediate = false);
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const { return m_inTrans; }

    // The accounting database's identifier counter (GetICMaxNum): the next internal identifier of a
    // table. Advances the counter first and reads it afterwards, so the row lock serialises callers.
    QString NextInterID(const QString& tableName);

    QSqlDatabase database() const;

private:
    Connection() = default;
    QString m_name;
    QString m_connString;
    Dialect m_dialect;
    Mode m_mode = Mode::ReadWrite;
    bool m_inTrans = false;
    // Column lists per table: an import asks for them once per row.
    QHash<QString, QList<FieldInfo>> m_columns;
    // Prepared write statements, reused: an import runs the same few statements thousands of times.
    struct Prepared;
    QHash<QString, std::shared_ptr<Prepared>> m_prepared;
};

// Rolls back on destruction unless committed.
class TransactionGuard {
public:
    explicit TransactionGuard(Connection& conn, bool immediate = false);
    ~TransactionGuard();
    void commit();
    void rollback();
    bool active() const { return m_active; }

private:
    Connection& m_conn;
    bool m_active = false;
};

// Parses "key=value;key=value" (keys case-insensitive) into a list of pairs, in order.
QList<QPair<QString, QString>> ParseConnectionString(const QString& text);
QString ConnectionStringValue(const QString& text, const QString& key);

// Runs a script of statements separated by ";" (outside quotes and "--" comments) in one transaction.
void RunSqlScript(Connection& conn, const QString& scriptText);
void RunSqlScriptFile(Connection& conn, const QString& path);
