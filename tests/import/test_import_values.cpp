// The import's values: amounts, head columns, bill numbers, body lines, samples and rows as before.
#include "test_import.h"

// Both invoice kinds in both price modes, and both discount modes, on a line of 税率 0.17.
void TestImport::amounts_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("price");
    QTest::addColumn<bool>("discount"); // 数量 10, 金额 100, 税额 17 and a 10 % discount line
    // FPrice FTaxPrice FAmount FTaxRate FAmountincludetax FAllAmount FTaxAmount FDiscountRate
    // FAmtDiscount FPriceDiscount
    QTest::addColumn<QString>("expected");
    addRow("special, price without tax", "0", "0", "10", false, "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
    addRow("special, price with tax", "0", "1", "11.7", false, "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
    addRow("ordinary, price without tax", "2", "0", "10", false, "11.7 11.7 35.1 17 30 0 5.1 0 0 11.7");
    addRow("ordinary, price with tax", "2", "1", "11.7", false, "11.7 11.7 35.1 17 30 0 5.1 0 0 11.7");
    addRow("other mode counts as tax-inclusive", "0", "9", "11.7", false,
           "10 11.7 30 17 35.1 35.1 5.1 0 0 11.7");
    addRow("discount, price without tax", "0", "0", "10", true,
           "10 11.7 90 17 105.3 105.3 15.3 10 11.7 10.53");
    addRow("discount, price with tax keeps FAllAmount", "0", "1", "11.7", true,
           "10 11.7 105.3 17 90 117 15.3 10 11.7 10.53");
}

void TestImport::amounts() {
    QFETCH(QString, kind);
    QFETCH(QString, mode);
    QFETCH(QString, price);
    QFETCH(bool, discount);
    QFETCH(QString, expected);
    // The price mode's value list would refuse "9"; the arithmetic is what is tested here.
    db->config->exec(QStringLiteral("update t_ImportField set FisNeedValid=0"));
    const QStringList goods{
        discount ? goodsLine({.qty = "10", .amount = "100", .tax = "17", .price = price, .mode = mode})
                 : goodsLine({.price = price, .mode = mode})};
    QVERIFY(importLines(bodies(discount ? goods + QStringList{discountLine()} : goods, {.kind = kind})));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(acctValue("select FPrice,FTaxPrice,FAmount,FTaxRate,FAmountincludetax,FAllAmount,FTaxAmount,"
                       "FDiscountRate,FAmtDiscount,FPriceDiscount from ICSaleEntry where FInterID=1009"),
             expected);
    // The copies, the line's own quantity and tax, and empty texts (not Null) where nothing is written.
    QCOMPARE(
        acctValue("select count(*) from ICSaleEntry e join ICSale s on s.FInterID=e.FInterID where "
                  "e.FInterID=1009 and FAuxPrice=FPrice and FAuxTaxPrice=FTaxPrice and FAuxPriceDiscount="
                  "FPriceDiscount and FStdAmount=FAmount and FStdAmountincludetax=FAmountincludetax and "
                  "FStdTaxAmount=FTaxAmount and coalesce(FStdAmtDiscount,-1)=coalesce(FAmtDiscount,-1) "
                  "and FAuxQty=FQty "
                  "and FQty in "
                  "(3, 10) and FEntryID=1 and FNote='' and FBatchNo='' and fyearperiod=''"),
        "1");
}

void TestImport::headColumns() {
    const HeadFields special{.date = "20260105", .net = "1000.5", .tax = "130.07"};
    const HeadFields ordinary{.kind = "2", .customer = "南京金陵职业培训学校"};
    QVERIFY(importLines(issuedFile({invoice(special, {goodsLine({})}), invoice(ordinary, {goodsLine({})})})));
    QCOMPARE(rec->texts(), QStringList());
    const QString cols = QStringLiteral(
        "select FBillNo,FTranType,FClassTypeID,FDate,FSaleStyle,fyearperiod,FYear,FPeriod,FFincDate,"
        "FPayDate,FCustID,FBillerID,FInvoiceAmount,FInvoiceAmountFor,FUnReceiveAmountFor,FCurrencyID,"
        "FExplanation from ICSale where FInterID=");
    QCOMPARE(acctValue(cols + "1009"),
             "ZP000006 80 1000002 2026-01-05 101  2026 4 2026-04-10 2026-04-10 101 16395 "
             "1130.57 1130.57 1130.57 1 航天金税已开发票引入");
    QCOMPARE(acctValue(cols + "1010"),
             "PT000004 86 1000000 2026-03-15 101  2026 4 2026-04-10 2026-04-10 108 16395 "
             "35.1 35.1 35.1 1 航天金税已开发票引入");
    QCOMPARE(db->session.giInvoiceKind, 2);
    QCOMPARE(acctState(), "10/19/7,5/1010");
}

void TestImport::billNumber_data() {
    QTest::addColumn<QStringList>("rules"); // fprojectid:fprojectval:flength, in table order
    QTest::addColumn<bool>("doUpdate");
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("stored"); // fprojectval of the kind-3 row afterwards
    addRow("prefix and six digits", QStringList{"1:XS:0", "3:17:6"}, true, "", "XS000017", "18");
    addRow("no prefix, four digits", QStringList{"3:5:4"}, true, "", "0005", "6");
    addRow("longer number keeps its digits", QStringList{"3:123456:4"}, true, "", "123456", "123457");
    addRow("length 0: no padding", QStringList{"1:A:0", "3:42:0"}, true, "", "A42", "43");
    addRow("prefix row after the number replaces it", QStringList{"3:17:6", "1:XS:0"}, true, "", "XS", "18");
    addRow("default text before the number", QStringList{"3:9:3"}, true, "NO", "NO009", "10");
    addRow("other kinds are ignored", QStringList{"1:XS:0", "2:2026:4", "3:1:2"}, true, "", "XS01", "2");
    addRow("empty running number counts as 0", QStringList{"3:<null>:4"}, true, "", "0000", "<null>");
    addRow("without update", QStringList{"1:XS:0", "3:17:6"}, false, "", "XS000017", "17");
    addRow("no rule rows", QStringList(), true, "DEF", "", "<none>");
    addRow("neither prefix nor number", QStringList{"2:x:0"}, true, "", "", "<none>");
}

void TestImport::billNumber() {
    QFETCH(QStringList, rules);
    QFETCH(bool, doUpdate);
    QFETCH(QString, defaultText);
    QFETCH(QString, expected);
    QFETCH(QString, stored);
    for (const QString& r : rules) {
        const QStringList p = r.split(u':');
        db->acct->exec(
            QStringLiteral("insert into t_billcoderule (fbilltypeid,fprojectid,fprojectval,flength) "
                           "values (99,?,?,?)"),
            {p[0].toInt(), p[1] == u"<null>" ? QVariant() : QVariant(p[1]), p[2].toInt()});
    }
    QCOMPARE(getNewBillId(*db->acct, 99, doUpdate, defaultText), expected);
    QCOMPARE(acctValue("select fprojectval from t_billcoderule where fbilltypeid=99 and fprojectid=3"),
             stored);
    QCOMPARE(rec->texts(), QStringList());
}

// The lines of an invoice left out are still read as its lines: a head whose count is wrong would
// otherwise swallow the next invoice without a word.
void TestImport::skippedLinesAreBodyLines_data() {
    QTest::addColumn<QString>("count"); // of the invoice imported before, in the second file
    QTest::addColumn<bool>("comment");  // the next invoice announced by its comment line
    QTest::addColumn<QString>("message");
    const QString wrong = QStringLiteral("第5行不是发票[3300061130-70000001]的商品行，文本文件格式不正确!");
    QTest::newRow("as many as there are") << "1" << true << QString();
    QTest::newRow("one too many: the next comment line") << "2" << true << wrong;
    QTest::newRow("one too many: the next head line") << "2" << false << wrong;
}

void TestImport::skippedLinesAreBodyLines() {
    QFETCH(QString, count);
    QFETCH(bool, comment);
    QFETCH(QString, message);
    ImportEngine e(db->session);
    QVERIFY(importLines(issuedFile({invoice({.number = "70000001"}, {goodsLine({})})}), &e));
    const QString before = acctState();
    const QStringList next = invoice({.number = "70000002"}, {goodsLine({})});
    writeGbkFile(file, issuedFile({invoice({.count = count, .number = "70000001"}, {goodsLine({})}),
                                   comment ? next : next.mid(1)}));
    rec->clear();
    QCOMPARE(e.importToQor(file, true), message.isEmpty());
    QCOMPARE(rec->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) QCOMPARE(acctState(), before);
}

// The running numbers are written back to the rule rows the import read: a row that changed meanwhile
// fails the import rather than hand its numbers out twice.
void TestImport::billNumberRowChangedMeanwhile() {
    BillNumberRule rule;
    rule.load(*db->acct, 80);
    QCOMPARE(rule.next(QString()), QStringLiteral("ZP000006"));
    db->acct->exec(QStringLiteral("update t_billcoderule set fprojectval='9' where fbilltypeid=80 and "
                                  "fprojectid=3"));
    QVERIFY_THROWS_EXCEPTION(DbError, rule.writeBack(*db->acct));
    QCOMPARE(acctValue("select fprojectval from t_billcoderule where fbilltypeid=80 and fprojectid=3"), "9");
}

void TestImport::sameInvoiceTwiceInAFile() {
    const QStringList one = invoice({.number = "70000009"}, {goodsLine({})});
    const QString before = acctState();
    QVERIFY(!importLines(issuedFile({one, invoice({}, {goodsLine({})}), one})));
    QCOMPARE(rec->texts(), QStringList{"发票[3300061130-70000009]在文件中出现了两次，不能重复引入!"});
    QCOMPARE(acctState(), before);
    QCOMPARE(acctValue("select count(*) from TF_Ledger"), "0");
}

void TestImport::notGbkLine() {
    writeGbkFile(file, oneInvoiceFile());
    QFile f(file);
    QVERIFY(f.open(QIODevice::Append));
    f.write(QByteArray("//\r\n\x81\x20~~\r\n", 8));
    f.close();
    ImportEngine e(db->session);
    QVERIFY(!e.importToQor(file));
    QCOMPARE(rec->texts(), QStringList{kErr + "5,错误原因:第6行含有不是 GBK 编码的字符。"});
    QCOMPARE(acctValue(kHeads), "0");
}

void TestImport::samplesImport_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");
    addRow("plain", "issued_plain.txt",
           "select count(*), sum(FInvoiceAmount) from ICSale where FInterID>1008", "2 13062.8");
    addRow("discount", "issued_discount.txt",
           "select FDiscountRate, FAmount from ICSaleEntry where FInterID=1009 and FEntryID=1", "10 1665");
    addRow("red invoice", "issued_red.txt", "select FQty, FAmount from ICSaleEntry where FInterID=1009",
           "-1 -1850");
    addRow("mapped names", "issued_mapped.txt",
           "select FCustID, FItemID, FUnitID from ICSale join ICSaleEntry using (FInterID) where "
           "FInterID=1009",
           "101 413 510");
}

void TestImport::samplesImport() {
    QFETCH(QString, name);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    addSampleMappings();
    ImportEngine e(db->session);
    QVERIFY(e.importToQor(samplesDir() + u'/' + name));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(acctValue(check), expected);
}

// The rows the import writes are the rows it wrote before it worked on typed rows many to a statement:
// data/*.rows hold them as the earlier program wrote them (the day-of-import columns left out), read by
// the sqlite3 shell as SQL values, types and all.
void TestImport::rowsAsBefore_data() {
    QTest::addColumn<QString>("file");
    for (const char* f : {"issued_plain", "issued_discount", "issued_red", "issued_mapped"})
        QTest::newRow(f) << samplesDir() + u'/' + QString::fromLatin1(f) + QStringLiteral(".txt");
    QTest::newRow("generated_50x5") << QStringLiteral(TAXFERRY_IMPORT_DATA "/generated_50x5.txt");
}

void TestImport::rowsAsBefore() {
    if (currentTestBackend() != TestBackend::SQLite) QSKIP("the earlier rows were written to an SQLite file");
#ifdef Q_OS_WIN
    QSKIP("the rows are read with the sqlite3 shell, which Windows has not (check.sh compares the rows)");
#endif
    QFETCH(QString, file);
    addSampleMappings();
    ImportEngine e(db->session);
    QVERIFY(e.importToQor(file));
    db->acct->close();
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
