// The wizard LinkWizard: its first step, saving and editing a link, the messages of a finish.
#include "test_links.h"

// ---- wizard ---------------------------------------------------------------------------------

void TestLinks::firstStepChecks_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const auto add = [](const char* row, const QString& name, int type, const QString& separator,
                        const QString& message, const QString& focus) {
        QTest::newRow(row) << name << type << separator << message << focus;
    };
    add("no name", "", 0, "~~", "请输入关联名称！", "txtLinkName");
    add("name of blanks", "   ", 0, "~~", "请输入关联名称！", "txtLinkName");
    add("no invoice type", "a", -1, "~~", "请选择发票类型！", "cboType");
    add("separator of blanks", "a", 1, "  ", "请输入分隔符！", "txtCompartChar");
    add("complete", "a", 1, ",", "", "");
}

void TestLinks::firstStepChecks() {
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, separator);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    auto w = openWizard();
    // A new link opens on step 1, empty but for the proposed separator.
    QCOMPARE(w->txtCompartChar->text(), QStringLiteral("~~"));
    QCOMPARE(w->txtLinkName->text() + w->txtNote->toPlainText(), QString());
    QCOMPARE(w->cboType->currentIndex(), -1);
    QVERIFY(w->fraStep[0]->isVisible() && !w->fraStep[1]->isVisible());
    QVERIFY(!w->cmdPrevious->isEnabled() && w->cmdNext->isEnabled() && !w->cmdFinish->isEnabled());

    w->activateWindow();
    w->txtLinkName->setText(name);
    w->cboType->setCurrentIndex(type);
    w->txtCompartChar->setText(separator);
    w->cmdNext->setFocus();
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(w->step(), message.isEmpty() ? 1 : 0);
    if (!focus.isEmpty()) {
        QVERIFY(w->focusWidget());
        QCOMPARE(w->focusWidget()->objectName(), focus);
    } else {
        QVERIFY(w->fraStep[1]->isVisible() && !w->fraStep[0]->isVisible());
        QVERIFY(w->cmdPrevious->isEnabled() && !w->cmdNext->isEnabled() && w->cmdFinish->isEnabled());
    }
}

void TestLinks::newLinkSavedWithHeadBodyAndFormula() {
    auto w = openWizard();
    w->txtNote->setPlainText(QStringLiteral("  月末引出  "));
    w->txtCompartChar->setText(QStringLiteral(" ## "));
    toStepTwo(w.get(), QStringLiteral("  普通票引出 "), 1);
    QCOMPARE(w->step(), 1);

    FieldGrid* h = w->fpHead;
    testFill(w.get(), true, {kBillNo});
    QCOMPARE(h->text(FieldType, 1), QStringLiteral("文本"));
    QCOMPARE(h->text(TaxID, 1), QStringLiteral("1"));
    QCOMPARE(h->text(QorID, 1), QStringLiteral("1"));
    // Row 2: a formula.
    QVERIFY(pick(h, TaxField, 2, QStringLiteral("备注")));
    QCOMPARE(h->text(TaxID, 2), QStringLiteral("7"));
    clickCell(h, IsFormula, 2);
    QCOMPARE(h->text(IsFormula, 2), QStringLiteral("1"));
    QCOMPARE(h->kind(Formula, 2), CellType::Button);
    QVERIFY(h->locked(QorField, 2));
    EditorAnswer answer;
    answerEditor(&answer, QStringLiteral("upper([3/购方名称])"));
    clickCell(h, Formula, 2);
    QVERIFY(answer.opened && !answer.stillOpenAfterOk);
    QCOMPARE(answer.shown, QString());
    QCOMPARE(answer.dataType, 1);
    QCOMPARE(h->caption(Formula, 2), QStringLiteral("upper([3/购方名称])"));
    QCOMPARE(h->text(QorID, 2), QStringLiteral("upper(3)|upper(FCustName)|upper([3/购方名称])"));

    // Body: a field row and a numeric formula, which the editor checks as numeric.
    testFill(w.get(), false, {kItem, QStringLiteral("2|数量|=[24/数量] * 2")});
    QCOMPARE(m_editor.dataType, 3);

    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(savedTexts(), QStringList{QStringLiteral("保存成功!")});
    QCOMPARE(w->result(), int(QDialog::Accepted));
    QVERIFY(!w->isVisible());

    Connection& c = *m_db->config;
    QCOMPARE(rowsOf(c, QStringLiteral("select FName, FInvioceType, FSeperator, FMemo, FDate, FInOrOut "
                                      "from t_BaseInfo where FID=2")),
             QStringList{QStringLiteral("普通票引出;1;##;月末引出;2026-03-15;0")});
    QCOMPARE(rowsOf(c, QStringLiteral("select FTaxID, FisFormula, FQORField, FisHead from t_Detail "
                                      "where FBaseInfoID=2 order by FID")),
             (QStringList{QStringLiteral("1;0;1;1"), kEmptyHead.arg(2), kEmptyHead.arg(3), kEmptyHead.arg(4),
                          kEmptyHead.arg(5), kEmptyHead.arg(6),
                          QStringLiteral("7;1;upper(3)|upper(FCustName)|upper([3/购方名称]);1"),
                          QStringLiteral("13;0;21;0"), kEmptyBody.arg(14), kEmptyBody.arg(15),
                          QStringLiteral("16;1;24 * 2|FQty * 2|[24/数量] * 2;0")}));
}

// A workbook link maps the platform template's headings: choosing the format lists them, and what was
// mapped for the other format is cleared only when the user agrees.
void TestLinks::workbookFormatMapsTheHeadings() {
    Connection& c = *m_db->config;
    c.exec(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) values "
                          "(1001, '*购买方名称', '1', 1, 'xlsx'), (1002, '项目名称', '1', 0, 'xlsx'), "
                          "(1003, '*发票流水号', '1', 1, 'xlsx')"));
    auto w = openWizard();
    w->txtLinkName->setText(QStringLiteral("数电票"));
    w->cboType->setCurrentIndex(0);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    testFill(w.get(), true, {QStringLiteral("1|单据号|单据号")});
    QVERIFY(!w->fpHead->items(TaxField, 2).contains(QStringLiteral("*购买方名称|1001|1")));
    QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
    QVERIFY(!w->chkDocNoInRemark->isChecked());
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(QStringLiteral("xlsx")));
    // A platform link writes the 单据号 into 备注 unless the user says otherwise.
    QVERIFY(w->chkDocNoInRemark->isChecked());
    m_sink->answers << false; // keep the mapping: stay on the first step
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->step(), 0);
    m_sink->answers << true;
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->step(), 1);
    QStringList headings;
    for (const QString& item : w->fpHead->items(TaxField, 1))
        headings << FieldGrid::visibleText(item);
    headings.removeAll(QString());
    QCOMPARE(headings, (QStringList{"*购买方名称", "*发票流水号"}));
    // The columns it knows start mapped as the factory link maps the same fields.
    auto shown = [](FieldGrid* g) {
        QStringList out;
        for (const GridRow& r : readGridRows(g))
            if (r.mapped()) out << r.taxField + u'=' + r.qorField + u'|' + r.taxID + u'|' + r.qorID;
        return out;
    };
    QCOMPARE(shown(w->fpHead), (QStringList{"*购买方名称=购方名称|1001|3", "*发票流水号=单据号|1003|1"}));
    QCOMPARE(shown(w->fpBody), (QStringList{"项目名称=货物名称|1002|21"}));
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    const QString ask = QStringLiteral("改变引出格式后需要重新设置字段对应，是否清空已设置的字段对应？");
    QCOMPARE(m_sink->texts(), (QStringList{ask, ask, QStringLiteral("保存成功!")}));
    QCOMPARE(rowsOf(c, QStringLiteral("select FFormat || ';' || FDocNoInRemark from t_BaseInfo where "
                                      "FName='数电票'")),
             QStringList{"xlsx;1"});
    QCOMPARE(
        rowsOf(c, QStringLiteral("select FTaxID from t_Detail where FBaseInfoID=(select FID from t_BaseInfo "
                                 "where FName='数电票') order by FID")),
        (QStringList{"1001", "1003", "1002"}));
}

void TestLinks::editKeepsFidAndRewritesRows() {
    Connection& c = *m_db->config;
    // Texts longer than the boxes take from the user come back whole.
    const QString memo = QString(120, QChar(u'说'));
    c.exec(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FMemo, FDate, "
                       "FInOrOut, FMaxLines, FMaxAmount) values (5, '旧关联', 1, '@@@@@@', ?, '2020-01-01', "
                       "'0', 8, 99999.99)"),
        {memo});
    c.exec(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                          "(5, 7, 1, 'upper(3)|upper(FCustName)|upper([3/购方名称])', 1), (5, 1, 0, '1', 1),"
                          "(5, 13, 0, '21', 0)"));
    const QStringList otherRows = rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=1"));

    auto w = openWizard(1, QStringLiteral("5"));
    QCOMPARE(w->txtLinkName->text(), QStringLiteral("旧关联"));
    QCOMPARE(w->txtCompartChar->text(), QStringLiteral("@@@@@@"));
    QCOMPARE(w->cboType->currentIndex(), 1);
    QCOMPARE(w->txtNote->toPlainText(), memo);
    QCOMPARE(w->spnMaxLines->value(), 8);
    QCOMPARE(w->spnMaxAmount->value(), 99999.99);
    QVERIFY(!w->chkUseList->isChecked()); // empty: no sales list
    QVERIFY(!w->chkDocNoInRemark->isChecked());
    QCOMPARE(w->step(), 0);
    FieldGrid* h = w->fpHead;
    QCOMPARE(h->text(TaxField, 1), QStringLiteral("备注"));
    QCOMPARE(h->text(IsFormula, 1), QStringLiteral("1"));
    QCOMPARE(h->kind(Formula, 1), CellType::Button);
    QCOMPARE(h->caption(Formula, 1), QStringLiteral("upper([3/购方名称])"));
    QVERIFY(h->locked(QorField, 1));
    QCOMPARE(h->text(TaxField, 2), QStringLiteral("单据号"));
    QCOMPARE(h->text(QorField, 2), QStringLiteral("单据号"));
    QCOMPARE(h->text(TaxID, 2), QStringLiteral("1")); // program fills raise no cell change
    QCOMPARE(h->text(TaxField, 3), QString());

    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    // The formula button opens the editor on the row's formula; cancelling changes nothing.
    EditorAnswer cancelled;
    answerEditor(&cancelled, QStringLiteral("lower([3/购方名称])"), false);
    clickCell(h, Formula, 1);
    QCOMPARE(cancelled.shown, QStringLiteral("upper([3/购方名称])"));
    QCOMPARE(h->caption(Formula, 1), QStringLiteral("upper([3/购方名称])"));

    w->txtLinkName->setText(QStringLiteral("新关联"));
    w->spnMaxAmount->setValue(0);
    w->chkUseList->setChecked(true);
    testFill(w.get(), false, {QStringLiteral("2|数量|数量")});
    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(savedTexts(), QStringList{QStringLiteral("保存成功!")});

    QCOMPARE(count(c, QStringLiteral("select count(*) from t_BaseInfo")), 2);
    QCOMPARE(
        rowsOf(c, QStringLiteral("select FName, FSeperator, FMemo, FDate, FMaxLines, FMaxAmount, FUseList "
                                 "from t_BaseInfo where FID=5")),
        QStringList{QStringLiteral("新关联;@@@@@@;") + memo + QStringLiteral(";2026-03-15;8;0;1")});
    QCOMPARE(rowsOf(c, QStringLiteral("select FTaxID, FQORField, FisHead from t_Detail where FBaseInfoID=5 "
                                      "order by FID")),
             (QStringList{
                 QStringLiteral("1;1;1"), "2;''|''|'';1", "3;''|''|'';1", "4;''|''|'';1", "5;''|''|'';1",
                 "6;''|''|'';1", QStringLiteral("7;upper(3)|upper(FCustName)|upper([3/购方名称]);1"),
                 QStringLiteral("13;21;0"), "14;''|''|'';0", "15;''|''|'';0", QStringLiteral("16;24;0")}));
    QCOMPARE(rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=1")), otherRows);
}

void TestLinks::editUnknownKeyOpensEmpty_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("no such link") << QStringLiteral("77");
    QTest::newRow("not a number") << QStringLiteral("1 or 1=1");
}

void TestLinks::editUnknownKeyOpensEmpty() {
    QFETCH(QString, key);
    auto w = openWizard(1, key);
    QCOMPARE(w->txtLinkName->text() + w->txtCompartChar->text(), QString());
    QCOMPARE(w->cboType->currentIndex(), -1);
    for (int r = 1; r <= 50; ++r)
        QCOMPARE(w->fpHead->text(TaxField, r) + w->fpBody->text(TaxField, r), QString());
    QVERIFY(m_sink->entries.isEmpty());
}

void TestLinks::finishMessages_data() {
    QTest::addColumn<QStringList>("head");
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("tab"); // the grid shown with the message
    // An empty grid is named, with what it needs.
    const QString noHead =
        QStringLiteral("数据输入不完整：“发票头字段对应”页还没有对应任何字段，至少要对应发票号码！");
    const QString noBody = QStringLiteral(
        "数据输入不完整：“发票体字段对应”页还没有对应任何字段，至少要对应商品的名称、数量和金额！");
    const QString noBillNo = QStringLiteral("表头必须选择设置发票号码字段的关联!");
    // Row 5 has no tax field: its formula button opens nothing and the row is not checked.
    QTest::newRow("nothing mapped") << QStringList{QStringLiteral("5||=[1/单据号]")} << QStringList{}
                                    << noHead << 0;
    QTest::newRow("head mapped, body empty") << QStringList{kBillNo} << QStringList{} << noBody << 1;
    QTest::newRow("formula not accepted")
        << QStringList{kBillNo, QStringLiteral("2|备注|=")} << QStringList{kItem}
        << QStringLiteral("第2行,QOR公式列为空!") << 0;
    QTest::newRow("head checked before body")
        << QStringList{kBillNo, QStringLiteral("3|购方名称|")} << QStringList{QStringLiteral("2|数量|")}
        << QStringLiteral("第3行,QOR字段列为空!") << 0;
    QTest::newRow("body field missing")
        << QStringList{kBillNo} << QStringList{kItem, QStringLiteral("4|数量|")}
        << QStringLiteral("第4行,QOR字段列为空!") << 1;
    QTest::newRow("head without invoice number")
        << QStringList{QStringLiteral("1|单据号|购方名称")} << QStringList{kItem} << noBillNo << 0;
    QTest::newRow("head formula in place of invoice number")
        << QStringList{QStringLiteral("1|单据号|=[1/单据号]")} << QStringList{kItem} << noBillNo << 0;
}

void TestLinks::finishMessages() {
    QFETCH(QStringList, head);
    QFETCH(QStringList, body);
    QFETCH(QString, message);
    QFETCH(int, tab);
    auto w = openWizard();
    toStepTwo(w.get());
    testFill(w.get(), true, head);
    testFill(w.get(), false, body);
    w->STAB->setCurrentIndex(1 - tab);
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{message});
    QCOMPARE(w->STAB->currentIndex(), tab);
    QVERIFY(w->isVisible());
    QCOMPARE(count(*m_db->config, QStringLiteral("select count(*) from t_BaseInfo")), 1);
}

void TestLinks::previousNextKeepGridsAndCancelSavesNothing() {
    auto w = openWizard();
    toStepTwo(w.get());
    testFill(w.get(), true, {QStringLiteral("3|单据号|单据号")});
    testFill(w.get(), false, {kItem});
    QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
    QCOMPARE(w->step(), 0);
    QVERIFY(w->fraStep[0]->isVisible() && !w->fraStep[1]->isVisible());
    QVERIFY(!w->cmdPrevious->isEnabled() && w->cmdNext->isEnabled() && !w->cmdFinish->isEnabled());
    // Next checks the first step again.
    w->txtLinkName->clear();
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("请输入关联名称！")});
    QCOMPARE(w->step(), 0);
    w->txtLinkName->setText(QStringLiteral("b"));
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->step(), 1);
    QCOMPARE(FieldGrid::visibleText(w->fpHead->text(TaxField, 3)), QStringLiteral("单据号"));
    QCOMPARE(w->fpHead->text(QorID, 3), QStringLiteral("1"));

    QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
    QCOMPARE(w->result(), int(QDialog::Rejected));
    QCOMPARE(count(*m_db->config, QStringLiteral("select count(*) from t_BaseInfo")), 1);
    QCOMPARE(m_sink->entries.size(), 1);
}

// The grids' first heading names the fields of the format the link writes, wide enough to be read.
void TestLinks::fieldTitlesFollowTheFormat_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("title");
    QTest::newRow("text file") << "txt"
                               << "航天金税引出字段";
    QTest::newRow("XML file") << "xml"
                              << "开票软件XML字段";
    QTest::newRow("platform workbook") << "xlsx"
                                       << "电子发票平台模板字段";
}

void TestLinks::fieldTitlesFollowTheFormat() {
    QFETCH(QString, format);
    QFETCH(QString, title);
    auto w = openWizard();
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(format));
    toStepTwo(w.get());
    QCOMPARE(w->step(), 1);
    for (FieldGrid* g : {w->fpHead, w->fpBody}) {
        QCOMPARE(g->horizontalHeaderItem(TaxField)->text(), title);
        QVERIFY(g->columnWidth(TaxField) >= g->fontMetrics().horizontalAdvance(title));
    }
}

// The merge boxes are reached from the keyboard as every other control of the first step, each by a
// letter of its own.
void TestLinks::mergeBoxesHaveMnemonics() {
    auto w = openWizard();
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    // A mnemonic clicks the box as a mouse does, a moment later.
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QTRY_VERIFY(w->chkMergeBuyer->isChecked());
    QTest::keyClick(w.get(), Qt::Key_G, Qt::AltModifier);
    QTRY_VERIFY(w->chkMergeLines->isChecked());
    QStringList letters;
    for (const QAbstractButton* b : w->fraStep[0]->findChildren<QAbstractButton*>()) {
        const qsizetype at = b->text().indexOf(u'&');
        if (at >= 0 && at + 1 < b->text().size()) letters << b->text().mid(at + 1, 1).toUpper();
    }
    for (const QAbstractButton* b : w->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        const qsizetype at = b->text().indexOf(u'&');
        if (at >= 0 && at + 1 < b->text().size()) letters << b->text().mid(at + 1, 1).toUpper();
    }
    const qsizetype all = letters.size();
    letters.removeDuplicates();
    QCOMPARE(letters.size(), all);
}

// The grids' headings stay whole with a larger font (a user's desktop setting): none is cut off in width
// or in height, the platform's long heading and OrvaneQOR公式 included.
void TestLinks::gridTitlesWholeWithALargeFont() {
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSizeF(before.pointSizeF() * 1.6);
    QApplication::setFont(large);
    const auto restore = qScopeGuard([&] { QApplication::setFont(before); });
    auto w = openWizard();
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(QStringLiteral("xlsx")));
    toStepTwo(w.get());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    // As narrow as the wizard goes: the columns' room is what its layout asks for.
    w->resize(1, w->height());
    QTest::qWait(20);
    if (!qEnvironmentVariableIsEmpty("TAXFERRY_GRAB")) w->grab().save(qEnvironmentVariable("TAXFERRY_GRAB"));
    QHeaderView* header = w->fpHead->horizontalHeader();
    const QFontMetrics fm(header->font());
    QVERIFY2(header->height() >= fm.height() + 6, qPrintable(QString::number(header->height())));
    const int shown = w->fpHead->viewport()->width();
    for (int c = 0; c < w->fpHead->columnCount(); ++c) {
        if (w->fpHead->isColumnHidden(c)) continue;
        const QString title = w->fpHead->horizontalHeaderItem(c)->text();
        const int left = header->sectionViewportPosition(c), right = left + header->sectionSize(c);
        QVERIFY2(header->sectionSize(c) >= fm.horizontalAdvance(title) && left >= 0 && right <= shown,
                 qPrintable(QStringLiteral("%1: %2..%3 of %4, title %5")
                                .arg(title)
                                .arg(left)
                                .arg(right)
                                .arg(shown)
                                .arg(fm.horizontalAdvance(title))));
    }
}

// A link starts from what the program knows: a workbook link with the template's known columns (also when
// it comes back to the grids with nothing mapped, never over the user's own mappings), a text or XML link
// with the factory link's fields when the user asks for them.
void TestLinks::linkStartsFromTheFactoryFields_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("head"); // the grid's mapped rows: field=accounting field
    QTest::addColumn<QStringList>("body");
    // Empty: the factory link's rows.
    QTest::newRow("text file") << "txt"
                               << "从出厂关联复制字段(&M)" << QStringList{} << QStringList{};
    QTest::newRow("XML file") << "xml"
                              << "从出厂关联复制字段(&M)" << QStringList{} << QStringList{};
    QTest::newRow("platform workbook")
        << "xlsx"
        << "按列标题对应已知字段(&M)"
        << QStringList{"*发票流水号=单据号", "购买方名称=购方名称", "购买方地址=购方地址电话"}
        << QStringList{"项目名称=货物名称", "金额=不含税金额"};
}

void TestLinks::linkStartsFromTheFactoryFields() {
    QFETCH(QString, format);
    QFETCH(QString, button);
    QFETCH(QStringList, head);
    QFETCH(QStringList, body);
    const bool workbook = format == u"xlsx";
    m_db->config->exec(
        QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) values "
                       "(1001, '*发票流水号', '1', 1, 'xlsx'), (1002, '发票类型', '1', 1, 'xlsx'), "
                       "(1003, '购买方名称', '1', 1, 'xlsx'), (1004, '购买方地址', '1', 1, 'xlsx'), "
                       "(1005, '项目名称', '1', 0, 'xlsx'), (1006, '商品和服务税收编码', '1', 0, "
                       "'xlsx'), (1007, '金额', '3', 0, 'xlsx')"));
    auto shown = [](FieldGrid* g) {
        QStringList out;
        for (const GridRow& r : readGridRows(g))
            if (r.mapped()) out << r.taxField + u'=' + r.qorField;
        return out;
    };
    auto names = [](const QList<GridRow>& rows) {
        QStringList out;
        for (const GridRow& r : rows)
            out << r.taxField + u'=' + r.qorField;
        return out;
    };
    if (!workbook) {
        head = names(factoryGridRows(*m_db->config, true));
        body = names(factoryGridRows(*m_db->config, false));
        QCOMPARE(head.size() + body.size(), 25);
    }
    auto w = openWizard();
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(format));
    toStepTwo(w.get());
    QCOMPARE(w->step(), 1);
    QCOMPARE(w->cmdStartFields->text(), button);
    // Only the workbook starts by itself.
    QCOMPARE(shown(w->fpHead), workbook ? head : QStringList{});
    QCOMPARE(shown(w->fpBody), workbook ? body : QStringList{});
    // Back and forth keeps what the user did.
    setGridRows(w->fpHead, {});
    setGridRows(w->fpBody, {});
    QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(shown(w->fpHead), QStringList{});
    // Asked for, the start fills both grids.
    QTest::mouseClick(w->cmdStartFields, Qt::LeftButton);
    QCOMPARE(shown(w->fpHead), head);
    QCOMPARE(shown(w->fpBody), body);
    QCOMPARE(m_sink->texts(), QStringList{});
    // Over mappings (the head's) it asks first; no keeps them.
    setGridRows(w->fpBody, {});
    m_sink->answers << false;
    QTest::mouseClick(w->cmdStartFields, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("表头和表体已设置的字段对应将被替换，是否继续？")});
    QCOMPARE(shown(w->fpBody), QStringList{});
    m_sink->answers << true;
    QTest::mouseClick(w->cmdStartFields, Qt::LeftButton);
    QCOMPARE(shown(w->fpBody), body);
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->last(), QStringLiteral("保存成功!"));
    // Saved as the factory link's rows (text) or the known columns' (workbook).
    const QString detail = QStringLiteral("select FTaxID || ';' || FQORField from %1 where FBaseInfoID=%2 "
                                          "order by FID");
    if (workbook)
        QCOMPARE(rowsOf(*m_db->config, detail.arg(QStringLiteral("t_Detail"), QStringLiteral("2"))),
                 (QStringList{"1001;1", "1003;3", "1004;5", "1005;21", "1007;25"}));
    else
        QCOMPARE(rowsOf(*m_db->config, detail.arg(QStringLiteral("t_Detail"), QStringLiteral("2"))),
                 rowsOf(*m_db->config, detail.arg(QStringLiteral("t_DefaultDetail"), QStringLiteral("1"))));
}
