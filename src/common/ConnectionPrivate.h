#pragma once
// What the files of the connection share: the driver's failures made into DbError, values bound and
// queries run as every statement is, the fields of a result, and what the ODBC driver is asked directly.

#include "common/Connection.h"

class QSqlDatabase;
class QSqlError;
class QSqlQuery;
class QSqlRecord;

namespace ConnectionPrivate {

// A failure the driver reported, with the statement it refused (values shown as "?").
DbError sqlError(const QSqlError& e, const QString& sql = {}, const QString& odbcState = {});
DbError sqlError(const QSqlQuery& q, const QString& sql);
// The SQLSTATE of a statement's failure through ODBC; empty elsewhere.
QString odbcSqlState(const QSqlQuery& q);
// The database behind an ODBC connection, as the driver names it.
QString odbcDbmsName(const QSqlDatabase& db);
// The connection string Qt's ODBC driver gets.
QString odbcConnectString(const QString& connectionString);
// The fields of a result with their ADO types.
QList<FieldInfo> fieldsOf(const QSqlRecord& rec);
// A value as it is bound to a statement.
QVariant bindable(const QVariant& v);
// Runs a statement, its values bound to its "?" in order. Throws DbError.
void runQuery(QSqlQuery& q, const QString& sql, const QVariantList& params);
// Throws DbError when the connection is closed.
void requireOpen(const QSqlDatabase& db);

} // namespace ConnectionPrivate
