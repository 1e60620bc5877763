// The link list LinkListWindow and a link made in the wizard exported by the batch tool.
#include "test_links.h"

// ---- link list and export -------------------------------------------------------------------

void TestLinks::listNewAndEditOpenTheWizard() {
    LinkListWindow list(m_db->session);
    list.exportOrImport = 0;
    list.init();
    list.show();
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 1);

    // New: the wizard opens empty with the proposed separator; the user saves a link.
    struct Seen {
        int status = -1;
        QString key, text;
        bool picked = false;
    } seenNew, seenEdit;
    QTimer::singleShot(0, [&seenNew] {
        auto* w = qobject_cast<LinkWizard*>(QApplication::activeModalWidget());
        if (!w) return;
        seenNew = {w->status, w->key, w->txtCompartChar->text()};
        w->txtLinkName->setText(QStringLiteral("列表新建"));
        w->cboType->setCurrentIndex(0);
        w->cmdNext->click();
        seenNew.picked = pick(w->fpHead, TaxField, 1, QStringLiteral("单据号")) &&
                         pick(w->fpHead, QorField, 1, QStringLiteral("单据号")) &&
                         pick(w->fpBody, TaxField, 1, QStringLiteral("货物名称")) &&
                         pick(w->fpBody, QorField, 1, QStringLiteral("货物名称"));
        w->cmdFinish->click();
        if (w->isVisible()) w->reject();
    });
    m_sink->answers << true; // save although the tax system needs more fields
    QTest::mouseClick(list.cmdNew, Qt::LeftButton);
    QCOMPARE(seenNew.status, 0);
    QCOMPARE(seenNew.key, QString());
    QCOMPARE(seenNew.text, QStringLiteral("~~"));
    QVERIFY(seenNew.picked);
    QCOMPARE(savedTexts(), QStringList{QStringLiteral("保存成功!")});
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 2);

    // Edit: the selected link is loaded; cancelling still reloads the list.
    QTreeWidgetItem* row = list.lsvSelect->topLevelItem(1);
    QCOMPARE(row->text(0), QStringLiteral("列表新建"));
    list.lsvSelect->setCurrentItem(row);
    m_db->config->exec(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (9, '别处新增', '0')"));
    QTimer::singleShot(0, [&seenEdit] {
        auto* w = qobject_cast<LinkWizard*>(QApplication::activeModalWidget());
        if (!w) return;
        seenEdit = {w->status, w->key, w->txtLinkName->text()};
        w->cmdCancel->click();
    });
    QTest::mouseClick(list.cmdEdit, Qt::LeftButton);
    QCOMPARE(seenEdit.status, 1);
    QCOMPARE(seenEdit.key, QStringLiteral("2"));
    QCOMPARE(seenEdit.text, QStringLiteral("列表新建"));
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 3);

    // Edit without a selection opens nothing.
    list.lsvSelect->clearSelection();
    list.lsvSelect->setCurrentItem(nullptr);
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (auto* w = qobject_cast<LinkWizard*>(QApplication::activeModalWidget())) {
            opened = true;
            w->reject();
        }
    });
    QTest::mouseClick(list.cmdEdit, Qt::LeftButton);
    QApplication::processEvents();
    QVERIFY(!opened);

    // A failure while the wizard is made ready is reported by the list's button.
    m_sink->clear();
    m_db->config->exec(QStringLiteral("drop table t_TaxField"));
    QTest::mouseClick(list.cmdNew, Qt::LeftButton);
    QCOMPARE(m_sink->entries.size(), 1);
    QVERIFY2(m_sink->last().startsWith(QStringLiteral("调用(cmdNew_Click)出错!\r\n错误编号:")),
             qPrintable(m_sink->last()));
}

// The first link is current and selected whenever the list (re)loads, so Enter, 确定 and a double-click
// hand a link to the export without a click on the list first.
void TestLinks::listReadyForTheKeyboard_data() {
    QTest::addColumn<QString>("before"); // what the user did first: "", "delete" or "format"
    QTest::addColumn<QString>("how");    // "enter", "ok" or "double-click" (on the second row)
    QTest::addColumn<QString>("name");   // the link handed to the export
    QTest::newRow("Enter as the list opens") << ""
                                             << "enter"
                                             << "航天金税默认格式";
    QTest::newRow("确定 as the list opens") << ""
                                            << "ok"
                                            << "航天金税默认格式";
    QTest::newRow("double-click on another link") << ""
                                                  << "double-click"
                                                  << "第二";
    QTest::newRow("Enter after the first link was deleted") << "delete"
                                                            << "enter"
                                                            << "第二";
    QTest::newRow("Enter after the default format was loaded") << "format"
                                                               << "enter"
                                                               << "航天金税默认格式";
}

void TestLinks::listReadyForTheKeyboard() {
    QFETCH(QString, before);
    QFETCH(QString, how);
    QFETCH(QString, name);
    m_db->config->exec(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
    LinkListWindow list(m_db->session);
    QStringList handed;
    list.openExport = [&handed](const QString& key, const QString& linkName, const QString&) {
        handed << key << linkName;
    };
    list.init();
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    m_sink->answers << true;
    if (before == u"delete") list.cmdDelete->click();
    if (before == u"format") list.cmdAttrReference->click();
    QCOMPARE(list.selectedLinkId().isEmpty(), false);
    QTreeWidgetItem* first = list.lsvSelect->topLevelItem(0);
    QCOMPARE(list.lsvSelect->currentItem(), first);
    QVERIFY(first->isSelected());
    list.lsvSelect->setFocus();
    if (how == u"enter") {
        QTest::keyClick(list.lsvSelect, Qt::Key_Return);
    } else if (how == u"ok") {
        QTest::mouseClick(list.cmdOK, Qt::LeftButton);
    } else {
        const QRect r = list.lsvSelect->visualItemRect(list.lsvSelect->topLevelItem(1));
        // As a mouse sends it: the first click, then the second press that makes it a double-click.
        QTest::mouseClick(list.lsvSelect->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list.lsvSelect->viewport(), Qt::LeftButton, {}, r.center());
    }
    QCOMPARE(handed.value(1), name);
    QCOMPARE(handed.size(), 2); // once, not once for the key and again for the default button
    QCOMPARE(list.result(), int(QDialog::Accepted));
}

void TestLinks::wizardLinkExportsAsItsGridsSay() {
    auto w = openWizard();
    w->txtCompartChar->setText(QStringLiteral("##"));
    toStepTwo(w.get(), QStringLiteral("往返"), 0);
    testFill(w.get(), true, {kBillNo, QStringLiteral("2|购方名称|=upper([3/购方名称])")});
    testFill(w.get(), false,
             {QStringLiteral("1|数量|=[24/数量] * 2"), QStringLiteral("2|货物名称|货物名称")});
    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(savedTexts(), QStringList{QStringLiteral("保存成功!")});

    const QString out = m_db->folder() + QStringLiteral("/out.txt");
    QProcess batch;
    batch.start(QStringLiteral(TAXFERRY_BATCH),
                {QStringLiteral("export"), QStringLiteral("--acct"), m_db->acctConnString(),
                 QStringLiteral("--config"), m_db->configPath, QStringLiteral("--link"), QStringLiteral("2"),
                 QStringLiteral("--out"), out});
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 0);
    const QStringList lines = readGbkFile(out);

    // What the grids say, read straight from the demo accounting set: special invoices, head
    // "bill number ## (empty 商品行数) ## upper(customer)", body "item name ## ## ## quantity * 2" per line:
    // the gaps were filled with empty fields and the rows put in the tax system's order.
    QStringList expected{QStringLiteral("SJJK0101##销售单据传入")};
    const RecordsetPtr heads = m_db->acct->query(QStringLiteral(
        "select s.FBillNo, upper(o.FName), s.FInterID from ICSale s left join t_Organization o on "
        "o.FItemID=s.FCustID where s.FTranType=80 order by s.FBillNo"));
    QVERIFY(heads->recordCount() > 0);
    for (heads->first(); !heads->atEnd(); heads->next()) {
        expected << heads->value(0).toString() + QStringLiteral("####") + heads->value(1).toString();
        const RecordsetPtr body = m_db->acct->query(
            QStringLiteral(
                "select e.FQty * 2, i.FName from ICSaleEntry e left join t_IcItem i on i.FItemID=e.FItemID "
                "where e.FInterID=? order by e.FEntryID"),
            {heads->value(2)});
        for (body->first(); !body->atEnd(); body->next())
            expected << body->value(1).toString() + QStringLiteral("######") +
                            numberText(body->value(0).toDouble());
    }
    QVERIFY(expected.size() > heads->recordCount() + 1); // the invoices have lines
    QCOMPARE(lines, expected);
}
