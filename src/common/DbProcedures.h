#pragma once
// Small database procedures: queries that report their failure, values as a column takes them, the
// INSERT of a record, the period of a day.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QDate>
#include <QString>
#include <QVariant>

// User identifiers up to this belong to the accounting product itself: never listed, never logged in.
constexpr int kLastSystemUser = 16383;
inline bool isListedUser(qlonglong userID) {
    return userID > kLastSystemUser;
}

struct SqlStatement {
    QString sql;
    QVariantList values;
    bool isEmpty() const { return sql.isEmpty(); }
};

// Runs sql and returns its rows; on failure shows the error's description (showMsg) and returns null.
RecordsetPtr openRs(Connection* conn, const QString& sql, const QVariantList& params = {});
// First row's field value through nullToValue with def; an invalid QVariant (Empty) at EOF.
// Throws DbError when the query fails (after openRs has shown the description).
QVariant getFieldValue(Connection* conn, const QString& sql, int fieldIndex, const QVariant& def = QString(),
                       const QVariantList& params = {});
// True when the statement runs without an error; never reports, never throws.
bool testSql(const QString& sql, Connection* conn, const QVariantList& params = {});
// The columns of a table (in table order) that a record holds, with its values trimmed and converted by
// the column's type: what one row of an INSERT writes.
struct InsertRow {
    QStringList columns;
    QVariantList values;
};
InsertRow insertRowOf(const QList<FieldInfo>& columns, const FieldMap& values);
// "Insert Into T (cols) values (?,…)" for the keys of values that are columns of T, in table order,
// with every value trimmed and converted by the column's type. Empty when values is null.
SqlStatement buildInsertSql(const QString& tableName, const FieldMap* values, Connection& conn);
// Field names joined by ","; "" when rs is null.
QString fieldNameList(const Recordset* rs);
// The literal the value gives in a column of the ADO type (texts quoted with "'" doubled, numbers
// checked, booleans as 1/0). Only a Null value becomes empty; texts are kept as typed.
QString sqlValue(int fieldType, const QVariant& value);
// The same conversion as a value to bind.
QVariant sqlBindValue(int fieldType, const QVariant& value);
// A number as a column of the type takes it: the same as sqlBindValue of its text, without the text
// for a numeric column.
QVariant bindNumber(int fieldType, double value);
bool isIntegerAdoTypeCode(int fieldType);
bool isNumericAdoType(int fieldType);
// Closes the connection when it is open.
void closeConnection(const ConnectionPtr& conn);
// Year and period of a day (the day of the run) from T_PeriodDate on the accounting connection.
bool getPeriod(QString& year, QString& period, Connection& acct, const QDate& day);
