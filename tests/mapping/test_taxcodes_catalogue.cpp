// The catalogue of tax classification codes: checks, store and CSV import.
#include "test_taxcodes.h"

namespace {
void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

void TestTaxCodes::checkRow_data() {
    QTest::addColumn<TaxCodeRow>("row");
    QTest::addColumn<QString>("message");
    const TaxCodeRow good = row(401, "1.01.001", "激光打印机", Printer);
    auto with = [&good](const std::function<void(TaxCodeRow&)>& change) {
        TaxCodeRow r = good;
        change(r);
        return r;
    };
    auto preferential = [](TaxCodeRow& r) { r.preferential = true; };
    QTest::newRow("plain row") << good << "";
    QTest::newRow("no product") << with([](TaxCodeRow& r) { r.itemId = 0; }) << "未选择商品。";
    QTest::newRow("no code") << with([](TaxCodeRow& r) { r.taxCode.clear(); }) << "税收分类编码不能为空。";
    QTest::newRow("18 digits") << with([](TaxCodeRow& r) { r.taxCode.chop(1); })
                               << "税收分类编码[109051299000000000]不是19位数字。";
    QTest::newRow("20 digits") << with([](TaxCodeRow& r) { r.taxCode += u'0'; })
                               << "税收分类编码[10905129900000000000]不是19位数字。";
    QTest::newRow("a letter") << with([](TaxCodeRow& r) { r.taxCode[18] = u'A'; })
                              << "税收分类编码[109051299000000000A]不是19位数字。";
    QTest::newRow("a full-width digit") << with([](TaxCodeRow& r) { r.taxCode[0] = QChar(0xFF11); })
                                        << "税收分类编码[１090512990000000000]不是19位数字。";
    QTest::newRow("a space around it") << with([](TaxCodeRow& r) { r.taxCode.append(u' '); })
                                       << "税收分类编码[1090512990000000000 ]不是19位数字。";
    // The combinations the tax system accepts: a zero-rate flag with its fixed preference, a preference of
    // the list without one, nothing else.
    auto combination = [&](const char* zero, bool flag, const char* text) {
        return with([=](TaxCodeRow& r) {
            r.zeroRate = QString::fromUtf8(zero);
            r.preferential = flag;
            r.preferentialText = QString::fromUtf8(text);
        });
    };
    const QString rate3 =
        QStringLiteral("零税率标识为3(普通零税率)时，优惠政策标识须为0，优惠政策说明须为空。");
    QTest::newRow("a preference of the list") << combination("", true, "简易征收") << "";
    QTest::newRow("3 普通零税率, no preference") << combination("3", false, "") << "";
    QTest::newRow("0 出口退税 with 出口零税") << combination("0", true, "出口零税") << "";
    QTest::newRow("1 免税 with 免税") << combination("1", true, "免税") << "";
    QTest::newRow("2 不征税 with 不征税") << combination("2", true, "不征税") << "";
    QTest::newRow("3 with a preference") << combination("3", true, "免税") << rate3;
    QTest::newRow("3 with a text only") << combination("3", false, "免税") << rate3;
    QTest::newRow("0 without its preference")
        << combination("0", false, "")
        << "零税率标识为0(出口退税)时，优惠政策标识须为1，优惠政策说明须为“出口零税”。";
    QTest::newRow("1 with another preference")
        << combination("1", true, "不征税")
        << "零税率标识为1(免税)时，优惠政策标识须为1，优惠政策说明须为“免税”。";
    QTest::newRow("2 without its preference")
        << combination("2", false, "")
        << "零税率标识为2(不征税)时，优惠政策标识须为1，优惠政策说明须为“不征税”。";
    QTest::newRow("免税 without its flag")
        << combination("", true, "免税") << "优惠政策说明为“免税”时，零税率标识须为1(免税)。";
    QTest::newRow("出口零税 without its flag")
        << combination("", true, "出口零税") << "优惠政策说明为“出口零税”时，零税率标识须为0(出口退税)。";
    QTest::newRow("zero rate 4")
        << combination("4", false, "")
        << "零税率标识[4]无效，只能为空、0(出口退税)、1(免税)、2(不征税)或3(普通零税率)。";
    QTest::newRow("preferential without text")
        << with([](TaxCodeRow& r) { r.preferential = true; }) << "优惠政策标识为1时，须填写优惠政策说明。";
    QTest::newRow("preferential with blank text") << with([](TaxCodeRow& r) {
        r.preferential = true;
        r.preferentialText = "   ";
    }) << "优惠政策标识为1时，须填写优惠政策说明。";
    QTest::newRow("text without preferential")
        << with([](TaxCodeRow& r) { r.preferentialText = QStringLiteral("备用"); })
        << "优惠政策标识为0时，优惠政策说明须为空。";
    // GBK bytes: a Chinese character takes two, a Latin letter one.
    QTest::newRow("short name of 40 bytes")
        << with([](TaxCodeRow& r) { r.shortName = QString(20, u'打'); }) << "";
    QTest::newRow("short name of 41 bytes")
        << with([](TaxCodeRow& r) { r.shortName = QString(20, u'打') + "A"; })
        << "简称[" + QString(20, u'打') + "A]超过40个字节（一个汉字占2个字节）。";
    QTest::newRow("own code of 20 bytes")
        << with([](TaxCodeRow& r) { r.ownCode = QStringLiteral("ABCDEFGHIJ编码编码编"); }) << "";
    QTest::newRow("own code of 21 bytes")
        << with([](TaxCodeRow& r) { r.ownCode = QString(21, u'9'); })
        << "企业自编码[" + QString(21, u'9') + "]超过20个字节（一个汉字占2个字节）。";
    QTest::newRow("preferential text of 50 bytes") << with([&](TaxCodeRow& r) {
        preferential(r);
        r.preferentialText = QString(25, u'免');
    }) << "";
    QTest::newRow("preferential text of 52 bytes") << with([&](TaxCodeRow& r) {
        preferential(r);
        r.preferentialText = QString(26, u'免');
    }) << "优惠政策说明[" + QString(26, u'免') + "]超过50个字节（一个汉字占2个字节）。";
    QTest::newRow("short name GBK cannot hold")
        << with([](TaxCodeRow& r) { r.shortName = "打印机😀"; }) << "简称[打印机😀]含有GBK编码不能表示的字符。";
}

void TestTaxCodes::checkRow() {
    QFETCH(TaxCodeRow, row);
    QFETCH(QString, message);
    QCOMPARE(TaxCodeStore::check(row), message);
}

void TestTaxCodes::testParseCsv_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QList<QStringList>>("fields");
    QTest::newRow("quotes, commas and doubled quotes")
        << "a,\"b,c\",\"say \"\"hi\"\"\"\r\nd,,e\r\n"
        << QList<int>{1, 2} << QList<QStringList>{{"a", "b,c", "say \"hi\""}, {"d", "", "e"}};
    QTest::newRow("a line break inside quotes keeps the line numbers")
        << "a,\"x\ny\"\n\nb,2" << QList<int>{1, 4} << QList<QStringList>{{"a", "x\ny"}, {"b", "2"}};
    QTest::newRow("blank and comma-only lines are left out")
        << "\n ,, \na\r\r\nb" << QList<int>{3, 5} << QList<QStringList>{{"a"}, {"b"}};
    QTest::newRow("a quote inside a value is a character")
        << "12\"寸,x" << QList<int>{1} << QList<QStringList>{{"12\"寸", "x"}};
    QTest::newRow("an empty quoted value is a field")
        << "\"\",x" << QList<int>{1} << QList<QStringList>{{"", "x"}};
}

void TestTaxCodes::testParseCsv() {
    QFETCH(QString, text);
    QFETCH(QList<int>, lines);
    QFETCH(QList<QStringList>, fields);
    const QList<CsvRecord> records = parseCsv(text);
    QList<int> gotLines;
    QList<QStringList> gotFields;
    for (const CsvRecord& r : records) {
        gotLines << r.line;
        gotFields << r.fields;
    }
    QCOMPARE(gotFields, fields);
    QCOMPARE(gotLines, lines);
}

void TestTaxCodes::saveLoadAndLookUp() {
    TestDatabases db;
    TaxCodeStore store(db.session);
    QVERIFY(store.load().isEmpty());
    QCOMPARE(store.version(), QString());
    QVERIFY(!store.taxCodeOf(401)); // read now, and kept

    TaxCodeRow pen = row(407, "2.01.002", "中性笔", Pen);
    pen.shortName = QStringLiteral("文具");
    pen.ownCode = QStringLiteral("ZXB-05");
    pen.preferential = true;
    pen.preferentialText = QStringLiteral("免税");
    pen.zeroRate = QStringLiteral("1");
    const TaxCodeRow printer = row(401, "1.01.001", "激光打印机", Printer);
    store.save({pen, printer}, QStringLiteral(" 36.0 "));
    QCOMPARE(store.load(), (QList<TaxCodeRow>{printer, pen})); // by product number
    QCOMPARE(store.version(), QStringLiteral("36.0"));
    QCOMPARE(store.taxCodeOf(407), pen); // the save made the kept catalogue stale
    QVERIFY(!store.taxCodeOf(402));
    const TaxCodeStore other(db.session);
    QCOMPARE(other.taxCodeOf(401), printer);

    // A save replaces the catalogue; an empty version removes it; the export templates stay.
    store.save({pen}, QString());
    QCOMPARE(store.load(), QList<TaxCodeRow>{pen});
    QCOMPARE(store.version(), QString());
    QCOMPARE(db.config->query(QStringLiteral("select count(*) from t_OtherInfo"))->value(0).toInt(), 3);
}

void TestTaxCodes::saveRefusesTheWholeList() {
    TestDatabases db;
    seedCatalogue(db.session);
    TaxCodeStore store(db.session);
    const auto refused = [&store](const QList<TaxCodeRow>& rows, const QString& message) {
        try {
            store.save(rows, QStringLiteral("37.0"));
            QFAIL("saved");
        } catch (const DbError& e) {
            QCOMPARE(e.description(), message);
        }
    };
    const TaxCodeRow laptop = row(403, "1.02.001", "笔记本电脑", Laptop);
    refused({laptop, row(404, "1.02.002", "液晶显示器", "123")}, "第2行：税收分类编码[123]不是19位数字。");
    refused({laptop, row(401, "1.01.001", "激光打印机", Printer), laptop},
            "第3行：商品[1.02.001]与第1行重复。");
    QCOMPARE(dump(*db.config), Seeded);
    QCOMPARE(store.version(), QStringLiteral("36.0"));
}

void TestTaxCodes::importCsv_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("catalogue"); // afterwards; empty: as it was
    const QByteArray bom("\xEF\xBB\xBF");
    const QByteArray header =
        "商品编码,税收分类编码,简称,企业自编码,优惠政策标识,优惠政策说明,零税率标识\r\n";
    auto utf8 = [](const QString& s) { return s.toUtf8(); };
    auto gbk = [](const QString& s) {
        QByteArray out;
        if (!encodeGbk(s, out)) qFatal("not GBK");
        return out;
    };

    QTest::newRow("UTF-8 with BOM, title line, quotes, short lines")
        << bom + header +
               utf8("1.01.001," + Printer +
                    ",打印机\r\n"
                    "\r\n"
                    "\"2.01.002\"," +
                    Pen +
                    ",\"笔,文具\",\"ZX\"\"B\"\"\",1,免税,1\r\n"
                    " 1.01.002 ," +
                    Printer + ",打印机")
        << "引入成功：新增1个商品，修改1个商品，1个商品未变。"
        << QStringList{"401|1.01.001|激光打印机|" + Printer + "|打印机||0||", Seeded[1],
                       "407|2.01.002|中性笔|" + Pen + "|笔,文具|ZX\"B\"|1|免税|1"};
    QTest::newRow("UTF-8 without BOM or title line")
        << utf8("1.02.001," + Laptop + ",,,0,,\n") << "引入成功：新增1个商品，修改0个商品。"
        << (Seeded + QStringList{"403|1.02.001|笔记本电脑|" + Laptop + "|||0||"});
    QTest::newRow("GBK") << gbk("商品编码,税收分类编码,简称\r\n1.02.001," + Laptop + ",电脑\r\n")
                         << "引入成功：新增1个商品，修改0个商品。"
                         << (Seeded + QStringList{"403|1.02.001|笔记本电脑|" + Laptop + "|电脑||0||"});

    // Refused: nothing is written.
    auto refused = [&](const char* what, const QByteArray& bytes, const QString& message) {
        QTest::newRow(what) << bytes << message << QStringList();
    };
    refused("an unknown product", header + utf8("1.02.001," + Laptop + "\r\nA001," + Pen),
            "第3行：商品[A001]在账套中不存在。");
    refused("a deleted product", utf8("9.01.001," + Laptop), "第1行：商品[9.01.001]在账套中不存在。");
    refused("a bad code on line 5",
            header + utf8("1.02.001," + Laptop + "\n1.01.001," + Printer + "\n\n1.02.002,123\n"),
            "第5行：税收分类编码[123]不是19位数字。");
    refused("a first line that is data, not a title", utf8("X-001,12\n1.02.001," + Laptop),
            "第1行：商品[X-001]在账套中不存在。");
    refused("a product twice", utf8("1.02.001," + Laptop + "\n1.02.001," + Printer),
            "第2行：商品[1.02.001]在第1行已出现。");
    refused("a preferential flag that is no 0 or 1", utf8("1.02.001," + Laptop + ",,,是,免税"),
            "第1行：优惠政策标识[是]只能为0或1。");
    refused("a checked row", utf8("1.02.001," + Laptop + ",,,1,免税,3"),
            "第1行：零税率标识为3(普通零税率)时，优惠政策标识须为0，优惠政策说明须为空。");
    refused("an eighth column", utf8("1.02.001," + Laptop + ",,,,,,多余"), "第1行：列数多于7列。");
    refused("no product number", utf8("1.02.001," + Laptop + "\n," + Printer), "第2行：缺少商品编码。");
    refused("a title line only", header, "文件[{file}]中没有税收分类编码。");
    refused("bytes neither UTF-8 nor GBK", QByteArray("1.02.001,\x81\x20"),
            "文件[{file}]既不是UTF-8编码也不是GBK编码，无法读取。");
}

void TestTaxCodes::importCsv() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(QStringList, catalogue);
    TestDatabases db;
    seedCatalogue(db.session);
    const QString path = db.folder() + QStringLiteral("/税收分类编码.csv");
    writeBytes(path, bytes);
    TaxCodeStore store(db.session);
    QVERIFY(!store.taxCodeOf(403));
    const TaxCodeImportResult result = store.importCsv(path);
    QCOMPARE(result.message, QString(message).replace(QStringLiteral("{file}"), path));
    QCOMPARE(result.ok, !catalogue.isEmpty());
    QCOMPARE(dump(*db.config), catalogue.isEmpty() ? Seeded : catalogue);
    QCOMPARE(store.taxCodeOf(403).has_value(), catalogue.join(u' ').contains(QStringLiteral("403|")));
    QCOMPARE(store.version(), QStringLiteral("36.0"));
}

void TestTaxCodes::importFailingMidwayWritesNothing() {
    // The database refuses the last row written: the rows before it go back as well.
    TestDatabases db;
    seedCatalogue(db.session);
    db.config->exec(QStringLiteral("create trigger refuse_laptop before update on t_TaxCode when "
                                   "new.FItemID = 402 begin select raise(abort, 'refused'); end"));
    const QString path = db.folder() + QStringLiteral("/codes.csv");
    writeBytes(path, ("1.02.001," + Laptop + "\n2.01.002," + Pen + "\n1.01.002," + Pen).toUtf8());
    try {
        TaxCodeStore(db.session).importCsv(path);
        QFAIL("imported");
    } catch (const DbError& e) {
        QVERIFY(e.cause().contains(QStringLiteral("refused")));
    }
    QCOMPARE(dump(*db.config), Seeded);
}

void TestTaxCodes::oldConfigFileGainsTheTable() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Taxlink.db"));
    const QString otherPath = dir.filePath(QStringLiteral("x.db"));
    for (const QString& p : {path, otherPath}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    {
        ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
        runSqlScriptFile(*c, dataDir() + QStringLiteral("/config_schema.sql"));
        c->exec(QStringLiteral("drop table t_TaxCode")); // its index goes with it
        c->exec(QStringLiteral("insert into t_BaseInfo (FID, FName) values (7, '我的关联')"));
    }
    Session session;
    session.gsConfigConnString = QStringLiteral("Provider=SQLite;Data Source=") + path;
    session.gcnConfig = session.openConfigConnection();
    upgradeConfigSchema(*session.gcnConfig); // again: nothing more to do

    TestDatabases fresh(false);
    auto columns = [](Connection& c) {
        QStringList out;
        for (const FieldInfo& f : c.tableColumns(QStringLiteral("t_TaxCode")))
            out << f.name + u' ' + QString::number(f.type);
        return out;
    };
    QCOMPARE(columns(*session.gcnConfig), columns(*fresh.config));
    QCOMPARE(session.gcnConfig->query(QStringLiteral("select FName from t_BaseInfo where FID=7"))
                 ->value(0)
                 .toString(),
             QStringLiteral("我的关联"));
    TaxCodeStore store(session);
    store.save({row(401, "1.01.001", "激光打印机", Printer)}, QStringLiteral("36.0"));
    QCOMPARE(store.load().size(), 1);
    // The unique index came along: a product cannot have two rows.
    QVERIFY_THROWS_EXCEPTION(DbError, session.gcnConfig->exec(QStringLiteral(
                                          "insert into t_TaxCode (FItemID, FTaxCode) values (401, '1')")));

    // A file that is no Taxlink.db is left alone.
    ConnectionPtr other = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + otherPath);
    other->exec(QStringLiteral("create table T (A INTEGER)"));
    upgradeConfigSchema(*other);
    QVERIFY_THROWS_EXCEPTION(DbError, other->tableColumns(QStringLiteral("t_TaxCode")));
}

QTEST_MAIN(TestTaxCodes)
