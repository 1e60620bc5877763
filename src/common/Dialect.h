#pragma once
// What differs between the databases the program meets, kept in one place: the embedded SQLite file,
// a PostgreSQL server through Qt's own driver, and any ODBC source (the accounting product's SQL Server
// among them), whose dialect is that of the database behind the driver.

#include <QString>
#include <QVariant>

// The driver a connection goes through.
enum class DbKind { SQLite, ODBC, PostgreSQL };
// The database behind it.
enum class DbServer { SQLite, PostgreSQL, SqlServer, Other };

class Dialect {
public:
    Dialect() = default;
    Dialect(DbKind kind, DbServer server) : kind(kind), server(server) {}

    DbKind kind = DbKind::SQLite;
    DbServer server = DbServer::SQLite;

    // The server behind an ODBC driver, from the name the driver reports (SQL_DBMS_NAME).
    static DbServer serverFromDbmsName(const QString& dbmsName);

    // "delete * from T" is Access; everybody else says "delete from T".
    QString deleteFrom(const QString& table) const { return QStringLiteral("delete from ") + table; }
    // A yes/no literal for the program's own SQL text.
    QString boolLiteral(bool b) const;

    // Where the next internal identifier of a table comes from.
    enum class InterIdSource { Function, Procedure, CounterTable };
    InterIdSource interIdSource() const;

    // The statement that takes an import's locks right after its transaction began, in one fixed order:
    // the bill-code rule rows of both invoice kinds. Empty where beginning the transaction took the
    // write lock already (SQLite opened directly).
    QString importLockSql() const;
    // The statement that takes the ledger's lock of an export right after its transaction began: a second
    // export waits until the first has written its ledger rows. Empty where beginning the transaction took
    // the write lock already (SQLite opened directly).
    QString ledgerLockSql() const;
    // True when the database has read-only transactions ("SET TRANSACTION READ ONLY").
    bool hasReadOnlyTransactions() const { return server == DbServer::PostgreSQL; }

    // The column that tells apart rows that are otherwise alike (rowid, ctid, %%physloc%%); empty where the
    // database has none. rowPositionMatch(): the condition that picks one row by it, its value bound as text.
    QString rowPosition() const;
    QString rowPositionMatch() const;

    // How many values one statement may bind (SQL Server takes 2100, SQLite as built before 3.32 999).
    int maxParameters() const;

    // A deadlock or serialisation failure, by SQLSTATE or the server's own error number.
    static bool isConcurrencyFailure(const QString& sqlState, long nativeNumber);

    QString serverName() const;
};
