#pragma once
// Shared procedures: messages, value and text helpers, small database procedures.

#include "Connection.h"
#include "FieldMap.h"
#include <QDate>
#include <QString>
#include <QVariant>

// ---- messages -------------------------------------------------------------------------------
void ShowMsg(const QString& text);
// A notice with the database's or driver's own words behind it, shown under 详细信息.
void ShowMsg(const QString& text, const QString& details);
// Shows "调用(" & procName & ")出错!" CR LF message.
void ShowErr(const QString& procName, const QString& message);
// The standard report of a caught error: "错误编号:" & number & ",错误原因:" & description.
void ShowErr(const QString& procName, const DbError& e);
void ShowErr(const QString& procName, const std::exception& e);
// Yes/No question with the question icon, No the default. True for Yes.
bool AskYesNo(const QString& text);

// ---- values and texts -----------------------------------------------------------------------
// A yes/no value as databases deliver it: true/false, 1/0, -1 or their texts; Null is no.
bool IsTrueValue(const QVariant& value);
// Null, an invalid value or the empty text give def; anything else is returned unchanged.
QVariant NullToValue(const QVariant& value, const QVariant& def = QString());
QString NullToText(const QVariant& value, const QString& def = QString());
// The piece with the 0-based index after splitting at every delimiter; "" when there is none.
QString SplitItem(const QString& text, const QString& delimiter, int index);

// Leading decimal number of a text ("." decimal point, blanks skipped, 0 when none). Never fails.
double LeadingNumber(const QString& text);
// Whole text must be a number (blanks around it allowed); false otherwise.
bool StrictNumber(QStringView text, double& out);
// Shortest general form with at most 15 significant digits and "." (0.17*100 gives "17").
QString NumberText(double value);
// The value with a fixed count of decimals, "." and no grouping, rounded half up (away from zero) in decimal
// from the 15 significant digits NumberText writes: 1.005 gives "1.01", where binary rounding gives "1.00".
QString DecimalText(double value, int decimals);
// One line of a CSV file with its CR LF: a field is quoted when it holds a comma, a quote, a line break or
// blanks at its ends.
QString csvLine(const QStringList& fields);
// A CSV file's bytes: UTF-8 after a BOM, which tells a spreadsheet program the encoding.
QByteArray csvFileBytes(const QString& text);
// The value NumberText writes, as a number again: a computed value as the database receives it.
double Round15(double value);
// True when the text is numeric ("12", " -3.5 ", "1e3").
bool IsNumericText(const QString& text);
// A value that is a date, or a text that reads as a date; false otherwise.
bool TryDateValue(const QVariant& value, QDate& out);

// User identifiers up to this belong to the accounting product itself: never listed, never logged in.
constexpr int kLastSystemUser = 16383;
inline bool IsListedUser(qlonglong userID) {
    return userID > kLastSystemUser;
}

// ---- database -------------------------------------------------------------------------------
struct SqlStatement {
    QString sql;
    QVariantList values;
    bool isEmpty() const { return sql.isEmpty(); }
};

// Runs sql and returns its rows; on failure shows the error's description (ShowMsg) and returns null.
RecordsetPtr OpenRs(Connection* conn, const QString& sql, const QVariantList& params = {});
// First row's field value through NullToValue with def; an invalid QVariant (Empty) at EOF.
// Throws DbError when the query fails (after OpenRs has shown the description).
QVariant GetFieldValue(Connection* conn, const QString& sql, int fieldIndex, const QVariant& def = QString(),
                       const QVariantList& params = {});
// True when the statement runs without an error; never reports, never throws.
bool TestSql(const QString& sql, Connection* conn, const QVariantList& params = {});
// The columns of a table (in table order) that a record holds, with its values trimmed and converted by
// the column's type: what one row of an INSERT writes.
struct InsertRow {
    QStringList columns;
    QVariantList values;
};
InsertRow InsertRowOf(const QList<FieldInfo>& columns, const FieldMap& values);
// "Insert Into T (cols) values (?,…)" for the keys of values that are columns of T, in table order,
// with every value trimmed and converted by the column's type. Empty when values is null.
SqlStatement BuildInsertSql(const QString& tableName, const FieldMap* values, Connection& conn);
// Field names joined by ","; "" when rs is null.
QString FieldNameList(const Recordset* rs);
// The literal the value gives in a column of the ADO type (texts quoted with "'" doubled, numbers
// checked, booleans as 1/0). Only a Null value becomes empty; texts are kept as typed.
QString SqlValue(int fieldType, const QVariant& value);
// The same conversion as a value to bind.
QVariant SqlBindValue(int fieldType, const QVariant& value);
// A number as a column of the type takes it: the same as SqlBindValue of its text, without the text
// for a numeric column.
QVariant BindNumber(int fieldType, double value);
bool isIntegerAdoTypeCode(int fieldType);
bool IsNumericAdoType(int fieldType);
// Closes the connection when it is open.
void CloseConnection(const ConnectionPtr& conn);
// Year and period of a day (the day of the run) from T_PeriodDate on the accounting connection.
bool GetPeriod(QString& year, QString& period, Connection& acct, const QDate& day);
