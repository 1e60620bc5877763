// The shared procedures on values: conversions, number and date texts, GBK text and SQL scripts.
#include "test_common.h"

void TestCommon::showErrFormatsTwoLines() {
    RecorderSink sink;
    showErr(QStringLiteral("SaveLink"), DbError(13, QStringLiteral("类型不匹配")));
    QCOMPARE(sink.last(), QStringLiteral("调用(SaveLink)出错!\r\n错误编号:13,错误原因:类型不匹配"));
    QCOMPARE(sink.entries.last().kind, RecorderSink::Error);
}

void TestCommon::testNullToValue_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("def");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("null with default 1")
        << QVariant(QMetaType(QMetaType::QString)) << QVariant(1) << QVariant(1);
    QTest::newRow("empty text, no default")
        << QVariant(QString()) << QVariant(QString()) << QVariant(QString());
    QTest::newRow("number 0 is kept") << QVariant(0) << QVariant(5) << QVariant(0);
    QTest::newRow("invalid (Empty) takes default")
        << QVariant() << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("x"));
    QTest::newRow("text kept") << QVariant(QStringLiteral(" a ")) << QVariant(1)
                               << QVariant(QStringLiteral(" a "));
}

void TestCommon::testNullToValue() {
    QFETCH(QVariant, value);
    QFETCH(QVariant, def);
    QFETCH(QVariant, expected);
    QCOMPARE(nullToValue(value, def), expected);
}

void TestCommon::testSplitItem_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delim");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    QTest::newRow("last piece") << "a;b;c"
                                << ";" << 2 << "c";
    QTest::newRow("past the end") << "a;b;c"
                                  << ";" << 3 << "";
    QTest::newRow("empty text has no pieces") << ""
                                              << ";" << 0 << "";
    QTest::newRow("whole delimiter") << "x~~y~z"
                                     << "~~" << 1 << "y~z";
    QTest::newRow("adjacent delimiters") << "a~~~~b"
                                         << "~~" << 1 << "";
    QTest::newRow("no delimiter") << "abc"
                                  << "|" << 0 << "abc";
    QTest::newRow("case-sensitive") << "aXbxc"
                                    << "x" << 1 << "c";
}

void TestCommon::testSplitItem() {
    QFETCH(QString, text);
    QFETCH(QString, delim);
    QFETCH(int, index);
    QFETCH(QString, expected);
    QCOMPARE(splitItem(text, delim, index), expected);
}

void TestCommon::testSqlValue_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text with quote") << 200 << QVariant(QStringLiteral("O'Brien")) << "'O''Brien'";
    QTest::newRow("integer") << 3 << QVariant(QStringLiteral("12")) << "12";
    QTest::newRow("integer from letters") << 3 << QVariant(QStringLiteral("abc")) << "0";
    QTest::newRow("empty number") << 131 << QVariant(QString()) << "0";
    QTest::newRow("decimal") << 131 << QVariant(QStringLiteral("35.1")) << "35.1";
    QTest::newRow("boolean TRUE") << 11 << QVariant(QStringLiteral("TRUE")) << "1";
    QTest::newRow("boolean 1") << 11 << QVariant(QStringLiteral("1")) << "1";
    QTest::newRow("boolean other") << 11 << QVariant(QStringLiteral("yes")) << "0";
    QTest::newRow("date text unchanged") << 135 << QVariant(QStringLiteral("2024-01-31")) << "'2024-01-31'";
    // The text Nullable is a text like any other; only a Null value becomes empty.
    QTest::newRow("Nullable stays") << 202 << QVariant(QStringLiteral("Nullable")) << "'Nullable'";
    QTest::newRow("text Null stays") << 202 << QVariant(QStringLiteral("Null")) << "'Null'";
    QTest::newRow("Null value in text column") << 202 << QVariant() << "''";
    QTest::newRow("Null value in numeric column") << 3 << QVariant() << "0";
}

void TestCommon::testSqlValue() {
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    QCOMPARE(sqlValue(type, value), expected);
}

void TestCommon::leadingAndStrictNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("leading");
    QTest::addColumn<bool>("strictOk");
    QTest::newRow("plain") << "12.5" << 12.5 << true;
    QTest::newRow("blanks inside") << " 1 2.5" << 12.5 << false;
    QTest::newRow("trailing letters") << "3abc" << 3.0 << false;
    QTest::newRow("no number") << "abc" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("negative") << "-0.17" << -0.17 << true;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0 << false;
}

void TestCommon::leadingAndStrictNumbers() {
    QFETCH(QString, text);
    QFETCH(double, leading);
    QFETCH(bool, strictOk);
    QCOMPARE(leadingNumber(text), leading);
    double d = 0;
    QCOMPARE(strictNumber(text, d), strictOk);
}

void TestCommon::testNumberText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("rate times 100") << 0.17 * 100 << "17";
    QTest::newRow("price with tax") << 10 * (0.17 + 1) << "11.7";
    QTest::newRow("amount") << 30 + 5.1 << "35.1";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative") << -12.5 << "-12.5";
    QTest::newRow("no grouping") << 1234567.89 << "1234567.89";
}

void TestCommon::testDecimalText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");
    // Binary rounding would give 1.00: 1.005 is 1.00499999999999989… as a double.
    QTest::newRow("half up where binary rounds down") << 1.005 << 2 << "1.01";
    QTest::newRow("half up, negative away from zero") << -2.675 << 2 << "-2.68";
    QTest::newRow("below half") << 0.124 << 2 << "0.12";
    QTest::newRow("carry into the whole number") << 9.995 << 2 << "10.00";
    QTest::newRow("carry through every digit") << 999.9999 << 2 << "1000.00";
    QTest::newRow("whole number gets its decimals") << 1850.0 << 2 << "1850.00";
    QTest::newRow("negative that rounds to zero") << -0.001 << 2 << "0.00";
    QTest::newRow("small value") << 0.000000125 << 8 << "0.00000013";
    QTest::newRow("eight decimals") << 0.123456785 << 8 << "0.12345679";
    QTest::newRow("large amount") << 123456789012.345 << 2 << "123456789012.35";
    QTest::newRow("no decimals") << 2.5 << 0 << "3";
    QTest::newRow("zero") << 0.0 << 2 << "0.00";
    QTest::newRow("half a cent") << 0.005 << 2 << "0.01";
    QTest::newRow("half a cent, negative") << -0.005 << 2 << "-0.01";
    QTest::newRow("under half a cent") << 0.0049 << 2 << "0.00";
    QTest::newRow("fifteen digits, cents dropped") << 1234567890123.456 << 2 << "1234567890123.46";
    QTest::newRow("carry past fifteen digits") << 99999999999999.995 << 2 << "100000000000000.00";
    QTest::newRow("past 10^15 cents") << 1e16 << 2 << "10000000000000000.00";
}

// centsOf works on integers where decimalText works on text: the same cents.
void TestCommon::testDecimalText() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QCOMPARE(decimalText(value, decimals), expected);
    if (decimals == 2) QCOMPARE(centsOf(value), QString(expected).remove(u'.').toLongLong());
}

void TestCommon::testNumberText() {
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numberText(value), expected);
    // The text a stored file or statement had before: Qt's 15-digit 'g' form, for neighbours too.
    for (const double v : {value, std::nextafter(value, 1e308), std::nextafter(value, -1e308), value * 1e-7,
                           value * 1e17, -value / 3})
        if (v != 0.0) QCOMPARE(numberText(v), QString::number(v, 'g', 15));
}

void TestCommon::scriptSplitterHonoursQuotesAndComments() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    runSqlScript(*c,
                 QStringLiteral("create table T (A TEXT); -- a comment; with a semicolon\n"
                                "insert into T values ('a;b'); /* block; */ insert into T values ('--x');\n"
                                "insert into T values ('it''s');"));
    RecordsetPtr rs = c->query(QStringLiteral("select A from T order by rowid"));
    QCOMPARE(rs->recordCount(), 3);
    QCOMPARE(rs->value(0).toString(), QStringLiteral("a;b"));
    rs->next();
    QCOMPARE(rs->value(0).toString(), QStringLiteral("--x"));
    rs->next();
    QCOMPARE(rs->value(0).toString(), QStringLiteral("it's"));
    // A failing statement leaves nothing of the script behind.
    QVERIFY_THROWS_EXCEPTION(DbError, runSqlScript(*c, QStringLiteral("insert into T values ('x'); bogus;")));
    QCOMPARE(c->query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 3);
}

void TestCommon::gbkReaderLinesAndRefusal() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    QByteArray bytes;
    QVERIFY(encodeGbk(QStringLiteral("SJJK0201~~已开发票传出\r\n第二行\n\r\n"), bytes));
    bytes += QByteArray("\x81\x20", 2); // not GBK
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    GbkLineReader r;
    QVERIFY(r.open(path));
    QVERIFY(!r.isEmptyFile());
    QCOMPARE(r.readLine(), QStringLiteral("SJJK0201~~已开发票传出"));
    QCOMPARE(r.readLine(), QStringLiteral("第二行"));
    QCOMPARE(r.readLine(), QString());
    try {
        r.readLine();
        QFAIL("decoded bytes that are not GBK");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(QStringLiteral("第4行")));
    }
    QVERIFY(r.atEnd());
    QVERIFY_THROWS_EXCEPTION(DbError, r.readLine());
    QVERIFY(!GbkLineReader().open(dir.filePath(QStringLiteral("missing.txt"))));
}

namespace {
enum class GbkWay { Both, EncodeRefused, DecodeRefused };
}
Q_DECLARE_METATYPE(GbkWay)

// The same table for every build's codec: ICU on Linux, code page 936 on Windows. The rows are where GBK
// readings differ (0x80, A1A4, A1AA as Windows reads them, not as GB 2312 does) and where a converter
// would rather guess than refuse (a best fit for "À", "?" for an emoji, half a character).
void TestCommon::gbkEdgeCases_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<GbkWay>("way");
    const auto both = GbkWay::Both;
    QTest::newRow("empty") << QString() << QByteArray() << both;
    QTest::newRow("ASCII, tab, CR LF") << QStringLiteral("a\tb\r\n") << QByteArray("a\tb\r\n") << both;
    QTest::newRow("Chinese") << QStringLiteral("销售单据传入")
                             << QByteArray::fromHex("cffacadbb5a5beddb4abc8eb") << both;
    QTest::newRow("0x80 is the euro sign") << QStringLiteral("\u20AC") << QByteArray("\x80") << both;
    QTest::newRow("A1A4 middle dot") << QStringLiteral("\u00B7") << QByteArray("\xA1\xA4") << both;
    QTest::newRow("A1AA em dash") << QStringLiteral("\u2014") << QByteArray("\xA1\xAA") << both;
    QTest::newRow("a grave") << QStringLiteral("\u00E0") << QByteArray("\xA8\xA4") << both;
    QTest::newRow("A grave is not GBK") << QStringLiteral("\u00C0") << QByteArray() << GbkWay::EncodeRefused;
    QTest::newRow("katakana middle dot") << QStringLiteral("\u30FB") << QByteArray() << GbkWay::EncodeRefused;
    QTest::newRow("emoji") << QStringLiteral("emoji \U0001F600") << QByteArray() << GbkWay::EncodeRefused;
    QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) << QByteArray() << GbkWay::EncodeRefused;
    QTest::newRow("lone lead byte") << QString() << QByteArray("\x81") << GbkWay::DecodeRefused;
    QTest::newRow("lead byte, then 0x7F") << QString() << QByteArray("\x81\x7F") << GbkWay::DecodeRefused;
    QTest::newRow("trailing half character")
        << QString() << QByteArray("\xD6\xD0\xD6") << GbkWay::DecodeRefused;
    QTest::newRow("half character, then ASCII") << QString() << QByteArray("\xD6 a") << GbkWay::DecodeRefused;
}

void TestCommon::gbkEdgeCases() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(GbkWay, way);
    const QByteArray untouched("untouched");
    QByteArray out = untouched;
    QString back = QStringLiteral("untouched");
    GbkEncoder encoder;
    switch (way) {
    case GbkWay::Both:
        QVERIFY(encodeGbk(text, out));
        QCOMPARE(out, bytes);
        out = untouched;
        QVERIFY(encoder.encode(text, out));
        QCOMPARE(out, bytes);
        QVERIFY(decodeGbk(bytes, back));
        QCOMPARE(back, text);
        break;
    case GbkWay::EncodeRefused:
        QVERIFY(!encodeGbk(text, out));
        QVERIFY(!encoder.encode(text, out));
        QCOMPARE(out, untouched);
        // A refusal leaves the encoder usable for the next text.
        QVERIFY(encoder.encode(QStringLiteral("中"), out));
        QCOMPARE(out, QByteArray("\xD6\xD0"));
        break;
    case GbkWay::DecodeRefused:
        QVERIFY(!decodeGbk(bytes, back));
        QCOMPARE(back, QStringLiteral("untouched"));
        QVERIFY(decodeGbk(QByteArray("\xD6\xD0"), back));
        QCOMPARE(back, QStringLiteral("中"));
        break;
    }
}

// Head values of the export that are dates are written as YYYYMMDD; everything else as it stands.
void TestCommon::dateValues_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("date"); // empty: no date
    QTest::newRow("iso date") << QVariant("2026-01-08") << "20260108";
    QTest::newRow("short month and day") << QVariant("2026-1-8") << "20260108";
    QTest::newRow("slashes") << QVariant("2026/1/8") << "20260108";
    QTest::newRow("dots") << QVariant(" 2026.01.08 ") << "20260108";
    QTest::newRow("with a time") << QVariant("2026-01-08 13:05:00") << "20260108";
    QTest::newRow("with a T and a time") << QVariant("2026-01-08T13:05:00") << "20260108";
    QTest::newRow("with milliseconds") << QVariant("2026-01-08 13:05:00.250") << "20260108";
    QTest::newRow("slashes with a short hour") << QVariant("2026/1/8 9:05:00") << "20260108";
    QTest::newRow("a date value") << QVariant(QDate(2026, 2, 28)) << "20260228";
    QTest::newRow("no such day") << QVariant("2026-02-30") << "";
    QTest::newRow("mixed separators") << QVariant("2026-01/08") << "";
    QTest::newRow("tax number starting with digits") << QVariant("91330106MA27XK3P5D") << "";
    QTest::newRow("eight digits") << QVariant("20260108") << "";
    QTest::newRow("hour out of range") << QVariant("2026-01-08 25:00:00") << "";
    QTest::newRow("time after dots") << QVariant("2026.01.08 10:00:00") << "";
    QTest::newRow("trailing text") << QVariant("2026-01-08 x") << "";
    QTest::newRow("a number") << QVariant(20260108.0) << "";
}

void TestCommon::dateValues() {
    QFETCH(QVariant, value);
    QFETCH(QString, date);
    QDate d;
    const bool isDate = tryDateValue(value, d);
    QCOMPARE(isDate ? d.toString(QStringLiteral("yyyyMMdd")) : QString(), date);
}

// The tax files' days read without the general parser: the same day the parser reads from the same text;
// any other form left to the parser.
void TestCommon::isoDays_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inForm");
    QTest::newRow("a day") << "2026-04-12" << true;
    QTest::newRow("the last of February in a leap year") << "2028-02-29" << true;
    QTest::newRow("no such day") << "2026-02-30" << true;
    QTest::newRow("month 13") << "2026-13-01" << true;
    QTest::newRow("day 0") << "2026-04-00" << true;
    QTest::newRow("year 0") << "0000-04-12" << true;
    QTest::newRow("short month") << "2026-4-12" << false;
    QTest::newRow("slashes") << "2026/04/12" << false;
    QTest::newRow("full-width digits") << "２０２６-04-12" << false;
    QTest::newRow("a time after it") << "2026-04-12 10:21" << false;
    QTest::newRow("a letter for a digit") << "2026-O4-12" << false;
    QTest::newRow("blank for a digit") << "2026- 4-12" << false;
    QTest::newRow("empty") << "" << false;
}

void TestCommon::isoDays() {
    QFETCH(QString, text);
    QFETCH(bool, inForm);
    const std::optional<QDate> day = isoDay(text);
    QCOMPARE(day.has_value(), inForm);
    if (inForm) QCOMPARE(*day, QDate::fromString(text, QStringLiteral("yyyy-MM-dd")));
}
