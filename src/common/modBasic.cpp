#include "modBasic.h"

#include "modDefine.h"
#include "modFunction.h"
#include <QCoreApplication>
#include <QDir>

QString ParseConnProps(const QString& props, int part) {
    switch (part) {
    case 0:
        return SplitItem(SplitItem(props, QStringLiteral("}"), 0), QStringLiteral("{"), 1);
    case 1:
    case 2: {
        QString t = SplitItem(props, QStringLiteral("};"), 1);
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

ConnectionPtr OpenAcctConnection(Connection::Mode mode) {
    return Connection::open(ParseConnProps(gsAcctProps, 0), mode);
}

ConnectionPtr OpenConfigConnection() {
    return Connection::open(gsConfigConnString);
}
