// The timed export: every 专用发票 of a set out, against the two templates' query fetched and written.
#include "InvoiceLines.h"
#include "batch/Bench.h"
#include "common/GbkCodec.h"
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace Bench {

// The export's two templates as one query, the filter open but for the range, fetched and written as GBK
// lines.
ExportFloor exportFloor(const QString& acct, const QString& configPath, const QString& outPath,
                        const QString& firstBill, const QString& lastBill) {
    ConnectionPtr config = Connection::open(sqliteConn(configPath));
    const auto templ = [&](const char* key) {
        const RecordsetPtr rs = config->query(QStringLiteral("select FSQL from t_OtherInfo where Fkey=?"),
                                              {QString::fromLatin1(key)});
        if (rs->atEnd())
            throw Failure{QStringLiteral("Taxlink.db has no template ") + QString::fromLatin1(key)};
        return rs->value(0).toString();
    };
    static const QRegularExpression filter(QStringLiteral("\\{filter\\d+\\}"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString head = templ("tbl1");
    head.replace(filter, QStringLiteral("1=1"));
    // The template's where is its last clause: the range joins it as the export's own conditions do.
    QString range;
    QVariantList params;
    if (!firstBill.isEmpty()) {
        range = QStringLiteral(" and t1.FBillNo>=? and t1.FBillNo<=?");
        params << firstBill << lastBill;
    }
    const QString sql = QStringLiteral("select * from (") + head + range +
                        QStringLiteral(" and t9.FID=80) aa, (") + templ("tbl2") + QStringLiteral(") bb");
    ConnectionPtr c = Connection::open(acct, Connection::Mode::ReadOnly);
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Failure{QStringLiteral("cannot write ") + outPath};
    ExportFloor r;
    int billNo = -1;
    QStringList fields;
    QByteArray line;
    QElapsedTimer timer;
    timer.start();
    // Through a cursor, as the export reads its rows.
    const std::unique_ptr<Connection::Cursor> cursor = c->openCursor(sql, params);
    billNo = columnIndex(cursor->fields(), QStringLiteral("FbillNo"));
    for (QVariantList row; cursor->next(row);) {
        fields.clear();
        for (const QVariant& v : row)
            fields << v.toString();
        if (!encodeGbk(fields.join(QStringLiteral("~~")), line)) throw Failure{QStringLiteral("row not GBK")};
        out.write(line);
        out.write("\r\n", 2);
        ++r.rows;
    }
    out.close();
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    // Not timed: the bill numbers a head line of the real export must start with.
    if (billNo < 0) throw Failure{QStringLiteral("the export template has no FbillNo")};
    c->forEachRow(sql, params, nullptr, [&](const QVariantList& row) {
        QByteArray b;
        if (encodeGbk(row.value(billNo).toString(), b)) r.billNos.insert(b);
    });
    return r;
}

namespace {

// Head lines (first field a bill number of the set) and all lines of an export file.
void countExportLines(const QString& path, const QString& sep, const QSet<QByteArray>& billNos,
                      qlonglong& heads, qlonglong& lines) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw Failure{QStringLiteral("the export wrote no file ") + path};
    QByteArray s;
    encodeGbk(sep, s);
    heads = lines = 0;
    while (!f.atEnd()) {
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        ++lines;
        const qsizetype end = line.indexOf(s);
        if (billNos.contains(end < 0 ? line : line.left(end))) ++heads;
    }
}

} // namespace

void measureExport(AcctSets& sets, const QString& config, const QString& dir, int invoices, int rounds) {
    // Export: a set holding the generated invoices (imported untimed), then every 专用发票 of it out.
    const int exportLines = 3;
    const QString exportFile = dir + QStringLiteral("/issued_%1x%2.txt").arg(invoices).arg(exportLines);
    writeIssuedFile(exportFile, generatedFile(invoices, exportLines));
    const QString exportSet = sets.make(QStringLiteral("export"), false);
    requireOk(runBatch({QStringLiteral("import"), QStringLiteral("--acct"), exportSet,
                        QStringLiteral("--config"), config, exportFile},
                       dir),
              QStringLiteral("taxferry-batch import of the export set"));
    const QString outFile = dir + QStringLiteral("/export.txt");
    // The set's invoices came in by import: the export leaves such invoices out unless asked.
    double exportSeconds = 0;
    ExportFloor ef;
    for (int round = 0; round < rounds; ++round) {
        const ChildRun exp =
            runBatch({QStringLiteral("export"), QStringLiteral("--acct"), exportSet,
                      QStringLiteral("--config"), config, QStringLiteral("--link"), QStringLiteral("1"),
                      QStringLiteral("--out"), outFile, QStringLiteral("--include-exported")},
                     dir);
        requireOk(exp, QStringLiteral("taxferry-batch export"));
        ExportFloor floor = exportFloor(exportSet, config, dir + QStringLiteral("/export_floor.txt"));
        exportSeconds = round == 0 ? exp.seconds : std::min(exportSeconds, exp.seconds);
        if (round == 0 || floor.seconds < ef.seconds) ef = std::move(floor);
    }
    qlonglong heads = 0, lines = 0;
    countExportLines(outFile, QStringLiteral("~~"), ef.billNos, heads, lines);
    // Every fifth generated invoice is an ordinary one and stays in.
    const qlonglong generatedOut = invoices - invoices / 5;
    if (heads != ef.billNos.size() || heads < generatedOut || lines != 1 + heads + ef.rows)
        throw Failure{QStringLiteral("the export wrote %1 lines with %2 invoice heads; expected %3 heads (at "
                                     "least %4 generated) and %5 lines")
                          .arg(lines)
                          .arg(heads)
                          .arg(ef.billNos.size())
                          .arg(generatedOut)
                          .arg(1 + ef.billNos.size() + ef.rows)};
    printTime("export", invoices, exportLines, exportSeconds, ef.seconds,
              "the two templates' query, written");
}

} // namespace Bench
