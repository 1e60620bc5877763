// Rules of the link wizard without a window: formula checking and its three forms, field type texts,
// the drop-down lists, loading stored rows and checking grid rows.
#include "common/modDefine.h"
#include "common/modFunction.h"
#include "links/ExpressionVerifier.h"
#include "links/WizardGrid.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

class TestLinksRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void verifyExpression_data();
    void verifyExpression();
    void verifyExpressionCommaInDescription();
    void verifyExpressionTemplateWithoutWhere();
    void verifyExpressionAccountingSetUnreachable();
    void verifyExpressionSeparatorLeavesDataAlone();
    void statementSeparator_data();
    void statementSeparator();
    void matchedComparesCountsOnly();
    void getFieldType_data();
    void getFieldType();

    void typeTexts_data();
    void typeTexts();
    void fieldLists();
    void checkGridRows_data();
    void checkGridRows();
    void detailFieldMap();
    void loadDetailRowsInSavedOrder();
    void loadDetailRowsOfUnknownKey();

private:
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
};

void TestLinksRules::init() {
    m_db = std::make_unique<TestDatabases>();
    m_db->installGlobals();
    m_sink = std::make_unique<RecorderSink>();
}

void TestLinksRules::cleanup() {
    m_sink.reset();
    m_db.reset();
}

// ---- formulas -------------------------------------------------------------------------------

void TestLinksRules::verifyExpression_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("isHead");
    QTest::addColumn<int>("dataType");
    QTest::addColumn<QString>("message"); // "" when the formula passes
    QTest::addColumn<QString>("sqlForm");
    QTest::addColumn<QString>("idForm");

    const QString syntax = QStringLiteral("表达式语法错误!");
    QTest::newRow("empty") << "" << true << 1 << "没有定义对应表达式！"
                           << ""
                           << "";
    QTest::newRow("blanks only") << "   " << true << 1 << "没有定义对应表达式！"
                                 << ""
                                 << "";
    QTest::newRow("constant without a field") << "'abc'" << true << 1 << syntax << ""
                                              << "";
    QTest::newRow("closing bracket missing") << "[3/购方名称" << true << 1 << "[ 和 ]不匹配！"
                                             << ""
                                             << "";
    QTest::newRow("reference without slash") << "[购方名称]" << true << 1 << syntax << ""
                                             << "";
    QTest::newRow("empty identifier") << "[/购方名称]" << true << 1 << syntax << ""
                                      << "";
    QTest::newRow("unknown identifier") << "[99/购方名称]" << true << 1 << syntax << ""
                                        << "";
    QTest::newRow("description not current") << "[3/E]" << true << 1 << "【3/E】不存在！"
                                             << ""
                                             << "";
    QTest::newRow("body field in head formula") << "[21/货物名称]" << true << 1 << "【21/货物名称】不存在！"
                                                << ""
                                                << "";
    QTest::newRow("text field where a number is wanted")
        << "[3/购方名称]" << true << 3 << "【3/购方名称】为非数值型！"
        << ""
        << "";
    QTest::newRow("date type checks no field type") << "[3/购方名称]" << true << 2 << ""
                                                    << "FCustName"
                                                    << "3";
    QTest::newRow("function of a field") << "  upper([3/购方名称] )  " << true << 1 << ""
                                         << "upper(FCustName )"
                                         << "upper(3 )";
    QTest::newRow("numeric arithmetic") << "[18/发票价税合计] * 2" << true << 3 << ""
                                        << "FBillAmount * 2"
                                        << "18 * 2";
    QTest::newRow("same reference twice resolved everywhere") << "[24/数量] * [24/数量]" << false << 3 << ""
                                                              << "FQty * FQty"
                                                              << "24 * 24";
    QTest::newRow("fields of both templates") << "[2/商品行数] + [18/发票价税合计]" << true << 3 << ""
                                              << "Frows + FBillAmount"
                                              << "2 + 18";
    QTest::newRow("unknown function fails the trial") << "nosuchfn([3/购方名称])" << true << 1 << syntax << ""
                                                      << "";
    QTest::newRow("open parenthesis fails the trial") << "([3/购方名称]" << true << 1 << syntax << ""
                                                      << "";
    QTest::newRow("bar would break the stored formula")
        << "[3/购方名称] || 'x'" << true << 1 << "公式中不能含有字符“|”！"
        << ""
        << "";
    QTest::newRow("second statement refused")
        << "[3/购方名称]; delete from ICSale" << true << 1 << "公式中不能含有语句分隔符“;”！"
        << ""
        << "";
    QTest::newRow("separator inside a quoted text is data")
        << "replace([3/购方名称], ';', ',')" << true << 1 << ""
        << "replace(FCustName, ';', ',')"
        << "replace(3, ';', ',')";
}

void TestLinksRules::verifyExpression() {
    QFETCH(QString, expression);
    QFETCH(bool, isHead);
    QFETCH(int, dataType);
    QFETCH(QString, message);
    QFETCH(QString, sqlForm);
    QFETCH(QString, idForm);

    ExpressionVerifier v;
    v.expression = expression;
    v.dataType = dataType;
    v.fieldItems = ExpressionVerifier::LoadFieldItems(isHead);
    const bool ok = v.VerifyExpression();
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (ok) {
        QCOMPARE(v.ReturnFieldName, sqlForm);
        QCOMPARE(v.ReturnFieldID, idForm);
    }
}

void TestLinksRules::verifyExpressionCommaInDescription() {
    m_db->config->Execute(
        QStringLiteral("insert into t_QorField (FID, FFieldName, FFieldType, FFieldDesc, FisHead, "
                       "forder) values ('90', 'FCustName', '1', 'a,b', 1, 90)"));
    ExpressionVerifier v;
    v.expression = QStringLiteral("[90/a,b]");
    v.fieldItems = ExpressionVerifier::LoadFieldItems(true);
    QVERIFY(v.fieldItems.contains(QStringLiteral("90/a,b")));
    QVERIFY(!v.VerifyExpression());
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("【90/a】不存在！")});
}

void TestLinksRules::verifyExpressionTemplateWithoutWhere() {
    m_db->config->Execute(
        QStringLiteral("update t_OtherInfo set FSQL='select 1 as FCustName' where Fkey='tbl1'"));
    ExpressionVerifier v;
    v.expression = QStringLiteral("[3/购方名称]");
    v.fieldItems = ExpressionVerifier::LoadFieldItems(true);
    QVERIFY(!v.VerifyExpression());
    QCOMPARE(m_sink->texts(),
             QStringList{
                 QStringLiteral("调用(VerifyExpression)出错!\r\n错误编号:5,错误原因:无效的过程调用或参数")});
}

void TestLinksRules::verifyExpressionAccountingSetUnreachable() {
    gsAcctProps =
        QStringLiteral("{Provider=SQLite;Data Source=") + m_db->folder() + QStringLiteral("/gone.db}");
    ExpressionVerifier v;
    v.expression = QStringLiteral("[3/购方名称]");
    v.fieldItems = ExpressionVerifier::LoadFieldItems(true);
    QVERIFY(!v.VerifyExpression());
    QCOMPARE(m_sink->entries.size(), 1);
    QCOMPARE(m_sink->entries[0].kind, RecorderSink::Error);
    QVERIFY2(m_sink->last().startsWith(
                 QStringLiteral("调用(VerifyExpression)出错!\r\n错误编号:-2147467259,错误原因:")),
             qPrintable(m_sink->last()));
}

void TestLinksRules::verifyExpressionSeparatorLeavesDataAlone() {
    const int before = m_db->acct->Query(QStringLiteral("select count(*) from ICSale"))->value(0).toInt();
    QVERIFY(before > 0);
    ExpressionVerifier v;
    v.expression = QStringLiteral("[1/单据号] from ICSale; delete from ICSale; select 1");
    v.fieldItems = ExpressionVerifier::LoadFieldItems(true);
    QVERIFY(!v.VerifyExpression());
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("公式中不能含有语句分隔符“;”！")});
    QCOMPARE(m_db->acct->Query(QStringLiteral("select count(*) from ICSale"))->value(0).toInt(), before);
}

void TestLinksRules::statementSeparator_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("separator");
    QTest::newRow("bare") << "a;b" << true;
    QTest::newRow("at the end") << "upper(FCustName);" << true;
    QTest::newRow("in a text") << "'a;b'" << false;
    QTest::newRow("in a text with a doubled quote") << "'it''s;'" << false;
    QTest::newRow("in a quoted name") << "\"x;y\"" << false;
    QTest::newRow("between two texts") << "'a' ; 'b'" << true;
    QTest::newRow("none") << "FQty * 2" << false;
}

void TestLinksRules::statementSeparator() {
    QFETCH(QString, sql);
    QFETCH(bool, separator);
    QCOMPARE(ExpressionVerifier::HasStatementSeparator(sql), separator);
}

void TestLinksRules::matchedComparesCountsOnly() {
    ExpressionVerifier v;
    v.expression = QStringLiteral("]3/购方名称[");
    QVERIFY(v.Matched(QStringLiteral("["), QStringLiteral("]")));
    v.expression = QStringLiteral("[[3/购方名称]");
    QVERIFY(!v.Matched(QStringLiteral("["), QStringLiteral("]")));
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("[ 和 ]不匹配！")});
}

void TestLinksRules::getFieldType_data() {
    QTest::addColumn<QString>("fid");
    QTest::addColumn<QString>("type");
    QTest::newRow("number") << "24"
                            << "3";
    QTest::newRow("date") << "11"
                          << "2";
    QTest::newRow("no type counts as text") << "91"
                                            << "1";
    QTest::newRow("no such field") << "999"
                                   << "";
}

void TestLinksRules::getFieldType() {
    QFETCH(QString, fid);
    QFETCH(QString, type);
    m_db->config->Execute(
        QStringLiteral("insert into t_QorField (FID, FFieldName, FFieldType, FFieldDesc, FisHead, "
                       "forder) values ('91', 'FQty', null, 'x', 0, 91)"));
    QCOMPARE(ExpressionVerifier::GetFieldType(fid), type);
}

// ---- grid rules -----------------------------------------------------------------------------

void TestLinksRules::typeTexts_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("text") << "1"
                          << "文本";
    QTest::newRow("date") << "2"
                          << "日期";
    QTest::newRow("number") << "3"
                            << "数字";
}

void TestLinksRules::typeTexts() {
    QFETCH(QString, code);
    QFETCH(QString, text);
    QCOMPARE(TypeToText(code), text);
    QCOMPARE(TextToType(text), code);
    QCOMPARE(TypeToText(QStringLiteral("4")), QString());
    QCOMPARE(TypeToText(code + u' '), QString());
    QCOMPARE(TextToType(text + u' '), QString());
}

void TestLinksRules::fieldLists() {
    const QString pad(100, u' ');
    const QStringList head = TaxFieldList(true).split(u'\t');
    QCOMPARE(head.size(), 13); // twelve items, each followed by a Tab
    QCOMPARE(head.first(), QStringLiteral("单据号") + pad + QStringLiteral("|1|1"));
    QCOMPARE(head[10], QStringLiteral("单据日期") + pad + QStringLiteral("|11|2"));
    QCOMPARE(head.last(), QString());
    const QStringList body = TaxFieldList(false).split(u'\t');
    QCOMPARE(body.size(), 14);
    QCOMPARE(body.first(), QStringLiteral("货物名称") + pad + QStringLiteral("|13|1"));
    const QStringList qor = QorFieldList(false).split(u'\t');
    QCOMPARE(qor.first(), QStringLiteral("货物名称") + pad + QStringLiteral("|21"));
    QCOMPARE(SplitItem(qor[3], QStringLiteral("|"), 1), QStringLiteral("24"));
    m_db->config->Execute(QStringLiteral("delete from t_QorField"));
    QCOMPARE(QorFieldList(true), QString());
}

static GridRow fieldRow(const QString& tax, const QString& qorDesc, const QString& qorID) {
    GridRow g;
    g.taxField = tax;
    g.isFormula = QStringLiteral("0");
    g.qorField = qorDesc;
    g.qorID = qorID;
    return g;
}

static GridRow formulaRow(const QString& tax, const QString& caption, const QString& stored) {
    GridRow g;
    g.taxField = tax;
    g.isFormula = QStringLiteral("1");
    g.caption = caption;
    g.qorID = stored;
    return g;
}

void TestLinksRules::checkGridRows_data() {
    QTest::addColumn<QList<GridRow>>("rows");
    QTest::addColumn<bool>("isHead");
    QTest::addColumn<QString>("message");

    const GridRow billNo = fieldRow(QStringLiteral("单据号"), QStringLiteral("单据号"), QStringLiteral("1"));
    const GridRow customer =
        fieldRow(QStringLiteral("购方名称"), QStringLiteral("购方名称"), QStringLiteral("3"));
    const GridRow formula = formulaRow(QStringLiteral("备注"), QStringLiteral("upper([3/购方名称])"),
                                       QStringLiteral("upper(3)|upper(FCustName)|x"));
    GridRow stray; // cells filled, but no tax field: ignored
    stray.taxField = QStringLiteral("   ");
    stray.isFormula = QStringLiteral("1");
    stray.qorID = QStringLiteral("1");
    QList<GridRow> empty(kGridRows);

    QTest::newRow("no mapped row") << empty << true << "数据输入不完整!";
    QList<GridRow> strayOnly = empty;
    strayOnly[4] = stray;
    QTest::newRow("rows without a tax field are ignored") << strayOnly << false << "数据输入不完整!";
    QList<GridRow> noFormula = empty;
    noFormula[0] = billNo;
    noFormula[2] = formulaRow(QStringLiteral("备注"), QStringLiteral("  "), QString());
    QTest::newRow("formula row without formula") << noFormula << true << "第3行,QOR公式列为空!";
    QList<GridRow> noField = empty;
    noField[0] = billNo;
    noField[11] = fieldRow(QStringLiteral("购方名称"), QString(), QString());
    QTest::newRow("field row without field") << noField << true << "第12行,QOR字段列为空!";
    QList<GridRow> noBillNo = empty;
    noBillNo[0] = customer;
    QTest::newRow("head without invoice number") << noBillNo << true << "表头必须选择设置发票号码字段的关联!";
    QList<GridRow> allFormulas = empty;
    allFormulas[0] = formula;
    allFormulas[1] = formula;
    QTest::newRow("head of formula rows only")
        << allFormulas << true << "表头必须选择设置发票号码字段的关联!";
    QTest::newRow("body needs no invoice number") << noBillNo << false << "";
    QList<GridRow> good = empty;
    good[1] = customer;
    good[3] = billNo;
    good[4] = formula;
    QTest::newRow("head with invoice number") << good << true << "";
}

void TestLinksRules::checkGridRows() {
    QFETCH(QList<GridRow>, rows);
    QFETCH(bool, isHead);
    QFETCH(QString, message);
    QCOMPARE(CheckGridRows(rows, isHead), message.isEmpty());
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestLinksRules::detailFieldMap() {
    GridRow g =
        formulaRow(QStringLiteral("备注"), QStringLiteral("x"), QStringLiteral(" 3|FCustName|[3/购方名称] "));
    g.taxID = QStringLiteral(" 7 ");
    const FieldMap m = DetailFieldMap(g, false);
    QCOMPARE(m.Keys(), (QStringList{QStringLiteral("FTaxID"), QStringLiteral("FisFormula"),
                                    QStringLiteral("FQORField"), QStringLiteral("FisHead")}));
    QCOMPARE(m.Get(QStringLiteral("FTaxID")).toString(), QStringLiteral("7"));
    QCOMPARE(m.Get(QStringLiteral("FisFormula")).toString(), QStringLiteral("1"));
    QCOMPARE(m.Get(QStringLiteral("FQORField")).toString(), QStringLiteral("3|FCustName|[3/购方名称]"));
    QCOMPARE(m.Get(QStringLiteral("FisHead")).toString(), QStringLiteral("0"));
    QCOMPARE(DetailFieldMap(g, true).Get(QStringLiteral("FisHead")).toString(), QStringLiteral("1"));
}

void TestLinksRules::loadDetailRowsInSavedOrder() {
    Connection& c = *m_db->config;
    c.Execute(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (5, 'x', '0')"));
    // Saved order is t_Detail.FID, not the tax field's order.
    c.Execute(
        QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                       "(5, 3, 1, 'upper(3)|upper(FCustName)|upper([3/购方名称])', 1), (5, 1, 0, '1', 1),"
                       "(5, 13, 0, '21', 0), (5, 7, 0, '999', 1)"));
    const QList<GridRow> head = LoadDetailRows(QStringLiteral("5"), true);
    QCOMPARE(head.size(), 3);
    QCOMPARE(head[0].taxField, QStringLiteral("购方名称"));
    QCOMPARE(head[0].typeText, QStringLiteral("文本"));
    QCOMPARE(head[0].isFormula, QStringLiteral("1"));
    QCOMPARE(head[0].caption, QStringLiteral("upper([3/购方名称])"));
    QCOMPARE(head[0].qorField, QString());
    QCOMPARE(head[0].taxID, QStringLiteral("3"));
    QCOMPARE(head[0].qorID, QStringLiteral("upper(3)|upper(FCustName)|upper([3/购方名称])"));
    QCOMPARE(head[1].taxField, QStringLiteral("单据号"));
    QCOMPARE(head[1].isFormula, QStringLiteral("0"));
    QCOMPARE(head[1].qorField, QStringLiteral("单据号"));
    QCOMPARE(head[1].qorID, QStringLiteral("1"));
    QCOMPARE(head[2].qorField, QString()); // the field is gone from the catalogue
    const QList<GridRow> body = LoadDetailRows(QStringLiteral("5"), false);
    QCOMPARE(body.size(), 1);
    QCOMPARE(body[0].qorField, QStringLiteral("货物名称"));
}

void TestLinksRules::loadDetailRowsOfUnknownKey() {
    QVERIFY(LoadDetailRows(QStringLiteral("77"), true).isEmpty());
    QVERIFY(LoadDetailRows(QStringLiteral("1 or 1=1"), true).isEmpty());
    QVERIFY(m_sink->entries.isEmpty());
    QCOMPARE(LoadDetailRows(QStringLiteral("1"), true).size(), 12);
}

QTEST_GUILESS_MAIN(TestLinksRules)
#include "test_links_rules.moc"
