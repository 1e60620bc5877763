// The export engine's runs: previews, progress and cancel, line order and the writers' rules.
#include "test_export_engine.h"

// A preview lists the first documents only, and totals all of them; so with the invoices it leaves out.
void TestExportEngine::previewListsTheFirstDocuments_data() {
    QTest::addColumn<int>("limit");
    QTest::newRow("under the limit") << 1000;
    QTest::newRow("at the limit") << 3;
    QTest::newRow("over the limit") << 2;
    QTest::newRow("none listed") << 0;
}

void TestExportEngine::previewListsTheFirstDocuments() {
    QFETCH(int, limit);
    ExportSetup s;
    const QString all = conditions({});
    ExportEngine full(s.db.session);
    full.setPreview(true);
    QVERIFY(full.exportFile(s.path, all, "1"));
    const QList<ExportDoc> docs = full.preview();
    QCOMPARE(docs.size(), 3); // the special invoices ZP01, ZP02 and ZP'03

    ExportEngine capped(s.db.session);
    capped.setPreview(true);
    capped.setPreviewLimit(limit);
    QVERIFY(capped.exportFile(s.path, all, "1"));
    QStringList listed, expected;
    for (const ExportDoc& d : capped.preview())
        listed << d.docNo;
    for (const ExportDoc& d : docs.mid(0, limit))
        expected << d.docNo;
    QCOMPARE(listed, expected);
    ExportEngine::PreviewTotals sum;
    for (const ExportDoc& d : docs)
        sum.add(d);
    const ExportEngine::PreviewTotals& t = capped.previewTotals();
    QCOMPARE(t.documents, 3);
    QCOMPARE(t.lines, sum.lines);
    QCOMPARE(t.amount, sum.amount);
    QCOMPARE(t.tax, sum.tax);

    // Once exported, the same selection is left out whole: counted in full, listed up to the limit.
    QVERIFY(ExportEngine(s.db.session).exportFile(s.path, all, "1"));
    RecorderSink sink;
    ExportEngine again(s.db.session);
    again.setPreview(true);
    again.setPreviewLimit(limit);
    again.exportFile(s.path, all, "1");
    QCOMPARE(again.lastCounts().leftOut, 3);
    QCOMPARE(again.leftOutBills().size(), std::min(limit, 3));
    QCOMPARE(again.previewTotals().documents, 0);
}

// The export reports the lines it has read of all there are; asked to stop, it leaves the earlier
// file as it was, no file of its own and nothing in the ledger.
void TestExportEngine::progressAndCancel_data() {
    QTest::addColumn<bool>("stop");
    QTest::newRow("to the end") << false;
    QTest::newRow("stopped") << true;
}

void TestExportEngine::progressAndCancel() {
    QFETCH(bool, stop);
    ExportSetup s;
    writeOld(s.path);
    struct Recorder : ProgressSink {
        bool stop = false;
        QList<qint64> done;
        qint64 total = 0;
        bool report(qint64 d, qint64 t, int) override {
            done << d;
            total = t;
            return !stop;
        }
    } progress;
    progress.stop = stop;
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    exporter.setProgress(&progress);
    QCOMPARE(exporter.exportFile(s.path, conditions({"2026-01-01", "2026-01-31"}), "1"), !stop);
    QCOMPARE(exporter.cancelled(), stop);
    QVERIFY(!progress.done.isEmpty());
    if (stop) {
        QCOMPARE(progress.done.size(), 1);
        QCOMPARE(sink.texts(), QStringList{"引出已取消，引出文件没有改变。"});
        QCOMPARE(fileBytes(s.path), QByteArray("OLD\r\n"));
        QCOMPARE(QDir(s.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
        QVERIFY(!Ledger::exists(*s.db.acct) ||
                s.db.acct->query(QStringLiteral("select count(*) from TF_Ledger"))->value(0).toInt() == 0);
    } else {
        // The special invoices of January: ZP01 (two lines) and ZP02, three lines in all.
        QCOMPARE(progress.total, 3);
        QCOMPARE(progress.done, (QList<qint64>{1, 2, 3}));
        QVERIFY(fileBytes(s.path).startsWith("SJJK0101"));
    }
}

void TestExportEngine::linesFollowTheirInvoice() {
    ExportSetup s;
    makeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows"}, {"FNote"});
    // Inserted against the invoice-number order, lines of different invoices interleaved by id.
    addInvoice(*s.db.acct, 9, QStringLiteral("C3"), QStringLiteral("2025-01-01"), 80,
               {{1, 1, "C3-1"}, {1, 1, "C3-2"}, {1, 1, "C3-3"}});
    addInvoice(*s.db.acct, 5, QStringLiteral("A1"), QStringLiteral("2025-01-01"), 80, {{1, 1, "A1-1"}});
    addInvoice(*s.db.acct, 7, QStringLiteral("B2"), QStringLiteral("2025-01-01"), 80,
               {{1, 1, "B2-1"}, {1, 1, "B2-2"}});
    RecorderSink sink;
    QVERIFY(ExportEngine(s.db.session).exportFile(s.path, conditions({"2025-01-01", "2025-01-01"}), "1"));
    const QStringList lines = readGbkFile(s.path).mid(1);
    QStringList blocks; // each head line with its lines, in any order within the invoice
    for (int i = 0, n = 0; i < lines.size(); i += n + 1) {
        n = lines[i].section(QStringLiteral("~~"), 1, 1).toInt();
        QStringList body = lines.mid(i + 1, n);
        body.sort();
        blocks << lines[i] + u':' + body.join(u',');
    }
    QCOMPARE(blocks, (QStringList{"A1~~1:A1-1", "B2~~2:B2-1,B2-2", "C3~~3:C3-1,C3-2,C3-3"}));
}

// Templates and formulas are the user's own SQL, run where nothing can be changed: a template that
// calls a function that deletes fails like any broken template and leaves every row in place.
void TestExportEngine::templateThatWritesChangesNothing() {
    if (currentTestBackend() == TestBackend::SQLite)
        QSKIP("an SQLite query cannot call a function that writes; the read-only file is checked in "
              "test_common");
    ExportSetup s;
    makeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows"}, {"FNote"});
    s.db.acct->exec(QStringLiteral("create function tf_write() returns integer language sql as "
                                   "'delete from ICSaleEntry; select 0'"));
    s.db.config->exec(
        QStringLiteral("update t_OtherInfo set FSQL='select tf_write() as Frows' where Fkey='tbl2'"));
    const QString count = QStringLiteral("select count(*) from ICSaleEntry");
    const int before = s.db.acct->query(count)->value(0).toInt();
    QVERIFY(before > 0);
    RecorderSink sink;
    QVERIFY(!ExportEngine(s.db.session).exportFile(s.path, conditions({}), QStringLiteral("1")));
    QCOMPARE(sink.texts(), QStringList{QStringLiteral("语法错误，引出失败！")});
    QCOMPARE(s.db.acct->query(count)->value(0).toInt(), before);
}

// The writer on its own: heads without lines, Frows from RowsCount, head dates only, no body at all.
void TestExportEngine::writerRules_data() {
    QTest::addColumn<bool>("withBody");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("invoice without lines gets its head alone")
        << true
        << QStringList{"SJJK0101|销售单据传入", "A|3|20260105|20260105", "B|1||x", "B-line|2026-01-06"}
        << QStringList{};
    QTest::newRow("no body rows at all")
        << false << QStringList{} << QStringList{"引出的表体数据为空，引出失败！"};
}

void TestExportEngine::writerRules() {
    QFETCH(bool, withBody);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, messages);
    Recordset head({{"RowsCount", AdoType::Integer},
                    {"FbillNo", AdoType::VarWChar},
                    {"Frows", AdoType::Integer},
                    {"FDate", AdoType::DBDate},
                    {"FText", AdoType::VarWChar}},
                   {{3, "A", 0, QDate(2026, 1, 5), "2026-01-05"}, {1, "B", 0, QVariant(), "x"}});
    QList<QVariantList> bodyRows;
    if (withBody) bodyRows << QVariantList{"B", "B-line", QDate(2026, 1, 6)};
    Recordset body({{"FbillNo", AdoType::VarWChar}, {"FNote", AdoType::VarWChar}, {"FDate", AdoType::DBDate}},
                   bodyRows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.txt"));
    RecorderSink sink;
    QCOMPARE(writeTextFile(path, *cursorOf(head), bodyRowsOf(body), QStringLiteral("|")), messages.isEmpty());
    QCOMPARE(sink.texts(), messages);
    QCOMPARE(readGbkFile(path), lines);
}
