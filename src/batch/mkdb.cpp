// Creates an SQLite database from SQL scripts: taxferry-mkdb [--if-missing] out.db script.sql...
#include "common/Connection.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool ifMissing = false;
    if (!args.isEmpty() && args.first() == u"--if-missing") {
        ifMissing = true;
        args.removeFirst();
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: taxferry-mkdb [--if-missing] out.db script.sql...\n");
        return 2;
    }
    const QString out = args.takeFirst();
    if (QFileInfo::exists(out)) {
        if (ifMissing) return 0;
        QFile::remove(out);
    }
    const QString tmp = out + QStringLiteral(".tmp");
    QFile::remove(tmp);
    {
        QFile f(tmp);
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(tmp));
            return 1;
        }
    }
    try {
        ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + tmp);
        for (const QString& s : args)
            RunSqlScriptFile(*c, s);
        c->Close();
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.reportText().toUtf8().constData());
        QFile::remove(tmp);
        return 1;
    }
    if (!QFile::rename(tmp, out)) {
        std::fprintf(stderr, "cannot rename to %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
