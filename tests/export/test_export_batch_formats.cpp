// taxferry-batch export to the other formats and the tax code catalogue at export.
#include "test_export_batch.h"

// A link that writes the invoicing software's XML file or the platform's workbook: the codes come from
// the catalogue, the goods name carries the short name when the link says so, and the documents of the
// text export come out in the other format.
// Merged: three invoices of one buyer are one document, their alike lines one line.
void TestExportBatch::otherFormats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("merge");
    QTest::newRow("XML文件") << "xml" << false;
    QTest::newRow("电子发票平台模板") << "xlsx" << false;
    QTest::newRow("XML文件, merged") << "xml" << true;
    QTest::newRow("电子发票平台模板, merged") << "xlsx" << true;
}

void TestExportBatch::otherFormats() {
    QFETCH(QString, format);
    QFETCH(bool, merge);
    TestDatabases db;
    QStringList mergeArgs;
    if (merge) {
        db.acct->exec(
            QStringLiteral("update ICSale set FCustID=101 where FBillNo in ('ZP000003','ZP000005')"));
        mergeArgs = QStringList{"--merge", "--merge-lines"};
    }
    const int documents = merge ? 3 : 5, lines = merge ? 8 : 10;
    const QString out = db.folder() + QStringLiteral("/out.") + format;
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat=?, FPrefixShortName=1 where FID=1"),
                    {format});
    db.config->exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('TaxCodeVersion', '48.0')"));
    addTaxCodes(db);
    if (format == u"xlsx") {
        installPlatformTemplate(db);
        if (QTest::currentTestFailed()) return;
    }
    // What the preview says the documents hold: the file must hold the same.
    QProcess preview;
    preview.start(QStringLiteral(TAXFERRY_BATCH),
                  QStringList{"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link",
                              "1", "--preview"} +
                      mergeArgs);
    QVERIFY(preview.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(preview.readAllStandardError()), QString());
    QCOMPARE(preview.exitCode(), 0);
    const QString totals = QString::fromUtf8(preview.readAllStandardOutput()).trimmed().section(u'\n', -1);
    QVERIFY2(totals.startsWith(QStringLiteral("合计%1张\t%2\t").arg(documents).arg(lines)),
             qPrintable(totals));
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH), QStringList{"export", "--acct", db.acctConnString(), "--config",
                                                        db.configPath, "--link", "1", "--out", out} +
                                                mergeArgs);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
             merge ? QStringLiteral("3张销售发票合并为1张单据。\n引出成功！\n")
                   : QStringLiteral("引出成功！\n"));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QStringLiteral("引出发票%1张，商品行%2行。\n").arg(documents).arg(lines));
    QStringList docs, names, codes;
    double amount = 0, tax = 0;
    if (format == u"xml") {
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?>"));
        QString text;
        QVERIFY(decodeGbk(bytes, text));
        text.remove(0, text.indexOf(u'\n') + 1);
        QXmlStreamReader x(text);
        int zsl = -1;
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement) continue;
            if (x.name() == u"Zsl")
                zsl = x.readElementText().toInt();
            else if (x.name() == u"Djh")
                docs << x.readElementText();
            else if (x.name() == u"Spmc")
                names << x.readElementText();
            else if (x.name() == u"Spbm")
                codes << x.readElementText();
            else if (x.name() == u"Je")
                amount += x.readElementText().toDouble();
            else if (x.name() == u"Se")
                tax += x.readElementText().toDouble();
        }
        QCOMPARE(QStringLiteral("%1\t%2").arg(amount, 0, 'f', 2).arg(tax, 0, 'f', 2),
                 totals.section(u'\t', 2));
        QVERIFY2(!x.hasError(), qPrintable(x.errorString()));
        QCOMPARE(zsl, int(docs.size()));
    } else {
        XlsxReader book(out);
        QCOMPARE(book.sheets().size(), 11);
        for (const XlsxRow& row : book.rows(*book.sheet(kHeadSheetName))) {
            if (row.number <= 3) continue;
            docs << row.text(0);
            QCOMPARE(row.text(1), QStringLiteral("增值税专用发票")); // the link's kind
            QVERIFY(!row.text(5).isEmpty());                         // 购买方名称, mapped to its heading
        }
        for (const XlsxRow& row : book.rows(*book.sheet(kDetailSheetName))) {
            if (row.number <= 3) continue;
            // The key ties each line to its invoice; every cell is text.
            QVERIFY(docs.contains(row.text(0)));
            names << row.text(1);
            codes << row.text(2);
            for (const XlsxCell& c : row.cells)
                QVERIFY(!c.number);
        }
    }
    QCOMPARE(docs.size(), documents);
    QCOMPARE(docs.first(), merge ? QStringLiteral("ZP000001+2") : QStringLiteral("ZP000001"));
    QCOMPARE(names.size(), lines);
    QCOMPARE(codes.size(), lines);
    static const QRegularExpression code(QStringLiteral("^\\d{19}$"));
    static const QRegularExpression shortName(QStringLiteral("^\\*简称\\d+\\*.+"));
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY2(code.match(codes[i]).hasMatch(), qPrintable(codes[i]));
        QVERIFY2(shortName.match(names[i]).hasMatch(), qPrintable(names[i]));
    }
}

// Links that read the catalogue check each line's zero-rate flag against its rate; a template without
// the product number finds the catalogue by the product's name.
void TestExportBatch::catalogueAtExport_data() {
    QTest::addColumn<QStringList>("setup"); // "cfg:" on Taxlink.db, else on the accounting set
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
    const QString first = QStringLiteral("update ICSaleEntry set FTaxRate=0 where FEntryID=1 and "
                                         "FInterID=(select FInterID from ICSale where "
                                         "FBillNo='ZP000001')");
    const QString printer = QStringLiteral("cfg:update t_TaxCode set %1 where FItemNumber='1.01.001'");
    const QString noNumber =
        QStringLiteral("cfg:update t_OtherInfo set FSQL=replace(FSQL, 'as FItemNumber', 'as FItemNo') where "
                       "Fkey='tbl1'");
    QTest::newRow("codes for every line") << QStringList{} << 0 << "引出成功！\n";
    QTest::newRow("a zero-rate flag on a line with a rate")
        << QStringList{printer.arg("FZeroRate='3'")} << 1
        << "发票“ZP000001”第1行的商品“激光打印机”有零税率标识3(普通零税率)，税率却不是0，引出失败！\n";
    QTest::newRow("a line at rate 0 without a flag")
        << QStringList{first} << 1
        << "发票“ZP000001”第1行的商品“激光打印机”税率为0，却没有零税率标识，引出失败！\n";
    QTest::newRow("rate 0 with 出口退税")
        << QStringList{"update ICSaleEntry set FTaxRate=0 where FItemID=(select FItemID from t_IcItem "
                       "where "
                       "FNumber='1.01.001')",
                       printer.arg("FZeroRate='0', FPreferential=1, FPreferentialText='出口零税'")}
        << 0 << "引出成功！\n";
    QTest::newRow("no product number: found by name") << QStringList{noNumber} << 0 << "引出成功！\n";
    QTest::newRow("no product number, two products of the name")
        << QStringList{noNumber, "cfg:insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                                 "FPreferential, FZeroRate) values (9999, '9.99.999', '激光打印机', "
                                 "'1090511030000000099', 0, '')"}
        << 1
        << "发票“ZP000001”第1行的商品“激光打印机”在税收分类编码中有两个同名的商品（1.01.001和9.99.999），"
           "无法确定其编码，引出失败！\n";
    QTest::newRow("a text link reads no catalogue")
        << QStringList{first, "cfg:update t_BaseInfo set FFormat='txt'"} << 0 << "引出成功！\n";
}

void TestExportBatch::catalogueAtExport() {
    QFETCH(QStringList, setup);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    TestDatabases db;
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xml' where FID=1"));
    db.config->exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('TaxCodeVersion', '48.0')"));
    const RecordsetPtr items = db.acct->query(QStringLiteral("select FItemID, FNumber, FName from t_IcItem"));
    for (const QVariantList& item : items->allRows())
        db.config->exec(QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                                       "FPreferential, FZeroRate) values (?, ?, ?, '1090511030000000000', 0, "
                                       "'')"),
                        {item[0], item[1], item[2]});
    for (const QString& sql : setup)
        (sql.startsWith(u"cfg:") ? db.config : db.acct)->exec(sql.startsWith(u"cfg:") ? sql.mid(4) : sql);
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH),
            {"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1", "--out",
             db.folder() + QStringLiteral("/out.xml")});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), stderrText);
    QCOMPARE(p.exitCode(), exitCode);
}

// The preview refuses what the link's format would: an XML file without the products' codes.
void TestExportBatch::previewRefusesWhatTheFormatWould() {
    TestDatabases db;
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xml' where FID=1"));
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH),
            {"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1", "--preview"});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.startsWith(QStringLiteral("发票“ZP000001”第1行的商品“")) &&
                 err.endsWith(QStringLiteral("”没有税收分类编码，引出失败！\n")),
             qPrintable(err));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString());
}
