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
    // The log must never turn a reported failure into a second one.
    if (!f.open(QIODevice::Append | QIODevice::Text)) return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + u'\t' + procedure + u'\t' +
                         QString::number(e.number()) + u'\t' + e.detailText() + u'\n';
    f.write(line.toUtf8());
}

void ReportCause(const QString& procedure, const DbError& e) {
    LogFailure(procedure, e);
    // The program's own errors say all there is in their message already.
    if (!e.cause().isEmpty()) CurrentMessageSink().detail(e.detailText());
}
