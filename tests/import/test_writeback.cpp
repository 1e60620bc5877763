// The loop closed: documents exported from the set come back from the tax system as issued invoices and
// are written back onto the export, not imported again; the reconciliation says what became of each.
#include "InvoiceLines.h"
#include "LoopDocs.h"
#include "common/DbProcedures.h"
#include "common/Values.h"
#include "export/ExportEngine.h"
#include "export/Reconciliation.h"
#include "import/ImportEngine.h"
#include "import/IssuedWriteBack.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

namespace {
QString money(double v) {
    return decimalText(v, 2);
}

// With a discount line under its goods line.
QStringList issuedWithDiscount(const ExportDoc& doc, const QString& number, bool cancelled = false,
                               double plus = 0) {
    return issuedFrom(doc, number, cancelled, plus, {goodsLine({}), discountLine()});
}
} // namespace

class TestWriteBack : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    // Exports link 1 (special invoices, at most two lines to a document) and returns its documents.
    QList<ExportDoc> exportDocs(bool includeExported = false) {
        const QString out = db->folder() + QStringLiteral("/out.txt");
        // The documents as the preview shows them, then the export that writes them.
        ExportEngine preview(db->session);
        preview.setIncludeExported(includeExported);
        preview.setPreview(true);
        if (!preview.exportFile(out, QString(13, u'|'), QStringLiteral("1"))) return {};
        rec->clear();
        ExportEngine e(db->session);
        e.setIncludeExported(includeExported);
        if (!e.exportFile(out, QString(13, u'|'), QStringLiteral("1"))) return {};
        return preview.preview();
    }
    bool testRunImport(const QStringList& lines, bool skip = false, QString* counts = nullptr) {
        const QString file = db->folder() + QStringLiteral("/issued.txt");
        writeGbkFile(file, lines);
        ImportEngine engine(db->session);
        const bool ok = engine.importToQor(file, skip);
        if (counts) *counts = engine.countsText();
        return ok;
    }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*db->acct, sql, params);
    }
    // The export rows of a document: "号码/state" each.
    QString testLedger(const QString& docNo) {
        return acctValue(
            QStringLiteral(
                "select coalesce(FTaxNumber,'') || '/' || FState from TF_Ledger where FDirection=0 "
                "and FDocNo=? order by FTaxNumber, FState"),
            {docNo});
    }
    QString taxInvoiceNoOf(const QString& billNo) {
        return acctValue(QStringLiteral("select FTaxInvoiceNo from ICSale where FBillNo=?"), {billNo});
    }

private Q_SLOTS:
    // The open documents as the write-back holds them: a document's rows however they come, each found by
    // its own 单据号 only, taken once.
    void openDocuments() {
        OpenDocuments open;
        const QList<std::pair<QString, qlonglong>> rows{{"XS0002", 5},  {"XS0001", 3}, {"XS0002", 7},
                                                        {"XS00010", 9}, {"xs0001", 2}, {"XS0001", 4}};
        QList<int> docs;
        for (const auto& [docNo, id] : rows)
            docs << open.add(docNo, id);
        QCOMPARE(docs, (QList<int>{0, 1, 0, 2, 3, 1}));
        open.finish();
        QCOMPARE(open.size(), 4);
        const QList<std::pair<QString, QList<qlonglong>>> found{
            {"XS0001", {3, 4}}, {"XS0002", {5, 7}}, {"XS00010", {9}}, {"xs0001", {2}}};
        for (const auto& [docNo, ids] : found) {
            const int doc = open.find(docNo);
            QVERIFY2(doc >= 0, qPrintable(docNo));
            QCOMPARE(open.docNo(doc), docNo);
            QCOMPARE(open.interIDs(doc), ids);
        }
        for (const char* none : {"XS000", "XS0003", "", "XS00011", "xs0002"})
            QCOMPARE(open.find(QString::fromLatin1(none)), -1);
        const int doc = open.find(u"XS0002");
        QVERIFY(open.take(doc));
        QVERIFY(!open.take(doc));
        QVERIFY(open.take(open.find(u"XS0001")));
    }

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

    void writtenBackNotImported() {
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        QCOMPARE(QStringList(docs.keyBegin(), docs.keyEnd()).size(), 7);
        QVERIFY(docs.contains("ZP000003-2") && docs.contains("ZP000005-1"));
        const int salesBefore = acctValue("select count(*) from ICSale").toInt();
        QString counts;
        const QStringList file = countedFile({
            issuedWithDiscount(docs["ZP000001"], "10000001"),
            issuedWithDiscount(docs["ZP000002"], "10000002", true),
            issuedWithDiscount(docs["ZP000003-1"], "10000003"),
            issuedWithDiscount(docs["ZP000003-2"], "10000004"),
            issuedWithDiscount(docs["ZP000004"], "10000005"), // the red one
            issuedWithDiscount(docs["ZP000005-1"], "10000006", false, 1),
            invoice({.number = "10000007"}, {goodsLine({})}),                    // typed in by hand
            invoice({.number = "10000008", .docNo = "XS9999"}, {goodsLine({})}), // another set's document
        });
        QVERIFY(testRunImport(file, false, &counts));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(counts, QStringLiteral("引入发票2张，商品行2行。\n回写税控发票6张，其中作废1张。\n"
                                        "1张发票的销售单据编号不是本账套引出的单据，已作为新发票引入。"));
        QCOMPARE(acctValue("select count(*) from ICSale").toInt(), salesBefore + 2);
        QCOMPARE(testLedger("ZP000001"), "10000001/0");
        QCOMPARE(testLedger("ZP000002"), "10000002/1");
        QCOMPARE(testLedger("ZP000005-2"), "/0");
        QCOMPARE(acctValue("select FIssueDate || '/' || FIssueState || '/' || FTaxCode from TF_Ledger where "
                           "FDocNo='ZP000001'"),
                 "2026-03-15/已开票/3300061130");
        QCOMPARE(taxInvoiceNoOf("ZP000001"), "3300061130-10000001");
        QCOMPARE(taxInvoiceNoOf("ZP000002"), "");
        QCOMPARE(taxInvoiceNoOf("ZP000003"), "3300061130-10000003,3300061130-10000004");
        QCOMPARE(taxInvoiceNoOf("ZP000004"), "3300061130-10000005");
        QCOMPARE(taxInvoiceNoOf("ZP000005"), "3300061130-10000006");

        // What became of each document.
        Reconciliation r(db->session);
        QStringList states;
        for (const ReconcileDocument& d : r.run(QString()))
            states << d.docNo + u'=' + d.state + u'=' + d.number;
        QCOMPARE(states,
                 (QStringList{"ZP000001=已开票=3300061130-10000001", "ZP000002=已作废=3300061130-10000002",
                              "ZP000003-1=已开票=3300061130-10000003",
                              "ZP000003-2=已开票=3300061130-10000004", "ZP000004=已开票=3300061130-10000005",
                              "ZP000005-1=金额不符=3300061130-10000006", "ZP000005-2=未开票="}));
        const QStringList report = Reconciliation::reportLines(r.run(QString()));
        QCOMPARE(report.first(), QStringLiteral("ZP000001\t已开票\t3300061130-10000001\t%1\t%1")
                                     .arg(money(docs["ZP000001"].amount)));
        QCOMPARE(report[6],
                 QStringLiteral("ZP000005-2\t未开票\t\t%1\t").arg(money(docs["ZP000005-2"].amount)));
        QCOMPARE(report.mid(7).join(u'|').count(QStringLiteral("合计\t")), 4);
        QVERIFY(
            report.contains(QStringLiteral("合计\t已作废\t1张\t%1\t%1").arg(money(docs["ZP000002"].amount))));

        // The cancelled one goes out again; the rest stay out.
        const QList<ExportDoc> again = exportDocs();
        QCOMPARE(again.size(), 1);
        QCOMPARE(again.first().docNo, QStringLiteral("ZP000002"));
        // The two typed in by hand or from another set came in from the tax system.
        QCOMPARE(rec->texts(), QStringList{"已有4张发票引出过、2张发票由税控系统引入，本次未引出。"});
        rec->clear();

        // The same file again is refused as a repeat; nothing changes.
        const QString before =
            acctValue("select count(*) from ICSale") + u'/' + acctValue("select count(*) from TF_Ledger");
        QVERIFY(!testRunImport(file));
        QCOMPARE(rec->texts(),
                 QStringList{"发票[3300061130-10000001]已经引入过(销售发票ZP000001)，不能重复引入!"});
        QCOMPARE(acctValue("select count(*) from ICSale") + u'/' +
                     acctValue("select count(*) from TF_Ledger"),
                 before);
        rec->clear();

        // A cancellation that arrives later: the written-back invoice's document and the invoice typed in
        // by hand are cancelled; the rest of the file is left out.
        QStringList later = file;
        auto cancel = [&later](const QString& number) {
            for (QString& l : later)
                if (l.section(QStringLiteral("~~"), 4, 4) == number) l.replace(0, 1, QStringLiteral("1"));
        };
        cancel("10000001");
        cancel("10000007");
        QVERIFY(testRunImport(later, true, &counts));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(counts,
                 QStringLiteral("引入发票0张，商品行0行，跳过已引入的发票6张。\n更新已作废的发票2张。"));
        QCOMPARE(testLedger("ZP000001"), "10000001/1");
        QCOMPARE(taxInvoiceNoOf("ZP000001"), "");
        QVERIFY(
            isTrueValue(db->acct
                            ->query(QStringLiteral("select s.FCancellation from ICSale s join TF_Ledger l on "
                                                   "l.FInterID=s.FInterID where l.FDirection=1 and "
                                                   "l.FTaxNumber='10000007'"))
                            ->value(0)));
        QCOMPARE(exportDocs().first().docNo, QStringLiteral("ZP000001"));
    }

    // Invoices issued anew after a cancellation, and two valid invoices for one document.
    void reissued_data() {
        QTest::addColumn<QStringList>("numbers"); // 号码, a trailing "x" for a cancelled one
        QTest::addColumn<QString>("ledger");
        QTest::addColumn<QString>("message"); // a refusal
        QTest::newRow("cancelled, then issued anew")
            << QStringList{"20000001x", "20000002"} << "20000001/1,20000002/0" << QString();
        QTest::newRow("issued anew listed before the cancelled one")
            << QStringList{"20000002", "20000001x"} << "20000001/1,20000002/0" << QString();
        QTest::newRow("two valid invoices for one document")
            << QStringList{"20000001", "20000002"} << "/0"
            << "发票[3300061130-20000002]的销售单据编号[ZP000002]已回写了发票[3300061130-20000001]"
               "，一张单据不能回写两张"
               "有效的发票!";
    }
    void reissued() {
        QFETCH(QStringList, numbers);
        QFETCH(QString, ledger);
        QFETCH(QString, message);
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        QList<QStringList> invoices;
        for (const QString& n : numbers)
            invoices << issuedWithDiscount(docs["ZP000002"], n.left(8), n.endsWith(u'x'));
        QCOMPARE(testRunImport(countedFile(invoices)), message.isEmpty());
        QCOMPARE(rec->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(testLedger("ZP000002"), ledger);
        if (!message.isEmpty()) return;
        QCOMPARE(taxInvoiceNoOf("ZP000002"), "3300061130-20000002");
        // It stands: not exported again.
        rec->clear();
        exportDocs();
        QCOMPARE(rec->texts(), QStringList{"所选的5张发票均已引出过，本次未引出。"});
    }

    // The write-back column: none in the set, or too short for the numbers (nothing is cut).
    void writeBackColumn_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::newRow("a set without the column")
            << "alter table ICSale drop column FTaxInvoiceNo" << QString();
        QTest::newRow("a column too short")
            << "cfg:alter table ICSale add fshort varchar(5)"
            << "销售发票[ZP000001]的发票号码“3300061130-30000001”超过回写字段fshort的长度5，引入失败!";
    }
    void writeBackColumn() {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        if (setup.startsWith(u"cfg:")) {
            db->acct->exec(setup.mid(4));
            db->config->exec(
                QStringLiteral("update t_OtherInfo set FSQL='fshort' where Fkey='WriteBackColumn'"));
        } else {
            db->acct->exec(setup);
        }
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        QCOMPARE(testRunImport(countedFile({issuedWithDiscount(docs["ZP000001"], "30000001")})),
                 message.isEmpty());
        QCOMPARE(rec->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(testLedger("ZP000001"), message.isEmpty() ? "30000001/0" : "/0");
    }
};

QTEST_GUILESS_MAIN(TestWriteBack)
#include "test_writeback.moc"
