// The loop at its edges: a sale never holds two valid tax invoices, whichever way the invoices come back and
// in whichever order; money is added in cents; commands that only read leave the set as it was; write-backs
// at the same time wait for each other.
#include "InvoiceLines.h"
#include "LoopDocs.h"
#include "PlatformListBook.h"
#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Values.h"
#include "export/ExportEngine.h"
#include "export/PlatformTemplate.h"
#include "export/Reconciliation.h"
#include "export/WorkbookTemplate.h"
#include "import/ImportEngine.h"
#include "import/PlatformList.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QCryptographicHash>
#include <QProcess>
#include <QtTest/QtTest>

namespace {
QString money(double v) {
    return decimalText(v, 2);
}

QByteArray fileHash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestLoopEdges : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    QList<ExportDoc> exportDocs(bool includeExported = false) { return exportedDocs(*db, includeExported); }
    bool runImport(TestDatabases& d, const QStringList& lines, bool skip = false) {
        const QString file = d.folder() + QStringLiteral("/issued.txt");
        writeGbkFile(file, lines);
        ImportEngine engine(d.session);
        return engine.importToQor(file, skip);
    }
    QStringList writeBackList(TestDatabases& d, const QByteArray& list) {
        const QString file = d.folder() + QStringLiteral("/list.xlsx");
        writeFile(file, list);
        PlatformWriteBack w(d.session);
        if (!w.run(file, false)) return {QStringLiteral("refused")};
        return w.result().lines();
    }
    QString acctValue(TestDatabases& d, const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*d.acct, sql, params);
    }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return acctValue(*db, sql, params);
    }
    // The export rows of the set as the write-back left them, one text each, in a fixed order.
    QString ledgerTable(TestDatabases& d) {
        return acctValue(
            d, QStringLiteral("select FBillNo || '|' || coalesce(FDocNo,'') || '|' || FState || '|' "
                              "|| coalesce(FTaxNumber,'') || '|' || coalesce(FIssueState,'') || '|' || "
                              "coalesce(FIssueDate,'') from TF_Ledger where FDirection=0 order by 1"));
    }
    QString taxInvoiceNos(TestDatabases& d) {
        return acctValue(d, QStringLiteral("select FBillNo || '=' || coalesce(FTaxInvoiceNo,'') from ICSale "
                                           "order by FBillNo"));
    }
    // The three invoices of buyer 101 (ZP000001, ZP000003, ZP000005) go out as one document.
    static void mergeBuyer101(TestDatabases& d) {
        d.acct->exec(
            QStringLiteral("update ICSale set FCustID=101 where FBillNo in ('ZP000003','ZP000005')"));
        d.config->exec(QStringLiteral("update t_BaseInfo set FMergeBuyer=1 where FID=1"));
    }
    // Every earlier export row a day older: the next export is later, also within the same second.
    void ageLedger(TestDatabases& d) {
        d.acct->exec(
            QStringLiteral("update TF_Ledger set FTime='2026-01-01 00:00:00' where FTime>'2026-01-01 "
                           "00:00:00'"));
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    // Half up in decimal, for every amount of the program.
    void cents_data() {
        QTest::addColumn<double>("amount");
        QTest::addColumn<qint64>("cents");
        QTest::newRow("1.005") << 1.005 << qint64(101);
        QTest::newRow("2.675") << 2.675 << qint64(268);
        QTest::newRow("-1.005") << -1.005 << qint64(-101);
        QTest::newRow("0.285") << 0.285 << qint64(29);
        QTest::newRow("0.1+0.2") << (0.1 + 0.2) << qint64(30);
        QTest::newRow("1.004999") << 1.004999 << qint64(100);
        QTest::newRow("a month") << 12345678.905 << qint64(1234567891);
        QTest::newRow("zero") << 0.0 << qint64(0);
    }
    void cents() {
        QFETCH(double, amount);
        QFETCH(qint64, cents);
        QCOMPARE(centsOf(amount), cents);
    }

    // A merged document's lines of 1.005: each is 1.01, the document 2.02, and so are its members' rows;
    // the preview's documents add up to its total.
    void mergedCents() {
        mergeBuyer101(*db);
        db->config->exec(QStringLiteral("update t_BaseInfo set FMergeLines=1 where FID=1"));
        // One line of the same product, price and rate each: merged into one line of 2.02 over two members.
        db->acct->exec(
            QStringLiteral("delete from ICSaleEntry where FInterID in (1001,1004,1007) and FEntryID>1"));
        db->acct->exec(QStringLiteral("update ICSale set FCustID=108 where FBillNo='ZP000005'"));
        db->acct->exec(QStringLiteral(
            "update ICSaleEntry set FItemID=(select FItemID from ICSaleEntry where FInterID=1001 and "
            "FEntryID=1), "
            "FUnitID=(select FUnitID from ICSaleEntry where FInterID=1001 and FEntryID=1), FQty=1, "
            "FPrice=1.005, FAuxPrice=1.005, FAmount=1.005, FStdAmount=1.005, FTaxAmount=0.17, "
            "FStdTaxAmount=0.17, FTaxRate=17 where FInterID in (1001,1004) and FEntryID=1"));
        ExportEngine preview(db->session);
        preview.setPreview(true);
        QVERIFY(preview.exportFile(db->folder() + "/p.txt", QString(13, u'|'), "1"));
        qint64 sum = 0;
        for (const ExportDoc& d : preview.preview())
            sum += centsOf(d.amount);
        QCOMPARE(sum, centsOf(preview.previewTotals().amount));
        QString file;
        const QHash<QString, ExportDoc> docs = byDocNo(exportedDocs(*db, false, {}, &file));
        QVERIFY2(docs.contains("ZP000001+1"),
                 qPrintable(QStringList(docs.keyBegin(), docs.keyEnd()).join(u',')));
        QCOMPARE(money(docs["ZP000001+1"].amount), "2.02");
        QCOMPARE(acctValue("select sum(FAmount) from TF_Ledger where FDocNo='ZP000001+1'").toDouble(), 2.02);
        QCOMPARE(acctValue("select FAmount from TF_Ledger where FDocNo='ZP000001+1' order by FBillNo"),
                 "1.01,1.01");
        // The merged line in the file: 2.02, not 2.
        const QStringList lines = file.split(u'\n');
        const qsizetype head = lines.indexOf(QRegularExpression(QStringLiteral("^ZP000001\\+1~~.*")));
        QVERIFY(head >= 0);
        QVERIFY2(lines.value(head + 1).contains(QStringLiteral("~~2.02~~")),
                 qPrintable(lines.value(head + 1)));
    }

    // The members' taxes of a merged document shared out in whole cents by their amounts.
    void shareTax_data() {
        QTest::addColumn<QList<double>>("amounts");
        QTest::addColumn<QList<double>>("taxes");
        QTest::addColumn<qint64>("tax");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("four of 0.50: 26 cents, two each and the earlier ones one more")
            << QList<double>{0.5, 0.5, 0.5, 0.5} << QList<double>{0.07, 0.07, 0.07, 0.07} << qint64(26)
            << QList<double>{0.07, 0.07, 0.06, 0.06};
        QTest::newRow("largest remainder first") << QList<double>{1.00, 2.00} << QList<double>{0.13, 0.26}
                                                 << qint64(40) << QList<double>{0.13, 0.27};
        QTest::newRow("already adding up: kept") << QList<double>{1.00, 3.00} << QList<double>{0.20, 0.10}
                                                 << qint64(30) << QList<double>{0.20, 0.10};
        QTest::newRow("no amount: the first carries it")
            << QList<double>{0, 0} << QList<double>{0, 0} << qint64(5) << QList<double>{0.05, 0};
    }
    void shareTax() {
        QFETCH(QList<double>, amounts);
        QFETCH(QList<double>, taxes);
        QFETCH(qint64, tax);
        QFETCH(QList<double>, expected);
        QList<ExportMember> members;
        for (int i = 0; i < amounts.size(); ++i)
            members.append({QStringLiteral("B%1").arg(i), amounts[i], taxes[i]});
        ::shareTax(members, tax);
        QList<double> got;
        qint64 sum = 0;
        for (const ExportMember& m : members) {
            got << m.tax;
            sum += centsOf(m.tax);
        }
        QCOMPARE(got, expected);
        QCOMPARE(sum, tax);
    }

    // A merged platform document of one line: the members record the platform's tax, not their own.
    void mergedPlatformTax() {
        mergeBuyer101(*db);
        db->config->exec(QStringLiteral("update t_BaseInfo set FMergeLines=1 where FID=1"));
        db->acct->exec(
            QStringLiteral("delete from ICSaleEntry where FInterID in (1001,1004,1007) and FEntryID>1"));
        db->acct->exec(QStringLiteral(
            "update ICSaleEntry set FItemID=(select FItemID from ICSaleEntry where FInterID=1001 and "
            "FEntryID=1), "
            "FUnitID=(select FUnitID from ICSaleEntry where FInterID=1001 and FEntryID=1), FQty=1, "
            "FPrice=0.5, FAuxPrice=0.5, FAmount=0.5, FStdAmount=0.5, FTaxAmount=0.07, "
            "FStdTaxAmount=0.07, FTaxRate=13 where FInterID in (1001,1004,1007) and FEntryID=1"));
        // The platform's template, the buyer's name mapped, and a tax code for every product.
        const QString templ = db->folder() + QStringLiteral("/template.xlsx");
        writeFile(templ, buildPlatformTemplate());
        installWorkbookTemplate(*db->config, templ, QStringLiteral("平台模板"));
        db->config->exec(QStringLiteral("update t_Detail set FTaxID=(select Fid from t_TaxField where "
                                        "FFormat='xlsx' and FisHead=1 and Fname='购买方名称') where "
                                        "FBaseInfoID=1 and FTaxID=3"));
        db->config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
        const RecordsetPtr items =
            db->acct->query(QStringLiteral("select FItemID, FNumber, FName from t_IcItem"));
        for (const QVariantList& item : items->allRows())
            db->config->exec(
                QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                               "FShortName, FOwnCode, FPreferential, FPreferentialText, FZeroRate) "
                               "values (?, ?, ?, '1090511010000000000', '', '', 0, '', '')"),
                item);
        const QString out = db->folder() + QStringLiteral("/platform.xlsx");
        ExportEngine preview(db->session);
        preview.setPreview(true);
        QVERIFY2(preview.exportFile(out, QString(13, u'|'), "1"), qPrintable(rec->texts().join(u'\n')));
        const QHash<QString, ExportDoc> docs = byDocNo(preview.preview());
        QVERIFY(docs.contains("ZP000001+2"));
        const ExportDoc& merged = docs["ZP000001+2"];
        QCOMPARE(money(merged.tax), "0.20"); // 1.50 × 13 %
        QCOMPARE(platformTaxNote(merged), "平台按每行金额×税率计算的税额为0.20，与销售发票的税额0.21不同");
        ExportEngine e(db->session);
        QVERIFY2(e.exportFile(out, QString(13, u'|'), "1"), qPrintable(rec->texts().join(u'\n')));
        QCOMPARE(acctValue("select FTax from TF_Ledger where FDocNo='ZP000001+2' order by FBillNo"),
                 "0.07,0.07,0.06");
        // The list's 1.50/0.20 matches the document by buyer and amounts, and the amounts agree.
        const QString buyer = acctValue("select FName from t_Organization where FItemID=101");
        QCOMPARE(writeBackList(*db, listWorkbook(kHeadings, {issuedRow(N(1), 1.5, 0.2, "", buyer)})).first(),
                 "回写数电发票1张（按单据号0张，按购方和金额1张），红冲0张。");
        Reconciliation r(db->session);
        QStringList states;
        for (const ReconcileDocument& d : r.run(QString()))
            if (d.docNo == u"ZP000001+2") states << d.state;
        QCOMPARE(states, QStringList{"已开票"});
    }

    // A merged document whose tax invoice was cancelled, its members exported again, and then both the old
    // and the new document issued: only the new one is written back, by a text file or a platform list.
    void mergedIssuedTwice_data() {
        QTest::addColumn<bool>("list");
        QTest::addColumn<bool>("newFirst");
        QTest::newRow("text file, the old document first") << false << false;
        QTest::newRow("text file, the new document first") << false << true;
        QTest::newRow("platform list, the old document first") << true << false;
        QTest::newRow("platform list, the new document first") << true << true;
    }
    void mergedIssuedTwice() {
        QFETCH(bool, list);
        QFETCH(bool, newFirst);
        mergeBuyer101(*db);
        const QHash<QString, ExportDoc> first = byDocNo(exportDocs());
        QVERIFY(first.contains("ZP000001+2"));
        const ExportDoc old = first["ZP000001+2"];
        QVERIFY(runImport(*db, countedFile({issuedFrom(old, "50000001")})));
        QVERIFY(runImport(*db, countedFile({issuedFrom(old, "50000001", true)}), true));
        ageLedger(*db);
        const QHash<QString, ExportDoc> again = byDocNo(exportDocs());
        QVERIFY2(again.contains("ZP000001+2(2)"), qPrintable(rec->texts().join(u'\n')));
        const ExportDoc now = again["ZP000001+2(2)"];
        rec->clear();
        const QString before = ledgerTable(*db);
        if (!list) {
            QList<QStringList> invoices{issuedFrom(old, "50000002"), issuedFrom(now, "50000003")};
            if (newFirst) std::swap(invoices[0], invoices[1]);
            // The file is refused whole, naming the member, where it went out again and the invoice.
            QVERIFY(!runImport(*db, countedFile(invoices)));
            QCOMPARE(rec->texts(), QStringList{"发票[3300061130-50000002]的销售单据编号[ZP000001+2]已作废，"
                                               "其中的销售发票[ZP000001]已在单据[ZP000001+2(2)]中另行引出，"
                                               "不能回写这张发票!"});
            QCOMPARE(ledgerTable(*db), before);
            // The new document alone is written back.
            rec->clear();
            QVERIFY(runImport(*db, countedFile({issuedFrom(now, "50000003")})));
        } else {
            QList<ListRow> rows{issuedRow(N(2), old.amount, old.tax, "", "", "ZP000001+2"),
                                issuedRow(N(3), now.amount, now.tax, "", "", "ZP000001+2(2)")};
            if (newFirst) std::swap(rows[0], rows[1]);
            const QStringList lines = writeBackList(*db, listWorkbook(kHeadings, rows));
            QCOMPARE(lines, (QStringList{"回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。",
                                         "1张发票未回写（单据的成员已另行引出）：",
                                         N(2) + "\tZP000001+2\tZP000001\tZP000001+2(2)"}));
        }
        QCOMPARE(rec->texts(), QStringList());
        // Every member holds one valid tax invoice; the reconciliation counts the sales once.
        const QString number = list ? N(3) : QStringLiteral("3300061130-50000003");
        QCOMPARE(acctValue("select FTaxInvoiceNo from ICSale where FBillNo in ('ZP000001','ZP000003',"
                           "'ZP000005') order by FBillNo"),
                 QStringList(3, number).join(u','));
        Reconciliation r(db->session);
        double issued = 0;
        for (const ReconcileDocument& d : r.run(QString()))
            if (d.state == u"已开票" || d.state == u"金额不符") issued += d.issued.value_or(0);
        QCOMPARE(money(issued), money(now.amount));
    }

    // A plain document cancelled and exported again under its own 单据号: of two invoices the list names it
    // with, one is written back and the other listed, the list read whole.
    void plainIssuedTwiceByList() {
        const ExportDoc doc = byDocNo(exportDocs())["ZP000002"];
        QVERIFY(runImport(*db, countedFile({issuedFrom(doc, "50000001")})));
        QVERIFY(runImport(*db, countedFile({issuedFrom(doc, "50000001", true)}), true));
        ageLedger(*db);
        QVERIFY(byDocNo(exportDocs()).contains("ZP000002"));
        rec->clear();
        const QStringList lines = writeBackList(
            *db, listWorkbook(kHeadings, {issuedRow(N(2), doc.amount, doc.tax, "", "", "ZP000002"),
                                          issuedRow(N(3), doc.amount, doc.tax, "", "", "ZP000002")}));
        QCOMPARE(lines.value(0), "回写数电发票1张（按单据号1张，按购方和金额0张），红冲0张。");
        QCOMPARE(lines.value(1), "1张发票未找到引出的单据：");
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(
            acctValue("select count(distinct FTaxNumber) from TF_Ledger where FDirection=0 and FState=0 and "
                      "FBillNo='ZP000002' and FTaxNumber<>''"),
            "1");
    }

    // The same list in any order of its rows writes back the same: a red invoice listed before the blue
    // one it flushes in full still flushes it.
    void listInAnyOrder() {
        auto setUp = [this](TestDatabases& d) {
            d.session.today = QDate(2026, 4, 10);
            return byDocNo(exportedDocs(d));
        };
        TestDatabases other;
        const QHash<QString, ExportDoc> docs = setUp(*db);
        setUp(other);
        const ExportDoc &d1 = docs["ZP000001"], &d2 = docs["ZP000002"], &d3 = docs["ZP000003"];
        const QString name102 = acctValue("select FName from t_Organization where FItemID=102");
        QList<ListRow> rows{
            issuedRow(N(1), d1.amount, d1.tax, "", "", "ZP000001"),
            // by buyer and amounts, then flushed in full by a red invoice naming it
            issuedRow(N(2), d2.amount, d2.tax, "", name102),
            issuedRow(N(3), -d2.amount, -d2.tax, "", name102, "被红冲蓝字数电票号码：" + N(2)),
            issuedRow(N(4), d3.amount, d3.tax, "", "", "ZP000003 外设"),
            issuedRow(N(5), 1, 0.13, "", "某某公司"),
            {{"购买方名称", "合计"}, {"金额", "#1000"}},
        };
        QList<ListRow> reversed(rows.crbegin(), rows.crend());
        const QStringList forward = writeBackList(*db, listWorkbook(kHeadings, rows));
        const QStringList backward = writeBackList(other, listWorkbook(kHeadings, reversed));
        QCOMPARE(forward.first(), "回写数电发票3张（按单据号2张，按购方和金额1张），红冲1张。");
        QCOMPARE(backward.first(), forward.first());
        QCOMPARE(ledgerTable(other), ledgerTable(*db));
        QCOMPARE(taxInvoiceNos(other), taxInvoiceNos(*db));
        QVERIFY2(ledgerTable(*db).contains("ZP000002|ZP000002|1|" + N(2) + "|已红冲"),
                 qPrintable(ledgerTable(*db)));
        // Flushed in full, the sale goes out again.
        rec->clear();
        QVERIFY(byDocNo(exportedDocs(other)).contains("ZP000002"));
    }

    // Exporting again leaves out every sale that holds a valid tax invoice, and says which; its ledger rows
    // stay, and the reconciliation still shows the invoice.
    void exportAgainKeepsValidInvoices() {
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        QVERIFY(runImport(*db, countedFile({issuedFrom(docs["ZP000001"], "60000001")})));
        rec->clear();
        ageLedger(*db);
        const QHash<QString, ExportDoc> again = byDocNo(exportDocs(true));
        QVERIFY(!again.contains("ZP000001"));
        QVERIFY(again.contains("ZP000002"));
        QCOMPARE(rec->texts().value(0),
                 QStringLiteral("1张发票已开具有效的税控发票，未引出（需先作废或红冲）：\n"
                                "ZP000001\t3300061130-60000001"));
        QCOMPARE(acctValue("select FState || '/' || FTaxNumber from TF_Ledger where FDirection=0 and "
                           "FBillNo='ZP000001'"),
                 "0/60000001");
        Reconciliation r(db->session);
        QStringList issued;
        for (const ReconcileDocument& d : r.run(QString()))
            if (!d.number.isEmpty()) issued << d.docNo + u'=' + d.number;
        QCOMPARE(issued, QStringList{"ZP000001=3300061130-60000001"});
        // With every sale issued, nothing is left: the list, then the refusal.
        QList<QStringList> all;
        int n = 60000010;
        for (const ExportDoc& d : again)
            all << issuedFrom(d, QString::number(++n));
        QVERIFY(runImport(*db, countedFile(all)));
        rec->clear();
        ExportEngine e(db->session);
        e.setIncludeExported(true);
        QVERIFY(!e.exportFile(db->folder() + "/again.txt", QString(13, u'|'), "1"));
        const QStringList texts = rec->texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith(
                     QStringLiteral("%1张发票已开具有效的税控发票，未引出（需先作废或红冲）：\n")
                         .arg(docs.size())),
                 qPrintable(texts.first()));
        QVERIFY2(texts.first().endsWith(
                     QStringLiteral("\n所选的%1张发票均已引出过，本次未引出。").arg(docs.size())),
                 qPrintable(texts.first()));
    }

    // A filter that selects one member of a merged document shows the document whole.
    void reconcileShowsMergedWhole() {
        mergeBuyer101(*db);
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        QVERIFY(runImport(*db, countedFile({issuedFrom(docs["ZP000001+2"], "70000001")})));
        Reconciliation r(db->session);
        const QList<ReconcileDocument> shown = r.run(QStringLiteral("||ZP000003|ZP000003||||||||||"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().docNo, QStringLiteral("ZP000001+2"));
        QCOMPARE(shown.first().state, QStringLiteral("已开票"));
        QCOMPARE(shown.first().members.size(), 3);
        QCOMPARE(money(shown.first().exported.value_or(0)), money(docs["ZP000001+2"].amount));
    }

    // Previews and the reconciliation only read: an older ledger stays as it is (an SQLite file byte for
    // byte); the commands that write upgrade it.
    void readOnlyCommandsWriteNothing() {
        exportDocs();
        // The ledger as an earlier version left it: no states, no issued invoices, no index.
        db->acct->exec(QStringLiteral("drop index ux_TF_Ledger_Live"));
        db->acct->exec(
            QStringLiteral("create table TF_Old as select FDirection, FInvoiceKind, FTaxCode, FTaxNumber, "
                           "FInterID, FBillNo, FLinkID, FFileName, FTime, FUserName from TF_Ledger"));
        db->acct->exec(QStringLiteral("drop table TF_Ledger"));
        db->acct->exec(QStringLiteral("create table TF_Ledger as select * from TF_Old"));
        db->acct->exec(QStringLiteral("drop table TF_Old"));
        QVERIFY(!Ledger::current(*db->acct));
        const QString columns = QString::number(db->acct->tableColumns(Ledger::table()).size());
        const QByteArray hash = fileHash(db->acctPath);
        auto unchanged = [&] {
            QCOMPARE(QString::number(db->acct->tableColumns(Ledger::table()).size()), columns);
            QVERIFY(!Ledger::current(*db->acct));
            if (!db->onServer()) QCOMPARE(fileHash(db->acctPath), hash);
        };
        // The preview leaves out what the old ledger records.
        ExportEngine preview(db->session);
        preview.setPreview(true);
        QVERIFY(!preview.exportFile(db->folder() + "/p.txt", QString(13, u'|'), "1"));
        QCOMPARE(rec->texts().value(0), QStringLiteral("所选的5张发票均已引出过，本次未引出。"));
        unchanged();
        Reconciliation r(db->session);
        QCOMPARE(r.run(QString()).size(), 5);
        unchanged();
        const QString file = db->folder() + QStringLiteral("/list.xlsx");
        writeFile(file, listWorkbook(kHeadings, {issuedRow(N(1), 1, 0.13, "", "", "ZP000001")}));
        PlatformWriteBack w(db->session);
        QVERIFY(w.run(file, true));
        QCOMPARE(w.result().byDocNo, 1);
        unchanged();
        // Written for real, the ledger is upgraded.
        QVERIFY(w.run(file, false));
        QVERIFY(Ledger::current(*db->acct));
    }

    // On a ledger of 100,000 rows with its statistics gathered, every lookup of the loop finds its rows by an
    // index on its selective column, on every database.
    void lookupsUseIndexes_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QStringList>("columns"); // any of them an index condition
        // Statistics gathered on a ledger of invoices that came in from the tax software: each with a number
        // of its own, none with a 单据号.
        QTest::addColumn<bool>("allIssued");
        QTest::newRow("a document's rows")
            << Ledger::documentRows(0) << QVariantList{0, "D50001"} << QStringList{"FDocNo"} << false;
        QTest::newRow("a document's rows without an invoice, on a ledger of imports")
            << Ledger::documentRows(0) + " and " + Ledger::withoutInvoice() << QVariantList{0, "D50001"}
            << QStringList{"FDocNo"} << true;
        QTest::newRow("a tax invoice's rows")
            << Ledger::invoiceRows(0) << QVariantList{0, "", "N50002"} << QStringList{"FTaxNumber"} << false;
        QTest::newRow("a sales invoice's rows")
            << Ledger::salesRows(0) + "(50003, 50004)" << QVariantList{0} << QStringList{"FInterID"} << true;
        QTest::newRow("a cancellation's rows")
            << QStringLiteral("FDirection=? and FInvoiceKind=? and FTaxCode=? and FTaxNumber=?")
            << QVariantList{0, "0", "3300061130", "N50002"} << QStringList{"FTaxCode", "FTaxNumber"} << false;
        QTest::newRow("what an export leaves out")
            << QStringLiteral("FBillNo=? and FState=0") << QVariantList{"B50005"} << QStringList{"FBillNo"}
            << false;
        QTest::newRow("the exports a reconciliation selects, on a ledger of imports")
            << QStringLiteral("FDirection=? and FBillNo in ('B1','B2')") << QVariantList{0}
            << QStringList{"FBillNo"} << true;
    }
    void lookupsUseIndexes() {
        QFETCH(QString, where);
        QFETCH(QVariantList, values);
        QFETCH(QStringList, columns);
        QFETCH(bool, allIssued);
        Connection& acct = *db->acct;
        Ledger::ensure(acct);
        const bool sqlite = acct.dialect().server == DbServer::SQLite;
        const QString numbers =
            sqlite ? QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from "
                                    "n where i<100000) select ")
                   : QStringLiteral("select ");
        const QString from =
            sqlite ? QStringLiteral(" from n") : QStringLiteral(" from generate_series(1, 100000) as n(i)");
        const QString text =
            sqlite ? QStringLiteral("cast(i as text)") : QStringLiteral("cast(i as varchar(10))");
        acct.exec(
            QStringLiteral("insert into TF_Ledger (FDirection, FInvoiceKind, FTaxCode, FTaxNumber, FInterID, "
                           "FBillNo, FDocNo, FState, FTime) ") +
            numbers +
            QStringLiteral("case when i%5=0 then 1 else 0 end, '0', '3300061130', case when i%2=0 or ") +
            (allIssued ? QStringLiteral("1=1") : QStringLiteral("1=0")) +
            QStringLiteral(" then 'N' || %1 end, i, 'B' || %1, ").arg(text) +
            (allIssued ? QStringLiteral("null") : QStringLiteral("'D' || ") + text) +
            QStringLiteral(", case when i%7=0 then 1 else 0 end, '2026-04-10 10:00:00'") + from);
        Ledger::refreshStatistics(acct, 100000);
        // The statement with its values written in: a plan for these very values.
        QString sql = QStringLiteral("select FBillNo from TF_Ledger where ") + where;
        for (const QVariant& v : values) {
            const qsizetype at = sql.indexOf(u'?');
            QVERIFY(at >= 0);
            sql.replace(at, 1, v.typeId() == QMetaType::Int ? v.toString() : u'\'' + v.toString() + u'\'');
        }
        const RecordsetPtr plan =
            acct.query((sqlite ? QStringLiteral("explain query plan ") : QStringLiteral("explain ")) + sql);
        QStringList lines;
        for (const QVariantList& row : plan->allRows())
            lines << row.last().toString();
        const QString text2 = lines.join(u'\n');
        bool found = false;
        for (const QString& c : columns) {
            // SQLite: "SEARCH TF_Ledger USING INDEX ix (FDocNo=? AND …)"; PostgreSQL: "Index Cond: (… fdocno
            // …)".
            const QRegularExpression condition(
                sqlite ? QStringLiteral("USING (COVERING )?INDEX \\w+ \\([^)]*\\b%1\\b").arg(c)
                       : QStringLiteral("Index Cond: .*\\b%1\\b").arg(c.toLower()),
                QRegularExpression::CaseInsensitiveOption);
            found = found || condition.match(text2).hasMatch();
        }
        QVERIFY2(found, qPrintable(sql + u'\n' + text2));
    }

    // Write-backs at the same time wait for each other: one tax invoice per document, the second of two
    // identical lists says it was written back already, and neither meets a locked database.
    void writeBacksAtOnce_data() {
        QTest::addColumn<bool>("textFile");
        QTest::newRow("the same list twice") << false;
        QTest::newRow("a list and the tax software's file") << true;
    }
    void writeBacksAtOnce() {
        QFETCH(bool, textFile);
        const QHash<QString, ExportDoc> docs = byDocNo(exportDocs());
        const QString list = db->folder() + QStringLiteral("/list.xlsx");
        QList<ListRow> rows;
        for (const ExportDoc& d : docs)
            rows << issuedRow(N(100 + int(rows.size())), d.amount, d.tax, "", "", d.docNo);
        writeFile(list, listWorkbook(kHeadings, rows));
        const QString issued = db->folder() + QStringLiteral("/issued.txt");
        writeGbkFile(issued, countedFile({issuedFrom(docs["ZP000001"], "80000001")}));
        const QStringList common{"--acct", db->acctConnString(), "--config", db->configPath};
        const QStringList first = QStringList{"writeback", list} + common;
        const QStringList second = textFile ? QStringList{"import", issued} + common : first;
        QProcess a, b;
        a.start(QStringLiteral(TAXFERRY_BATCH), first);
        b.start(QStringLiteral(TAXFERRY_BATCH), second);
        QVERIFY(a.waitForFinished(180000) && b.waitForFinished(180000));
        const QString errs = QString::fromUtf8(a.readAllStandardError() + b.readAllStandardError());
        QVERIFY2(!errs.contains(QStringLiteral("locked")), qPrintable(errs));
        QCOMPARE(a.exitCode(), 0);
        const QString outB = QString::fromUtf8(b.readAllStandardOutput());
        // One tax invoice on the document, the one in the write-back column.
        QCOMPARE(acctValue("select count(distinct FTaxNumber) from TF_Ledger where FDirection=0 and "
                           "FDocNo='ZP000001' and FTaxNumber<>''"),
                 "1");
        const QString held =
            acctValue("select FTaxNumber from TF_Ledger where FDirection=0 and FDocNo='ZP000001'");
        QVERIFY2(acctValue("select FTaxInvoiceNo from ICSale where FBillNo='ZP000001'").endsWith(held),
                 qPrintable(held));
        if (!textFile) {
            QCOMPARE(b.exitCode(), 0);
            const QString outA = QString::fromUtf8(a.readAllStandardOutput());
            QVERIFY2((outA + outB).contains(QStringLiteral("清单中的%1张发票都已回写过。").arg(rows.size())),
                     qPrintable(outA + outB + errs));
        } else if (b.exitCode() != 0) {
            // The file came second: its document holds the list's invoice already.
            QVERIFY2(errs.contains(QStringLiteral("一张单据不能回写两张有效的发票")), qPrintable(errs));
            QCOMPARE(held, N(100 + int(QStringList(docs.keyBegin(), docs.keyEnd()).indexOf("ZP000001"))));
        } else {
            QCOMPARE(held, QStringLiteral("80000001"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLoopEdges)
#include "test_loop_edges.moc"
