#include "DbLog.h"

#include "Connection.h"
#include "MessageSink.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString FailureLogPath() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/taxferry.log");
}

void LogFailure(const QString& procedure, const DbError& e) {
    const QString path = FailureLogPath();
    if (path.isEmpty()) return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    // What the databases said may name the user's sets and servers: the file is the user's alone, one
    // made by an earlier version included.
    const QFileDevice::Permissions own = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // The log must never turn a reported failure into a second one.
    if (!f.open(QIODevice::Append | QIODevice::Text, own)) return;
    f.setPermissions(own);
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + u'\t' + procedure + u'\t' +
                         QString::number(e.number()) + u'\t' + e.detailText() + u'\n';
    f.write(hidePasswords(line).toUtf8());
}

void ReportCause(const QString& procedure, const DbError& e) {
    LogFailure(procedure, e);
    // The program's own errors say all there is in their message already.
    if (!e.cause().isEmpty()) CurrentMessageSink().detail(hidePasswords(e.detailText()));
}
