// The import window headless, and the batch tool's import as a separate process.
#include "InvoiceLines.h"
#include "common/modFunction.h"
#include "import/frmImportTxt.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QtTest/QtTest>

namespace {
int Count(Connection& c, const QString& sql) {
    return c.Query(sql)->value(0).toInt();
}
const QString kHeads = QStringLiteral("select count(*) from ICSale");
} // namespace

class TestImportUi : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString good;
    QString bad;

    struct BatchResult {
        int exitCode = -1;
        QString stderrText;
    };
    BatchResult RunBatch(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), QStringList{QStringLiteral("import")} << args);
        if (!p.waitForFinished(120000)) return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }

private Q_SLOTS:
    void init() {
        db = std::make_unique<TestDatabases>();
        db->installGlobals();
        rec = std::make_unique<RecorderSink>();
        SetTodayForTesting(QDate(2026, 4, 10));
        good = db->folder() + QStringLiteral("/good.txt");
        bad = db->folder() + QStringLiteral("/bad.txt");
        WriteGbkFile(good, IssuedFile({Invoice({}, {GoodsLine({})})}));
        WriteGbkFile(bad, IssuedFile({Invoice({}, {QStringLiteral("  ")})}));
    }
    void cleanup() {
        rec.reset();
        db.reset();
        SetTodayForTesting(QDate());
    }

    void pathChecks_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "引入文件路径不可为空！";
        QTest::newRow("blanks only") << "   "
                                     << "引入文件路径不可为空！";
        QTest::newRow("missing file") << "/no/such/file.txt"
                                      << "选定的引入文件不存在！";
        QTest::newRow("a folder is no file") << "/tmp"
                                             << "选定的引入文件不存在！";
    }
    void pathChecks() {
        QFETCH(QString, path);
        QFETCH(QString, message);
        frmImportTxt w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* txt = w.findChild<QLineEdit*>(QStringLiteral("txtAIS"));
        txt->setText(path);
        w.findChild<QPushButton*>(QStringLiteral("cmdExit"))->setFocus();
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(rec->texts(), QStringList{message});
        QVERIFY(w.isVisible());
        QCOMPARE(w.focusWidget(), txt);
        QCOMPARE(Count(*db->acct, kHeads), 8);
    }

    void successCloses() {
        frmImportTxt w;
        w.show();
        auto* txt = w.findChild<QLineEdit*>(QStringLiteral("txtAIS"));
        QTest::keyClicks(txt, QStringLiteral("  ") + good + QStringLiteral(" "));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("引入成功!")});
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(Count(*db->acct, kHeads), 9);
    }

    void failureStaysOpen() {
        frmImportTxt w;
        w.show();
        auto* txt = w.findChild<QLineEdit*>(QStringLiteral("txtAIS"));
        txt->setText(bad);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(rec->texts(), (QStringList{QStringLiteral("发票体行为空!"), QStringLiteral("引入失败!")}));
        QVERIFY(w.isVisible());
        QCOMPARE(txt->text(), bad);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(Count(*db->acct, kHeads), 8);
        // The same window can try again with another file.
        rec->clear();
        txt->setText(good);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("引入成功!")});
        QCOMPARE(Count(*db->acct, kHeads), 9);
    }

    void exitCloses() {
        frmImportTxt w;
        w.show();
        w.findChild<QLineEdit*>(QStringLiteral("txtAIS"))->setText(good);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdExit")), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(Count(*db->acct, kHeads), 8);
        QCOMPARE(rec->texts(), QStringList());
    }

    void fileDialog_data() {
        QTest::addColumn<bool>("pick");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cancel leaves the path") << false << "earlier.txt";
        QTest::newRow("a picked file fills the path") << true << "";
    }
    void fileDialog() {
        QFETCH(bool, pick);
        QFETCH(QString, expected);
        if (expected.isEmpty()) expected = good;
        frmImportTxt w;
        w.show();
        auto* txt = w.findChild<QLineEdit*>(QStringLiteral("txtAIS"));
        txt->setText(QStringLiteral("earlier.txt"));
        QString title;
        QString filter;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            title = d->windowTitle();
            filter = d->nameFilters().join(u';');
            if (pick) {
                d->selectFile(good);
                static_cast<QDialog*>(d)->accept();
            } else {
                d->reject();
            }
        });
        QTest::mouseClick(w.findChild<QToolButton*>(QStringLiteral("cmdOpen")), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Orvane"));
        QCOMPARE(filter, QStringLiteral("文本文件(*.txt)"));
        QCOMPARE(txt->text(), expected);
    }

    // ---- taxferry-batch import ----

    void batch_data() {
        QTest::addColumn<bool>("useGood");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        QTest::addColumn<int>("heads");
        QTest::newRow("success") << true << 0 << "引入成功!\n" << 9;
        QTest::newRow("failure") << false << 1 << "发票体行为空!\n引入失败!\n" << 8;
    }
    void batch() {
        QFETCH(bool, useGood);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrText);
        QFETCH(int, heads);
        db->acct->Close();
        const BatchResult r = RunBatch({QStringLiteral("--acct"), db->acctConnString(),
                                        QStringLiteral("--config"), db->configPath, useGood ? good : bad});
        QCOMPARE(r.stderrText, stderrText);
        QCOMPARE(r.exitCode, exitCode);
        ConnectionPtr c = Connection::open(db->acctConnString());
        QCOMPARE(Count(*c, kHeads), heads);
    }

    void batchUsageAndConnection() {
        QCOMPARE(RunBatch({QStringLiteral("--acct"), db->acctConnString()}).exitCode, 2);
        const BatchResult r =
            RunBatch({QStringLiteral("--acct"), QStringLiteral("Provider=SQLite;Data Source=/no/acct.db"),
                      QStringLiteral("--config"), db->configPath, good});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.stderrText, QStringLiteral("找不到数据库文件“/no/acct.db”。\n引入失败!\n"));
    }

    // Two clerks import into one accounting set at the same time: each waits for the other's
    // transaction, and no bill number or identifier is handed out twice.
    void twoImportsAtOnce() {
        const QString a = db->folder() + QStringLiteral("/a.txt");
        const QString b = db->folder() + QStringLiteral("/b.txt");
        WriteGbkFile(a, GeneratedFile(150, 3));
        WriteGbkFile(b, GeneratedFile(150, 3));
        db->acct->Close();
        const QStringList common{QStringLiteral("import"), QStringLiteral("--acct"), db->acctConnString(),
                                 QStringLiteral("--config"), db->configPath};
        QProcess pa, pb;
        pa.start(QStringLiteral(TAXFERRY_BATCH), QStringList(common) << a);
        pb.start(QStringLiteral(TAXFERRY_BATCH), QStringList(common) << b);
        QVERIFY(pa.waitForFinished(120000));
        QVERIFY(pb.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(pa.readAllStandardError()), QStringLiteral("引入成功!\n"));
        QCOMPARE(QString::fromUtf8(pb.readAllStandardError()), QStringLiteral("引入成功!\n"));
        ConnectionPtr c = Connection::open(db->acctConnString());
        QCOMPARE(Count(*c, kHeads), 308);
        QCOMPARE(Count(*c, QStringLiteral("select count(distinct FBillNo) from ICSale")), 308);
        QCOMPARE(Count(*c, QStringLiteral("select max(FInterID) from ICSale")), 1308);
        QCOMPARE(Count(*c, QStringLiteral("select FMaxNum from t_ICMaxNum")), 1308);
        QCOMPARE(Count(*c, QStringLiteral("select fprojectval from t_billcoderule where fbilltypeid=80 and "
                                          "fprojectid=3")),
                 6 + 240);
    }
};

QTEST_MAIN(TestImportUi)
#include "test_import_ui.moc"
