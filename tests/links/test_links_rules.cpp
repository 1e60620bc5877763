// Rules of the link wizard without a window: formula checking and its three forms, field type texts
// and the drop-down lists.
#include "common/DbProcedures.h"
#include "common/Values.h"
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
    void verifyExpressionAccountingSetUnreachable();
    void statementSeparator_data();
    void statementSeparator();
    void getFieldType();
    void typeTexts();
    void fieldLists();
    void requiredFields_data();
    void requiredFields();
    void testLayoutGaps_data();
    void testLayoutGaps();
    void gapsFilledInLayoutOrder();

private:
    bool verify(const QString& expression, bool isHead = true, int dataType = 1);

    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
    std::optional<ExpressionVerifier> m_v;
};

void TestLinksRules::init() {
    m_db = std::make_unique<TestDatabases>();
    m_sink = std::make_unique<RecorderSink>();
    m_v.emplace(m_db->session);
}

void TestLinksRules::cleanup() {
    m_sink.reset();
    m_db.reset();
}

bool TestLinksRules::verify(const QString& expression, bool isHead, int dataType) {
    m_v->expression = expression;
    m_v->dataType = dataType;
    m_v->fieldItems = ExpressionVerifier::loadFieldItems(*m_db->config, isHead);
    return m_v->verifyExpression();
}

// ---- formulas -------------------------------------------------------------------------------

void TestLinksRules::verifyExpression_data() {
    QTest::addColumn<QString>("setup"); // run on the configuration database first
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("isHead");
    QTest::addColumn<int>("dataType");
    QTest::addColumn<QString>("message"); // "" when the formula passes
    QTest::addColumn<QString>("sqlForm");
    QTest::addColumn<QString>("idForm");

    const auto add = [](const char* name, const QString& expression, int dataType, const QString& message,
                        const QString& sqlForm = {}, const QString& idForm = {}, bool isHead = true,
                        const QString& setup = {}) {
        QTest::newRow(name) << setup << expression << isHead << dataType << message << sqlForm << idForm;
    };
    const QString syntax = QStringLiteral("表达式语法错误!");
    add("empty", "", 1, "没有定义对应表达式！");
    add("blanks only", "   ", 1, "没有定义对应表达式！");
    add("constant without a field", "'abc'", 1, syntax);
    add("closing bracket missing", "[3/购方名称", 1, "[ 和 ]不匹配！");
    add("one bracket too many", "[[3/购方名称]", 1, "[ 和 ]不匹配！");
    // Only the counts are compared: reversed brackets pass that check and fail the resolution.
    add("brackets reversed", "]3/购方名称[", 1, syntax);
    add("reference without slash", "[购方名称]", 1, syntax);
    add("empty identifier", "[/购方名称]", 1, syntax);
    add("unknown identifier", "[99/购方名称]", 1, syntax);
    add("description not current", "[3/E]", 1, "【3/E】不存在！");
    add("body field in head formula", "[21/货物名称]", 1, "【21/货物名称】不存在！");
    add("text field where a number is wanted", "[3/购方名称]", 3, "【3/购方名称】为非数值型！");
    add("date type checks no field type", "[3/购方名称]", 2, "", "FCustName", "3");
    add("function of a field", "  upper([3/购方名称] )  ", 1, "", "upper(FCustName )", "upper(3 )");
    add("numeric arithmetic", "[18/发票价税合计] * 2", 3, "", "FBillAmount * 2", "18 * 2");
    add("same reference twice resolved everywhere", "[24/数量] * [24/数量]", 3, "", "FQty * FQty", "24 * 24",
        false);
    add("fields of both templates", "[2/商品行数] + [18/发票价税合计]", 3, "", "Frows + FBillAmount",
        "2 + 18");
    add("unknown function fails the trial", "nosuchfn([3/购方名称])", 1, syntax);
    add("open parenthesis fails the trial", "([3/购方名称]", 1, syntax);
    add("bar would break the stored formula", "[3/购方名称] || 'x'", 1, "公式中不能含有字符“|”！");
    add("second statement refused", "[1/单据号] from ICSale; delete from ICSale; select 1", 1,
        "公式中不能含有语句分隔符“;”！");
    add("separator inside a quoted text is data", "replace([3/购方名称], ';', ',')", 1, "",
        "replace(FCustName, ';', ',')", "replace(3, ';', ',')");
    // The check list is split at ",": a description holding one cannot be referenced.
    add("comma in a description", "[90/a,b]", 1, "【90/a】不存在！", {}, {}, true,
        "insert into t_QorField (FID, FFieldName, FFieldType, FFieldDesc, FisHead, forder) "
        "values ('90', 'FCustName', '1', 'a,b', 1, 90)");
    add("first template without where", "[3/购方名称]", 1,
        "调用(VerifyExpression)出错!\r\n错误编号:5,错误原因:无效的过程调用或参数", {}, {}, true,
        "update t_OtherInfo set FSQL='select 1 as FCustName' where Fkey='tbl1'");
}

void TestLinksRules::verifyExpression() {
    QFETCH(QString, setup);
    QFETCH(QString, expression);
    QFETCH(bool, isHead);
    QFETCH(int, dataType);
    QFETCH(QString, message);
    QFETCH(QString, sqlForm);
    QFETCH(QString, idForm);

    if (!setup.isEmpty()) m_db->config->exec(setup);
    const QString countSales = QStringLiteral("select count(*) from ICSale");
    const int sales = m_db->acct->query(countSales)->value(0).toInt();
    QCOMPARE(verify(expression, isHead, dataType), message.isEmpty());
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (message.isEmpty()) {
        QCOMPARE(m_v->returnFieldName, sqlForm);
        QCOMPARE(m_v->returnFieldId, idForm);
    }
    // The trial query never changes the accounting set.
    QCOMPARE(m_db->acct->query(countSales)->value(0).toInt(), sales);
}

void TestLinksRules::verifyExpressionAccountingSetUnreachable() {
    m_db->session.gsAcctProps =
        QStringLiteral("{Provider=SQLite;Data Source=") + m_db->folder() + QStringLiteral("/gone.db}");
    QVERIFY(!verify(QStringLiteral("[3/购方名称]")));
    QCOMPARE(m_sink->entries.size(), 1);
    QCOMPARE(m_sink->entries[0].kind, RecorderSink::Error);
    QVERIFY2(m_sink->last().startsWith(
                 QStringLiteral("调用(VerifyExpression)出错!\r\n错误编号:-2147467259,错误原因:")),
             qPrintable(m_sink->last()));
}

void TestLinksRules::statementSeparator_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("separator");
    QTest::newRow("bare") << QStringLiteral("a;b") << true;
    QTest::newRow("in a text") << QStringLiteral("'a;b'") << false;
    QTest::newRow("in a text with a doubled quote") << QStringLiteral("'it''s;'") << false;
    QTest::newRow("in a quoted name") << QStringLiteral("\"x;y\"") << false;
    QTest::newRow("between two texts") << QStringLiteral("'a' ; 'b'") << true;
}

void TestLinksRules::statementSeparator() {
    QFETCH(QString, sql);
    QFETCH(bool, separator);
    QCOMPARE(ExpressionVerifier::hasStatementSeparator(sql), separator);
}

void TestLinksRules::getFieldType() {
    m_db->config->exec(
        QStringLiteral("insert into t_QorField (FID, FFieldName, FFieldType, FFieldDesc, FisHead, "
                       "forder) values ('91', 'FQty', null, 'x', 0, 91)"));
    QCOMPARE(m_v->getFieldType(QStringLiteral("24")), QStringLiteral("3"));
    QCOMPARE(m_v->getFieldType(QStringLiteral("11")), QStringLiteral("2"));
    QCOMPARE(m_v->getFieldType(QStringLiteral("91")), QStringLiteral("1")); // no type: text
    QCOMPARE(m_v->getFieldType(QStringLiteral("999")), QString());
}

// ---- grid rules -----------------------------------------------------------------------------

void TestLinksRules::typeTexts() {
    const QStringList codes{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    const QStringList texts{QStringLiteral("文本"), QStringLiteral("日期"), QStringLiteral("数字")};
    for (int i = 0; i < codes.size(); ++i) {
        QCOMPARE(typeToText(codes[i]), texts[i]);
        QCOMPARE(textToType(texts[i]), codes[i]);
        QCOMPARE(typeToText(codes[i] + u' '), QString());
        QCOMPARE(textToType(texts[i] + u' '), QString());
    }
    QCOMPARE(typeToText(QStringLiteral("4")), QString());
}

void TestLinksRules::fieldLists() {
    const QString pad(100, u' ');
    const QStringList head = taxFieldList(*m_db->config, true).split(u'\t');
    QCOMPARE(head.size(), 13); // twelve items, each followed by a Tab
    QCOMPARE(head.first(), QStringLiteral("单据号") + pad + QStringLiteral("|1|1"));
    QCOMPARE(head[10], QStringLiteral("单据日期") + pad + QStringLiteral("|11|2"));
    QCOMPARE(head.last(), QString());
    QCOMPARE(taxFieldList(*m_db->config, false).split(u'\t').first(),
             QStringLiteral("货物名称") + pad + QStringLiteral("|13|1"));
    const QStringList qor = qorFieldList(*m_db->config, false).split(u'\t');
    QCOMPARE(qor.first(), QStringLiteral("货物名称") + pad + QStringLiteral("|21"));
    QCOMPARE(splitItem(qor[3], QStringLiteral("|"), 1), QStringLiteral("24"));
    m_db->config->exec(QStringLiteral("delete from t_QorField"));
    QCOMPARE(qorFieldList(*m_db->config, true), QString());
}

// The first items of the tax system's head and detail lines must be mapped, or it refuses the file.
void TestLinksRules::requiredFields_data() {
    QTest::addColumn<QStringList>("head");
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("format");
    const QStringList fullHead{"单据号", "商品行数", "购方名称", "购方税号", "备注"};
    const QStringList fullBody{"货物名称", "数量", "不含税金额", "税率"};
    QTest::newRow("everything needed") << fullHead << fullBody << QStringList{} << "txt";
    QTest::newRow("only the numbers and the goods")
        << QStringList{"单据号"} << QStringList{"货物名称"}
        << QStringList{"商品行数", "购方名称", "购方税号", "数量", "不含税金额", "税率"} << "txt";
    QTest::newRow("items as the drop-down gives them")
        << QStringList{"单据号" + QString(100, u' ') + "|1|1"} << fullBody
        << QStringList{"商品行数", "购方名称", "购方税号"} << "txt";
    // An XML document lists its lines: no count needed; the rest as for a text file.
    QTest::newRow("XML without 商品行数")
        << QStringList{"单据号", "购方名称"} << fullBody << QStringList{"购方税号"} << "xml";
    QTest::newRow("a workbook has the platform's columns")
        << QStringList{"单据号"} << QStringList{} << QStringList{} << "xlsx";
}

void TestLinksRules::requiredFields() {
    QFETCH(QStringList, head);
    QFETCH(QStringList, body);
    QFETCH(QStringList, missing);
    QFETCH(QString, format);
    auto rows = [](const QStringList& names) {
        QList<GridRow> out;
        for (const QString& n : names) {
            GridRow r;
            r.taxField = n;
            out.append(r);
        }
        out.append(GridRow{}); // an empty row maps nothing
        return out;
    };
    QCOMPARE(missingRequiredFields(rows(head), rows(body), format), missing);
}

// The tax system reads the text file by position: a field left out before one that is kept shifts it.
void TestLinksRules::testLayoutGaps_data() {
    QTest::addColumn<bool>("isHead");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("gaps");
    QTest::newRow("head in order") << true << QStringList{"单据号", "商品行数", "购方名称"} << QStringList{};
    QTest::newRow("trailing fields left off")
        << true
        << QStringList{"单据号", "商品行数", "购方名称", "购方税号", "购方地址电话", "购方银行帐号", "备注"}
        << QStringList{};
    QTest::newRow("date without address and the rest")
        << true << QStringList{"单据号", "商品行数", "购方名称", "购方税号", "单据日期"}
        << QStringList{"购方地址电话", "购方银行帐号", "备注", "复核人", "收款人", "清单行商品名称"};
    QTest::newRow("kept out of order")
        << true << QStringList{"备注", "单据号"}
        << QStringList{"商品行数", "购方名称", "购方税号", "购方地址电话", "购方银行帐号"};
    QTest::newRow("tax without item class")
        << false << QStringList{"货物名称", "计量单位", "规格", "数量", "不含税金额", "税率", "税额"}
        << QStringList{"商品税目", "折扣金额"};
    QTest::newRow("body starts late")
        << false << QStringList{"数量"} << QStringList{"货物名称", "计量单位", "规格"};
    QTest::newRow("nothing kept") << false << QStringList{} << QStringList{};
}

void TestLinksRules::testLayoutGaps() {
    QFETCH(bool, isHead);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, gaps);
    const QList<LayoutField> layout = textFileLayout(*m_db->config, isHead);
    QCOMPARE(layout.size(), isHead ? 12 : 13);
    // The rows as the drop-down gives them, in the order the user listed them.
    QList<GridRow> rows;
    for (const QString& name : kept)
        for (const LayoutField& f : layout)
            if (f.name == name) {
                GridRow r;
                r.taxField = f.name + QString(100, u' ') + u'|' + f.id + u'|' + f.type;
                rows.append(r);
            }
    QCOMPARE(layoutGaps(layout, rows), gaps);
    QStringList names;
    for (const LayoutField& f : layout)
        names << f.name;
    QCOMPARE(layoutGaps(names, kept), gaps);
}

// Filling the gaps puts every kept row at its place and an empty text in each gap, nothing after the last.
void TestLinksRules::gapsFilledInLayoutOrder() {
    const QList<LayoutField> layout = textFileLayout(*m_db->config, true);
    auto row = [](const QString& name, const QString& id) {
        GridRow r;
        r.taxField = name;
        r.taxID = id;
        r.isFormula = QStringLiteral("0");
        r.qorField = name;
        r.qorID = id;
        return r;
    };
    const QList<GridRow> filled =
        fillLayoutGaps({row("购方名称", "3"), GridRow{}, row("单据号", "1"), row("单据日期", "11")}, layout);
    QStringList seen;
    for (const GridRow& r : filled)
        seen << QStringList{r.taxField, r.typeText, r.isFormula, r.caption, r.taxID, r.qorID}.join(u';');
    auto gap = [](const QString& name, const QString& type, const QString& id) {
        return name + u';' + type + QStringLiteral(";1;'';") + id + QStringLiteral(";''|''|''");
    };
    QCOMPARE(seen, (QStringList{"单据号;;0;;1;1", gap("商品行数", "数字", "2"), "购方名称;;0;;3;3",
                                gap("购方税号", "文本", "4"), gap("购方地址电话", "文本", "5"),
                                gap("购方银行帐号", "文本", "6"), gap("备注", "文本", "7"),
                                gap("复核人", "文本", "8"), gap("收款人", "文本", "9"),
                                gap("清单行商品名称", "文本", "10"), "单据日期;;0;;11;11"}));
    QCOMPARE(layoutGaps(layout, filled), QStringList{});
}

QTEST_GUILESS_MAIN(TestLinksRules)
#include "test_links_rules.moc"
