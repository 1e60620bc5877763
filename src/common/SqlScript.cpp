// Scripts of SQL statements, split at ";" outside quotes and comments, run in one transaction.
#include "common/SqlScript.h"

#include "common/Connection.h"
#include <QFile>

static QStringList splitStatements(const QString& text) {
    QStringList out;
    QString cur;
    enum { Plain, Single, Double, Line, Block } st = Plain;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar n = i + 1 < text.size() ? text[i + 1] : QChar();
        switch (st) {
        case Plain:
            if (c == u'\'')
                st = Single;
            else if (c == u'"')
                st = Double;
            else if (c == u'-' && n == u'-') {
                st = Line;
                ++i;
                continue;
            } else if (c == u'/' && n == u'*') {
                st = Block;
                ++i;
                continue;
            } else if (c == u';') {
                if (!cur.trimmed().isEmpty()) out << cur.trimmed();
                cur.clear();
                continue;
            }
            break;
        case Single:
            if (c == u'\'') st = Plain;
            break;
        case Double:
            if (c == u'"') st = Plain;
            break;
        case Line:
            if (c == u'\n') {
                st = Plain;
                cur += u'\n';
            }
            continue;
        case Block:
            if (c == u'*' && n == u'/') {
                st = Plain;
                ++i;
            }
            continue;
        }
        cur += c;
    }
    if (!cur.trimmed().isEmpty()) out << cur.trimmed();
    return out;
}

void runSqlScript(Connection& conn, const QString& scriptText) {
    TransactionGuard tx(conn);
    for (const QString& stmt : splitStatements(scriptText))
        conn.exec(stmt);
    tx.commit();
}

void runSqlScriptFile(Connection& conn, const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(ErrNo::FileNotFound, QStringLiteral("文件未找到: ") + path);
    runSqlScript(conn, QString::fromUtf8(f.readAll()));
}
