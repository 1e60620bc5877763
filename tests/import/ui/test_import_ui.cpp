// The import window headless, and the batch tool's import as a separate process.
#include "InvoiceLines.h"
#include "app/ui/MessageBoxSink.h"
#include "common/DbProcedures.h"
#include "import/ui/ImportWindow.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QtTest>
#include <functional>

namespace {
template <typename... T> void addRow(const char* name, const T&... values) {
    (QTest::newRow(name) << ... << values);
}
QLineEdit* pathEdit(ImportWindow& w) {
    return w.findChild<QLineEdit*>(QStringLiteral("txtAIS"));
}
void clickOk(ImportWindow& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
}
} // namespace

class TestImportUi : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString good;
    QString bad;

    // A value of the accounting set as another process left it.
    QString acctValue(const QString& sql = QStringLiteral("select count(*) from ICSale")) {
        return Connection::open(db->acctConnString())->query(sql)->value(0).toString();
    }
    QProcess* startBatch(const QStringList& args) {
        auto* p = new QProcess(this);
        p->start(QStringLiteral(TAXFERRY_BATCH), QStringList{QStringLiteral("import")} + args);
        return p;
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
        good = db->folder() + QStringLiteral("/good.txt");
        bad = db->folder() + QStringLiteral("/bad.txt");
        writeGbkFile(good, issuedFile({invoice({}, {goodsLine({})})}));
        writeGbkFile(bad, issuedFile({invoice({}, {QStringLiteral("  ")})}));
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    void pathChecks_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        addRow("empty", "", "引入文件路径不可为空！");
        addRow("blanks only", "   ", "引入文件路径不可为空！");
        addRow("missing file", "/no/such/file.txt", "选定的引入文件不存在！");
        addRow("a folder is no file", "/tmp", "选定的引入文件不存在！");
    }
    void pathChecks() {
        QFETCH(QString, path);
        QFETCH(QString, message);
        ImportWindow w(db->session);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        pathEdit(w)->setText(path);
        w.findChild<QPushButton*>(QStringLiteral("cmdExit"))->setFocus();
        clickOk(w);
        QCOMPARE(rec->texts(), QStringList{message});
        QVERIFY(w.isVisible());
        QCOMPARE(w.focusWidget(), pathEdit(w));
        QCOMPARE(acctValue(), "8");
    }

    // The same file again: refused, the window stays open; with 跳过已引入的发票 ticked the rest comes in and
    // the window says what it did.
    void skipImportedInTheWindow() {
        for (bool skip : {false, true}) {
            ImportWindow w(db->session);
            w.show();
            pathEdit(w)->setText(good);
            w.findChild<QCheckBox*>(QStringLiteral("chkSkipImported"))->setChecked(skip);
            rec->clear();
            clickOk(w);
            QCOMPARE(rec->last(), skip ? QStringLiteral("文件中的1张发票都已引入过，本次没有引入新发票。")
                                       : QStringLiteral("引入成功!"));
            // Nothing new: the window stays for another file.
            QCOMPARE(w.isVisible(), skip);
            QCOMPARE(w.lblStatus->text(),
                     skip ? QStringLiteral("引入发票0张，商品行0行，跳过已引入的发票1张。")
                          : QStringLiteral("引入发票1张，商品行1行。"));
        }
        ImportWindow again(db->session);
        again.show();
        pathEdit(again)->setText(good);
        rec->clear();
        clickOk(again);
        QCOMPARE(rec->texts().size(), 2);
        QVERIFY(rec->texts().first().endsWith(QStringLiteral("不能重复引入!")));
        QCOMPARE(rec->texts().last(), QStringLiteral("引入失败!"));
        QVERIFY(again.isVisible());
        QCOMPARE(acctValue(), "9");
    }

    // While an import runs the window paints, but a second 确定 starts nothing and closing the window (or
    // Esc) stops the import, which leaves nothing behind; the window stays open after it.
    void runningImportIsNotEnteredAgain_data() {
        QTest::addColumn<QString>("during"); // what the user does while the file is read
        QTest::newRow("确定 again, then close") << "ok,close";
        QTest::newRow("Esc") << "esc";
    }
    void runningImportIsNotEnteredAgain() {
        QFETCH(QString, during);
        const QString big = db->folder() + QStringLiteral("/big.txt");
        writeGbkFile(big, generatedFile(3000, 2));
        ImportWindow w(db->session);
        w.show();
        pathEdit(w)->setText(big);
        bool okWhileRunning = true;
        QTimer::singleShot(0, &w, [&] {
            QVERIFY(w.isRunning());
            okWhileRunning = w.cmdOK->isEnabled();
            for (const QString& step : during.split(u','))
                if (step == u"ok")
                    QMetaObject::invokeMethod(&w, [&] { w.cmdOK->click(); });
                else if (step == u"close")
                    w.close();
                else
                    QTest::keyClick(&w, Qt::Key_Escape);
        });
        clickOk(w);
        QVERIFY(!okWhileRunning);
        QVERIFY(!w.isRunning());
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("引入已取消，账套没有任何改变。")});
        QVERIFY(w.isVisible());
        QVERIFY(w.cmdOK->isEnabled());
        QCOMPARE(acctValue(), "8");
    }

    // A failed import leaves the window open for another try; a path typed with blanks around it
    // imports, and success closes the window.
    void failureStaysOpenSuccessCloses() {
        ImportWindow w(db->session);
        w.show();
        pathEdit(w)->setText(bad);
        clickOk(w);
        QCOMPARE(rec->texts(), (QStringList{QStringLiteral("发票体行为空!"), QStringLiteral("引入失败!")}));
        QVERIFY(w.isVisible());
        QCOMPARE(pathEdit(w)->text(), bad);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(acctValue(), "8");
        rec->clear();
        pathEdit(w)->clear();
        QTest::keyClicks(pathEdit(w), QStringLiteral("  ") + good + QStringLiteral(" "));
        clickOk(w);
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("引入成功!")});
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(acctValue(), "9");
    }

    // A refusal found at the end of a long file: its message is shown with the progress dialog out of the
    // way, on top, and answers to Enter and to Esc; the dialog does not come back over it while it waits.
    void messageOverRunningImport_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void messageOverRunningImport() {
        QFETCH(int, key);
        const QString last = db->folder() + QStringLiteral("/last.txt");
        const QString big = db->folder() + QStringLiteral("/big.txt");
        // The big file's last five invoices, imported before: the refusal comes near its end.
        writeGbkFile(last, generatedFile(5, 2, 2996));
        writeGbkFile(big, generatedFile(3000, 2));
        {
            ImportWindow first(db->session);
            first.show();
            pathEdit(first)->setText(last);
            clickOk(first);
            QCOMPARE(rec->last(), QStringLiteral("引入成功!"));
        }
        const QString before = acctValue();
        MessageBoxSink boxes;
        MessageSink* previous = setMessageSink(&boxes);
        ImportWindow w(db->session);
        w.setProgressDelay(0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        pathEdit(w)->setText(big);
        bool progressShown = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* d = w.findChild<QProgressDialog*>(QStringLiteral("dlgProgress")))
                progressShown = progressShown || d->isVisible();
        });
        watch.start(5);
        struct Seen {
            QString text;
            bool onTop = false;
            bool progressAside = false;
            bool stillOnTop = false;
            bool closedByKey = false;
        };
        QList<Seen> seen;
        std::function<void()> answerNext = [&] {
            whenModalOf<QMessageBox>([&](QMessageBox* box) {
                Seen s;
                s.text = box->text();
                s.onTop = QApplication::activeModalWidget() == box;
                auto* d = w.findChild<QProgressDialog*>(QStringLiteral("dlgProgress"));
                s.progressAside = !d || !d->isVisible();
                // Longer than the dialog's old show timer.
                QTest::qWait(400);
                s.stillOnTop = QApplication::activeModalWidget() == box && (!d || !d->isVisible());
                QPointer<QMessageBox> guard(box);
                QTest::keyClick(box, Qt::Key(key));
                QTest::qWait(20);
                s.closedByKey = guard.isNull() || !guard->isVisible();
                seen << s;
                if (seen.size() < 2)
                    answerNext();
                else if (guard)
                    guard->done(0);
            });
        };
        answerNext();
        clickOk(w);
        watch.stop();
        setMessageSink(previous);
        QVERIFY(progressShown);
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen[0].text.endsWith(QStringLiteral("不能重复引入!")), qPrintable(seen[0].text));
        QCOMPARE(seen[1].text, QStringLiteral("引入失败!"));
        for (const Seen& s : seen) {
            QVERIFY(s.onTop);
            QVERIFY(s.progressAside);
            QVERIFY(s.stillOnTop);
            QVERIFY(s.closedByKey);
        }
        QVERIFY(w.isVisible());
        QVERIFY(w.cmdOK->isEnabled());
        QCOMPARE(acctValue(), before);
    }

    void fileDialog_data() {
        QTest::addColumn<bool>("pick");
        addRow("cancel leaves the path", false);
        addRow("a picked file fills the path", true);
    }
    void fileDialog() {
        QFETCH(bool, pick);
        ImportWindow w(db->session);
        w.show();
        pathEdit(w)->setText(QStringLiteral("earlier.txt"));
        QString seen;
        whenModal([&](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            if (!d) return;
            seen = d->windowTitle() + u'|' + d->nameFilters().join(u';');
            if (!pick) return d->reject();
            // The dialog fills its list in a thread and resets the name box when done: wait for that, then
            // type the name as a user would and close with done(), which does not consult that list.
            if (auto* model = d->findChild<QFileSystemModel*>()) {
                QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
                d->setDirectory(QFileInfo(good).absolutePath());
                loaded.wait(3000);
                QTest::qWait(50);
            }
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(good).fileName());
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        QTest::mouseClick(w.findChild<QToolButton*>(QStringLiteral("cmdOpen")), Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("选择要引入的税控系统发票文件|文本文件(*.txt)"));
        QCOMPARE(pathEdit(w)->text(), pick ? good : QStringLiteral("earlier.txt"));
        QTRY_COMPARE(QApplication::activeWindow(), &w);
        if (!pick) return;
        // The next key is 确定's: Enter, or Alt+O from anywhere in the window.
        QCOMPARE(w.focusWidget(), w.cmdOK);
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(rec->last(), QStringLiteral("引入成功!"));
        QVERIFY(!w.isVisible());
    }

    // taxferry-batch import; ACCT and CONFIG stand for the test's sets, *.txt for files in its folder.
    void batch_data() {
        QTest::addColumn<QString>("args"); // separated by "|"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        QTest::addColumn<QString>("heads");
        addRow("success", "--acct|ACCT|--config|CONFIG|good.txt", 0, "引入成功!\n", "9");
        addRow("engine failure", "--acct|ACCT|--config|CONFIG|bad.txt", 1, "发票体行为空!\n引入失败!\n", "8");
        addRow("missing file", "--acct|ACCT|--config|CONFIG|none.txt", 1,
               "调用(ImportToQor)出错! 错误编号:53,错误原因:文件未找到\n引入失败!\n", "8");
        addRow("no accounting set", "--acct|Provider=SQLite;Data Source=/no/acct.db|--config|CONFIG|good.txt",
               1, "找不到数据库文件“/no/acct.db”。\n引入失败!\n", "8");
        addRow("no file named", "--acct|ACCT|--config|CONFIG", 1,
               "usage: taxferry-batch import --acct CONN [--config Taxlink.db] [--skip-imported] PATH...\n",
               "8");
    }
    void batch() {
        QFETCH(QString, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrText);
        QFETCH(QString, heads);
        QStringList list = args.split(u'|');
        for (QString& a : list)
            a = a == u"ACCT"          ? db->acctConnString()
                : a == u"CONFIG"      ? db->configPath
                : a.endsWith(u".txt") ? db->folder() + u'/' + a
                                      : a;
        db->acct->close();
        QProcess* p = startBatch(list);
        QVERIFY(p->waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p->readAllStandardError()), stderrText);
        QCOMPARE(p->exitCode(), exitCode);
        QCOMPARE(acctValue(), heads);
    }

    // The batch tool says on stdout what it did; the same file again is refused, or with
    // --skip-imported left out.
    void batchSkipsWhatCameBefore() {
        db->acct->close();
        const QStringList base{QStringLiteral("--acct"), db->acctConnString(), QStringLiteral("--config"),
                               db->configPath};
        struct Run {
            QStringList extra;
            int exitCode;
            QString out, err;
        };
        writeGbkFile(good, issuedFile({invoice({.number = "80000001"}, {goodsLine({})})}));
        for (const Run& r :
             {Run{{}, 0, "引入发票1张，商品行1行。\n", "引入成功!\n"},
              Run{{},
                  1,
                  "",
                  "发票[3300061130-80000001]已经引入过(销售发票ZP000006)，不能重复引入!\n引入失败!\n"},
              Run{{QStringLiteral("--skip-imported")},
                  0,
                  "引入发票0张，商品行0行，跳过已引入的发票1张。\n",
                  "文件中的1张发票都已引入过，本次没有引入新发票。\n"}}) {
            QProcess* p = startBatch(base + r.extra + QStringList{good});
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(QString::fromUtf8(p->readAllStandardError()), r.err);
            QCOMPARE(QString::fromUtf8(p->readAllStandardOutput()), r.out);
            QCOMPARE(p->exitCode(), r.exitCode);
        }
        QCOMPARE(acctValue(), QStringLiteral("9"));
    }

    // Four clerks import into one accounting set at the same time, two files starting with a special
    // invoice and two with an ordinary one (locking the rules of the two kinds in opposite orders would
    // deadlock): each waits for the one before it, and no bill number or identifier is handed out twice.
    void fourImportsAtOnce() {
        const int invoices = 150, lines = 3, block = 2 + lines;
        QList<QStringList> contents;
        for (int i = 0; i < 4; ++i) {
            // Every file its own invoices of the tax system.
            QStringList file = generatedFile(invoices + 4, lines, 1 + i * 1000);
            file.removeAt(1); // the invoice count: the files are cut below
            // Invoice 4 is the first ordinary one: the shifted files start with it.
            const int skip = i % 2 == 0 ? 0 : 4;
            file.remove(1, skip * block);
            file.resize(1 + invoices * block);
            contents << file;
        }
        const auto kind = [](const QString& head) { return head.section(QStringLiteral("~~"), 2, 2); };
        QCOMPARE(kind(contents[1][2]), QStringLiteral("2"));
        QCOMPARE(kind(contents[0][2]), QStringLiteral("0"));
        QStringList files;
        for (int i = 0; i < contents.size(); ++i) {
            files << db->folder() + QStringLiteral("/f%1.txt").arg(i);
            writeGbkFile(files.last(), contents[i]);
        }
        const int before = acctValue().toInt();
        db->acct->close();
        QList<QProcess*> runs;
        for (const QString& f : files)
            runs << startBatch({QStringLiteral("--acct"), db->acctConnString(), QStringLiteral("--config"),
                                db->configPath, f});
        for (QProcess* p : runs) {
            QVERIFY(p->waitForFinished(300000));
            QCOMPARE(QString::fromUtf8(p->readAllStandardError()), QStringLiteral("引入成功!\n"));
            QCOMPARE(p->exitCode(), 0);
        }
        const int total = before + 4 * invoices;
        QCOMPARE(
            acctValue("select count(*) || '/' || count(distinct FBillNo) || '/' || max(FInterID) || '/' || "
                      "(select FMaxNum from t_ICMaxNum) from ICSale"),
            QStringLiteral("%1/%1/%2/%2").arg(total).arg(1000 + total));
        QCOMPARE(acctValue("select count(*) from ICSaleEntry where FInterID>1008"),
                 QString::number(4 * invoices * lines));
    }
};

QTEST_MAIN(TestImportUi)
#include "test_import_ui.moc"
