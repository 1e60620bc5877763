// The platform's workbook: templates learnt, and the learnt layout kept as JSON.
#include "test_workbook.h"

namespace {
QByteArray madeUpTemplate(const QList<TemplateSheet>& sheets, bool sharedStrings) {
    QStringList strings;
    QList<BuiltSheet> built;
    for (const TemplateSheet& s : sheets) {
        QString cells;
        for (int c = 0; c < s.headings.size(); ++c) {
            const QString ref = xlsxColumnName(c) + QString::number(s.headerRow);
            if (sharedStrings) {
                cells += QStringLiteral("<c r=\"%1\" t=\"s\"><v>%2</v></c>").arg(ref).arg(strings.size());
                strings << s.headings[c];
            } else {
                cells += inlineCell(ref, s.headings[c]);
            }
        }
        built.append(
            {s.name, sheetXml(QStringLiteral("<row r=\"%1\">%2</row>").arg(s.headerRow).arg(cells))});
    }
    return buildXlsx(built, {}, strings);
}

const TemplateSheet kNotes{QStringLiteral("填写说明"), 1, {QStringLiteral("请按模板填写")}};

const TemplateSheet kHeadSheet{
    QStringLiteral("1-发票基础信息"),
    3,
    {QStringLiteral("*发票流水号"), QStringLiteral("发票类型"), QStringLiteral("*购买方名称"),
     QStringLiteral("购买方纳税人识别号"), QStringLiteral("购买方地址"), QStringLiteral("电话"),
     QStringLiteral("购买方开户银行"), QStringLiteral("银行账号"), QStringLiteral("备注（选填）"),
     QStringLiteral("序号"), QStringLiteral("自定义")}};

const TemplateSheet kDetailSheet{QStringLiteral("2-发票明细信息"),
                                 1,
                                 {QStringLiteral("*发票流水号"), QStringLiteral("序号"),
                                  QStringLiteral("*项目名称"), QStringLiteral("商品和服务税收分类编码"),
                                  QStringLiteral("规格型号"), QStringLiteral("单位"), QStringLiteral("数量"),
                                  QStringLiteral("单价"), QStringLiteral("*金额"), QStringLiteral("*税率"),
                                  QStringLiteral("税额"), QStringLiteral("购买方名称")}};

const QStringList kHeadValues{"发票流水号",   "发票类型", "购方名称", "购方税号", "购方地址", "购方电话",
                              "购方开户银行", "购方账号", "备注",     "序号",     ""};

const QStringList kDetailValues{"发票流水号", "序号", "货物名称",   "税收分类编码", "规格", "计量单位",
                                "数量",       "单价", "不含税金额", "税率",         "税额", "购方名称"};

QStringList valuesOf(const WorkbookSheetLayout& s) {
    QStringList v;
    for (const WorkbookColumn& c : s.columns)
        v << c.value;
    return v;
}

QStringList headingsOf(const WorkbookSheetLayout& s) {
    QStringList v;
    for (const WorkbookColumn& c : s.columns)
        v << c.heading;
    return v;
}
} // namespace

// A template built as the official one: headings on row 3 below the notes and the limits, each column's
// limit and list, the version.
void TestWorkbook::learnOfficialShape_data() {
    QTest::addColumn<bool>("head");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("choices");
    QTest::newRow("发票流水号") << true << "A"
                                << "发票流水号" << 20 << QStringList();
    QTest::newRow("发票类型") << true << "B"
                              << "发票类型" << 10 << QStringList{"增值税专用发票", "普通发票"};
    QTest::newRow("是否含税") << true << "D"
                              << "是否含税" << 2 << QStringList{"是", "否"};
    QTest::newRow("limit after a tab") << true << "E"
                                       << "" << 2 << QStringList{"是", "否"};
    QTest::newRow("购买方名称") << true << "F"
                                << "购方名称" << 100 << QStringList();
    QTest::newRow("list from a sheet") << true << "J"
                                       << "" << 40 << QStringList();
    QTest::newRow("购买方地址") << true << "K"
                                << "购方地址" << 100 << QStringList();
    QTest::newRow("list by formula") << true << "M"
                                     << "" << 100 << QStringList();
    QTest::newRow("购买方电话") << true << "Q"
                                << "购方电话" << 50 << QStringList();
    QTest::newRow("购买方银行账号") << true << "S"
                                    << "购方账号" << 100 << QStringList();
    QTest::newRow("full-width brackets")
        << true << "T"
        << "" << 20
        << QStringList{"展示地址、电话", "展示开户银行、银行账号", "展示地址、电话、开户银行及银行账号"};
    QTest::newRow("备注") << true << "W"
                          << "备注" << 230 << QStringList();
    QTest::newRow("limit before more notes") << true << "Y"
                                             << "" << 5 << QStringList();
    QTest::newRow("销售方开户行") << true << "AB"
                                  << "销方开户银行" << 100 << QStringList();
    QTest::newRow("销售方银行账号") << true << "AC"
                                    << "销方账号" << 60 << QStringList();
    QTest::newRow("复核人") << true << "AM"
                            << "复核人" << 16 << QStringList();
    QTest::newRow("项目名称") << false << "B"
                              << "货物名称" << 100 << QStringList();
    QTest::newRow("商品和服务税收编码") << false << "C"
                                        << "税收分类编码" << 20 << QStringList();
    QTest::newRow("金额") << false << "H"
                          << "不含税金额" << 16 << QStringList();
    QTest::newRow("税率") << false << "I"
                          << "税率" << 8 << QStringList();
    QTest::newRow("折扣金额") << false << "J"
                              << "折扣金额" << 16 << QStringList();
    QTest::newRow("是否使用优惠政策") << false << "K"
                                      << "是否使用优惠政策" << 2 << QStringList{"是", "否"};
    QTest::newRow("优惠政策类型") << false << "L"
                                  << "优惠政策说明" << 15
                                  << QStringList{"简易征收",    "稀土产品",     "免税",
                                                 "不征税",      "先征后退",     "100%先征后退",
                                                 "50%先征后退", "按3%简易征收", "按5%简易征收",
                                                 "即征即退30%", "即征即退50%",  "即征即退70%",
                                                 "即征即退100%"};
}

void TestWorkbook::learnOfficialShape() {
    QFETCH(bool, head);
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(int, limit);
    QFETCH(QStringList, choices);
    const WorkbookLayout layout = learn(buildPlatformTemplate());
    QCOMPARE(layout.head.name, kHeadSheetName);
    QCOMPARE(layout.detail.name, kDetailSheetName);
    QCOMPARE(layout.head.headerRow, 3);
    QCOMPARE(layout.detail.headerRow, 3);
    QCOMPARE(layout.head.columns.size(), 39);
    QCOMPARE(layout.detail.columns.size(), 14);
    QCOMPARE(layout.version, QStringLiteral("pt:20260401"));
    QVERIFY(!layout.detailFirst);
    const WorkbookColumn* c = columnAt(head ? layout.head : layout.detail, column);
    QVERIFY(c);
    QCOMPARE(c->value, value);
    QCOMPARE(c->limit, limit);
    QCOMPARE(c->choices, choices);
}

// Made-up templates: the sheets are found by their headings, whatever they are called and in either
// order, with shared or inline strings.
void TestWorkbook::learnMadeUp_data() {
    QTest::addColumn<QList<TemplateSheet>>("sheets");
    QTest::addColumn<bool>("sharedStrings");
    QTest::addColumn<bool>("detailFirst");
    QTest::newRow("shared strings") << QList<TemplateSheet>{kNotes, kHeadSheet, kDetailSheet} << true
                                    << false;
    QTest::newRow("inline strings, detail first")
        << QList<TemplateSheet>{kDetailSheet, kNotes, kHeadSheet} << false << true;
}

void TestWorkbook::learnMadeUp() {
    QFETCH(QList<TemplateSheet>, sheets);
    QFETCH(bool, sharedStrings);
    QFETCH(bool, detailFirst);
    const WorkbookLayout layout = learn(madeUpTemplate(sheets, sharedStrings));
    QCOMPARE(layout.head.name, kHeadSheet.name);
    QCOMPARE(layout.head.headerRow, 3);
    QCOMPARE(headingsOf(layout.head), kHeadSheet.headings);
    QCOMPARE(valuesOf(layout.head), kHeadValues);
    QCOMPARE(layout.detail.name, kDetailSheet.name);
    QCOMPARE(layout.detail.headerRow, 1);
    QCOMPARE(headingsOf(layout.detail), kDetailSheet.headings);
    QCOMPARE(valuesOf(layout.detail), kDetailValues);
    QCOMPARE(layout.detailFirst, detailFirst);
    QCOMPARE(layout.version, QString());
}

void TestWorkbook::learnRefused_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("no workbook") << QByteArray("发票流水号,购买方名称\r\n")
                                 << QStringLiteral("不是Excel工作簿");
    QTest::newRow("no detail sheet") << madeUpTemplate({kNotes, kHeadSheet}, false)
                                     << QStringLiteral(
                                            "中没有发票明细信息（列标题含“发票流水号”和“项目名称”）的工作表");
    QTest::newRow("no head sheet") << madeUpTemplate({kDetailSheet}, false)
                                   << QStringLiteral(
                                          "中没有发票基本信息（列标题含“发票流水号”和“购买方名称”）的工作表");
    QTest::newRow("head without key")
        << madeUpTemplate({{QStringLiteral("基础"), 1, {QStringLiteral("购买方名称")}}, kDetailSheet}, false)
        << QStringLiteral("中没有发票基本信息");
    // The headings are looked for in the first 50 rows only.
    QTest::newRow("headings below row 50")
        << madeUpTemplate({{kHeadSheet.name, 51, kHeadSheet.headings}, kDetailSheet}, false)
        << QStringLiteral("中没有发票基本信息");
    QTest::newRow("a cell far right above the headings")
        << buildXlsx({{QStringLiteral("1"),
                       sheetXml(QStringLiteral("<row r=\"1\">%1</row>")
                                    .arg(inlineCell(QStringLiteral("XFD1"), QStringLiteral("x"))))}})
        << QStringLiteral(
               "template.xlsx”的工作表“1”第1行在第16384列（XFD）有内容，超过512列的限制，不能读取。");
}

void TestWorkbook::learnRefused() {
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    try {
        learn(file);
        QFAIL("learnt");
    } catch (const DbError& e) {
        QVERIFY2(e.description().contains(message), qPrintable(e.description()));
    }
}

// What lies below the heading row is not read: a template with a cell in column XFD on each of 4,000
// rows below its headings is learnt as any other.
void TestWorkbook::learnReadsNothingBelowTheHeadings() {
    QString far;
    for (int r = 4; r <= 4000; ++r)
        far += QStringLiteral("<row r=\"%1\">%2</row>")
                   .arg(r)
                   .arg(inlineCell(QStringLiteral("XFD%1").arg(r), "x"));
    const WorkbookLayout layout =
        learn(buildPlatformTemplate(officialHeadColumns(), officialDetailColumns(), far));
    QCOMPARE(layout.detail.columns.size(), 14);
}

void TestWorkbook::layoutJson() {
    const WorkbookLayout layout = learn(buildPlatformTemplate());
    const std::optional<WorkbookLayout> back = WorkbookLayout::fromJson(layout.toJson());
    QVERIFY(back);
    QVERIFY(*back == layout);
}

// A layout as an earlier version stored it: no limits, lists or version.
void TestWorkbook::layoutJsonOfAnEarlierVersion() {
    const QString json = QStringLiteral(
        R"({"detail":{"columns":[{"heading":"*发票流水号","value":"发票流水号"},{"heading":"*项目名称",)"
        R"("value":"货物名称"},{"heading":"*金额","value":"不含税金额"}],"headerRow":1,"sheet":"2-发票明细信息"},)"
        R"("detailFirst":false,"head":{"columns":[{"heading":"*发票流水号","value":"发票流水号"},)"
        R"({"heading":"*购买方名称","value":"购方名称"}],"headerRow":3,"sheet":"1-发票基础信息"}})");
    const std::optional<WorkbookLayout> layout = WorkbookLayout::fromJson(json);
    QVERIFY(layout);
    QCOMPARE(layout->head.headerRow, 3);
    QCOMPARE(valuesOf(layout->detail), (QStringList{"发票流水号", "货物名称", "不含税金额"}));
    for (const WorkbookColumn& c : layout->head.columns + layout->detail.columns)
        QVERIFY(c.limit == 0 && c.choices.isEmpty());
    QCOMPARE(layout->version, QString());
}

void TestWorkbook::layoutJsonRefused_data() {
    QTest::addColumn<QString>("json");
    const QString sheet = QStringLiteral(
        R"({"sheet":"%1","headerRow":%2,"columns":[{"heading":"发票流水号","value":"发票流水号"%3}]})");
    auto layout = [&](const QString& head, const QString& detail) {
        return QStringLiteral(R"({"head":%1,"detail":%2})").arg(head, detail);
    };
    QTest::newRow("not JSON") << "{head:";
    QTest::newRow("an array") << "[]";
    QTest::newRow("no detail") << QStringLiteral(R"({"head":%1})").arg(sheet.arg("A").arg(1).arg(""));
    QTest::newRow("row 0") << layout(sheet.arg("A").arg(0).arg(""), sheet.arg("B").arg(1).arg(""));
    QTest::newRow("no sheet name") << layout(sheet.arg("").arg(1).arg(""), sheet.arg("B").arg(1).arg(""));
    QTest::newRow("one sheet twice") << layout(sheet.arg("A").arg(1).arg(""), sheet.arg("A").arg(1).arg(""));
    QTest::newRow("no columns") << layout(sheet.arg("A").arg(1).arg(""),
                                          R"({"sheet":"B","headerRow":1,"columns":[]})");
    QTest::newRow("negative limit") << layout(sheet.arg("A").arg(1).arg(R"(,"limit":-1)"),
                                              sheet.arg("B").arg(1).arg(""));
}

void TestWorkbook::layoutJsonRefused() {
    QFETCH(QString, json);
    QVERIFY(!WorkbookLayout::fromJson(json));
}

QTEST_GUILESS_MAIN(TestWorkbook)
