// The import engine on temporary accounting sets: reading, rules and names, numbering and the writer.
#include "InvoiceLines.h"
#include "common/modFunction.h"
#include "import/BillNumbering.h"
#include "import/ImportEngine.h"
#include "import/ImportReader.h"
#include "support/TestSupport.h"
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest/QtTest>
#include <atomic>
#include <thread>

using Sql = QStringList;

namespace {
const QString kErr = QStringLiteral("调用(ImportToQor)出错!\r\n错误编号:");
const QString kFmt = QStringLiteral("文本文件格式不正确!");
const QString kHeadMap = QStringLiteral("取发票头字段对应值出错!");
const QString kScrap = QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!");
const QString kDiscount = QStringLiteral("取折扣行发票体字段出错!");
// The demo set holds invoices up to FInterID 1008; the first imported one is 1009.
const QString kHeads = QStringLiteral("select count(*) from ICSale where FInterID>1008");
const QString kEntries = QStringLiteral("select count(*) from ICSaleEntry where FInterID>1008");
// "rows:" checks join the first column of every row with ",".
const QString kEntryIDs = QStringLiteral("rows:select FInterID || ':' || FEntryID from ICSaleEntry where "
                                         "FInterID>1008 order by FInterID, FEntryID");
const QString kCounts = "select (" + kHeads + ") || '/' || (" + kEntries + ")";
const QString kCust = QStringLiteral("select FCustID from ICSale where FInterID=1009");
const QString kItem = QStringLiteral("select FItemID || '/' || FUnitID from ICSaleEntry where FInterID=1009");
const QString kState = QStringLiteral(
    "select (select count(*) from ICSale) || '/' || (select count(*) from ICSaleEntry) || '/' || (select "
    "FMaxNum from t_ICMaxNum)");
const QString kRunning =
    QStringLiteral("rows:select fprojectval from t_billcoderule where fprojectid=3 order by fbilltypeid");

// The values of the first row as text, numbers in their shortest form, Null as "<null>"; for a query
// written "rows:…", the first value of every row joined by ",".
QString Val(Connection& c, const QString& sql) {
    if (sql.startsWith(u"rows:")) {
        const RecordsetPtr rs = c.Query(sql.mid(5));
        QStringList out;
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
            out << rs->value(0).toString();
        return out.join(u',');
    }
    const RecordsetPtr rs = c.Query(sql);
    if (rs->EOF_()) return QStringLiteral("<none>");
    QStringList out;
    for (int i = 0; i < rs->FieldCount(); ++i) {
        const QVariant v = rs->value(i);
        // A yes/no column reads 1/0 on every backend (boolean on a server, an integer in SQLite).
        out << (v.isNull()                        ? QStringLiteral("<null>")
                : v.typeId() == QMetaType::Double ? NumberText(v.toDouble())
                : v.typeId() == QMetaType::Bool   ? QString::number(int(v.toBool()))
                                                  : v.toString());
    }
    return out.join(u' ');
}

template <typename... T> void AddRow(const char* name, const T&... values) {
    (QTest::newRow(name) << ... << values);
}
QStringList File(const HeadFields& h = {}, const GoodsFields& g = {}) {
    return IssuedFile({Invoice(h, {GoodsLine(g)})});
}
QStringList Bodies(const QStringList& bodies, const HeadFields& h = {}) {
    return IssuedFile({Invoice(h, bodies)});
}

// A row of the file test: the import succeeds when no message is expected.
void Row(const char* name, const QStringList& lines, const QStringList& messages, const QString& check = {},
         const QString& expected = {}, const Sql& setup = {}) {
    AddRow(name, lines, messages, check, expected, setup);
}
} // namespace

class TestImport : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString file;

    bool Run(const QStringList& lines, ImportEngine* engine = nullptr) {
        WriteGbkFile(file, lines);
        ImportEngine own(db->session);
        return (engine ? engine : &own)->ImportToQor(file);
    }
    QString Acct(const QString& sql) { return Val(*db->acct, sql); }
    // The rows samples/README.md asks the user to add before importing the mapped sample.
    void AddSampleMappings() {
        db->config->Execute(
            QStringLiteral("insert into t_ItemMap (FLinkID,FTable,FFieldName,FQorData,FQorDataID,"
                           "FTaxData) values (0,'t_Organization','customer','北京华远信息技术有限公司',"
                           "'101','北京华远信息'), (0,'t_MeasureUnit','unit','件','510','件')"));
    }
    // Rows, running bill numbers of both kinds and the identifier counter: what a failed import must keep.
    QString State() {
        const QStringList counts = Acct(kState).split(u'/');
        return QStringList{counts.value(0), counts.value(1), Acct(kRunning), counts.value(2)}.join(u'/');
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        file = db->folder() + QStringLiteral("/in.txt");
        db->session.today = QDate(2026, 4, 10);
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    void files_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("check"); // a query on the accounting set afterwards
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("setup"); // run first; "cfg:" statements on the configuration set
        const QString tag = ImportTagLine();
        const QStringList one = Invoice({}, {GoodsLine({})});
        const QStringList two = Invoice({}, {GoodsLine({}), GoodsLine({})});

        // reading
        Row("empty file", {}, {"文本文件为空!"});
        Row("only the tag line", {tag}, {}, kHeads, "0");
        Row("tag line with blanks", QStringList{" SJJK0201~~已开发票传出  "} << one, {}, kEntries, "1");
        Row("tag line of the export file", QStringList{"SJJK0101~~销售单据传入"} << one, {kFmt});
        Row("blank line at the end", File() << QString(), {kFmt});
        Row("line of blanks between invoices", File() << "  " << one, {kFmt});
        Row("two comment lines in a row", QStringList{tag, "//第一张"} << one, {}, kEntries, "1");
        Row("other lines, and a head without comment with its body, are skipped",
            QStringList{tag, "开票信息汇总"} << one.mid(1) << one, {}, kCounts, "1/1");
        Row("body line count 0 or a text: head kept, lines after it skipped",
            IssuedFile(
                {Invoice({.count = "0"}, {GoodsLine({})}), Invoice({.count = "两行"}, {GoodsLine({})})}),
            {}, kCounts, "2/0");
        Row("file ends in the body lines", Bodies({GoodsLine({})}, {.count = "3"}),
            {kErr + "62,错误原因:输入超出文件尾"});
        Row("blank body line", Bodies({"   "}), {"发票体行为空!"});
        Row("body line with // in front", File({}, {.name = "//激光打印机"}),
            {"货物名称[//激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[台]不匹配!"});
        // The second line of the tax software's file: 张数~~起日~~止日.
        const QString cut = QStringLiteral("文件记载发票3张，实际有2张，文件不完整，不能引入!");
        Row("invoice count as declared", CountedFile({one, two}), {}, kCounts, "2/3");
        Row("fewer invoices than declared", CountedFile({one, two}, 3), {cut});
        Row("more invoices than declared", CountedFile({one, two, Invoice({}, {GoodsLine({})})}, 2),
            {"文件记载发票2张，实际有3张，文件不完整，不能引入!"});
        Row("no invoice declared, none there", QStringList{tag, "0~~~~"}, {}, kHeads, "0");
        Row("a head without comment line is no invoice", CountedFile({one, one.mid(1)}, 1), {}, kCounts,
            "1/1");
        Row("a second line of another form is skipped", QStringList{tag, "开票汇总"} << one, {}, kCounts,
            "1/1");
        Row("entry numbers run on over the file", IssuedFile({two, one}), {}, kEntryIDs,
            "1009:1,1009:2,1010:3");
        QStringList longFile{tag};
        for (int i = 0; i < 40000; ++i)
            longFile << QStringLiteral("汇总");
        Row("line numbers past 32767", longFile << one << Invoice({}, {GoodsLine({})}), {}, kEntryIDs,
            "1009:1,1010:2");
        Row("second invoice fails: the first is not kept",
            IssuedFile({one, Invoice({.customer = "无名"}, {})}), {"购方名称[无名]不存在或存在相同的记录!"});
        Row("third fails: numbers of both kinds given back",
            IssuedFile({one, Invoice({.kind = "2"}, {GoodsLine({})}), Invoice({.biller = "无此人"}, {})}),
            {"开票人[无此人]不存在或存在相同的记录!"});

        // field rules
        const QString kindRule =
            QStringLiteral("cfg:update t_ImportField set %1 where FFieldDesc='发票种类'");
        Row("head with a field too many", {tag, "//", HeadLine({}) + "~~多余"}, {"发票头字段数不正确!"});
        Row("goods line with a field too many", Bodies({GoodsLine({}) + "~~多余"}), {"发票体字段数不正确!"});
        // The tax software leaves out trailing empty fields with their separators.
        Row("goods line without its trailing fields", Bodies({"0~~激光打印机~~HP-M404dn~~台"}), {},
            "select FQty,FAmount from ICSaleEntry where FInterID=1009", "0 0");
        Row("head line without its trailing empty field", {tag, "//", HeadLine({}).chopped(5)}, {}, kCounts,
            "1/0");
        Row("kind outside its value list", File({.kind = "1"}), {"发票种类[1]不在预设范围内!"});
        Row("kind without check: refused by the import", File({.kind = "1"}), {kScrap, kHeadMap}, {}, {},
            {kindRule.arg("FisNeedValid=0")});
        Row("empty value is not checked", File({.kind = ""}), {kScrap, kHeadMap});
        Row("blank in a value list is part of the value", File({.kind = "2"}), {"发票种类[2]不在预设范围内!"},
            {}, {}, {kindRule.arg("FValidValue='0, 2'")});
        Row("empty value list refuses all", File(), {"发票种类[0]不在预设范围内!"}, {}, {},
            {kindRule.arg("FValidValue=''")});
        Row("price mode outside its list", File({}, {.mode = "3"}), {"单价价格方式[3]不在预设范围内!"});
        Row("rules taken by Forder, not as stored, gaps allowed", File(), {}, kEntries, "1",
            {"cfg:create table t_Copy as select * from t_ImportField", "cfg:delete from t_ImportField",
             "cfg:insert into t_ImportField select FFieldDesc,FisHead,Forder*10,FisNeedValid,FValidType,"
             "FValidValue from t_Copy order by Forder desc"});
        Row("no bill number rule", File(), {"生成发票号失败!", kHeadMap}, {}, {},
            {"delete from t_billcoderule where fbilltypeid=80"});
        Row("date that is no date", File({.date = "2026315"}),
            {kErr + "13,错误原因:开票日期[2026315]不是有效的日期。"});
        Row("tax rate -1", File({}, {.rate = "-1", .mode = "1"}), {"取发票体字段对应值出错!"});
        // A number that is no number would be read by its leading digits: the invoice silently wrong.
        Row("quantity with a letter", File({}, {.qty = "1x"}), {"第4行数量[1x]不是有效的数字!"});
        Row("quantity with a decimal comma", File({}, {.qty = "2,0"}), {"第4行数量[2,0]不是有效的数字!"});
        Row("price, amount, rate and tax are numbers too", File({}, {.price = "10元"}),
            {"第4行单价[10元]不是有效的数字!"});
        Row("rate that is a percentage", File({}, {.rate = "17%"}), {"第4行税率[17%]不是有效的数字!"});
        Row("head tax that is no number", File({.tax = "5.1 元"}),
            {"第3行税额[5.1 元]不是有效的数字!", kHeadMap});
        Row("numbers with blanks around and a sign", File({.net = " 30 "}, {.qty = " +3 ", .amount = "30.0"}),
            {}, "select FQty,FAmount from ICSaleEntry where FInterID=1009", "3 30");
        Row("an empty number is 0", File({}, {.qty = "", .amount = ""}), {},
            "select FQty,FAmount from ICSaleEntry where FInterID=1009", "0 0");
        Row("head defaults, later rows override", File(), {},
            "select FExplanation from ICSale where FInterID=1009", "第二行",
            {"cfg:insert into t_qorDefault values (1,'FExplanation','第二行')",
             "cfg:insert into t_qorDefault values (0,'FExplanation','表体行')"});

        // names
        const QString map = QStringLiteral("cfg:insert into t_ItemMap values (%1,'%2','%3','%4','%5','%6')");
        const QString huayuan = QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!");
        const QStringList short_ = File({.customer = "华远信息"});
        Row("customer unknown", File({.customer = "无名公司"}),
            {"购方名称[无名公司]不存在或存在相同的记录!"});
        Row("customer twice in the set", File(),
            {"购方名称[北京华远信息技术有限公司]不存在或存在相同的记录!"}, {}, {},
            {"insert into t_Organization (FItemID, FName) values (190, '北京华远信息技术有限公司')"});
        Row("customer with an apostrophe", File({.customer = "O'Brien贸易有限公司"}), {}, kCust, "104");
        Row("customer through a mapping", short_, {}, kCust, "101",
            {map.arg(1).arg("t_Organization", "customer", "北京华远信息技术有限公司", "101", "华远信息")});
        Row("mapping of another kind does not apply", short_, {huayuan}, {}, {},
            {map.arg(1).arg("t_icitem", "prod", "北京华远信息技术有限公司", "101", "华远信息")});
        Row("a mapping twice counts as none", short_, {huayuan}, {}, {},
            {map.arg(1).arg("t_Organization", "customer", "北京华远信息技术有限公司", "101", "华远信息"),
             map.arg(2).arg("t_Organization", "customer", "上海浦江电子科技有限公司", "102", "华远信息")});
        Row("mapped name missing: the message shows the file's", short_, {huayuan}, {}, {},
            {map.arg(1).arg("t_Organization", "customer", "已删除的公司", "199", "华远信息")});
        Row("biller unknown", File({.biller = "新员工"}), {"开票人[新员工]不存在或存在相同的记录!"});
        Row("empty biller is looked up", File({.biller = ""}), {"开票人[]不存在或存在相同的记录!"});
        Row("biller through a user mapping", File({.biller = "小张"}), {},
            "select FBillerID from ICSale where FInterID=1009", "16395",
            {map.arg(1).arg("t_User", "user", "张会计", "16395", "小张")});
        const QString checked = QStringLiteral(
            "select FCancellation,FCheckerID,FCheckDate,FStatus from ICSale where FInterID=1009");
        Row("checked invoice", File(), {}, checked, "0 16396 2026-04-10 1");
        Row("empty checker is not looked up", File({.checker = ""}), {}, checked, "0 <null> <null> 0");
        Row("cancelled: no checker", File({.cancelled = "1"}), {}, checked, "1 <null> <null> 0");
        Row("checker unknown", File({.checker = "无此人"}), {"复核人[无此人]不存在或存在相同的记录!"});
        Row("unit unknown", File({}, {.unit = "只"}), {"计量单位[只]不存在!"});
        const QStringList box = File({}, {.name = "办公用品礼盒", .model = "LH-2026", .unit = "件"});
        Row("unit name in two groups, no mapping", box, {"计量单位[件]不存在!"});
        Row("unit name in two groups, mapped to its identifier", box, {}, kItem, "413/510",
            {map.arg(1).arg("t_MeasureUnit", "unit", "件", "510", "件")});
        Row("product only within the unit's group", File({}, {.unit = "千克"}),
            {"货物名称[激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[千克]不匹配!"});
        Row("model narrows the product", File({}, {.name = "不锈钢保温杯", .model = "350ml", .unit = "个"}),
            {}, kItem, "409/501");
        Row("no model: two products", File({}, {.name = "不锈钢保温杯", .model = "", .unit = "个"}),
            {"货物名称[不锈钢保温杯]不存在或者和其规格型号[],计量单位[个]不匹配!"});
        Row("product, model and unit mapped", File({}, {.name = "保温杯", .model = "小号", .unit = "只"}), {},
            kItem, "409/501",
            {map.arg(1).arg("t_icitem", "prod", "不锈钢保温杯", "409", "保温杯"),
             map.arg(1).arg("t_icitem", "model", "350ml", "409", "小号"),
             map.arg(1).arg("t_MeasureUnit", "unit", "个", "501", "只")});

        // discount lines
        const QString rate = QStringLiteral("select FDiscountRate from ICSaleEntry where FInterID=1009");
        const auto after = [](const QString& discount) { return Bodies({GoodsLine({}), discount}); };
        Row("discount first in the file", Bodies({DiscountLine(), GoodsLine({})}), {kDiscount});
        Row("discount first in a later invoice", IssuedFile({one, Invoice({}, {DiscountLine()})}),
            {kDiscount});
        Row("discount after a discount", Bodies({GoodsLine({}), DiscountLine(), DiscountLine()}),
            {kDiscount});
        Row("discount without a rate", after(DiscountLine("折扣")), {kDiscount});
        Row("discount without its trailing fields", after("1~~折扣(10%)"), {}, rate, "10");
        Row("discount with a field too many", after(DiscountLine() + "~~多余"), {kDiscount});
        Row("previous quantity empty counts as 0", Bodies({GoodsLine({.qty = ""}), DiscountLine()}), {},
            "select FAmount from ICSaleEntry where FInterID=1009", "27");
        Row("rate without % loses its last digit", after(DiscountLine("折扣(10)")), {}, rate, "1");
        Row("rate with decimals", after(DiscountLine("折扣行数1(12.5%)")), {}, rate, "12.5");
        Row("closing bracket first", after(DiscountLine("折扣)10%(")), {kDiscount});
        Row("rate no number", after(DiscountLine("折扣(abc%)")), {kDiscount});
        Row("discount uses up an entry number", Bodies({GoodsLine({}), DiscountLine(), GoodsLine({})}), {},
            kEntryIDs, "1009:1,1009:3");
    }

    void files() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, messages);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        QFETCH(QStringList, setup);
        for (const QString& s : setup) {
            if (s.startsWith(u"cfg:"))
                db->config->Execute(s.mid(4));
            else
                db->acct->Execute(s);
        }
        const QString before = State();
        QCOMPARE(Run(lines), messages.isEmpty());
        QCOMPARE(rec->texts(), messages);
        QVERIFY(!db->acct->InTransaction());
        // Nothing of a failed file stays behind, numbers included.
        if (!messages.isEmpty()) QCOMPARE(State(), before);
        if (!check.isEmpty()) QCOMPARE(Acct(check), expected);
    }

    // Both invoice kinds in both price modes, and both discount modes, on a line of 税率 0.17.
    void amounts_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("price");
        QTest::addColumn<bool>("discount"); // 数量 10, 金额 100, 税额 17 and a 10 % discount line
        // FPrice FTaxPrice FAmount FTaxRate FAmountincludetax FAllAmount FTaxAmount FDiscountRate
        // FAmtDiscount FPriceDiscount
        QTest::addColumn<QString>("expected");
        AddRow("special, price without tax", "0", "0", "10", false, "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
        AddRow("special, price with tax", "0", "1", "11.7", false, "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
        AddRow("ordinary, price without tax", "2", "0", "10", false, "11.7 11.7 35.1 17 30 0 5.1 0 0 11.7");
        AddRow("ordinary, price with tax", "2", "1", "11.7", false, "11.7 11.7 35.1 17 30 0 5.1 0 0 11.7");
        AddRow("other mode counts as tax-inclusive", "0", "9", "11.7", false,
               "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
        AddRow("discount, price without tax", "0", "0", "10", true,
               "10 11.7 90 17 105.3 105.3 15.3 10 11.7 10.53");
        AddRow("discount, price with tax keeps FAllAmount", "0", "1", "11.7", true,
               "10 11.7 105.3 17 90 117 15.3 10 11.7 10.53");
    }

    void amounts() {
        QFETCH(QString, kind);
        QFETCH(QString, mode);
        QFETCH(QString, price);
        QFETCH(bool, discount);
        QFETCH(QString, expected);
        // The price mode's value list would refuse "9"; the arithmetic is what is tested here.
        db->config->Execute(QStringLiteral("update t_ImportField set FisNeedValid=0"));
        const QStringList goods{
            discount ? GoodsLine({.qty = "10", .amount = "100", .tax = "17", .price = price, .mode = mode})
                     : GoodsLine({.price = price, .mode = mode})};
        QVERIFY(Run(Bodies(discount ? goods + QStringList{DiscountLine()} : goods, {.kind = kind})));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(Acct("select FPrice,FTaxPrice,FAmount,FTaxRate,FAmountincludetax,FAllAmount,FTaxAmount,"
                      "FDiscountRate,FAmtDiscount,FPriceDiscount from ICSaleEntry where FInterID=1009"),
                 expected);
        // The copies, the line's own quantity and tax, and empty texts (not Null) where nothing is written.
        QCOMPARE(Acct("select count(*) from ICSaleEntry e join ICSale s on s.FInterID=e.FInterID where "
                      "e.FInterID=1009 and FAuxPrice=FPrice and FAuxTaxPrice=FTaxPrice and FAuxPriceDiscount="
                      "FPriceDiscount and FStdAmount=FAmount and FStdAmountincludetax=FAmountincludetax and "
                      "FStdTaxAmount=FTaxAmount and coalesce(FStdAmtDiscount,-1)=coalesce(FAmtDiscount,-1) "
                      "and FAuxQty=FQty "
                      "and FQty in "
                      "(3, 10) and FEntryID=1 and FNote='' and FBatchNo='' and fyearperiod=''"),
                 "1");
    }

    void headColumns() {
        const HeadFields special{.date = "20260105", .net = "1000.5", .tax = "130.07"};
        const HeadFields ordinary{.kind = "2", .customer = "南京金陵职业培训学校"};
        QVERIFY(Run(IssuedFile({Invoice(special, {GoodsLine({})}), Invoice(ordinary, {GoodsLine({})})})));
        QCOMPARE(rec->texts(), QStringList());
        const QString cols = QStringLiteral(
            "select FBillNo,FTranType,FClassTypeID,FDate,FSaleStyle,fyearperiod,FYear,FPeriod,FFincDate,"
            "FPayDate,FCustID,FBillerID,FInvoiceAmount,FInvoiceAmountFor,FUnReceiveAmountFor,FCurrencyID,"
            "FExplanation from ICSale where FInterID=");
        QCOMPARE(Acct(cols + "1009"),
                 "ZP000006 80 1000002 2026-01-05 101  2026 4 2026-04-10 2026-04-10 101 16395 "
                 "1130.57 1130.57 1130.57 1 航天金税已开发票引入");
        QCOMPARE(Acct(cols + "1010"),
                 "PT000004 86 1000000 2026-03-15 101  2026 4 2026-04-10 2026-04-10 108 16395 "
                 "35.1 35.1 35.1 1 航天金税已开发票引入");
        QCOMPARE(db->session.giInvoiceKind, 2);
        QCOMPARE(State(), "10/19/7,5/1010");
    }

    void billNumber_data() {
        QTest::addColumn<QStringList>("rules"); // fprojectid:fprojectval:flength, in table order
        QTest::addColumn<bool>("doUpdate");
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("stored"); // fprojectval of the kind-3 row afterwards
        AddRow("prefix and six digits", QStringList{"1:XS:0", "3:17:6"}, true, "", "XS000017", "18");
        AddRow("no prefix, four digits", QStringList{"3:5:4"}, true, "", "0005", "6");
        AddRow("longer number keeps its digits", QStringList{"3:123456:4"}, true, "", "123456", "123457");
        AddRow("length 0: no padding", QStringList{"1:A:0", "3:42:0"}, true, "", "A42", "43");
        AddRow("prefix row after the number replaces it", QStringList{"3:17:6", "1:XS:0"}, true, "", "XS",
               "18");
        AddRow("default text before the number", QStringList{"3:9:3"}, true, "NO", "NO009", "10");
        AddRow("other kinds are ignored", QStringList{"1:XS:0", "2:2026:4", "3:1:2"}, true, "", "XS01", "2");
        AddRow("empty running number counts as 0", QStringList{"3:<null>:4"}, true, "", "0000", "<null>");
        AddRow("without update", QStringList{"1:XS:0", "3:17:6"}, false, "", "XS000017", "17");
        AddRow("no rule rows", QStringList(), true, "DEF", "", "<none>");
        AddRow("neither prefix nor number", QStringList{"2:x:0"}, true, "", "", "<none>");
    }

    void billNumber() {
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
                {p[0].toInt(), p[1] == u"<null>" ? QVariant() : QVariant(p[1]), p[2].toInt()});
        }
        QCOMPARE(GetNewBillID(*db->acct, 99, doUpdate, defaultText), expected);
        QCOMPARE(Acct("select fprojectval from t_billcoderule where fbilltypeid=99 and fprojectid=3"),
                 stored);
        QCOMPARE(rec->texts(), QStringList());
    }

    // An SQLite file through its ODBC driver has neither the function nor the stored procedure: the
    // counter table numbers the invoices, and a write that changes nothing takes the import's lock.
    void importThroughOdbcToSqlite() {
        if (CurrentTestBackend() != TestBackend::SQLite)
            QSKIP("an SQLite file is the accounting set of this case");
        db->acct->Close();
        ConnectionPtr odbc =
            Connection::open(QStringLiteral("Provider=ODBC;Driver={SQLite3};Database=") + db->acctPath);
        QCOMPARE(odbc->dialect().server, DbServer::SQLite);
        Session viaOdbc = db->session;
        viaOdbc.gcnAcct = odbc;
        ImportEngine e(viaOdbc);
        WriteGbkFile(file, IssuedFile({Invoice({}, {GoodsLine({}), GoodsLine({})}),
                                       Invoice({.kind = "2"}, {GoodsLine({})})}));
        QVERIFY(e.ImportToQor(file));
        QCOMPARE(rec->texts(), QStringList());
        odbc->Close();
        db->acct = Connection::open(db->acctConnString());
        QCOMPARE(Acct(kEntryIDs), "1009:1,1009:2,1010:3");
        QCOMPARE(State(), "10/20/7,5/1010");
    }

    // Another program holds the identifier counter and then wants the rule rows this import holds: the
    // server breaks the deadlock by undoing the import, which rolls back whole and says why.
    void deadlockIsRolledBackAndReported() {
        if (CurrentTestBackend() == TestBackend::SQLite) QSKIP("an SQLite file has one writer at a time");
        const QString before = State();
        std::atomic<int> step{0};
        QString otherError;
        std::thread other([&] {
            try {
                ConnectionPtr c = Connection::open(db->acctConnString());
                // The import's own check must find the cycle first.
                c->Execute(QStringLiteral("set deadlock_timeout = '20s'"));
                TransactionGuard tx(*c);
                c->Execute(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum"));
                step = 1;
                while (step < 2)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                c->Query(
                    QStringLiteral("select fbilltypeid from t_billcoderule where fbilltypeid=80 for update"));
                tx.rollback();
            } catch (const DbError& e) {
                otherError = e.detailText();
            }
        });
        while (step < 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        step = 2;
        const bool ok = Run(File());
        other.join();
        QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
        QVERIFY(!ok);
        QCOMPARE(rec->texts().size(), 1);
        QVERIFY2(rec->texts().first().contains(QStringLiteral("发生冲突(死锁)")),
                 qPrintable(rec->texts().first()));
        QCOMPARE(State(), before);
    }

    // An invoice of the tax system comes in once: a second import of it refuses the whole file (or, when
    // asked, leaves it out); the ledger records what came in, in the import's transaction.
    void importedOnce_data() {
        QTest::addColumn<QString>("setup");      // configuration SQL before both imports
        QTest::addColumn<bool>("skip");          // the second import leaves out what came before
        QTest::addColumn<bool>("secondImports"); // the second import commits
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("counts"); // of the second import
        const QString refused =
            QStringLiteral("发票[3300061130-70000001]已经引入过(销售发票ZP000006)，不能重复引入!");
        QTest::newRow("imported before: refused whole")
            << "" << false << false << QStringList{refused} << "引入发票0张，商品行0行。";
        QTest::newRow("imported before: left out when asked")
            << "" << true << true << QStringList{} << "引入发票1张，商品行1行，跳过已引入的发票1张。";
        QTest::newRow("no 类别代码 among the fields: nothing to tell")
            << "update t_ImportField set FFieldDesc='代码' where FFieldDesc='类别代码'" << false << true
            << QStringList{}
            << "引入发票2张，商品行2行。引入字段设置中没有类别代码和发票号码，未能检查发票是否已经引入过。";
    }
    void importedOnce() {
        QFETCH(QString, setup);
        QFETCH(bool, skip);
        QFETCH(bool, secondImports);
        QFETCH(QStringList, messages);
        QFETCH(QString, counts);
        if (!setup.isEmpty()) db->config->Execute(setup);
        const QStringList first = Invoice({.number = "70000001", .docNo = "XS0007"}, {GoodsLine({})});
        const QStringList second = Invoice({.number = "70000002"}, {GoodsLine({})});
        ImportEngine e(db->session);
        WriteGbkFile(file, IssuedFile({first}));
        QVERIFY(e.ImportToQor(file));
        const QString before = State();
        WriteGbkFile(file, IssuedFile({first, second}));
        QCOMPARE(e.ImportToQor(file, skip), secondImports);
        QCOMPARE(rec->texts(), messages);
        QCOMPARE(e.CountsText(), counts);
        if (!secondImports) QCOMPARE(State(), before);
        const bool guarded = setup.isEmpty();
        // Each invoice with the 销售单据编号 the tax system gave it (empty for one typed in by hand).
        QCOMPARE(Acct("rows:select FTaxCode || '-' || FTaxNumber || '=' || FBillNo || '/' || FDocNo from "
                      "TF_Ledger where FDirection=1 order by FInterID"),
                 guarded
                     ? (secondImports ? "3300061130-70000001=ZP000006/XS0007,3300061130-70000002=ZP000007/"
                                      : "3300061130-70000001=ZP000006/XS0007")
                     : "");
    }

    // The lines of an invoice left out are still read as its lines: a head whose count is wrong would
    // otherwise swallow the next invoice without a word.
    void skippedLinesAreBodyLines_data() {
        QTest::addColumn<QString>("count"); // of the invoice imported before, in the second file
        QTest::addColumn<bool>("comment");  // the next invoice announced by its comment line
        QTest::addColumn<QString>("message");
        const QString wrong =
            QStringLiteral("第5行不是发票[3300061130-70000001]的商品行，文本文件格式不正确!");
        QTest::newRow("as many as there are") << "1" << true << QString();
        QTest::newRow("one too many: the next comment line") << "2" << true << wrong;
        QTest::newRow("one too many: the next head line") << "2" << false << wrong;
    }
    void skippedLinesAreBodyLines() {
        QFETCH(QString, count);
        QFETCH(bool, comment);
        QFETCH(QString, message);
        ImportEngine e(db->session);
        QVERIFY(Run(IssuedFile({Invoice({.number = "70000001"}, {GoodsLine({})})}), &e));
        const QString before = State();
        const QStringList next = Invoice({.number = "70000002"}, {GoodsLine({})});
        WriteGbkFile(file, IssuedFile({Invoice({.count = count, .number = "70000001"}, {GoodsLine({})}),
                                       comment ? next : next.mid(1)}));
        rec->clear();
        QCOMPARE(e.ImportToQor(file, true), message.isEmpty());
        QCOMPARE(rec->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty()) QCOMPARE(State(), before);
    }

    // The running numbers are written back to the rule rows the import read: a row that changed meanwhile
    // fails the import rather than hand its numbers out twice.
    void billNumberRowChangedMeanwhile() {
        BillNumberRule rule;
        rule.Load(*db->acct, 80);
        QCOMPARE(rule.Next(QString()), QStringLiteral("ZP000006"));
        db->acct->Execute(QStringLiteral("update t_billcoderule set fprojectval='9' where fbilltypeid=80 and "
                                         "fprojectid=3"));
        QVERIFY_THROWS_EXCEPTION(DbError, rule.WriteBack(*db->acct));
        QCOMPARE(Acct("select fprojectval from t_billcoderule where fbilltypeid=80 and fprojectid=3"), "9");
    }

    // The import reports how far it is through the file; asked to stop, it leaves nothing of the file
    // behind, also after some invoices were written to the database already.
    void progressAndCancel_data() {
        QTest::addColumn<int>("stopAt"); // the report that answers "stop"; 0 never
        QTest::newRow("to the end") << 0;
        QTest::newRow("stopped at the first invoice") << 1;
        QTest::newRow("stopped after rows went to the database") << 1800;
    }
    void progressAndCancel() {
        QFETCH(int, stopAt);
        struct Recorder : ProgressSink {
            int stopAt = 0;
            QList<qint64> done;
            qint64 total = -1;
            int invoices = 0;
            bool Report(qint64 d, qint64 t, int n) override {
                done << d;
                total = t;
                invoices = n;
                return stopAt == 0 || done.size() < stopAt;
            }
        } progress;
        progress.stopAt = stopAt;
        WriteGbkFile(file, GeneratedFile(2000, 2));
        const QString before = State();
        ImportEngine e(db->session);
        e.SetProgress(&progress);
        QCOMPARE(e.ImportToQor(file), stopAt == 0);
        QCOMPARE(e.Cancelled(), stopAt != 0);
        QVERIFY(std::is_sorted(progress.done.begin(), progress.done.end()));
        QCOMPARE(progress.total, QFileInfo(file).size());
        if (stopAt == 0) {
            QCOMPARE(progress.done.last(), progress.total);
            QCOMPARE(progress.invoices, 2000);
            QVERIFY(rec->texts().isEmpty());
            return;
        }
        QCOMPARE(progress.done.size(), stopAt);
        QCOMPARE(rec->texts(), QStringList{"引入已取消，账套没有任何改变。"});
        QCOMPARE(State(), before);
        QCOMPARE(Acct("select count(*) from TF_Ledger"), "0");
    }

    void sameInvoiceTwiceInAFile() {
        const QStringList one = Invoice({.number = "70000009"}, {GoodsLine({})});
        const QString before = State();
        QVERIFY(!Run(IssuedFile({one, Invoice({}, {GoodsLine({})}), one})));
        QCOMPARE(rec->texts(), QStringList{"发票[3300061130-70000009]在文件中出现了两次，不能重复引入!"});
        QCOMPARE(State(), before);
        QCOMPARE(Acct("select count(*) from TF_Ledger"), "0");
    }

    void periodFromToday() {
        db->session.today = QDate(2027, 2, 3);
        QVERIFY(Run(File({.date = "20260115"})));
        QCOMPARE(Acct("select FDate,FYear,FPeriod,FFincDate from ICSale where FInterID=1009"),
                 "2026-01-15 2027 2 2027-02-03");
    }

    void noPeriodFailsWithoutMessage() {
        db->session.today = QDate(2050, 1, 1);
        const QString before = State();
        QVERIFY(!Run(File()));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(State(), before);
    }

    void notGbkLine() {
        WriteGbkFile(file, File());
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray("//\r\n\x81\x20~~\r\n", 8));
        f.close();
        ImportEngine e(db->session);
        QVERIFY(!e.ImportToQor(file));
        QCOMPARE(rec->texts(), QStringList{kErr + "5,错误原因:第6行含有不是 GBK 编码的字符。"});
        QCOMPARE(Acct(kHeads), "0");
    }

    void lookupsOncePerImport() {
        QList<QStringList> invoices;
        const GoodsFields cup{.name = "不锈钢保温杯", .model = "500ml", .unit = "个"};
        for (int i = 0; i < 20; ++i)
            invoices << Invoice({}, {GoodsLine({}), GoodsLine(cup), GoodsLine({})});
        ImportEngine e(db->session);
        QVERIFY(Run(IssuedFile(invoices), &e));
        // customer, biller, checker, two units, two products: each once however often it occurs
        QCOMPARE(e.Rules().LookupCount(), 7);
        QCOMPARE(Acct("rows:select FItemID from ICSaleEntry where FInterID=1028 order by FEntryID"),
                 "401,408,401");
        // A second import asks again: the accounting set may have changed in between.
        QVERIFY(Run(File(), &e));
        QCOMPARE(e.Rules().LookupCount(), 5);
    }

    void itemMapLivesWithEngine() {
        const QStringList lines = File({.customer = "华远信息"});
        ImportEngine e(db->session);
        QVERIFY(!Run(lines, &e));
        db->config->Execute(QStringLiteral("insert into t_ItemMap values (1,'t_Organization','customer',"
                                           "'北京华远信息技术有限公司','101','华远信息')"));
        rec->clear();
        // The same window keeps the mappings it loaded; a new one sees the new row.
        QVERIFY(!Run(lines, &e));
        QCOMPARE(rec->texts(), QStringList{"购方名称[华远信息]不存在或存在相同的记录!"});
        rec->clear();
        QVERIFY(Run(lines));
        QCOMPARE(rec->texts(), QStringList());
    }

    void samplesImport_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        AddRow("plain", "issued_plain.txt",
               "select count(*), sum(FInvoiceAmount) from ICSale where FInterID>1008", "2 13062.8");
        AddRow("discount", "issued_discount.txt",
               "select FDiscountRate, FAmount from ICSaleEntry where FInterID=1009 and FEntryID=1",
               "10 1665");
        AddRow("red invoice", "issued_red.txt", "select FQty, FAmount from ICSaleEntry where FInterID=1009",
               "-1 -1850");
        AddRow("mapped names", "issued_mapped.txt",
               "select FCustID, FItemID, FUnitID from ICSale join ICSaleEntry using (FInterID) where "
               "FInterID=1009",
               "101 413 510");
    }

    void samplesImport() {
        QFETCH(QString, name);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        AddSampleMappings();
        ImportEngine e(db->session);
        QVERIFY(e.ImportToQor(SamplesDir() + u'/' + name));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(Acct(check), expected);
    }

    // The rows the import writes are the rows it wrote before it worked on typed rows many to a statement:
    // data/*.rows hold them as the earlier program wrote them (the day-of-import columns left out), read by
    // the sqlite3 shell as SQL values, types and all.
    void rowsAsBefore_data() {
        QTest::addColumn<QString>("file");
        for (const char* f : {"issued_plain", "issued_discount", "issued_red", "issued_mapped"})
            QTest::newRow(f) << SamplesDir() + u'/' + QString::fromLatin1(f) + QStringLiteral(".txt");
        QTest::newRow("generated_50x5") << QStringLiteral(TAXFERRY_IMPORT_DATA "/generated_50x5.txt");
    }
    void rowsAsBefore() {
        if (CurrentTestBackend() != TestBackend::SQLite)
            QSKIP("the earlier rows were written to an SQLite file");
        QFETCH(QString, file);
        AddSampleMappings();
        ImportEngine e(db->session);
        QVERIFY(e.ImportToQor(file));
        db->acct->Close();
        QProcess shell;
        shell.start(
            QStringLiteral("sqlite3"),
            {QStringLiteral("-cmd"), QStringLiteral(".mode quote"), db->acctPath,
             QStringLiteral(
                 "select FInterID,FBillNo,FTranType,FClassTypeID,FDate,FSaleStyle,fyearperiod,FCancellation,"
                 "FCheckerID,FStatus,FCustID,FDeptID,FEmpID,FBillerID,FROB,FCurrencyID,FExchangeRate,"
                 "FExplanation,FInvoiceAmount,FInvoiceAmountFor,FUnReceiveAmountFor from ICSale where "
                 "FInterID>1008 order by FInterID; select * from ICSaleEntry where FInterID>1008 order by "
                 "FInterID,FEntryID; select fbilltypeid,fprojectid,fprojectval from t_billcoderule order by "
                 "fbilltypeid,fprojectid; select * from t_ICMaxNum;")});
        QVERIFY(shell.waitForFinished(60000));
        QFile before(QStringLiteral(TAXFERRY_IMPORT_DATA "/") + QFileInfo(file).completeBaseName() +
                     QStringLiteral(".rows"));
        QVERIFY(before.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n'),
                 QString::fromUtf8(before.readAll()).split(u'\n'));
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "test_import.moc"
