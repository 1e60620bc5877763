// The workbook reader: sheets, cells as text with their kind, stops, and files past the caps.
#include "common/SheetXml.h"
#include "common/XlsxReader.h"
#include "support/XlsxBuilder.h"
#include <QBuffer>
#include <QtTest/QtTest>

namespace {

// A sheet of rows, each given as its cells' XML.
QString sheetRows(const QStringList& rows) {
    QString xml;
    for (int r = 0; r < rows.size(); ++r)
        if (!rows[r].isNull()) xml += QStringLiteral("<row r=\"%1\">%2</row>\n").arg(r + 1).arg(rows[r]);
    return sheetXml(xml);
}

QByteArray styles(const QList<QPair<int, QString>>& formats) {
    QString fmts, xfs = QStringLiteral("<xf numFmtId=\"0\"/>");
    for (const auto& [id, code] : formats) {
        if (!code.isEmpty())
            fmts += QStringLiteral("<numFmt numFmtId=\"%1\" formatCode=\"%2\"/>")
                        .arg(id)
                        .arg(code.toHtmlEscaped());
        xfs += QStringLiteral("<xf numFmtId=\"%1\"/>").arg(id);
    }
    return QStringLiteral(
               "<?xml version=\"1.0\"?><styleSheet "
               "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts>%1</numFmts>"
               "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs>%2</cellXfs></styleSheet>")
        .arg(fmts, xfs)
        .toUtf8();
}

QString describe(const XlsxRow& row) {
    QStringList cells;
    for (const XlsxCell& c : row.cells) {
        QString t = xlsxColumnName(c.column) + u'=' + c.text;
        if (c.number) t += u'#';
        if (c.date) t += u'@' + c.dateTime.toString(Qt::ISODate);
        cells << t;
    }
    return QString::number(row.number) + u':' + cells.join(u',');
}

// One cell in column XFD on every row: the file that used to take gigabytes.
QByteArray farRightCells(int rows, int from = 1) {
    QStringList r;
    for (int i = 1; i <= rows; ++i)
        r << (i < from ? inlineCell(QStringLiteral("A%1").arg(i), QStringLiteral("标题"))
                       : inlineCell(QStringLiteral("XFD%1").arg(i), QStringLiteral("x")));
    return buildXlsx({{QStringLiteral("S"), sheetRows(r)}});
}

// A sheet's XML as one of its readers gives it: "r:ref/type/style/v/inline" per cell, rows on lines, and
// the complaint at the end where the XML is broken.
QString sheetAsRead(SheetXml& xml) {
    QStringList out;
    QString r;
    SheetCell c;
    while (xml.nextRow(r)) {
        QStringList cells;
        while (xml.nextCell(c))
            cells << QStringList{c.ref, c.type,       QString::number(c.style),
                                 c.v,   c.inlineText, c.hasValue ? QStringLiteral("value") : QString()}
                         .join(u'/');
        out << r + u':' + cells.join(u'|');
    }
    if (!xml.error().isEmpty()) out << QStringLiteral("broken");
    return out.join(u'\n');
}

XlsxCaps caps(int rows, int columns, qint64 partSize, int strings) {
    XlsxCaps c;
    c.maxRows = rows;
    c.maxColumns = columns;
    c.maxPartSize = partSize;
    c.maxSharedStrings = strings;
    return c;
}
} // namespace

Q_DECLARE_METATYPE(XlsxCaps)

class TestXlsx : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void testColumnNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("column");
        QTest::newRow("A") << "A1" << 0;
        QTest::newRow("Z") << "Z9" << 25;
        QTest::newRow("AA") << "AA" << 26;
        QTest::newRow("AM") << "AM3" << 38;
        QTest::newRow("XFD, the last") << "XFD1048576" << 16383;
        QTest::newRow("XFE, past the last") << "XFE1" << -1;
        QTest::newRow("four letters") << "AAAA1" << -1;
        QTest::newRow("no letters") << "12" << -1;
    }
    void testColumnNames() {
        QFETCH(QString, name);
        QFETCH(int, column);
        QCOMPARE(xlsxColumnOf(name), column);
        if (column >= 0) QCOMPARE(xlsxColumnName(column) + name.mid(xlsxColumnName(column).size()), name);
    }

    // Sheets in order with their state and part; cells of every kind; only the cells that hold a value.
    void sheetsAndCells() {
        const QByteArray bytes = buildXlsx(
            {{QStringLiteral("甲"),
              sheetRows({inlineCell("A1", "发票流水号") + QStringLiteral("<c r=\"B1\" t=\"s\"><v>1</v></c>"),
                         QString(),
                         numberCell("A3", "1130.50") + numberCell("B3", "1.5E-7") +
                             QStringLiteral("<c r=\"C3\" t=\"b\"><v>1</v></c><c r=\"D3\" s=\"1\"/>"
                                            "<c r=\"E3\" t=\"str\"><f>A1</f><v>x</v></c>"),
                         QStringLiteral("<c r=\"H4\" t=\"s\"><v>0</v></c>") + inlineCell("GR4", "远处")})},
             {QStringLiteral("隐藏"), sheetRows({inlineCell("A1", "1")}), true},
             {QStringLiteral("空"),
              sheetRows({QStringLiteral("<c r=\"A1\" t=\"inlineStr\"><is><t></t></is></c>")})}},
            {}, {QStringLiteral("共享"), QStringLiteral(" 带空格 ")});
        XlsxReader reader(bytes, QStringLiteral("book.xlsx"));
        QCOMPARE(reader.sheets().size(), 3);
        QCOMPARE(reader.sheets()[1].name, QStringLiteral("隐藏"));
        QVERIFY(reader.sheets()[1].hidden && !reader.sheets()[0].hidden);
        QCOMPARE(reader.sheets()[2].part, QStringLiteral("xl/worksheets/sheet3.xml"));
        QStringList got;
        for (const XlsxRow& row : reader.rows(reader.sheets()[0]))
            got << describe(row);
        QCOMPARE(got, (QStringList{"1:A=发票流水号,B= 带空格 ", "3:A=1130.50#,B=0.00000015#,C=1,E=x",
                                   "4:H=共享,GR=远处"}));
        QVERIFY(reader.rows(reader.sheets()[2]).isEmpty());
    }

    // A number is a date where its style's format shows one.
    void dates_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // empty: no date
        QTest::newRow("built-in 14") << 14 << ""
                                     << "45658"
                                     << "2025-01-01T00:00:00Z";
        QTest::newRow("built-in 22 with a time") << 22 << ""
                                                 << "45658.5"
                                                 << "2025-01-01T12:00:00Z";
        QTest::newRow("built-in 31, 年月日") << 31 << ""
                                             << "45659"
                                             << "2025-01-02T00:00:00Z";
        QTest::newRow("before March 1900") << 14 << ""
                                           << "59"
                                           << "1900-02-28T00:00:00Z";
        QTest::newRow("general") << 0 << ""
                                 << "45658"
                                 << "";
        QTest::newRow("two decimals") << 2 << ""
                                      << "45658"
                                      << "";
        QTest::newRow("custom date") << 164 << "yyyy\\-mm\\-dd"
                                     << "45658"
                                     << "2025-01-01T00:00:00Z";
        QTest::newRow("custom Chinese date") << 165 << "[$-804]yyyy年m月d日"
                                             << "45658"
                                             << "2025-01-01T00:00:00Z";
        QTest::newRow("custom time") << 166 << "h:mm"
                                     << "0.25"
                                     << "1899-12-31T06:00:00Z";
        QTest::newRow("letters in quotes") << 167 << "\"day\"0.00"
                                           << "45658"
                                           << "";
        QTest::newRow("letters in brackets") << 168 << "[Red]0.00"
                                             << "45658"
                                             << "";
        QTest::newRow("escaped letter") << 169 << "0\\d"
                                        << "45658"
                                        << "";
        QTest::newRow("negative serial") << 14 << ""
                                         << "-1"
                                         << "";
    }
    void dates() {
        QFETCH(int, format);
        QFETCH(QString, code);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const QByteArray bytes = buildXlsx({{QStringLiteral("S"), sheetRows({numberCell("A1", value, 1)})}},
                                           styles({{format, code}}));
        XlsxReader reader(bytes, QStringLiteral("dates.xlsx"));
        const QList<XlsxRow> rows = reader.rows(reader.sheets().first());
        QCOMPARE(rows.size(), 1);
        const XlsxCell& cell = rows.first().cells.first();
        QVERIFY(cell.number);
        QCOMPARE(cell.text, value);
        QCOMPARE(cell.date, !expected.isEmpty());
        if (cell.date) QCOMPARE(cell.dateTime.toString(Qt::ISODate), expected);
    }

    // Reading stops at a given row or after the row a predicate accepts; what lies below is not read.
    void stops() {
        const QByteArray bytes = farRightCells(4000, 4);
        XlsxReader reader(bytes, QStringLiteral("far.xlsx"));
        const XlsxSheet& s = reader.sheets().first();
        QCOMPARE(reader.rows(s, XlsxStop{2, {}}).size(), 2);
        const QList<XlsxRow> rows =
            reader.rows(s, XlsxStop{0, [](const XlsxRow& r) { return r.number == 3; }});
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.last().number, 3);
    }

    // A file past a cap is refused, naming the file and the cap.
    void hostile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<XlsxCaps>("caps");
        QTest::addColumn<QString>("message");
        const XlsxCaps plain;
        QTest::newRow("a cell in column XFD on every row")
            << farRightCells(4000) << plain
            << QStringLiteral(
                   "文件“bad.xlsx”的工作表“S”第1行在第16384列（XFD）有内容，超过1024列的限制，不能读取。");
        QStringList many;
        for (int i = 1; i <= 200; ++i)
            many << numberCell(QStringLiteral("A%1").arg(i), QString::number(i));
        QTest::newRow("too many rows")
            << buildXlsx({{QStringLiteral("S"), sheetRows(many)}}) << caps(100, 10, 1 << 20, 10)
            << QStringLiteral("文件“bad.xlsx”的工作表“S”超过100行的限制，不能读取。");
        // Three megabytes of blanks pack into a few kilobytes.
        QTest::newRow("a part that unpacks past the cap")
            << buildXlsx({{QStringLiteral("S"), sheetRows({inlineCell("A1", "x") + QString(3 << 20, u' ')})}})
            << caps(100, 10, 1 << 20, 10)
            << QStringLiteral(
                   "文件“bad.xlsx”中的“xl/worksheets/sheet1.xml”解压后有3 MB，超过1 MB的限制，不能读取。");
        QStringList strings;
        for (int i = 0; i < 11; ++i)
            strings << QString::number(i);
        // Strings are read as far as a cell wants them: this one wants the eleventh.
        QTest::newRow("too many shared strings")
            << buildXlsx(
                   {{QStringLiteral("S"), sheetRows({QStringLiteral("<c r=\"A1\" t=\"s\"><v>10</v></c>")})}},
                   {}, strings)
            << caps(100, 10, 1 << 20, 10)
            << QStringLiteral("文件“bad.xlsx”的共享字符串超过10个的限制，不能读取。");
        QTest::newRow("a shared strings part that unpacks past the cap")
            << buildXlsx(
                   {{QStringLiteral("S"), sheetRows({QStringLiteral("<c r=\"A1\" t=\"s\"><v>0</v></c>")})}},
                   {}, {QString(3 << 20, u'x')})
            << caps(100, 10, 1 << 20, 10)
            << QStringLiteral(
                   "文件“bad.xlsx”中的“xl/sharedStrings.xml”解压后有3 MB，超过1 MB的限制，不能读取。");
        QTest::newRow("a shared string that is not there")
            << buildXlsx(
                   {{QStringLiteral("S"), sheetRows({QStringLiteral("<c r=\"A1\" t=\"s\"><v>7</v></c>")})}},
                   {}, {QStringLiteral("甲")})
            << plain
            << QStringLiteral(
                   "文件“bad.xlsx”中的“xl/worksheets/sheet1.xml”已损坏，无法读取：共享字符串7不存在。");
        QTest::newRow("rows out of order")
            << buildXlsx(
                   {{QStringLiteral("S"),
                     sheetXml(QStringLiteral("<row r=\"5\"><c r=\"A5\"><v>1</v></c></row><row r=\"2\"/>"))}})
            << plain
            << QStringLiteral("文件“bad.xlsx”中的“xl/worksheets/sheet1.xml”已损坏，无法读取：行号“2”无效。");
        QTest::newRow("broken XML")
            << buildXlsx(
                   {{QStringLiteral("S"), QStringLiteral("<worksheet><sheetData><row r=\"1\"><c r=\"A1\">")}})
            << plain
            << QStringLiteral(
                   "文件“bad.xlsx”中的“xl/worksheets/sheet1.xml”不是有效的XML（已损坏，或含有工作簿"
                   "不应有的实体定义），无法读取。");
        // Entities that expand a hundred-thousandfold: refused in words of ours, the parser's in the details.
        QString entities = QStringLiteral("<!ENTITY a \"aaaaaaaaaa\">");
        for (const char* e : {"b", "c", "d", "e"})
            entities += QStringLiteral("<!ENTITY %1 \"%2\">")
                            .arg(QLatin1String(e),
                                 QString(QStringLiteral("&") + QChar(e[0] - 1) + u';').repeated(10));
        QTest::newRow("entities that expand past the limit")
            << buildXlsx(
                   {{QStringLiteral("S"),
                     QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE worksheet [") + entities +
                         QStringLiteral("]><worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\">"
                                        "<is><t>&e;</t></is></c></row></sheetData></worksheet>")}})
            << plain
            << QStringLiteral(
                   "文件“bad.xlsx”中的“xl/worksheets/sheet1.xml”不是有效的XML（已损坏，或含有工作簿"
                   "不应有的实体定义），无法读取。");
        QByteArray cut = farRightCells(10);
        cut.chop(40);
        QTest::newRow("a zip cut short")
            << cut << plain << QStringLiteral("文件“bad.xlsx”不是Excel工作簿（.xlsx），无法读取。");
        QTest::newRow("no zip") << QByteArray("发票流水号,购买方名称\r\n") << plain
                                << QStringLiteral("文件“bad.xlsx”不是Excel工作簿（.xlsx），无法读取。");
    }
    void hostile() {
        QFETCH(QByteArray, bytes);
        QFETCH(XlsxCaps, caps);
        QFETCH(QString, message);
        std::unique_ptr<XlsxReader> reader;
        try {
            reader = std::make_unique<XlsxReader>(bytes, QStringLiteral("bad.xlsx"), caps);
            for (const XlsxSheet& s : reader->sheets())
                reader->rows(s);
            QFAIL("read");
        } catch (const DbError& e) {
            QVERIFY2(e.description().startsWith(message), qPrintable(e.description()));
            // What the parser said goes to the details, not into the message.
            if (message.contains(QStringLiteral("XML"))) QVERIFY(!e.cause().isEmpty());
        }
        // Asked again after a refusal, the reader refuses again: it is never left half open.
        if (reader)
            for (const XlsxSheet& s : reader->sheets())
                QVERIFY_THROWS_EXCEPTION(DbError, reader->rows(s));
    }

    // The drop-down lists: inline ones with their values, those that refer to cells without.
    // The scanner reads a sheet as the general parser does, and refuses what it refuses; what it does not
    // read (another encoding, a document type) it leaves to the parser.
    void scannerAgreesWithParser_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("scanned");
        QTest::addColumn<bool>("broken");
        const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
        const QByteArray ws =
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\">";
        auto sheet = [&](const QByteArray& data) {
            return decl + ws + "<dimension ref=\"A1:C3\"/><sheetViews><sheetView/></sheetViews><sheetData>" +
                   data + "</sheetData><pageMargins/></worksheet>";
        };
        QTest::newRow("plain cells")
            << sheet("<row r=\"1\" spans=\"1:3\" x14ac:dyDescent=\"0.25\">"
                     "<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"3\"><v>12.5</v></c>"
                     "<c r=\"C1\"/></row><row r=\"3\"/>")
            << true << false;
        QTest::newRow("references, line ends and CDATA")
            << sheet("<row r='2'><c r='A2' t='str'><v>a&amp;b &lt;&gt;&quot;&apos; "
                     "&#25105;&#x1F600;\r\nx\ry</v></c>"
                     "<c r=\"B2\" t=\"str\"><v><![CDATA[<不是标签> & ]]>尾</v></c>"
                     "<c\n r = \"C2\"\tt=\"str\"><f>1+1</f><v>2</v></c></row>")
            << true << false;
        QTest::newRow("inline strings with runs and hints")
            << sheet("<row><c t=\"inlineStr\"><is><r><rPr><b/></rPr><t>发票</t></r><r><t "
                     "xml:space=\"preserve\"> "
                     "号</t></r><rPh sb=\"0\" eb=\"1\"><t>ハツ</t></rPh></is></c><c "
                     "t=\"inlineStr\"><is><t/></is>"
                     "</c></row>")
            << true << false;
        QTest::newRow("comments, instructions and prefixes")
            << decl + "<!-- made by hand --><x:worksheet "
                      "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/"
                      "2006/main\"><x:sheetData><?pi here?><x:row r=\"1\"><!-- a cell --><x:c "
                      "r=\"A1\"><x:v>7</x:v>"
                      "</x:c></x:row></x:sheetData></x:worksheet>"
            << true << false;
        QTest::newRow("no declaration, a byte-order mark")
            << "\xEF\xBB\xBF" + ws +
                   "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v>"
                   "</c></row></sheetData></worksheet>"
            << true << false;
        QTest::newRow("blanks before a tag's end")
            << sheet("<row r=\"1\"\n><c r=\"A1\" t=\"str\" ><v>x</v></c><c r='B1'\r\n/></row>") << true
            << false;
        QTest::newRow("an empty sheet") << sheet("") << true << false;
        QTest::newRow("attributes without a blank between them")
            << sheet("<row r=\"1\"><c r=\"A1\"t=\"str\"><v>x</v></c></row>") << true << true;
        QTest::newRow("a bad attribute the reader does not use")
            << sheet("<row r=\"1\" spans=1:3><c r=\"A1\"><v>1</v></c></row>") << true << true;
        QTest::newRow("text outside the sheet")
            << "x" + decl + ws + "<sheetData/></worksheet>" << false << true;
        QTest::newRow("text before the sheet")
            << decl + "x" + ws + "<sheetData/></worksheet>" << true << true;
        QTest::newRow("no sheet data") << decl + ws + "</worksheet>" << true << false;
        QTest::newRow("cut short") << decl + ws + "<sheetData><row r=\"1\"><c r=\"A1\"><v>1" << true << true;
        QTest::newRow("tags that do not match")
            << sheet("<row r=\"1\"><c r=\"A1\"><v>1</c></v></row>") << true << true;
        QTest::newRow("an unknown entity")
            << sheet("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>&nbsp;</v></c></row>") << true << true;
        QTest::newRow("a reference to no character")
            << sheet("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>&#1;</v></c></row>") << true << true;
        QTest::newRow("an element in a value")
            << sheet("<row r=\"1\"><c r=\"A1\"><v>1<b/></v></c></row>") << true << true;
        QTest::newRow("a '<' in an attribute")
            << sheet("<row r=\"1<\"><c r=\"A1\"><v>1</v></c></row>") << true << true;
        QTest::newRow("nothing at all") << QByteArray() << true << true;
        QTest::newRow("a document type") << decl + "<!DOCTYPE worksheet [<!ENTITY a \"x\">]>" + ws +
                                                "<sheetData><row r=\"1\"><c r=\"A1\" t=\"str\"><v>&a;</v></c>"
                                                "</row></sheetData></worksheet>"
                                         << false << false;
        const QString utf16 = QString::fromUtf8("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + ws +
                                                "<sheetData><row r=\"1\"><c r=\"A1\" t=\"str\"><v>甲</v></c>"
                                                "</row></sheetData></worksheet>");
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE") +
                                       QByteArray(reinterpret_cast<const char*>(utf16.utf16()),
                                                  utf16.size() * 2)
                                << false << false;
        // An encoding every build of the parser knows (not every one knows GBK).
        QTest::newRow("declared Latin-1")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet>"
                          "<sheetData><row r=\"1\"><c r=\"A1\" t=\"str\"><v>\xE9</v>"
                          "</c></row></sheetData></worksheet>")
            << false << false;
    }
    void scannerAgreesWithParser() {
        QFETCH(QByteArray, xml);
        QFETCH(bool, scanned);
        QFETCH(bool, broken);
        QBuffer forParser(&xml), forScanner(&xml);
        forParser.open(QIODevice::ReadOnly);
        forScanner.open(QIODevice::ReadOnly);
        const QString parsed = sheetAsRead(*SheetXml::parse(forParser));
        QCOMPARE(parsed.endsWith(QStringLiteral("broken")), broken);
        const std::unique_ptr<SheetXml> scanner = SheetXml::scan(forScanner);
        QCOMPARE(bool(scanner), scanned);
        // Broken, each may have given a different part of the row it broke in before it said so: the reader
        // refuses the whole sheet either way.
        if (scanner && broken) QVERIFY(sheetAsRead(*scanner).endsWith(QStringLiteral("broken")));
        if (scanner && !broken) QCOMPARE(sheetAsRead(*scanner), parsed);
    }

    // Shared strings the same: runs joined, phonetic hints left out, references replaced, empty items kept.
    void scannedStringsAgree() {
        const QByteArray sst =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"http://schemas."
            "openxmlformats.org/spreadsheetml/2006/main\" count=\"5\" "
            "uniqueCount=\"5\"><si><t>发票号码</t></si>"
            "<si><r><rPr><sz val=\"11\"/></rPr><t xml:space=\"preserve\">甲 </t></r><r><t>&amp;乙</t></r>"
            "<rPh sb=\"0\" eb=\"1\"><t>コウ</t></rPh><phoneticPr fontId=\"1\"/></si><si/><si><t/></si>"
            "<si><t>a\r\nb&#x4E00;</t></si></sst>";
        QStringList read[2];
        for (int k = 0; k < 2; ++k) {
            QByteArray bytes = sst;
            QBuffer device(&bytes);
            device.open(QIODevice::ReadOnly);
            const std::unique_ptr<SheetXml> xml = k ? SheetXml::scan(device) : SheetXml::parse(device);
            QVERIFY(xml);
            QString text;
            while (xml->nextString(text))
                read[k] << text;
            QCOMPARE(xml->error(), QString());
        }
        QCOMPARE(read[0], (QStringList{"发票号码", "甲 &乙", "", "", "a\nb一"}));
        QCOMPARE(read[1], read[0]);
    }

    void listRules() {
        const QString after = QStringLiteral(
            "<dataValidations count=\"2\"><dataValidation type=\"list\" sqref=\"B4:B1001 "
            "D4\"><formula1>\"是, 否\""
            "</formula1></dataValidation><dataValidation type=\"list\" sqref=\"C4:C9\"><formula1>S!$A$1:$A$3"
            "</formula1></dataValidation><dataValidation type=\"whole\" sqref=\"E4\"><formula1>1</formula1>"
            "</dataValidation></dataValidations>");
        const QByteArray bytes = buildXlsx({{QStringLiteral("S"), sheetXml(QString(), QString(), after)}});
        XlsxReader reader(bytes, QStringLiteral("lists.xlsx"));
        const QList<XlsxListRule> rules = reader.listRules(reader.sheets().first());
        QCOMPARE(rules.size(), 2);
        QVERIFY(rules[0].inlineList);
        QCOMPARE(rules[0].values, (QStringList{"是", "否"}));
        QCOMPARE(rules[0].ranges.size(), 2);
        QCOMPARE(rules[0].ranges[0].firstColumn, 1);
        QCOMPARE(rules[0].ranges[0].lastRow, 1001);
        QCOMPARE(rules[0].ranges[1].firstColumn, 3);
        QVERIFY(!rules[1].inlineList && rules[1].values.isEmpty());
    }

    // A zip written anew from another: members copied as they are stored, one replaced; an extra field
    // whose block runs past its end is dropped, not read past.
    void copyAsStored_data() {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QByteArray>("extra");
        QTest::newRow("deflated") << false << QByteArray();
        QTest::newRow("stored") << true << QByteArray();
        QTest::newRow("an extra field of its own")
            << false << QByteArray("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
        QTest::newRow("an extra field that runs past its end")
            << false << QByteArray("\x01\x00\xff\x7f\x00", 5);
    }
    void copyAsStored() {
        QFETCH(bool, store);
        QFETCH(QByteArray, extra);
        const QByteArray big(100000, 'x');
        const QByteArray bytes =
            buildZip({{"a.xml", "<a>甲</a>"}, {"b.bin", big}, {"c.txt", "c"}}, store, extra);
        ZipArchive zip(bytes, QStringLiteral("in.zip"));
        QCOMPARE(zip.members().size(), 3);
        QCOMPARE(zip.member(QStringLiteral("b.bin"))->size, 100000);
        QCOMPARE(zip.read(QStringLiteral("b.bin"), 100000), big);
        QVERIFY_THROWS_EXCEPTION(DbError, zip.read(QStringLiteral("b.bin"), 99999));
        QBuffer out;
        QVERIFY(out.open(QIODevice::ReadWrite));
        ZipWriter writer(out);
        writer.copyAll(zip, {{QStringLiteral("b.bin"), QByteArray("new")}});
        writer.close();
        const QList<ZipEntry> before = zipEntries(bytes, false), after = zipEntries(out.data(), false);
        QCOMPARE(after.size(), 3);
        for (int i : {0, 2}) {
            QCOMPARE(after[i].name, before[i].name);
            QCOMPARE(after[i].method, before[i].method);
            QCOMPARE(after[i].crc, before[i].crc);
            QCOMPARE(after[i].data, before[i].data);
        }
        QCOMPARE(zipEntries(out.data(), true)[1].data, QByteArray("new"));
        QCOMPARE(ZipArchive(out.data(), QStringLiteral("out.zip")).read(QStringLiteral("a.xml"), 100),
                 QStringLiteral("<a>甲</a>").toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestXlsx)
#include "test_xlsx.moc"
