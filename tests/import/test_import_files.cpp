// The import engine on temporary accounting sets: the issued-invoice files read and written to the set.
#include "test_import.h"

namespace {
const QString kFmt = QStringLiteral("文本文件格式不正确!");

const QString kHeadMap = QStringLiteral("取发票头字段对应值出错!");

const QString kScrap = QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!");

const QString kDiscount = QStringLiteral("取折扣行发票体字段出错!");

const QString kEntries = QStringLiteral("select count(*) from ICSaleEntry where FInterID>1008");

const QString kCounts = "select (" + kHeads + ") || '/' || (" + kEntries + ")";

const QString kCust = QStringLiteral("select FCustID from ICSale where FInterID=1009");

const QString kItem = QStringLiteral("select FItemID || '/' || FUnitID from ICSaleEntry where FInterID=1009");

const QString kState = QStringLiteral(
    "select (select count(*) from ICSale) || '/' || (select count(*) from ICSaleEntry) || '/' || (select "
    "FMaxNum from t_ICMaxNum)");

const QString kRunning =
    QStringLiteral("rows:select fprojectval from t_billcoderule where fprojectid=3 order by fbilltypeid");

// A row of the file test: the import succeeds when no message is expected.
void row(const char* name, const QStringList& lines, const QStringList& messages, const QString& check = {},
         const QString& expected = {}, const Sql& setup = {}) {
    addRow(name, lines, messages, check, expected, setup);
}
} // namespace

bool TestImport::importLines(const QStringList& lines, ImportEngine* engine) {
    writeGbkFile(file, lines);
    ImportEngine own(db->session);
    return (engine ? engine : &own)->importToQor(file);
}

// The rows samples/README.md asks the user to add before importing the mapped sample.
void TestImport::addSampleMappings() {
    db->config->exec(
        QStringLiteral("insert into t_ItemMap (FLinkID,FTable,FFieldName,FQorData,FQorDataID,"
                       "FTaxData) values (0,'t_Organization','customer','北京华远信息技术有限公司',"
                       "'101','北京华远信息'), (0,'t_MeasureUnit','unit','件','510','件')"));
}

// Rows, running bill numbers of both kinds and the identifier counter: what a failed import must keep.
QString TestImport::acctState() {
    const QStringList counts = acctValue(kState).split(u'/');
    return QStringList{counts.value(0), counts.value(1), acctValue(kRunning), counts.value(2)}.join(u'/');
}

void TestImport::init() {
    db = std::make_unique<TestDatabases>();
    rec = std::make_unique<RecorderSink>();
    file = db->folder() + QStringLiteral("/in.txt");
    db->session.today = QDate(2026, 4, 10);
}

void TestImport::cleanup() {
    rec.reset();
    db.reset();
}

void TestImport::files_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("check"); // a query on the accounting set afterwards
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("setup"); // run first; "cfg:" statements on the configuration set
    const QString tag = importTagLine();
    const QStringList one = invoice({}, {goodsLine({})});
    const QStringList two = invoice({}, {goodsLine({}), goodsLine({})});

    // reading
    row("empty file", {}, {"文本文件为空!"});
    row("only the tag line", {tag}, {}, kHeads, "0");
    row("tag line with blanks", QStringList{" SJJK0201~~已开发票传出  "} << one, {}, kEntries, "1");
    // Our own export file, picked by mistake, is named for what it is.
    row("tag line of the export file", QStringList{"SJJK0101~~销售单据传入"} << one,
        {"所选文件是引出给税控系统的销售单据文件(SJJK0101)，不是税控系统引出的已开发票文件，不能引入!"});
    row("tag line of the export file, another separator", QStringList{"SJJK0101||销售单据传入"} << one,
        {"所选文件是引出给税控系统的销售单据文件(SJJK0101)，不是税控系统引出的已开发票文件，不能引入!"});
    row("another first line", QStringList{"SJJK0102~~已开发票传出"} << one, {kFmt});
    row("blank line at the end", oneInvoiceFile() << QString(), {kFmt});
    row("line of blanks between invoices", oneInvoiceFile() << "  " << one, {kFmt});
    row("two comment lines in a row", QStringList{tag, "//第一张"} << one, {}, kEntries, "1");
    row("other lines, and a head without comment with its body, are skipped",
        QStringList{tag, "开票信息汇总"} << one.mid(1) << one, {}, kCounts, "1/1");
    row("body line count 0 or a text: head kept, lines after it skipped",
        issuedFile({invoice({.count = "0"}, {goodsLine({})}), invoice({.count = "两行"}, {goodsLine({})})}),
        {}, kCounts, "2/0");
    row("file ends in the body lines", bodies({goodsLine({})}, {.count = "3"}),
        {kErr + "62,错误原因:输入超出文件尾"});
    row("blank body line", bodies({"   "}), {"发票体行为空!"});
    row("body line with // in front", oneInvoiceFile({}, {.name = "//激光打印机"}),
        {"货物名称[//激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[台]不匹配!"});
    // The second line of the tax software's file: 张数~~起日~~止日.
    const QString cut = QStringLiteral("文件记载发票3张，实际有2张，文件不完整，不能引入!");
    row("invoice count as declared", countedFile({one, two}), {}, kCounts, "2/3");
    row("fewer invoices than declared", countedFile({one, two}, 3), {cut});
    row("more invoices than declared", countedFile({one, two, invoice({}, {goodsLine({})})}, 2),
        {"文件记载发票2张，实际有3张，文件不完整，不能引入!"});
    row("no invoice declared, none there", QStringList{tag, "0~~~~"}, {}, kHeads, "0");
    row("a head without comment line is no invoice", countedFile({one, one.mid(1)}, 1), {}, kCounts, "1/1");
    row("a second line of another form is skipped", QStringList{tag, "开票汇总"} << one, {}, kCounts, "1/1");
    row("entry numbers run on over the file", issuedFile({two, one}), {}, kEntryIDs, "1009:1,1009:2,1010:3");
    QStringList longFile{tag};
    for (int i = 0; i < 40000; ++i)
        longFile << QStringLiteral("汇总");
    row("line numbers past 32767", longFile << one << invoice({}, {goodsLine({})}), {}, kEntryIDs,
        "1009:1,1010:2");
    row("second invoice fails: the first is not kept", issuedFile({one, invoice({.customer = "无名"}, {})}),
        {"购方名称[无名]不存在或存在相同的记录!"});
    row("third fails: numbers of both kinds given back",
        issuedFile({one, invoice({.kind = "2"}, {goodsLine({})}), invoice({.biller = "无此人"}, {})}),
        {"开票人[无此人]不存在或存在相同的记录!"});

    // field rules
    const QString kindRule = QStringLiteral("cfg:update t_ImportField set %1 where FFieldDesc='发票种类'");
    row("head with a field too many", {tag, "//", headLine({}) + "~~多余"}, {"发票头字段数不正确!"});
    row("goods line with a field too many", bodies({goodsLine({}) + "~~多余"}), {"发票体字段数不正确!"});
    // The tax software leaves out trailing empty fields with their separators.
    row("goods line without its trailing fields", bodies({"0~~激光打印机~~HP-M404dn~~台"}), {},
        "select FQty,FAmount from ICSaleEntry where FInterID=1009", "0 0");
    row("head line without its trailing empty field", {tag, "//", headLine({}).chopped(5)}, {}, kCounts,
        "1/0");
    row("kind outside its value list", oneInvoiceFile({.kind = "1"}), {"发票种类[1]不在预设范围内!"});
    row("kind without check: refused by the import", oneInvoiceFile({.kind = "1"}), {kScrap, kHeadMap}, {},
        {}, {kindRule.arg("FisNeedValid=0")});
    row("empty value is not checked", oneInvoiceFile({.kind = ""}), {kScrap, kHeadMap});
    row("blank in a value list is part of the value", oneInvoiceFile({.kind = "2"}),
        {"发票种类[2]不在预设范围内!"}, {}, {}, {kindRule.arg("FValidValue='0, 2'")});
    row("empty value list refuses all", oneInvoiceFile(), {"发票种类[0]不在预设范围内!"}, {}, {},
        {kindRule.arg("FValidValue=''")});
    row("price mode outside its list", oneInvoiceFile({}, {.mode = "3"}), {"单价价格方式[3]不在预设范围内!"});
    row("rules taken by Forder, not as stored, gaps allowed", oneInvoiceFile(), {}, kEntries, "1",
        {"cfg:create table t_Copy as select * from t_ImportField", "cfg:delete from t_ImportField",
         "cfg:insert into t_ImportField select FFieldDesc,FisHead,Forder*10,FisNeedValid,FValidType,"
         "FValidValue from t_Copy order by Forder desc"});
    // A number the rule gives that the set already has: named, with what to do; nothing is written.
    const QString taken =
        QStringLiteral("销售发票号码%1在账套中已经存在，引入失败，没有引入任何发票。请在单据编码"
                       "规则中把销售发票的下一个号码调到已有号码之后，再引入。");
    row("the rule's next bill number is taken", oneInvoiceFile(), {taken.arg("ZP000006")}, {}, {},
        {"update ICSale set FBillNo='ZP000006' where FBillNo='ZP000005'"});
    row("a later bill number is taken", issuedFile({one, invoice({.kind = "2"}, {goodsLine({})}), two}),
        {taken.arg("ZP000007")}, {}, {}, {"update ICSale set FBillNo='ZP000007' where FBillNo='ZP000005'"});
    row("no bill number rule", oneInvoiceFile(), {"生成发票号失败!", kHeadMap}, {}, {},
        {"delete from t_billcoderule where fbilltypeid=80"});
    row("date that is no date", oneInvoiceFile({.date = "2026315"}),
        {kErr + "13,错误原因:开票日期[2026315]不是有效的日期。"});
    row("date of a day no month has", oneInvoiceFile({.date = "20260230"}),
        {kErr + "13,错误原因:开票日期[20260230]不是有效的日期。"});
    row("date with a letter among its digits", oneInvoiceFile({.date = "2026O315"}),
        {kErr + "13,错误原因:开票日期[2026O315]不是有效的日期。"});
    row("tax rate -1", oneInvoiceFile({}, {.rate = "-1", .mode = "1"}), {"取发票体字段对应值出错!"});
    // A number that is no number would be read by its leading digits: the invoice silently wrong.
    row("quantity with a letter", oneInvoiceFile({}, {.qty = "1x"}), {"第4行数量[1x]不是有效的数字!"});
    row("quantity with a decimal comma", oneInvoiceFile({}, {.qty = "2,0"}),
        {"第4行数量[2,0]不是有效的数字!"});
    row("price, amount, rate and tax are numbers too", oneInvoiceFile({}, {.price = "10元"}),
        {"第4行单价[10元]不是有效的数字!"});
    row("rate that is a percentage", oneInvoiceFile({}, {.rate = "17%"}), {"第4行税率[17%]不是有效的数字!"});
    row("head tax that is no number", oneInvoiceFile({.tax = "5.1 元"}),
        {"第3行税额[5.1 元]不是有效的数字!", kHeadMap});
    row("numbers with blanks around and a sign",
        oneInvoiceFile({.net = " 30 "}, {.qty = " +3 ", .amount = "30.0"}), {},
        "select FQty,FAmount from ICSaleEntry where FInterID=1009", "3 30");
    row("an empty number is 0", oneInvoiceFile({}, {.qty = "", .amount = ""}), {},
        "select FQty,FAmount from ICSaleEntry where FInterID=1009", "0 0");
    row("head defaults, later rows override", oneInvoiceFile(), {},
        "select FExplanation from ICSale where FInterID=1009", "第二行",
        {"cfg:insert into t_qorDefault values (1,'FExplanation','第二行')",
         "cfg:insert into t_qorDefault values (0,'FExplanation','表体行')"});

    // names
    const QString map = QStringLiteral("cfg:insert into t_ItemMap values (%1,'%2','%3','%4','%5','%6')");
    const QString huayuan = QStringLiteral("购方名称[华远信息]不存在或存在相同的记录!");
    const QStringList short_ = oneInvoiceFile({.customer = "华远信息"});
    row("customer unknown", oneInvoiceFile({.customer = "无名公司"}),
        {"购方名称[无名公司]不存在或存在相同的记录!"});
    row("customer twice in the set", oneInvoiceFile(),
        {"购方名称[北京华远信息技术有限公司]不存在或存在相同的记录!"}, {}, {},
        {"insert into t_Organization (FItemID, FName) values (190, '北京华远信息技术有限公司')"});
    row("customer with an apostrophe", oneInvoiceFile({.customer = "O'Brien贸易有限公司"}), {}, kCust, "104");
    row("customer through a mapping", short_, {}, kCust, "101",
        {map.arg(1).arg("t_Organization", "customer", "北京华远信息技术有限公司", "101", "华远信息")});
    row("mapping of another kind does not apply", short_, {huayuan}, {}, {},
        {map.arg(1).arg("t_icitem", "prod", "北京华远信息技术有限公司", "101", "华远信息")});
    row("a mapping twice counts as none", short_, {huayuan}, {}, {},
        {map.arg(1).arg("t_Organization", "customer", "北京华远信息技术有限公司", "101", "华远信息"),
         map.arg(2).arg("t_Organization", "customer", "上海浦江电子科技有限公司", "102", "华远信息")});
    row("mapped name missing: the message shows the file's", short_, {huayuan}, {}, {},
        {map.arg(1).arg("t_Organization", "customer", "已删除的公司", "199", "华远信息")});
    row("biller unknown", oneInvoiceFile({.biller = "新员工"}), {"开票人[新员工]不存在或存在相同的记录!"});
    row("empty biller is looked up", oneInvoiceFile({.biller = ""}), {"开票人[]不存在或存在相同的记录!"});
    row("biller through a user mapping", oneInvoiceFile({.biller = "小张"}), {},
        "select FBillerID from ICSale where FInterID=1009", "16395",
        {map.arg(1).arg("t_User", "user", "张会计", "16395", "小张")});
    const QString checked =
        QStringLiteral("select FCancellation,FCheckerID,FCheckDate,FStatus from ICSale where FInterID=1009");
    row("checked invoice", oneInvoiceFile(), {}, checked, "0 16396 2026-04-10 1");
    row("empty checker is not looked up", oneInvoiceFile({.checker = ""}), {}, checked, "0 <null> <null> 0");
    row("cancelled: no checker", oneInvoiceFile({.cancelled = "1"}), {}, checked, "1 <null> <null> 0");
    row("checker unknown", oneInvoiceFile({.checker = "无此人"}), {"复核人[无此人]不存在或存在相同的记录!"});
    row("unit unknown", oneInvoiceFile({}, {.unit = "只"}), {"计量单位[只]不存在!"});
    const QStringList box = oneInvoiceFile({}, {.name = "办公用品礼盒", .model = "LH-2026", .unit = "件"});
    row("unit name in two groups, no mapping", box, {"计量单位[件]不存在!"});
    row("unit name in two groups, mapped to its identifier", box, {}, kItem, "413/510",
        {map.arg(1).arg("t_MeasureUnit", "unit", "件", "510", "件")});
    row("product only within the unit's group", oneInvoiceFile({}, {.unit = "千克"}),
        {"货物名称[激光打印机]不存在或者和其规格型号[HP-M404dn],计量单位[千克]不匹配!"});
    row("model narrows the product",
        oneInvoiceFile({}, {.name = "不锈钢保温杯", .model = "350ml", .unit = "个"}), {}, kItem, "409/501");
    row("no model: two products", oneInvoiceFile({}, {.name = "不锈钢保温杯", .model = "", .unit = "个"}),
        {"货物名称[不锈钢保温杯]不存在或者和其规格型号[],计量单位[个]不匹配!"});
    row("product, model and unit mapped",
        oneInvoiceFile({}, {.name = "保温杯", .model = "小号", .unit = "只"}), {}, kItem, "409/501",
        {map.arg(1).arg("t_icitem", "prod", "不锈钢保温杯", "409", "保温杯"),
         map.arg(1).arg("t_icitem", "model", "350ml", "409", "小号"),
         map.arg(1).arg("t_MeasureUnit", "unit", "个", "501", "只")});

    // discount lines
    const QString rate = QStringLiteral("select FDiscountRate from ICSaleEntry where FInterID=1009");
    const auto after = [](const QString& discount) { return bodies({goodsLine({}), discount}); };
    row("discount first in the file", bodies({discountLine(), goodsLine({})}), {kDiscount});
    row("discount first in a later invoice", issuedFile({one, invoice({}, {discountLine()})}), {kDiscount});
    row("discount after a discount", bodies({goodsLine({}), discountLine(), discountLine()}), {kDiscount});
    row("discount without a rate", after(discountLine("折扣")), {kDiscount});
    row("discount without its trailing fields", after("1~~折扣(10%)"), {}, rate, "10");
    row("discount with a field too many", after(discountLine() + "~~多余"), {kDiscount});
    row("previous quantity empty counts as 0", bodies({goodsLine({.qty = ""}), discountLine()}), {},
        "select FAmount from ICSaleEntry where FInterID=1009", "27");
    row("rate without % loses its last digit", after(discountLine("折扣(10)")), {}, rate, "1");
    row("rate with decimals", after(discountLine("折扣行数1(12.5%)")), {}, rate, "12.5");
    row("closing bracket first", after(discountLine("折扣)10%(")), {kDiscount});
    row("rate no number", after(discountLine("折扣(abc%)")), {kDiscount});
    row("discount uses up an entry number", bodies({goodsLine({}), discountLine(), goodsLine({})}), {},
        kEntryIDs, "1009:1,1009:3");
}

void TestImport::files() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, messages);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    QFETCH(QStringList, setup);
    for (const QString& s : setup) {
        if (s.startsWith(u"cfg:"))
            db->config->exec(s.mid(4));
        else
            db->acct->exec(s);
    }
    const QString before = acctState();
    QCOMPARE(importLines(lines), messages.isEmpty());
    QCOMPARE(rec->texts(), messages);
    QVERIFY(!db->acct->inTransaction());
    // Nothing of a failed file stays behind, numbers included.
    if (!messages.isEmpty()) QCOMPARE(acctState(), before);
    if (!check.isEmpty()) QCOMPARE(acctValue(check), expected);
}

QTEST_GUILESS_MAIN(TestImport)
