// Messages to the user: notices, error reports and yes/no questions, through the message sink.
#include "common/Messages.h"

#include "common/ConnectionString.h"
#include "common/DbError.h"
#include "common/DbLog.h"
#include "common/MessageSink.h"

// Whatever reaches a message box, stderr or the test's recorder goes without a password.
void showMsg(const QString& text) {
    currentMessageSink().info(hidePasswords(text));
}

void showMsg(const QString& text, const QString& details) {
    if (details.isEmpty()) return showMsg(text);
    currentMessageSink().infoWithDetails(hidePasswords(text), hidePasswords(details));
}

void showErr(const QString& procName, const QString& message) {
    currentMessageSink().error(
        hidePasswords(QStringLiteral("调用(") + procName + QStringLiteral(")出错!\r\n") + message));
}

void showErr(const QString& procName, const DbError& e) {
    showErr(procName, e.reportText());
    reportCause(procName, e);
}

void showErr(const QString& procName, const std::exception& e) {
    if (const auto* db = dynamic_cast<const DbError*>(&e)) {
        showErr(procName, *db);
        return;
    }
    showErr(procName, DbError(ErrNo::General, QString::fromUtf8(e.what())));
}

bool askYesNo(const QString& text) {
    return currentMessageSink().question(hidePasswords(text));
}
