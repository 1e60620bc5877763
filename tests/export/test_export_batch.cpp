// taxferry-batch export: exit status, messages on stderr, filter handling.
#include "support/TestSupport.h"
#include <QProcess>
#include <QtTest/QtTest>

namespace {
struct Run {
    int exitCode = -1;
    QString err;
};

Run Batch(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH), QStringList{QStringLiteral("export")} + args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class TestExportBatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportCommand_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        QTest::addColumn<bool>("written");
        QTest::newRow("all invoices") << "1" << QStringList{} << 0 << "引出成功！\n" << true;
        QTest::newRow("date range") << "1" << QStringList{"--filter", "2026-01-01|2026-01-31"} << 0
                                    << "引出成功！\n"
                                    << true;
        QTest::newRow("nothing in range") << "1" << QStringList{"--filter", "2031-01-01|2031-01-31"} << 1
                                          << "引出的表头数据为空，引出失败！\n"
                                          << false;
        QTest::newRow("unknown link") << "42" << QStringList{} << 1 << "关联不存在，引出失败！\n" << false;
        QTest::newRow("date not yyyy-mm-dd")
            << "1" << QStringList{"--filter", "2026/1/1|"} << 2
            << "--filter: the two dates are written yyyy-mm-dd.\nusage: taxferry-batch export --acct CONN "
               "[--config "
               "Taxlink.db] --link ID --out FILE [--filter \"v0|v1|...|v13\"]\n"
            << false;
        QTest::newRow("fifteen values")
            << "1" << QStringList{"--filter", "||||||||||||||"} << 2
            << "--filter holds at most fourteen values.\nusage: taxferry-batch export --acct CONN [--config "
               "Taxlink.db] --link ID --out FILE [--filter \"v0|v1|...|v13\"]\n"
            << false;
    }
    void exportCommand() {
        QFETCH(QString, link);
        QFETCH(QStringList, extra);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrText);
        QFETCH(bool, written);
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        const Run r = Batch(QStringList{"--acct", db.acctConnString(), "--config", db.configPath, "--link",
                                        link, "--out", out} +
                            extra);
        QCOMPARE(r.err, stderrText);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(QFile::exists(out), written);
        if (written) QCOMPARE(ReadGbkFile(out).value(0), QStringLiteral("SJJK0101~~销售单据传入"));
    }

    void missingConfigDatabase() {
        TestDatabases db;
        const Run r = Batch({"--acct", db.acctConnString(), "--config", db.folder() + "/none.db", "--link",
                             "1", "--out", db.folder() + "/o.txt"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err,
                 QStringLiteral(
                     "调用(OpenConfigConnection)出错! 错误编号:-2147467259,错误原因:找不到数据库文件“") +
                     db.folder() + QStringLiteral("/none.db”。\n"));
    }
};

QTEST_GUILESS_MAIN(TestExportBatch)
#include "test_export_batch.moc"
