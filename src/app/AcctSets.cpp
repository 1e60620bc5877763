#include "AcctSets.h"

#include "common/Connection.h"
#include "common/SettingsStore.h"
#include "common/modBasic.h"

namespace {
const QString kApp = QStringLiteral("QOR");
const QString kSection = QStringLiteral("Login");

bool IsKey(const QString& key, const char* name) {
    return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

bool IsPasswordKey(const QString& key) {
    return IsKey(key, "Password") || IsKey(key, "PWD");
}

QString Provider(const QString& connectionString) {
    return ConnectionStringValue(connectionString, QStringLiteral("Provider"));
}

QString Join(const QList<QPair<QString, QString>>& pairs) {
    QStringList parts;
    for (const auto& kv : pairs)
        parts << kv.first + u'=' + kv.second;
    return parts.join(u';');
}
} // namespace

QString AcctConnString(const AcctSet& set, const QString& password) {
    QString conn;
    switch (set.kind) {
    case AcctKind::File:
        return QStringLiteral("Provider=SQLite;Data Source=") + quotedConnectionValue(set.file.trimmed());
    case AcctKind::PostgreSQL:
        conn = QStringLiteral("Provider=PostgreSQL;Host=") + quotedConnectionValue(set.host.trimmed());
        if (!set.port.trimmed().isEmpty()) conn += QStringLiteral(";Port=") + set.port.trimmed();
        conn += QStringLiteral(";Database=") + quotedConnectionValue(set.database.trimmed());
        if (!set.user.trimmed().isEmpty())
            conn += QStringLiteral(";User ID=") + quotedConnectionValue(set.user.trimmed());
        break;
    case AcctKind::ODBC: {
        const QString source = set.source.trimmed();
        // A driver string is handed on as written; a bare name is a data source.
        conn = QStringLiteral("Provider=ODBC;") +
               (source.contains(u'=') ? source : QStringLiteral("DSN=") + quotedConnectionValue(source));
        if (!set.user.trimmed().isEmpty())
            conn += QStringLiteral(";UID=") + quotedConnectionValue(set.user.trimmed());
        break;
    }
    }
    return WithPassword(conn, password);
}

AcctSet AcctSetFrom(const QString& name, const QString& connectionString) {
    AcctSet set;
    set.name = name;
    const QString conn = WithoutPassword(connectionString);
    const QString provider = Provider(conn);
    auto value = [&conn](const char* key) { return ConnectionStringValue(conn, QLatin1String(key)); };
    if (provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0) {
        set.kind = AcctKind::PostgreSQL;
        set.host = value("Host");
        set.port = value("Port");
        set.database = value("Database");
        set.user = value("User ID");
        if (set.user.isEmpty()) set.user = value("UID");
    } else if (provider.compare(u"ODBC", Qt::CaseInsensitive) == 0) {
        set.kind = AcctKind::ODBC;
        QList<QPair<QString, QString>> rest;
        for (const auto& kv : ParseConnectionString(conn)) {
            if (IsKey(kv.first, "Provider")) continue;
            if (IsKey(kv.first, "UID") || IsKey(kv.first, "User ID"))
                set.user = ConnectionStringValue(kv.first + u'=' + kv.second, kv.first);
            else
                rest << kv;
        }
        if (rest.size() == 1 && IsKey(rest.first().first, "DSN"))
            set.source = value("DSN");
        else
            set.source = Join(rest);
    } else {
        set.kind = AcctKind::File;
        set.file = value("Data Source");
    }
    return set;
}

QString AcctSetProblem(const AcctSet& set, QString* field) {
    auto problem = [field](const char* part, const QString& text) {
        if (field) *field = QLatin1String(part);
        return text;
    };
    const QString name = set.name.trimmed();
    if (name.isEmpty()) return problem("name", QStringLiteral("请输入账套名称!"));
    // One set a line, name and connection separated by a tab.
    if (name.contains(u'\t') || name.contains(u'\n') || name.contains(u'\r'))
        return problem("name", QStringLiteral("账套名称不能含有制表符或换行!"));
    switch (set.kind) {
    case AcctKind::File:
        if (set.file.trimmed().isEmpty()) return problem("file", QStringLiteral("请选择账套文件!"));
        break;
    case AcctKind::PostgreSQL: {
        if (set.host.trimmed().isEmpty()) return problem("host", QStringLiteral("请输入服务器!"));
        bool ok = true;
        const int port = set.port.trimmed().isEmpty() ? 5432 : set.port.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return problem("port", QStringLiteral("端口必须是1到65535之间的整数!"));
        if (set.database.trimmed().isEmpty()) return problem("database", QStringLiteral("请输入数据库名称!"));
        break;
    }
    case AcctKind::ODBC:
        if (set.source.trimmed().isEmpty())
            return problem("source", QStringLiteral("请输入ODBC数据源或驱动字符串!"));
        break;
    }
    // The login hands the connection string on between braces.
    if (!BracesBalanced(AcctConnString(set)))
        return problem(set.kind == AcctKind::File   ? "file"
                       : set.kind == AcctKind::ODBC ? "source"
                                                    : "database",
                       QStringLiteral("账套的连接字符串中的花括号不成对!"));
    return {};
}

bool IsServerConnString(const QString& connectionString) {
    const QString provider = Provider(connectionString);
    return provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0 ||
           provider.compare(u"ODBC", Qt::CaseInsensitive) == 0;
}

QString WithoutPassword(const QString& connectionString, QString* password) {
    QList<QPair<QString, QString>> kept;
    for (const auto& kv : ParseConnectionString(connectionString)) {
        if (IsPasswordKey(kv.first)) {
            if (password) *password = ConnectionStringValue(kv.first + u'=' + kv.second, kv.first);
        } else {
            kept << kv;
        }
    }
    return Join(kept);
}

QString WithPassword(const QString& connectionString, const QString& password) {
    if (password.isEmpty()) return connectionString;
    const bool odbc = Provider(connectionString).compare(u"ODBC", Qt::CaseInsensitive) == 0;
    return connectionString + (odbc ? QStringLiteral(";PWD=") : QStringLiteral(";Password=")) +
           quotedConnectionValue(password);
}

AcctSetList LoadAcctSets() {
    AcctSetList sets;
    const QStringList lines =
        GetSetting(kApp, kSection, QStringLiteral("AcctSets")).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int tab = line.indexOf(u'\t');
        if (tab <= 0) continue;
        const QString conn = line.mid(tab + 1).trimmed();
        if (!conn.isEmpty()) sets.append({line.left(tab), conn});
    }
    return sets;
}

void SaveAcctSets(const AcctSetList& sets) {
    QStringList lines;
    for (const auto& s : sets)
        lines << s.first + u'\t' + WithoutPassword(s.second);
    SaveSetting(kApp, kSection, QStringLiteral("AcctSets"), lines.join(u'\n'));
}

QString LastAcctSet() {
    return GetSetting(kApp, kSection, QStringLiteral("LastAcct"));
}

void RememberAcctSet(const QString& name, const QString& connectionString) {
    AcctSetList sets{{name, connectionString}};
    for (const auto& s : LoadAcctSets())
        if (s.first != name) sets << s;
    SaveAcctSets(sets);
    SaveSetting(kApp, kSection, QStringLiteral("LastAcct"), name);
}

QString TestAcctConnection(const QString& connectionString, QString* details) {
    try {
        Connection::open(connectionString)->Close();
        return {};
    } catch (const DbError& e) {
        if (details && e.description().startsWith(QStringLiteral("连接服务器失败："))) {
            *details = e.cause();
            return e.description();
        }
        QString text = QStringLiteral("连接失败: ") + e.description();
        const QString cause = e.cause().trimmed();
        if (!cause.isEmpty() && !e.description().contains(cause)) text += QStringLiteral("\r\n") + cause;
        return text;
    }
}
