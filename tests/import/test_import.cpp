// The import engine on temporary accounting sets: reading, rules and names, numbering and the writer.
#include "InvoiceLines.h"
#include "common/modDefine.h"
#include "common/modFunction.h"
#include "import/BillNumbering.h"
#include "import/ImportEngine.h"
#include "import/ImportReader.h"
#include "support/TestSupport.h"
#include <QFile>
#include <QtTest/QtTest>

using Sql = QStringList;

namespace {
const QString kToday = QStringLiteral("2026-04-10");

// One value of the accounting set as text: numbers in their shortest form, Null as "<null>".
QString Val(Connection& c, const QString& sql) {
    const RecordsetPtr rs = c.Query(sql);
    if (rs->EOF_()) return QStringLiteral("<none>");
    const QVariant v = rs->value(0);
    if (v.isNull()) return QStringLiteral("<null>");
    if (v.typeId() == QMetaType::Double) return NumberText(v.toDouble());
    return v.toString();
}

int Count(Connection& c, const QString& table) {
    return c.Query(QStringLiteral("select count(*) from ") + table)->value(0).toInt();
}

const QString kErrPrefix = QStringLiteral("调用(ImportToQor)出错!\r\n");
} // namespace

class TestImport : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString file;

    bool Run(const QStringList& lines, ImportEngine* engine = nullptr) {
        WriteGbkFile(file, lines);
        if (engine) return engine->ImportToQor(file);
        ImportEngine e(db->acct, db->config);
        return e.ImportToQor(file);
    }
    void Exec(Connection& c, const Sql& statements) {
        for (const QString& s : statements)
            c.Execute(s);
    }
    // The common body of the data-driven file tests.
    void RunFileCase();
    void AddFileColumns();

private Q_SLOTS:
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        file = db->folder() + QStringLiteral("/in.txt");
        SetTodayForTesting(QDate::fromString(kToday, Qt::ISODate));
    }
    void cleanup() {
        rec.reset();
        db.reset();
        SetTodayForTesting(QDate());
    }

    void discountRate_data();
    void discountRate();
    void inValueList_data();
    void inValueList();

    void readingLoop_data();
    void readingLoop() { RunFileCase(); }
    void fieldRules_data();
    void fieldRules() { RunFileCase(); }
    void nameResolution_data();
    void nameResolution() { RunFileCase(); }
    void discountLines_data();
    void discountLines() { RunFileCase(); }

    void priceTable_data();
    void priceTable();
    void discountTable_data();
    void discountTable();
    void headColumns();
    void cancelledAndChecked_data();
    void cancelledAndChecked();

    void billNumber_data();
    void billNumber();
    void rollbackRestoresNumbers();
    void periodFromToday();
    void noPeriodFailsWithoutMessage();
    void emptyAndMissingFiles();
    void notGbkLine();
    void lookupsOncePerImport();
    void itemMapLivesWithEngine();
    void samplesImport_data();
    void samplesImport();
    void generatedFile();
    void linesBeyond16Bits();
};

// ---- reading ------------------------------------------------------------------------------------

void TestImport::discountRate_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("rate");
    QTest::newRow("ten percent") << "折扣(10%)" << true << 0.1;
    QTest::newRow("decimals") << "折扣行数1(12.5%)" << true << 0.125;
    QTest::newRow("no percent sign cuts a digit") << "折扣(10)" << true << 0.01;
    QTest::newRow("no brackets") << "折扣10%" << false << 0.0;
    QTest::newRow("empty rate") << "折扣(%)" << false << 0.0;
    QTest::newRow("closing before opening") << "折扣)10%(" << false << 0.0;
    QTest::newRow("not a number") << "折扣(abc%)" << false << 0.0;
}

void TestImport::discountRate() {
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QFETCH(double, rate);
    double r = -1;
    QCOMPARE(DiscountRate(name, r), ok);
    if (ok) QCOMPARE(r, rate);
}

void TestImport::inValueList_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("ok");
    QTest::newRow("first") << "0"
                           << "0,2" << true;
    QTest::newRow("last") << "2"
                          << "0,2" << true;
    QTest::newRow("missing") << "1"
                             << "0,2" << false;
    QTest::newRow("blank before second piece") << "2"
                                               << "0, 2" << false;
    QTest::newRow("blank before second piece, first value") << "0"
                                                            << "0, 2" << true;
    QTest::newRow("empty list") << "0"
                                << "" << false;
    QTest::newRow("no trimming of value") << " 0"
                                          << "0,2" << false;
}

void TestImport::inValueList() {
    QFETCH(QString, value);
    QFETCH(QString, list);
    QFETCH(bool, ok);
    QCOMPARE(ImportRules::InValueList(value, list), ok);
}

// ---- whole files --------------------------------------------------------------------------------

void TestImport::AddFileColumns() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("configSql"); // run on the configuration set first
    QTest::addColumn<QStringList>("acctSql");   // run on the accounting set first
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("check"); // a query on the accounting set after the import
    QTest::addColumn<QString>("expected");
}

void TestImport::RunFileCase() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, configSql);
    QFETCH(QStringList, acctSql);
    QFETCH(bool, ok);
    QFETCH(QStringList, messages);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    Exec(*db->config, configSql);
    Exec(*db->acct, acctSql);
    const int heads = Count(*db->acct, QStringLiteral("ICSale"));
    const int entries = Count(*db->acct, QStringLiteral("ICSaleEntry"));
    const QString billNo =
        Val(*db->acct, QStringLiteral("select fprojectval from t_billcoderule where fbilltypeid=80 "
                                      "and fprojectid=3"));
    const QString counter = Val(*db->acct, QStringLiteral("select FMaxNum from t_ICMaxNum"));

    QCOMPARE(Run(lines), ok);
    QCOMPARE(rec->texts(), messages);
    QVERIFY(!db->acct->InTransaction());
    if (!ok) {
        // Nothing of a failed file stays behind, numbers included.
        QCOMPARE(Count(*db->acct, QStringLiteral("ICSale")), heads);
        QCOMPARE(Count(*db->acct, QStringLiteral("ICSaleEntry")), entries);
        QCOMPARE(
            Val(*db->acct, QStringLiteral("select fprojectval from t_billcoderule where fbilltypeid=80 and "
                                          "fprojectid=3")),
            billNo);
        QCOMPARE(Val(*db->acct, QStringLiteral("select FMaxNum from t_ICMaxNum")), counter);
    }
    if (!check.isEmpty()) QCOMPARE(Val(*db->acct, check), expected);
}

static const QString kNewHeads = QStringLiteral("select count(*) from ICSale where FInterID>1008");
static const QString kNewEntries = QStringLiteral("select count(*) from ICSaleEntry where FInterID>1008");
static const QString kNewEntryIDs = QStringLiteral(
    "select group_concat(FInterID || ':' || FEntryID, ',') from (select * from ICSaleEntry where "
    "FInterID>1008 order by FInterID, FEntryID)");

void TestImport::readingLoop_data() {
    AddFileColumns();
    const QString fmt = QStringLiteral("文本文件格式不正确!");
    const QStringList one = Invoice({}, {GoodsLine({})});
    QTest::newRow("only the tag line")
        << QStringList{ImportTagLine()} << Sql() << Sql() << true << QStringList() << kNewHeads << "0";
    QTest::newRow("tag line with blanks") << (QStringList{QStringLiteral(" SJJK0201~~已开发票传出  ")} << one)
                                          << Sql() << Sql() << true << QStringList() << kNewEntries << "1";
    QTest::newRow("export file's tag") << (QStringList{QStringLiteral("SJJK0101~~销售单据传入")} << one)
                                       << Sql() << Sql() << false << QStringList{fmt} << ""
                                       << "";
    QTest::newRow("blank line at the end")
        << (IssuedFile({one}) << QString()) << Sql() << Sql() << false << QStringList{fmt} << ""
        << "";
    QTest::newRow("blank line between invoices") << (IssuedFile({one}) << QStringLiteral("  ") << one)
                                                 << Sql() << Sql() << false << QStringList{fmt} << ""
                                                 << "";
    QTest::newRow("two comment lines in a row")
        << (QStringList{ImportTagLine(), QStringLiteral("//第一张")} << one) << Sql() << Sql() << true
        << QStringList() << kNewEntries << "1";
    QTest::newRow("head without comment is skipped with its body")
        << (QStringList{ImportTagLine()} << one.mid(1) << one) << Sql() << Sql() << true << QStringList()
        << kNewHeads << "1";
    QTest::newRow("other lines are skipped")
        << (QStringList{ImportTagLine(), QStringLiteral("开票信息汇总")} << one) << Sql() << Sql() << true
        << QStringList() << kNewHeads << "1";
    HeadFields zero;
    zero.count = QStringLiteral("0");
    QTest::newRow("zero body lines: head written, lines after it skipped")
        << IssuedFile({Invoice(zero, {GoodsLine({})})}) << Sql() << Sql() << true << QStringList()
        << QStringLiteral(
               "select count(*) || '/' || (select count(*) from ICSaleEntry where FInterID>1008) from "
               "ICSale where FInterID>1008")
        << "1/0";
    HeadFields text;
    text.count = QStringLiteral("两行");
    QTest::newRow("non-numeric body line count counts as zero")
        << IssuedFile({Invoice(text, {GoodsLine({})})}) << Sql() << Sql() << true << QStringList()
        << kNewEntries << "0";
    HeadFields more;
    more.count = QStringLiteral("3");
    QTest::newRow("file ends inside the body lines")
        << IssuedFile({Invoice(more, {GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{kErrPrefix + QStringLiteral("错误编号:62,错误原因:输入超出文件尾")} << ""
        << "";
    QTest::newRow("blank body line") << IssuedFile({Invoice({}, {QStringLiteral("   ")})}) << Sql() << Sql()
                                     << false << QStringList{QStringLiteral("发票体行为空!")} << ""
                                     << "";
    GoodsFields commented;
    commented.name = QStringLiteral("//激光打印机");
    commented.lineKind = QStringLiteral("0");
    QTest::newRow("body line beginning with // is a body line")
        << IssuedFile({Invoice({}, {GoodsLine(commented)})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral(
               "货物名称[//激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[台]不匹配!")}
        << ""
        << "";
    QTest::newRow("entry numbers run on over the file")
        << IssuedFile(
               {Invoice({}, {GoodsLine({}), GoodsLine({})}), Invoice({}, {GoodsLine({}), GoodsLine({})})})
        << Sql() << Sql() << true << QStringList() << kNewEntryIDs << "1009:1,1009:2,1010:3,1010:4";
    HeadFields second;
    second.customer = QStringLiteral("不存在的公司");
    QTest::newRow("second invoice fails: the first is not kept")
        << IssuedFile({one, Invoice(second, {GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral("购方名称[不存在的公司]不存在或存在相同的记录!")} << ""
        << "";
}

void TestImport::fieldRules_data() {
    AddFileColumns();
    HeadFields h;
    const QString head = HeadLine(h);
    QTest::newRow("head line with a field too many")
        << QStringList{ImportTagLine(), QStringLiteral("//"), head + QStringLiteral("~~多余")} << Sql()
        << Sql() << false << QStringList{QStringLiteral("发票头字段数不正确!")} << ""
        << "";
    QTest::newRow("head line with a field too few")
        << QStringList{ImportTagLine(), QStringLiteral("//"),
                       head.left(head.lastIndexOf(QStringLiteral("~~")))}
        << Sql() << Sql() << false << QStringList{QStringLiteral("发票头字段数不正确!")} << ""
        << "";
    QTest::newRow("goods line with a field too few")
        << IssuedFile({Invoice({}, {QStringLiteral("0~~激光打印机~~HP-M404dn~~台")})}) << Sql() << Sql()
        << false << QStringList{QStringLiteral("发票体字段数不正确!")} << ""
        << "";
    HeadFields k1;
    k1.kind = QStringLiteral("1");
    QTest::newRow("invoice kind outside its value list")
        << IssuedFile({Invoice(k1, {GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral("发票种类[1]不在预设范围内!")} << ""
        << "";
    QTest::newRow("invoice kind allowed by the list but not by the import")
        << IssuedFile({Invoice(k1, {GoodsLine({})})})
        << Sql{QStringLiteral("update t_ImportField set FValidValue='0,1,2' where FFieldDesc='发票种类'")}
        << Sql() << false
        << QStringList{QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!"),
                       QStringLiteral("取发票头字段对应值出错!")}
        << ""
        << "";
    HeadFields k0;
    k0.kind = QString();
    QTest::newRow("empty value is not checked against the list")
        << IssuedFile({Invoice(k0, {GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!"),
                       QStringLiteral("取发票头字段对应值出错!")}
        << ""
        << "";
    HeadFields k2;
    k2.kind = QStringLiteral("2");
    QTest::newRow("blank in a value list takes part in the value")
        << IssuedFile({Invoice(k2, {GoodsLine({})})})
        << Sql{QStringLiteral("update t_ImportField set FValidValue='0, 2' where FFieldDesc='发票种类'")}
        << Sql() << false << QStringList{QStringLiteral("发票种类[2]不在预设范围内!")} << ""
        << "";
    GoodsFields mode;
    mode.mode = QStringLiteral("3");
    QTest::newRow("price mode outside its value list")
        << IssuedFile({Invoice({}, {GoodsLine(mode)})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral("单价价格方式[3]不在预设范围内!")} << ""
        << "";
    QTest::newRow("no check when the field needs none")
        << IssuedFile({Invoice(k1, {GoodsLine({})})})
        << Sql{QStringLiteral("update t_ImportField set FisNeedValid=0 where FFieldDesc='发票种类'")} << Sql()
        << false
        << QStringList{QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!"),
                       QStringLiteral("取发票头字段对应值出错!")}
        << ""
        << "";
    QTest::newRow("rows ordered by Forder, gaps allowed")
        << IssuedFile({Invoice({}, {GoodsLine({})})})
        << Sql{QStringLiteral("update t_ImportField set Forder=Forder*10")} << Sql() << true << QStringList()
        << kNewEntries << "1";
    QTest::newRow("no bill number rule")
        << IssuedFile({Invoice({}, {GoodsLine({})})}) << Sql()
        << Sql{QStringLiteral("delete from t_billcoderule where fbilltypeid=80")} << false
        << QStringList{QStringLiteral("生成发票号失败!"), QStringLiteral("取发票头字段对应值出错!")} << ""
        << "";
    HeadFields badDate;
    badDate.date = QStringLiteral("2026315");
    QTest::newRow("date that is no date")
        << IssuedFile({Invoice(badDate, {GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{kErrPrefix + QStringLiteral("错误编号:13,错误原因:开票日期[2026315]不是有效的日期。")}
        << ""
        << "";
    GoodsFields minusOne;
    minusOne.rate = QStringLiteral("-1");
    minusOne.mode = QStringLiteral("1");
    QTest::newRow("tax rate of -1 divides by zero")
        << IssuedFile({Invoice({}, {GoodsLine(minusOne)})}) << Sql() << Sql() << false
        << QStringList{QStringLiteral("取发票体字段对应值出错!")} << ""
        << "";
    QTest::newRow("defaults of t_qorDefault, later rows override")
        << IssuedFile({Invoice({}, {GoodsLine({})})})
        << Sql{QStringLiteral("insert into t_qorDefault values (1,'FExplanation','第二行')"),
               QStringLiteral("insert into t_qorDefault values (0,'FExplanation','表体行')")}
        << Sql() << true << QStringList()
        << QStringLiteral("select FExplanation from ICSale where FInterID=1009") << "第二行";
}

void TestImport::nameResolution_data() {
    AddFileColumns();
    const auto head = [](auto set) {
        HeadFields h;
        set(h);
        return IssuedFile({Invoice(h, {GoodsLine({})})});
    };
    const auto goods = [](auto set) {
        GoodsFields g;
        set(g);
        return IssuedFile({Invoice({}, {GoodsLine(g)})});
    };
    const QString cust = QStringLiteral("select FCustID from ICSale where FInterID=1009");
    const QString item =
        QStringLiteral("select FItemID || '/' || FUnitID from ICSaleEntry where FInterID=1009");

    QTest::newRow("customer unknown")
        << head([](HeadFields& h) { h.customer = QStringLiteral("无名公司"); }) << Sql() << Sql() << false
        << QStringList{QStringLiteral("购方名称[无名公司]不存在或存在相同的记录!")} << ""
        << "";
    QTest::newRow("customer twice in the set")
        << head([](HeadFields&) {}) << Sql()
        << Sql{QStringLiteral(
               "insert into t_Organization (FItemID, FName) values (190, '北京华远信息技术有限公司')")}
        << false << QStringList{QStringLiteral("购方名称[北京华远信息技术有限公司]不存在或存在相同的记录!")}
        << ""
        << "";
    QTest::newRow("customer with an apostrophe")
        << head([](HeadFields& h) { h.customer = QStringLiteral("O'Brien贸易有限公司"); }) << Sql() << Sql()
        << true << QStringList() << cust << "104";
    QTest::newRow("customer through a mapping")
        << head([](HeadFields& h) { h.customer = QStringLiteral("华远信息"); })
        << Sql{QStringLiteral(
               "insert into t_ItemMap values (1,'t_Organization','customer','北京华远信息技术有限公司',"
               "'101','华远信息')")}
        << Sql() << true << QStringList() << cust << "101";
    QTest::newRow("mapping of another kind does not apply")
        << head([](HeadFields& h) { h.customer = QStringLiteral("华远信息"); })
        << Sql{QStringLiteral(
               "insert into t_ItemMap values (1,'t_icitem','prod','北京华远信息技术有限公司','101',"
               "'华远信息')")}
        << Sql() << false << QStringList{QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!")} << ""
        << "";
    QTest::newRow("a mapping twice counts as none")
        << head([](HeadFields& h) { h.customer = QStringLiteral("华远信息"); })
        << Sql{QStringLiteral(
                   "insert into t_ItemMap values (1,'t_Organization','customer','北京华远信息技术有限公司',"
                   "'101','华远信息')"),
               QStringLiteral(
                   "insert into t_ItemMap values (2,'t_Organization','customer','上海浦江电子科技有限公司',"
                   "'102','华远信息')")}
        << Sql() << false << QStringList{QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!")} << ""
        << "";
    QTest::newRow("mapped name that is missing shows the file's name")
        << head([](HeadFields& h) { h.customer = QStringLiteral("华远信息"); })
        << Sql{QStringLiteral(
               "insert into t_ItemMap values (1,'t_Organization','customer','已删除的公司','199',"
               "'华远信息')")}
        << Sql() << false << QStringList{QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!")} << ""
        << "";
    QTest::newRow("biller unknown") << head([](HeadFields& h) { h.biller = QStringLiteral("新员工"); })
                                    << Sql() << Sql() << false
                                    << QStringList{QStringLiteral("开票人[新员工]不存在或存在相同的记录!")}
                                    << ""
                                    << "";
    QTest::newRow("biller empty is looked up as the empty name")
        << head([](HeadFields& h) { h.biller.clear(); }) << Sql() << Sql() << false
        << QStringList{QStringLiteral("开票人[]不存在或存在相同的记录!")} << ""
        << "";
    QTest::newRow("biller through a user mapping")
        << head([](HeadFields& h) { h.biller = QStringLiteral("小张"); })
        << Sql{QStringLiteral("insert into t_ItemMap values (1,'t_User','user','张会计','16395','小张')")}
        << Sql() << true << QStringList()
        << QStringLiteral("select FBillerID from ICSale where FInterID=1009") << "16395";
    QTest::newRow("checker unknown") << head([](HeadFields& h) { h.checker = QStringLiteral("无此人"); })
                                     << Sql() << Sql() << false
                                     << QStringList{QStringLiteral("复核人[无此人]不存在或存在相同的记录!")}
                                     << ""
                                     << "";
    QTest::newRow("checker empty is not looked up")
        << head([](HeadFields& h) { h.checker.clear(); }) << Sql() << Sql() << true << QStringList()
        << QStringLiteral(
               "select coalesce(FCheckerID,'<none>') || '/' || FStatus from ICSale where FInterID=1009")
        << "<none>/0";
    QTest::newRow("unit unknown") << goods([](GoodsFields& g) { g.unit = QStringLiteral("只"); }) << Sql()
                                  << Sql() << false << QStringList{QStringLiteral("计量单位[只]不存在!")}
                                  << ""
                                  << "";
    QTest::newRow("unit name in two groups without a mapping") << goods([](GoodsFields& g) {
        g.name = QStringLiteral("办公用品礼盒");
        g.model = QStringLiteral("LH-2026");
        g.unit = QStringLiteral("件");
    }) << Sql() << Sql() << false << QStringList{QStringLiteral("计量单位[件]不存在!")}
                                                               << ""
                                                               << "";
    QTest::newRow("unit name in two groups with a mapping to its identifier")
        << goods([](GoodsFields& g) {
               g.name = QStringLiteral("办公用品礼盒");
               g.model = QStringLiteral("LH-2026");
               g.unit = QStringLiteral("件");
           })
        << Sql{QStringLiteral("insert into t_ItemMap values (1,'t_MeasureUnit','unit','件','510','件')")}
        << Sql() << true << QStringList() << item << "413/510";
    QTest::newRow("product only within the unit's group")
        << goods([](GoodsFields& g) { g.unit = QStringLiteral("千克"); }) << Sql() << Sql() << false
        << QStringList{QStringLiteral(
               "货物名称[激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[千克]不匹配!")}
        << ""
        << "";
    QTest::newRow("model narrows the product") << goods([](GoodsFields& g) {
        g.name = QStringLiteral("不锈钢保温杯");
        g.model = QStringLiteral("350ml");
        g.unit = QStringLiteral("个");
    }) << Sql() << Sql() << true << QStringList()
                                               << item << "409/501";
    QTest::newRow("no model leaves two products")
        << goods([](GoodsFields& g) {
               g.name = QStringLiteral("不锈钢保温杯");
               g.model.clear();
               g.unit = QStringLiteral("个");
           })
        << Sql() << Sql() << false
        << QStringList{QStringLiteral("货物名称[不锈钢保温杯]不存在或者和其规格型号[],计量单位[个]不匹配!")}
        << ""
        << "";
    QTest::newRow("wrong model")
        << goods([](GoodsFields& g) { g.model = QStringLiteral("X-1"); }) << Sql() << Sql() << false
        << QStringList{QStringLiteral("货物名称[激光打印机]不存在或者和其规格型号[X-1],计量单位[台]不匹配!")}
        << ""
        << "";
    QTest::newRow("product and model through mappings")
        << goods([](GoodsFields& g) {
               g.name = QStringLiteral("保温杯");
               g.model = QStringLiteral("小号");
               g.unit = QStringLiteral("只");
           })
        << Sql{QStringLiteral(
                   "insert into t_ItemMap values (1,'t_icitem','prod','不锈钢保温杯','409','保温杯')"),
               QStringLiteral("insert into t_ItemMap values (1,'t_icitem','model','350ml','409','小号')"),
               QStringLiteral("insert into t_ItemMap values (1,'t_MeasureUnit','unit','个','501','只')")}
        << Sql() << true << QStringList() << item << "409/501";
}

void TestImport::discountLines_data() {
    AddFileColumns();
    const QString bad = QStringLiteral("取折扣行发票体字段出错!");
    QTest::newRow("discount as the first body line of the file")
        << IssuedFile({Invoice({}, {DiscountLine(), GoodsLine({})})}) << Sql() << Sql() << false
        << QStringList{bad} << ""
        << "";
    QTest::newRow("discount as the first body line of a later invoice")
        << IssuedFile({Invoice({}, {GoodsLine({})}), Invoice({}, {DiscountLine()})}) << Sql() << Sql()
        << false << QStringList{bad} << ""
        << "";
    QTest::newRow("discount after a discount")
        << IssuedFile({Invoice({}, {GoodsLine({}), DiscountLine(), DiscountLine()})}) << Sql() << Sql()
        << false << QStringList{bad} << ""
        << "";
    QTest::newRow("discount without a rate")
        << IssuedFile({Invoice({}, {GoodsLine({}), DiscountLine(QStringLiteral("折扣"))})}) << Sql() << Sql()
        << false << QStringList{bad} << ""
        << "";
    QTest::newRow("discount with a field too few")
        << IssuedFile({Invoice({}, {GoodsLine({}), QStringLiteral("1~~折扣(10%)~~")})}) << Sql() << Sql()
        << false << QStringList{bad} << ""
        << "";
    GoodsFields noQty;
    noQty.qty.clear();
    QTest::newRow("previous line's quantity is no number")
        << IssuedFile({Invoice({}, {GoodsLine(noQty), DiscountLine()})}) << Sql() << Sql() << false
        << QStringList{bad} << ""
        << "";
    QTest::newRow("discount uses up an entry number")
        << IssuedFile({Invoice({}, {GoodsLine({}), DiscountLine(), GoodsLine({})})}) << Sql() << Sql() << true
        << QStringList() << kNewEntryIDs << "1009:1,1009:3";
}

// ---- the writer's arithmetic --------------------------------------------------------------------

void TestImport::priceTable_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("expected"); // FPrice FTaxPrice FAmount FTaxRate FAmountincludetax FAllAmount
    QTest::newRow("special, price without tax") << "0"
                                                << "0"
                                                << "10"
                                                << "10 11.7 30 17 35.1 35.1";
    QTest::newRow("special, price with tax") << "0"
                                             << "1"
                                             << "11.7"
                                             << "10 11.7 30 17 35.1 35.1";
    QTest::newRow("ordinary, price without tax") << "2"
                                                 << "0"
                                                 << "10"
                                                 << "11.7 11.7 35.1 17 30 0";
    QTest::newRow("ordinary, price with tax") << "2"
                                              << "1"
                                              << "11.7"
                                              << "11.7 11.7 35.1 17 30 0";
    QTest::newRow("other mode counts as tax-inclusive") << "0"
                                                        << "9"
                                                        << "11.7"
                                                        << "10 11.7 30 17 35.1 35.1";
}

void TestImport::priceTable() {
    QFETCH(QString, kind);
    QFETCH(QString, mode);
    QFETCH(QString, price);
    QFETCH(QString, expected);
    // The price mode's value list would refuse "9"; the arithmetic is what is tested here.
    db->config->Execute(QStringLiteral("update t_ImportField set FisNeedValid=0"));
    HeadFields h;
    h.kind = kind;
    GoodsFields g;
    g.mode = mode;
    g.price = price;
    QVERIFY(Run(IssuedFile({Invoice(h, {GoodsLine(g)})})));
    QCOMPARE(rec->texts(), QStringList());
    const QString cols = QStringLiteral("FPrice,FTaxPrice,FAmount,FTaxRate,FAmountincludetax,FAllAmount");
    const RecordsetPtr rs =
        db->acct->Query(QStringLiteral("select ") + cols +
                        QStringLiteral(",FAuxPrice,FAuxTaxPrice,FPriceDiscount,FAuxPriceDiscount,"
                                       "FStdAmount,FStdAmountincludetax,FQty,FAuxQty,"
                                       "FTaxAmount,FStdTaxAmount,FEntryID,FNote,FBatchNo "
                                       "from ICSaleEntry where FInterID=1009"));
    QStringList got;
    for (int i = 0; i < 6; ++i)
        got << NumberText(rs->value(i).toDouble());
    QCOMPARE(got.join(u' '), expected);
    QCOMPARE(rs->value(QStringLiteral("FAuxPrice")), rs->value(QStringLiteral("FPrice")));
    QCOMPARE(rs->value(QStringLiteral("FAuxTaxPrice")), rs->value(QStringLiteral("FTaxPrice")));
    QCOMPARE(rs->value(QStringLiteral("FPriceDiscount")), rs->value(QStringLiteral("FTaxPrice")));
    QCOMPARE(rs->value(QStringLiteral("FAuxPriceDiscount")), rs->value(QStringLiteral("FTaxPrice")));
    QCOMPARE(rs->value(QStringLiteral("FStdAmount")), rs->value(QStringLiteral("FAmount")));
    QCOMPARE(rs->value(QStringLiteral("FStdAmountincludetax")),
             rs->value(QStringLiteral("FAmountincludetax")));
    QCOMPARE(rs->value(QStringLiteral("FQty")).toDouble(), 3.0);
    QCOMPARE(rs->value(QStringLiteral("FAuxQty")).toDouble(), 3.0);
    QCOMPARE(rs->value(QStringLiteral("FTaxAmount")).toDouble(), 5.1);
    QCOMPARE(rs->value(QStringLiteral("FStdTaxAmount")).toDouble(), 5.1);
    QCOMPARE(rs->value(QStringLiteral("FEntryID")).toInt(), 1);
    // The empty text, not Null.
    QVERIFY(!rs->value(QStringLiteral("FNote")).isNull());
    QVERIFY(!rs->value(QStringLiteral("FBatchNo")).isNull());
    QCOMPARE(Val(*db->acct, QStringLiteral("select typeof(fyearperiod) from ICSale where FInterID=1009")),
             QStringLiteral("text"));
}

void TestImport::discountTable_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("price");
    // FAmount FStdAmount FTaxAmount FStdTaxAmount FAmountincludetax FStdAmountincludetax FAllAmount
    // FDiscountRate FAmtDiscount FStdAmtDiscount FPriceDiscount FAuxPriceDiscount
    QTest::addColumn<QString>("expected");
    QTest::newRow("price without tax") << "0"
                                       << "10"
                                       << "90 90 15.3 15.3 105.3 105.3 105.3 10 11.7 11.7 10.53 10.53";
    QTest::newRow("price with tax keeps FAllAmount")
        << "1"
        << "11.7"
        << "105.3 105.3 15.3 15.3 90 90 117 10 11.7 11.7 10.53 10.53";
}

void TestImport::discountTable() {
    QFETCH(QString, mode);
    QFETCH(QString, price);
    QFETCH(QString, expected);
    GoodsFields g;
    g.qty = QStringLiteral("10");
    g.amount = QStringLiteral("100");
    g.tax = QStringLiteral("17");
    g.price = price;
    g.mode = mode;
    HeadFields h;
    h.net = QStringLiteral("90");
    h.tax = QStringLiteral("15.3");
    QVERIFY(Run(IssuedFile({Invoice(h, {GoodsLine(g), DiscountLine()})})));
    QCOMPARE(rec->texts(), QStringList());
    const RecordsetPtr rs = db->acct->Query(QStringLiteral(
        "select FAmount,FStdAmount,FTaxAmount,FStdTaxAmount,FAmountincludetax,FStdAmountincludetax,"
        "FAllAmount,FDiscountRate,FAmtDiscount,FStdAmtDiscount,FPriceDiscount,FAuxPriceDiscount from "
        "ICSaleEntry where FInterID=1009 and FEntryID=1"));
    QStringList got;
    for (int i = 0; i < rs->FieldCount(); ++i)
        got << NumberText(rs->value(i).toDouble());
    QCOMPARE(got.join(u' '), expected);
}

void TestImport::headColumns() {
    HeadFields special;
    special.date = QStringLiteral("20260105");
    special.net = QStringLiteral("1000.5");
    special.tax = QStringLiteral("130.07");
    HeadFields ordinary;
    ordinary.kind = QStringLiteral("2");
    ordinary.customer = QStringLiteral("南京金陵职业培训学校");
    QVERIFY(Run(IssuedFile({Invoice(special, {GoodsLine({})}), Invoice(ordinary, {GoodsLine({})})})));
    QCOMPARE(rec->texts(), QStringList());
    const auto row = [&](int id) {
        return Val(*db->acct,
                   QStringLiteral(
                       "select FBillNo||'|'||FTranType||'|'||FClassTypeID||'|'||FDate||'|'||FSaleStyle||'|'||"
                       "fyearperiod||'|'||FYear||'|'||FPeriod||'|'||FFincDate||'|'||FPayDate||'|'||"
                       "FCustID||'|'||FBillerID||'|'||FInvoiceAmount||'|'||FInvoiceAmountFor||'|'||"
                       "FUnReceiveAmountFor||'|'||FCurrencyID||'|'||FExplanation from ICSale where "
                       "FInterID=") +
                       QString::number(id));
    };
    QCOMPARE(row(1009),
             QStringLiteral("ZP000006|80|1000002|2026-01-05|101||2026|4|2026-04-10|2026-04-10|101|16395|"
                            "1130.57|1130.57|1130.57|1|航天金税已开发票引入"));
    QCOMPARE(row(1010),
             QStringLiteral("PT000004|86|1000000|2026-03-15|101||2026|4|2026-04-10|2026-04-10|108|16395|"
                            "35.1|35.1|35.1|1|航天金税已开发票引入"));
    QCOMPARE(giInvoiceKind, 2);
    QCOMPARE(Val(*db->acct,
                 QStringLiteral("select group_concat(fprojectval) from t_billcoderule where fprojectid=3")),
             QStringLiteral("7,5"));
    QCOMPARE(Val(*db->acct, QStringLiteral("select FMaxNum from t_ICMaxNum")), QStringLiteral("1010"));
}

void TestImport::cancelledAndChecked_data() {
    QTest::addColumn<QString>("cancelled");
    QTest::addColumn<QString>("checker");
    QTest::addColumn<QString>("expected"); // FCancellation FCheckerID FCheckDate FStatus
    QTest::newRow("checked") << "0"
                             << "李复核"
                             << "0 16396 2026-04-10 1";
    QTest::newRow("not checked") << "0"
                                 << ""
                                 << "0 - - 0";
    QTest::newRow("cancelled ignores its checker") << "1"
                                                   << "李复核"
                                                   << "1 - - 0";
}

void TestImport::cancelledAndChecked() {
    QFETCH(QString, cancelled);
    QFETCH(QString, checker);
    QFETCH(QString, expected);
    HeadFields h;
    h.cancelled = cancelled;
    h.checker = checker;
    QVERIFY(Run(IssuedFile({Invoice(h, {GoodsLine({})})})));
    QCOMPARE(Val(*db->acct,
                 QStringLiteral("select FCancellation||' '||coalesce(FCheckerID,'-')||' '||"
                                "coalesce(FCheckDate,'-')||' '||FStatus from ICSale where FInterID=1009")),
             expected);
}

// ---- numbering and period -----------------------------------------------------------------------

void TestImport::billNumber_data() {
    QTest::addColumn<QStringList>("rules"); // fprojectid:fprojectval:flength, in table order
    QTest::addColumn<bool>("doUpdate");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("stored"); // fprojectval of the kind-3 row afterwards
    QTest::newRow("prefix and six digits") << QStringList{"1:XS:0", "3:17:6"} << true << ""
                                           << "XS000017"
                                           << "18";
    QTest::newRow("no prefix, four digits") << QStringList{"3:5:4"} << true << ""
                                            << "0005"
                                            << "6";
    QTest::newRow("longer number keeps its digits") << QStringList{"3:123456:4"} << true << ""
                                                    << "123456"
                                                    << "123457";
    QTest::newRow("length 0: no padding") << QStringList{"1:A:0", "3:42:0"} << true << ""
                                          << "A42"
                                          << "43";
    QTest::newRow("prefix row after the number replaces it") << QStringList{"3:17:6", "1:XS:0"} << true << ""
                                                             << "XS"
                                                             << "18";
    QTest::newRow("default text before the number") << QStringList{"3:9:3"} << true << "NO"
                                                    << "NO009"
                                                    << "10";
    QTest::newRow("other kinds are ignored") << QStringList{"1:XS:0", "2:2026:4", "3:1:2"} << true << ""
                                             << "XS01"
                                             << "2";
    QTest::newRow("without update") << QStringList{"1:XS:0", "3:17:6"} << false << ""
                                    << "XS000017"
                                    << "17";
    QTest::newRow("no rule rows") << QStringList() << true << "DEF"
                                  << ""
                                  << "<none>";
    QTest::newRow("neither prefix nor number") << QStringList{"2:x:0"} << true << ""
                                               << ""
                                               << "<none>";
}

void TestImport::billNumber() {
    QFETCH(QStringList, rules);
    QFETCH(bool, doUpdate);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    QFETCH(QString, stored);
    for (const QString& r : rules) {
        const QStringList p = r.split(u':');
        db->acct->Execute(
            QStringLiteral("insert into t_billcoderule (fbilltypeid,fprojectid,fprojectval,flength) "
                           "values (99,?,?,?)"),
            {p[0].toInt(), p[1], p[2].toInt()});
    }
    QCOMPARE(GetNewBillID(*db->acct, 99, doUpdate, defaultText), expected);
    QCOMPARE(Val(*db->acct, QStringLiteral("select fprojectval from t_billcoderule where fbilltypeid=99 and "
                                           "fprojectid=3")),
             stored);
    QCOMPARE(rec->texts(), QStringList());
}

void TestImport::rollbackRestoresNumbers() {
    HeadFields bad;
    bad.biller = QStringLiteral("无此人");
    HeadFields ordinary;
    ordinary.kind = QStringLiteral("2");
    QVERIFY(!Run(IssuedFile(
        {Invoice({}, {GoodsLine({})}), Invoice(ordinary, {GoodsLine({})}), Invoice(bad, {GoodsLine({})})})));
    QCOMPARE(rec->texts(), QStringList{QStringLiteral("开票人[无此人]不存在或存在相同的记录!")});
    QCOMPARE(Val(*db->acct,
                 QStringLiteral("select group_concat(fprojectval) from t_billcoderule where fprojectid=3")),
             QStringLiteral("6,4"));
    QCOMPARE(Val(*db->acct, QStringLiteral("select FMaxNum from t_ICMaxNum")), QStringLiteral("1008"));
    // The numbers given back are handed out again by the next import.
    rec->clear();
    QVERIFY(Run(IssuedFile({Invoice({}, {GoodsLine({})})})));
    QCOMPARE(Val(*db->acct, QStringLiteral("select FBillNo from ICSale where FInterID=1009")),
             QStringLiteral("ZP000006"));
}

void TestImport::periodFromToday() {
    SetTodayForTesting(QDate(2027, 2, 3));
    HeadFields h;
    h.date = QStringLiteral("20260115");
    QVERIFY(Run(IssuedFile({Invoice(h, {GoodsLine({})})})));
    QCOMPARE(Val(*db->acct,
                 QStringLiteral("select FDate||' '||FYear||' '||FPeriod||' '||FFincDate from ICSale where "
                                "FInterID=1009")),
             QStringLiteral("2026-01-15 2027 2 2027-02-03"));
}

void TestImport::noPeriodFailsWithoutMessage() {
    SetTodayForTesting(QDate(2050, 1, 1));
    QVERIFY(!Run(IssuedFile({Invoice({}, {GoodsLine({})})})));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(Count(*db->acct, QStringLiteral("ICSale")), 8);
    QCOMPARE(Val(*db->acct, QStringLiteral("select FMaxNum from t_ICMaxNum")), QStringLiteral("1008"));
}

// ---- files --------------------------------------------------------------------------------------

void TestImport::emptyAndMissingFiles() {
    QFile(file).open(QIODevice::WriteOnly);
    ImportEngine e(db->acct, db->config);
    QVERIFY(!e.ImportToQor(file));
    QCOMPARE(rec->texts(), QStringList{QStringLiteral("文本文件为空!")});
    QVERIFY(!db->acct->InTransaction());
    rec->clear();
    QVERIFY(!e.ImportToQor(db->folder() + QStringLiteral("/none.txt")));
    QCOMPARE(rec->texts(), QStringList{kErrPrefix + QStringLiteral("错误编号:53,错误原因:文件未找到")});
}

void TestImport::notGbkLine() {
    WriteGbkFile(file, IssuedFile({Invoice({}, {GoodsLine({})})}));
    QFile f(file);
    QVERIFY(f.open(QIODevice::Append));
    f.write(QByteArray("//\r\n\x81\x20~~\r\n", 8));
    f.close();
    ImportEngine e(db->acct, db->config);
    QVERIFY(!e.ImportToQor(file));
    QCOMPARE(rec->texts(),
             QStringList{kErrPrefix + QStringLiteral("错误编号:5,错误原因:第6行含有不是 GBK 编码的字符。")});
    QCOMPARE(Count(*db->acct, QStringLiteral("ICSale")), 8);
}

void TestImport::lookupsOncePerImport() {
    QList<QStringList> invoices;
    GoodsFields cup;
    cup.name = QStringLiteral("不锈钢保温杯");
    cup.model = QStringLiteral("500ml");
    cup.unit = QStringLiteral("个");
    for (int i = 0; i < 20; ++i)
        invoices << Invoice({}, {GoodsLine({}), GoodsLine(cup), GoodsLine({})});
    ImportEngine e(db->acct, db->config);
    QVERIFY(Run(IssuedFile(invoices), &e));
    // customer, biller, checker, two units, two products: each once however often it occurs
    QCOMPARE(e.Rules().LookupCount(), 7);
    QCOMPARE(Val(*db->acct,
                 QStringLiteral("select group_concat(FItemID) from (select FItemID from ICSaleEntry where "
                                "FInterID=1028 order by FEntryID)")),
             QStringLiteral("401,408,401"));
    // A second import asks again: the accounting set may have changed in between.
    QVERIFY(Run(IssuedFile({Invoice({}, {GoodsLine({})})}), &e));
    QCOMPARE(e.Rules().LookupCount(), 5);
}

void TestImport::itemMapLivesWithEngine() {
    HeadFields h;
    h.customer = QStringLiteral("华远信息");
    const QStringList lines = IssuedFile({Invoice(h, {GoodsLine({})})});
    ImportEngine e(db->acct, db->config);
    QVERIFY(!Run(lines, &e));
    QVERIFY(e.Rules().ItemMapLoaded());
    db->config->Execute(QStringLiteral("insert into t_ItemMap values (1,'t_Organization','customer',"
                                       "'北京华远信息技术有限公司','101','华远信息')"));
    rec->clear();
    // The same window keeps the mappings it loaded; a new one sees the new row.
    QVERIFY(!Run(lines, &e));
    QCOMPARE(rec->texts(), QStringList{QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!")});
    rec->clear();
    QVERIFY(Run(lines));
    QCOMPARE(rec->texts(), QStringList());
}

void TestImport::samplesImport_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "issued_plain.txt"
                           << "select count(*) || '/' || sum(FInvoiceAmount) from ICSale where FInterID>1008"
                           << "2/13062.8";
    QTest::newRow("discount")
        << "issued_discount.txt"
        << "select FDiscountRate || '/' || FAmount from ICSaleEntry where FInterID=1009 and "
           "FEntryID=1"
        << "10.0/1665.0";
    QTest::newRow("red invoice") << "issued_red.txt"
                                 << "select FQty || '/' || FAmount from ICSaleEntry where FInterID=1009"
                                 << "-1.0/-1850.0";
    QTest::newRow("mapped names")
        << "issued_mapped.txt"
        << "select FCustID || '/' || (select FItemID || '/' || FUnitID from ICSaleEntry where "
           "FInterID=1009) from ICSale where FInterID=1009"
        << "101/413/510";
}

void TestImport::samplesImport() {
    QFETCH(QString, name);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    // The rows samples/README.md asks the user to add before importing the mapped sample.
    db->config->Execute(
        QStringLiteral("insert into t_ItemMap (FLinkID,FTable,FFieldName,FQorData,FQorDataID,FTaxData) "
                       "values (0,'t_Organization','customer','北京华远信息技术有限公司','101',"
                       "'北京华远信息')"));
    db->config->Execute(
        QStringLiteral("insert into t_ItemMap (FLinkID,FTable,FFieldName,FQorData,FQorDataID,FTaxData) "
                       "values (0,'t_MeasureUnit','unit','件','510','件')"));
    ImportEngine e(db->acct, db->config);
    QVERIFY(e.ImportToQor(SamplesDir() + u'/' + name));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(Val(*db->acct, check), expected);
}

void TestImport::generatedFile() {
    QVERIFY(Run(GeneratedFile(200, 5)));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(Val(*db->acct, kNewHeads), QStringLiteral("200"));
    QCOMPARE(Val(*db->acct, kNewEntries), QStringLiteral("1000"));
    QCOMPARE(Val(*db->acct, QStringLiteral("select FBillNo from ICSale where FInterID=1208")),
             QStringLiteral("PT000043"));
}

// Line numbers past 32767 (skipped lines cost nothing, so the file can be long cheaply).
void TestImport::linesBeyond16Bits() {
    QStringList lines{ImportTagLine()};
    for (int i = 0; i < 40000; ++i)
        lines << QStringLiteral("汇总");
    lines << Invoice({}, {GoodsLine({}), GoodsLine({})});
    QVERIFY(Run(lines));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(Val(*db->acct, kNewEntryIDs), QStringLiteral("1009:1,1009:2"));
}

QTEST_GUILESS_MAIN(TestImport)
#include "test_import.moc"
