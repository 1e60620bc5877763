// The platform's way round: documents exported from the set are issued on the tax bureau's platform,
// whose list of issued invoices comes back as a workbook and is written back onto the export.
#include "ExportedDocs.h"
#include "PlatformListBook.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "export/ExportEngine.h"
#include "export/Reconciliation.h"
#include "import/PlatformList.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QProcess>
#include <QtTest/QtTest>

namespace {
QString money(double v) {
    return decimalText(v, 2);
}
} // namespace

class TestPlatformList : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    // The documents as the preview shows them, then the export that records them.
    QHash<QString, ExportDoc> exportDocs() { return byDocNo(exportedDocs(*db)); }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*db->acct, sql, params);
    }
    // The export rows of a document: "号码/发票状态/state" each.
    QString testLedger(const QString& docNo) {
        return acctValue(
            QStringLiteral("select coalesce(FTaxNumber,'') || '/' || coalesce(FIssueState,'') || '/' "
                           "|| FState from TF_Ledger where FDirection=0 and FDocNo=?"),
            {docNo});
    }
    QString customer(const QString& column, int id) {
        return acctValue(QStringLiteral("select %1 from t_Organization where FItemID=?").arg(column), {id});
    }
    QStringList writeBackList(const QByteArray& list, bool preview = false) {
        const QString file = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(file, list);
        PlatformWriteBack w(db->session);
        if (!w.run(file, preview)) return {QStringLiteral("refused")};
        return w.result().lines();
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
        db->config->exec(QStringLiteral("update t_BaseInfo set FMaxLines=2 where FID=1"));
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    void writtenBack() {
        QHash<QString, ExportDoc> docs = exportDocs();
        QCOMPARE(docs.size(), 7);
        // Two pieces of one buyer with the same amounts: a listed invoice could be either.
        db->acct->exec(QStringLiteral(
            "update TF_Ledger set FAmount=100, FTax=13 where FDocNo in ('ZP000003-1','ZP000003-2')"));
        const QString taxNo102 = customer("FTaxNum", 102), name101 = customer("FName", 101);
        const QString name104 = customer("FName", 104);
        const ExportDoc &d1 = docs["ZP000001"], &d2 = docs["ZP000002"], &d4 = docs["ZP000004"];
        QVERIFY(d4.amount < 0 && !taxNo102.isEmpty());

        QList<ListRow> rows{
            // by the 单据号 in 备注, its date a date cell
            issuedRow(N(1), d1.amount, d1.tax, "", "随便写的名称", "ZP000001 打印机及显示器"),
            // by buyer and amounts
            issuedRow(N(2), d2.amount, d2.tax, taxNo102, "", "笔记本电脑"),
            issuedRow(N(3), 100, 13, customer("FTaxNum", 104), name104),
            issuedRow(N(4), 1, 0.13, "91330100000000001X", "某某公司"),
            // the red document, by buyer name and amounts; it flushes part of N(1)
            issuedRow(N(5), d4.amount, d4.tax, "", name101, "被红冲蓝字数电票号码：" + N(1)),
            issuedRow(N(6), docs["ZP000005-1"].amount, docs["ZP000005-1"].tax, "", "", "ZP000005-1",
                      "全额红冲"),
            // a red invoice of no document: the flush of N(2) in full
            issuedRow(N(7), -d2.amount, -d2.tax, taxNo102, "",
                      "被红冲蓝字数电票号码：" + N(2) + " 红字发票信息确认单编号：1"),
            issuedRow(N(8), docs["ZP000005-2"].amount, docs["ZP000005-2"].tax, "", "", "ZP000005-2",
                      "部分红冲"),
            issuedRow(N(9), d1.amount, d1.tax, "", "", "ZP000001"),
            {{"购买方名称", "合计"}, {"金额", "#1000"}}, // the totals line
        };
        rows[0]["开票日期"] = "@2026-04-11";
        rows[1]["开票日期"] = "2026-04-13";
        rows[8]["销方识别号"] = "913300000000000000";
        const QByteArray list = listWorkbook(kHeadings, rows);
        const QStringList expected{
            "回写数电发票5张（按单据号3张，按购方和金额2张），红冲2张。",
            "1张发票的销方识别号不是本账套的税号，未处理。",
            "1张发票未找到引出的单据：",
            N(4) + "\t某某公司\t1.00\t0.13",
            "1张发票有多张候选单据，未回写：",
            N(3) + u'\t' + name104 + "\t100.00\t13.00\tZP000003-1,ZP000003-2",
        };
        // The preview says the same and writes nothing.
        QCOMPARE(writeBackList(list, true), expected);
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FTaxNumber<>''"), "0");
        QCOMPARE(writeBackList(list), expected);
        QCOMPARE(rec->texts(), QStringList());

        QCOMPARE(testLedger("ZP000001"), N(1) + "/部分红冲/0");
        QCOMPARE(testLedger("ZP000002"), N(2) + "/已红冲/1");
        QCOMPARE(testLedger("ZP000003-1"), "//0");
        QCOMPARE(testLedger("ZP000004"), N(5) + "/已开票/0");
        QCOMPARE(testLedger("ZP000005-1"), N(6) + "/已红冲/1");
        QCOMPARE(testLedger("ZP000005-2"), N(8) + "/部分红冲/0");
        QCOMPARE(
            acctValue(
                "select FIssueDate || '/' || coalesce(FTaxCode,'') || '/' || FInvoiceKind from TF_Ledger "
                "where FDocNo in ('ZP000001','ZP000002') order by FDocNo"),
            "2026-04-11//0,2026-04-13//0");
        QCOMPARE(
            acctValue("select FTaxInvoiceNo from ICSale where FBillNo in ('ZP000001','ZP000002','ZP000004',"
                      "'ZP000005') order by FBillNo"),
            N(1) + ",," + N(5) + u',' + N(8));

        Reconciliation r(db->session);
        QStringList states;
        for (const ReconcileDocument& d : r.run(QString()))
            states << d.docNo + u'=' + d.state + u'=' + d.number;
        QCOMPARE(states, (QStringList{"ZP000001=部分红冲=" + N(1), "ZP000002=已红冲=" + N(2),
                                      "ZP000003-1=未开票=", "ZP000003-2=未开票=", "ZP000004=已开票=" + N(5),
                                      "ZP000005-1=已红冲=" + N(6), "ZP000005-2=部分红冲=" + N(8)}));

        // A second reading writes nothing again; what matched nothing is still said.
        const QString before = acctValue("select count(*) from TF_Ledger where FTaxNumber<>''") + u'/' +
                               acctValue("select count(*) from TF_Ledger where FState=1");
        QStringList again = expected;
        again[0] = "清单中的6张发票都已回写过。";
        QCOMPARE(writeBackList(list), again);
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FTaxNumber<>''") + u'/' +
                     acctValue("select count(*) from TF_Ledger where FState=1"),
                 before);

        // A later list that overlaps: only what is new is written (N(1) now flushed in full).
        rows[0]["发票状态"] = "全额红冲";
        QCOMPARE(writeBackList(listWorkbook(kHeadings, rows.mid(0, 2))).first(),
                 "回写数电发票0张（按单据号0张，按购方和金额0张），红冲1张。");
        QCOMPARE(testLedger("ZP000001"), N(1) + "/已红冲/1");

        // Flushed in full: the documents go out again (ZP000005 still has a piece that stands).
        rec->clear();
        const QHash<QString, ExportDoc> out = exportDocs();
        QCOMPARE(QStringList(out.keyBegin(), out.keyEnd()).size(), 2);
        QVERIFY(out.contains("ZP000001") && out.contains("ZP000002"));
    }

    // The batch tool: the same lines on stdout; 0 once the list was read, 1 when it was refused.
    void batch() {
        const ExportDoc d1 = exportDocs().value("ZP000001");
        const QString list = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(list, listWorkbook(kHeadings, {issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001")}));
        const QString bad = db->folder() + QStringLiteral("/bad.xlsx");
        writeFile(bad, listWorkbook({"发票号码", "金额"}, {}));
        auto run = [&](const QStringList& args, QByteArray* err = nullptr) {
            QProcess p;
            p.start(QStringLiteral(TAXFERRY_BATCH),
                    QStringList{"writeback"} + args +
                        QStringList{"--acct", db->acctConnString(), "--config", db->configPath});
            p.waitForFinished(60000);
            if (err) *err = p.readAllStandardError();
            return QString::number(p.exitCode()) + u'|' + QString::fromUtf8(p.readAllStandardOutput());
        };
        // The preview says which document each invoice goes onto, and how it was found.
        QCOMPARE(run({list, "--preview"}), "0|回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。\n" +
                                               N(1) + "\tZP000001\t按单据号\n");
        QCOMPARE(testLedger("ZP000001"), "//0");
        QCOMPARE(run({list}), "0|回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。\n");
        QCOMPARE(run({list}), "0|清单中的1张发票都已回写过。\n");
        QByteArray err;
        QCOMPARE(run({bad}, &err), "1|");
        QCOMPARE(QString::fromUtf8(err).trimmed(), "不是平台导出的发票清单：找不到列“购买方名称”");
    }

    // Layouts of the list the reader takes, and those it refuses.
    void testReadList_data() {
        QTest::addColumn<QStringList>("headings");
        QTest::addColumn<QStringList>("values"); // one row, by heading
        QTest::addColumn<QString>("read");       // number|date|amount|tax|red, or the refusal
        QTest::newRow("digital, text date with a time")
            << QStringList{"数电发票号码", "购买方名称", "开票日期", "金额", "税额"}
            << QStringList{N(1), "甲", "2026-04-12 08:00:00", "#1130.5", "146.97"}
            << N(1) + "|2026-04-12|1130.50|146.97|0";
        QTest::newRow("code and number, number cells, a date cell, red")
            << QStringList{"税额", "发票号码", "是否正数发票", "购买方名称", "发票代码", "开票日期", "金额"}
            << QStringList{"#-13", "#12345", "否", "乙", "#3300061130", "@2026-03-01", "#-100"}
            << "3300061130-00012345|2026-03-01|-100.00|-13.00|1";
        QTest::newRow("slashes, grouping, headings with blanks")
            << QStringList{"发票号码", " 购买方名称 ", "开票日期", "金额", "税额"}
            << QStringList{"00000001", "丙", "2026/4/2", "1,200.00", "***"}
            << "00000001|2026-04-02|1200.00|0.00|0";
        QTest::newRow("no buyer column") << QStringList{"数电发票号码", "金额"} << QStringList{N(1), "#1"}
                                         << "不是平台导出的发票清单：找不到列“购买方名称”";
        QTest::newRow("no number column")
            << QStringList{"购买方名称", "发票代码", "金额"} << QStringList{"甲", "1", "#1"}
            << "不是平台导出的发票清单：找不到列“数电发票号码”";
        QTest::newRow("no amount column")
            << QStringList{"购买方名称", "数电发票号码", "开票日期", "税额"}
            << QStringList{"甲", N(1), "2026-04-12", "1"} << "不是平台导出的发票清单：找不到列“金额”";
        QTest::newRow("an amount that is no number")
            << QStringList{"数电发票号码", "购买方名称", "开票日期", "金额", "税额"}
            << QStringList{N(1), "甲", "2026-04-12", "一百", "1"} << "发票清单第3行的金额“一百”不是数字。";
        QTest::newRow("a date that is none")
            << QStringList{"数电发票号码", "购买方名称", "开票日期", "金额", "税额"}
            << QStringList{N(1), "甲", "昨天", "1", "1"} << "发票清单第3行的开票日期“昨天”不是日期。";
    }
    // The list is read up to 200,000 rows (a month in one file); one past them refuses it, naming the file
    // and the cap.
    void readListCapped() {
        const QString head =
            QStringLiteral("<row r=\"1\">%1%2%3%4%5</row>")
                .arg(inlineCell("A1", "购买方名称"), inlineCell("B1", "数电发票号码"),
                     inlineCell("C1", "开票日期"), inlineCell("D1", "金额"), inlineCell("E1", "税额"));
        auto row = [](int r) {
            return QStringLiteral("<row r=\"%1\">%2%3</row>")
                .arg(r)
                .arg(inlineCell(QStringLiteral("A%1").arg(r), "甲"),
                     inlineCell(QStringLiteral("B%1").arg(r), N(r)));
        };
        QString got;
        try {
            readPlatformList(buildXlsx({{"发票", sheetXml(head + row(200000))}}), "list.xlsx");
            readPlatformList(buildXlsx({{"发票", sheetXml(head + row(200001))}}), "list.xlsx");
        } catch (const DbError& e) {
            got = e.description();
        }
        QCOMPARE(got, QStringLiteral("文件“list.xlsx”的工作表“发票”超过200000行的限制，不能读取。"));
    }
    void testReadList() {
        QFETCH(QStringList, headings);
        QFETCH(QStringList, values);
        QFETCH(QString, read);
        ListRow row;
        for (int i = 0; i < headings.size(); ++i)
            row.insert(headings[i], values.value(i));
        QString got;
        try {
            const QList<PlatformInvoice> list = readPlatformList(listWorkbook(headings, {row}), "list.xlsx");
            QCOMPARE(list.size(), 1);
            const PlatformInvoice& i = list.first();
            got = QStringList{i.numberText(), i.date, money(i.amount), money(i.tax), QString::number(i.red)}
                      .join(u'|');
        } catch (const DbError& e) {
            got = e.description();
        }
        QCOMPARE(got, read);
    }
};

QTEST_GUILESS_MAIN(TestPlatformList)
#include "test_platformlist.moc"
