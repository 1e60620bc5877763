// Creates an accounting or configuration database from SQL scripts.
//   taxferry-mkdb [--if-missing] out.db script.sql...
//       an SQLite file made from the scripts
//   taxferry-mkdb --server CONN server_schema.sql --data script.sql...
//       the tables of server_schema.sql created in the (empty) database CONN, then filled with the rows
//       that the SQLite scripts make: the demo set on a PostgreSQL server, from the same scripts as the
//       SQLite demo set
#include "common/CommandLine.h"
#include "common/Connection.h"
#include "common/DbCopy.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char* kUsage = "usage: taxferry-mkdb [--if-missing] out.db script.sql...\n"
                     "       taxferry-mkdb --server CONN server_schema.sql --data script.sql...\n"
                     "       taxferry-mkdb --version | --help\n";

bool MakeSqlite(const QString& path, const QStringList& scripts) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return false;
        }
    }
    ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    for (const QString& s : scripts)
        RunSqlScriptFile(*c, s);
    c->Close();
    return true;
}

int LoadServer(const QString& conn, const QString& schema, const QStringList& scripts) {
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("source.db"));
    if (!MakeSqlite(source, scripts)) return 1;
    ConnectionPtr from = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + source);
    ConnectionPtr to = Connection::open(conn);
    RunSqlScriptFile(*to, schema);
    CopyTableRows(*from, *to, SqliteTables(*from));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CommandLine line(QString::fromLatin1(kUsage));
    line.addFlag(QStringLiteral("if-missing")).addOption(QStringLiteral("server"));
    line.addFlag(QStringLiteral("data"));
    if (const std::optional<int> status = line.parse(app.arguments().mid(1))) return *status;
    QStringList args = line.positionalArguments();
    try {
        if (line.isSet(QStringLiteral("server"))) {
            if (args.size() < 2 || !line.isSet(QStringLiteral("data"))) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            return LoadServer(line.value(QStringLiteral("server")), args.first(), args.mid(1));
        }
        const bool ifMissing = line.isSet(QStringLiteral("if-missing"));
        if (args.size() < 2 || line.isSet(QStringLiteral("data"))) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const QString out = args.takeFirst();
        if (QFileInfo::exists(out)) {
            if (ifMissing) return 0;
            QFile::remove(out);
        }
        const QString tmp = out + QStringLiteral(".tmp");
        QFile::remove(tmp);
        try {
            if (!MakeSqlite(tmp, args)) return 1;
        } catch (const DbError&) {
            QFile::remove(tmp);
            throw;
        }
        if (!QFile::rename(tmp, out)) {
            std::fprintf(stderr, "cannot rename to %s\n", qPrintable(out));
            return 1;
        }
        return 0;
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.reportText().toUtf8().constData());
        if (!e.cause().isEmpty()) std::fprintf(stderr, "详细信息:%s\n", e.detailText().toUtf8().constData());
        return 1;
    }
}
