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
#include <QSaveFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char* kUsage = "usage: taxferry-mkdb [--if-missing] out.db script.sql...\n"
                     "       taxferry-mkdb --server CONN server_schema.sql --data script.sql...\n"
                     "       taxferry-mkdb --version | --help\n";

bool makeSqlite(const QString& path, const QStringList& scripts) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return false;
        }
    }
    ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    for (const QString& s : scripts)
        runSqlScriptFile(*c, s);
    c->close();
    return true;
}

// The finished database in the place of OUT in one step, on every platform (QSaveFile replaces the file
// where a rename would not): until then an earlier OUT stays as it was.
bool putInPlace(const QString& made, const QString& out) {
    QFile from(made);
    QSaveFile to(out);
    bool ok = from.open(QIODevice::ReadOnly) && to.open(QIODevice::WriteOnly);
    while (ok && !from.atEnd()) {
        const QByteArray chunk = from.read(1 << 20);
        ok = !chunk.isEmpty() && to.write(chunk) == chunk.size();
    }
    if (ok && to.commit()) return true;
    const QString reason = to.error() != QFileDevice::NoError ? to.errorString() : from.errorString();
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("无法写入数据库文件“%1”：%2").arg(out, reason).toUtf8().constData());
    return false;
}

int loadServer(const QString& conn, const QString& schema, const QStringList& scripts) {
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("source.db"));
    if (!makeSqlite(source, scripts)) return 1;
    ConnectionPtr from = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + source);
    ConnectionPtr to = Connection::open(conn);
    runSqlScriptFile(*to, schema);
    copyTableRows(*from, *to, sqliteTables(*from));
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
            return loadServer(line.value(QStringLiteral("server")), args.first(), args.mid(1));
        }
        const bool ifMissing = line.isSet(QStringLiteral("if-missing"));
        if (args.size() < 2 || line.isSet(QStringLiteral("data"))) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const QString out = args.takeFirst();
        if (ifMissing && QFileInfo::exists(out)) return 0;
        // Made apart and put in place whole: a script that fails leaves an earlier OUT as it was.
        QTemporaryDir work;
        if (!work.isValid()) {
            std::fprintf(
                stderr, "%s\n",
                QStringLiteral("无法创建临时文件夹：%1").arg(work.errorString()).toUtf8().constData());
            return 1;
        }
        const QString made = work.filePath(QStringLiteral("made.db"));
        if (!makeSqlite(made, args) || !putInPlace(made, out)) return 1;
        return 0;
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.reportText().toUtf8().constData());
        if (!e.cause().isEmpty()) std::fprintf(stderr, "详细信息:%s\n", e.detailText().toUtf8().constData());
        return 1;
    }
}
