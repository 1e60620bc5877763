#include "common/Dialect.h"

#include "common/Connection.h"

DbServer Dialect::serverFromDbmsName(const QString& dbmsName) {
    const QString n = dbmsName.trimmed();
    if (n.contains(u"PostgreSQL", Qt::CaseInsensitive)) return DbServer::PostgreSQL;
    if (n.contains(u"SQL Server", Qt::CaseInsensitive)) return DbServer::SqlServer;
    if (n.contains(u"SQLite", Qt::CaseInsensitive)) return DbServer::SQLite;
    return DbServer::Other;
}

QString Dialect::boolLiteral(bool b) const {
    if (server == DbServer::SqlServer || server == DbServer::Other)
        return b ? QStringLiteral("1") : QStringLiteral("0");
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

Dialect::InterIdSource Dialect::interIdSource() const {
    if (server == DbServer::SQLite) return InterIdSource::CounterTable;
    if (kind == DbKind::PostgreSQL) return InterIdSource::Function;
    return InterIdSource::Procedure;
}

QString Dialect::importLockSql() const {
    switch (server) {
    case DbServer::PostgreSQL:
        // Rows are locked in the order of the sort, the physical position breaking ties: the same order in
        // every import.
        return QStringLiteral("select fbilltypeid from t_billcoderule where fbilltypeid in (80,86) "
                              "order by fbilltypeid, fprojectid, ctid for update");
    case DbServer::SqlServer:
        return QStringLiteral("select fbilltypeid from t_billcoderule with (updlock, holdlock) "
                              "where fbilltypeid in (80,86) order by fbilltypeid, fprojectid");
    case DbServer::SQLite:
        // Through ODBC the transaction begins deferred: a write that changes nothing takes the lock.
        if (kind == DbKind::SQLite) return {};
        return QStringLiteral("update t_billcoderule set fprojectval=fprojectval where 1=0");
    case DbServer::Other:
        break;
    }
    // A database the program does not know: a write to the rule rows themselves locks them on every
    // database that locks rows at all.
    return QStringLiteral("update t_billcoderule set fprojectval=fprojectval where fbilltypeid in (80,86)");
}

QString Dialect::ledgerLockSql() const {
    switch (server) {
    case DbServer::PostgreSQL:
        // Readers go on; another export (or an import, which writes ledger rows) waits.
        return QStringLiteral("lock table TF_Ledger in share row exclusive mode");
    case DbServer::SqlServer:
        return QStringLiteral("select count(*) from TF_Ledger with (updlock, tablock, holdlock)");
    case DbServer::SQLite:
        if (kind == DbKind::SQLite) return {};
        return QStringLiteral("update TF_Ledger set FState=FState where 1=0");
    case DbServer::Other:
        break;
    }
    return QStringLiteral("update TF_Ledger set FState=FState");
}

int Dialect::maxParameters() const {
    switch (server) {
    case DbServer::PostgreSQL:
        // psqlODBC loses its way in a parameter description longer than 64 KB (some 16,000 values).
        return kind == DbKind::ODBC ? 4000 : 30000;
    case DbServer::SqlServer:
        return 2000;
    case DbServer::SQLite:
    case DbServer::Other:
        break;
    }
    return 999;
}

QString Dialect::rowPosition() const {
    switch (server) {
    case DbServer::SQLite:
        return QStringLiteral("rowid");
    case DbServer::PostgreSQL:
        return QStringLiteral("ctid");
    case DbServer::SqlServer:
        return QStringLiteral("%%physloc%%");
    case DbServer::Other:
        break;
    }
    return {};
}

QString Dialect::rowPositionMatch() const {
    const QString position = rowPosition();
    if (position.isEmpty()) return {};
    // A tid read back as text is compared as a tid.
    return position +
           (server == DbServer::PostgreSQL ? QStringLiteral("=cast(? as tid)") : QStringLiteral("=?"));
}

bool Dialect::isConcurrencyFailure(const QString& sqlState, long nativeNumber) {
    // 40P01 deadlock_detected, 40001 serialization_failure; SQL Server: 1205 deadlock victim.
    return sqlState == u"40P01" || sqlState == u"40001" || nativeNumber == 1205;
}

QString Dialect::serverName() const {
    switch (server) {
    case DbServer::SQLite:
        return QStringLiteral("SQLite");
    case DbServer::PostgreSQL:
        return QStringLiteral("PostgreSQL");
    case DbServer::SqlServer:
        return QStringLiteral("SQL Server");
    case DbServer::Other:
        break;
    }
    return QStringLiteral("ODBC");
}
