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
#include <variant>

#include "Dialect.h"

class QSqlDatabase;

class Connection;

// The one error type of database and file operations: a number and a description, like the
// platform's Err object. A failure of the database also keeps what the database itself said and the
// statement it refused (values shown as "?"), so that a report can name the cause.
class DbError : public std::runtime_error {
public:
    DbError(long number, const QString& description);
    DbError(long number, const QString& description, const QString& cause, const QString& statement,
            const QString& sqlState = {});
    long number() const { return m_number; }
    QString description() const { return m_description; }
    // The database's own text (empty when the error is the program's own).
    QString cause() const { return m_cause; }
    QString statement() const { return m_statement; }
    QString sqlState() const { return m_sqlState; }
    // A deadlock or a serialisation failure: the work was rolled back by the server and may be retried.
    bool isConcurrencyFailure() const;
    // The program's standard report text: "错误编号:" & number & ",错误原因:" & description.
    QString reportText() const;
    // The cause and the statement in one line, for the log and the batch tool's 详细信息 line.
    QString detailText() const;

private:
    long m_number;
    QString m_description;
    QString m_cause;
    QString m_statement;
    QString m_sqlState;
};

// Why a server refused a connection, in the user's words ("密码错误", "数据库不存在", "用户不存在",
// "无法连接到服务器"), from the driver's text; empty when the text is none of these.
QString ConnectFailureReason(const QString& driverText);

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

struct FieldInfo {
    QString name;
    int type = AdoType::VarWChar; // ADO type code
    int length = 0;               // characters a text column holds, as the database declares it; 0 unknown
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

class QSqlQuery;

class Connection {
public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens a connection from "Provider=SQLite;Data Source=/path/file.db", "Provider=ODBC;DSN=…;…",
    // "Provider=ODBC;Driver={…};Server=…;…" or "Provider=PostgreSQL;Host=…;Port=…;Database=…;User
    // ID=…;Password=…" (Host may be a socket folder). Throws DbError.
    // A read-only connection runs everything inside one transaction that is never committed (and, where
    // the database has one, a read-only transaction): whatever a user's SQL tries to change is undone.
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
    // Runs a query and hands out its rows one at a time, without keeping them; another query may run on the
    // connection meanwhile where the database allows it. Throws DbError.
    class Cursor {
    public:
        virtual ~Cursor() = default;
        virtual const QList<FieldInfo>& fields() const = 0;
        // The next row into row; false at the end. Throws DbError.
        virtual bool next(QVariantList& row) = 0;
    };
    std::unique_ptr<Cursor> OpenCursor(const QString& sql, const QVariantList& params = {});
    // Runs a query and calls onRow for each row without keeping the rows (large exports).
    void ForEachRow(const QString& sql, const QVariantList& params,
                    const std::function<void(const QList<FieldInfo>&)>& onColumns,
                    const std::function<void(const QVariantList&)>& onRow);

    // Columns of a table in table order with their ADO types.
    QList<FieldInfo> TableColumns(const QString& table);

    // Transactions. Immediate: take the write lock at the start and wait for it (SQLite).
    void BeginTrans(bool immediate = false);
    // Begins a transaction that holds the ledger's lock: an export waits here, up to waitSeconds on an
    // SQLite file (servers wait as long as the lock is held), until another export has written its ledger
    // rows. Throws DbError.
    void BeginLedgerLock(int waitSeconds = 600);
    // Takes the locks an import needs, in one fixed order, before it writes anything: every import on
    // the set waits here for the one before it, so two imports can never deadlock on each other.
    void LockForImport();
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const { return m_inTrans; }

    // The accounting database's identifier counter (GetICMaxNum): the next internal identifier of a
    // table: the function on PostgreSQL, the stored procedure through ODBC, the counter table
    // t_ICMaxNum where neither exists.
    QString NextInterID(const QString& tableName);
    // Whether CopyIn streams rows (a PostgreSQL server through Qt's own driver).
    bool CanCopyIn() const;
    // Rows into a table with COPY, in the connection's transaction: one round trip for any number of rows,
    // where an INSERT has to spell every value out. value(row, column) gives each value as it would be
    // bound to a statement. Throws DbError.
    void CopyIn(const QString& table, const QStringList& columns, qsizetype rowCount,
                const std::function<const QVariant&(qsizetype row, int column)>& value);
    // Whether InsertRows writes through the database's own library (SQLite, through the handle of Qt's
    // driver).
    bool CanInsertDirectly() const;
    // Rows into a table with one statement prepared once per table and columns and run for each row, in
    // the connection's transaction, every value bound as Qt's driver would bind it (the rows stored are
    // the same): Qt SQL's bookkeeping per bound value costs more than SQLite's write. value(row, column)
    // as for CopyIn. Throws DbError.
    void InsertRows(const QString& table, const QStringList& columns, qsizetype rowCount,
                    const std::function<const QVariant&(qsizetype row, int column)>& value);
    // A value as a statement binds it: not set, a whole number, a number, a text (never the null one), or
    // any other value as Qt's driver binds it.
    using BoundValue = std::variant<std::monostate, qint64, double, QString, QVariant>;
    // InsertRows for rows of bound values: column c of row r is values(r)[at[c]], bound exactly as the
    // same value held in a QVariant, without a QVariant for each number and text. Throws DbError.
    void InsertRows(const QString& table, const QStringList& columns, const QList<int>& at,
                    qsizetype rowCount, const std::function<const BoundValue*(qsizetype row)>& values);
    // Takes the outcome of the last CopyIn now rather than with the next statement. Throws its refusal.
    void SettleCopy() { settleCopy(); }
    // The next count identifiers of a table, ascending, as count calls of the counter would hand them out;
    // in one round trip where the database can (on PostgreSQL the function called in a query, the counter
    // table advanced by count). Throws DbError.
    QList<qint64> NextInterIDs(const QString& tableName, int count);

    QSqlDatabase database() const;

private:
    Connection() = default;
    void beginReadOnly();
    // After a failed statement on a read-only connection: a server aborts the whole transaction, so a
    // fresh one is begun for whatever runs next.
    void recoverReadOnly();
    QSqlQuery& prepared(const QString& sql);
    // Takes the outcome of the last CopyIn when it is still out (throws its refusal); dropCopy for
    // a connection that is rolled back or closed anyway.
    void settleCopy();
    void dropCopy() noexcept;
    QString m_name;
    QString m_connString;
    Dialect m_dialect;
    Mode m_mode = Mode::ReadWrite;
    bool m_inTrans = false;
    QString m_copyPending; // the COPY whose outcome has not been read yet
    // Column lists per table: an import asks for them once per row.
    QHash<QString, QList<FieldInfo>> m_columns;
    // Prepared write statements, reused: an import runs the same few statements thousands of times.
    struct Prepared;
    QHash<QString, std::shared_ptr<Prepared>> m_prepared;
    // InsertRows's statements (sqlite3_stmt), finalized before the driver closes the database.
    QHash<QString, void*> m_direct;
    void finalizeDirect() noexcept;
    // InsertRows's statement for the columns, prepared once; sql receives its text.
    void* directStatement(const QString& table, const QStringList& columns, QString& sql);
};

// Rolls back on destruction unless committed.
class TransactionGuard {
public:
    explicit TransactionGuard(Connection& conn, bool immediate = false);
    // Guards a transaction the connection has begun already (BeginLedgerLock).
    struct BegunTag {};
    static constexpr BegunTag Begun{};
    TransactionGuard(Connection& conn, BegunTag) : m_conn(conn), m_active(conn.InTransaction()) {}
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;
    void commit();
    void rollback();
    bool active() const { return m_active; }

private:
    Connection& m_conn;
    bool m_active = false;
};

// Parses "key=value;key=value" (keys case-insensitive) into a list of pairs, in order. A value in braces
// ("Driver={PostgreSQL Unicode}", "PWD={a;b}") is one value, semicolons included; the pairs keep it as
// written, braces and all, so that it can be handed on to ODBC unchanged.
QList<QPair<QString, QString>> ParseConnectionString(const QString& text);
// The value of a key, without the braces it may be written in.
QString ConnectionStringValue(const QString& text, const QString& key);
// The text inside the braces that open at position open ("}}" stands for one brace), or the rest of the
// text when they are never closed; end receives the position after the closing brace.
QString BracedText(const QString& text, int open, int* end = nullptr);
// A value as it is written into a connection string: between braces ("}" doubled) when it holds ";", a
// brace or blanks at either end, which would otherwise end it early or change it; as it is otherwise.
QString quotedConnectionValue(const QString& value);
// The same connection string with every value that is not in braces written as quotedConnectionValue
// writes it: it can then travel between braces (the login text) and be read back whole.
QString normalizedConnectionString(const QString& text);
// The text with every password of a connection string in it (PWD=… or Password=…, in any case, braced
// or not) taken out: what is shown, logged or printed never holds one.
QString hidePasswords(const QString& text);

// Runs a script of statements separated by ";" (outside quotes and "--" comments) in one transaction.
void RunSqlScript(Connection& conn, const QString& scriptText);
void RunSqlScriptFile(Connection& conn, const QString& path);
