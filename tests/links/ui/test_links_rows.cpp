// The wizard's rows: gaps, inserted and deleted rows, formulas and long field names.
#include "test_links.h"

namespace {
// The FID of the link named name, as text.
QString savedLinkKey(Connection& c, const QString& name) {
    return c.query(QStringLiteral("select FID from t_BaseInfo where FName=?"), {name})->value(0).toString();
}
} // namespace

void TestLinks::gapsRemovedOnReload() {
    auto w = openWizard();
    toStepTwo(w.get());
    testFill(w.get(), true, {kBillNo, QStringLiteral("3|商品行数|商品行数")});
    testFill(w.get(), false, {QStringLiteral("4|货物名称|货物名称")});
    m_sink->answers << true; // save although the tax system needs more fields
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(savedTexts(), QStringList{QStringLiteral("保存成功!")});

    auto again = openWizard(1, QStringLiteral("2"));
    QCOMPARE(again->fpHead->text(TaxField, 1), QStringLiteral("单据号"));
    QCOMPARE(again->fpHead->text(TaxField, 2), QStringLiteral("商品行数"));
    QCOMPARE(again->fpHead->text(QorField, 2), QStringLiteral("商品行数"));
    QCOMPARE(again->fpHead->text(TaxField, 3), QString());
    QCOMPARE(again->fpBody->text(TaxField, 1), QStringLiteral("货物名称"));
}

void TestLinks::insertAndDeleteKeepFiftyRows() {
    auto w = openWizard();
    toStepTwo(w.get());
    testFill(w.get(), true, {kBillNo});
    testFill(w.get(), false,
             {QStringLiteral("1|货物名称|"), QStringLiteral("2|计量单位|"), QStringLiteral("3|规格|")});
    FieldGrid* b = w->fpBody;
    b->setActiveRow(2);
    QTest::mouseClick(w->cmdInsert, Qt::LeftButton);
    QCOMPARE(b->maxRows(), 50);
    QCOMPARE(b->text(TaxField, 2), QString());
    QCOMPARE(FieldGrid::visibleText(b->text(TaxField, 3)), QStringLiteral("计量单位"));
    QCOMPARE(FieldGrid::visibleText(b->text(TaxField, 4)), QStringLiteral("规格"));
    QCOMPARE(b->kind(TaxField, 2), CellType::Combo);
    QCOMPARE(b->kind(IsFormula, 2), CellType::Check);
    QCOMPARE(b->item(49, 0)->text(), QStringLiteral("50"));
    // The head grid is left alone.
    QCOMPARE(FieldGrid::visibleText(w->fpHead->text(TaxField, 1)), QStringLiteral("单据号"));

    b->setActiveRow(1);
    QTest::mouseClick(w->cmdDelete, Qt::LeftButton);
    QTest::mouseClick(w->cmdDelete, Qt::LeftButton);
    QCOMPARE(b->maxRows(), 50);
    QCOMPARE(FieldGrid::visibleText(b->text(TaxField, 1)), QStringLiteral("计量单位"));
    QCOMPARE(FieldGrid::visibleText(b->text(TaxField, 2)), QStringLiteral("规格"));
    QCOMPARE(b->kind(TaxField, 50), CellType::Combo);
    QVERIFY(b->locked(FieldType, 50));
    QVERIFY(m_sink->entries.isEmpty());
}

void TestLinks::insertRefusedWhenLastRowMapped() {
    auto w = openWizard();
    toStepTwo(w.get());
    FieldGrid* h = w->fpHead;
    h->setText(TaxField, 50, h->items(TaxField, 50).first());
    h->setText(TaxField, 1, QStringLiteral("first"));
    h->setActiveRow(1);
    QTest::mouseClick(w->cmdInsert, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("最后一行已有字段对应，不能再插入行！")});
    QCOMPARE(h->text(TaxField, 1), QStringLiteral("first"));
    QCOMPARE(FieldGrid::visibleText(h->text(TaxField, 50)), QStringLiteral("单据号"));
}

void TestLinks::untickingFormulaDropsStaleFormula() {
    auto w = openWizard();
    toStepTwo(w.get());
    FieldGrid* h = w->fpHead;
    testFill(w.get(), false, {kItem});
    testFill(w.get(), true,
             {kBillNo, QStringLiteral("2|购方名称|购方名称"), QStringLiteral("2||=upper([3/购方名称])")});
    QCOMPARE(h->text(QorID, 2), QStringLiteral("upper(3)|upper(FCustName)|upper([3/购方名称])"));
    clickCell(h, IsFormula, 2);
    QCOMPARE(h->text(IsFormula, 2), QStringLiteral("0"));
    QCOMPARE(h->kind(Formula, 2), CellType::Edit);
    QVERIFY(!h->locked(QorField, 2));
    QCOMPARE(h->text(QorID, 2), QString());
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("第2行,QOR字段列为空!")});
}

void TestLinks::longFieldNameKeepsItsIdentifiers() {
    const QString name = QString(60, QChar(u'长'));
    m_db->config->exec(
        QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead) values (40, ?, '3', 1)"),
        {name});
    auto w = openWizard();
    toStepTwo(w.get());
    QVERIFY(pick(w->fpHead, TaxField, 1, name));
    QCOMPARE(w->fpHead->text(TaxID, 1), QStringLiteral("40"));
    QCOMPARE(w->fpHead->text(FieldType, 1), QStringLiteral("数字"));
}

// A text link that leaves out a field before one it keeps is not saved as it is: the tax system reads by
// position. 否 goes back to editing, 是 fills the gaps with empty fields and saves; an XML link names its
// elements and is saved as mapped.
void TestLinks::layoutGapAskedBeforeSaving_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("fill");
    QTest::newRow("text, back to editing") << "txt" << false;
    QTest::newRow("text, gaps filled") << "txt" << true;
    QTest::newRow("xml is read by name") << "xml" << false;
}

void TestLinks::layoutGapAskedBeforeSaving() {
    QFETCH(QString, format);
    QFETCH(bool, fill);
    auto w = openWizard();
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(format));
    toStepTwo(w.get(), QStringLiteral("缺字段"));
    this->testFill(w.get(), true,
                   {kBillNo, QStringLiteral("2|商品行数|商品行数"), QStringLiteral("3|购方名称|购方名称"),
                    QStringLiteral("4|购方税号|购方税号"), QStringLiteral("5|单据日期|单据日期")});
    this->testFill(w.get(), false,
                   {kItem, QStringLiteral("2|数量|数量"), QStringLiteral("3|不含税金额|不含税金额"),
                    QStringLiteral("4|税率|税率"), QStringLiteral("5|税额|税额")});
    m_sink->answers << fill;
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    const QString ask = QStringLiteral(
        "表头缺少购方地址电话、购方银行帐号、备注、复核人、收款人、清单行商品名称；表体缺少计量单位、"
        "规格、商品税目、折扣金额。\n税控系统按位置读取文本文件的字段，缺少的字段会使其后的字段错位。\n"
        "是否把缺少的字段作为空字段加入并保存？选“否”返回修改。");
    Connection& c = *m_db->config;
    const QString saved =
        QStringLiteral("select FTaxID, FisFormula, FQORField, FisHead from t_Detail where "
                       "FBaseInfoID=(select FID from t_BaseInfo where FName='缺字段') order by FID");
    if (format == u"xml") {
        QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("保存成功!")});
        QCOMPARE(rowsOf(c, saved).size(), 10);
        return;
    }
    if (!fill) {
        QCOMPARE(m_sink->texts(), QStringList{ask});
        QVERIFY(w->isVisible());
        QCOMPARE(w->step(), 1);
        QCOMPARE(w->STAB->currentIndex(), 0);
        QCOMPARE(FieldGrid::visibleText(w->fpHead->text(TaxField, 5)), QStringLiteral("单据日期"));
        QCOMPARE(count(c, QStringLiteral("select count(*) from t_BaseInfo")), 1);
        return;
    }
    QCOMPARE(m_sink->texts(), (QStringList{ask, QStringLiteral("保存成功!")}));
    QCOMPARE(rowsOf(c, saved),
             (QStringList{"1;0;1;1",          "2;0;2;1",          "3;0;3;1",          "4;0;4;1",
                          kEmptyHead.arg(5),  kEmptyHead.arg(6),  kEmptyHead.arg(7),  kEmptyHead.arg(8),
                          kEmptyHead.arg(9),  kEmptyHead.arg(10), "11;0;11;1",        "13;0;21;0",
                          kEmptyBody.arg(14), kEmptyBody.arg(15), "16;0;24;0",        "17;0;25;0",
                          "18;0;26;0",        kEmptyBody.arg(19), kEmptyBody.arg(20), "21;0;29;0"}));
    // Opened again, the empty fields show as empty texts and the link saves without a question.
    auto again = openWizard(1, savedLinkKey(c, QStringLiteral("缺字段")));
    QCOMPARE(again->fpHead->text(TaxField, 5), QStringLiteral("购方地址电话"));
    QCOMPARE(again->fpHead->caption(Formula, 5), QStringLiteral("''"));
    QCOMPARE(again->fpHead->text(IsFormula, 5), QStringLiteral("1"));
    QCOMPARE(again->fpHead->text(TaxField, 11), QStringLiteral("单据日期"));
    m_sink->clear();
    QTest::mouseClick(again->cmdNext, Qt::LeftButton);
    QTest::mouseClick(again->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("保存成功!")});
}

// A link saved with a gap before the check existed stays as it was and still exports; the result names
// the gap.
void TestLinks::savedGapLinkExportsAndNamesTheGap() {
    Connection& c = *m_db->config;
    c.exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FDate, FInOrOut) "
                          "values (6, '旧缺字段', 0, '~~', '2020-01-01', '0')"));
    c.exec(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                          "(6, 1, 0, '1', 1), (6, 2, 0, '2', 1), (6, 3, 0, '3', 1), (6, 11, 0, '11', 1), "
                          "(6, 13, 0, '21', 0), (6, 21, 0, '29', 0)"));
    const QStringList before = rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=6"));
    const QString out = m_db->folder() + QStringLiteral("/gap.txt");
    QProcess batch;
    batch.start(QStringLiteral(TAXFERRY_BATCH),
                {QStringLiteral("export"), QStringLiteral("--acct"), m_db->acctConnString(),
                 QStringLiteral("--config"), m_db->configPath, QStringLiteral("--link"), QStringLiteral("6"),
                 QStringLiteral("--out"), out});
    QVERIFY(batch.waitForFinished(60000));
    const QString err = QString::fromUtf8(batch.readAllStandardError());
    QCOMPARE(batch.exitCode(), 0);
    QVERIFY2(
        err.contains(QStringLiteral(
            "关联表头缺少购方税号、购方地址电话、购方银行帐号、备注、复核人、收款人、清单行商品名称；表体缺少"
            "计量单位、规格、数量、不含税金额、税率、商品税目、折扣金额，税控系统会把其后的字段读到错误的位置"
            "。"
            "请在关联设置中补上这些字段。")),
        qPrintable(err));
    // Written as mapped: four head fields, two body fields.
    const QStringList lines = readGbkFile(out);
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines[1].split(QStringLiteral("~~")).size(), 4);
    QCOMPARE(rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=6")), before);
}
