// taxferry-bench: times taxferry-batch import and export (or a whole month's close) on generated invoices
// and sets each time against its floor, what the database itself needs for the same rows. The ratio, not
// the time, is what says whether the engines are slow: it hardly depends on the machine.
//   taxferry-bench [--invoices N] [--quick] [--month N] [--acct CONN] [--keep DIR]
#include "batch/Bench.h"
#include "common/Connection.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

using namespace Bench;

namespace {

const char* kUsage =
    "usage: taxferry-bench [--invoices N] [--rounds R] [--quick] [--month N] [--acct CONN] [--keep DIR]\n"
    "  --invoices N  invoices of the generated files (default 10000); --quick: 200, one round\n"
    "  --month N     a month's close of N invoices instead: half exported to the text file, half to the\n"
    "                platform's workbook, the issued file and the platform's list read back, the\n"
    "                reconciliation; exit 1 when a document does not end in the state the month gave it\n"
    "  --rounds R    measure each figure R times and keep the best (default 3)\n"
    "  --acct CONN   where the accounting sets go (default: SQLite files in a temporary folder):\n"
    "                \"Provider=SQLite;Data Source=FILE\" (FILE absent or empty),\n"
    "                \"Provider=PostgreSQL;Host=...;Port=...;Database=NAME;User ID=...\" (NAME absent or\n"
    "                empty; the other sets are made beside it and dropped), or an ODBC string that names\n"
    "                its Driver and Database, reaching PostgreSQL or an SQLite file\n"
    "  --keep DIR    keep the files in DIR and the server databases\n";

int run(int invoices, int rounds, int month, const QString& acct, const QString& dir, bool keep) {
    if (!QFileInfo(batchProgram()).isExecutable())
        throw Failure{QStringLiteral("taxferry-batch not found beside the bench: ") + batchProgram()};
    AcctSets sets(acct, dir);
    if (keep) sets.keep();
    std::printf("taxferry-bench: %s, %d invoices%s\n", qPrintable(sets.label()), month > 0 ? month : invoices,
                month > 0 ? ", a month's close" : "");
    std::fflush(stdout);

    const QString config = dir + QStringLiteral("/Taxlink.db");
    makeSqliteFile(config, {QStringLiteral("config_schema.sql"), QStringLiteral("config_factory.sql")});
    if (month > 0) {
        const int differing = measureMonth(sets, config, dir, month);
        if (keep) std::printf("kept: %s\n", qPrintable(dir));
        return differing == 0 ? 0 : 1;
    }
    const qlonglong peakKb = measureImport(sets, config, dir, invoices, rounds);
    measureExport(sets, config, dir, invoices, rounds);

    // ru_maxrss is in kilobytes on Linux.
    std::printf("peak RSS of the import: %.1f MB\n", double(peakKb) / 1024.0);
    if (keep) {
        std::printf("kept: %s\n", qPrintable(dir));
        const QStringList dbs = sets.keptDatabases();
        if (!dbs.isEmpty()) std::printf("kept databases: %s\n", qPrintable(dbs.join(QStringLiteral(", "))));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int invoices = 10000;
    int rounds = 3;
    int month = 0;
    QString acct, keepDir;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"--quick") {
            invoices = 200;
            rounds = 1;
        } else if (a == u"--rounds" && hasValue) {
            bool ok = false;
            rounds = args[++i].toInt(&ok);
            if (!ok || rounds < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == u"--invoices" && hasValue) {
            bool ok = false;
            invoices = args[++i].toInt(&ok);
            if (!ok || invoices < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == u"--month" && hasValue) {
            bool ok = false;
            month = args[++i].toInt(&ok);
            if (!ok || month < 2) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == u"--acct" && hasValue) {
            acct = args[++i];
        } else if (a == u"--keep" && hasValue) {
            keepDir = args[++i];
        } else {
            std::fputs(kUsage, a == u"--help" ? stdout : stderr);
            return a == u"--help" ? 0 : 2;
        }
    }
    std::optional<QTemporaryDir> tmp;
    QString dir;
    if (keepDir.isEmpty()) {
        tmp.emplace();
        if (!tmp->isValid()) {
            std::fputs("cannot create a temporary folder\n", stderr);
            return 1;
        }
        dir = tmp->path();
    } else {
        if (!QDir().mkpath(keepDir)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(keepDir));
            return 1;
        }
        dir = QFileInfo(keepDir).absoluteFilePath();
    }
    try {
        return run(invoices, rounds, month, acct, dir, !keepDir.isEmpty());
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.text.toUtf8().constData());
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.reportText().toUtf8().constData());
        if (!e.cause().isEmpty()) std::fprintf(stderr, "详细信息:%s\n", e.detailText().toUtf8().constData());
    }
    return 1;
}
