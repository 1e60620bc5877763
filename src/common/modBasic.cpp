#include "modBasic.h"

#include "modFunction.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

// The position of the brace that closes the one opening at open; braces inside (an ODBC driver written
// as Driver={…}) are counted, so they stay part of the connection string. -1 when it is never closed.
static int MatchingBrace(const QString& text, int open) {
    int depth = 0;
    for (int i = open; i < text.size(); ++i) {
        if (text[i] == u'{')
            ++depth;
        else if (text[i] == u'}' && --depth == 0)
            return i;
    }
    return -1;
}

bool BracesBalanced(const QString& text) {
    int depth = 0;
    for (QChar c : text) {
        if (c == u'{')
            ++depth;
        else if (c == u'}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

QString ParseConnProps(const QString& props, int part) {
    const int open = props.indexOf(u'{');
    const int close = open < 0 ? -1 : MatchingBrace(props, open);
    switch (part) {
    case 0:
        if (open < 0) return {};
        // An unclosed brace keeps the old reading: up to the first "}".
        if (close < 0) return SplitItem(SplitItem(props, QStringLiteral("}"), 0), QStringLiteral("{"), 1);
        return props.mid(open + 1, close - open - 1);
    case 1:
    case 2: {
        QString t;
        if (close >= 0 && props.mid(close, 2) == u"};")
            t = props.mid(close + 2);
        else
            t = SplitItem(props, QStringLiteral("};"), 1);
        t = SplitItem(t, QStringLiteral(";"), part - 1);
        return SplitItem(t, QStringLiteral("="), 1);
    }
    default:
        return {};
    }
}

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
