// What the program asks an ODBC driver directly (the SQLSTATE of a failure, the database behind a
// source), and the connection string it hands to Qt's ODBC driver.
#include "common/ConnectionPrivate.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>

#if TAXFERRY_HAVE_ODBC
#ifdef Q_OS_WIN
// Qt defines UNICODE for its users, which would turn the names below into the wide functions: the narrow
// ones are meant (what they return here is ASCII).
#define SQL_NOUNICODEMAP
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace {
// The ODBC handle a driver or result hands out; Qt 6 names its type "void*" (SQLHANDLE is one), Qt 5
// named it "SQLHANDLE".
SQLHANDLE odbcHandle(const QVariant& h) {
    if (!h.isValid() || (qstrcmp(h.typeName(), "SQLHANDLE") != 0 && qstrcmp(h.typeName(), "void*") != 0))
        return nullptr;
    return *static_cast<const SQLHANDLE*>(h.data());
}
} // namespace
#endif

namespace ConnectionPrivate {

#if TAXFERRY_HAVE_ODBC
// QODBC keeps the driver's text and native number but drops the SQLSTATE, which is the only thing that
// tells a deadlock from psqlODBC: it is read from the statement's diagnostics, still there after the failure.
QString odbcSqlState(const QSqlQuery& q) {
    SQLHANDLE hstmt = odbcHandle(q.result() ? q.result()->handle() : QVariant());
    if (!hstmt) return {};
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[8];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, text, sizeof text, &len)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(state));
}
#else
QString odbcSqlState(const QSqlQuery&) {
    return {};
}
#endif

#if TAXFERRY_HAVE_ODBC
// The database behind an ODBC connection, as the driver names it.
QString odbcDbmsName(const QSqlDatabase& db) {
    SQLHANDLE hdbc = odbcHandle(db.driver()->handle());
    if (!hdbc) return {};
    SQLCHAR buf[256] = {0};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DBMS_NAME, buf, sizeof buf - 1, &len))) return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(buf));
}
#else
QString odbcDbmsName(const QSqlDatabase&) {
    return {};
}
#endif

// The connection string QODBC gets. QODBC puts "DSN=" in front of anything that names neither a driver
// nor a server, so a data source is handed over as its bare name followed by the other pairs.
QString odbcConnectString(const QString& connectionString) {
    QStringList rest;
    QString dsn;
    bool namesDriver = false;
    for (const auto& kv : parseConnectionString(connectionString)) {
        if (kv.first.compare(u"Provider", Qt::CaseInsensitive) == 0) continue;
        if (kv.first.compare(u"DSN", Qt::CaseInsensitive) == 0 && dsn.isEmpty()) {
            dsn = kv.second;
            continue;
        }
        if (kv.first.compare(u"Driver", Qt::CaseInsensitive) == 0 ||
            kv.first.compare(u"Server", Qt::CaseInsensitive) == 0 ||
            kv.first.compare(u"FileDSN", Qt::CaseInsensitive) == 0)
            namesDriver = true;
        rest << kv.first + u'=' + kv.second;
    }
    if (dsn.isEmpty()) return rest.join(u';');
    if (namesDriver) return (QStringList{QStringLiteral("DSN=") + dsn} + rest).join(u';');
    return (QStringList{dsn} + rest).join(u';');
}

} // namespace ConnectionPrivate
