// taxferry-batch export and the ledger: invoices exported once, left out, refused writes, previews.
#include "test_export_batch.h"

namespace {
// The invoices an export wrote, from its count line "引出发票N张，商品行M行。".
int written(const QString& counts) {
    return QRegularExpression(QStringLiteral("引出发票(\\d+)张")).match(counts).captured(1).toInt();
}
} // namespace

// An invoice goes out once: the next export leaves it out (and says how many), unless asked to include
// it; invoices that came in from the tax system never go back unasked.
void TestExportBatch::exportedOnce() {
    TestDatabases db;
    const QString out = db.folder() + QStringLiteral("/out.txt");
    auto run = [&](const QStringList& extra, const QString& filter = QString()) {
        const BatchRun r = exportLink1(
            db, out, (filter.isEmpty() ? QStringList() : QStringList{"--filter", filter}) + extra);
        return QStringList{r.exitCode, r.err, r.out};
    };
    // January first.
    const QStringList first = run({}, "2026-01-01|2026-01-31");
    QCOMPARE(first.value(0), "0");
    QCOMPARE(first.value(1), "引出成功！\n");
    QVERIFY2(first.value(2).startsWith(QStringLiteral("引出发票")), qPrintable(first.value(2)));
    const QStringList firstFile = readGbkFile(out);
    const int january = written(first.value(2));
    QCOMPARE(run({}, "2026-01-01|2026-01-31"),
             (QStringList{"1", QStringLiteral("所选的%1张发票均已引出过，本次未引出。\n").arg(january), ""}));
    QCOMPARE(run({"--include-exported"}, "2026-01-01|2026-01-31").value(0), "0");
    QCOMPARE(readGbkFile(out), firstFile);
    // The whole quarter: January's are left out, the rest goes.
    const QStringList all = run({});
    QCOMPARE(all.value(0), "0");
    QVERIFY2(all.value(1).startsWith(QStringLiteral("已有")) &&
                 all.value(1).endsWith(QStringLiteral("张发票引出过，本次未引出。\n引出成功！\n")),
             qPrintable(all.value(1)));
    const QStringList rest = readGbkFile(out);
    QVERIFY(!rest.contains(firstFile.value(1)));
    // An invoice that came in from the tax system stays out of the next export.
    db.acct->exec(
        QStringLiteral("insert into TF_Ledger (FDirection, FBillNo) select 1, FBillNo from ICSale"));
    const QStringList again = run({"--include-exported"});
    QCOMPARE(again.value(0), "0");
    QCOMPARE(run({}),
             (QStringList{
                 "1", QStringLiteral("所选的%1张发票均已引出过，本次未引出。\n").arg(written(again.value(2))),
                 ""}));
}

// Invoices that only came in from the tax system: nothing goes out, and the tool says why.
void TestExportBatch::leftOutFromTheTaxSystem() {
    TestDatabases db;
    const QString out = db.folder() + QStringLiteral("/out.txt");
    auto run = [&](const QStringList& extra) {
        const BatchRun r = exportLink1(db, out, extra);
        return QStringList{r.exitCode, r.err, r.out};
    };
    Ledger::ensure(*db.acct);
    db.acct->exec(
        QStringLiteral("insert into TF_Ledger (FDirection, FBillNo) select 1, FBillNo from ICSale"));
    const QStringList refused = run({});
    QVERIFY(!QFileInfo::exists(out));
    const QStringList all = run({"--include-exported"});
    QCOMPARE(all.value(0), "0");
    QCOMPARE(
        refused,
        (QStringList{
            "1", QStringLiteral("所选的%1张发票均由税控系统引入，本次未引出。\n").arg(written(all.value(2))),
            ""}));
}

// Two exports of the same invoices started together: one waits for the other's ledger rows, so every
// invoice goes out once, in one of the two files, and the ledger holds it once.
void TestExportBatch::twoExportsAtOnce() {
    TestDatabases db;
    // 600 invoices of the tax system's kind the link exports, come in from a generated file.
    const QString issued = db.folder() + QStringLiteral("/issued.txt");
    writeGbkFile(issued, generatedFile(750, 2, 70000001));
    QProcess import;
    import.start(QStringLiteral(TAXFERRY_BATCH),
                 {"import", "--acct", db.acctConnString(), "--config", db.configPath, issued});
    QVERIFY(import.waitForFinished(300000));
    QCOMPARE(import.exitCode(), 0);
    // What came in by import counts as gone to the tax system: taken back out, so it can go.
    db.acct->exec(QStringLiteral("delete from TF_Ledger"));
    const int special =
        db.acct->query(QStringLiteral("select count(*) from ICSale where FTranType=80"))->value(0).toInt();
    QVERIFY(special > 600);
    QList<QProcess*> runs;
    QStringList outs;
    for (int i = 0; i < 2; ++i) {
        outs << db.folder() + QStringLiteral("/out%1.txt").arg(i);
        auto* p = new QProcess(this);
        p->start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                  db.configPath, "--link", "1", "--out", outs.last()});
        runs << p;
    }
    QStringList bills;
    for (int i = 0; i < 2; ++i) {
        QVERIFY(runs[i]->waitForFinished(300000));
        const QString err = QString::fromUtf8(runs[i]->readAllStandardError());
        // The second finds nothing left, or what the first had not taken.
        QVERIFY2(runs[i]->exitCode() == 0 ||
                     QRegularExpression(QStringLiteral("^所选的\\d+张发票均已引出过，本次未引出。\n$"))
                         .match(err)
                         .hasMatch(),
                 qPrintable(err));
        if (runs[i]->exitCode() != 0) continue;
        for (const QString& line : readGbkFile(outs[i]).mid(1))
            if (line.startsWith(u'Z')) bills << line.section(QStringLiteral("~~"), 0, 0);
    }
    QCOMPARE(bills.size(), special);
    QCOMPARE(QSet<QString>(bills.begin(), bills.end()).size(), special);
    QCOMPARE(
        db.acct->query(QStringLiteral("select count(*), count(distinct FBillNo) from TF_Ledger"))->allRows(),
        (QList<QVariantList>{{special, special}}));
    qDeleteAll(runs);
}

// A ledger that cannot be written fails the export: the earlier file stays, the invoices go again.
void TestExportBatch::refusedLedgerWrite() {
    TestDatabases db;
    const QString out = db.folder() + QStringLiteral("/out.txt");
    QFile earlier(out);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier\r\n");
    earlier.close();
    // The ledger refuses every new row.
    db.acct->exec(QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), "
                                 "FTaxCode varchar(40), FTaxNumber varchar(40), FInterID integer, FBillNo "
                                 "varchar(80), FLinkID integer, FFileName varchar(255), FTime varchar(20), "
                                 "FUserName varchar(80), FDocNo varchar(80), FState integer default 0, "
                                 "FIssueState varchar(20), FIssueDate varchar(10), FIssuedAmount float, "
                                 "FIssuedTax float, FAmount float, FTax float check (FTax < -1e9))"));
    const BatchRun r = exportLink1(db, out, {});
    const QStringList err = r.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(err.value(0), QStringLiteral("未能在账套中记下这些发票已经引出，引出失败，引出文件没有改变。"));
    QVERIFY2(err.value(1).startsWith(QStringLiteral("详细信息:")), qPrintable(err.value(1)));
    QCOMPARE(r.exitCode, "1");
    QCOMPARE(r.out, QString());
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier\r\n"));
    QCOMPARE(db.acct->query(QStringLiteral("select count(*) from TF_Ledger"))->value(0).toInt(), 0);
}

// Proof mode writes nothing, neither the file nor the ledger: a real export afterwards still takes
// every invoice the preview listed, with the lines and sums it said.
void TestExportBatch::previewWritesNothing() {
    TestDatabases db;
    const QString out = db.folder() + QStringLiteral("/out.txt");
    const BatchRun p = exportLink1(db, out, {"--preview"});
    QCOMPARE(p.exitCode, "0");
    QCOMPARE(p.err, QString());
    const QStringList lines = p.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!QFile::exists(out));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.first(), QStringLiteral("ZP000001\t2\t21750.00\t2827.50"));
    QCOMPARE(lines.last(), QStringLiteral("合计5张\t10\t174132.00\t22637.16"));
    const BatchRun real = exportLink1(db, out, {});
    QCOMPARE(real.err, QStringLiteral("引出成功！\n"));
    QCOMPARE(real.out, QStringLiteral("引出发票5张，商品行10行。\n"));
    int heads = 0;
    for (const QString& line : readGbkFile(out))
        heads += line.startsWith(QStringLiteral("ZP"));
    QCOMPARE(heads, 5);
}
