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
#include <variant>

#include "common/ConnectionString.h"
#include "common/DbError.h"
#include "common/Dialect.h"
#include "common/Recordset.h"
#include "common/SqlScript.h"

class QSqlDatabase;

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
    int state() const;
    void close();

    const Dialect& dialect() const { return m_dialect; }
    const QString& connectionString() const { return m_connString; }
    bool isReadOnly() const { return m_mode == Mode::ReadOnly; }

    // Runs a statement; values are bound to the "?" placeholders in order. Returns the rows affected.
    // Throws DbError.
    int exec(const QString& sql, const QVariantList& params = {});
    // Runs a query and materialises its result. Throws DbError.
    RecordsetPtr query(const QString& sql, const QVariantList& params = {});
    // Runs a query and hands out its rows one at a time, without keeping them; another query may run on the
    // connection meanwhile where the database allows it. Throws DbError.
    class Cursor {
    public:
        virtual ~Cursor() = default;
        virtual const QList<FieldInfo>& fields() const = 0;
        // The next row into row; false at the end. Throws DbError.
        virtual bool next(QVariantList& row) = 0;
    };
    std::unique_ptr<Cursor> openCursor(const QString& sql, const QVariantList& params = {});
    // Runs a query and calls onRow for each row without keeping the rows (large exports).
    void forEachRow(const QString& sql, const QVariantList& params,
                    const std::function<void(const QList<FieldInfo>&)>& onColumns,
                    const std::function<void(const QVariantList&)>& onRow);

    // Columns of a table in table order with their ADO types.
    QList<FieldInfo> tableColumns(const QString& table);

    // Transactions. Immediate: take the write lock at the start and wait for it (SQLite).
    void begin(bool immediate = false);
    // Begins a transaction that holds the ledger's lock: an export waits here, up to waitSeconds on an
    // SQLite file (servers wait as long as the lock is held), until another export has written its ledger
    // rows. Throws DbError.
    void beginLedgerLock(int waitSeconds = 600);
    // Takes the locks an import needs, in one fixed order, before it writes anything: every import on
    // the set waits here for the one before it, so two imports can never deadlock on each other.
    void lockForImport();
    // Takes the ledger's lock (as beginLedgerLock does) in the transaction already begun: on a server an
    // export or another write-back waits until this transaction ends. Throws DbError.
    void lockLedger();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTrans; }

    // The accounting database's identifier counter (GetICMaxNum): the next internal identifier of a
    // table: the function on PostgreSQL, the stored procedure through ODBC, the counter table
    // t_ICMaxNum where neither exists.
    QString nextInterId(const QString& tableName);
    // Whether copyIn streams rows (a PostgreSQL server through Qt's own driver).
    bool canCopyIn() const;
    // Rows into a table with COPY, in the connection's transaction: one round trip for any number of rows,
    // where an INSERT has to spell every value out. value(row, column) gives each value as it would be
    // bound to a statement. Throws DbError.
    void copyIn(const QString& table, const QStringList& columns, qsizetype rowCount,
                const std::function<const QVariant&(qsizetype row, int column)>& value);
    // Whether insertRows, exec with values, forEachRow and openCursor run through the database's own
    // library (SQLite, on the handle of Qt's driver), binding and reading every value as Qt's driver does.
    bool runsDirectly() const;
    // Rows into a table with one statement prepared once per table and columns and run for each row, in
    // the connection's transaction, every value bound as Qt's driver would bind it (the rows stored are
    // the same): Qt SQL's bookkeeping per bound value costs more than SQLite's write. value(row, column)
    // as for copyIn. Throws DbError.
    void insertRows(const QString& table, const QStringList& columns, qsizetype rowCount,
                    const std::function<const QVariant&(qsizetype row, int column)>& value);
    // A value as a statement binds it: not set, a whole number, a number, a text (never the null one), or
    // any other value as Qt's driver binds it.
    using BoundValue = std::variant<std::monostate, qint64, double, QString, QVariant>;
    // insertRows for rows of bound values: column c of row r is values(r)[at[c]], bound exactly as the
    // same value held in a QVariant, without a QVariant for each number and text. Throws DbError.
    void insertRows(const QString& table, const QStringList& columns, const QList<int>& at,
                    qsizetype rowCount, const std::function<const BoundValue*(qsizetype row)>& values);
    // Takes the outcome of the last copyIn now rather than with the next statement. Throws its refusal.
    void settleCopy();
    // The next count identifiers of a table, ascending, as count calls of the counter would hand them out;
    // in one round trip where the database can (on PostgreSQL the function called in a query, the counter
    // table advanced by count). Throws DbError.
    QList<qint64> nextInterIDs(const QString& tableName, int count);

    QSqlDatabase database() const;

private:
    Connection() = default;
    void beginReadOnly();
    // After a failed statement on a read-only connection: a server aborts the whole transaction, so a
    // fresh one is begun for whatever runs next.
    void recoverReadOnly();
    QSqlQuery& prepared(const QString& sql);
    // Takes the outcome of the last copyIn when it is still out (throws its refusal); dropCopy for
    // a connection that is rolled back or closed anyway.
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
    // insertRows's statements (sqlite3_stmt), finalized before the driver closes the database.
    QHash<QString, void*> m_direct;
    void finalizeDirect() noexcept;
    // exec and openCursor on an SQLite file (forEachRow reads through openCursor), through SQLite's own
    // library.
    int execDirect(const QString& sql, const QVariantList& params);
    std::unique_ptr<Cursor> openCursorDirect(const QString& sql, const QVariantList& params);
    // insertRows's statement for the columns, prepared once; sql receives its text.
    void* directStatement(const QString& table, const QStringList& columns, QString& sql);
};

// Rolls back on destruction unless committed.
class TransactionGuard {
public:
    explicit TransactionGuard(Connection& conn, bool immediate = false);
    // Guards a transaction the connection has begun already (beginLedgerLock).
    struct BegunTag {};
    static constexpr BegunTag Begun{};
    TransactionGuard(Connection& conn, BegunTag) : m_conn(conn), m_active(conn.inTransaction()) {}
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
