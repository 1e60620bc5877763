// The export engine: query building with bound filter values, the six notices, the file layout and the
// atomic replacement of the target.
#include "ExportFixture.h"
#include "common/GbkCodec.h"
#include "common/modDefine.h"
#include "export/ExportWriter.h"
#include "links/clsSaveData.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

namespace {

const QStringList kHead{"FbillNo", "Frows", "FCustName", "fmemo", "FBillDate", "FExpl"};
const QStringList kBody{"FQty", "FAmount", "FNote", "FBillDate"};
const QString kRed = QStringLiteral("对应正数发票代码1111111111号码11111111");

QString Conditions(const QStringList& firstValues) {
    QStringList v = firstValues;
    while (v.size() < 14)
        v << QString();
    return v.join(u'|');
}

struct ExportSetup {
    TestDatabases db{false};
    QTemporaryDir out;
    QString path;
    ExportSetup(const QVariant& invoiceType = 0, const QString& sep = QStringLiteral("~~")) {
        db.installGlobals();
        path = out.filePath(QStringLiteral("out.txt"));
        TransactionGuard configTrans(*db.config);
        TransactionGuard acctTrans(*db.acct);
        UseTestTemplates(*db.config);
        MakeTestLink(*db.config, 1, invoiceType, sep, kHead, kBody);
        AddTestBaseData(*db.acct);
        AddInvoice(*db.acct, 1, QStringLiteral("ZP01"), QStringLiteral("2026-01-08"), 80,
                   {{2, 1130.5, QStringLiteral("甲")}, {1, 0.13, QVariant()}}, 1, 1, QStringLiteral("说明"));
        AddInvoice(*db.acct, 2, QStringLiteral("ZP02"), QStringLiteral("2026-01-20"), 80,
                   {{3, 30, QStringLiteral("乙")}}, 2, -1);
        AddInvoice(*db.acct, 3, QStringLiteral("PT01"), QStringLiteral("2026-01-10"), 86,
                   {{1, 10, QStringLiteral("丙")}});
        AddInvoice(*db.acct, 4, QStringLiteral("ZP'03"), QStringLiteral("2026-02-01"), 80,
                   {{1, 5, QStringLiteral("丁")}});
        configTrans.commit();
        acctTrans.commit();
    }
    // Bill numbers of the head lines (lines whose second value is the line count).
    QStringList HeadBills() const {
        QStringList bills;
        const QStringList lines = ReadGbkFile(path);
        for (const QString& l : lines.mid(1))
            if (l.startsWith(u'Z') || l.startsWith(u'P')) bills << l.section(QStringLiteral("~~"), 0, 0);
        return bills;
    }
};

void WriteOld(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("OLD\r\n");
}

} // namespace

class TestExportEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileLayout() {
        ExportSetup s;
        RecorderSink sink;
        QVERIFY(
            clsSaveData().ExportToTxT(s.path, Conditions({"2026-01-01", "2026-01-31"}), QStringLiteral("1")));
        QVERIFY(sink.entries.isEmpty());
        QCOMPARE(ReadGbkFile(s.path), (QStringList{
                                          "SJJK0101~~销售单据传入",
                                          "ZP01~~2~~客户甲~~~~20260108~~说明",
                                          "2~~1130.5~~甲~~2026-01-08",
                                          "1~~0.13~~~~2026-01-08",
                                          "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~",
                                          "3~~30~~乙~~2026-01-20",
                                      }));
        const QByteArray bytes = FileBytes(s.path);
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\r\n"), 6);
        QCOMPARE(bytes.count("\n"), 6);
        QString decoded;
        QVERIFY(DecodeGbk(bytes, decoded));
    }

    void emptySeparatorWritesValuesBackToBack() {
        ExportSetup s(0, QString());
        RecorderSink sink;
        QVERIFY(
            clsSaveData().ExportToTxT(s.path, Conditions({"2026-01-08", "2026-01-08"}), QStringLiteral("1")));
        QCOMPARE(ReadGbkFile(s.path), (QStringList{"SJJK0101销售单据传入", "ZP012客户甲20260108说明",
                                                   "21130.5甲2026-01-08", "10.132026-01-08"}));
    }

    void conditions_data() {
        QTest::addColumn<QVariant>("invoiceType");
        QTest::addColumn<QString>("conditions");
        QTest::addColumn<QStringList>("bills");
        QTest::addColumn<QStringList>("messages");
        const QString all = Conditions({});
        QTest::newRow("all empty: special invoices only")
            << QVariant(0) << all << QStringList{"ZP'03", "ZP01", "ZP02"} << QStringList{};
        QTest::newRow("type 1 is ordinary") << QVariant(1) << all << QStringList{"PT01"} << QStringList{};
        QTest::newRow("type Null counts as ordinary")
            << QVariant() << all << QStringList{"PT01"} << QStringList{};
        QTest::newRow("type 7 counts as ordinary")
            << QVariant(7) << all << QStringList{"PT01"} << QStringList{};
        QTest::newRow("date range") << QVariant(0) << Conditions({"2026-01-01", "2026-01-15"})
                                    << QStringList{"ZP01"} << QStringList{};
        QTest::newRow("invoice number with a quote filters literally")
            << QVariant(0) << Conditions({"", "", "ZP'03", "ZP'03"}) << QStringList{"ZP'03"} << QStringList{};
        QTest::newRow("a quote cannot change the statement")
            << QVariant(0) << Conditions({"", "", "ZP01' or '1'='1", "ZP01' or '1'='1"}) << QStringList{}
            << QStringList{"引出的表头数据为空，引出失败！"};
        QTest::newRow("customer code range") << QVariant(0) << Conditions({"", "", "", "", "C02", "C02"})
                                             << QStringList{"ZP02"} << QStringList{};
        QTest::newRow("empty condition text leaves the placeholders")
            << QVariant(0) << QString() << QStringList{} << QStringList{"语法错误，引出失败！"};
    }
    void conditions() {
        QFETCH(QVariant, invoiceType);
        QFETCH(QString, conditions);
        QFETCH(QStringList, bills);
        QFETCH(QStringList, messages);
        ExportSetup s(invoiceType);
        RecorderSink sink;
        QCOMPARE(clsSaveData().ExportToTxT(s.path, conditions, QStringLiteral("1")), messages.isEmpty());
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(s.HeadBills(), bills);
    }

    // Placeholders and the memo item match in any case; everything else keeps the case it was written in.
    void templateCaseIsKept() {
        ExportSetup s;
        QString t = TestTemplate1();
        t.replace(QStringLiteral("{filter0}"), QStringLiteral("{FILTER0}"))
            .replace(QStringLiteral("'' as fmemo"), QStringLiteral("'' AS FMemo"))
            .replace(QStringLiteral("t1.FExplanation as FExpl"), QStringLiteral("'MixedCase' as FExpl"));
        UseTestTemplates(*s.db.config, t);
        RecorderSink sink;
        QVERIFY(
            clsSaveData().ExportToTxT(s.path, Conditions({"2026-01-20", "2026-01-20"}), QStringLiteral("1")));
        QCOMPARE(ReadGbkFile(s.path).value(1), "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~MixedCase");
    }

    void linesFollowTheirInvoice() {
        TestDatabases db(false);
        db.installGlobals();
        UseTestTemplates(*db.config);
        MakeTestLink(*db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows"}, {"FNote"});
        AddTestBaseData(*db.acct);
        // Inserted against the invoice-number order, lines of different invoices interleaved by id.
        AddInvoice(*db.acct, 9, QStringLiteral("C3"), QStringLiteral("2026-01-01"), 80,
                   {{1, 1, "C3-1"}, {1, 1, "C3-2"}, {1, 1, "C3-3"}});
        AddInvoice(*db.acct, 5, QStringLiteral("A1"), QStringLiteral("2026-01-01"), 80, {{1, 1, "A1-1"}});
        AddInvoice(*db.acct, 7, QStringLiteral("B2"), QStringLiteral("2026-01-01"), 80,
                   {{1, 1, "B2-1"}, {1, 1, "B2-2"}});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.txt"));
        RecorderSink sink;
        QVERIFY(clsSaveData().ExportToTxT(path, Conditions({}), QStringLiteral("1")));
        QStringList lines = ReadGbkFile(path);
        QCOMPARE(lines.takeFirst(), QStringLiteral("SJJK0101~~销售单据传入"));
        QStringList heads;
        for (int i = 0; i < lines.size();) {
            const QString bill = lines[i].section(QStringLiteral("~~"), 0, 0);
            const int n = lines[i].section(QStringLiteral("~~"), 1, 1).toInt();
            heads << bill;
            QStringList body = lines.mid(i + 1, n);
            body.sort();
            QStringList expected;
            for (int k = 1; k <= n; ++k)
                expected << bill + QStringLiteral("-%1").arg(k);
            QCOMPARE(body, expected);
            i += n + 1;
        }
        QCOMPARE(heads, (QStringList{"A1", "B2", "C3"}));
    }

    void refusals_data() {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("linkId");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown link") << 0 << "99"
                                      << "关联不存在，引出失败！";
        QTest::newRow("link id that is no number") << 0 << "1 or 1=1"
                                                   << "关联不存在，引出失败！";
        QTest::newRow("no head fields") << 1 << "1"
                                        << "关联信息表头为空，引出失败！";
        QTest::newRow("no body fields") << 2 << "1"
                                        << "关联信息表体为空，引出失败！";
        QTest::newRow("no invoice in the range") << 3 << "1"
                                                 << "引出的表头数据为空，引出失败！";
        QTest::newRow("template with a syntax error") << 4 << "1"
                                                      << "语法错误，引出失败！";
        QTest::newRow("missing second template") << 5 << "1"
                                                 << "语法错误，引出失败！";
        QTest::newRow("failing body formula") << 6 << "1"
                                              << "语法错误，引出失败！";
        QTest::newRow("separator inside a value") << 7 << "1"
                                                  << "发票“ZP01”的值“a~~b”含有分隔符“~~”，引出失败！";
        QTest::newRow("line break inside a value") << 8 << "1"
                                                   << "发票“ZP01”的值“x\\r\\ny”含有换行符，引出失败！";
        QTest::newRow("character that GBK cannot hold")
            << 9 << "1" << QStringLiteral("发票“ZP01”的值“笑😀”含有GBK编码不能表示的字符，引出失败！");
    }
    void refusals() {
        QFETCH(int, setup);
        QFETCH(QString, linkId);
        QFETCH(QString, message);
        ExportSetup s;
        QString conditions = Conditions({"2026-01-08", "2026-01-08"});
        switch (setup) {
        case 1:
            MakeTestLink(*s.db.config, 1, 0, "~~", {}, kBody);
            break;
        case 2:
            MakeTestLink(*s.db.config, 1, 0, "~~", kHead, {});
            break;
        case 3:
            conditions = Conditions({"2030-01-01"});
            break;
        case 4:
            UseTestTemplates(*s.db.config, QStringLiteral("select from where {filter0}"));
            break;
        case 5:
            s.db.config->Execute(QStringLiteral("delete from t_OtherInfo where Fkey='tbl2'"));
            break;
        case 6:
            MakeTestLink(*s.db.config, 1, 0, "~~", kHead, {"FQty", "=no_such_column*2"});
            break;
        case 7:
            s.db.acct->Execute(QStringLiteral("update ICSale set FExplanation='a~~b' where FInterID=1"));
            break;
        case 8:
            s.db.acct->Execute(QStringLiteral("update ICSaleEntry set FNote=? where FInterID=1"), {"x\r\ny"});
            break;
        case 9:
            s.db.acct->Execute(QStringLiteral("update ICSaleEntry set FNote=? where FInterID=1"), {"笑😀"});
            break;
        default:
            break;
        }
        WriteOld(s.path);
        RecorderSink sink;
        QVERIFY(!clsSaveData().ExportToTxT(s.path, conditions, linkId));
        QCOMPARE(sink.texts(), QStringList{message});
        // Nothing written: the earlier file is as it was and no temporary file is left behind.
        QCOMPARE(FileBytes(s.path), QByteArray("OLD\r\n"));
        QCOMPARE(QDir(s.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
    }

    void successReplacesEarlierFile() {
        ExportSetup s;
        WriteOld(s.path);
        RecorderSink sink;
        QVERIFY(
            clsSaveData().ExportToTxT(s.path, Conditions({"2026-01-20", "2026-01-20"}), QStringLiteral("1")));
        QCOMPARE(ReadGbkFile(s.path).size(), 3);
        QCOMPARE(QDir(s.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
    }

    void unwritableTarget() {
        ExportSetup s;
        RecorderSink sink;
        const QString path = s.out.filePath(QStringLiteral("missing/dir/out.txt"));
        QVERIFY(!clsSaveData().ExportToTxT(path, Conditions({}), QStringLiteral("1")));
        QCOMPARE(sink.entries.size(), 1);
        QVERIFY2(sink.last().startsWith(
                     QStringLiteral("调用(WriteToTxT)出错!\r\n错误编号:75,错误原因:路径/文件访问错误：") +
                     path + QStringLiteral("（")),
                 qPrintable(sink.last()));
        QVERIFY(!QFile::exists(path));
    }

    // The writer on its own: heads without lines, Frows from RowsCount, head dates only, no body at all.
    void writerRules_data() {
        QTest::addColumn<bool>("withBody");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("invoice without lines gets its head alone")
            << true
            << QStringList{"SJJK0101|销售单据传入", "A|3|20260105|20260105", "B|1||x", "B-line|2026-01-06"}
            << QStringList{};
        QTest::newRow("no body rows at all")
            << false << QStringList{} << QStringList{"引出的表体数据为空，引出失败！"};
    }
    void writerRules() {
        QFETCH(bool, withBody);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, messages);
        Recordset head({{"RowsCount", AdoType::Integer},
                        {"FbillNo", AdoType::VarWChar},
                        {"Frows", AdoType::Integer},
                        {"FDate", AdoType::DBDate},
                        {"FText", AdoType::VarWChar}},
                       {{3, "A", 0, QDate(2026, 1, 5), "2026-01-05"}, {1, "B", 0, QVariant(), "x"}});
        QList<QVariantList> bodyRows;
        if (withBody) bodyRows << QVariantList{"B", "B-line", QDate(2026, 1, 6)};
        Recordset body(
            {{"FbillNo", AdoType::VarWChar}, {"FNote", AdoType::VarWChar}, {"FDate", AdoType::DBDate}},
            bodyRows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.txt"));
        RecorderSink sink;
        QCOMPARE(WriteToTxT(path, head, BodyRowsOf(body), QStringLiteral("|")), messages.isEmpty());
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(ReadGbkFile(path), lines);
    }
};

QTEST_GUILESS_MAIN(TestExportEngine)
#include "test_export_engine.moc"
