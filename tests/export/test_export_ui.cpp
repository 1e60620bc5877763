// The export windows driven headless: the link list, the export window and the filter dialog.
#include "ExportFixture.h"
#include "common/modFunction.h"
#include "export/ReconcileUi.h"
#include "export/clsSaveDataExport.h"
#include "export/frmExportPreview.h"
#include "export/frmExportTxt.h"
#include "export/frmFilter.h"
#include "links/frmList.h"
#include "support/TestSupport.h"
#include <QDateEdit>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>

namespace {

const QString kFirstUse =
    QStringLiteral("2026-03-15|2026-03-15||||||||||||"); // two dates, twelve empty values

void ClickButton(QWidget* w, const QString& name) {
    auto* b = w->findChild<QAbstractButton*>(name);
    QVERIFY2(b, qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton);
}

void SelectRow(frmList& list, const QString& name) {
    const auto items = list.lsvSelect->findItems(name, Qt::MatchExactly, 0);
    QVERIFY(!items.isEmpty());
    list.lsvSelect->setCurrentItem(items.first());
}

} // namespace

class TestExportUi : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> m_db;

private Q_SLOTS:
    void init() {
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"),
                  QStringLiteral("QOR"))
            .clear();
        m_db = std::make_unique<TestDatabases>();
        m_db->session.today = QDate(2026, 3, 15);
    }
    void cleanup() { m_db.reset(); }

    // ---- filter dialog ----------------------------------------------------------------------

    // The condition text at OK, and what the next dialog shows (read through its own OK).
    void filterCondition_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("reopened");
        const QString typed = QStringLiteral("2026-01-01|2026-03-15|XS'01|||||||||||李复核");
        QTest::newRow("first use: today and twelve empty values") << false << true << kFirstUse << kFirstUse;
        QTest::newRow("typed values are trimmed and remembered") << true << true << typed << typed;
        QTest::newRow("cancel saves nothing") << true << false << QString() << kFirstUse;
    }
    void filterCondition() {
        QFETCH(bool, typed);
        QFETCH(bool, ok);
        QFETCH(QString, condition);
        QFETCH(QString, reopened);
        {
            frmFilter f(m_db->session);
            f.Init();
            if (typed) {
                f.dtFrom->setDate(QDate(2026, 1, 1));
                QTest::keyClicks(f.txtItemFrom[0], QStringLiteral("  XS'01 "));
                f.txtItemTo[5]->insert(QStringLiteral(" 李复核"));
            }
            ClickButton(&f, ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
            QCOMPARE(f.Ok(), ok);
            QCOMPARE(f.ReturnCondition(), condition);
        }
        frmFilter again(m_db->session);
        again.Init();
        ClickButton(&again, QStringLiteral("cmdOK"));
        QCOMPARE(again.ReturnCondition(), reopened);
    }

    // A start after the end is refused at OK: the dialog stays open with the start date to correct.
    void filterDateRange_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one day") << QDate(2026, 3, 1) << QDate(2026, 3, 1) << true;
        QTest::newRow("start before end") << QDate(2025, 12, 31) << QDate(2026, 1, 1) << true;
        QTest::newRow("start a day after end") << QDate(2026, 1, 2) << QDate(2026, 1, 1) << false;
        QTest::newRow("start a year after end") << QDate(2027, 1, 1) << QDate(2026, 1, 1) << false;
    }
    void filterDateRange() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(bool, accepted);
        RecorderSink sink;
        frmFilter f(m_db->session);
        f.Init();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.dtFrom->setDate(from);
        f.dtTo->setDate(to);
        f.cmdCancel->setFocus();
        ClickButton(&f, QStringLiteral("cmdOK"));
        QCOMPARE(f.Ok(), accepted);
        QCOMPARE(f.isVisible(), !accepted);
        QCOMPARE(sink.texts(), accepted ? QStringList() : QStringList{"开始日期不能晚于结束日期！"});
        if (!accepted) {
            QCOMPARE(QApplication::focusWidget(), f.dtFrom);
            QCOMPARE(f.ReturnCondition(), QString());
            // Nothing is remembered from a refused range.
            frmFilter again(m_db->session);
            again.Init();
            QCOMPARE(again.dtFrom->date(), m_db->session.Today());
        }
    }

    void filterPickers() {
        QStringList asked;
        QString choice = QStringLiteral("X");
        TestChooser chooser([&](const QString& kind) {
            asked << kind;
            return choice;
        });
        m_db->session.itemChooser = &chooser;
        frmFilter f(m_db->session);
        f.Init();
        for (int i = 0; i < 6; ++i) {
            for (QToolButton* b : {f.cmdItemfrom[i], f.cmdItemto[i]})
                if (b->isEnabled()) QTest::mouseClick(b, Qt::LeftButton);
        }
        // The invoice number has no picker, even when called directly.
        f.cmdItemfrom_Click(0);
        f.cmdItemto_Click(0);
        const QString cust = QStringLiteral("SelCust"), dept = QStringLiteral("SelDepartment"),
                      emp = QStringLiteral("SelBaseEmployee"), user = QStringLiteral("SelLoginUser");
        QCOMPARE(asked, (QStringList{cust, cust, dept, dept, emp, emp, user, user, user, user}));
        // A picker closed without a choice, or failing, leaves the box unchanged.
        choice.clear();
        f.txtItemFrom[1]->setText(QStringLiteral("old"));
        QTest::mouseClick(f.cmdItemfrom[1], Qt::LeftButton);
        RecorderSink sink;
        TestChooser failing([](const QString&) -> QString {
            throw DbError(ErrNo::General, QStringLiteral("选择组件不可用"));
        });
        m_db->session.itemChooser = &failing;
        QTest::mouseClick(f.cmdItemto[1], Qt::LeftButton);
        QCOMPARE(sink.texts(), QStringList{"调用(GetItemData)出错!\r\n错误编号:5,错误原因:选择组件不可用"});
        ClickButton(&f, QStringLiteral("cmdOK"));
        QCOMPARE(f.ReturnCondition(), QStringLiteral("2026-03-15|2026-03-15|||old|X|X|X|X|X|X|X|X|X"));
    }

    // ---- export window ----------------------------------------------------------------------

    // The link list names each link's format, and the export window is titled and labelled by it.
    void windowsNameTheFormat_data() {
        QTest::addColumn<QString>("stored"); // FFormat of the factory link
        QTest::addColumn<QString>("name");
        QTest::newRow("empty: text file") << ""
                                          << "文本文件";
        QTest::newRow("xml") << "xml"
                             << "XML文件";
        QTest::newRow("workbook") << "xlsx"
                                  << "电子发票平台模板";
    }
    void windowsNameTheFormat() {
        QFETCH(QString, stored);
        QFETCH(QString, name);
        Connection& c = *m_db->config;
        c.Execute(QStringLiteral("update t_BaseInfo set FFormat=? where FID=1"), {stored});
        c.Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut, FFormat) "
                           "values (7, 'XML', 0, '2026-03-01', '0', 'xml'), "
                           "(8, '平台', 1, '2026-03-01', '0', 'xlsx')"));
        frmList list(m_db->session);
        list.ExportOrImport = 0;
        list.Init();
        QStringList column;
        for (int i = 0; i < list.lsvSelect->topLevelItemCount(); ++i)
            column << list.lsvSelect->topLevelItem(i)->text(2);
        QCOMPARE(column, (QStringList{name, "XML文件", "电子发票平台模板"}));

        RecorderSink sink;
        frmExportTxt w(m_db->session);
        w.setKey(QStringLiteral("1"));
        QCOMPARE(w.windowTitle(), QStringLiteral("引出发票到") + name);
        QCOMPARE(w.Label1->text(), QStringLiteral("引出%1路径：").arg(name));
        ClickButton(&w, QStringLiteral("btnOK"));
        QCOMPARE(sink.texts(), QStringList{QStringLiteral("未输入引出%1路径！").arg(name)});
    }

    void exportButton_data() {
        QTest::addColumn<QString>("path"); // "@" is a file holding "OLD"
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("filterOk");
        QTest::addColumn<bool>("previewOk");
        QTest::addColumn<QStringList>("messages");
        const QString q = QStringLiteral("引出文本文件已存在，是否覆盖？");
        QTest::newRow("empty path") << "" << true << true << true << QStringList{"未输入引出文本文件路径！"};
        QTest::newRow("blanks only") << "   " << true << true << true
                                     << QStringList{"未输入引出文本文件路径！"};
        QTest::newRow("answer No: file untouched, no filter")
            << "@" << false << true << true << QStringList{q};
        QTest::newRow("Yes then Cancel in the filter: file still there")
            << "@" << true << false << true << QStringList{q};
        QTest::newRow("Yes, OK, the preview cancelled: file still there")
            << "@" << true << true << false << QStringList{q};
        QTest::newRow("Yes then OK: replaced") << "@" << true << true << true << QStringList{q, "引出成功！"};
    }
    void exportButton() {
        QFETCH(QString, path);
        QFETCH(bool, overwrite);
        QFETCH(bool, filterOk);
        QFETCH(bool, previewOk);
        QFETCH(QStringList, messages);
        const QString file = m_db->folder() + QStringLiteral("/fp.TXT");
        WriteOld(file);
        RecorderSink sink;
        sink.answers << overwrite;
        frmExportTxt w(m_db->session);
        w.setKey(QStringLiteral("1"));
        w.txtTxtFile->setText(path.replace(u'@', file));
        const bool filterOpens = path == file && overwrite;
        bool filterOpened = false;
        WhenModal(
            [&](QWidget* m) {
                filterOpened = true;
                auto* f = qobject_cast<frmFilter*>(m);
                QVERIFY(f);
                f->dtFrom->setDate(QDate(2026, 1, 1));
                ClickButton(f, filterOk ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
            },
            filterOpens ? 200 : 5);
        // The proof of what would be written comes before the file.
        int previewed = -1;
        bool fileAtPreview = false;
        if (filterOpens && filterOk)
            WhenModalOf<frmExportPreview>([&](frmExportPreview* p) {
                previewed = p->grdDocs->rowCount();
                fileAtPreview = FileBytes(file) == "OLD\r\n";
                ClickButton(p, previewOk ? QStringLiteral("btnOK") : QStringLiteral("btnCancel"));
            });
        ClickButton(&w, QStringLiteral("btnOK"));
        QTest::qWait(filterOpens ? 0 : 100);
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(filterOpened, filterOpens);
        if (filterOpens && filterOk) {
            QVERIFY(previewed > 0);
            QVERIFY(fileAtPreview);
            QCOMPARE(w.lblStatus->text().isEmpty(), false);
        }
        if (messages.contains(QStringLiteral("引出成功！")))
            QVERIFY(FileBytes(file).startsWith("SJJK0101~~"));
        else
            QCOMPARE(FileBytes(file), QByteArray("OLD\r\n"));
        // The window stays open for another export with the same path.
        QCOMPARE(w.txtTxtFile->text(), path);
    }

    // A big month: the proof runs with the window's progress and lists the first 1,000 documents with the
    // totals of all; 取消 while it reads stops it before anything is shown or written.
    void previewOfABigMonth_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("to the end") << false;
        QTest::newRow("取消 while reading") << true;
    }
    void previewOfABigMonth() {
        QFETCH(bool, cancel);
        if (m_db->onServer()) QSKIP("the copies are made with SQLite's own statements");
        // The four special invoices of January and February, 251 times over under new numbers.
        Connection& acct = *m_db->acct;
        const auto columns = [&](const QString& table) {
            QStringList names;
            const RecordsetPtr rs =
                acct.Query(QStringLiteral("select name from pragma_table_info('%1')").arg(table));
            for (const QVariantList& row : rs->allRows())
                names << row.value(0).toString();
            return names;
        };
        const QString copies =
            QStringLiteral("with recursive k(n) as (select 1 union all select n+1 from k where n<251) ");
        QStringList sale = columns(QStringLiteral("ICSale"));
        QStringList entry = columns(QStringLiteral("ICSaleEntry"));
        const auto select = [](QStringList names, const QString& id, const QString& bill) {
            for (QString& n : names) {
                if (n.compare(u"FInterID", Qt::CaseInsensitive) == 0) n = id;
                if (n.compare(u"FBillNo", Qt::CaseInsensitive) == 0) n = bill;
            }
            return names.join(u',');
        };
        acct.Execute(copies +
                     QStringLiteral("insert into ICSale (%1) select %2 from ICSale, k where FTranType=80 "
                                    "and FDate between '2026-01-01' and '2026-02-28'")
                         .arg(sale.join(u','), select(sale, QStringLiteral("FInterID+n*10000"),
                                                      QStringLiteral("'R'||n||FBillNo"))));
        acct.Execute(copies +
                     QStringLiteral("insert into ICSaleEntry (%1) select %2 from ICSaleEntry e, k where "
                                    "e.FInterID in (select FInterID from ICSale where FInterID<10000 "
                                    "and FTranType=80 and FDate between '2026-01-01' and '2026-02-28')")
                         .arg(entry.join(u','),
                              select(entry, QStringLiteral("FInterID+n*10000"), QStringLiteral("FBillNo"))));
        const QString file = m_db->folder() + QStringLiteral("/big.txt");
        RecorderSink sink;
        frmExportTxt w(m_db->session);
        w.setKey(QStringLiteral("1"));
        w.show();
        w.txtTxtFile->setText(file);
        WhenModal([&](QWidget* m) {
            auto* f = qobject_cast<frmFilter*>(m);
            QVERIFY(f);
            f->dtFrom->setDate(QDate(2026, 1, 1));
            f->dtTo->setDate(QDate(2026, 2, 28));
            ClickButton(f, QStringLiteral("cmdOK"));
            // The next events run while the proof reads: 取消 is pressed there, or the bar is looked at.
            QTimer::singleShot(0, &w, [&] {
                if (cancel) ClickButton(&w, QStringLiteral("btnExit"));
            });
        });
        int listed = -1;
        QString total, shown;
        bool shownVisible = false;
        if (!cancel)
            WhenModalOf<frmExportPreview>([&](frmExportPreview* p) {
                listed = p->grdDocs->rowCount();
                total = p->lblTotal->text();
                shown = p->lblShown->text();
                shownVisible = p->lblShown->isVisibleTo(p);
                ClickButton(p, QStringLiteral("btnCancel"));
            });
        ClickButton(&w, QStringLiteral("btnOK"));
        QVERIFY(!QFile::exists(file));
        QVERIFY(w.btnOK->isEnabled());
        if (cancel) {
            QCOMPARE(sink.texts(), QStringList{"预览已取消，未引出。"});
            QCOMPARE(w.lblStatus->text(), QStringLiteral("预览已取消，未引出。"));
            return;
        }
        QCOMPARE(sink.texts(), QStringList());
        QCOMPARE(listed, 1000);
        QVERIFY(shownVisible);
        QCOMPARE(shown, QStringLiteral("共1,008张单据，这里只列出前1,000张；下面的合计是全部单据的合计。"));
        QVERIFY2(total.startsWith(QStringLiteral("合计：单据1008张，")), qPrintable(total));
    }

    // While an export runs, 退出 is 取消: it asks the export to stop and the window stays; so does closing.
    void exitDuringExportCancels() {
        frmExportTxt w(m_db->session);
        w.show();
        w.BeginRun();
        QVERIFY(!w.btnOK->isEnabled());
        QCOMPARE(w.btnExit->text(), QStringLiteral("取消(&C)"));
        ClickButton(&w, QStringLiteral("btnExit"));
        QVERIFY(w.cancelRequested());
        w.close();
        QVERIFY(w.isVisible());
        w.EndRun();
        QVERIFY(w.btnOK->isEnabled());
        ClickButton(&w, QStringLiteral("btnExit"));
        QVERIFY(!w.isVisible());
    }

    // The target is chosen in a save dialog: a name typed without an extension gets ".txt".
    void openFileDialogFillsPath_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("a new file with its extension") << "new.TXT"
                                                       << "new.TXT";
        QTest::newRow("a name without an extension") << "new"
                                                     << "new.txt";
    }
    void openFileDialogFillsPath() {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        frmExportTxt w(m_db->session);
        QString title;
        QStringList filters;
        int mode = -1;
        WhenModal([&](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            QVERIFY(d);
            title = d->windowTitle();
            filters = d->nameFilters();
            mode = d->acceptMode();
            // The dialog fills its list in a thread and resets the name box when it is done: wait for that.
            if (auto* model = d->findChild<QFileSystemModel*>()) {
                QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
                d->setDirectory(m_db->folder());
                loaded.wait(3000);
                QTest::qWait(50);
            }
            // Typed as a user would: a file that does not exist yet.
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
            // done() rather than accept(): accept() consults the directory model, which a thread fills.
            QMetaObject::invokeMethod(d, "done", Q_ARG(int, QDialog::Accepted));
        });
        ClickButton(&w, QStringLiteral("btnOpenFile"));
        QCOMPARE(title, QStringLiteral("保存引出文件"));
        QCOMPARE(mode, int(QFileDialog::AcceptSave));
        QCOMPARE(filters, QStringList{"文本文件(*.txt)"});
        QCOMPARE(w.txtTxtFile->text(), m_db->folder() + u'/' + chosen);
        QCOMPARE(w.focusWidget(), w.btnOK);
    }

    // ---- link list --------------------------------------------------------------------------

    void listShowsLinksOfOneDirection() {
        m_db->config->Execute(
            QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut) values "
                           "(2, '普通', 1, '2026-02-01', '0'), (3, '无类型', NULL, '2026-02-02', '0'), "
                           "(4, '其他类型', 5, '2026-02-03', '0'), (5, '引入关联', 0, '2026-02-04', '1')"));
        frmList list(m_db->session);
        list.OpenExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
            frmExportTxt::ShowFor(m_db->session, key, name, memo, list.parentWidget());
        };
        QStringList rows;
        for (int direction : {0, 1}) {
            list.ExportOrImport = direction;
            list.Init();
            for (int i = 0; i < list.lsvSelect->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* it = list.lsvSelect->topLevelItem(i);
                rows << QString::number(direction) + u':' +
                            QStringList{it->text(0), it->text(1), it->text(2), it->text(3)}.join(u'|');
            }
        }
        QCOMPARE(rows, (QStringList{"0:航天金税默认格式|销售专用发票|文本文件|2026-01-01",
                                    "0:普通|销售普通发票|文本文件|2026-02-01",
                                    "0:无类型|销售专用发票|文本文件|2026-02-02",
                                    "0:其他类型|销售普通发票|文本文件|2026-02-03",
                                    "1:引入关联|销售专用发票|文本文件|2026-02-04"}));
    }

    // Questions, messages, the wizard, and the list against the stored state (a link added behind the
    // list's back shows only when the list reloads); actions that need a selected row do nothing without.
    void listButtons_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("wizard"); // title of the window that opens, if any
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("ownMappings");
        const QString del = QStringLiteral("你确定要删除所选关联吗？");
        const QString fmt = QStringLiteral("是否确定引入航天金税默认的发票格式设置?\r\n"
                                           "将恢复关联“航天金税默认格式”的字段对应，其他关联保持不变。");
        const QString wiz = QStringLiteral("关联关系");
        const QStringList none;
        QTest::newRow("OK without a selection") << "cmdOK" << false << true << none << "" << 2 << 3 << 1;
        QTest::newRow("delete without a selection")
            << "cmdDelete" << false << true << none << "" << 2 << 3 << 1;
        QTest::newRow("delete, answer No")
            << "cmdDelete" << true << false << QStringList{del} << "" << 2 << 3 << 1;
        QTest::newRow("delete, answer Yes")
            << "cmdDelete" << true << true << QStringList{del, "删除成功!"} << "" << 2 << 2 << 0;
        QTest::newRow("default format, answer No")
            << "cmdAttrReference" << false << false << QStringList{fmt} << "" << 2 << 3 << 1;
        QTest::newRow("default format, answer Yes keeps the user's own mappings")
            << "cmdAttrReference" << false << true << QStringList{fmt} << "" << 3 << 3 << 1;
        QTest::newRow("new, wizard cancelled") << "cmdNew" << false << true << none << wiz << 3 << 3 << 1;
        QTest::newRow("edit, wizard cancelled") << "cmdEdit" << true << true << none << wiz << 3 << 3 << 1;
        QTest::newRow("edit without a selection") << "cmdEdit" << false << true << none << "" << 2 << 3 << 1;
    }
    void listButtons() {
        QFETCH(QString, button);
        QFETCH(bool, select);
        QFETCH(bool, answer);
        QFETCH(QStringList, messages);
        QFETCH(QString, wizard);
        QFETCH(int, shown);
        QFETCH(int, stored);
        QFETCH(int, ownMappings);
        Connection& c = *m_db->config;
        c.Execute(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
        c.Execute(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, "
                                 "FisHead) values (7, 1, 0, '1', 1)"));
        frmList list(m_db->session);
        list.OpenExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
            frmExportTxt::ShowFor(m_db->session, key, name, memo, list.parentWidget());
        };
        list.Init();
        list.show();
        if (select) {
            SelectRow(list, QStringLiteral("第二"));
        } else {
            list.lsvSelect->clearSelection();
            list.lsvSelect->setCurrentItem(nullptr);
        }
        c.Execute(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (8, '新的', '0')"));
        RecorderSink sink;
        sink.answers << answer;
        QString opened;
        WhenModal(
            [&](QWidget* m) {
                if (m == &list) return;
                opened = m->windowTitle();
                QMetaObject::invokeMethod(m, "reject");
            },
            wizard.isEmpty() ? 5 : 3000);
        ClickButton(&list, button);
        if (wizard.isEmpty()) QTest::qWait(100);
        QCOMPARE(opened, wizard);
        QVERIFY(list.isVisible());
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(list.lsvSelect->topLevelItemCount(), shown);
        QCOMPARE(c.Query(QStringLiteral("select count(*) from t_BaseInfo"))->value(0).toInt(), stored);
        QCOMPARE(
            c.Query(QStringLiteral("select count(*) from t_Detail where FBaseInfoID=7"))->value(0).toInt(),
            ownMappings);
    }

    // The user journey: list → OK → export window → file → filter → "引出成功！", on the factory link.
    void journeyFromListToFile() {
        const QString path = m_db->folder() + QStringLiteral("/out.TXT");
        RecorderSink sink;
        frmList list(m_db->session);
        list.OpenExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
            frmExportTxt::ShowFor(m_db->session, key, name, memo, list.parentWidget());
        };
        list.Init();
        SelectRow(list, QStringLiteral("航天金税默认格式"));
        QString shown;
        WhenModal([&](QWidget* m) {
            auto* w = qobject_cast<frmExportTxt*>(m);
            QVERIFY(w);
            shown = QStringList{list.isVisible() ? "list visible" : "list closed", w->txtLinkName->text(),
                                w->txtNote->text(), w->Key()}
                        .join(u'|');
            w->txtTxtFile->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
            WhenModal([&](QWidget* f) {
                auto* filter = qobject_cast<frmFilter*>(f);
                QVERIFY(filter);
                filter->dtFrom->setDate(QDate(2026, 1, 1));
                filter->dtTo->setDate(QDate(2026, 2, 28));
                ClickButton(filter, QStringLiteral("cmdOK"));
            });
            WhenModalOf<frmExportPreview>(
                [&](frmExportPreview* p) { ClickButton(p, QStringLiteral("btnOK")); });
            ClickButton(w, QStringLiteral("btnOK"));
            ClickButton(w, QStringLiteral("btnExit"));
        });
        list.show();
        ClickButton(&list, QStringLiteral("cmdOK"));
        QCOMPARE(shown, QStringLiteral("list closed|航天金税默认格式|销售专用发票|1"));
        QCOMPARE(list.result(), int(QDialog::Accepted));
        QCOMPARE(sink.texts(), QStringList{"引出成功！"});
        const QStringList lines = ReadGbkFile(path);
        QCOMPARE(lines.value(0), QStringLiteral("SJJK0101~~销售单据传入"));
        QVERIFY(lines.size() > 2);
        QVERIFY2(lines.value(1).startsWith(QStringLiteral("ZP")), qPrintable(lines.value(1)));
    }

    // ---- 对账 -----------------------------------------------------------------------------

    // The window lists every exported document with its state and totals, and saves the list as CSV.
    void reconcileWindow() {
        RecorderSink rec;
        clsSaveDataExport exporter(m_db->session);
        QVERIFY(exporter.ExportToTxT(m_db->folder() + QStringLiteral("/out.txt"), QString(13, u'|'),
                                     QStringLiteral("1")));
        // Two tax invoices came back: one as exported, one with another amount.
        m_db->acct->Execute(
            QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', "
                           "FTaxNumber='00000001', FIssueState='已开票', FIssuedAmount=FAmount, "
                           "FIssuedTax=FTax where FDocNo='ZP000001'"));
        m_db->acct->Execute(
            QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', "
                           "FTaxNumber='00000002', FIssueState='已开票', FIssuedAmount=FAmount+5, "
                           "FIssuedTax=FTax where FDocNo='ZP000002'"));
        ReconcileWindow w(m_db->session);
        w.showDocuments(QString(13, u'|'));
        QCOMPARE(w.grdDocs->rowCount(), 5);
        QStringList rows;
        for (int r = 0; r < w.grdDocs->rowCount(); ++r)
            rows << w.grdDocs->item(r, 0)->text() + u'=' + w.grdDocs->item(r, 1)->text() + u'=' +
                        w.grdDocs->item(r, 2)->text();
        QCOMPARE(rows,
                 (QStringList{"ZP000001=已开票=3300061130-00000001", "ZP000002=金额不符=3300061130-00000002",
                              "ZP000003=未开票=", "ZP000004=未开票=", "ZP000005=未开票="}));
        QVERIFY2(w.lblTotals->text().startsWith(QStringLiteral("合计：已开票1张，引出")),
                 qPrintable(w.lblTotals->text()));
        QVERIFY(w.lblTotals->text().contains(QStringLiteral("；未开票3张，")));
        QVERIFY(w.cmdSave->isEnabled());
        const QString csv = m_db->folder() + QStringLiteral("/对账.csv");
        QVERIFY(w.saveCsv(csv));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(f.readAll().mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.first(),
                 QStringLiteral("单据号,状态,发票代码-发票号码,引出不含税金额,开票不含税金额"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("ZP000001,已开票,3300061130-00000001,")),
                 qPrintable(lines[1]));
        QCOMPARE(lines.size(), 1 + 5 + 3);
        QCOMPARE(rec.texts(), QStringList{"对账结果已保存到" + QDir::toNativeSeparators(csv) + "。"});
    }
};

QTEST_MAIN(TestExportUi)
#include "test_export_ui.moc"
