// The program's folders and the databases made in the user's data folder at the first start.
#include "Paths.h"

#include "Connection.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString WithTrailingSeparator(const QString& path) {
    if (path.endsWith(u'/') || path.endsWith(u'\\')) return path;
    return path + u'/';
}

QString AppFolder() {
    return WithTrailingSeparator(QCoreApplication::applicationDirPath());
}

QString ConfigConnStringFor(const QString& folder) {
    return QStringLiteral("Provider=SQLite;Data Source=") + WithTrailingSeparator(folder) +
           QStringLiteral("Taxlink.db");
}

QString InstalledShareFolder() {
    const QString share =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/taxferry"));
    return QFileInfo(share + QStringLiteral("/config_schema.sql")).isFile() ? share + u'/' : QString();
}

// Made beside the target and renamed over it when complete: a failed start leaves no half-made database
// that a later start would take for a good one.
static void MakeDatabaseIfMissing(const QString& path, const QStringList& scripts) {
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
            RunSqlScriptFile(*c, script);
        c->Close();
    } catch (const DbError&) {
        QFile::remove(made);
        throw;
    }
    if (!QFile::rename(made, path)) {
        QFile::remove(made);
        throw DbError(ErrNo::FileNotFound, QStringLiteral("无法创建数据库文件“%1”。").arg(path));
    }
}

void MakeUserDatabases(const QString& shareFolder, const QString& folder) {
    const QString share = WithTrailingSeparator(shareFolder);
    const QString target = WithTrailingSeparator(folder);
    if (!QDir().mkpath(target))
        throw DbError(ErrNo::FileNotFound, QStringLiteral("无法创建文件夹“%1”。").arg(target));
    MakeDatabaseIfMissing(
        target + QStringLiteral("Taxlink.db"),
        {share + QStringLiteral("config_schema.sql"), share + QStringLiteral("config_factory.sql")});
    MakeDatabaseIfMissing(target + QStringLiteral("QORDemo.db"), {share + QStringLiteral("acct_schema.sql"),
                                                                  share + QStringLiteral("acct_demo.sql")});
}

QString ProgramDataFolder() {
    const QString share = InstalledShareFolder();
    if (share.isEmpty()) return AppFolder();
    const QString folder =
        WithTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    MakeUserDatabases(share, folder);
    return folder;
}
