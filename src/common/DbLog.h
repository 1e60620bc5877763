#pragma once
// The cause of a failure, kept: the messages the user sees stay the system's own, while what the
// database said (and the statement it refused) goes to the per-user log file taxferry.log and, in the
// batch tool, to a "详细信息:" line after the messages.

#include <QString>

class DbError;

// The log file: taxferry.log in the per-user data folder of the program.
QString failureLogPath();
// One line in the log: time, procedure, number, text.
void logFailure(const QString& procedure, const DbError& e);
// Logs the failure and hands its detail to the message sink (shown after the system's message).
void reportCause(const QString& procedure, const DbError& e);
