// The XML file of the invoicing software and the e-invoice platform's workbook, read back after writing.
#include "common/GbkCodec.h"
#include "export/ExportWriter.h"
#include "export/WorkbookDocumentSink.h"
#include "export/XmlDocumentSink.h"
#include <QtTest/QtTest>
#include <xlsxwriter.h>

namespace {

using Line = QHash<QString, QString>;
using Docs = QList<SinkDocument>;

const QString kCode = QStringLiteral("1090511030000000000");

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

SinkDocument Doc(const QString& docNo, const QList<Line>& lines,
                 const QString& buyer = QStringLiteral("甲公司")) {
    SinkDocument d;
    d.docNo = docNo;
    d.head = {{QStringLiteral("单据号"), docNo},
              {QStringLiteral("购方名称"), buyer},
              {QStringLiteral("购方税号"), QStringLiteral("91330100MA2XXXXXX1")},
              {QStringLiteral("购方地址电话"), QStringLiteral("杭州市文三路100号 0571-88886666")},
              {QStringLiteral("购方银行帐号"), QStringLiteral("工商银行文三支行 1202 0212 0900")},
              {QStringLiteral("编码版本号"), QStringLiteral("48.0")}};
    d.lines = lines;
    return d;
}

SinkDocument WithHead(SinkDocument d, const QString& field, const QString& value) {
    d.head.insert(field, value);
    return d;
}

void Export(DocumentSink& sink, const Docs& docs) {
    sink.Begin(int(docs.size()));
    for (const SinkDocument& d : docs)
        sink.Add(d);
    sink.Commit();
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// ---- The XML file as the invoicing software reads it.

const QStringList kFpTags{"Djh", "Gfmc", "Gfsh",    "Gfyhzh", "Gfdzdh", "Bz",
                          "Fhr", "Skr",  "Spbmbbh", "Hsbz",   "Spxx"};
// Nothing else: the invoicing software's sample has no other element in Sph.
const QStringList kSphTags{"Xh",     "Spmc", "Ggxh", "Jldw", "Spbm", "Qyspbm", "Syyhzcbz", "Lslbz",
                           "Yhzcsm", "Dj",   "Sl",   "Je",   "Slv",  "Se",     "Kce"};

struct ParsedXml {
    QString version, zsl;
    QList<QHash<QString, QString>> fps;
    QList<QList<QHash<QString, QString>>> sphs;
};

// Parses the file and checks that every Fp and Sph has all its elements in order.
ParsedXml ParseXml(const QString& path) {
    ParsedXml out;
    const QByteArray bytes = FileBytes(path);
    [&] { QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n")); }();
    QString text;
    [&] { QVERIFY(DecodeGbk(bytes, text)); }();
    QXmlStreamReader r(text);
    auto children = [&r](QStringList& order) {
        QHash<QString, QString> values;
        while (r.readNextStartElement()) {
            order << r.name().toString();
            if (r.name() == u"Spxx") return values; // left open for the caller
            values.insert(r.name().toString(), r.readElementText());
        }
        return values;
    };
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == u"Version") out.version = r.readElementText();
        if (r.name() == u"Zsl") out.zsl = r.readElementText();
        if (r.name() == u"Fp") {
            QStringList order;
            out.fps << children(order);
            [&] { QCOMPARE(order, kFpTags); }();
            out.sphs << QList<QHash<QString, QString>>();
            while (r.readNextStartElement()) {
                QStringList sphOrder;
                out.sphs.last() << children(sphOrder);
                [&] { QCOMPARE(sphOrder, kSphTags); }();
            }
        }
    }
    [&] { QVERIFY2(!r.hasError(), qPrintable(r.errorString())); }();
    return out;
}

QString SphText(const QHash<QString, QString>& s) {
    QStringList v;
    for (const char* tag : {"Xh", "Spmc", "Dj", "Sl", "Je", "Slv", "Se"})
        v << s.value(QLatin1String(tag));
    return v.join(u'|');
}

// ---- A template of the platform, made up here: its own sheet names, a notes sheet, headings with the
// marks of required columns, a heading the program does not know.

struct TemplateSheet {
    QString name;
    int headerRow; // 1-based
    QStringList headings;
};

void WriteTemplate(const QString& path, const QList<TemplateSheet>& sheets, bool inlineStrings) {
    lxw_workbook_options options{};
    options.constant_memory = inlineStrings ? LXW_TRUE : LXW_FALSE; // inline strings instead of shared ones
    lxw_workbook* book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    QVERIFY(book);
    for (const TemplateSheet& s : sheets) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, s.name.toUtf8().constData());
        for (int c = 0; c < s.headings.size(); ++c)
            worksheet_write_string(sheet, lxw_row_t(s.headerRow - 1), lxw_col_t(c),
                                   s.headings[c].toUtf8().constData(), nullptr);
    }
    QCOMPARE(workbook_close(book), LXW_NO_ERROR);
}

const TemplateSheet kNotes{QStringLiteral("填写说明"), 1, {QStringLiteral("请按模板填写")}};
const TemplateSheet kHeadSheet{QStringLiteral("1-发票基础信息"),
                               3,
                               {QStringLiteral("*发票流水号"), QStringLiteral("发票类型"),
                                QStringLiteral("*购买方名称"), QStringLiteral("购买方纳税人识别号"),
                                QStringLiteral("购买方地址"), QStringLiteral("电话"),
                                QStringLiteral("购买方开户银行"), QStringLiteral("银行账号"),
                                QStringLiteral("备注（选填）"), QStringLiteral("序号")}};
const TemplateSheet kDetailSheet{QStringLiteral("2-发票明细信息"),
                                 1,
                                 {QStringLiteral("*发票流水号"), QStringLiteral("序号"),
                                  QStringLiteral("*项目名称"), QStringLiteral("商品和服务税收分类编码"),
                                  QStringLiteral("规格型号"), QStringLiteral("单位"), QStringLiteral("数量"),
                                  QStringLiteral("单价"), QStringLiteral("*金额"), QStringLiteral("*税率"),
                                  QStringLiteral("税额"), QStringLiteral("购买方名称")}};

const QStringList kHeadValues{"发票流水号",   "",         "购方名称", "购方税号", "购方地址", "购方电话",
                              "购方开户银行", "购方账号", "备注",     "序号"};
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

// A row read back as text; a number cell is marked with '#'.
QString RowText(const QList<WorkbookCell>& row) {
    QStringList v;
    for (const WorkbookCell& c : row)
        v << (c.number ? u'#' + c.text : c.text);
    return v.join(u'|');
}

WorkbookLayout LearntLayout(const QString& dir) {
    const QString path = dir + QStringLiteral("/template.xlsx");
    WriteTemplate(path, {kNotes, kHeadSheet, kDetailSheet}, false);
    return LearnWorkbookLayout(path);
}

} // namespace

Q_DECLARE_METATYPE(SinkDocument)
Q_DECLARE_METATYPE(TemplateSheet)

class TestFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One document per row: the head values and each Sph as "Xh|Spmc|Dj|Sl|Je|Slv|Se".
    void xmlDocument_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("head"); // Djh|Gfmc|Hsbz|Spbmbbh|Bz
        QTest::addColumn<QStringList>("sph");

        QTest::newRow("plain lines, rate as a percentage")
            << Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                                            Goods(QStringLiteral("鼠标"), "1", "10", "10", "0.6", "6")})
            << QStringLiteral("ZP01|甲公司|0|48.0|")
            << QStringList{"1|电脑|1130.50000000|2|2261.00|0.13|293.93",
                           "2|鼠标|10.00000000|1|10.00|0.06|0.60"};
        // Hsbz 1 would mean the special rates: a price with tax goes out without it.
        QTest::newRow("a price with tax goes out without it")
            << Doc(QStringLiteral("ZP02"), {With(Goods(QStringLiteral("电脑"), "1", "113", "100", "13"),
                                                 QStringLiteral("价格方式"), "1"),
                                            With(Goods(QStringLiteral("键盘"), "1", "113", "100", "13"),
                                                 QStringLiteral("价格方式"), "0")})
            << QStringLiteral("ZP02|甲公司|0|48.0|")
            << QStringList{"1|电脑|100.00000000|1|100.00|0.13|13.00",
                           "2|键盘|113.00000000|1|100.00|0.13|13.00"};
        // The line's amount and tax are net of its discount: the discounted line goes out before the
        // discount (单价 × 数量), the discount line right after it takes the discount off once.
        QTest::newRow("discounted line")
            << Doc(QStringLiteral("ZP03"), {With(With(Goods(QStringLiteral("电脑"), "2", "50", "90", "11.7"),
                                                      QStringLiteral("折扣金额"), "10"),
                                                 QStringLiteral("折扣税额"), "1.3"),
                                            With(Goods(QStringLiteral("鼠标"), "1", "10", "10", "1.3"),
                                                 QStringLiteral("折扣金额"), "0")})
            << QStringLiteral("ZP03|甲公司|0|48.0|")
            << QStringList{"1|电脑|50.00000000|2|100.00|0.13|13.00", "2|电脑|||-10.00|0.13|-1.30",
                           "3|鼠标|10.00000000|1|10.00|0.13|1.30"};
        QTest::newRow("discount tax not mapped")
            << Doc(QStringLiteral("ZP04"), {With(Goods(QStringLiteral("电脑"), "1", "100", "96.67", "12.57"),
                                                 QStringLiteral("折扣金额"), "3.33")})
            << QStringLiteral("ZP04|甲公司|0|48.0|")
            << QStringList{"1|电脑|100.00000000|1|100.00|0.13|13.00", "2|电脑|||-3.33|0.13|-0.43"};
        QTest::newRow("amounts rounded half up in decimal")
            << Doc(QStringLiteral("ZP06"),
                   {Goods(QStringLiteral("电脑"), "1", "0.123456785", "1.005", "0.125")})
            << QStringLiteral("ZP06|甲公司|0|48.0|") << QStringList{"1|电脑|0.12345679|1|1.01|0.13|0.13"};
        QTest::newRow("a name at its byte limit")
            << Doc(QStringLiteral("ZP0123456789012345678").left(20),
                   {Goods(QString(50, u'机'), "1", "1", "1", "0.13")}, QString(50, u'甲'))
            << QStringLiteral("ZP012345678901234567|") + QString(50, u'甲') + QStringLiteral("|0|48.0|")
            << QStringList{"1|" + QString(50, u'机') + "|1.00000000|1|1.00|0.13|0.13"};
        QTest::newRow("markup characters and line breaks")
            << WithHead(Doc(QStringLiteral("ZP&05"),
                            {Goods(QStringLiteral("A&B <C> \"D\" 'E'"), "1", "1", "1", "0.13")},
                            QStringLiteral("<甲>&'乙'")),
                        QStringLiteral("备注"), QStringLiteral("第一行\r\n第二行"))
            << QStringLiteral("ZP&05|<甲>&'乙'|0|48.0|第一行\r\n第二行")
            << QStringList{"1|A&B <C> \"D\" 'E'|1.00000000|1|1.00|0.13|0.13"};
    }
    void xmlDocument() {
        QFETCH(SinkDocument, doc);
        QFETCH(QString, head);
        QFETCH(QStringList, sph);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        XmlDocumentSink sink(path);
        Export(sink,
               {doc, Doc(QStringLiteral("LAST"), {Goods(QStringLiteral("尾"), "1", "1", "1", "0.13")})});
        const ParsedXml xml = ParseXml(path);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(xml.version, QStringLiteral("2.0"));
        QCOMPARE(xml.zsl, QStringLiteral("2"));
        QCOMPARE(xml.fps.size(), 2);
        const QHash<QString, QString>& fp = xml.fps.first();
        QCOMPARE(QStringList({fp["Djh"], fp["Gfmc"], fp["Hsbz"], fp["Spbmbbh"], fp["Bz"]}).join(u'|'), head);
        QStringList got;
        for (const auto& s : xml.sphs.first()) {
            got << SphText(s);
            QCOMPARE(s["Spbm"], kCode);
            QCOMPARE(s["Syyhzcbz"], QStringLiteral("0"));
            QCOMPARE(s["Kce"], QString());
        }
        QCOMPARE(got, sph);
        // The second document numbers its lines from 1 again.
        QCOMPARE(xml.sphs.last().first()["Xh"], QStringLiteral("1"));
    }

    void xmlEmptyElementsAndEscapes() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        XmlDocumentSink sink(path);
        Export(sink, {Doc(QStringLiteral("A<1>"), {Goods(QStringLiteral("\"x\"&'y'"), "1", "1", "1", "0")})});
        QString text;
        QVERIFY(DecodeGbk(FileBytes(path), text));
        QVERIFY(text.contains(QStringLiteral("<Ggxh></Ggxh>")));
        QVERIFY(text.contains(QStringLiteral("<Djh>A&lt;1&gt;</Djh>")));
        QVERIFY(text.contains(QStringLiteral("<Spmc>&quot;x&quot;&amp;&apos;y&apos;</Spmc>")));
        QVERIFY(text.endsWith(QStringLiteral("</Kp>\r\n")));
    }

    // A refusal names the document and leaves an earlier file as it was.
    void xmlRefused_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("message");
        const Line ok = Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13");
        QTest::newRow("not GBK") << Doc(QStringLiteral("ZP01"),
                                        {ok, With(ok, QStringLiteral("规格"), "型号😀")})
                                 << QStringLiteral(
                                        "发票“ZP01”的值“型号😀”含有GBK编码不能表示的字符，引出失败！");
        QTest::newRow("not GBK in the head")
            << Doc(QStringLiteral("ZP02"), {ok}, QStringLiteral("甲𠀀公司"))
            << QStringLiteral("发票“ZP02”的值“甲𠀀公司”含有GBK编码不能表示的字符，引出失败！");
        QTest::newRow("no tax code") << Doc(QStringLiteral("ZP03"),
                                            {ok, With(With(ok, QStringLiteral("税收分类编码"), QString()),
                                                      QStringLiteral("货物名称"), "键盘")})
                                     << QStringLiteral(
                                            "发票“ZP03”第2行的商品“键盘”没有税收分类编码，引出失败！");
        QTest::newRow("empty tax code")
            << Doc(QStringLiteral("ZP04"), {With(ok, QStringLiteral("税收分类编码"), " ")})
            << QStringLiteral("发票“ZP04”第1行的商品“电脑”没有税收分类编码，引出失败！");
        QTest::newRow("no version of the code table")
            << WithHead(Doc(QStringLiteral("ZP06"), {ok}), QStringLiteral("编码版本号"), QString())
            << QStringLiteral("税收分类编码版本号为空，引出失败！");
        // The byte limits of the invoicing software's sample, a Chinese character counting two.
        const QString limit =
            QStringLiteral("发票“%1”的%2(%3)“%4”超过%5个字节（一个汉字占2个字节），引出失败！");
        const QString longName = QString(51, u'甲');
        QTest::newRow("Djh over 20 bytes")
            << Doc(QStringLiteral("ZP0123456789012345678"), {ok})
            << limit.arg("ZP0123456789012345678", "单据号", "Djh", "ZP0123456789012345678").arg(20);
        QTest::newRow("Gfmc over 100 bytes") << Doc(QStringLiteral("ZP07"), {ok}, longName)
                                             << limit.arg("ZP07", "购方名称", "Gfmc", longName).arg(100);
        QTest::newRow("Spmc with its short name")
            << Doc(QStringLiteral("ZP08"),
                   {With(ok, QStringLiteral("货物名称"), "*计算机*" + QString(47, u'机'))})
            << limit.arg("ZP08", "商品名称", "Spmc", "*计算机*" + QString(47, u'机')).arg(100);
        QTest::newRow("Fhr over 8 bytes") << WithHead(Doc(QStringLiteral("ZP09"), {ok}),
                                                      QStringLiteral("复核人"), QStringLiteral("欧阳复核A"))
                                          << limit.arg("ZP09", "复核人", "Fhr", "欧阳复核A").arg(8);
        QTest::newRow("Skr over 8 bytes") << WithHead(Doc(QStringLiteral("ZP10"), {ok}),
                                                      QStringLiteral("收款人"), QStringLiteral("欧阳收款人"))
                                          << limit.arg("ZP10", "收款人", "Skr", "欧阳收款人").arg(8);
        QTest::newRow("Ggxh over 40 bytes")
            << Doc(QStringLiteral("ZP11"), {With(ok, QStringLiteral("规格"), QString(41, u'x'))})
            << limit.arg("ZP11", "规格型号", "Ggxh", QString(41, u'x')).arg(40);
        QTest::newRow("Yhzcsm over 50 bytes")
            << Doc(QStringLiteral("ZP12"), {With(ok, QStringLiteral("优惠政策说明"), QString(26, u'税'))})
            << limit.arg("ZP12", "优惠政策说明", "Yhzcsm", QString(26, u'税')).arg(50);
        QTest::newRow("control character")
            << WithHead(Doc(QStringLiteral("ZP05"), {ok}), QStringLiteral("备注"), QStringLiteral("a\x01b"))
            << QStringLiteral("发票“ZP05”的值“a\x01b”含有XML文件不能容纳的控制字符，引出失败！");
    }
    void xmlRefused() {
        QFETCH(SinkDocument, doc);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        WriteBytes(path, "earlier");
        {
            XmlDocumentSink sink(path);
            sink.Begin(2);
            sink.Add(Doc(QStringLiteral("ZP00"), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
            try {
                sink.Add(doc);
                QFAIL("not refused");
            } catch (const ExportRefused& r) {
                QCOMPARE(r.description(), message);
            }
        }
        QCOMPARE(FileBytes(path), QByteArray("earlier"));
    }

    void xmlReplacesOnlyOnCommit() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        WriteBytes(path, "earlier");
        XmlDocumentSink sink(path);
        sink.Begin(1);
        sink.Add(Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
        QCOMPARE(FileBytes(path), QByteArray("earlier"));
        sink.Commit();
        QCOMPARE(ParseXml(path).fps.size(), 1);

        // Fewer documents than announced would leave a wrong Zsl: nothing is replaced.
        WriteBytes(path, "earlier");
        XmlDocumentSink shortSink(path);
        shortSink.Begin(2);
        shortSink.Add(Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
        QVERIFY_THROWS_EXCEPTION(DbError, shortSink.Commit());
        QCOMPARE(FileBytes(path), QByteArray("earlier"));
    }

    void taxRateFraction_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("fraction");
        QTest::newRow("fraction") << "0.13"
                                  << "0.13";
        QTest::newRow("percentage") << "13"
                                    << "0.13";
        QTest::newRow("with percent sign") << "9%"
                                           << "0.09";
        QTest::newRow("one percent") << "1"
                                     << "0.01";
        QTest::newRow("zero") << "0"
                              << "0";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("words") << "免税"
                               << "免税";
    }
    void taxRateFraction() {
        QFETCH(QString, rate);
        QFETCH(QString, fraction);
        QCOMPARE(TaxRateFraction(rate), fraction);
    }

    // The template's sheets are found by their headings, whatever they are called and in either order,
    // with shared or inline strings.
    void learnLayout_data() {
        QTest::addColumn<QList<TemplateSheet>>("sheets");
        QTest::addColumn<bool>("inlineStrings");
        QTest::addColumn<bool>("detailFirst");
        QTest::newRow("shared strings")
            << QList<TemplateSheet>{kNotes, kHeadSheet, kDetailSheet} << false << false;
        QTest::newRow("inline strings, detail first")
            << QList<TemplateSheet>{kDetailSheet, kNotes, kHeadSheet} << true << true;
    }
    void learnLayout() {
        QFETCH(QList<TemplateSheet>, sheets);
        QFETCH(bool, inlineStrings);
        QFETCH(bool, detailFirst);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("template.xlsx"));
        WriteTemplate(path, sheets, inlineStrings);
        const WorkbookLayout layout = LearnWorkbookLayout(path);
        QCOMPARE(layout.head.name, kHeadSheet.name);
        QCOMPARE(layout.head.headerRow, 3);
        QCOMPARE(HeadingsOf(layout.head), kHeadSheet.headings);
        QCOMPARE(ValuesOf(layout.head), kHeadValues);
        QCOMPARE(layout.detail.name, kDetailSheet.name);
        QCOMPARE(layout.detail.headerRow, 1);
        QCOMPARE(HeadingsOf(layout.detail), kDetailSheet.headings);
        QCOMPARE(ValuesOf(layout.detail), kDetailValues);
        QCOMPARE(layout.detailFirst, detailFirst);
    }

    void learnRefused_data() {
        QTest::addColumn<QList<TemplateSheet>>("sheets"); // empty: a file that is no workbook
        QTest::addColumn<QString>("message");
        QTest::newRow("no workbook") << QList<TemplateSheet>{} << QStringLiteral("不是Excel工作簿");
        QTest::newRow("no detail sheet")
            << QList<TemplateSheet>{kNotes, kHeadSheet}
            << QStringLiteral("中没有发票明细信息（列标题含“发票流水号”和“项目名称”）的工作表");
        QTest::newRow("no head sheet")
            << QList<TemplateSheet>{kDetailSheet}
            << QStringLiteral("中没有发票基本信息（列标题含“发票流水号”和“购买方名称”）的工作表");
        QTest::newRow("head without key")
            << QList<TemplateSheet>{{QStringLiteral("基础"), 1, {QStringLiteral("购买方名称")}}, kDetailSheet}
            << QStringLiteral("中没有发票基本信息");
    }
    void learnRefused() {
        QFETCH(QList<TemplateSheet>, sheets);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("template.xlsx"));
        if (sheets.isEmpty())
            WriteBytes(path, "发票流水号,购买方名称\r\n");
        else
            WriteTemplate(path, sheets, false);
        try {
            LearnWorkbookLayout(path);
            QFAIL("learnt");
        } catch (const DbError& e) {
            QVERIFY2(e.description().contains(message), qPrintable(e.description()));
        }
    }

    void layoutJson() {
        QTemporaryDir dir;
        const WorkbookLayout layout = LearntLayout(dir.path());
        const std::optional<WorkbookLayout> back = WorkbookLayout::FromJson(layout.ToJson());
        QVERIFY(back);
        QVERIFY(*back == layout);
    }

    void layoutJsonRefused_data() {
        QTest::addColumn<QString>("json");
        const QString sheet = QStringLiteral(
            R"({"sheet":"%1","headerRow":%2,"columns":[{"heading":"发票流水号","value":"发票流水号"}]})");
        auto layout = [&](const QString& head, const QString& detail) {
            return QStringLiteral(R"({"head":%1,"detail":%2})").arg(head, detail);
        };
        QTest::newRow("not JSON") << "{head:";
        QTest::newRow("an array") << "[]";
        QTest::newRow("no detail") << QStringLiteral(R"({"head":%1})").arg(sheet.arg("A").arg(1));
        QTest::newRow("row 0") << layout(sheet.arg("A").arg(0), sheet.arg("B").arg(1));
        QTest::newRow("no sheet name") << layout(sheet.arg("").arg(1), sheet.arg("B").arg(1));
        QTest::newRow("one sheet twice") << layout(sheet.arg("A").arg(1), sheet.arg("A").arg(1));
        QTest::newRow("no columns") << layout(sheet.arg("A").arg(1),
                                              R"({"sheet":"B","headerRow":1,"columns":[]})");
    }
    void layoutJsonRefused() {
        QFETCH(QString, json);
        QVERIFY(!WorkbookLayout::FromJson(json));
    }

    // Two documents through the learnt layout: headings at the learnt rows, one head row per document and
    // one detail row per line, numbers as number cells and codes as text.
    void workbookRoundTrip() {
        QTemporaryDir dir;
        const WorkbookLayout layout = LearntLayout(dir.path());
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WriteBytes(path, "earlier");
        WorkbookDocumentSink sink(path, layout);
        sink.Begin(2);
        sink.Add(WithHead(
            Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                                         Goods(QStringLiteral("鼠标"), "1", "10", "10", "0.6", "6")}),
            QStringLiteral("备注"), QStringLiteral("合同A-1")));
        sink.Add(WithHead(
            Doc(QStringLiteral("ZP02-1"),
                {With(Goods(QStringLiteral("服务"), "", "", "100", "6", "6"), QStringLiteral("规格"), "X")},
                QStringLiteral("乙公司")),
            QStringLiteral("购方地址电话"), QStringLiteral("北京市海淀区")));
        QCOMPARE(FileBytes(path), QByteArray("earlier"));
        sink.Commit();

        QCOMPARE(WorkbookSheetNames(path), QStringList({kHeadSheet.name, kDetailSheet.name}));
        const QList<QList<WorkbookCell>> head = ReadWorkbookSheet(path, kHeadSheet.name);
        QCOMPARE(head.size(), 5);
        QVERIFY(head[0].isEmpty() && head[1].isEmpty());
        QCOMPARE(RowText(head[2]), kHeadSheet.headings.join(u'|'));
        QCOMPARE(RowText(head[3]),
                 QStringLiteral("ZP01||甲公司|91330100MA2XXXXXX1|杭州市文三路100号|0571-88886666|"
                                "工商银行文三支行|1202 0212 0900|合同A-1|#1"));
        QCOMPARE(RowText(head[4]), QStringLiteral("ZP02-1||乙公司|91330100MA2XXXXXX1|北京市海淀区||"
                                                  "工商银行文三支行|1202 0212 0900||#2"));
        const QList<QList<WorkbookCell>> detail = ReadWorkbookSheet(path, kDetailSheet.name);
        QCOMPARE(detail.size(), 4);
        QCOMPARE(RowText(detail[0]), kDetailSheet.headings.join(u'|'));
        QCOMPARE(RowText(detail[1]),
                 QStringLiteral("ZP01|#1|电脑|%1||台|#2|#1130.5|#2261|#0.13|#293.93|甲公司").arg(kCode));
        QCOMPARE(RowText(detail[2]),
                 QStringLiteral("ZP01|#2|鼠标|%1||台|#1|#10|#10|#0.06|#0.6|甲公司").arg(kCode));
        QCOMPARE(RowText(detail[3]),
                 QStringLiteral("ZP02-1|#1|服务|%1|X|台|||#100|#0.06|#6|乙公司").arg(kCode));
        QVERIFY(
            QDir(dir.path()).entryList({QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden).isEmpty());
    }

    // A workbook link that maps the template's own address, phone, bank and account columns fills them
    // itself; without them, they are cut from the combined fields.
    void workbookSeparateColumns() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WorkbookDocumentSink sink(path, LearntLayout(dir.path()));
        SinkDocument own =
            Doc(QStringLiteral("ZP01"), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")});
        own.head.insert(QStringLiteral("购方地址"), QStringLiteral("杭州市文三路1号"));
        own.head.insert(QStringLiteral("购方电话"), QStringLiteral("0571-1234567"));
        own.head.insert(QStringLiteral("购方开户银行"), QStringLiteral("工行文三支行"));
        own.head.insert(QStringLiteral("购方账号"), QStringLiteral("1202 0000 1111"));
        const SinkDocument combined =
            WithHead(Doc(QStringLiteral("ZP02"), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}),
                     QStringLiteral("购方地址电话"), QStringLiteral("南京市中山路2号 025-7654321"));
        sink.Begin(2);
        sink.Add(own);
        sink.Add(combined);
        sink.Commit();
        const auto head = ReadWorkbookSheet(path, kHeadSheet.name);
        const int address = int(kHeadValues.indexOf(QStringLiteral("购方地址")));
        QStringList cells;
        for (int c = address; c < address + 4; ++c)
            cells << head.value(3).value(c).text;
        for (int c = address; c < address + 2; ++c)
            cells << head.value(4).value(c).text;
        QCOMPARE(cells, (QStringList{"杭州市文三路1号", "0571-1234567", "工行文三支行", "1202 0000 1111",
                                     "南京市中山路2号", "025-7654321"}));
    }

    // The platform's limits: the last value accepted, one more refused naming the document.
    void workbookLimits_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("message"); // empty: accepted
        const QList<Line> lines{Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")};
        const SinkDocument base = Doc(QStringLiteral("ZP01"), lines);
        QTest::newRow("key of 20") << Doc(QString(20, u'9'), lines) << QString();
        // A longer 单据号 keeps its last 20 characters; alike after that, two invoices are refused.
        QTest::newRow("key of 21") << Doc(QString(21, u'9'), lines) << QString();
        QTest::newRow("key of 21 alike after the cut")
            << Doc(u'B' + QString(20, u'A'), lines)
            << QStringLiteral(
                   "发票“%1”与发票“B%1”的发票流水号截为20个字符后都是“%1”，电子发票平台不能区分，引出失败！")
                   .arg(QString(20, u'A'));
        QTest::newRow("buyer of 100 bytes")
            << Doc(QStringLiteral("ZP01"), lines, QString(49, u'甲') + "AB") << QString();
        QTest::newRow("buyer of 101 bytes")
            << Doc(QStringLiteral("ZP01"), lines, QString(50, u'甲') + "A")
            << QStringLiteral("发票“ZP01”的购买方名称“%1A”超过100个字节，引出失败！").arg(QString(50, u'甲'));
        // The blank between them is not counted.
        QTest::newRow("address and phone of 100 bytes")
            << WithHead(base, QStringLiteral("购方地址电话"), QString(44, u'路') + " 0571-8888888")
            << QString();
        QTest::newRow("address and phone of 101 bytes")
            << WithHead(base, QStringLiteral("购方地址电话"), QString(44, u'路') + " 0571-88888888")
            << QStringLiteral("发票“ZP01”的购买方地址和电话“%1 0571-88888888”合计超过100个字节，引出失败！")
                   .arg(QString(44, u'路'));
        QTest::newRow("bank and account of 101 bytes")
            << WithHead(base, QStringLiteral("购方银行帐号"), QString(40, u'行') + " 6222 0000 1111 2222 333")
            << QStringLiteral("发票“ZP01”的购买方开户银行和银行账号“%1 6222 0000 1111 2222 "
                              "333”合计超过100个字节，引出失败！")
                   .arg(QString(40, u'行'));
    }
    void workbookLimits() {
        QFETCH(SinkDocument, doc);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xlsx"));
        WriteBytes(path, "earlier");
        WorkbookDocumentSink sink(path, LearntLayout(dir.path()));
        sink.Begin(2);
        sink.Add(Doc(QString(20, u'A'), {Goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
        try {
            sink.Add(doc);
            QVERIFY2(message.isEmpty(), "accepted");
            sink.Commit();
            QCOMPARE(ReadWorkbookSheet(path, kHeadSheet.name).size(), 5);
        } catch (const ExportRefused& r) {
            QCOMPARE(r.description(), message);
            QCOMPARE(FileBytes(path), QByteArray("earlier"));
        }
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "test_formats.moc"
