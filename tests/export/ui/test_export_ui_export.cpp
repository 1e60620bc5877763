// The export window: its format, the export button, the preview, the file dialog.
#include "test_export_ui.h"

// The link list names each link's format, and the export window is titled and labelled by it.
void TestExportUi::windowsNameTheFormat_data() {
    QTest::addColumn<QString>("stored"); // FFormat of the factory link
    QTest::addColumn<QString>("name");
    QTest::newRow("empty: text file") << ""
                                      << "文本文件";
    QTest::newRow("xml") << "xml"
                         << "XML文件";
    QTest::newRow("workbook") << "xlsx"
                              << "电子发票平台模板";
}

void TestExportUi::windowsNameTheFormat() {
    QFETCH(QString, stored);
    QFETCH(QString, name);
    Connection& c = *m_db->config;
    c.exec(QStringLiteral("update t_BaseInfo set FFormat=? where FID=1"), {stored});
    c.exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut, FFormat) "
                          "values (7, 'XML', 0, '2026-03-01', '0', 'xml'), "
                          "(8, '平台', 1, '2026-03-01', '0', 'xlsx')"));
    LinkListWindow list(m_db->session);
    list.exportOrImport = 0;
    list.init();
    QStringList column;
    for (int i = 0; i < list.lsvSelect->topLevelItemCount(); ++i)
        column << list.lsvSelect->topLevelItem(i)->text(2);
    QCOMPARE(column, (QStringList{name, "XML文件", "电子发票平台模板"}));

    RecorderSink sink;
    ExportWindow w(m_db->session);
    w.setKey(QStringLiteral("1"));
    QCOMPARE(w.windowTitle(), QStringLiteral("引出发票到") + name);
    QCOMPARE(w.label1->text(), QStringLiteral("引出%1路径：").arg(name));
    clickButton(&w, QStringLiteral("btnOK"));
    QCOMPARE(sink.texts(), QStringList{QStringLiteral("未输入引出%1路径！").arg(name)});
}

void TestExportUi::exportButton_data() {
    QTest::addColumn<QString>("path"); // "@" is a file holding "OLD"
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("filterOk");
    QTest::addColumn<bool>("previewOk");
    QTest::addColumn<QStringList>("messages");
    const QString q = QStringLiteral("引出文本文件已存在，是否覆盖？");
    QTest::newRow("empty path") << "" << true << true << true << QStringList{"未输入引出文本文件路径！"};
    QTest::newRow("blanks only") << "   " << true << true << true << QStringList{"未输入引出文本文件路径！"};
    QTest::newRow("answer No: file untouched, no filter") << "@" << false << true << true << QStringList{q};
    QTest::newRow("Yes then Cancel in the filter: file still there")
        << "@" << true << false << true << QStringList{q};
    QTest::newRow("Yes, OK, the preview cancelled: file still there")
        << "@" << true << true << false << QStringList{q};
    QTest::newRow("Yes then OK: replaced") << "@" << true << true << true << QStringList{q, "引出成功！"};
}

void TestExportUi::exportButton() {
    QFETCH(QString, path);
    QFETCH(bool, overwrite);
    QFETCH(bool, filterOk);
    QFETCH(bool, previewOk);
    QFETCH(QStringList, messages);
    const QString file = m_db->folder() + QStringLiteral("/fp.TXT");
    writeOld(file);
    RecorderSink sink;
    sink.answers << overwrite;
    ExportWindow w(m_db->session);
    w.setKey(QStringLiteral("1"));
    w.txtTxtFile->setText(path.replace(u'@', file));
    const bool filterOpens = path == file && overwrite;
    bool filterOpened = false;
    whenModal(
        [&](QWidget* m) {
            filterOpened = true;
            auto* f = qobject_cast<ExportFilterDialog*>(m);
            QVERIFY(f);
            f->dtFrom->setDate(QDate(2026, 1, 1));
            clickButton(f, filterOk ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
        },
        filterOpens ? 200 : 5);
    // The proof of what would be written comes before the file.
    int previewed = -1;
    bool fileAtPreview = false;
    if (filterOpens && filterOk)
        whenModalOf<ExportPreviewDialog>([&](ExportPreviewDialog* p) {
            previewed = p->grdDocs->rowCount();
            fileAtPreview = fileBytes(file) == "OLD\r\n";
            clickButton(p, previewOk ? QStringLiteral("btnOK") : QStringLiteral("btnCancel"));
        });
    clickButton(&w, QStringLiteral("btnOK"));
    QTest::qWait(filterOpens ? 0 : 100);
    QCOMPARE(sink.texts(), messages);
    QCOMPARE(filterOpened, filterOpens);
    if (filterOpens && filterOk) {
        QVERIFY(previewed > 0);
        QVERIFY(fileAtPreview);
        QCOMPARE(w.lblStatus->text().isEmpty(), false);
    }
    // The bar showed the run, which is over: it does not stay filled under the result.
    QCOMPARE(w.pBar->value(), 0);
    if (messages.contains(QStringLiteral("引出成功！")))
        QVERIFY(fileBytes(file).startsWith("SJJK0101~~"));
    else
        QCOMPARE(fileBytes(file), QByteArray("OLD\r\n"));
    // The window stays open for another export with the same path.
    QCOMPARE(w.txtTxtFile->text(), path);
}

// A big month: the proof runs with the window's progress and lists the first 1,000 documents with the
// totals of all; 取消 while it reads stops it before anything is shown or written.
void TestExportUi::previewOfABigMonth_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("to the end") << false;
    QTest::newRow("取消 while reading") << true;
}

void TestExportUi::previewOfABigMonth() {
    QFETCH(bool, cancel);
    if (m_db->onServer()) QSKIP("the copies are made with SQLite's own statements");
    // The four special invoices of January and February, 251 times over under new numbers.
    Connection& acct = *m_db->acct;
    const auto columns = [&](const QString& table) {
        QStringList names;
        const RecordsetPtr rs =
            acct.query(QStringLiteral("select name from pragma_table_info('%1')").arg(table));
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
    acct.exec(copies + QStringLiteral("insert into ICSale (%1) select %2 from ICSale, k where FTranType=80 "
                                      "and FDate between '2026-01-01' and '2026-02-28'")
                           .arg(sale.join(u','), select(sale, QStringLiteral("FInterID+n*10000"),
                                                        QStringLiteral("'R'||n||FBillNo"))));
    acct.exec(copies + QStringLiteral("insert into ICSaleEntry (%1) select %2 from ICSaleEntry e, k where "
                                      "e.FInterID in (select FInterID from ICSale where FInterID<10000 "
                                      "and FTranType=80 and FDate between '2026-01-01' and '2026-02-28')")
                           .arg(entry.join(u','), select(entry, QStringLiteral("FInterID+n*10000"),
                                                         QStringLiteral("FBillNo"))));
    const QString file = m_db->folder() + QStringLiteral("/big.txt");
    RecorderSink sink;
    ExportWindow w(m_db->session);
    w.setKey(QStringLiteral("1"));
    w.show();
    w.txtTxtFile->setText(file);
    whenModal([&](QWidget* m) {
        auto* f = qobject_cast<ExportFilterDialog*>(m);
        QVERIFY(f);
        f->dtFrom->setDate(QDate(2026, 1, 1));
        f->dtTo->setDate(QDate(2026, 2, 28));
        clickButton(f, QStringLiteral("cmdOK"));
        // The next events run while the proof reads: 取消 is pressed there, or the bar is looked at.
        QTimer::singleShot(0, &w, [&] {
            if (cancel) clickButton(&w, QStringLiteral("btnExit"));
        });
    });
    int listed = -1;
    QString total, shown;
    bool shownVisible = false;
    if (!cancel)
        whenModalOf<ExportPreviewDialog>([&](ExportPreviewDialog* p) {
            listed = p->grdDocs->rowCount();
            total = p->lblTotal->text();
            shown = p->lblShown->text();
            shownVisible = p->lblShown->isVisibleTo(p);
            clickButton(p, QStringLiteral("btnCancel"));
        });
    clickButton(&w, QStringLiteral("btnOK"));
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
void TestExportUi::exitDuringExportCancels() {
    ExportWindow w(m_db->session);
    w.show();
    w.beginRun();
    QVERIFY(!w.btnOK->isEnabled());
    QCOMPARE(w.btnExit->text(), QStringLiteral("取消(&C)"));
    clickButton(&w, QStringLiteral("btnExit"));
    QVERIFY(w.cancelRequested());
    w.close();
    QVERIFY(w.isVisible());
    w.endRun();
    QVERIFY(w.btnOK->isEnabled());
    clickButton(&w, QStringLiteral("btnExit"));
    QVERIFY(!w.isVisible());
}

// The target is chosen in a save dialog: a name typed without an extension gets ".txt".
void TestExportUi::openFileDialogFillsPath_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("a new file with its extension") << "new.TXT"
                                                   << "new.TXT";
    QTest::newRow("a name without an extension") << "new"
                                                 << "new.txt";
}

void TestExportUi::openFileDialogFillsPath() {
    QFETCH(QString, typed);
    QFETCH(QString, chosen);
    ExportWindow w(m_db->session);
    QString title;
    QStringList filters;
    int mode = -1;
    whenModal([&](QWidget* m) {
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
    clickButton(&w, QStringLiteral("btnOpenFile"));
    QCOMPARE(title, QStringLiteral("保存引出文件"));
    QCOMPARE(mode, int(QFileDialog::AcceptSave));
    QCOMPARE(filters, QStringList{"文本文件(*.txt)"});
    QCOMPARE(w.txtTxtFile->text(), m_db->folder() + u'/' + chosen);
    QCOMPARE(w.focusWidget(), w.btnOK);
}
