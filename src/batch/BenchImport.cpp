// The timed import: the generated invoices into a fresh set, against the same rows loaded by the database
// itself.
#include "InvoiceLines.h"
#include "batch/Bench.h"
#include "common/Ledger.h"
#include <QFile>
#include <algorithm>
#include <cstdio>

namespace Bench {

qlonglong measureImport(AcctSets& sets, const QString& config, const QString& dir, int invoices, int rounds) {
    QSet<qlonglong> demoHeads, demoLines;
    qlonglong demoHeadCount = 0, demoLineCount = 0;
    {
        ConnectionPtr demo = Connection::open(sqliteConn(sets.demoPath()));
        demoHeads = interIds(*demo, QStringLiteral("ICSale"));
        demoLines = interIds(*demo, QStringLiteral("ICSaleEntry"));
        demoHeadCount = countRows(*demo, QStringLiteral("ICSale"));
        demoLineCount = countRows(*demo, QStringLiteral("ICSaleEntry"));
    }

    // Import. It is the first child of the run, so the children's peak memory is its own.
    const int importLines = 5;
    const QString importFile = dir + QStringLiteral("/issued_%1x%2.txt").arg(invoices).arg(importLines);
    writeIssuedFile(importFile, generatedFile(invoices, importLines));
    // Each figure is the best of its rounds: the machine's other work only ever adds to a time.
    double importSeconds = 0, importFloor = 0, importQtFloor = 0, importLedgerFloor = 0;
    qlonglong peakKb = 0; // of the first import, as the process itself counts it
    for (int round = 0; round < rounds; ++round) {
        const QString suffix = round == 0 ? QString() : QString::number(round + 1);
        const QString importSet = sets.make(QStringLiteral("import") + suffix, round == 0);
        const ChildRun imp = runBatch({QStringLiteral("import"), QStringLiteral("--acct"), importSet,
                                       QStringLiteral("--config"), config, importFile},
                                      dir, dir + QStringLiteral("/peak-memory"));
        if (round == 0) {
            QFile peak(dir + QStringLiteral("/peak-memory"));
            if (peak.open(QIODevice::ReadOnly)) peakKb = peak.readAll().split(' ').value(0).toLongLong();
        }
        requireOk(imp, QStringLiteral("taxferry-batch import"));
        QList<TableRows> added;
        {
            ConnectionPtr c = Connection::open(importSet);
            added << rowsAdded(*c, QStringLiteral("ICSale"), demoHeads)
                  << rowsAdded(*c, QStringLiteral("ICSaleEntry"), demoLines);
        }
        if (added[0].rows.size() != invoices || added[1].rows.size() != qsizetype(invoices) * importLines)
            throw Failure{QStringLiteral("the import wrote %1 invoices and %2 lines, not %3 and %4")
                              .arg(added[0].rows.size())
                              .arg(added[1].rows.size())
                              .arg(invoices)
                              .arg(invoices * importLines)};
        const auto loaded = [&](const QString& floorSet) {
            ConnectionPtr c = Connection::open(floorSet);
            if (countRows(*c, QStringLiteral("ICSale")) != demoHeadCount + invoices ||
                countRows(*c, QStringLiteral("ICSaleEntry")) !=
                    demoLineCount + qlonglong(invoices) * importLines)
                throw Failure{QStringLiteral("the import floor did not load every row")};
        };
        const QString floorSet = sets.make(QStringLiteral("floor") + suffix, false);
        double floor = 0, qtFloor = 0;
        if (sets.copiesRows()) {
            floor = copyFloor(floorSet, added, dir);
        } else if (!sets.onServer()) {
            floor = sqliteFloor(sets.filePath(floorSet), added);
            loaded(floorSet);
            // The import also writes one ledger row per invoice, into a table with its indexes: the floor of
            // every row it writes, beside the floor of the invoices' rows.
            QList<TableRows> withLedger = added;
            {
                ConnectionPtr c = Connection::open(importSet);
                withLedger << rowsAdded(*c, QStringLiteral("TF_Ledger"), {});
            }
            const QString ledgerSet = sets.make(QStringLiteral("ledgerfloor") + suffix, false);
            {
                ConnectionPtr c = Connection::open(ledgerSet);
                Ledger::ensure(*c);
            }
            const double withLedgerFloor = sqliteFloor(sets.filePath(ledgerSet), withLedger);
            importLedgerFloor = round == 0 ? withLedgerFloor : std::min(importLedgerFloor, withLedgerFloor);
            const QString qtSet = sets.make(QStringLiteral("qtfloor") + suffix, false);
            qtFloor = insertFloor(qtSet, added);
            loaded(qtSet);
        } else {
            floor = insertFloor(floorSet, added);
        }
        loaded(floorSet);
        importSeconds = round == 0 ? imp.seconds : std::min(importSeconds, imp.seconds);
        importFloor = round == 0 ? floor : std::min(importFloor, floor);
        importQtFloor = round == 0 ? qtFloor : std::min(importQtFloor, qtFloor);
    }
    printTime("import", invoices, importLines, importSeconds, importFloor,
              sets.copiesRows() ? "COPY"
              : sets.onServer() ? "Qt SQL, one prepared statement"
                                : "SQLite's C interface, one prepared statement",
              importQtFloor);
    if (importLedgerFloor > 0) {
        std::printf("%-17s %7s     floor %6.2f s  %6.1fx  (SQLite's C interface, the ledger's rows too)\n",
                    "", "", importLedgerFloor, importSeconds / importLedgerFloor);
        std::fflush(stdout);
    }
    return peakKb;
}

} // namespace Bench
