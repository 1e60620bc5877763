#include "common/DbLog.h"

#include "common/Connection.h"
#include "common/MessageSink.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString failureLogPath() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/taxferry.log");
}

void logFailure(const QString& procedure, const DbError& e) {
    const QString path = failureLogPath();
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

void reportCause(const QString& procedure, const DbError& e) {
    logFailure(procedure, e);
    // The program's own errors say all there is in their message already.
    if (!e.cause().isEmpty()) currentMessageSink().detail(hidePasswords(e.detailText()));
}
