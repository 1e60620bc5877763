// The program's folders and the databases made in the user's data folder at the first start.
#include "common/Paths.h"

#include "common/Connection.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString withTrailingSeparator(const QString& path) {
    if (path.endsWith(u'/') || path.endsWith(u'\\')) return path;
    return path + u'/';
}

QString appFolder() {
    return withTrailingSeparator(QCoreApplication::applicationDirPath());
}

QString configConnStringFor(const QString& folder) {
    return QStringLiteral("Provider=SQLite;Data Source=") + withTrailingSeparator(folder) +
           QStringLiteral("Taxlink.db");
}

QString installedShareFolder() {
    const QString share =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/taxferry"));
    return QFileInfo(share + QStringLiteral("/config_schema.sql")).isFile() ? share + u'/' : QString();
}

// Made beside the target and renamed over it when complete: a failed start leaves no half-made database
// that a later start would take for a good one.
static void makeDatabaseIfMissing(const QString& path, const QStringList& scripts) {
    if (QFileInfo::exists(path)) return;
    const QString made = path + QStringLiteral(".new");
    QFile::remove(made);
    {
        QFile f(made);
        if (!f.open(QIODevice::WriteOnly))
            throw DbError(ErrNo::FileNotFound,
                          QStringLiteral("无法创建数据库文件“%1”：%2").arg(path, f.errorString()));
    }
    try {
        ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + made);
        for (const QString& script : scripts)
            runSqlScriptFile(*c, script);
        c->close();
    } catch (const DbError&) {
        QFile::remove(made);
        throw;
    }
    if (!QFile::rename(made, path)) {
        QFile::remove(made);
        throw DbError(ErrNo::FileNotFound, QStringLiteral("无法创建数据库文件“%1”。").arg(path));
    }
}

void makeUserDatabases(const QString& shareFolder, const QString& folder) {
    const QString share = withTrailingSeparator(shareFolder);
    const QString target = withTrailingSeparator(folder);
    if (!QDir().mkpath(target))
        throw DbError(ErrNo::FileNotFound, QStringLiteral("无法创建文件夹“%1”。").arg(target));
    makeDatabaseIfMissing(
        target + QStringLiteral("Taxlink.db"),
        {share + QStringLiteral("config_schema.sql"), share + QStringLiteral("config_factory.sql")});
    makeDatabaseIfMissing(target + QStringLiteral("QORDemo.db"), {share + QStringLiteral("acct_schema.sql"),
                                                                  share + QStringLiteral("acct_demo.sql")});
}

QString programDataFolder() {
    const QString share = installedShareFolder();
    if (share.isEmpty()) return appFolder();
    const QString folder =
        withTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    makeUserDatabases(share, folder);
    return folder;
}

Qt::CaseSensitivity fileNameCase() {
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}
