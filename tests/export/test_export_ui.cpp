// The export windows driven headless: the link list, the export window and the filter dialog.
#include "app/clsItemLook.h"
#include "common/modDefine.h"
#include "common/modFunction.h"
#include "export/frmExportTxt.h"
#include "export/frmFilter.h"
#include "links/frmList.h"
#include "support/TestSupport.h"
#include <QDateEdit>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>

namespace {

const QDate kToday(2026, 3, 15);
// Twelve empty values after the two dates.
const QString kEmpty12 = QStringLiteral("|||||||||||");

// Runs f on the next modal window that appears (polling, as the window opens inside a click).
void WhenModal(std::function<void(QWidget*)> f, int attempts = 3000) {
    QTimer::singleShot(10, [f, attempts] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            f(w);
            // A handler that failed must not leave the window open: the test would hang instead of failing.
            QPointer<QWidget> open(w);
            QTimer::singleShot(5000, [open] {
                if (open && open->isVisible()) open->close();
            });
        } else if (attempts > 0) {
            WhenModal(f, attempts - 1);
        }
    });
}

template <typename T> T* Child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    if (!c) qWarning("no control %s", qPrintable(name));
    return c;
}

void ClickButton(QWidget* w, const QString& name) {
    QTest::mouseClick(Child<QAbstractButton>(w, name), Qt::LeftButton);
}

void SelectRow(frmList& list, const QString& name) {
    const auto items = list.lsvSelect->findItems(name, Qt::MatchExactly, 0);
    QVERIFY(!items.isEmpty());
    list.lsvSelect->setCurrentItem(items.first());
}

QStringList ListRows(const frmList& list) {
    QStringList rows;
    for (int i = 0; i < list.lsvSelect->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = list.lsvSelect->topLevelItem(i);
        rows << QStringList{it->text(0), it->text(1), it->text(2), it->text(3)}.join(u'|');
    }
    return rows;
}

void ClearSettings() {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"),
                QStringLiteral("QOR"));
    s.clear();
    s.sync();
}

void WriteOld(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("OLD\r\n");
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestExportUi : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        ClearSettings();
        SetTodayForTesting(kToday);
        clsItemLook::SetChooserForTesting(nullptr);
    }
    void cleanup() { clsItemLook::SetChooserForTesting(nullptr); }

    // ---- filter dialog ----------------------------------------------------------------------

    void filterFirstUse() {
        TestDatabases db;
        db.installGlobals();
        frmFilter f;
        QCOMPARE(f.Init(), false);
        QCOMPARE(f.dtFrom->date(), kToday);
        QCOMPARE(f.dtTo->date(), kToday);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(Child<QLineEdit>(&f, QStringLiteral("txtItemFrom_%1").arg(i))->text().isEmpty());
            QVERIFY(Child<QLineEdit>(&f, QStringLiteral("txtItemTo_%1").arg(i))->text().isEmpty());
        }
        ClickButton(&f, QStringLiteral("cmdOK"));
        QVERIFY(f.Ok());
        QCOMPARE(f.ReturnCondition(), QStringLiteral("2026-03-15|2026-03-15|") + kEmpty12);
    }

    void filterRemembersTrimmedValues() {
        TestDatabases db;
        db.installGlobals();
        {
            frmFilter f;
            f.Init();
            f.dtFrom->setDate(QDate(2026, 1, 1));
            QTest::keyClicks(Child<QLineEdit>(&f, QStringLiteral("txtItemFrom_0")),
                             QStringLiteral("  XS'01 "));
            Child<QLineEdit>(&f, QStringLiteral("txtItemTo_5"))->insert(QStringLiteral(" 李复核"));
            ClickButton(&f, QStringLiteral("cmdOK"));
            QCOMPARE(f.ReturnCondition(), QStringLiteral("2026-01-01|2026-03-15|XS'01|||||||||||李复核"));
        }
        frmFilter again;
        again.Init();
        QCOMPARE(again.dtFrom->date(), QDate(2026, 1, 1));
        QCOMPARE(again.txtItemFrom[0]->text(), QStringLiteral("XS'01"));
        QCOMPARE(again.txtItemTo[5]->text(), QStringLiteral("李复核"));
    }

    void filterCancelSavesNothing() {
        TestDatabases db;
        db.installGlobals();
        frmFilter f;
        f.Init();
        f.dtFrom->setDate(QDate(2025, 5, 5));
        f.txtItemFrom[1]->setText(QStringLiteral("C01"));
        ClickButton(&f, QStringLiteral("cmdCancel"));
        QVERIFY(!f.Ok());
        frmFilter again;
        again.Init();
        QCOMPARE(again.dtFrom->date(), kToday);
        QVERIFY(again.txtItemFrom[1]->text().isEmpty());
    }

    void filterPickers_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("value");
        QTest::newRow("customer from") << "cmdItemfrom_1"
                                       << "01.002"
                                       << "txtItemFrom_1" << QStringList{"SelCust"} << "01.002";
        QTest::newRow("department to") << "cmdItemto_2"
                                       << "02"
                                       << "txtItemTo_2" << QStringList{"SelDepartment"} << "02";
        QTest::newRow("salesperson from") << "cmdItemfrom_3"
                                          << "003"
                                          << "txtItemFrom_3" << QStringList{"SelBaseEmployee"} << "003";
        QTest::newRow("issuing user to") << "cmdItemto_4"
                                         << "张会计"
                                         << "txtItemTo_4" << QStringList{"SelLoginUser"} << "张会计";
        QTest::newRow("reviewing user from") << "cmdItemfrom_5"
                                             << "李复核"
                                             << "txtItemFrom_5" << QStringList{"SelLoginUser"} << "李复核";
        QTest::newRow("closed without a choice keeps the box")
            << "cmdItemfrom_1"
            << ""
            << "txtItemFrom_1" << QStringList{"SelCust"} << "old";
        QTest::newRow("invoice number has no picker") << "cmdItemfrom_0"
                                                      << "x"
                                                      << "txtItemFrom_0" << QStringList{} << "old";
    }
    void filterPickers() {
        QFETCH(QString, button);
        QFETCH(QString, choice);
        QFETCH(QString, box);
        QFETCH(QStringList, kinds);
        QFETCH(QString, value);
        TestDatabases db;
        db.installGlobals();
        QStringList asked;
        clsItemLook::SetChooserForTesting([&](const QString& kind) {
            asked << kind;
            return choice;
        });
        frmFilter f;
        f.Init();
        Child<QLineEdit>(&f, box)->setText(QStringLiteral("old"));
        auto* b = Child<QToolButton>(&f, button);
        if (b->isEnabled()) QTest::mouseClick(b, Qt::LeftButton);
        f.cmdItemfrom_Click(0); // an index without a picker does nothing even when called directly
        QCOMPARE(asked, kinds);
        QCOMPARE(Child<QLineEdit>(&f, box)->text(), value);
    }

    void filterPickerFailure() {
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        clsItemLook::SetChooserForTesting([](const QString&) -> QString {
            throw DbError(ErrNo::General, QStringLiteral("选择组件不可用"));
        });
        frmFilter f;
        f.Init();
        f.txtItemTo[1]->setText(QStringLiteral("C01"));
        QTest::mouseClick(f.cmdItemto[1], Qt::LeftButton);
        QCOMPARE(sink.texts(), QStringList{"调用(GetItemData)出错!\r\n错误编号:5,错误原因:选择组件不可用"});
        QCOMPARE(f.txtItemTo[1]->text(), QStringLiteral("C01"));
    }

    // ---- export window ----------------------------------------------------------------------

    void exportWithoutPath_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "   ";
    }
    void exportWithoutPath() {
        QFETCH(QString, path);
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        frmExportTxt w;
        w.setKey(QStringLiteral("1"));
        w.txtTxtFile->setText(path);
        bool filterOpened = false;
        WhenModal(
            [&](QWidget* m) {
                filterOpened = true;
                m->close();
            },
            5);
        ClickButton(&w, QStringLiteral("btnOK"));
        QTest::qWait(100);
        QCOMPARE(sink.texts(), QStringList{"未输入引出文本文件路径！"});
        QVERIFY(!filterOpened);
    }

    void exportOverExistingFile_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("filterOk");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("replaced");
        const QString q = QStringLiteral("引出文本文件已存在，是否覆盖？");
        QTest::newRow("answer No: file untouched, no filter") << false << true << QStringList{q} << false;
        QTest::newRow("Yes then Cancel in the filter: file still there")
            << true << false << QStringList{q} << false;
        QTest::newRow("Yes then OK: replaced") << true << true << QStringList{q, "引出成功！"} << true;
    }
    void exportOverExistingFile() {
        QFETCH(bool, overwrite);
        QFETCH(bool, filterOk);
        QFETCH(QStringList, messages);
        QFETCH(bool, replaced);
        TestDatabases db;
        db.installGlobals();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fp.TXT"));
        WriteOld(path);
        RecorderSink sink;
        sink.answers << overwrite;
        frmExportTxt w;
        w.setKey(QStringLiteral("1"));
        w.txtTxtFile->setText(path);
        bool filterOpened = false;
        WhenModal(
            [&](QWidget* m) {
                filterOpened = true;
                auto* f = qobject_cast<frmFilter*>(m);
                QVERIFY(f);
                f->dtFrom->setDate(QDate(2026, 1, 1));
                ClickButton(f, filterOk ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
            },
            overwrite ? 200 : 5);
        ClickButton(&w, QStringLiteral("btnOK"));
        QTest::qWait(overwrite ? 0 : 100);
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(filterOpened, overwrite);
        if (replaced)
            QVERIFY(Bytes(path).startsWith("SJJK0101~~"));
        else
            QCOMPARE(Bytes(path), QByteArray("OLD\r\n"));
        // The window stays open for another export with the same path.
        QCOMPARE(w.txtTxtFile->text(), path);
    }

    void openFileDialogFillsPath() {
        TestDatabases db;
        db.installGlobals();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.TXT"));
        frmExportTxt w;
        QString title;
        WhenModal([&](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            QVERIFY(d);
            title = d->windowTitle();
            // The dialog fills its list in a thread and resets the name box when it is done: wait for that.
            if (auto* model = d->findChild<QFileSystemModel*>()) {
                QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
                d->setDirectory(dir.path());
                loaded.wait(3000);
                QTest::qWait(50);
            }
            // Typed as a user would: a file that does not exist yet.
            Child<QLineEdit>(d, QStringLiteral("fileNameEdit"))->setText(QStringLiteral("new.TXT"));
            // done() rather than accept(): accept() consults the directory model, which is filled by a
            // thread.
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        ClickButton(&w, QStringLiteral("btnOpenFile"));
        QCOMPARE(title, QStringLiteral("打开引出文件"));
        QCOMPARE(w.txtTxtFile->text(), path);
    }

    // ---- link list --------------------------------------------------------------------------

    void listShowsLinksOfOneDirection() {
        TestDatabases db;
        db.installGlobals();
        db.config->Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut) values "
                           "(2, '普通', 1, '2026-02-01', '0'), (3, '无类型', NULL, '2026-02-02', '0'), "
                           "(4, '其他类型', 5, '2026-02-03', '0'), (5, '引入关联', 0, '2026-02-04', '1')"));
        frmList list;
        list.ExportOrImport = 0;
        list.Init();
        QCOMPARE(ListRows(list), (QStringList{"航天金税默认格式|销售专用发票|文本文件|2026-01-01",
                                              "普通|销售普通发票|文本文件|2026-02-01",
                                              "无类型|销售专用发票|文本文件|2026-02-02",
                                              "其他类型|销售普通发票|文本文件|2026-02-03"}));
        list.ExportOrImport = 1;
        list.Init();
        QCOMPARE(ListRows(list), (QStringList{"引入关联|销售专用发票|文本文件|2026-02-04"}));
    }

    void listDelete_data() {
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("rowsLeft");
        const QString q = QStringLiteral("你确定要删除所选关联吗？");
        QTest::newRow("nothing selected: no question") << false << true << QStringList{} << 2;
        QTest::newRow("answer No keeps the link") << true << false << QStringList{q} << 2;
        QTest::newRow("answer Yes deletes") << true << true << QStringList{q, "删除成功!"} << 1;
    }
    void listDelete() {
        QFETCH(bool, select);
        QFETCH(bool, answer);
        QFETCH(QStringList, messages);
        QFETCH(int, rowsLeft);
        TestDatabases db;
        db.installGlobals();
        db.config->Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
        frmList list;
        list.Init();
        if (select) SelectRow(list, QStringLiteral("第二"));
        RecorderSink sink;
        sink.answers << answer;
        ClickButton(&list, QStringLiteral("cmdDelete"));
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(list.lsvSelect->topLevelItemCount(), rowsLeft);
        QCOMPARE(db.config->Query(QStringLiteral("select count(*) from t_BaseInfo"))->value(0).toInt(),
                 rowsLeft);
    }

    void listDefaultFormat_data() {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("ownRows");
        QTest::newRow("answer No changes nothing") << false << 1;
        QTest::newRow("answer Yes installs the factory mappings") << true << 0;
    }
    void listDefaultFormat() {
        QFETCH(bool, answer);
        QFETCH(int, ownRows);
        TestDatabases db;
        db.installGlobals();
        db.config->Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
        db.config->Execute(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, "
                                          "FisHead) values (7, 1, 0, '1', 1)"));
        frmList list;
        list.Init();
        RecorderSink sink;
        sink.answers << answer;
        ClickButton(&list, QStringLiteral("cmdAttrReference"));
        QCOMPARE(sink.texts(), QStringList{"是否确定引入航天金税默认的发票格式设置?"});
        QCOMPARE(db.config->Query(QStringLiteral("select count(*) from t_Detail where FBaseInfoID=7"))
                     ->value(0)
                     .toInt(),
                 ownRows);
        QCOMPARE(list.lsvSelect->topLevelItemCount(), 2);
    }

    // Whether the wizard saves or is cancelled, the list shows the stored state afterwards.
    void listWizardButtonsReload_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("wizardOpens");
        QTest::newRow("new, cancelled") << "cmdNew" << false << true;
        QTest::newRow("edit with a selection, cancelled") << "cmdEdit" << true << true;
        QTest::newRow("edit without a selection does nothing") << "cmdEdit" << false << false;
    }
    void listWizardButtonsReload() {
        QFETCH(QString, button);
        QFETCH(bool, select);
        QFETCH(bool, wizardOpens);
        TestDatabases db;
        db.installGlobals();
        frmList list;
        list.Init();
        list.show();
        if (select) SelectRow(list, QStringLiteral("航天金税默认格式"));
        db.config->Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (8, '新的', '0')"));
        RecorderSink sink;
        QString title;
        WhenModal(
            [&](QWidget* m) {
                if (m == &list) return;
                title = m->windowTitle();
                QMetaObject::invokeMethod(m, "reject");
            },
            wizardOpens ? 3000 : 5);
        ClickButton(&list, button);
        if (!wizardOpens) QTest::qWait(100);
        QCOMPARE(title, wizardOpens ? QStringLiteral("关联关系") : QString());
        QVERIFY(sink.entries.isEmpty());
        QCOMPARE(list.lsvSelect->topLevelItemCount(), wizardOpens ? 2 : 1);
    }

    void listOkWithoutSelectionDoesNothing() {
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        frmList list;
        list.Init();
        list.show();
        bool opened = false;
        WhenModal(
            [&](QWidget* m) {
                opened = m != &list;
                if (opened) m->close();
            },
            5);
        ClickButton(&list, QStringLiteral("cmdOK"));
        QTest::qWait(100);
        QVERIFY(!opened);
        QVERIFY(list.isVisible());
        QVERIFY(sink.entries.isEmpty());
    }

    // The user journey: list → OK → export window → file → filter → "引出成功！", on the factory link.
    void journeyFromListToFile() {
        TestDatabases db;
        db.installGlobals();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.TXT"));
        RecorderSink sink;
        frmList list;
        list.ExportOrImport = 0;
        list.Init();
        SelectRow(list, QStringLiteral("航天金税默认格式"));
        QString linkName, note, key;
        bool listHidden = false;
        WhenModal([&](QWidget* m) {
            auto* w = qobject_cast<frmExportTxt*>(m);
            QVERIFY(w);
            listHidden = !list.isVisible();
            linkName = w->txtLinkName->text();
            note = w->txtNote->text();
            key = w->Key();
            w->txtTxtFile->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
            WhenModal([&](QWidget* f) {
                auto* filter = qobject_cast<frmFilter*>(f);
                QVERIFY(filter);
                filter->dtFrom->setDate(QDate(2026, 1, 1));
                filter->dtTo->setDate(QDate(2026, 2, 28));
                ClickButton(filter, QStringLiteral("cmdOK"));
            });
            ClickButton(w, QStringLiteral("btnOK"));
            ClickButton(w, QStringLiteral("btnExit"));
        });
        list.show();
        ClickButton(&list, QStringLiteral("cmdOK"));
        QVERIFY(listHidden);
        QCOMPARE(list.result(), int(QDialog::Accepted));
        QCOMPARE(linkName, QStringLiteral("航天金税默认格式"));
        QCOMPARE(note, QStringLiteral("销售专用发票"));
        QCOMPARE(key, QStringLiteral("1"));
        QCOMPARE(sink.texts(), QStringList{"引出成功！"});
        const QStringList lines = ReadGbkFile(path);
        QCOMPARE(lines.value(0), QStringLiteral("SJJK0101~~销售单据传入"));
        QVERIFY(lines.size() > 2);
        QVERIFY2(lines.value(1).startsWith(QStringLiteral("ZP")), qPrintable(lines.value(1)));
    }
};

QTEST_MAIN(TestExportUi)
#include "test_export_ui.moc"
