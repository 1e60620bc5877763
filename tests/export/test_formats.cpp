// The XML file of the invoicing software, read back after writing.
#include "common/GbkCodec.h"
#include "export/ExportWriter.h"
#include "export/XmlDocumentSink.h"
#include <QtTest/QtTest>

namespace {

using Line = QHash<QString, QString>;
using Docs = QList<SinkDocument>;

const QString kCode = QStringLiteral("1090511030000000000");

Line goods(const QString& name, const QString& qty, const QString& price, const QString& amount,
           const QString& tax, const QString& rate = QStringLiteral("0.13")) {
    return Line{{QStringLiteral("货物名称"), name},      {QStringLiteral("数量"), qty},
                {QStringLiteral("单价"), price},         {QStringLiteral("不含税金额"), amount},
                {QStringLiteral("税额"), tax},           {QStringLiteral("税率"), rate},
                {QStringLiteral("税收分类编码"), kCode}, {QStringLiteral("计量单位"), QStringLiteral("台")}};
}

Line with(Line line, const QString& field, const QString& value) {
    if (value.isNull())
        line.remove(field);
    else
        line.insert(field, value);
    return line;
}

SinkDocument makeDoc(const QString& docNo, const QList<Line>& lines,
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

SinkDocument withHead(SinkDocument d, const QString& field, const QString& value) {
    d.head.insert(field, value);
    return d;
}

void runExport(DocumentSink& sink, const Docs& docs) {
    sink.begin(int(docs.size()));
    for (const SinkDocument& d : docs)
        sink.add(d);
    sink.commit();
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
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
ParsedXml parseXml(const QString& path) {
    ParsedXml out;
    const QByteArray bytes = fileBytes(path);
    [&] { QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n")); }();
    QString text;
    [&] { QVERIFY(decodeGbk(bytes, text)); }();
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

QString sphText(const QHash<QString, QString>& s) {
    QStringList v;
    for (const char* tag : {"Xh", "Spmc", "Dj", "Sl", "Je", "Slv", "Se"})
        v << s.value(QLatin1String(tag));
    return v.join(u'|');
}
} // namespace

Q_DECLARE_METATYPE(SinkDocument)

class TestFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One document per row: the head values and each Sph as "Xh|Spmc|Dj|Sl|Je|Slv|Se".
    void xmlDocument_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("head"); // Djh|Gfmc|Hsbz|Spbmbbh|Bz
        QTest::addColumn<QStringList>("sph");

        QTest::newRow("plain lines, rate as a percentage")
            << makeDoc(QStringLiteral("ZP01"),
                       {goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                        goods(QStringLiteral("鼠标"), "1", "10", "10", "0.6", "6")})
            << QStringLiteral("ZP01|甲公司|0|48.0|")
            << QStringList{"1|电脑|1130.50000000|2|2261.00|0.13|293.93",
                           "2|鼠标|10.00000000|1|10.00|0.06|0.60"};
        // Hsbz 1 would mean the special rates: a price with tax goes out without it.
        QTest::newRow("a price with tax goes out without it")
            << makeDoc(QStringLiteral("ZP02"), {with(goods(QStringLiteral("电脑"), "1", "113", "100", "13"),
                                                     QStringLiteral("价格方式"), "1"),
                                                with(goods(QStringLiteral("键盘"), "1", "113", "100", "13"),
                                                     QStringLiteral("价格方式"), "0")})
            << QStringLiteral("ZP02|甲公司|0|48.0|")
            << QStringList{"1|电脑|100.00000000|1|100.00|0.13|13.00",
                           "2|键盘|113.00000000|1|100.00|0.13|13.00"};
        // The line's amount and tax are net of its discount: the discounted line goes out before the
        // discount (单价 × 数量), the discount line right after it takes the discount off once.
        QTest::newRow("discounted line")
            << makeDoc(QStringLiteral("ZP03"),
                       {with(with(goods(QStringLiteral("电脑"), "2", "50", "90", "11.7"),
                                  QStringLiteral("折扣金额"), "10"),
                             QStringLiteral("折扣税额"), "1.3"),
                        with(goods(QStringLiteral("鼠标"), "1", "10", "10", "1.3"),
                             QStringLiteral("折扣金额"), "0")})
            << QStringLiteral("ZP03|甲公司|0|48.0|")
            << QStringList{"1|电脑|50.00000000|2|100.00|0.13|13.00", "2|电脑|||-10.00|0.13|-1.30",
                           "3|鼠标|10.00000000|1|10.00|0.13|1.30"};
        QTest::newRow("discount tax not mapped")
            << makeDoc(QStringLiteral("ZP04"),
                       {with(goods(QStringLiteral("电脑"), "1", "100", "96.67", "12.57"),
                             QStringLiteral("折扣金额"), "3.33")})
            << QStringLiteral("ZP04|甲公司|0|48.0|")
            << QStringList{"1|电脑|100.00000000|1|100.00|0.13|13.00", "2|电脑|||-3.33|0.13|-0.43"};
        QTest::newRow("amounts rounded half up in decimal")
            << makeDoc(QStringLiteral("ZP06"),
                       {goods(QStringLiteral("电脑"), "1", "0.123456785", "1.005", "0.125")})
            << QStringLiteral("ZP06|甲公司|0|48.0|") << QStringList{"1|电脑|0.12345679|1|1.01|0.13|0.13"};
        QTest::newRow("a name at its byte limit")
            << makeDoc(QStringLiteral("ZP0123456789012345678").left(20),
                       {goods(QString(50, u'机'), "1", "1", "1", "0.13")}, QString(50, u'甲'))
            << QStringLiteral("ZP012345678901234567|") + QString(50, u'甲') + QStringLiteral("|0|48.0|")
            << QStringList{"1|" + QString(50, u'机') + "|1.00000000|1|1.00|0.13|0.13"};
        // A name that already carries its short name (the link writes it) is not counted twice.
        QTest::newRow("a name with its short name at the byte limit")
            << makeDoc(QStringLiteral("ZP07"),
                       {with(goods("*家具*" + QString(45, u'椅'), "1", "1", "1", "0.13"),
                             QStringLiteral("简称"), QStringLiteral("家具"))})
            << QStringLiteral("ZP07|甲公司|0|48.0|")
            << QStringList{"1|*家具*" + QString(45, u'椅') + "|1.00000000|1|1.00|0.13|0.13"};
        QTest::newRow("a name and the short name put before it at the limit")
            << makeDoc(QStringLiteral("ZP08"), {with(goods(QString(47, u'椅'), "1", "1", "1", "0.13"),
                                                     QStringLiteral("简称"), "家具")})
            << QStringLiteral("ZP08|甲公司|0|48.0|")
            << QStringList{"1|" + QString(47, u'椅') + "|1.00000000|1|1.00|0.13|0.13"};
        QTest::newRow("markup characters and line breaks")
            << withHead(makeDoc(QStringLiteral("ZP&05"),
                                {goods(QStringLiteral("A&B <C> \"D\" 'E'"), "1", "1", "1", "0.13")},
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
        runExport(sink, {doc, makeDoc(QStringLiteral("LAST"),
                                      {goods(QStringLiteral("尾"), "1", "1", "1", "0.13")})});
        const ParsedXml xml = parseXml(path);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(xml.version, QStringLiteral("2.0"));
        QCOMPARE(xml.zsl, QStringLiteral("2"));
        QCOMPARE(xml.fps.size(), 2);
        const QHash<QString, QString>& fp = xml.fps.first();
        QCOMPARE(QStringList({fp["Djh"], fp["Gfmc"], fp["Hsbz"], fp["Spbmbbh"], fp["Bz"]}).join(u'|'), head);
        QStringList got;
        for (const auto& s : xml.sphs.first()) {
            got << sphText(s);
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
        runExport(sink, {makeDoc(QStringLiteral("A<1>"),
                                 {goods(QStringLiteral("\"x\"&'y'"), "1", "1", "1", "0")})});
        QString text;
        QVERIFY(decodeGbk(fileBytes(path), text));
        QVERIFY(text.contains(QStringLiteral("<Ggxh></Ggxh>")));
        QVERIFY(text.contains(QStringLiteral("<Djh>A&lt;1&gt;</Djh>")));
        QVERIFY(text.contains(QStringLiteral("<Spmc>&quot;x&quot;&amp;&apos;y&apos;</Spmc>")));
        QVERIFY(text.endsWith(QStringLiteral("</Kp>\r\n")));
    }

    // A refusal names the document and leaves an earlier file as it was.
    void xmlRefused_data() {
        QTest::addColumn<SinkDocument>("doc");
        QTest::addColumn<QString>("message");
        const Line ok = goods(QStringLiteral("电脑"), "1", "1", "1", "0.13");
        QTest::newRow("not GBK") << makeDoc(QStringLiteral("ZP01"),
                                            {ok, with(ok, QStringLiteral("规格"), "型号😀")})
                                 << QStringLiteral(
                                        "发票“ZP01”的值“型号😀”含有GBK编码不能表示的字符，引出失败！");
        QTest::newRow("not GBK in the head")
            << makeDoc(QStringLiteral("ZP02"), {ok}, QStringLiteral("甲𠀀公司"))
            << QStringLiteral("发票“ZP02”的值“甲𠀀公司”含有GBK编码不能表示的字符，引出失败！");
        QTest::newRow("no tax code") << makeDoc(QStringLiteral("ZP03"),
                                                {ok, with(with(ok, QStringLiteral("税收分类编码"), QString()),
                                                          QStringLiteral("货物名称"), "键盘")})
                                     << QStringLiteral(
                                            "发票“ZP03”第2行的商品“键盘”没有税收分类编码，引出失败！");
        QTest::newRow("empty tax code")
            << makeDoc(QStringLiteral("ZP04"), {with(ok, QStringLiteral("税收分类编码"), " ")})
            << QStringLiteral("发票“ZP04”第1行的商品“电脑”没有税收分类编码，引出失败！");
        QTest::newRow("no version of the code table")
            << withHead(makeDoc(QStringLiteral("ZP06"), {ok}), QStringLiteral("编码版本号"), QString())
            << QStringLiteral("税收分类编码版本号为空，引出失败！");
        // The byte limits of the invoicing software's sample, a Chinese character counting two.
        const QString limit =
            QStringLiteral("发票“%1”的%2(%3)“%4”超过%5个字节（一个汉字占2个字节），引出失败！");
        const QString longName = QString(51, u'甲');
        QTest::newRow("Djh over 20 bytes")
            << makeDoc(QStringLiteral("ZP0123456789012345678"), {ok})
            << limit.arg("ZP0123456789012345678", "单据号", "Djh", "ZP0123456789012345678").arg(20);
        QTest::newRow("Gfmc over 100 bytes") << makeDoc(QStringLiteral("ZP07"), {ok}, longName)
                                             << limit.arg("ZP07", "购方名称", "Gfmc", longName).arg(100);
        QTest::newRow("Spmc with its short name")
            << makeDoc(QStringLiteral("ZP08"),
                       {with(ok, QStringLiteral("货物名称"), "*计算机*" + QString(47, u'机'))})
            << limit.arg("ZP08", "商品名称", "Spmc", "*计算机*" + QString(47, u'机')).arg(100);
        // The invoicing software writes *简称* before the name: 96 bytes of name and *家具* are 102.
        const QString shortLimit = QStringLiteral(
            "发票“%1”第%2行的商品名称(Spmc)“%3”加上开票软件写在前面的“%4”共%5个字节，超过100个字节（一个"
            "汉字占2个字节），引出失败！");
        const QString name96 = QString(48, u'椅');
        QTest::newRow("Spmc and the short name put before it")
            << makeDoc(QStringLiteral("ZP13"), {ok, with(with(ok, QStringLiteral("货物名称"), name96),
                                                         QStringLiteral("简称"), QStringLiteral("家具"))})
            << shortLimit.arg("ZP13").arg(2).arg(name96, "*家具*").arg(102);
        QTest::newRow("Spmc and a short name over by one byte")
            << makeDoc(QStringLiteral("ZP14"), {with(with(ok, QStringLiteral("货物名称"), name96 + "ab"),
                                                     QStringLiteral("简称"), QStringLiteral("Z"))})
            << shortLimit.arg("ZP14").arg(1).arg(name96 + "ab", "*Z*").arg(101);
        QTest::newRow("Fhr over 8 bytes") << withHead(makeDoc(QStringLiteral("ZP09"), {ok}),
                                                      QStringLiteral("复核人"), QStringLiteral("欧阳复核A"))
                                          << limit.arg("ZP09", "复核人", "Fhr", "欧阳复核A").arg(8);
        QTest::newRow("Skr over 8 bytes") << withHead(makeDoc(QStringLiteral("ZP10"), {ok}),
                                                      QStringLiteral("收款人"), QStringLiteral("欧阳收款人"))
                                          << limit.arg("ZP10", "收款人", "Skr", "欧阳收款人").arg(8);
        QTest::newRow("Ggxh over 40 bytes")
            << makeDoc(QStringLiteral("ZP11"), {with(ok, QStringLiteral("规格"), QString(41, u'x'))})
            << limit.arg("ZP11", "规格型号", "Ggxh", QString(41, u'x')).arg(40);
        QTest::newRow("Yhzcsm over 50 bytes")
            << makeDoc(QStringLiteral("ZP12"), {with(ok, QStringLiteral("优惠政策说明"), QString(26, u'税'))})
            << limit.arg("ZP12", "优惠政策说明", "Yhzcsm", QString(26, u'税')).arg(50);
        QTest::newRow("control character")
            << withHead(makeDoc(QStringLiteral("ZP05"), {ok}), QStringLiteral("备注"),
                        QStringLiteral("a\x01b"))
            << QStringLiteral("发票“ZP05”的值“a\x01b”含有XML文件不能容纳的控制字符，引出失败！");
    }
    void xmlRefused() {
        QFETCH(SinkDocument, doc);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        writeBytes(path, "earlier");
        {
            XmlDocumentSink sink(path);
            sink.begin(2);
            sink.add(makeDoc(QStringLiteral("ZP00"), {goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
            try {
                sink.add(doc);
                QFAIL("not refused");
            } catch (const ExportRefused& r) {
                QCOMPARE(r.description(), message);
            }
        }
        QCOMPARE(fileBytes(path), QByteArray("earlier"));
    }

    void xmlReplacesOnlyOnCommit() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.xml"));
        writeBytes(path, "earlier");
        XmlDocumentSink sink(path);
        sink.begin(1);
        sink.add(makeDoc(QStringLiteral("ZP01"), {goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
        QCOMPARE(fileBytes(path), QByteArray("earlier"));
        sink.commit();
        QCOMPARE(parseXml(path).fps.size(), 1);

        // Fewer documents than announced would leave a wrong Zsl: nothing is replaced.
        writeBytes(path, "earlier");
        XmlDocumentSink shortSink(path);
        shortSink.begin(2);
        shortSink.add(
            makeDoc(QStringLiteral("ZP01"), {goods(QStringLiteral("电脑"), "1", "1", "1", "0.13")}));
        QVERIFY_THROWS_EXCEPTION(DbError, shortSink.commit());
        QCOMPARE(fileBytes(path), QByteArray("earlier"));
    }

    void testTaxRateFraction_data() {
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
    void testTaxRateFraction() {
        QFETCH(QString, rate);
        QFETCH(QString, fraction);
        QCOMPARE(taxRateFraction(rate), fraction);
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "test_formats.moc"
