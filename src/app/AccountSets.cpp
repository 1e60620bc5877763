#include "app/AccountSets.h"

#include "common/Connection.h"
#include "common/LoginProps.h"
#include "common/SettingsStore.h"

namespace {
const QString kApp = QStringLiteral("QOR");
const QString kSection = QStringLiteral("Login");

bool isKey(const QString& key, const char* name) {
    return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

bool isPasswordKey(const QString& key) {
    return isKey(key, "Password") || isKey(key, "PWD");
}

QString providerOf(const QString& connectionString) {
    return connectionStringValue(connectionString, QStringLiteral("Provider"));
}

QString join(const QList<QPair<QString, QString>>& pairs) {
    QStringList parts;
    for (const auto& kv : pairs)
        parts << kv.first + u'=' + kv.second;
    return parts.join(u';');
}
} // namespace

QString acctConnString(const AccountSet& set, const QString& password) {
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
    return withPassword(conn, password);
}

AccountSet acctSetFrom(const QString& name, const QString& connectionString) {
    AccountSet set;
    set.name = name;
    const QString conn = withoutPassword(connectionString);
    const QString provider = providerOf(conn);
    auto value = [&conn](const char* key) { return connectionStringValue(conn, QLatin1String(key)); };
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
        for (const auto& kv : parseConnectionString(conn)) {
            if (isKey(kv.first, "Provider")) continue;
            if (isKey(kv.first, "UID") || isKey(kv.first, "User ID"))
                set.user = connectionStringValue(kv.first + u'=' + kv.second, kv.first);
            else
                rest << kv;
        }
        if (rest.size() == 1 && isKey(rest.first().first, "DSN"))
            set.source = value("DSN");
        else
            set.source = join(rest);
    } else {
        set.kind = AcctKind::File;
        set.file = value("Data Source");
    }
    return set;
}

QString acctSetProblem(const AccountSet& set, QString* field) {
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
    if (!bracesBalanced(acctConnString(set)))
        return problem(set.kind == AcctKind::File   ? "file"
                       : set.kind == AcctKind::ODBC ? "source"
                                                    : "database",
                       QStringLiteral("账套的连接字符串中的花括号不成对!"));
    return {};
}

bool isServerConnString(const QString& connectionString) {
    const QString provider = providerOf(connectionString);
    return provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0 ||
           provider.compare(u"ODBC", Qt::CaseInsensitive) == 0;
}

QString withoutPassword(const QString& connectionString, QString* password) {
    QList<QPair<QString, QString>> kept;
    for (const auto& kv : parseConnectionString(connectionString)) {
        if (isPasswordKey(kv.first)) {
            if (password) *password = connectionStringValue(kv.first + u'=' + kv.second, kv.first);
        } else {
            kept << kv;
        }
    }
    return join(kept);
}

QString withPassword(const QString& connectionString, const QString& password) {
    if (password.isEmpty()) return connectionString;
    const bool odbc = providerOf(connectionString).compare(u"ODBC", Qt::CaseInsensitive) == 0;
    return connectionString + (odbc ? QStringLiteral(";PWD=") : QStringLiteral(";Password=")) +
           quotedConnectionValue(password);
}

AcctSetList loadAcctSets() {
    AcctSetList sets;
    const QStringList lines =
        getSetting(kApp, kSection, QStringLiteral("AcctSets")).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int tab = line.indexOf(u'\t');
        if (tab <= 0) continue;
        const QString conn = line.mid(tab + 1).trimmed();
        if (!conn.isEmpty()) sets.append({line.left(tab), conn});
    }
    return sets;
}

void saveAcctSets(const AcctSetList& sets) {
    QStringList lines;
    for (const auto& s : sets)
        lines << s.first + u'\t' + withoutPassword(s.second);
    saveSetting(kApp, kSection, QStringLiteral("AcctSets"), lines.join(u'\n'));
}

QString lastAcctSet() {
    return getSetting(kApp, kSection, QStringLiteral("LastAcct"));
}

void rememberAcctSet(const QString& name, const QString& connectionString) {
    AcctSetList sets{{name, connectionString}};
    for (const auto& s : loadAcctSets())
        if (s.first != name) sets << s;
    saveAcctSets(sets);
    saveSetting(kApp, kSection, QStringLiteral("LastAcct"), name);
}

QString testAcctConnection(const QString& connectionString, QString* details) {
    try {
        Connection::open(connectionString)->close();
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
