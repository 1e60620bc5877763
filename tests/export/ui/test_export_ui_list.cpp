// The list of links to export, the way from the list to the file, the reconciliation window.
#include "test_export_ui.h"

namespace {
void selectRow(LinkListWindow& list, const QString& name) {
    const auto items = list.lsvSelect->findItems(name, Qt::MatchExactly, 0);
    QVERIFY(!items.isEmpty());
    list.lsvSelect->setCurrentItem(items.first());
}
} // namespace

void TestExportUi::listShowsLinksOfOneDirection() {
    m_db->config->exec(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut) values "
                       "(2, '普通', 1, '2026-02-01', '0'), (3, '无类型', NULL, '2026-02-02', '0'), "
                       "(4, '其他类型', 5, '2026-02-03', '0'), (5, '引入关联', 0, '2026-02-04', '1')"));
    LinkListWindow list(m_db->session);
    list.openExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
        ExportWindow::showFor(m_db->session, key, name, memo, list.parentWidget());
    };
    QStringList rows;
    for (int direction : {0, 1}) {
        list.exportOrImport = direction;
        list.init();
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
void TestExportUi::listButtons_data() {
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
    QTest::newRow("delete without a selection") << "cmdDelete" << false << true << none << "" << 2 << 3 << 1;
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

void TestExportUi::listButtons() {
    QFETCH(QString, button);
    QFETCH(bool, select);
    QFETCH(bool, answer);
    QFETCH(QStringList, messages);
    QFETCH(QString, wizard);
    QFETCH(int, shown);
    QFETCH(int, stored);
    QFETCH(int, ownMappings);
    Connection& c = *m_db->config;
    c.exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
    c.exec(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, "
                          "FisHead) values (7, 1, 0, '1', 1)"));
    LinkListWindow list(m_db->session);
    list.openExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
        ExportWindow::showFor(m_db->session, key, name, memo, list.parentWidget());
    };
    list.init();
    list.show();
    if (select) {
        selectRow(list, QStringLiteral("第二"));
    } else {
        list.lsvSelect->clearSelection();
        list.lsvSelect->setCurrentItem(nullptr);
    }
    c.exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (8, '新的', '0')"));
    RecorderSink sink;
    sink.answers << answer;
    QString opened;
    whenModal(
        [&](QWidget* m) {
            if (m == &list) return;
            opened = m->windowTitle();
            QMetaObject::invokeMethod(m, "reject");
        },
        wizard.isEmpty() ? 5 : 3000, &list);
    clickButton(&list, button);
    if (wizard.isEmpty()) QTest::qWait(100);
    QCOMPARE(opened, wizard);
    QVERIFY(list.isVisible());
    QCOMPARE(sink.texts(), messages);
    QCOMPARE(list.lsvSelect->topLevelItemCount(), shown);
    QCOMPARE(c.query(QStringLiteral("select count(*) from t_BaseInfo"))->value(0).toInt(), stored);
    QCOMPARE(c.query(QStringLiteral("select count(*) from t_Detail where FBaseInfoID=7"))->value(0).toInt(),
             ownMappings);
}

// The user journey: list → OK → export window → file → filter → "引出成功！", on the factory link.
void TestExportUi::journeyFromListToFile() {
    const QString path = m_db->folder() + QStringLiteral("/out.TXT");
    RecorderSink sink;
    LinkListWindow list(m_db->session);
    list.openExport = [this, &list](const QString& key, const QString& name, const QString& memo) {
        ExportWindow::showFor(m_db->session, key, name, memo, list.parentWidget());
    };
    list.init();
    selectRow(list, QStringLiteral("航天金税默认格式"));
    QString shown;
    whenModal([&](QWidget* m) {
        auto* w = qobject_cast<ExportWindow*>(m);
        QVERIFY(w);
        shown = QStringList{list.isVisible() ? "list visible" : "list closed", w->txtLinkName->text(),
                            w->txtNote->text(), w->key()}
                    .join(u'|');
        w->txtTxtFile->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
        whenModal([&](QWidget* f) {
            auto* filter = qobject_cast<ExportFilterDialog*>(f);
            QVERIFY(filter);
            filter->dtFrom->setDate(QDate(2026, 1, 1));
            filter->dtTo->setDate(QDate(2026, 2, 28));
            clickButton(filter, QStringLiteral("cmdOK"));
        });
        whenModalOf<ExportPreviewDialog>(
            [&](ExportPreviewDialog* p) { clickButton(p, QStringLiteral("btnOK")); });
        clickButton(w, QStringLiteral("btnOK"));
        clickButton(w, QStringLiteral("btnExit"));
    });
    list.show();
    clickButton(&list, QStringLiteral("cmdOK"));
    QCOMPARE(shown, QStringLiteral("list closed|航天金税默认格式|销售专用发票|1"));
    QCOMPARE(list.result(), int(QDialog::Accepted));
    QCOMPARE(sink.texts(), QStringList{"引出成功！"});
    const QStringList lines = readGbkFile(path);
    QCOMPARE(lines.value(0), QStringLiteral("SJJK0101~~销售单据传入"));
    QVERIFY(lines.size() > 2);
    QVERIFY2(lines.value(1).startsWith(QStringLiteral("ZP")), qPrintable(lines.value(1)));
}

// The window lists every exported document with its state and totals, and saves the list as CSV.
void TestExportUi::reconcileWindow() {
    RecorderSink rec;
    ExportEngine exporter(m_db->session);
    QVERIFY(exporter.exportFile(m_db->folder() + QStringLiteral("/out.txt"), QString(13, u'|'),
                                QStringLiteral("1")));
    // Two tax invoices came back: one as exported, one with another amount.
    m_db->acct->exec(QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', "
                                    "FTaxNumber='00000001', FIssueState='已开票', FIssuedAmount=FAmount, "
                                    "FIssuedTax=FTax where FDocNo='ZP000001'"));
    m_db->acct->exec(QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', "
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
    QCOMPARE(lines.first(), QStringLiteral("单据号,状态,发票代码-发票号码,引出不含税金额,开票不含税金额"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("ZP000001,已开票,3300061130-00000001,")),
             qPrintable(lines[1]));
    QCOMPARE(lines.size(), 1 + 5 + 3);
    QCOMPARE(rec.texts(), QStringList{"对账结果已保存到" + QDir::toNativeSeparators(csv) + "。"});

    // A document the platform refused stands out, its reason beside it.
    m_db->acct->exec(QStringLiteral("update TF_Ledger set FState=1, FIssueState='开具失败', "
                                    "FIssueReason='购买方名称不能为空' where FDocNo='ZP000003'"));
    w.showDocuments(QString(13, u'|'));
    QCOMPARE(w.grdDocs->item(2, 1)->text(), QStringLiteral("开具失败"));
    QCOMPARE(w.grdDocs->item(2, 5)->text(), QStringLiteral("购买方名称不能为空"));
    QCOMPARE(w.grdDocs->item(2, 0)->toolTip(), QStringLiteral("购买方名称不能为空"));
    QVERIFY(w.grdDocs->item(2, 1)->background() != w.grdDocs->item(3, 1)->background());
    QVERIFY(w.grdDocs->item(3, 5)->text().isEmpty());
    QVERIFY2(w.lblTotals->text().contains(QStringLiteral("；开具失败1张，")),
             qPrintable(w.lblTotals->text()));
}

// 对账 asks for its range before its window shows: the filter opens over the window that opened it, not
// in the screen's corner.
void TestExportUi::reconcileFilterOverItsWindow() {
    QWidget opener;
    opener.setGeometry(300, 200, 400, 300);
    opener.show();
    QVERIFY(QTest::qWaitForWindowExposed(&opener));
    ReconcileWindow w(m_db->session, &opener);
    QPoint centre;
    whenModalOf<ExportFilterDialog>([&](ExportFilterDialog* f) {
        centre = f->frameGeometry().center();
        f->reject();
    });
    QVERIFY(!w.chooseFilter());
    // Over its opener (a hidden window would put it in the screen's corner).
    const QPoint off = centre - opener.frameGeometry().center();
    QVERIFY2(off.manhattanLength() < 40, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
}
