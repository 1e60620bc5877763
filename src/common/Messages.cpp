// Messages to the user: notices, error reports and yes/no questions, through the message sink.
#include "Messages.h"

#include "ConnectionString.h"
#include "DbError.h"
#include "DbLog.h"
#include "MessageSink.h"

// Whatever reaches a message box, stderr or the test's recorder goes without a password.
void ShowMsg(const QString& text) {
    CurrentMessageSink().info(hidePasswords(text));
}

void ShowMsg(const QString& text, const QString& details) {
    if (details.isEmpty()) return ShowMsg(text);
    CurrentMessageSink().infoWithDetails(hidePasswords(text), hidePasswords(details));
}

void ShowErr(const QString& procName, const QString& message) {
    CurrentMessageSink().error(
        hidePasswords(QStringLiteral("调用(") + procName + QStringLiteral(")出错!\r\n") + message));
}

void ShowErr(const QString& procName, const DbError& e) {
    ShowErr(procName, e.reportText());
    ReportCause(procName, e);
}

void ShowErr(const QString& procName, const std::exception& e) {
    if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        ShowErr(procName, *db);
        return;
    }
    ShowErr(procName, DbError(ErrNo::General, QString::fromUtf8(e.what())));
}

bool AskYesNo(const QString& text) {
    return CurrentMessageSink().question(hidePasswords(text));
}
