// What the platform gives back besides its list: the refusals of an uploaded batch workbook marked on the
// documents refused, which may go out again; the 红字发票信息确认单编号 kept with red invoices; the list's
// preview naming the document each invoice goes onto.
#include "ExportedDocs.h"
#include "PlatformListBook.h"
#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "export/ExportEngine.h"
#include "export/Reconciliation.h"
#include "import/PlatformList.h"
#include "import/PlatformRefusals.h"
#include "import/ui/PlatformListWindow.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QtTest>

namespace {
// A sheet as the template lays it out: a title, the limits row, the headings on row 3, then the rows.
BuiltSheet templateSheet(const QString& name, const QStringList& headings, const QList<QStringList>& rows) {
    QString cells;
    for (int c = 0; c < headings.size(); ++c)
        cells += inlineCell(xlsxColumnName(c) + u'3', headings[c]);
    QString xml = QStringLiteral("<row r=\"1\">%1</row><row r=\"2\">%2</row><row r=\"3\">%3</row>")
                      .arg(inlineCell("A1", name), inlineCell("A2", "限20字符"), cells);
    for (int r = 0; r < rows.size(); ++r) {
        QString row;
        for (int c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].isEmpty())
                row += inlineCell(xlsxColumnName(c) + QString::number(r + 4), rows[r][c]);
        xml += QStringLiteral("<row r=\"%1\">%2</row>").arg(r + 4).arg(row);
    }
    return {name, sheetXml(xml)};
}

const QStringList kHead{"*发票流水号", "*发票类型", "*购买方名称", "放弃享受减按1%征收率原因",
                        "导入失败原因"};

// The refusal workbook of the head sheet: rows of 发票流水号 and reason.
QByteArray refusalBook(const QList<std::pair<QString, QString>>& refused) {
    QList<QStringList> rows;
    for (const auto& [key, reason] : refused)
        rows << QStringList{key, "普通发票", "甲公司", "", reason};
    return buildXlsx({templateSheet("1-发票基本信息", kHead, rows)});
}

// What a workbook reads as: "row:key:reason" each, or "no refusals".
QString readRefusals(const QByteArray& book) {
    try {
        const auto refusals = readPlatformRefusals(book, QStringLiteral("失败明细.xlsx"));
        if (!refusals) return QStringLiteral("no refusals");
        QStringList out;
        for (const PlatformRefusal& r : *refusals)
            out << QStringLiteral("%1:%2:%3").arg(r.row).arg(r.key, r.reason);
        return out.join(u',');
    } catch (const DbError& e) {
        return e.description();
    }
}

const QString kReason = QStringLiteral("2-发票明细信息：第1行的商品和服务税收分类编码不存在");
} // namespace

class TestPlatformRefusals : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    // The preview's documents by 单据号, then the export that records them.
    QHash<QString, ExportDoc> exportDocs() { return byDocNo(exportedDocs(*db)); }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*db->acct, sql, params);
    }
    // The export rows of a document: "号码/发票状态/state/reason" each, oldest first.
    QString docRows(const QString& docNo) {
        return acctValue(
            QStringLiteral(
                "select coalesce(FTaxNumber,'') || '/' || coalesce(FIssueState,'') || '/' || FState "
                "|| '/' || coalesce(FIssueReason,'') from TF_Ledger where FDirection=0 and FDocNo=? "
                "order by FState desc, FTime"),
            {docNo});
    }
    QString ledgerDump() {
        return acctValue(QStringLiteral(
            "select coalesce(FDocNo,'') || '|' || FState || '|' || coalesce(FTaxNumber,'') || '|' || "
            "coalesce(FIssueState,'') || '|' || coalesce(FIssueReason,'') || '|' || FTime from TF_Ledger "
            "order by FDocNo, FTime, FState"));
    }
    // The reconciliation's line of a document (every line of it: one per export that stands or was
    // cancelled).
    QStringList reconcileLines(const QString& docNo) {
        QStringList out;
        for (const QString& l : Reconciliation::reportLines(Reconciliation(db->session).run(QString())))
            if (l.startsWith(docNo + u'\t')) out << l;
        return out;
    }
    struct Run {
        int exit = -1;
        QStringList out;
        QString err;
    };
    Run batch(const QString& file, bool preview = false) {
        QProcess p;
        QStringList args{"writeback", file, "--acct", db->acctConnString(), "--config", db->configPath};
        if (preview) args << "--preview";
        p.start(QStringLiteral(TAXFERRY_BATCH), args);
        if (!p.waitForFinished(60000)) return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
                QString::fromUtf8(p.readAllStandardError()).trimmed()};
    }
    QString buyerOf(const QString& billNo) {
        return acctValue(QStringLiteral("select o.FName from ICSale s join t_Organization o on "
                                        "o.FItemID=s.FCustID where s.FBillNo=?"),
                         {billNo});
    }
    static void setFileTime(const QString& path, const QDateTime& time) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
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

    // A refusal workbook is known by 发票流水号 and a reason column the template lacks; its rows that
    // succeeded are none, and a 发票流水号 refused on both sheets is one refusal with both reasons.
    void refusalsRead_data() {
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("read");
        QTest::newRow("导入失败原因, a row that succeeded")
            << refusalBook({{"ZP000001", kReason}, {"ZP000002", "成功"}, {"ZP000003", "购买方名称不能为空"}})
            << "4:ZP000001:" + kReason + ",6:ZP000003:购买方名称不能为空";
        for (const char* heading : {"失败原因", "错误原因", "导入结果"}) {
            QStringList head = kHead;
            head.last() = QString::fromUtf8(heading);
            head.first() = "流水号"; // as a template may head it
            QTest::newRow(heading) << buildXlsx(
                                          {templateSheet("Sheet1", head, {{"ZP000001", "", "", "", "重复"}})})
                                   << "4:ZP000001:重复";
        }
        QTest::newRow("the template itself: only 放弃享受减按1%征收率原因")
            << buildXlsx({templateSheet("1-发票基本信息", kHead.mid(0, 4), {{"ZP000001", "", "", "x"}})})
            << "no refusals";
        QTest::newRow("the platform's list of issued invoices")
            << exportWorkbook({{"发票基础信息", kInvoiceHeadings, {issuedRow(N(1), 100, 13, "", "甲公司")}}})
            << "no refusals";
        // Below its heading row a row no reader gets past: a list's sheets are looked at no further.
        QTest::newRow("a list's goods lines, damaged below their headings")
            << exportWorkbook({{"信息汇总表",
                                kGoodsHeadings,
                                {},
                                false,
                                QStringLiteral("<row r=\"x\"><c r=\"A9\"><v>1</v></c></row>")}})
            << "no refusals";
        QTest::newRow("refused on both sheets")
            << buildXlsx({templateSheet("1-发票基本信息", kHead, {{"ZP000001", "", "", "", "购方税号有误"}}),
                          templateSheet("2-发票明细信息", {"发票流水号", "项目名称", "失败原因"},
                                        {{"ZP000001", "打印机", kReason}, {"ZP000004", "键盘", "成功"}})})
            << "4:ZP000001:购方税号有误；" + kReason;
        QTest::newRow("not a workbook") << QByteArray("单据号,原因\n") << "?";
    }
    void refusalsRead() {
        QFETCH(QByteArray, book);
        QFETCH(QString, read);
        const QString got = readRefusals(book);
        if (read == u"?")
            QVERIFY2(got.contains(QStringLiteral("失败明细.xlsx")), qPrintable(got));
        else
            QCOMPARE(got, read);
    }

    // The batch tool marks the refused documents that still wait for a tax invoice, lists the rest, and
    // reading the same file again changes nothing; the document goes out again, superseding the refusal.
    void refusedAndExportedAgain() {
        QHash<QString, ExportDoc> docs = exportDocs();
        QVERIFY(docs.contains("ZP000001") && docs.contains("ZP000005-1"));
        const ExportDoc d1 = docs["ZP000001"];
        // ZP000005-1 holds a tax invoice already.
        const QString list = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(list, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {issuedRow(N(3), docs["ZP000005-1"].amount, docs["ZP000005-1"].tax,
                                                    "", "", "ZP000005-1")}}}));
        QCOMPARE(batch(list).exit, 0);
        QCOMPARE(docRows("ZP000005-1"), N(3) + "/已开票/0/");

        const QString file = db->folder() + QStringLiteral("/批量开票下载失败明细20260412.xlsx");
        writeFile(file, refusalBook({{"ZP000001", kReason},
                                     {"ZP000002", "成功"},
                                     {"ZP000005-1", "重复开具"},
                                     {"XS000099", "购买方名称不能为空"}}));
        const QStringList unhandled{"2个发票流水号未处理：", "ZP000005-1\t单据已开具发票" + N(3),
                                    "XS000099\t未找到引出的单据"};
        const QStringList marked{"平台退回1张单据，已可重新引出：", "ZP000001\t" + kReason};
        const QString before = ledgerDump();
        Run run = batch(file, true);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out, marked + unhandled);
        QCOMPARE(ledgerDump(), before);

        run = batch(file);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, marked + unhandled);
        QCOMPARE(docRows("ZP000001"), "/开具失败/1/" + kReason);
        QCOMPARE(docRows("ZP000002"), "//0/");
        QCOMPARE(reconcileLines("ZP000001"),
                 QStringList{"ZP000001\t开具失败\t\t" + decimalText(d1.amount, 2) + "\t\t" + kReason});
        const QString markedLedger = ledgerDump();

        // Read again: nothing changes.
        run = batch(file);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out, QStringList{"退回明细中的1张单据都已标记过开具失败。"} + unhandled);
        QCOMPARE(ledgerDump(), markedLedger);

        // Exportable again: the new export supersedes the refused rows, the reconciliation shows it alone.
        setFileTime(file, QDateTime::currentDateTime().addSecs(-3600));
        docs = exportDocs();
        QCOMPARE(docs.keys(), QStringList{"ZP000001"});
        QCOMPARE(docRows("ZP000001"), "/开具失败/2/" + kReason + ",//0/");
        QCOMPARE(reconcileLines("ZP000001"),
                 QStringList{"ZP000001\t未开票\t\t" + decimalText(d1.amount, 2) + "\t"});
        const QString exported = ledgerDump();
        // The old refusals read after it: the new export is not theirs.
        run = batch(file);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out.mid(0, 2), (QStringList{"没有可重新引出的单据。", "3个发票流水号未处理："}));
        QVERIFY2(run.out.value(2).startsWith("ZP000001\t单据已于"), qPrintable(run.out.value(2)));
        QCOMPARE(ledgerDump(), exported);
        // Refused once more, in a file given back after the new export: marked.
        setFileTime(file, QDateTime::currentDateTime().addSecs(3600));
        run = batch(file);
        QCOMPARE(run.out.mid(0, 2), (QStringList{"平台退回1张单据，已可重新引出：", "ZP000001\t" + kReason}));
        QCOMPARE(docRows("ZP000001"), "/开具失败/2/" + kReason + ",/开具失败/1/" + kReason);

        // Issued after all from the refused document: the invoice is written back, the refusal is over.
        writeFile(list, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {issuedRow(N(4), d1.amount, d1.tax, "", "", "ZP000001")}}}));
        QCOMPARE(batch(list).out.value(0), "回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。");
        QCOMPARE(reconcileLines("ZP000001"),
                 QStringList{"ZP000001\t已开票\t" + N(4) + u'\t' + decimalText(d1.amount, 2) + u'\t' +
                             decimalText(d1.amount, 2)});
    }

    // A set that never exported: the refusals and the list's preview find nothing, say so, and leave the
    // set without a ledger.
    void nothingExportedYet() {
        PlatformRefusalWriteBack marks(db->session);
        QVERIFY(marks.apply({{4, "ZP000001", kReason}}, QDateTime::currentDateTime(), false));
        QCOMPARE(marks.result().lines(), (QStringList{"没有可重新引出的单据。", "1个发票流水号未处理：",
                                                      "ZP000001\t未找到引出的单据"}));
        PlatformWriteBack list(db->session);
        QVERIFY(list.apply(readPlatformList(exportWorkbook({{"发票基础信息",
                                                             kInvoiceHeadings,
                                                             {issuedRow(N(1), 100, 13, "", "甲公司")}}}),
                                            QStringLiteral("list.xlsx")),
                           true));
        QCOMPARE(list.result().lines().value(1), "1张发票未找到引出的单据：");
        QCOMPARE(rec->texts(), QStringList());
        QVERIFY(!Ledger::exists(*db->acct));
    }

    // A ledger of an earlier version, without the columns a refusal writes: the preview and the
    // reconciliation leave it so, the marking adds them in place and keeps every row.
    void olderLedger() {
        QVERIFY(exportDocs().contains("ZP000001"));
        db->acct->exec(QStringLiteral("alter table TF_Ledger drop column FIssueReason"));
        db->acct->exec(QStringLiteral("alter table TF_Ledger drop column FRedConfirmNo"));
        const QString rows = acctValue("select count(*) from TF_Ledger");
        PlatformRefusalWriteBack marks(db->session);
        QVERIFY(marks.apply({{4, "ZP000001", kReason}}, QDateTime::currentDateTime(), true));
        QCOMPARE(marks.result().marked.size(), 1);
        QCOMPARE(reconcileLines("ZP000001").value(0).section(u'\t', 1, 1), "未开票");
        QVERIFY(!Ledger::current(*db->acct));
        QVERIFY(marks.apply({{4, "ZP000001", kReason}}, QDateTime::currentDateTime(), false));
        QVERIFY(Ledger::current(*db->acct));
        QCOMPARE(acctValue("select count(*) from TF_Ledger"), rows);
        QCOMPARE(docRows("ZP000001"), "/开具失败/1/" + kReason);
        QCOMPARE(rec->texts(), QStringList());
    }

    // A 单据号 longer than 20 characters went out as its last 20: the refusal finds it by them. The window
    // takes the same file, shows what it would mark and marks it on request.
    void longDocumentInWindow() {
        QVERIFY(exportDocs().contains("ZP000002"));
        const QString longNo = QStringLiteral("HZ-MINGYUAN-2026-04-ZP000002");
        db->acct->exec(QStringLiteral("update TF_Ledger set FDocNo=? where FDocNo='ZP000002'"), {longNo});
        const QString file = db->folder() + QStringLiteral("/下载失败明细.xlsx");
        writeFile(file, refusalBook({{longNo.right(20), "购买方纳税人识别号有误"}, {"ZP000002", "重复"}}));
        PlatformListWindow w(db->session);
        QVERIFY(w.openList(file));
        QCOMPARE(w.lblSummary->text(),
                 "预览（尚未回写）：平台退回1张单据，已可重新引出。1个发票流水号未处理。");
        QCOMPARE(w.grdInvoices->rowCount(), 2);
        QCOMPARE(w.grdInvoices->horizontalHeaderItem(1)->text(), "发票流水号");
        QCOMPARE(w.grdInvoices->item(0, 0)->text(), "开具失败：购买方纳税人识别号有误");
        QCOMPARE(w.grdInvoices->item(0, 5)->text(), longNo);
        QCOMPARE(w.grdInvoices->item(1, 0)->text(), "未处理：未找到引出的单据");
        QCOMPARE(docRows(longNo), "//0/");
        QVERIFY(w.cmdWriteBack->isEnabled());
        QTest::mouseClick(w.cmdWriteBack, Qt::LeftButton);
        QCOMPARE(rec->texts(), QStringList());
        QVERIFY(w.lblSummary->text().startsWith("已回写：平台退回1张单据"));
        QCOMPARE(docRows(longNo), "/开具失败/1/购买方纳税人识别号有误");
        QVERIFY(!w.cmdWriteBack->isEnabled());
    }

    // Red invoices keep their 红字发票信息确认单编号: on their own document, or on the blue one's where they
    // have none; the reconciliation shows it. The preview names the document of every invoice and how it
    // was found.
    void confirmationAndPreview() {
        const QHash<QString, ExportDoc> docs = exportDocs();
        const ExportDoc d1 = docs.value("ZP000001"), d2 = docs.value("ZP000002"), d4 = docs.value("ZP000004");
        QVERIFY(d4.amount < 0);
        const QString file = db->folder() + QStringLiteral("/全量发票查询导出结果.xlsx");
        writeFile(file, exportWorkbook({{"发票基础信息",
                                         kInvoiceHeadings,
                                         {issuedRow(N(9), -d1.amount, -d1.tax, "", "某某公司",
                                                    "被红冲蓝字数电发票号码：" + N(1) +
                                                        " 红字发票信息确认单编号：3301042604000123"),
                                          issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001"),
                                          issuedRow(N(2), d2.amount, d2.tax, "", buyerOf("ZP000002")),
                                          issuedRow(N(4), d4.amount, d4.tax, "", "",
                                                    "ZP000004 红字发票信息确认单编号：3301042604000456")}}}));
        const QStringList summary{"回写数电发票3张（按单据号2张，按购方和金额1张），红冲1张。"};
        const QStringList placed{N(9) + "\tZP000001\t按被红冲的蓝字发票", N(1) + "\tZP000001\t按单据号",
                                 N(2) + "\tZP000002\t按购方和金额", N(4) + "\tZP000004\t按单据号"};
        Run run = batch(file, true);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out, summary + placed);
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FTaxNumber<>''"), "0");

        PlatformListWindow w(db->session);
        QVERIFY(w.openList(file));
        QStringList grid;
        for (int r = 0; r < w.grdInvoices->rowCount(); ++r)
            grid << w.grdInvoices->item(r, 1)->text() + u'\t' + w.grdInvoices->item(r, 5)->text() + u'\t' +
                        w.grdInvoices->item(r, 0)->text();
        QStringList shown;
        for (const QString& p : placed)
            shown << p.section(u'\t', 0, 1) + QStringLiteral("\t回写到单据（") + p.section(u'\t', 2) + u'）';
        QCOMPARE(grid, shown);

        // Written: the lines without the preview's.
        run = batch(file);
        QCOMPARE(run.out, summary);
        QCOMPARE(acctValue("select FRedConfirmNo from TF_Ledger where FDocNo='ZP000001'"),
                 "3301042604000123");
        QCOMPARE(acctValue("select FRedConfirmNo from TF_Ledger where FDocNo='ZP000004'"),
                 "3301042604000456");
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FRedConfirmNo is not null"), "2");
        QCOMPARE(reconcileLines("ZP000001"),
                 QStringList{"ZP000001\t已红冲\t" + N(1) + u'\t' + decimalText(d1.amount, 2) + u'\t' +
                             decimalText(d1.amount, 2) + "\t红字发票信息确认单编号：3301042604000123"});
        QVERIFY(reconcileLines("ZP000004").value(0).endsWith("\t红字发票信息确认单编号：3301042604000456"));
        const QStringList csv =
            QString::fromUtf8(Reconciliation::csv(Reconciliation(db->session).run(QString())))
                .split(QStringLiteral("\r\n"));
        QCOMPARE(csv.first(), "单据号,状态,发票代码-发票号码,引出不含税金额,开票不含税金额,说明");
        // Read again: nothing new, nothing placed.
        run = batch(file, true);
        QCOMPARE(run.out, QStringList{"清单中的4张发票都已回写过。"});
    }
};

QTEST_MAIN(TestPlatformRefusals)
#include "test_platform_refusals.moc"
