// taxferry-batch export: exit status, messages on stderr, filter handling.
#include "support/TestSupport.h"
#include <QProcess>
#include <QtTest/QtTest>

class TestExportBatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void exportCommand_data() {
        QTest::addColumn<QStringList>("args"); // replaces the defaults of the same name
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        const QString usage =
            QStringLiteral("\nusage: taxferry-batch export --acct CONN [--config Taxlink.db] "
                           "--link ID --out FILE [--filter \"v0|v1|...|v13\"]\n");
        QTest::newRow("all invoices") << QStringList{} << 0 << "引出成功！\n";
        QTest::newRow("date range") << QStringList{"--filter", "2026-01-01|2026-01-31"} << 0
                                    << "引出成功！\n";
        QTest::newRow("nothing in range")
            << QStringList{"--filter", "2031-01-01|2031-01-31"} << 1 << "引出的表头数据为空，引出失败！\n";
        QTest::newRow("unknown link") << QStringList{"--link", "42"} << 1 << "关联不存在，引出失败！\n";
        QTest::newRow("date not yyyy-mm-dd") << QStringList{"--filter", "2026/1/1|"} << 1
                                             << "--filter: the two dates are written yyyy-mm-dd." + usage;
        QTest::newRow("fifteen values") << QStringList{"--filter", "||||||||||||||"} << 1
                                        << "--filter holds at most fourteen values." + usage;
        QTest::newRow("no link") << QStringList{"--link", ""} << 1
                                 << "--acct, --link and --out are required." + usage;
        QTest::newRow("unpaired braces in the connection string")
            << QStringList{"--acct", "Provider=ODBC;Driver={FreeTDS;Server=x"} << 1
            << "--acct: the braces of the connection string do not pair up." + usage;
        QTest::newRow("missing configuration database")
            << QStringList{"--config", "@/none.db"} << 1
            << "调用(OpenConfigConnection)出错! "
               "错误编号:-2147467259,错误原因:找不到数据库文件“@/none.db”。\n";
    }
    void exportCommand() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrText);
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        QStringList all{"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1",
                        "--out",  out};
        for (int i = 0; i + 1 < args.size(); i += 2) {
            const int at = all.indexOf(args[i]);
            const QString value = QString(args[i + 1]).replace(u'@', db.folder());
            if (at < 0)
                all << args[i] << value;
            else
                all[at + 1] = value;
        }
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), all);
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), stderrText.replace(u'@', db.folder()));
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(QFile::exists(out), exitCode == 0);
        if (exitCode == 0) QCOMPARE(ReadGbkFile(out).value(0), QStringLiteral("SJJK0101~~销售单据传入"));
    }
};

QTEST_GUILESS_MAIN(TestExportBatch)
#include "test_export_batch.moc"
