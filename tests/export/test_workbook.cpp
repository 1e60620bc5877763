// The e-invoice platform's workbook: the template learnt, and the workbook written as the template filled
// in, compared with the template part by part.
#include "PlatformTemplate.h"
#include "common/XlsxReader.h"
#include "export/ExportWriter.h"
#include "export/WorkbookDocumentSink.h"
#include "support/XlsxBuilder.h"
#include <QXmlStreamReader>
#include <QtTest/QtTest>

namespace {

using Line = QHash<QString, QString>;
using Docs = QList<SinkDocument>;

const QString kCode = QStringLiteral("1090511030000000000");
const QString kSpecial = QStringLiteral("增值税专用发票");

Line Goods(const QString& name, const QString& qty, const QString& price, const QString& amount,
           const QString& tax, const QString& rate = QStringLiteral("0.13")) {
    return Line{{QStringLiteral("货物名称"), name},      {QStringLiteral("数量"), qty},
                {QStringLiteral("单价"), price},         {QStringLiteral("不含税金额"), amount},
                {QStringLiteral("税额"), tax},           {QStringLiteral("税率"), rate},
                {QStringLiteral("税收分类编码"), kCode}, {QStringLiteral("计量单位"), QStringLiteral("台")}};
}

Line With(Line line, const QString& field, const QString& value) {
    if (value.isNull())
        line.remove(field);
    else
        line.insert(field, value);
    return line;
}

// The catalogue's values of a product: 优惠政策标识, 优惠政策说明, 零税率标识.
Line Catalogued(Line line, const QString& flag, const QString& text, const QString& zeroRate) {
    line.insert(QStringLiteral("优惠政策标识"), flag);
    line.insert(QStringLiteral("优惠政策说明"), text);
    line.insert(QStringLiteral("零税率标识"), zeroRate);
    return line;
}

SinkDocument Doc(const QString& docNo, const QList<Line>& lines,
                 const QString& buyer = QStringLiteral("甲公司")) {
    SinkDocument d;
    d.docNo = docNo;
    d.invoiceKind = kSpecial;
    d.head = {{QStringLiteral("单据号"), docNo},
              {QStringLiteral("购方名称"), buyer},
              {QStringLiteral("购方税号"), QStringLiteral("91330100MA2XXXXXX1")},
              {QStringLiteral("购方地址电话"), QStringLiteral("杭州市文三路100号 0571-88886666")},
              {QStringLiteral("购方银行帐号"), QStringLiteral("工商银行文三支行 1202 0212 0900")},
              {QStringLiteral("销方银行账号"), QStringLiteral("建设银行西湖支行 3301 0000")},
              {QStringLiteral("编码版本号"), QStringLiteral("48.0")}};
    d.lines = lines;
    return d;
}

SinkDocument WithHead(SinkDocument d, const QString& field, const QString& value) {
    d.head.insert(field, value);
    return d;
}

Line Plain() {
    return Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13");
}

WorkbookLayout Learn(const QByteArray& file) {
    return LearnWorkbookLayout(file, QStringLiteral("template.xlsx"));
}

void Export(DocumentSink& sink, const Docs& docs) {
    sink.Begin(int(docs.size()));
    for (const SinkDocument& d : docs)
        sink.Add(d);
    sink.Commit();
}

// The rows of a sheet below row 3 as "A=…|B=…", every cell checked to be text.
QStringList DataRows(const QString& path, const QString& sheet) {
    XlsxReader reader(path);
    QStringList out;
    for (const XlsxRow& row : reader.rows(*reader.sheet(sheet))) {
        if (row.number <= 3) continue;
        QStringList cells;
        for (const XlsxCell& c : row.cells) {
            [&] { QVERIFY2(!c.number, qPrintable(c.text)); }();
            cells << XlsxColumnName(c.column) + u'=' + c.text;
        }
        out << cells.join(u'|');
    }
    return out;
}

// The given columns of a data row ("B|D").
QString Columns(const QString& row, const QStringList& columns) {
    QHash<QString, QString> cells;
    for (const QString& c : row.split(u'|'))
        cells.insert(c.section(u'=', 0, 0), c.section(u'=', 1));
    QStringList out;
    for (const QString& c : columns)
        out << cells.value(c);
    return out.join(u'|');
}

QHash<QString, ZipEntry> ByName(const QList<ZipEntry>& entries) {
    QHash<QString, ZipEntry> out;
    for (const ZipEntry& e : entries)
        out.insert(e.name, e);
    return out;
}

QStringList Names(const QList<ZipEntry>& entries) {
    QStringList out;
    for (const ZipEntry& e : entries)
        out << e.name;
    return out;
}

// The filled file against its template: the same members in the same order; every member but the two
// sheets stored exactly as the template stores it; the two sheets the template's text with rows in one
// place, after the heading row, each row numbered on and each cell an inline string in its column's style.
// Returns the rows inserted per sheet part.
QHash<QString, QString> CompareWithTemplate(const QByteArray& templ, const QByteArray& filled,
                                            const QHash<QString, int (*)(int)>& sheetParts) {
    QHash<QString, QString> inserted;
    const QList<ZipEntry> raw = ZipEntries(templ, false), rawOut = ZipEntries(filled, false);
    [&] { QCOMPARE(Names(rawOut), Names(raw)); }();
    const QHash<QString, ZipEntry> plain = ByName(ZipEntries(templ, true)),
                                   plainOut = ByName(ZipEntries(filled, true));
    for (int i = 0; i < raw.size() && i < rawOut.size(); ++i) {
        const ZipEntry &t = raw[i], &o = rawOut[i];
        if (sheetParts.contains(t.name)) {
            const QString before = QString::fromUtf8(plain[t.name].data);
            const QString after = QString::fromUtf8(plainOut[t.name].data);
            const qsizetype at =
                before.indexOf(QStringLiteral("</row>"), before.indexOf(QStringLiteral("<row r=\"3\""))) + 6;
            [&] {
                QVERIFY2(after.startsWith(before.left(at)) && after.endsWith(before.mid(at)),
                         qPrintable(t.name));
            }();
            const QString rows = after.mid(at, after.size() - before.size());
            inserted.insert(t.name, rows);
            QXmlStreamReader r(QStringLiteral("<x>") + rows + QStringLiteral("</x>"));
            int rowNo = 3;
            while (!r.atEnd()) {
                if (r.readNext() != QXmlStreamReader::StartElement) continue;
                const QXmlStreamAttributes a = r.attributes();
                if (r.name() == u"row") [&] { QCOMPARE(a.value(QStringLiteral("r")).toInt(), ++rowNo); }();
                if (r.name() != u"c") continue;
                const QString ref = a.value(QStringLiteral("r")).toString();
                const int style = sheetParts[t.name](XlsxColumnOf(ref));
                [&] {
                    QCOMPARE(ref.mid(XlsxColumnName(XlsxColumnOf(ref)).size()).toInt(), rowNo);
                    QCOMPARE(a.value(QStringLiteral("t")).toString(), QStringLiteral("inlineStr"));
                    QCOMPARE(a.value(QStringLiteral("s")).toString(),
                             style < 0 ? QString() : QString::number(style));
                }();
            }
            [&] { QVERIFY2(!r.hasError(), qPrintable(r.errorString())); }();
        } else {
            [&] {
                QVERIFY2(t.method == o.method && t.crc == o.crc && t.data == o.data, qPrintable(t.name));
            }();
        }
    }
    return inserted;
}

const QHash<QString, int (*)(int)> kOfficialParts{{kHeadPart, HeadColumnStyle},
                                                  {kDetailPart, DetailColumnStyle}};

// ---- Made-up templates of other shapes: their own sheet names, a notes sheet, headings with the marks
// of required columns, a heading the program does not know, shared or inline strings.

struct TemplateSheet {
    QString name;
    int headerRow; // 1-based
    QStringList headings;
};

QByteArray MadeUpTemplate(const QList<TemplateSheet>& sheets, bool sharedStrings) {
    QStringList strings;
    QList<BuiltSheet> built;
    for (const TemplateSheet& s : sheets) {
        QString cells;
        for (int c = 0; c < s.headings.size(); ++c) {
            const QString ref = XlsxColumnName(c) + QString::number(s.headerRow);
            if (sharedStrings) {
                cells += QStringLiteral("<c r=\"%1\" t=\"s\"><v>%2</v></c>").arg(ref).arg(strings.size());
                strings << s.headings[c];
            } else {
                cells += InlineCell(ref, s.headings[c]);
            }
        }
        built.append(
            {s.name, SheetXml(QStringLiteral("<row r=\"%1\">%2</row>").arg(s.headerRow).arg(cells))});
    }
    return BuildXlsx(built, {}, strings);
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

QStringList ValuesOf(const WorkbookSheetLayout& s) {
    QStringList v;
    for (const WorkbookColumn& c : s.columns)
        v << c.value;
    return v;
}

QStringList HeadingsOf(const WorkbookSheetLayout& s) {
    QStringList v;
    for (const WorkbookColumn& c : s.columns)
        v << c.heading;
    return v;
}

const WorkbookColumn* ColumnAt(const WorkbookSheetLayout& s, const QString& letters) {
    const int c = XlsxColumnOf(letters);
    return c >= 0 && c < s.columns.size() ? &s.columns[c] : nullptr;
}

// The styles the official file's <cols> give its columns.
int OfficialHeadStyle(int column) {
    return column < 37 ? 2 + column : -1;
}
int OfficialDetailStyle(int column) {
    return 118 + column;
}

QString OfficialPath() {
    return QStringLiteral(TAXFERRY_SHARED_DATA "/platform-template-V260401.xlsx");
}

} // namespace

Q_DECLARE_METATYPE(SinkDocument)
Q_DECLARE_METATYPE(TemplateSheet)

class TestWorkbook : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A template built as the official one: headings on row 3 below the notes and the limits, each column's
    // limit and list, the version.
    void learnOfficialShape_data() {
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
        QTest::newRow("优惠政策类型")
            << false << "L"
            << "优惠政策说明" << 15
            << QStringList{"简易征收",     "稀土产品",    "免税",         "不征税",       "先征后退",
                           "100%先征后退", "50%先征后退", "按3%简易征收", "按5%简易征收", "即征即退30%",
                           "即征即退50%",  "即征即退70%", "即征即退100%"};
    }
    void learnOfficialShape() {
        QFETCH(bool, head);
        QFETCH(QString, column);
        QFETCH(QString, value);
        QFETCH(int, limit);
        QFETCH(QStringList, choices);
        const WorkbookLayout layout = Learn(BuildPlatformTemplate());
        QCOMPARE(layout.head.name, kHeadSheetName);
        QCOMPARE(layout.detail.name, kDetailSheetName);
        QCOMPARE(layout.head.headerRow, 3);
        QCOMPARE(layout.detail.headerRow, 3);
        QCOMPARE(layout.head.columns.size(), 39);
        QCOMPARE(layout.detail.columns.size(), 14);
        QCOMPARE(layout.version, QStringLiteral("pt:20260401"));
        QVERIFY(!layout.detailFirst);
        const WorkbookColumn* c = ColumnAt(head ? layout.head : layout.detail, column);
        QVERIFY(c);
        QCOMPARE(c->value, value);
        QCOMPARE(c->limit, limit);
        QCOMPARE(c->choices, choices);
    }

    // Made-up templates: the sheets are found by their headings, whatever they are called and in either
    // order, with shared or inline strings.
    void learnMadeUp_data() {
        QTest::addColumn<QList<TemplateSheet>>("sheets");
        QTest::addColumn<bool>("sharedStrings");
        QTest::addColumn<bool>("detailFirst");
        QTest::newRow("shared strings")
            << QList<TemplateSheet>{kNotes, kHeadSheet, kDetailSheet} << true << false;
        QTest::newRow("inline strings, detail first")
            << QList<TemplateSheet>{kDetailSheet, kNotes, kHeadSheet} << false << true;
    }
    void learnMadeUp() {
        QFETCH(QList<TemplateSheet>, sheets);
        QFETCH(bool, sharedStrings);
        QFETCH(bool, detailFirst);
        const WorkbookLayout layout = Learn(MadeUpTemplate(sheets, sharedStrings));
        QCOMPARE(layout.head.name, kHeadSheet.name);
        QCOMPARE(layout.head.headerRow, 3);
        QCOMPARE(HeadingsOf(layout.head), kHeadSheet.headings);
        QCOMPARE(ValuesOf(layout.head), kHeadValues);
        QCOMPARE(layout.detail.name, kDetailSheet.name);
        QCOMPARE(layout.detail.headerRow, 1);
        QCOMPARE(HeadingsOf(layout.detail), kDetailSheet.headings);
        QCOMPARE(ValuesOf(layout.detail), kDetailValues);
        QCOMPARE(layout.detailFirst, detailFirst);
        QCOMPARE(layout.version, QString());
    }

    void learnRefused_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("no workbook") << QByteArray("发票流水号,购买方名称\r\n")
                                     << QStringLiteral("不是Excel工作簿");
        QTest::newRow("no detail sheet")
            << MadeUpTemplate({kNotes, kHeadSheet}, false)
            << QStringLiteral("中没有发票明细信息（列标题含“发票流水号”和“项目名称”）的工作表");
        QTest::newRow("no head sheet")
            << MadeUpTemplate({kDetailSheet}, false)
            << QStringLiteral("中没有发票基本信息（列标题含“发票流水号”和“购买方名称”）的工作表");
        QTest::newRow("head without key")
            << MadeUpTemplate({{QStringLiteral("基础"), 1, {QStringLiteral("购买方名称")}}, kDetailSheet},
                              false)
            << QStringLiteral("中没有发票基本信息");
        // The headings are looked for in the first 50 rows only.
        QTest::newRow("headings below row 50")
            << MadeUpTemplate({{kHeadSheet.name, 51, kHeadSheet.headings}, kDetailSheet}, false)
            << QStringLiteral("中没有发票基本信息");
        QTest::newRow("a cell far right above the headings")
            << BuildXlsx({{QStringLiteral("1"),
                           SheetXml(QStringLiteral("<row r=\"1\">%1</row>")
                                        .arg(InlineCell(QStringLiteral("XFD1"), QStringLiteral("x"))))}})
            << QStringLiteral(
                   "template.xlsx”的工作表“1”第1行在第16384列（XFD）有内容，超过512列的限制，不能读取。");
    }
    void learnRefused() {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        try {
            Learn(file);
            QFAIL("learnt");
        } catch (const DbError& e) {
            QVERIFY2(e.description().contains(message), qPrintable(e.description()));
        }
    }

    // What lies below the heading row is not read: a template with a cell in column XFD on each of 4,000
    // rows below its headings is learnt as any other.
    void learnReadsNothingBelowTheHeadings() {
        QString far;
        for (int r = 4; r <= 4000; ++r)
            far += QStringLiteral("<row r=\"%1\">%2</row>")
                       .arg(r)
                       .arg(InlineCell(QStringLiteral("XFD%1").arg(r), "x"));
        const WorkbookLayout layout =
            Learn(BuildPlatformTemplate(OfficialHeadColumns(), OfficialDetailColumns(), far));
        QCOMPARE(layout.detail.columns.size(), 14);
    }

    void layoutJson() {
        const WorkbookLayout layout = Learn(BuildPlatformTemplate());
        const std::optional<WorkbookLayout> back = WorkbookLayout::FromJson(layout.ToJson());
        QVERIFY(back);
        QVERIFY(*back == layout);
    }

    // A layout as an earlier version stored it: no limits, lists or version.
    void layoutJsonOfAnEarlierVersion() {
        const QString json = QStringLiteral(
            R"({"detail":{"columns":[{"heading":"*发票流水号","value":"发票流水号"},{"heading":"*项目名称",)"
            R"("value":"货物名称"},{"heading":"*金额","value":"不含税金额"}],"headerRow":1,"sheet":"2-发票明细信息"},)"
            R"("detailFirst":false,"head":{"columns":[{"heading":"*发票流水号","value":"发票流水号"},)"
            R"({"heading":"*购买方名称","value":"购方名称"}],"headerRow":3,"sheet":"1-发票基础信息"}})");
        const std::optional<WorkbookLayout> layout = WorkbookLayout::FromJson(json);
        QVERIFY(layout);
        QCOMPARE(layout->head.headerRow, 3);
        QCOMPARE(ValuesOf(layout->detail), (QStringList{"发票流水号", "货物名称", "不含税金额"}));
        for (const WorkbookColumn& c : layout->head.columns + layout->detail.columns)
            QVERIFY(c.limit == 0 && c.choices.isEmpty());
        QCOMPARE(layout->version, QString());
    }

    void layoutJsonRefused_data() {
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
        QTest::newRow("one sheet twice")
            << layout(sheet.arg("A").arg(1).arg(""), sheet.arg("A").arg(1).arg(""));
        QTest::newRow("no columns") << layout(sheet.arg("A").arg(1).arg(""),
                                              R"({"sheet":"B","headerRow":1,"columns":[]})");
        QTest::newRow("negative limit")
            << layout(sheet.arg("A").arg(1).arg(R"(,"limit":-1)"), sheet.arg("B").arg(1).arg(""));
    }
    void layoutJsonRefused() {
        QFETCH(QString, json);
        QVERIFY(!WorkbookLayout::FromJson(json));
    }

    // The workbook is the template filled in: two documents, one with a discounted line.
    void filledTemplate() {
        QTemporaryDir dir;
        const QByteArray templ = BuildPlatformTemplate();
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WriteFile(path, "earlier");
        WorkbookDocumentSink sink(path, Learn(templ), templ);
        sink.Begin(2);
        sink.Add(WithHead(Doc(QStringLiteral("ZP01"),
                              {Goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                               Goods(QStringLiteral("鼠标"), "3", "0.000000123", "1.005", "0.6", "6")}),
                          QStringLiteral("备注"), QStringLiteral(" 合同A-1\n第二行")));
        // 金额 before the discount on the same row: the line's 不含税金额 is net of it.
        SinkDocument second = Doc(QStringLiteral("PT02-1"),
                                  {With(Goods(QStringLiteral("服务"), "2", "50", "90", "5.4", "6"),
                                        QStringLiteral("折扣金额"), "10")},
                                  QStringLiteral("乙公司"));
        second.invoiceKind = QStringLiteral("普通发票");
        sink.Add(second);
        QCOMPARE(ReadFile(path), QByteArray("earlier"));
        sink.Commit();
        QCOMPARE(sink.WrittenFiles(), QStringList{QDir::toNativeSeparators(path)});
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden) == QStringList{"out.xlsx"});

        CompareWithTemplate(templ, ReadFile(path), kOfficialParts);
        if (QTest::currentTestFailed()) return;
        const QStringList head = DataRows(path, kHeadSheetName);
        QCOMPARE(
            head,
            (QStringList{
                "A=ZP01|B=增值税专用发票|D=否|F=甲公司|G=91330100MA2XXXXXX1|K=杭州市文三路100号|"
                "Q=0571-88886666|R=工商银行文三支行|S=1202 0212 0900|W= 合同A-1\n第二行|AB=建设银行西湖支行|"
                "AC=3301 0000",
                "A=PT02-1|B=普通发票|D=否|F=乙公司|G=91330100MA2XXXXXX1|K=杭州市文三路100号|"
                "Q=0571-88886666|R=工商银行文三支行|S=1202 0212 0900|AB=建设银行西湖支行|AC=3301 0000"}));
        QCOMPARE(
            DataRows(path, kDetailSheetName),
            (QStringList{
                QStringLiteral("A=ZP01|B=电脑|C=%1|E=台|F=2|G=1130.5|H=2261.00|I=0.13|K=否").arg(kCode),
                QStringLiteral("A=ZP01|B=鼠标|C=%1|E=台|F=3|G=0.000000123|H=1.01|I=0.06|K=否").arg(kCode),
                QStringLiteral("A=PT02-1|B=服务|C=%1|E=台|F=2|G=50|H=100.00|I=0.06|J=10.00|K=否")
                    .arg(kCode)}));
    }

    // What the program fills unless the link maps it: 发票类型, 是否含税, the code, 是否使用优惠政策 and
    // 优惠政策类型 from the catalogue; an 出口退税 line at rate 0 without a preference.
    void programFilled_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<bool>("oldHeading"); // the code column as older templates name it
        QTest::addColumn<QString>("head");    // B|D: 发票类型|是否含税
        QTest::addColumn<QString>("detail"); // C|I|K|L: code|税率|是否使用优惠政策|优惠政策类型
        const Line plain = Goods(QStringLiteral("电脑"), "1", "100", "100", "13");
        const SinkDocument special = Doc(QStringLiteral("ZP01"), {plain});
        SinkDocument ordinary = special;
        ordinary.invoiceKind = QStringLiteral("普通发票");
        QTest::newRow("special invoice") << special << false << "增值税专用发票|否" << kCode + "|0.13|否|";
        QTest::newRow("ordinary invoice") << ordinary << false << "普通发票|否" << kCode + "|0.13|否|";
        QTest::newRow("the link maps 发票类型 and 是否含税")
            << WithHead(WithHead(special, QStringLiteral("发票类型"), QStringLiteral("普通发票")),
                        QStringLiteral("是否含税"), QStringLiteral("是"))
            << false << "普通发票|是" << kCode + "|0.13|否|";
        QTest::newRow("the old heading of the code")
            << special << true << "增值税专用发票|否" << kCode + "|0.13|否|";
        QTest::newRow("a preference of the list")
            << Doc(QStringLiteral("ZP01"), {Catalogued(With(plain, QStringLiteral("税率"), "0.03"), "1",
                                                       QStringLiteral("简易征收"), "")})
            << false << "增值税专用发票|否" << kCode + "|0.03|是|简易征收";
        QTest::newRow("免税") << Doc(QStringLiteral("ZP01"),
                                     {Catalogued(With(plain, QStringLiteral("税率"), "0"), "1",
                                                 QStringLiteral("免税"), "1")})
                              << false << "增值税专用发票|否" << kCode + "|0|是|免税";
        QTest::newRow("出口退税") << Doc(QStringLiteral("ZP01"),
                                         {Catalogued(With(plain, QStringLiteral("税率"), "0"), "1",
                                                     QStringLiteral("出口零税"), "0")})
                                  << false << "增值税专用发票|否" << kCode + "|0|否|";
        QTest::newRow("出口退税 at the line's rate")
            << Doc(QStringLiteral("ZP01"), {Catalogued(plain, "1", QStringLiteral("出口零税"), "0")}) << false
            << "增值税专用发票|否" << kCode + "|0|否|";
        QTest::newRow("普通零税率") << Doc(QStringLiteral("ZP01"),
                                           {Catalogued(With(plain, QStringLiteral("税率"), "0"), "0", "",
                                                       "3")})
                                    << false << "增值税专用发票|否" << kCode + "|0|否|";
        QTest::newRow("a 说明 without the flag")
            << Doc(QStringLiteral("ZP01"), {Catalogued(plain, "0", QStringLiteral("出口零税"), "")}) << false
            << "增值税专用发票|否" << kCode + "|0.13|否|";
        QTest::newRow("the link maps 是否使用优惠政策")
            << Doc(QStringLiteral("ZP01"),
                   {With(plain, QStringLiteral("是否使用优惠政策"), QStringLiteral("是"))})
            << false << "增值税专用发票|否" << kCode + "|0.13|是|";
    }
    void programFilled() {
        QFETCH(SinkDocument, doc);
        QFETCH(bool, oldHeading);
        QFETCH(QString, head);
        QFETCH(QString, detail);
        QList<PlatformColumn> detailColumns = OfficialDetailColumns();
        if (oldHeading) detailColumns[2].heading = QStringLiteral("商品和服务税收分类编码");
        const QByteArray templ = BuildPlatformTemplate(OfficialHeadColumns(), detailColumns);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WorkbookDocumentSink sink(path, Learn(templ), templ);
        Export(sink, {doc});
        QCOMPARE(Columns(DataRows(path, kHeadSheetName).value(0), {"B", "D"}), head);
        QCOMPARE(Columns(DataRows(path, kDetailSheetName).value(0), {"C", "I", "K", "L"}), detail);
    }

    // The platform's limits, each column on its own, in characters; its lists. The last value accepted,
    // one more refused naming the document; the preview's check refuses alike, and an earlier file stays.
    void refusals_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("message"); // empty: accepted
        const QList<Line> lines{Plain()};
        const SinkDocument base = Doc(QStringLiteral("ZP01"), lines);
        QTest::newRow("key of 20") << Doc(QString(20, u'9'), lines) << QString();
        // A longer 单据号 keeps its last 20 characters; alike after that, two invoices are refused.
        QTest::newRow("key of 21") << Doc(QString(21, u'9'), lines) << QString();
        QTest::newRow("key of 21 alike after the cut")
            << Doc(u'B' + QString(20, u'A'), lines)
            << QStringLiteral(
                   "发票“%1”与发票“B%1”的发票流水号截为20个字符后都是“%1”，电子发票平台不能区分，引出失败！")
                   .arg(QString(20, u'A'));
        // 100 characters where 100 GBK bytes were once the limit.
        QTest::newRow("buyer of 100 characters")
            << Doc(QStringLiteral("ZP01"), lines, QString(100, u'甲')) << QString();
        QTest::newRow("buyer of 100 with one outside the BMP")
            << Doc(QStringLiteral("ZP01"), lines, QString(99, u'甲') + QStringLiteral("𠀀")) << QString();
        QTest::newRow("buyer of 101 characters")
            << Doc(QStringLiteral("ZP01"), lines, QString(100, u'甲') + "A")
            << QStringLiteral("发票“ZP01”的购买方名称“%1A”超过平台模板限定的100个字符，引出失败！")
                   .arg(QString(100, u'甲'));
        QTest::newRow("address of 100 with its phone")
            << WithHead(base, QStringLiteral("购方地址电话"), QString(100, u'路') + " 0571-88888888")
            << QString();
        QTest::newRow("phone of 51")
            << WithHead(base, QStringLiteral("购方地址电话"), QStringLiteral("杭州 ") + QString(51, u'8'))
            << QStringLiteral("发票“ZP01”的购买方电话“%1”超过平台模板限定的50个字符，引出失败！")
                   .arg(QString(51, u'8'));
        QTest::newRow("备注 of 230") << WithHead(base, QStringLiteral("备注"), QString(230, u'注'))
                                     << QString();
        QTest::newRow("备注 of 231") << WithHead(base, QStringLiteral("备注"), QString(231, u'注'))
                                     << QStringLiteral(
                                            "发票“ZP01”的备注“%1”超过平台模板限定的230个字符，引出失败！")
                                            .arg(QString(231, u'注'));
        QTest::newRow("项目名称 of 101")
            << Doc(QStringLiteral("ZP01"),
                   {Plain(), With(Plain(), QStringLiteral("货物名称"), QString(101, u'货'))})
            << QStringLiteral("发票“ZP01”第2行的项目名称“%1”超过平台模板限定的100个字符，引出失败！")
                   .arg(QString(101, u'货'));
        QTest::newRow("a 说明 not in the template's list")
            << Doc(QStringLiteral("ZP01"), {Catalogued(Plain(), "1", QStringLiteral("出口零税"), "")})
            << QStringLiteral(
                   "发票“ZP01”第1行的商品“电脑”的优惠政策类型“出口零税”不在平台模板的下拉列表中，引出失败！");
        QTest::newRow("a 发票类型 not in the list")
            << WithHead(base, QStringLiteral("发票类型"), QStringLiteral("专票"))
            << QStringLiteral("发票“ZP01”的发票类型“专票”不在平台模板的下拉列表中，引出失败！");
        QTest::newRow("a control character")
            << WithHead(base, QStringLiteral("备注"), QStringLiteral("a\x01b"))
            << QStringLiteral("发票“ZP01”的备注“a\x01b”含有工作簿不能容纳的控制字符，引出失败！");
    }
    void refusals() {
        QFETCH(SinkDocument, doc);
        QFETCH(QString, message);
        const QByteArray templ = BuildPlatformTemplate();
        const WorkbookLayout layout = Learn(templ);
        const SinkDocument first = Doc(QString(20, u'A'), {Plain()});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WriteFile(path, "earlier");
        {
            WorkbookDocumentSink preview(path, layout, templ);
            preview.Check(first);
            try {
                preview.Check(doc);
                QVERIFY2(message.isEmpty(), "accepted");
            } catch (const ExportRefused& r) {
                QCOMPARE(r.description(), message);
            }
        }
        WorkbookDocumentSink sink(path, layout, templ);
        sink.Begin(2);
        sink.Add(first);
        try {
            sink.Add(doc);
            QVERIFY2(message.isEmpty(), "accepted");
            sink.Commit();
            QCOMPARE(DataRows(path, kHeadSheetName).size(), 2);
        } catch (const ExportRefused& r) {
            QCOMPARE(r.description(), message);
            QCOMPARE(ReadFile(path), QByteArray("earlier"));
        }
    }

    // Over 2,000 detail rows the export writes NAME-1.xlsx, NAME-2.xlsx, … of whole documents, a document
    // over the limit alone; the target itself stays as it was.
    void splitAt2000Rows() {
        const QByteArray templ = BuildPlatformTemplate();
        const WorkbookLayout layout = Learn(templ);
        auto doc = [](const QString& no, int lines) {
            QList<Line> l;
            for (int i = 0; i < lines; ++i)
                l << Goods(QStringLiteral("货%1").arg(i), "1", "1", "1", "0.13");
            return Doc(no, l);
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("月结.XLSX"));
        WriteFile(path, "earlier");
        WorkbookDocumentSink sink(path, layout, templ);
        Export(sink, {doc("A", 1200), doc("B", 800), doc("C", 1), doc("D", 2001), doc("E", 5)});
        const QStringList expected{"月结-1.XLSX", "月结-2.XLSX", "月结-3.XLSX", "月结-4.XLSX"};
        QStringList written;
        for (const QString& f : sink.WrittenFiles())
            written << QFileInfo(f).fileName();
        QCOMPARE(written, expected);
        QCOMPARE(ReadFile(path), QByteArray("earlier"));
        const QList<QStringList> docs{{"A", "B"}, {"C"}, {"D"}, {"E"}};
        const QList<int> rows{2000, 1, 2001, 5};
        for (int i = 0; i < expected.size(); ++i) {
            const QString file = dir.filePath(expected[i]);
            QStringList keys;
            for (const QString& row : DataRows(file, kHeadSheetName))
                keys << Columns(row, {"A"});
            QCOMPARE(keys, docs[i]);
            QCOMPARE(DataRows(file, kDetailSheetName).size(), rows[i]);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);
    }

    // A refusal after a first part was written leaves no file at all.
    void splitRefusedLeavesNothing() {
        const QByteArray templ = BuildPlatformTemplate();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        QList<Line> many;
        for (int i = 0; i < 1999; ++i)
            many << Plain();
        {
            WorkbookDocumentSink sink(path, Learn(templ), templ);
            sink.Begin(3);
            sink.Add(Doc(QStringLiteral("A"), many));
            sink.Add(Doc(QStringLiteral("B"), {Plain(), Plain()}));
            QVERIFY_THROWS_EXCEPTION(
                ExportRefused,
                sink.Add(Doc(QStringLiteral("C"), {Catalogued(Plain(), "1", "出口零税", "")})));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Rows the template has below its headings (an example) give way to the data; the rest stays.
    void templateRowsBelowTheHeadings() {
        const QString example = QStringLiteral("<row r=\"4\">%1%2</row>\n")
                                    .arg(InlineCell(QStringLiteral("A4"), QStringLiteral("示例")),
                                         InlineCell(QStringLiteral("B4"), QStringLiteral("示例商品")));
        const QByteArray templ =
            BuildPlatformTemplate(OfficialHeadColumns(), OfficialDetailColumns(), example);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WorkbookDocumentSink sink(path, Learn(templ), templ);
        Export(sink, {Doc(QStringLiteral("ZP01"), {Plain()})});
        const QStringList detail = DataRows(path, kDetailSheetName);
        QCOMPARE(detail.size(), 1);
        QCOMPARE(Columns(detail.first(), {"A", "B"}), QStringLiteral("ZP01|电脑"));
        const QString before = QString::fromUtf8(ByName(ZipEntries(templ, true))[kDetailPart].data);
        const QString after = QString::fromUtf8(ByName(ZipEntries(ReadFile(path), true))[kDetailPart].data);
        const qsizetype at = before.indexOf(example);
        QVERIFY(after.startsWith(before.left(at)));
        QVERIFY(after.endsWith(before.mid(at + example.size())));
    }

    // The official template itself, where the shared data folder is at hand.
    void officialTemplate() {
        if (!QFile::exists(OfficialPath()))
            QSKIP("the official template is not at hand (../shared/data beside the repository)");
        const QByteArray templ = ReadFile(OfficialPath());
        const WorkbookLayout layout = Learn(templ);
        QCOMPARE(layout.head.name, kHeadSheetName);
        QCOMPARE(layout.detail.name, kDetailSheetName);
        QCOMPARE(layout.head.headerRow, 3);
        QCOMPARE(layout.detail.headerRow, 3);
        QCOMPARE(layout.head.columns.size(), 39);
        QCOMPARE(layout.detail.columns.size(), 14);
        QCOMPARE(layout.version, QStringLiteral("pt:20260401"));
        const QList<PlatformColumn> head = OfficialHeadColumns(), detail = OfficialDetailColumns();
        for (int c = 0; c < head.size(); ++c)
            QCOMPARE(layout.head.columns[c].heading, head[c].heading.simplified());
        for (int c = 0; c < detail.size(); ++c)
            QCOMPARE(layout.detail.columns[c].heading, detail[c].heading.simplified());
        QCOMPARE(ColumnAt(layout.head, "Y")->heading, QStringLiteral("每千克煤炭 发热量"));
        QCOMPARE(ColumnAt(layout.head, "A")->limit, 20);
        QCOMPARE(ColumnAt(layout.head, "F")->limit, 100);
        QCOMPARE(ColumnAt(layout.head, "W")->limit, 230);
        QCOMPARE(ColumnAt(layout.head, "B")->choices, (QStringList{"增值税专用发票", "普通发票"}));
        QCOMPARE(ColumnAt(layout.detail, "I")->limit, 8);
        QCOMPARE(ColumnAt(layout.detail, "L")->choices.size(), 20);
        QVERIFY(ColumnAt(layout.detail, "L")->choices.contains(QStringLiteral("即征即退50%")));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WorkbookDocumentSink sink(path, layout, templ);
        Export(sink,
               {Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                                             With(Goods(QStringLiteral("服务"), "2", "50", "90", "5.4", "6"),
                                                  QStringLiteral("折扣金额"), "10")})});
        CompareWithTemplate(templ, ReadFile(path),
                            {{kHeadPart, OfficialHeadStyle}, {kDetailPart, OfficialDetailStyle}});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(ZipEntries(ReadFile(path), false).size(), 19);
        QCOMPARE(Columns(DataRows(path, kHeadSheetName).value(0), {"A", "B", "D", "F"}),
                 QStringLiteral("ZP01|增值税专用发票|否|甲公司"));
        QCOMPARE(DataRows(path, kDetailSheetName).value(1),
                 QStringLiteral("A=ZP01|B=服务|C=%1|E=台|F=2|G=50|H=100.00|I=0.06|J=10.00|K=否").arg(kCode));
        XlsxReader reader(path);
        QCOMPARE(reader.rows(*reader.sheet(QStringLiteral("excelVersion"))).last().text(0),
                 QStringLiteral("pt:20260401"));
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "test_workbook.moc"
