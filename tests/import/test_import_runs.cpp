// The import's runs: backends, deadlocks, invoices imported once, progress, the period and lookups.
#include "test_import.h"

// An SQLite file through its ODBC driver has neither the function nor the stored procedure: the
// counter table numbers the invoices, and a write that changes nothing takes the import's lock.
void TestImport::importThroughOdbcToSqlite() {
    if (currentTestBackend() != TestBackend::SQLite)
        QSKIP("an SQLite file is the accounting set of this case");
#ifdef Q_OS_WIN
    QSKIP("Windows has no SQLite ODBC driver unless one is installed");
#endif
    db->acct->close();
    ConnectionPtr odbc =
        Connection::open(QStringLiteral("Provider=ODBC;Driver={SQLite3};Database=") + db->acctPath);
    QCOMPARE(odbc->dialect().server, DbServer::SQLite);
    Session viaOdbc = db->session;
    viaOdbc.gcnAcct = odbc;
    ImportEngine e(viaOdbc);
    writeGbkFile(file, issuedFile({invoice({}, {goodsLine({}), goodsLine({})}),
                                   invoice({.kind = "2"}, {goodsLine({})})}));
    QVERIFY(e.importToQor(file));
    QCOMPARE(rec->texts(), QStringList());
    odbc->close();
    db->acct = Connection::open(db->acctConnString());
    QCOMPARE(acctValue(kEntryIDs), "1009:1,1009:2,1010:3");
    QCOMPARE(acctState(), "10/20/7,5/1010");
}

// Another program holds the identifier counter and then wants the rule rows this import holds: the
// server breaks the deadlock by undoing the import, which rolls back whole and says why.
void TestImport::deadlockIsRolledBackAndReported() {
    if (currentTestBackend() == TestBackend::SQLite) QSKIP("an SQLite file has one writer at a time");
    const QString before = acctState();
    std::atomic<int> step{0};
    QString otherError;
    std::thread other([&] {
        try {
            ConnectionPtr c = Connection::open(db->acctConnString());
            // The import's own check must find the cycle first.
            c->exec(QStringLiteral("set deadlock_timeout = '20s'"));
            TransactionGuard tx(*c);
            c->exec(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum"));
            step = 1;
            while (step < 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            c->query(
                QStringLiteral("select fbilltypeid from t_billcoderule where fbilltypeid=80 for update"));
            tx.rollback();
        } catch (const DbError& e) {
            otherError = e.detailText();
        }
    });
    while (step < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    step = 2;
    const bool ok = importLines(oneInvoiceFile());
    other.join();
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QVERIFY(!ok);
    QCOMPARE(rec->texts().size(), 1);
    QVERIFY2(rec->texts().first().contains(QStringLiteral("发生冲突(死锁)")),
             qPrintable(rec->texts().first()));
    QCOMPARE(acctState(), before);
}

// An invoice of the tax system comes in once: a second import of it refuses the whole file (or, when
// asked, leaves it out); the ledger records what came in, in the import's transaction.
void TestImport::importedOnce_data() {
    QTest::addColumn<QString>("setup");      // configuration SQL before both imports
    QTest::addColumn<bool>("skip");          // the second import leaves out what came before
    QTest::addColumn<bool>("secondImports"); // the second import commits
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("counts"); // of the second import
    const QString refused =
        QStringLiteral("发票[3300061130-70000001]已经引入过(销售发票ZP000006)，不能重复引入!");
    QTest::newRow("imported before: refused whole")
        << "" << false << false << QStringList{refused} << "引入发票0张，商品行0行。";
    QTest::newRow("imported before: left out when asked")
        << "" << true << true << QStringList{} << "引入发票1张，商品行1行，跳过已引入的发票1张。";
    QTest::newRow("no 类别代码 among the fields: nothing to tell")
        << "update t_ImportField set FFieldDesc='代码' where FFieldDesc='类别代码'" << false << true
        << QStringList{}
        << "引入发票2张，商品行2行。引入字段设置中没有类别代码和发票号码，未能检查发票是否已经引入过。";
}

void TestImport::importedOnce() {
    QFETCH(QString, setup);
    QFETCH(bool, skip);
    QFETCH(bool, secondImports);
    QFETCH(QStringList, messages);
    QFETCH(QString, counts);
    if (!setup.isEmpty()) db->config->exec(setup);
    const QStringList first = invoice({.number = "70000001", .docNo = "XS0007"}, {goodsLine({})});
    const QStringList second = invoice({.number = "70000002"}, {goodsLine({})});
    ImportEngine e(db->session);
    writeGbkFile(file, issuedFile({first}));
    QVERIFY(e.importToQor(file));
    const QString before = acctState();
    writeGbkFile(file, issuedFile({first, second}));
    QCOMPARE(e.importToQor(file, skip), secondImports);
    QCOMPARE(rec->texts(), messages);
    QCOMPARE(e.countsText(), counts);
    if (!secondImports) QCOMPARE(acctState(), before);
    const bool guarded = setup.isEmpty();
    // Each invoice with the 销售单据编号 the tax system gave it (empty for one typed in by hand).
    QCOMPARE(acctValue("rows:select FTaxCode || '-' || FTaxNumber || '=' || FBillNo || '/' || FDocNo from "
                       "TF_Ledger where FDirection=1 order by FInterID"),
             guarded ? (secondImports ? "3300061130-70000001=ZP000006/XS0007,3300061130-70000002=ZP000007/"
                                      : "3300061130-70000001=ZP000006/XS0007")
                     : "");
}

// The import reports how far it is through the file; asked to stop, it leaves nothing of the file
// behind, also after some invoices were written to the database already.
void TestImport::progressAndCancel_data() {
    QTest::addColumn<int>("stopAt"); // the report that answers "stop"; 0 never
    QTest::newRow("to the end") << 0;
    QTest::newRow("stopped at the first invoice") << 1;
    QTest::newRow("stopped after rows went to the database") << 1800;
}

void TestImport::progressAndCancel() {
    QFETCH(int, stopAt);
    struct Recorder : ProgressSink {
        int stopAt = 0;
        QList<qint64> done;
        qint64 total = -1;
        int invoices = 0;
        bool report(qint64 d, qint64 t, int n) override {
            done << d;
            total = t;
            invoices = n;
            return stopAt == 0 || done.size() < stopAt;
        }
    } progress;
    progress.stopAt = stopAt;
    writeGbkFile(file, generatedFile(2000, 2));
    const QString before = acctState();
    ImportEngine e(db->session);
    e.setProgress(&progress);
    QCOMPARE(e.importToQor(file), stopAt == 0);
    QCOMPARE(e.cancelled(), stopAt != 0);
    QVERIFY(std::is_sorted(progress.done.begin(), progress.done.end()));
    QCOMPARE(progress.total, QFileInfo(file).size());
    if (stopAt == 0) {
        QCOMPARE(progress.done.last(), progress.total);
        QCOMPARE(progress.invoices, 2000);
        QVERIFY(rec->texts().isEmpty());
        return;
    }
    QCOMPARE(progress.done.size(), stopAt);
    QCOMPARE(rec->texts(), QStringList{"引入已取消，账套没有任何改变。"});
    QCOMPARE(acctState(), before);
    QCOMPARE(acctValue("select count(*) from TF_Ledger"), "0");
}

void TestImport::periodFromToday() {
    db->session.today = QDate(2027, 2, 3);
    QVERIFY(importLines(oneInvoiceFile({.date = "20260115"})));
    QCOMPARE(acctValue("select FDate,FYear,FPeriod,FFincDate from ICSale where FInterID=1009"),
             "2026-01-15 2027 2 2027-02-03");
}

void TestImport::noPeriodFailsWithoutMessage() {
    db->session.today = QDate(2050, 1, 1);
    const QString before = acctState();
    QVERIFY(!importLines(oneInvoiceFile()));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(acctState(), before);
}

void TestImport::lookupsOncePerImport() {
    QList<QStringList> invoices;
    const GoodsFields cup{.name = "不锈钢保温杯", .model = "500ml", .unit = "个"};
    for (int i = 0; i < 20; ++i)
        invoices << invoice({}, {goodsLine({}), goodsLine(cup), goodsLine({})});
    ImportEngine e(db->session);
    QVERIFY(importLines(issuedFile(invoices), &e));
    // customer, biller, checker, two units, two products: each once however often it occurs
    QCOMPARE(e.rules().lookupCount(), 7);
    QCOMPARE(acctValue("rows:select FItemID from ICSaleEntry where FInterID=1028 order by FEntryID"),
             "401,408,401");
    // A second import asks again: the accounting set may have changed in between.
    QVERIFY(importLines(oneInvoiceFile(), &e));
    QCOMPARE(e.rules().lookupCount(), 5);
}

void TestImport::itemMapLivesWithEngine() {
    const QStringList lines = oneInvoiceFile({.customer = "华远信息"});
    ImportEngine e(db->session);
    QVERIFY(!importLines(lines, &e));
    db->config->exec(QStringLiteral("insert into t_ItemMap values (1,'t_Organization','customer',"
                                    "'北京华远信息技术有限公司','101','华远信息')"));
    rec->clear();
    // The same window keeps the mappings it loaded; a new one sees the new row.
    QVERIFY(!importLines(lines, &e));
    QCOMPARE(rec->texts(), QStringList{"购方名称[华远信息]不存在或存在相同的记录!"});
    rec->clear();
    QVERIFY(importLines(lines));
    QCOMPARE(rec->texts(), QStringList());
}
