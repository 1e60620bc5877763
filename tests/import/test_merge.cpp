// A buyer's sales invoices as one document: merged in the preview and the file alike, recorded per member,
// issued invoices written back onto every member, a cancellation that frees them all, the reconciliation.
#include "InvoiceLines.h"
#include "LoopDocs.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "export/DocumentMerge.h"
#include "export/ExportEngine.h"
#include "export/Reconciliation.h"
#include "import/ImportEngine.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

namespace {
QString money(double v) {
    return decimalText(v, 2);
}

// Heads: FbillNo, RowsCount, 单据号, 购方名称, 购方税号, 备注. Lines: FbillNo, 货物名称, 单价, 税率, 数量,
// 金额, 税额, 折扣金额.
QList<FieldInfo> fields(const QStringList& names) {
    QList<FieldInfo> out;
    for (const QString& n : names)
        out.append(FieldInfo{n, QMetaType::QString});
    return out;
}

MergeSettings settings(bool mergeLines) {
    MergeSettings s;
    s.mergeLines = mergeLines;
    s.headDocNo = 2;
    s.headCustomer = 3;
    s.headTaxNumber = 4;
    s.headRemark = 5;
    s.bodyName = 1;
    s.bodyPrice = 2;
    s.bodyRate = 3;
    s.bodyQuantity = 4;
    s.bodyAmount = 5;
    s.bodyTax = 6;
    s.bodyDiscount = 7;
    s.remarkLimit = 20;
    return s;
}

// The merged heads as "单据号/RowsCount/备注" and lines as "单据号/名称/数量/金额/税额".
QStringList run(const QList<QVariantList>& heads, const QList<QVariantList>& lines, const MergeSettings& s,
                QString* error = nullptr) {
    const Recordset h(fields({"FbillNo", "RowsCount", "单据号", "购方名称", "购方税号", "备注"}), heads);
    const Recordset b(fields({"FbillNo", "货物名称", "单价", "税率", "数量", "金额", "税额", "折扣金额"}),
                      lines);
    const std::unique_ptr<Connection::Cursor> cursor = cursorOf(h);
    QStringList out;
    try {
        MergedDocuments merged(*cursor, bodyRowsOf(b), s);
        for (QVariantList row; merged.heads().next(row);)
            out << QStringList{row[2].toString(), row[1].toString(), row[5].toString()}.join(u'/');
        merged.lines()([](const QList<FieldInfo>&) {},
                       [&](const QVariantList& r) {
                           out << QStringList{r[0].toString(), r[1].toString(), numberText(r[4].toDouble()),
                                              numberText(r[5].toDouble()), numberText(r[6].toDouble())}
                                      .join(u'/');
                       });
    } catch (const DbError& e) {
        if (error) *error = e.description();
    }
    return out;
}

} // namespace

class TestMerge : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    QList<ExportDoc> exportDocs(QString* file = nullptr, std::optional<bool> mergeLines = std::nullopt) {
        const QString out = db->folder() + QStringLiteral("/out.txt");
        ExportEngine preview(db->session);
        preview.setPreview(true);
        preview.setMergeLines(mergeLines);
        if (!preview.exportFile(out, QString(13, u'|'), QStringLiteral("1"))) return {};
        ExportEngine e(db->session);
        e.setMergeLines(mergeLines);
        if (!e.exportFile(out, QString(13, u'|'), QStringLiteral("1"))) return {};
        if (file) *file = readGbkFile(out).join(u'\n');
        return preview.preview();
    }
    bool runImport(const QStringList& lines, bool skip = false) {
        const QString file = db->folder() + QStringLiteral("/issued.txt");
        writeGbkFile(file, lines);
        ImportEngine engine(db->session);
        return engine.importToQor(file, skip);
    }
    QString acctValue(const QString& sql, const QVariantList& params = {}) {
        return firstColumn(*db->acct, sql, params);
    }
    static QString docText(const ExportDoc& d) {
        QStringList members;
        for (const ExportMember& m : d.members)
            members << m.billNo + u':' + money(m.amount);
        return QStringList{d.docNo, QString::number(d.lines), money(d.amount), money(d.tax),
                           members.join(u',')}
            .join(u'/');
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
        db->session.today = QDate(2026, 4, 10);
        // Three invoices of one buyer (and its red one), two of another, the rest alone.
        db->acct->exec(
            QStringLiteral("update ICSale set FCustID=101 where FBillNo in ('ZP000003','ZP000005')"));
        db->acct->exec(
            QStringLiteral("update ICSale set FTranType=80, FCustID=102 where FBillNo='PT000002'"));
        // A discounted line (ZP000003's third).
        db->acct->exec(
            QStringLiteral("update ICSaleEntry set FAmtDiscount=113 where FInterID=1004 and FEntryID=3"));
        db->config->exec(QStringLiteral("update t_BaseInfo set FMergeBuyer=1, FMergeLines=1 where FID=1"));
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    // The merge itself, on rows at hand.
    void mergeRows_data() {
        QTest::addColumn<bool>("mergeLines");
        QTest::addColumn<QList<QVariantList>>("heads");
        QTest::addColumn<QList<QVariantList>>("lines");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("error");
        const QList<QVariantList> heads{{"A2", 1, "A2", "甲公司", "T1", "合同12"},
                                        {"A1", 2, "A1", "甲公司", "T1", ""},
                                        {"B1", 1, "B1", "乙公司", "T2", "x"},
                                        {"A3", 1, "A3", "甲公司", "T1", "合同12"},
                                        {"R1", 1, "R1", "甲公司", "T1", "对应正数"}};
        const QList<QVariantList> lines{
            {"A2", "笔", "2", "13", "1", "0.1", "0.01", "0"},
            {"A1", "笔", "2", "13", "2", "0.2", "0.03", "0"},
            {"A1", "纸", "5", "13", "1", "5", "0.65", "0"},
            {"B1", "笔", "2", "13", "1", "2", "0.26", "0"},
            {"A3", "笔", "2", "13", "3", "0.3", "0.04", "1"},
            {"R1", "笔", "2", "13", "-1", "-2", "-0.26", "0"},
        };
        QTest::newRow("a buyer's invoices, lines kept")
            << false << heads << lines
            << QStringList{"A1+2/4/合同12",      "B1/1/x",           "R1/1/对应正数",
                           "A1+2/笔/2/0.2/0.03", "A1+2/纸/1/5/0.65", "A1+2/笔/1/0.1/0.01",
                           "A1+2/笔/3/0.3/0.04", "B1/笔/1/2/0.26",   "R1/笔/-1/-2/-0.26"}
            << QString();
        // Alike lines add up to the cent; the discounted one stays on its own.
        QTest::newRow("alike lines as one")
            << true << heads << lines
            << QStringList{"A1+2/3/合同12",      "B1/1/x",           "R1/1/对应正数",
                           "A1+2/笔/3/0.3/0.04", "A1+2/纸/1/5/0.65", "A1+2/笔/3/0.3/0.04",
                           "B1/笔/1/2/0.26",     "R1/笔/-1/-2/-0.26"}
            << QString();
        QList<QVariantList> long_ = heads;
        long_[1][5] = QStringLiteral("一二三四五六七八九十");
        QTest::newRow("备注 past the limit")
            << false << long_ << lines << QStringList()
            << "合并后的单据“A1+2”（A1,A2,A3）的备注有28字节，超过了20字节的限制，引出失败！";
    }
    void mergeRows() {
        QFETCH(bool, mergeLines);
        QFETCH(QList<QVariantList>, heads);
        QFETCH(QList<QVariantList>, lines);
        QFETCH(QStringList, expected);
        QFETCH(QString, error);
        QString got;
        QCOMPARE(run(heads, lines, settings(mergeLines), &got), expected);
        QCOMPARE(got, error);
    }

    // The 单据号: taken ones are passed over, and it stays within 20 bytes with a piece's "-N".
    void docNo_data() {
        QTest::addColumn<QString>("bill");
        QTest::addColumn<int>("others");
        QTest::addColumn<int>("suffix");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << "XS0001" << 2 << 0 << QStringList() << "XS0001+2";
        QTest::newRow("taken twice") << "XS0001" << 2 << 0 << QStringList{"XS0001+2", "XS0001+2(2)"}
                                     << "XS0001+2(3)";
        QTest::newRow("too long with a piece")
            << "SALES-2026-00000001" << 11 << 3 << QStringList() << "-2026-00000001+11";
        QTest::newRow("Chinese bill number")
            << "销售二〇二六年一月第一号" << 1 << 3 << QStringList() << "六年一月第一号+1";
    }
    void docNo() {
        QFETCH(QString, bill);
        QFETCH(int, others);
        QFETCH(int, suffix);
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        QCOMPARE(mergedDocNo(bill, others, suffix, [&](const QString& d) { return taken.contains(d); }),
                 expected);
    }

    // The whole loop on the set: export, issue, write back, cancel, export again.
    void mergedLoop() {
        QString file;
        const QList<ExportDoc> docs = exportDocs(&file);
        QStringList texts;
        for (const ExportDoc& d : docs)
            texts << docText(d);
        // Lines 404×10@1250 and 404×8@1250, 405×50@89 and 405×8@89 add up; 402 with its discount stays.
        QCOMPARE(texts, (QStringList{"PT000002+1/4/100158.40/12958.40/PT000002:4158.40,ZP000002:96000.00",
                                     "ZP000001+2/6/79982.00/10397.66/ZP000001:21750.00,ZP000003:9120.00,"
                                     "ZP000005:49112.00",
                                     "ZP000004/1/-1850.00/-240.50/"}));
        // The file holds what the preview showed: three documents, their heads' 商品行数 as merged.
        const QStringList heads =
            file.split(u'\n').filter(QRegularExpression(QStringLiteral("^(PT|ZP)\\d{6}")));
        QCOMPARE(heads.size(), 3);
        QVERIFY2(heads[1].startsWith(QStringLiteral("ZP000001+2~~6~~北京华远信息技术有限公司")),
                 qPrintable(heads[1]));
        QVERIFY(heads[2].startsWith(QStringLiteral("ZP000004~~1~~")));
        // One ledger row per member, under the document's 单据号.
        QCOMPARE(
            acctValue("select FBillNo || '=' || FDocNo from TF_Ledger where FDirection=0 order by FBillNo"),
            "PT000002=PT000002+1,ZP000001=ZP000001+2,ZP000002=PT000002+1,ZP000003=ZP000001+2,"
            "ZP000004=ZP000004,ZP000005=ZP000001+2");
        QVERIFY(exportDocs().isEmpty()); // every member is out
        QCOMPARE(rec->texts(),
                 (QStringList{"5张销售发票合并为2张单据。", "所选的6张发票均已引出过，本次未引出。"}));
        rec->clear();

        // Issued: the numbers go onto every member.
        QVERIFY(runImport(countedFile({issuedFrom(docs[1], "40000001"), issuedFrom(docs[0], "40000002")})));
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(
            acctValue("select FTaxInvoiceNo from ICSale where FBillNo in ('ZP000001','ZP000003','ZP000005') "
                      "order by FBillNo"),
            "3300061130-40000001,3300061130-40000001,3300061130-40000001");
        Reconciliation r(db->session);
        const QStringList report = Reconciliation::reportLines(r.run(QString()));
        // Documents in the order of their first member, each whole though their members interleave.
        QStringList order;
        for (const QString& l : report.mid(0, 8))
            order << (l.startsWith(u'\t') ? l.section(u'\t', 2, 2) : l.section(u'\t', 0, 0) + u':');
        QCOMPARE(order, (QStringList{"PT000002+1:", "PT000002", "ZP000002", "ZP000001+2:", "ZP000001",
                                     "ZP000003", "ZP000005", "ZP000004:"}));
        QCOMPARE(report.mid(3, 4), (QStringList{"ZP000001+2\t已开票\t3300061130-40000001\t79982.00\t79982.00",
                                                "\t成员\tZP000001\t21750.00", "\t成员\tZP000003\t9120.00",
                                                "\t成员\tZP000005\t49112.00"}));

        // The tax invoice cancelled: every member can go out again, under a 单据号 of its own.
        QVERIFY(runImport(
            countedFile({issuedFrom(docs[1], "40000001", true), issuedFrom(docs[0], "40000002")}), true));
        QCOMPARE(acctValue("select FTaxInvoiceNo from ICSale where FBillNo='ZP000003'"), "");
        const QList<ExportDoc> again = exportDocs();
        QCOMPARE(again.size(), 1);
        QCOMPARE(docText(again.first()),
                 "ZP000001+2(2)/6/79982.00/10397.66/ZP000001:21750.00,ZP000003:9120.00,"
                 "ZP000005:49112.00");
    }

    // Over the line limit, a merged document goes out in pieces; a member's lines in two pieces have a row
    // in each. Lines are kept apart for this run.
    void mergedPieces() {
        db->config->exec(QStringLiteral("update t_BaseInfo set FMaxLines=4 where FID=1"));
        QStringList texts;
        for (const ExportDoc& d : exportDocs(nullptr, false))
            texts << docText(d);
        // 402 with its discount is two lines of the invoice.
        QCOMPARE(texts.mid(1, 3),
                 (QStringList{"ZP000001+2-1/4/26950.00/3503.50/ZP000001:21750.00,ZP000003:5200.00",
                              "ZP000001+2-2/3/52320.00/6801.60/ZP000003:3920.00,ZP000005:48400.00",
                              "ZP000001+2-3/1/712.00/92.56/ZP000005:712.00"}));
        QCOMPARE(acctValue("select count(*) from TF_Ledger where FDirection=0 and FBillNo='ZP000003'"), "2");
    }
};

QTEST_GUILESS_MAIN(TestMerge)
#include "test_merge.moc"
