// The platform's workbook filled: the rows written, refusals and the split into several files.
#include "test_workbook.h"

namespace {
// The catalogue's values of a product: 优惠政策标识, 优惠政策说明, 零税率标识.
Line catalogued(Line line, const QString& flag, const QString& text, const QString& zeroRate) {
    line.insert(QStringLiteral("优惠政策标识"), flag);
    line.insert(QStringLiteral("优惠政策说明"), text);
    line.insert(QStringLiteral("零税率标识"), zeroRate);
    return line;
}

SinkDocument withHead(SinkDocument d, const QString& field, const QString& value) {
    d.head.insert(field, value);
    return d;
}

Line plain() {
    return goods(QStringLiteral("电脑"), "1", "1", "1", "0.13");
}

const QHash<QString, int (*)(int)> kOfficialParts{{kHeadPart, headColumnStyle},
                                                  {kDetailPart, detailColumnStyle}};
} // namespace

// The workbook is the template filled in: two documents, one with a discounted line.
void TestWorkbook::filledTemplate() {
    QTemporaryDir dir;
    const QByteArray templ = buildPlatformTemplate();
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    writeFile(path, "earlier");
    WorkbookDocumentSink sink(path, learn(templ), templ);
    sink.begin(2);
    sink.add(withHead(makeDoc(QStringLiteral("ZP01"),
                              {goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                               goods(QStringLiteral("鼠标"), "3", "0.000000123", "1.005", "0.6", "6")}),
                      QStringLiteral("备注"), QStringLiteral(" 合同A-1\n第二行")));
    // 金额 before the discount on the same row: the line's 不含税金额 is net of it.
    SinkDocument second = makeDoc(
        QStringLiteral("PT02-1"),
        {with(goods(QStringLiteral("服务"), "2", "50", "90", "5.4", "6"), QStringLiteral("折扣金额"), "10")},
        QStringLiteral("乙公司"));
    second.invoiceKind = QStringLiteral("普通发票");
    sink.add(second);
    QCOMPARE(readFile(path), QByteArray("earlier"));
    sink.commit();
    QCOMPARE(sink.writtenFiles(), QStringList{QDir::toNativeSeparators(path)});
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden) == QStringList{"out.xlsx"});

    compareWithTemplate(templ, readFile(path), kOfficialParts);
    if (QTest::currentTestFailed()) return;
    const QStringList head = dataRows(path, kHeadSheetName);
    QCOMPARE(head,
             (QStringList{
                 "A=ZP01|B=增值税专用发票|D=否|F=甲公司|G=91330100MA2XXXXXX1|K=杭州市文三路100号|"
                 "Q=0571-88886666|R=工商银行文三支行|S=1202 0212 0900|W= 合同A-1\n第二行|AB=建设银行西湖支行|"
                 "AC=3301 0000",
                 "A=PT02-1|B=普通发票|D=否|F=乙公司|G=91330100MA2XXXXXX1|K=杭州市文三路100号|"
                 "Q=0571-88886666|R=工商银行文三支行|S=1202 0212 0900|AB=建设银行西湖支行|AC=3301 0000"}));
    QCOMPARE(
        dataRows(path, kDetailSheetName),
        (QStringList{
            QStringLiteral("A=ZP01|B=电脑|C=%1|E=台|F=2|G=1130.5|H=2261.00|I=0.13|K=否").arg(kCode),
            QStringLiteral("A=ZP01|B=鼠标|C=%1|E=台|F=3|G=0.000000123|H=1.01|I=0.06|K=否").arg(kCode),
            QStringLiteral("A=PT02-1|B=服务|C=%1|E=台|F=2|G=50|H=100.00|I=0.06|J=10.00|K=否").arg(kCode)}));
}

// What the program fills unless the link maps it: 发票类型, 是否含税, the code, 是否使用优惠政策 and
// 优惠政策类型 from the catalogue; an 出口退税 line at rate 0 without a preference.
void TestWorkbook::programFilled_data() {
    QTest::addColumn<SinkDocument>("doc");
    QTest::addColumn<bool>("oldHeading"); // the code column as older templates name it
    QTest::addColumn<QString>("head");    // B|D: 发票类型|是否含税
    QTest::addColumn<QString>("detail");  // C|I|K|L: code|税率|是否使用优惠政策|优惠政策类型
    const Line plain = goods(QStringLiteral("电脑"), "1", "100", "100", "13");
    const SinkDocument special = makeDoc(QStringLiteral("ZP01"), {plain});
    SinkDocument ordinary = special;
    ordinary.invoiceKind = QStringLiteral("普通发票");
    QTest::newRow("special invoice") << special << false << "增值税专用发票|否" << kCode + "|0.13|否|";
    QTest::newRow("ordinary invoice") << ordinary << false << "普通发票|否" << kCode + "|0.13|否|";
    QTest::newRow("the link maps 发票类型 and 是否含税")
        << withHead(withHead(special, QStringLiteral("发票类型"), QStringLiteral("普通发票")),
                    QStringLiteral("是否含税"), QStringLiteral("是"))
        << false << "普通发票|是" << kCode + "|0.13|否|";
    QTest::newRow("the old heading of the code")
        << special << true << "增值税专用发票|否" << kCode + "|0.13|否|";
    QTest::newRow("a preference of the list")
        << makeDoc(QStringLiteral("ZP01"), {catalogued(with(plain, QStringLiteral("税率"), "0.03"), "1",
                                                       QStringLiteral("简易征收"), "")})
        << false << "增值税专用发票|否" << kCode + "|0.03|是|简易征收";
    QTest::newRow("免税") << makeDoc(QStringLiteral("ZP01"),
                                     {catalogued(with(plain, QStringLiteral("税率"), "0"), "1",
                                                 QStringLiteral("免税"), "1")})
                          << false << "增值税专用发票|否" << kCode + "|0|是|免税";
    QTest::newRow("出口退税") << makeDoc(QStringLiteral("ZP01"),
                                         {catalogued(with(plain, QStringLiteral("税率"), "0"), "1",
                                                     QStringLiteral("出口零税"), "0")})
                              << false << "增值税专用发票|否" << kCode + "|0|否|";
    QTest::newRow("出口退税 at the line's rate")
        << makeDoc(QStringLiteral("ZP01"), {catalogued(plain, "1", QStringLiteral("出口零税"), "0")}) << false
        << "增值税专用发票|否" << kCode + "|0|否|";
    QTest::newRow("普通零税率") << makeDoc(
                                       QStringLiteral("ZP01"),
                                       {catalogued(with(plain, QStringLiteral("税率"), "0"), "0", "", "3")})
                                << false << "增值税专用发票|否" << kCode + "|0|否|";
    QTest::newRow("a 说明 without the flag")
        << makeDoc(QStringLiteral("ZP01"), {catalogued(plain, "0", QStringLiteral("出口零税"), "")}) << false
        << "增值税专用发票|否" << kCode + "|0.13|否|";
    QTest::newRow("the link maps 是否使用优惠政策")
        << makeDoc(QStringLiteral("ZP01"),
                   {with(plain, QStringLiteral("是否使用优惠政策"), QStringLiteral("是"))})
        << false << "增值税专用发票|否" << kCode + "|0.13|是|";
}

void TestWorkbook::programFilled() {
    QFETCH(SinkDocument, doc);
    QFETCH(bool, oldHeading);
    QFETCH(QString, head);
    QFETCH(QString, detail);
    QList<PlatformColumn> detailColumns = officialDetailColumns();
    if (oldHeading) detailColumns[2].heading = QStringLiteral("商品和服务税收分类编码");
    const QByteArray templ = buildPlatformTemplate(officialHeadColumns(), detailColumns);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    WorkbookDocumentSink sink(path, learn(templ), templ);
    runExport(sink, {doc});
    QCOMPARE(columns(dataRows(path, kHeadSheetName).value(0), {"B", "D"}), head);
    QCOMPARE(columns(dataRows(path, kDetailSheetName).value(0), {"C", "I", "K", "L"}), detail);
}

// The platform's limits, each column on its own, in characters; its lists. The last value accepted,
// one more refused naming the document; the preview's check refuses alike, and an earlier file stays.
void TestWorkbook::refusals_data() {
    QTest::addColumn<SinkDocument>("doc");
    QTest::addColumn<QString>("message"); // empty: accepted
    const QList<Line> lines{plain()};
    const SinkDocument base = makeDoc(QStringLiteral("ZP01"), lines);
    QTest::newRow("key of 20") << makeDoc(QString(20, u'9'), lines) << QString();
    // A longer 单据号 keeps its last 20 characters; alike after that, two invoices are refused.
    QTest::newRow("key of 21") << makeDoc(QString(21, u'9'), lines) << QString();
    QTest::newRow("key of 21 alike after the cut")
        << makeDoc(u'B' + QString(20, u'A'), lines)
        << QStringLiteral(
               "发票“%1”与发票“B%1”的发票流水号截为20个字符后都是“%1”，电子发票平台不能区分，引出失败！")
               .arg(QString(20, u'A'));
    // 100 characters where 100 GBK bytes were once the limit.
    QTest::newRow("buyer of 100 characters")
        << makeDoc(QStringLiteral("ZP01"), lines, QString(100, u'甲')) << QString();
    QTest::newRow("buyer of 100 with one outside the BMP")
        << makeDoc(QStringLiteral("ZP01"), lines, QString(99, u'甲') + QStringLiteral("𠀀")) << QString();
    QTest::newRow("buyer of 101 characters")
        << makeDoc(QStringLiteral("ZP01"), lines, QString(100, u'甲') + "A")
        << QStringLiteral("发票“ZP01”的购买方名称“%1A”超过平台模板限定的100个字符，引出失败！")
               .arg(QString(100, u'甲'));
    QTest::newRow("address of 100 with its phone")
        << withHead(base, QStringLiteral("购方地址电话"), QString(100, u'路') + " 0571-88888888")
        << QString();
    QTest::newRow("phone of 51") << withHead(base, QStringLiteral("购方地址电话"),
                                             QStringLiteral("杭州 ") + QString(51, u'8'))
                                 << QStringLiteral(
                                        "发票“ZP01”的购买方电话“%1”超过平台模板限定的50个字符，引出失败！")
                                        .arg(QString(51, u'8'));
    QTest::newRow("备注 of 230") << withHead(base, QStringLiteral("备注"), QString(230, u'注')) << QString();
    QTest::newRow("备注 of 231") << withHead(base, QStringLiteral("备注"), QString(231, u'注'))
                                 << QStringLiteral(
                                        "发票“ZP01”的备注“%1”超过平台模板限定的230个字符，引出失败！")
                                        .arg(QString(231, u'注'));
    QTest::newRow("项目名称 of 101")
        << makeDoc(QStringLiteral("ZP01"),
                   {plain(), with(plain(), QStringLiteral("货物名称"), QString(101, u'货'))})
        << QStringLiteral("发票“ZP01”第2行的项目名称“%1”超过平台模板限定的100个字符，引出失败！")
               .arg(QString(101, u'货'));
    QTest::newRow("a 说明 not in the template's list")
        << makeDoc(QStringLiteral("ZP01"), {catalogued(plain(), "1", QStringLiteral("出口零税"), "")})
        << QStringLiteral(
               "发票“ZP01”第1行的商品“电脑”的优惠政策类型“出口零税”不在平台模板的下拉列表中，引出失败！");
    QTest::newRow("a 发票类型 not in the list")
        << withHead(base, QStringLiteral("发票类型"), QStringLiteral("专票"))
        << QStringLiteral("发票“ZP01”的发票类型“专票”不在平台模板的下拉列表中，引出失败！");
    QTest::newRow("a control character")
        << withHead(base, QStringLiteral("备注"), QStringLiteral("a\x01b"))
        << QStringLiteral("发票“ZP01”的备注“a\x01b”含有工作簿不能容纳的控制字符，引出失败！");
}

void TestWorkbook::refusals() {
    QFETCH(SinkDocument, doc);
    QFETCH(QString, message);
    const QByteArray templ = buildPlatformTemplate();
    const WorkbookLayout layout = learn(templ);
    const SinkDocument first = makeDoc(QString(20, u'A'), {plain()});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    writeFile(path, "earlier");
    {
        WorkbookDocumentSink preview(path, layout, templ);
        preview.check(first);
        try {
            preview.check(doc);
            QVERIFY2(message.isEmpty(), "accepted");
        } catch (const ExportRefused& r) {
            QCOMPARE(r.description(), message);
        }
    }
    WorkbookDocumentSink sink(path, layout, templ);
    sink.begin(2);
    sink.add(first);
    try {
        sink.add(doc);
        QVERIFY2(message.isEmpty(), "accepted");
        sink.commit();
        QCOMPARE(dataRows(path, kHeadSheetName).size(), 2);
    } catch (const ExportRefused& r) {
        QCOMPARE(r.description(), message);
        QCOMPARE(readFile(path), QByteArray("earlier"));
    }
}

// Over 2,000 detail rows the export writes NAME-1.xlsx, NAME-2.xlsx, … of whole documents, a document
// over the limit alone; the target itself stays as it was.
void TestWorkbook::splitAt2000Rows() {
    const QByteArray templ = buildPlatformTemplate();
    const WorkbookLayout layout = learn(templ);
    auto doc = [](const QString& no, int lines) {
        QList<Line> l;
        for (int i = 0; i < lines; ++i)
            l << goods(QStringLiteral("货%1").arg(i), "1", "1", "1", "0.13");
        return makeDoc(no, l);
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("月结.XLSX"));
    writeFile(path, "earlier");
    WorkbookDocumentSink sink(path, layout, templ);
    runExport(sink, {doc("A", 1200), doc("B", 800), doc("C", 1), doc("D", 2001), doc("E", 5)});
    const QStringList expected{"月结-1.XLSX", "月结-2.XLSX", "月结-3.XLSX", "月结-4.XLSX"};
    QStringList written;
    for (const QString& f : sink.writtenFiles())
        written << QFileInfo(f).fileName();
    QCOMPARE(written, expected);
    QCOMPARE(readFile(path), QByteArray("earlier"));
    const QList<QStringList> docs{{"A", "B"}, {"C"}, {"D"}, {"E"}};
    const QList<int> rows{2000, 1, 2001, 5};
    for (int i = 0; i < expected.size(); ++i) {
        const QString file = dir.filePath(expected[i]);
        QStringList keys;
        for (const QString& row : dataRows(file, kHeadSheetName))
            keys << columns(row, {"A"});
        QCOMPARE(keys, docs[i]);
        QCOMPARE(dataRows(file, kDetailSheetName).size(), rows[i]);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);
}

// A refusal after a first part was written leaves no file at all.
void TestWorkbook::splitRefusedLeavesNothing() {
    const QByteArray templ = buildPlatformTemplate();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    QList<Line> many;
    for (int i = 0; i < 1999; ++i)
        many << plain();
    {
        WorkbookDocumentSink sink(path, learn(templ), templ);
        sink.begin(3);
        sink.add(makeDoc(QStringLiteral("A"), many));
        sink.add(makeDoc(QStringLiteral("B"), {plain(), plain()}));
        QVERIFY_THROWS_EXCEPTION(
            ExportRefused,
            sink.add(makeDoc(QStringLiteral("C"), {catalogued(plain(), "1", "出口零税", "")})));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Rows the template has below its headings (an example) give way to the data; the rest stays.
void TestWorkbook::templateRowsBelowTheHeadings() {
    const QString example = QStringLiteral("<row r=\"4\">%1%2</row>\n")
                                .arg(inlineCell(QStringLiteral("A4"), QStringLiteral("示例")),
                                     inlineCell(QStringLiteral("B4"), QStringLiteral("示例商品")));
    const QByteArray templ = buildPlatformTemplate(officialHeadColumns(), officialDetailColumns(), example);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    WorkbookDocumentSink sink(path, learn(templ), templ);
    runExport(sink, {makeDoc(QStringLiteral("ZP01"), {plain()})});
    const QStringList detail = dataRows(path, kDetailSheetName);
    QCOMPARE(detail.size(), 1);
    QCOMPARE(columns(detail.first(), {"A", "B"}), QStringLiteral("ZP01|电脑"));
    const QString before = QString::fromUtf8(byName(zipEntries(templ, true))[kDetailPart].data);
    const QString after = QString::fromUtf8(byName(zipEntries(readFile(path), true))[kDetailPart].data);
    const qsizetype at = before.indexOf(example);
    QVERIFY(after.startsWith(before.left(at)));
    QVERIFY(after.endsWith(before.mid(at + example.size())));
}

// A cell's text in the sheet is the very bytes QXmlStreamWriter gave it (earlier exports compare member by
// member with later ones), and it reads back as written, less what XML cannot hold.
void TestWorkbook::cellsEscapedAsBefore_data() {
    QTest::addColumn<QString>("remark");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("markup") << "A&B <c> \"d\" 'e' ]]>"
                            << "A&B <c> \"d\" 'e' ]]>";
    // A line break reads back as XML normalises it.
    QTest::newRow("blanks kept") << " 合同\tA-1\r\n第二行 "
                                 << " 合同\tA-1\n第二行 ";
    QTest::newRow("outside the BMP") << QStringLiteral("𠀀号😀") << QStringLiteral("𠀀号😀");
    QTest::newRow("not a character") << QStringLiteral("a\uFFFEb\uFFFF") << "ab";
    QTest::newRow("entity-like") << "&amp;&#10;"
                                 << "&amp;&#10;";
}

void TestWorkbook::cellsEscapedAsBefore() {
    QFETCH(QString, remark);
    QFETCH(QString, readBack);
    QTemporaryDir dir;
    const QByteArray templ = buildPlatformTemplate();
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    WorkbookDocumentSink sink(path, learn(templ), templ);
    sink.begin(1);
    sink.add(withHead(makeDoc(QStringLiteral("ZP01"), {plain()}), QStringLiteral("备注"), remark));
    sink.commit();
    const QString head = QString::fromUtf8(byName(zipEntries(readFile(path), true)).value(kHeadPart).data);
    const qsizetype from = head.indexOf(QStringLiteral("<c r=\"W4\""));
    QVERIFY(from >= 0);
    const QString written = head.mid(from, head.indexOf(QStringLiteral("</c>"), from) + 4 - from);
    QString expected;
    QXmlStreamWriter w(&expected);
    w.writeStartElement(QStringLiteral("c"));
    w.writeAttribute(QStringLiteral("r"), QStringLiteral("W4"));
    if (headColumnStyle(22) >= 0) w.writeAttribute(QStringLiteral("s"), QString::number(headColumnStyle(22)));
    w.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
    w.writeStartElement(QStringLiteral("is"));
    w.writeStartElement(QStringLiteral("t"));
    if (remark.front().isSpace() || remark.back().isSpace())
        w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
    w.writeCharacters(remark);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    QCOMPARE(written, expected);
    QCOMPARE(columns(dataRows(path, kHeadSheetName).value(0), {"W"}), readBack);
}

// 金额 with two decimals, half up in decimal, whether the database gives it plainly or not.
void TestWorkbook::amountsInCents_data() {
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("written");
    QTest::newRow("one decimal") << "1130.5"
                                 << "1130.50";
    QTest::newRow("whole, negative") << "-3"
                                     << "-3.00";
    QTest::newRow("no whole part") << ".25"
                                   << "0.25";
    QTest::newRow("point last") << "1."
                                << "1.00";
    QTest::newRow("half a cent up") << "0.0051"
                                    << "0.01";
    QTest::newRow("under half a cent") << "0.0049"
                                       << "0.00";
    QTest::newRow("signed, half up") << "+2.675"
                                     << "2.68";
    QTest::newRow("negative rounding to zero") << "-0.001"
                                               << "0.00";
    QTest::newRow("leading zeros") << "007.10"
                                   << "7.10";
    QTest::newRow("blanks around") << " 12.5 "
                                   << "12.50";
    QTest::newRow("exponent") << "1.2e3"
                              << "1200.00";
    // The template allows 金额 16 characters.
    QTest::newRow("three decimals, half up") << "1234567890.125"
                                             << "1234567890.13";
    QTest::newRow("no number: as it is") << "约100"
                                         << "约100";
}

void TestWorkbook::amountsInCents() {
    QFETCH(QString, amount);
    QFETCH(QString, written);
    QTemporaryDir dir;
    const QByteArray templ = buildPlatformTemplate();
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    WorkbookDocumentSink sink(path, learn(templ), templ);
    sink.begin(1);
    sink.add(makeDoc(QStringLiteral("ZP01"), {goods(QStringLiteral("电脑"), "1", "1", amount, amount)}));
    sink.commit();
    QCOMPARE(columns(dataRows(path, kDetailSheetName).value(0), {"H"}), written);
}
