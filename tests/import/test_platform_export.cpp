// The platform's list as 导出全部 writes it: several sheets in any order, headings as the platform has
// written them over the years, numbers that are missing or that Excel cut, red invoices tied to the blue
// ones their 备注 names.
#include "ExportedDocs.h"
#include "PlatformListBook.h"
#include "common/DbProcedures.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "export/ExportEngine.h"
#include "import/PlatformList.h"
#include "import/ui/PlatformListWindow.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QtTest>

namespace {
const QString kGoodsOnly =
    QStringLiteral("发票清单中没有发票基础信息表（每张发票一行），请从平台导出全部信息后再引入。");

// A goods line of an invoice, as 信息汇总表 repeats the invoice's columns on each of its lines.
ListRow goodsRow(const QString& number, const QString& goods) {
    ListRow row = issuedRow(number, 100, 13, "", "甲公司");
    row["货物或应税劳务名称"] = goods;
    row["数量"] = "#1";
    row["单价"] = "#100";
    return row;
}

ListSheet invoices(const QString& name = QStringLiteral("发票基础信息")) {
    return {name,
            kInvoiceHeadings,
            {issuedRow(N(1), 100, 13, "", "甲公司"), issuedRow(N(2), 50, 6.5, "", "乙公司")}};
}
// Below its lines a row no reader gets past: the sheet may be looked at only down to its heading row.
ListSheet goods(const QString& name = QStringLiteral("信息汇总表")) {
    return {name,
            kGoodsHeadings,
            {goodsRow(N(1), "打印机"), goodsRow(N(1), "显示器"), goodsRow(N(3), "键盘")},
            false,
            QStringLiteral("<row r=\"x\"><c r=\"A9\"><v>1</v></c></row>")};
}
ListSheet special() {
    return {QStringLiteral("建筑服务"),
            {"序号", "数电发票号码", "建筑服务发生地", "建筑项目名称"},
            {{{"数电发票号码", N(4)}, {"建筑服务发生地", "杭州"}}}};
}

QStringList fieldsOf(const PlatformInvoice& i) {
    return {QString::number(i.row),
            i.digitalNumber,
            i.code,
            i.number,
            i.sellerTaxNo,
            i.buyerTaxNo,
            i.buyerName,
            i.date,
            decimalText(i.amount, 2),
            decimalText(i.tax, 2),
            i.kind,
            i.state,
            i.remark,
            QString::number(i.red),
            QString::number(int(i.unusable)),
            i.numberText()};
}

// What the list reads: "row:number" per invoice, with the reason where it has no usable number. The list
// as the batch holds it (packed) gives back each invoice as read.
QString readBook(const QByteArray& book) {
    try {
        QStringList out;
        const QList<PlatformInvoice> list = readPlatformList(book, QStringLiteral("list.xlsx"));
        const PlatformInvoices packed(list);
        if (packed.size() != list.size()) return QStringLiteral("packed: %1 invoices").arg(packed.size());
        for (qsizetype k = 0; k < list.size(); ++k)
            if (fieldsOf(packed.at(k)) != fieldsOf(list[k]) || packed.numberText(k) != list[k].numberText() ||
                packed.remark(k) != list[k].remark || packed.sellerTaxNo(k) != list[k].sellerTaxNo)
                return QStringLiteral("packed: %1 for %2")
                    .arg(fieldsOf(packed.at(k)).join(u'|'), fieldsOf(list[k]).join(u'|'));
        for (const PlatformInvoice& i : list) {
            QString line = QStringLiteral("%1:%2").arg(i.row).arg(i.numberText());
            if (i.unusable == PlatformInvoice::Unusable::NoNumber) line += QStringLiteral(":no number");
            if (i.unusable == PlatformInvoice::Unusable::ExcelNumber) line += QStringLiteral(":Excel");
            out << line;
        }
        return out.join(u',');
    } catch (const DbError& e) {
        return e.description();
    }
}
} // namespace

class TestPlatformExport : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    QHash<QString, ExportDoc> exportDocs() { return byDocNo(exportedDocs(*db)); }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*db->acct, sql, params);
    }
    // The export rows of a document: "代码-号码/发票状态/state" each.
    QString testLedger(const QString& docNo) {
        return acctValue(
            QStringLiteral("select coalesce(FTaxCode,'') || '-' || coalesce(FTaxNumber,'') || '/' || "
                           "coalesce(FIssueState,'') || '/' || FState from TF_Ledger where "
                           "FDirection=0 and FDocNo=?"),
            {docNo});
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
        // Documents of more than two lines are split: ZP000005-1, ZP000005-2.
        db->config->exec(QStringLiteral("update t_BaseInfo set FMaxLines=2 where FID=1"));
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    // The sheet of invoices, whatever the order of the sheets and whatever they are called; a goods-line
    // sheet is never read as invoices.
    void sheetChosen_data() {
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("read");
        const QString both = "2:" + N(1) + ",3:" + N(2);
        QTest::newRow("invoices, goods") << exportWorkbook({invoices(), goods()}) << both;
        QTest::newRow("goods, invoices") << exportWorkbook({goods(), invoices()}) << both;
        QTest::newRow("special, goods, invoices") << exportWorkbook({special(), goods(), invoices()}) << both;
        QTest::newRow("invoices, special, goods") << exportWorkbook({invoices(), special(), goods()}) << both;
        QTest::newRow("renamed: goods, invoices")
            << exportWorkbook({goods("Sheet1"), special(), invoices("Sheet2")}) << both;
        QTest::newRow("renamed: invoices, goods")
            << exportWorkbook({invoices("Sheet1"), goods("Sheet2")}) << both;
        ListSheet copy = invoices("副本");
        copy.rows.removeLast();
        QTest::newRow("the named sheet over another of invoices")
            << exportWorkbook({copy, invoices()}) << both;
        QTest::newRow("two sheets of invoices, neither named")
            << exportWorkbook({invoices("一月"), goods(), invoices("二月")})
            << "发票清单中有2张工作表都像发票基础信息表（“一月”、“二月”），无法确定读哪一张，"
               "请只保留平台导出的那一张后再引入。";
        QTest::newRow("only goods lines") << exportWorkbook({goods()}) << kGoodsOnly;
        QTest::newRow("goods lines and a special business")
            << exportWorkbook({special(), goods("Sheet1")}) << kGoodsOnly;
        ListSheet hidden = invoices("Sheet2");
        hidden.hidden = true;
        QTest::newRow("the invoices hidden") << exportWorkbook({goods("Sheet1"), hidden}) << kGoodsOnly;
        QTest::newRow("the named sheet without a number column")
            << exportWorkbook({{"发票基础信息", {"购买方名称", "金额"}, {}}, goods()})
            << "不是平台导出的发票清单：找不到列“数电发票号码”";
        QTest::newRow("nothing of a list")
            << exportWorkbook({special()}) << "不是平台导出的发票清单：找不到列“购买方名称”";
    }
    void sheetChosen() {
        QFETCH(QByteArray, book);
        QFETCH(QString, read);
        QCOMPARE(readBook(book), read);
    }

    // The rows of the sheet: numbers missing or cut by Excel are never made up, the totals row is none,
    // and every heading the platform has used is read.
    void rowsRead_data() {
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("read");
        auto book = [](const QList<ListRow>& rows, QStringList headings = kInvoiceHeadings) {
            return exportWorkbook({{"发票基础信息", headings, rows}});
        };
        const ListRow blue = issuedRow(N(1), 100, 13, "", "甲公司");
        ListRow taxControl = blue;
        taxControl["数电发票号码"] = "--";
        taxControl["发票代码"] = "3300061130";
        taxControl["发票号码"] = "#12345";
        QTest::newRow("-- with 发票代码 and 发票号码, its zeros lost")
            << book({taxControl}) << "2:3300061130-00012345";
        QStringList rows;
        QList<ListRow> none;
        for (const char* placeholder : {"--", "-", "—", ""}) {
            ListRow r = blue;
            r["数电发票号码"] = placeholder;
            r["发票号码"] = placeholder;
            none << r;
            rows << QStringLiteral("%1::no number").arg(none.size() + 1);
        }
        QTest::newRow("no number at all") << book(none) << rows.join(u',');
        ListRow dateOnly{{"开票日期", "2026-04-12"}, {"金额", "#5"}};
        QTest::newRow("totals rows and rows of nothing")
            << book({blue,
                     {{"序号", "合计"}, {"金额", "#100"}, {"税额", "#13"}},
                     {{"序号", "合计行"}, {"购买方名称", "--"}, {"开票日期", "2026-04-30"}, {"金额", "#100"}},
                     {{"金额", "#100"}, {"税额", "#13"}, {"价税合计", "#113"}},
                     {{"序号", "#7"}, {"备注", "以上发票已核对"}},
                     dateOnly})
            << "2:" + N(1) + ",7::no number";
        ListRow old = blue;
        old["全电发票号码"] = N(5);
        QStringList oldHeadings = kInvoiceHeadings;
        oldHeadings.replace(oldHeadings.indexOf("数电发票号码"), "全电发票号码");
        QTest::newRow("全电发票号码 before 2025") << book({old}, oldHeadings) << "2:" + N(5);
        QStringList odd = kInvoiceHeadings;
        odd.replace(odd.indexOf("数电发票号码"), "数电发票\n号码");
        odd.replace(odd.indexOf("购买方名称"), "*购买方名称");
        odd.replace(odd.indexOf("开票日期"), " 开票 日期");
        odd.replace(odd.indexOf("金额"), "＊金额");
        ListRow oddRow{
            {"数电发票\n号码", N(6)}, {"*购买方名称", "甲"}, {" 开票 日期", "2026-04-12"}, {"＊金额", "#1"}};
        QTest::newRow("headings with blanks, breaks and asterisks") << book({oddRow}, odd) << "2:" + N(6);
        QList<ListRow> cut;
        for (const char* v : {"#26442000000000000000", "#2.6442E+19", "2.6442E+19", "#1234567890123456"}) {
            ListRow r = blue;
            r["数电发票号码"] = v;
            cut << r;
        }
        ListRow cutNumber = taxControl;
        cutNumber["发票号码"] = "#26442000000000000000";
        cut << cutNumber;
        ListRow whole = taxControl;
        whole["发票号码"] = "#87654321";
        cut << whole;
        QTest::newRow("numbers Excel cut, and one it kept whole")
            << book(cut) << "2::Excel,3::Excel,4::Excel,5::Excel,6::Excel,7:3300061130-87654321";
    }
    void rowsRead() {
        QFETCH(QByteArray, book);
        QFETCH(QString, read);
        QCOMPARE(readBook(book), read);
    }

    // A sheet beside the invoices is looked at only down to its heading row: however large it unpacks,
    // the cap on a part's size holds for what is read.
    void headingOnlyPastPartCap() {
        const QString big = QStringLiteral("<row r=\"1\">%1%2</row><row r=\"2\">%3</row>")
                                .arg(inlineCell("A1", "购买方名称"), inlineCell("B1", "数电发票号码"),
                                     inlineCell("A2", QString(3 << 20, u'x')));
        XlsxCaps caps;
        caps.maxPartSize = 1 << 20;
        XlsxReader reader(buildXlsx({{QStringLiteral("S"), sheetXml(big)}}), QStringLiteral("big.xlsx"),
                          caps);
        auto heading = [](const XlsxRow& r) { return r.number == 1; };
        QCOMPARE(reader.rows(reader.sheets().first(), XlsxStop{50, heading, true}).size(), 1);
        QString refused;
        try {
            reader.rows(reader.sheets().first(), XlsxStop{50, heading, false});
        } catch (const DbError& e) {
            refused = e.description();
        }
        QVERIFY2(refused.contains(QStringLiteral("超过1 MB的限制")), qPrintable(refused));
        // Read past the heading, the cap holds for what is unpacked.
        refused.clear();
        try {
            reader.rows(reader.sheets().first(), XlsxStop{50, {}, true});
        } catch (const DbError& e) {
            refused = e.description();
        }
        QVERIFY2(refused.contains(QStringLiteral("解压后超过1 MB的限制")), qPrintable(refused));
    }

    // The export written back: the invoices from 发票基础信息 behind 信息汇总表, each red one flushing the
    // blue one its 备注 names and no other; what cannot be placed listed, by the engine and in the window.
    void writtenBack() {
        QHash<QString, ExportDoc> docs = exportDocs();
        QVERIFY(docs.contains("ZP000001") && docs.contains("ZP000002") && docs.contains("ZP000005-1"));
        const ExportDoc &d1 = docs["ZP000001"], &d2 = docs["ZP000002"];
        ListRow blue1 = issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001");
        ListRow blue2 = issuedRow("--", d2.amount, d2.tax, "", "", "ZP000002 三月");
        blue2["发票代码"] = "3300061130";
        blue2["发票号码"] = "#12345";
        blue2["发票票种"] = "增值税专用发票";
        ListRow cut = issuedRow("#2.6442E+19", docs["ZP000005-1"].amount, docs["ZP000005-1"].tax, "",
                                "丙公司", "ZP000005-1");
        ListRow noNumber = issuedRow("--", 20, 2.6, "", "丁公司");
        // Red rows, before the blue ones in the sheet. The first names a blue invoice never written back;
        // its confirmation number happens to be one that was.
        QList<ListRow> rows{
            issuedRow(N(7), -1, -0.13, "", "某某公司",
                      "被红冲蓝字数电发票号码：" + N(9) + " 红字发票信息确认单编号：" + N(1)),
            issuedRow(N(8), -d1.amount, -d1.tax, "", "某某公司",
                      "被红冲蓝字数电票号码：" + N(1) + " 红字发票信息确认单编号：3301042604000123"),
            issuedRow(N(10), -1, -0.13, "", "某某公司", "对应正数发票代码:3300061130号码:00012345"),
            blue1,
            blue2,
            cut,
            noNumber,
            {{"序号", "合计"}, {"金额", "#1000"}, {"税额", "#130"}}};
        const QString file = db->folder() + QStringLiteral("/全量发票查询导出结果.xlsx");
        writeFile(file, exportWorkbook({goods(), {"发票基础信息", kInvoiceHeadings, rows}}));

        const QStringList expected{
            "回写数电发票2张（按单据号2张，按购方和金额0张），红冲1张。",
            "1张发票没有发票号码，未处理：",
            "第8行\t丁公司\t20.00\t2.60",
            "1张发票的号码被Excel改成了数字（如2.6442E+19），无法确认，未处理：",
            "第7行\t丙公司\t" + decimalText(docs["ZP000005-1"].amount, 2) + u'\t' +
                decimalText(docs["ZP000005-1"].tax, 2),
            "1张发票未找到引出的单据：",
            N(7) + "\t某某公司\t-1.00\t-0.13\t被红冲的蓝字发票" + N(9) + "未回写过",
        };
        PlatformWriteBack w(db->session);
        QVERIFY(w.run(file, false));
        QCOMPARE(w.result().lines(), expected);
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(testLedger("ZP000001"), "-" + N(1) + "/已红冲/1");
        QCOMPARE(testLedger("ZP000002"), "3300061130-00012345/部分红冲/0");
        QCOMPARE(testLedger("ZP000005-1"), "-//0"); // nothing of the cut row written
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FTaxNumber<>''"), "2");
        QCOMPARE(QString::fromUtf8(w.result().csv()).split(QStringLiteral("\r\n")).mid(1, 3),
                 (QStringList{"没有发票号码（第8行）,,丁公司,20.00,2.60,",
                              "号码被Excel改成了数字（第7行）,,丙公司," +
                                  decimalText(docs["ZP000005-1"].amount, 2) + u',' +
                                  decimalText(docs["ZP000005-1"].tax, 2) + u',',
                              "未找到引出的单据（被红冲的蓝字发票" + N(9) + "未回写过）," + N(7) +
                                  ",某某公司,-1.00,-0.13,"}));

        // Read again, in the window: nothing new, the same rows listed.
        PlatformListWindow window(db->session);
        QVERIFY(window.openList(file));
        QStringList grid;
        for (int r = 0; r < window.grdInvoices->rowCount(); ++r)
            grid << window.grdInvoices->item(r, 0)->text() + u'|' + window.grdInvoices->item(r, 1)->text() +
                        u'|' + window.grdInvoices->item(r, 2)->text();
        QCOMPARE(grid, (QStringList{"没有发票号码（第8行）||丁公司", "号码被Excel改成了数字（第7行）||丙公司",
                                    "未找到引出的单据（被红冲的蓝字发票" + N(9) + "未回写过）|" + N(7) +
                                        "|某某公司"}));
        QVERIFY(!window.cmdWriteBack->isEnabled());
    }

    // A red invoice read before its blue one was written back flushes it once the blue one is.
    void redBeforeItsBlue() {
        const QHash<QString, ExportDoc> docs = exportDocs();
        const ExportDoc d1 = docs.value("ZP000001"), d4 = docs.value("ZP000004");
        QVERIFY(d4.amount < 0 && d1.amount > -d4.amount);
        const QString name101 = acctValue("select FName from t_Organization where FItemID=101");
        // The red document ZP000004 issued as a red invoice naming a blue one not written back yet.
        const ListRow red =
            issuedRow(N(5), d4.amount, d4.tax, "", name101, "被红冲蓝字数电发票号码：" + N(1));
        const QString file = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(file, exportWorkbook({{"发票基础信息", kInvoiceHeadings, {red}}}));
        PlatformWriteBack w(db->session);
        QVERIFY(w.run(file, false));
        QCOMPARE(testLedger("ZP000004"), "-" + N(5) + "/已开票/0");
        QCOMPARE(testLedger("ZP000001"), "-//0");
        writeFile(file, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {red, issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001")}}}));
        QVERIFY(w.run(file, false));
        QCOMPARE(w.result().lines().first(), "回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。");
        QCOMPARE(testLedger("ZP000001"), "-" + N(1) + "/部分红冲/0");
    }

    // A red invoice in a later month's list flushes the blue one an earlier list wrote back, though the
    // blue one is not in this list.
    void redInALaterList() {
        const ExportDoc d1 = exportDocs().value("ZP000001");
        const QString file = db->folder() + QStringLiteral("/list.xlsx");
        PlatformWriteBack w(db->session);
        writeFile(file, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001")}}}));
        QVERIFY(w.run(file, false));
        QCOMPARE(testLedger("ZP000001"), "-" + N(1) + "/已开票/0");
        writeFile(file, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {issuedRow(N(8), -d1.amount, -d1.tax, "", "某某公司",
                                                    "被红冲蓝字数电发票号码：" + N(1))}}}));
        QVERIFY(w.run(file, false));
        QCOMPARE(w.result().placedLines(), QStringList{N(8) + "\tZP000001\t按被红冲的蓝字发票"});
        QCOMPARE(testLedger("ZP000001"), "-" + N(1) + "/已红冲/1");
    }

    // An invoice listed twice in one list (the platform lists it again after a change of state): written
    // back once; its second row records the new state on it and is no invoice for another document.
    void sameInvoiceTwice_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("ledger");
        QTest::newRow("cancelled") << "已作废"
                                   << "回写数电发票1张（按单据号1张，按购方和金额0张），红冲1张。"
                                   << "-" + N(1) + "/已作废/1";
        QTest::newRow("the same again") << "正常"
                                        << "回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。"
                                        << "-" + N(1) + "/已开票/0";
    }
    void sameInvoiceTwice() {
        QFETCH(QString, state);
        QFETCH(QString, summary);
        QFETCH(QString, ledger);
        const QHash<QString, ExportDoc> docs = exportDocs();
        const ExportDoc d1 = docs.value("ZP000001");
        // Another document of the same buyer and amounts the second row could otherwise be taken for.
        const QString buyerOf = QStringLiteral(
            "select o.FName from ICSale s join t_Organization o on o.FItemID=s.FCustID where s.FBillNo=?");
        const QString name101 = acctValue(buyerOf, {"ZP000001"});
        QCOMPARE(acctValue(buyerOf, {"ZP000004"}), name101);
        db->acct->exec(QStringLiteral("update TF_Ledger set FAmount=?, FTax=? where FDocNo='ZP000004'"),
                       {d1.amount, d1.tax});
        ListRow again = issuedRow(N(1), d1.amount, d1.tax, "", name101, "", state);
        const QString file = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(file,
                  exportWorkbook({{"发票基础信息",
                                   kInvoiceHeadings,
                                   {issuedRow(N(1), d1.amount, d1.tax, "", name101, "ZP000001"), again}}}));
        PlatformWriteBack w(db->session);
        QVERIFY(w.run(file, false));
        QCOMPARE(w.result().lines(), QStringList{summary});
        QCOMPARE(testLedger("ZP000001"), ledger);
        QCOMPARE(testLedger("ZP000004"), "-//0");
    }

    // The batch tool refuses a workbook of goods lines only: exit 1, the reason on stderr, nothing written.
    void batchGoodsOnly() {
        exportDocs();
        const QString file = db->folder() + QStringLiteral("/goods.xlsx");
        writeFile(file, exportWorkbook({goods(), special()}));
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH),
                {"writeback", file, "--acct", db->acctConnString(), "--config", db->configPath});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), kGoodsOnly);
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FTaxNumber<>''"), "0");
    }
};

QTEST_MAIN(TestPlatformExport)
#include "test_platform_export.moc"
