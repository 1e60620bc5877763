// A month that arrives as several files: the batch tool's import of a folder (as a separate process) and
// the import window's list of files.
#include "InvoiceLines.h"
#include "import/ImportEngine.h"
#include "import/ui/ImportWindow.h"
#include "support/TestSupport.h"
#include <QCompleter>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>

namespace {
QStringList oneInvoice(const QString& number, bool cancelled = false) {
    return issuedFile(
        {invoice({.cancelled = cancelled ? QStringLiteral("1") : QStringLiteral("0"), .number = number},
                 {goodsLine({})})});
}

// The rows of the window's list: 文件|结果|说明 each.
QStringList rows(QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* r = list->topLevelItem(i);
        rows << r->text(0) + u'|' + r->text(1) + u'|' + r->text(2);
    }
    return rows;
}
} // namespace

class TestFolderImport : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString month; // the folder of the month's files

    QString acctValue(const QString& sql = QStringLiteral("select count(*) from ICSale")) {
        return Connection::open(db->acctConnString())->query(sql)->value(0).toString();
    }
    // The sales invoices marked cancelled (a yes/no column: boolean on the server, a number in SQLite).
    int cancelledCount() {
        int n = 0;
        const RecordsetPtr rs =
            Connection::open(db->acctConnString())->query(QStringLiteral("select FCancellation from ICSale"));
        for (const QVariantList& row : rs->allRows())
            n += row.value(0).toBool() ? 1 : 0;
        return n;
    }
    void testWrite(const QString& name, const QStringList& lines) {
        writeGbkFile(month + u'/' + name, lines);
    }
    // Imports a file into the set, as the file of an earlier day.
    void importedBefore(const QStringList& lines) {
        const QString file = db->folder() + QStringLiteral("/earlier.txt");
        writeGbkFile(file, lines);
        QVERIFY(ImportEngine(db->session).importToQor(file));
    }
    struct Run {
        int exitCode = -1;
        QString out, err;
    };
    // taxferry-batch import on the test's sets; in what it prints, DIR stands for the month's folder.
    Run batchRun(const QStringList& args) {
        db->acct->close();
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH),
                QStringList{QStringLiteral("import"), QStringLiteral("--acct"), db->acctConnString(),
                            QStringLiteral("--config"), db->configPath} +
                    args);
        if (!p.waitForFinished(120000)) return {};
        const auto shown = [this](const QByteArray& text) {
            return QString::fromUtf8(text).replace(month, QStringLiteral("DIR"));
        };
        return {p.exitCode(), shown(p.readAllStandardOutput()), shown(p.readAllStandardError())};
    }
    // Chooses the month's folder with 选择文件夹, as a user would.
    void chooseFolderIn(ImportWindow& w, const QString& folder) {
        whenModalOf<QFileDialog>([folder](QFileDialog* d) {
            // In the program's words, none of Qt's untranslated ones.
            QCOMPARE(d->windowTitle(), QStringLiteral("选择要引入的文件夹"));
            QCOMPARE(d->labelText(QFileDialog::FileName), QStringLiteral("文件夹(&N)："));
            d->setDirectory(folder);
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        QTest::mouseClick(w.cmdFolder, Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
        month = db->folder() + QStringLiteral("/2026-03");
        QVERIFY(QDir().mkpath(month + QStringLiteral("/sub")));
        // Neither a subfolder's files nor other kinds of file belong to the month.
        writeGbkFile(month + QStringLiteral("/sub/4-inner.txt"), oneInvoice(QStringLiteral("81000009")));
        testWrite(QStringLiteral("notes.csv"), oneInvoice(QStringLiteral("81000008")));
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    // The demo set holds 8 sales invoices; 81000002 was imported before each run.
    void batch_data() {
        QTest::addColumn<QStringList>("args"); // file names in the folder, DIR for the folder itself
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("invoices");
        QTest::newRow("a folder: new, imported before, broken")
            << QStringList{"DIR"} << 1
            << "DIR/1-new.txt：引入发票1张，商品行1行。\n"
               "DIR/2-old.txt：引入发票0张，商品行0行，跳过已引入的发票1张。\n"
               "引入3个文件：成功1个，跳过1个（均已引入过），失败1个。\n"
            << "DIR/3-broken.txt：发票体行为空!\n"
            << 10;
        QTest::newRow("files in the order given")
            << QStringList{"2-old.txt", "1-new.txt"} << 0
            << "DIR/2-old.txt：引入发票0张，商品行0行，跳过已引入的发票1张。\n"
               "DIR/1-new.txt：引入发票1张，商品行1行。\n"
               "引入2个文件：成功1个，跳过1个（均已引入过），失败0个。\n"
            << "" << 10;
        QTest::newRow("one file imported before: refused as always")
            << QStringList{"2-old.txt"} << 1 << ""
            << "发票[3300061130-81000002]已经引入过(销售发票ZP000006)，不能重复引入!\n引入失败!\n"
            << 9;
        QTest::newRow("new and old in one file: refused whole, the others go on")
            << QStringList{"5-mixed.txt", "1-new.txt"} << 1
            << "DIR/1-new.txt：引入发票1张，商品行1行。\n"
               "引入2个文件：成功1个，跳过0个（均已引入过），失败1个。\n"
            << "DIR/5-mixed.txt：发票[3300061130-81000002]已经引入过(销售发票ZP000006)，不能重复引入!\n"
            << 10;
        QTest::newRow("new and old in one file, --skip-imported")
            << QStringList{"--skip-imported", "5-mixed.txt", "2-old.txt"} << 0
            << "DIR/5-mixed.txt：引入发票1张，商品行1行，跳过已引入的发票1张。\n"
               "DIR/2-old.txt：引入发票0张，商品行0行，跳过已引入的发票1张。\n"
               "引入2个文件：成功1个，跳过1个（均已引入过），失败0个。\n"
            << "" << 10;
        QTest::newRow("imported before, cancelled since: the cancellation is new")
            << QStringList{"6-cancelled.txt", "2-old.txt"} << 0
            << "DIR/6-cancelled.txt：引入发票0张，商品行0行。更新已作废的发票1张。\n"
               "DIR/2-old.txt：引入发票0张，商品行0行，跳过已引入的发票1张。\n"
               "引入2个文件：成功1个，跳过1个（均已引入过），失败0个。\n"
            << "" << 9;
        QTest::newRow("a missing file among others")
            << QStringList{"none.txt", "2-old.txt"} << 1
            << "DIR/2-old.txt：引入发票0张，商品行0行，跳过已引入的发票1张。\n"
               "引入2个文件：成功0个，跳过1个（均已引入过），失败1个。\n"
            << "DIR/none.txt：调用(ImportToQor)出错! 错误编号:53,错误原因:文件未找到\n"
            << 9;
        QTest::newRow("a folder without text files") << QStringList{"sub/empty"} << 1 << ""
                                                     << "文件夹DIR/sub/empty中没有可引入的文本文件(*.txt)。\n"
                                                     << 9;
    }
    void batch() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, invoices);
        importedBefore(oneInvoice(QStringLiteral("81000002")));
        testWrite(QStringLiteral("1-new.txt"), oneInvoice(QStringLiteral("81000001")));
        testWrite(QStringLiteral("2-old.txt"), oneInvoice(QStringLiteral("81000002")));
        testWrite(QStringLiteral("3-broken.txt"), issuedFile({invoice({}, {QStringLiteral("  ")})}));
        QVERIFY(QDir().mkpath(month + QStringLiteral("/sub/empty")));
        // Files that stand in no folder row: written only when a row names them.
        if (args.contains(QStringLiteral("5-mixed.txt")))
            testWrite(QStringLiteral("5-mixed.txt"),
                      issuedFile({invoice({.number = QStringLiteral("81000002")}, {goodsLine({})}),
                                  invoice({.number = QStringLiteral("81000005")}, {goodsLine({})})}));
        if (args.contains(QStringLiteral("6-cancelled.txt")))
            testWrite(QStringLiteral("6-cancelled.txt"), oneInvoice(QStringLiteral("81000002"), true));
        for (QString& a : args)
            if (!a.startsWith(u'-')) a = a == u"DIR" ? month : month + u'/' + a;
        const Run r = batchRun(args);
        QCOMPARE(r.err, err);
        QCOMPARE(r.out, out);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(acctValue().toInt(), invoices);
        // Every file its own transaction: the refused ones left nothing, the cancellation is written.
        const bool cancellation =
            QTest::currentDataTag() == QByteArray("imported before, cancelled since: the "
                                                  "cancellation is new");
        QCOMPARE(cancelledCount(), cancellation ? 1 : 0);
    }

    // The window: 选择文件夹 lists the folder's files, 确定 fills each row with its result, no message box
    // in between; the window stays open with the counts. A path typed over the folder is a file again.
    void windowListsTheFiles() {
        importedBefore(oneInvoice(QStringLiteral("81000002")));
        testWrite(QStringLiteral("1-new.txt"), oneInvoice(QStringLiteral("81000001")));
        testWrite(QStringLiteral("2-old.txt"), oneInvoice(QStringLiteral("81000002")));
        testWrite(QStringLiteral("3-broken.txt"), issuedFile({invoice({}, {QStringLiteral("  ")})}));
        ImportWindow w(db->session);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.lvwFiles->isVisible());
        chooseFolderIn(w, month);
        QCOMPARE(w.txtAIS->text(), month);
        QVERIFY(w.lvwFiles->isVisible());
        QCOMPARE(rows(w.lvwFiles), (QStringList{"1-new.txt||", "2-old.txt||", "3-broken.txt||"}));
        rec->clear();
        QStringList seenAfterFirst; // the list as the second file is read
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (seenAfterFirst.isEmpty() && !w.lvwFiles->topLevelItem(0)->text(1).isEmpty())
                seenAfterFirst = rows(w.lvwFiles);
        });
        poll.start(0);
        QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        poll.stop();
        QCOMPARE(seenAfterFirst.value(0), QStringLiteral("1-new.txt|成功|引入发票1张，商品行1行。"));
        QCOMPARE(rows(w.lvwFiles),
                 (QStringList{"1-new.txt|成功|引入发票1张，商品行1行。",
                              "2-old.txt|跳过|引入发票0张，商品行0行，跳过已引入的发票1张。",
                              "3-broken.txt|失败|发票体行为空!"}));
        QCOMPARE(w.lblStatus->text(),
                 QStringLiteral("引入3个文件：成功1个，跳过1个（均已引入过），失败1个。"));
        QCOMPARE(rec->texts(), QStringList());
        QVERIFY(w.isVisible());
        QVERIFY(w.cmdOK->isEnabled());
        QCOMPARE(acctValue(), QStringLiteral("10"));

        QTest::keyClick(w.txtAIS, Qt::Key_Backspace);
        QVERIFY(!w.lvwFiles->isVisible());
        QCOMPARE(w.lblLabels->text(), QStringLiteral("引入文件路径(&P):"));
    }

    // Several files chosen together in the file dialog are listed and imported as a folder's are; the
    // others in their folder are not.
    void windowTakesSeveralFiles() {
        testWrite(QStringLiteral("1-new.txt"), oneInvoice(QStringLiteral("81000001")));
        testWrite(QStringLiteral("2-other.txt"), oneInvoice(QStringLiteral("81000002")));
        testWrite(QStringLiteral("3-new.txt"), oneInvoice(QStringLiteral("81000003")));
        ImportWindow w(db->session);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        whenModalOf<QFileDialog>([this](QFileDialog* d) {
            // The dialog fills its list in a thread and resets the name box when done: wait for that.
            if (auto* model = d->findChild<QFileSystemModel*>()) {
                QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
                d->setDirectory(month);
                loaded.wait(3000);
                QTest::qWait(50);
            }
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("\"1-new.txt\" \"3-new.txt\""));
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        QTest::mouseClick(w.cmdOpen, Qt::LeftButton);
        QCOMPARE(w.txtAIS->text(), QStringLiteral("\"1-new.txt\" \"3-new.txt\""));
        QCOMPARE(w.lblLabels->text(), QStringLiteral("引入的文件(&P):"));
        QCOMPARE(rows(w.lvwFiles), (QStringList{"1-new.txt||", "3-new.txt||"}));
        QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        QCOMPARE(rows(w.lvwFiles), (QStringList{"1-new.txt|成功|引入发票1张，商品行1行。",
                                                "3-new.txt|成功|引入发票1张，商品行1行。"}));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(acctValue(), QStringLiteral("10"));
    }

    // A path typed in 选择要引入的文件夹 opens the name box's completer; once the folder is chosen its list
    // is gone, and the first Alt+O is the window's.
    void folderDialogLeavesNoCompleter() {
        testWrite(QStringLiteral("1-new.txt"), oneInvoice(QStringLiteral("81000001")));
        ImportWindow w(db->session);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bool listShown = false;
        whenModalOf<QFileDialog>([&](QFileDialog* d) {
            if (auto* model = d->findChild<QFileSystemModel*>()) {
                QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
                d->setDirectory(db->folder());
                loaded.wait(3000);
                QTest::qWait(50);
            }
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setFocus();
            QTest::keyClicks(name, QStringLiteral("2026"));
            QCompleter* completer = name->completer();
            listShown = QTest::qWaitFor([&] { return completer && completer->popup()->isVisible(); }, 3000);
            QTest::keyClicks(name, QStringLiteral("-03"));
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        QTest::mouseClick(w.cmdFolder, Qt::LeftButton);
        if (!listShown) QSKIP("the completer shows no list on this platform");
        QCOMPARE(w.txtAIS->text(), month);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY2(!(top->isVisible() && top->windowType() == Qt::Popup), qPrintable(top->objectName()));
        QTRY_COMPARE(QApplication::activeWindow(), &w);
        QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(rows(w.lvwFiles).value(0), QStringLiteral("1-new.txt|成功|引入发票1张，商品行1行。"));
    }

    // 取消 while the second file is read: that file is rolled back whole, the third is not started, the
    // first stays imported.
    void windowCancel() {
        testWrite(QStringLiteral("1-small.txt"), oneInvoice(QStringLiteral("81000001")));
        testWrite(QStringLiteral("2-big.txt"), generatedFile(3000, 2, 100));
        testWrite(QStringLiteral("3-new.txt"), oneInvoice(QStringLiteral("81000003")));
        ImportWindow w(db->session);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        chooseFolderIn(w, month);
        QTimer poll;
        bool exitEnabled = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (w.lvwFiles->topLevelItem(0)->text(1).isEmpty()) return;
            poll.stop();
            exitEnabled = w.cmdExit->isEnabled();
            QVERIFY(!w.cmdOK->isEnabled());
            QVERIFY(w.prgFiles->isVisible());
            QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        });
        poll.start(0);
        QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        QVERIFY(exitEnabled);
        QCOMPARE(rows(w.lvwFiles),
                 (QStringList{"1-small.txt|成功|引入发票1张，商品行1行。",
                              "2-big.txt|已取消|此文件已撤销，其后的文件没有引入。", "3-new.txt|未引入|"}));
        QCOMPARE(w.lblStatus->text(),
                 QStringLiteral("引入已取消，此前完成的文件保持引入。"
                                "引入1个文件：成功1个，跳过0个（均已引入过），失败0个。"));
        QCOMPARE(rec->texts(), QStringList());
        QVERIFY(w.isVisible());
        QCOMPARE(acctValue(), QStringLiteral("9"));
    }
};

QTEST_MAIN(TestFolderImport)
#include "test_folder_import.moc"
