// The children a run starts and the rows it reads back from a set.
#include "batch/Bench.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

namespace Bench {

ChildRun runChild(const QString& program, const QStringList& args, const QString& workDir,
                  const QProcessEnvironment& env) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setWorkingDirectory(workDir);
    p.setProcessEnvironment(env);
    ChildRun r;
    QElapsedTimer t;
    t.start();
    p.start();
    if (!p.waitForStarted(-1)) {
        r.output = QStringLiteral("cannot start %1: %2").arg(program, p.errorString());
        return r;
    }
    p.waitForFinished(-1);
    r.seconds = double(t.nsecsElapsed()) / 1e9;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    r.output = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
    if (!r.ok && p.exitStatus() != QProcess::NormalExit) r.output += QStringLiteral("(crashed)\n");
    return r;
}

QString batchProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/taxferry-batch");
}

ChildRun runBatch(const QStringList& args, const QString& workDir, const QString& peakMemoryFile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!peakMemoryFile.isEmpty()) env.insert(QStringLiteral("TAXFERRY_PEAK_MEMORY"), peakMemoryFile);
    return runChild(batchProgram(), args, workDir, env);
}

void requireOk(const ChildRun& r, const QString& what) {
    if (r.ok) return;
    throw Failure{what + QStringLiteral(" failed:\n") + r.output.trimmed()};
}

int columnIndex(const QList<FieldInfo>& columns, const QString& name) {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QSet<qlonglong> interIds(Connection& c, const QString& table) {
    QSet<qlonglong> ids;
    c.forEachRow(QStringLiteral("select FInterID from ") + table, {}, nullptr,
                 [&](const QVariantList& row) { ids.insert(row.value(0).toLongLong()); });
    return ids;
}

// The rows of the table whose FInterID was not in the demo set: what the import wrote.
TableRows rowsAdded(Connection& c, const QString& table, const QSet<qlonglong>& before) {
    TableRows t{table, {}, {}};
    int key = -1;
    c.forEachRow(
        QStringLiteral("select * from ") + table, {},
        [&](const QList<FieldInfo>& cols) {
            t.columns = cols;
            key = columnIndex(cols, QStringLiteral("FInterID"));
        },
        [&](const QVariantList& row) {
            if (!before.contains(row.value(key).toLongLong())) t.rows << row;
        });
    if (key < 0) throw Failure{table + QStringLiteral(" has no FInterID")};
    return t;
}

qlonglong countRows(Connection& c, const QString& table) {
    return c.query(QStringLiteral("select count(*) from ") + table)->value(0).toLongLong();
}

// The time, the floor it is set against and the ratio; a second floor (the same rows through Qt SQL,
// where the first is the database's own interface) on a line of its own.
void printTime(const char* what, int invoices, int lines, double seconds, double floor, const char* floorName,
               double qtFloor) {
    const QString size = QStringLiteral("%1x%2").arg(invoices).arg(lines);
    std::printf("%-7s %-9s %7.2f s   floor %6.2f s  %6.1fx  (%s)\n", what, qPrintable(size), seconds, floor,
                floor > 0 ? seconds / floor : 0.0, floorName);
    if (qtFloor > 0)
        std::printf("%-17s %7s     floor %6.2f s  %6.1fx  (Qt SQL, one prepared statement)\n", "", "",
                    qtFloor, seconds / qtFloor);
    std::fflush(stdout);
}

} // namespace Bench
