#pragma once
// Messages to the user: notices, error reports and yes/no questions, through the message sink.

#include <QString>
#include <exception>

class DbError;

void showMsg(const QString& text);
// A notice with the database's or driver's own words behind it, shown under 详细信息.
void showMsg(const QString& text, const QString& details);
// Shows "调用(" & procName & ")出错!" CR LF message.
void showErr(const QString& procName, const QString& message);
// The standard report of a caught error: "错误编号:" & number & ",错误原因:" & description.
void showErr(const QString& procName, const DbError& e);
void showErr(const QString& procName, const std::exception& e);
// Yes/No question with the question icon, No the default. True for Yes.
bool askYesNo(const QString& text);
