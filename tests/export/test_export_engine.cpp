// The export engine: query building with bound filter values, the six notices, the file layout and the
// atomic replacement of the target.
#include "ExportFixture.h"
#include "PlatformTemplate.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/XlsxReader.h"
#include "export/ExportWriter.h"
#include "export/WorkbookTemplate.h"
#include "export/clsSaveDataExport.h"
#include "links/clsSaveData.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
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

const QString kDay = Conditions({"2026-01-08", "2026-01-08"});

struct Case {
    QVariant type = 0;
    QString sep = QStringLiteral("~~");
    QStringList head = kHead, body = kBody;
    QString conditions = kDay;
    QString sql = {}; // "config:…" or "acct:…" run before the export; "acct:!" breaks the accounting set
    QString linkId = QStringLiteral("1");
    QString target = QStringLiteral("out.txt");
    QStringList bills = {}; // expected head lines by invoice number
    QStringList lines = {}; // expected file
    QString message = {};   // the one notice of a refused export; "@" is the output folder
};

struct ExportSetup {
    TestDatabases db{false};
    QTemporaryDir out;
    QString path;
    ExportSetup() {
        path = out.filePath(QStringLiteral("out.txt"));
        TransactionGuard configTrans(*db.config);
        TransactionGuard acctTrans(*db.acct);
        UseTestTemplates(*db.config);
        MakeTestLink(*db.config, 1, 0, QStringLiteral("~~"), kHead, kBody);
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

} // namespace

Q_DECLARE_METATYPE(Case)

class TestExportEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    // One export per row. A refusal shows exactly its notice and leaves the earlier file as it was,
    // with no temporary file; a success replaces it, with CR LF after every line, the last included.
    void exportToTxT_data() {
        QTest::addColumn<Case>("c");
        const QString all = Conditions({}), none = Conditions({"2030-01-01"}),
                      syntax = "语法错误，引出失败！";
        QTest::newRow("separator ~~")
            << Case{.conditions = Conditions({"2026-01-01", "2026-01-31"}),
                    .lines = {"SJJK0101~~销售单据传入", "ZP01~~2~~客户甲~~~~20260108~~说明",
                              "2~~1130.5~~甲~~2026-01-08", "1~~0.13~~~~2026-01-08",
                              "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~", "3~~30~~乙~~2026-01-20"}};
        QTest::newRow("empty separator writes values back to back")
            << Case{.sep = "",
                    .lines = {"SJJK0101销售单据传入", "ZP012客户甲20260108说明", "21130.5甲2026-01-08",
                              "10.132026-01-08"}};
        QTest::newRow("all empty: special invoices only")
            << Case{.conditions = all, .bills = {"ZP'03", "ZP01", "ZP02"}};
        QTest::newRow("type 1 is ordinary") << Case{.type = 1, .conditions = all, .bills = {"PT01"}};
        QTest::newRow("type Null counts as ordinary")
            << Case{.type = QVariant(), .conditions = all, .bills = {"PT01"}};
        QTest::newRow("type 7 counts as ordinary") << Case{.type = 7, .conditions = all, .bills = {"PT01"}};
        QTest::newRow("date range") << Case{.conditions = Conditions({"2026-01-01", "2026-01-15"}),
                                            .bills = {"ZP01"}};
        QTest::newRow("invoice number with a quote filters literally")
            << Case{.conditions = Conditions({"", "", "ZP'03", "ZP'03"}), .bills = {"ZP'03"}};
        QTest::newRow("customer code range")
            << Case{.conditions = Conditions({"", "", "", "", "C02", "C02"}), .bills = {"ZP02"}};
        // Placeholders and the memo item match in any case; everything else keeps the case it was written in.
        QTest::newRow("template case is kept")
            << Case{.conditions = Conditions({"2026-01-20", "2026-01-20"}),
                    .sql = "config:update t_OtherInfo set FSQL=replace(replace(replace(FSQL, '{filter0}', "
                           "'{FILTER0}'), ''''' as fmemo', ''''' AS FMemo'), 't1.FExplanation as FExpl', "
                           "'''MixedCase'' as FExpl') where Fkey='tbl1'",
                    .lines = {"SJJK0101~~销售单据传入", "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~MixedCase",
                              "3~~30~~乙~~2026-01-20"}};
        QTest::newRow("a quote cannot change the statement")
            << Case{.conditions = Conditions({"", "", "ZP01' or '1'='1", "ZP01' or '1'='1"}),
                    .message = "引出的表头数据为空，引出失败！"};
        QTest::newRow("empty condition text leaves the placeholders")
            << Case{.conditions = "", .message = syntax};
        QTest::newRow("unknown link") << Case{.linkId = "99", .message = "关联不存在，引出失败！"};
        QTest::newRow("link id that is no number")
            << Case{.linkId = "1 or 1=1", .message = "关联不存在，引出失败！"};
        QTest::newRow("no head fields, before the accounting set is opened")
            << Case{.head = {}, .sql = "acct:!", .message = "关联信息表头为空，引出失败！"};
        QTest::newRow("no body fields") << Case{.body = {}, .message = "关联信息表体为空，引出失败！"};
        QTest::newRow("no body fields, after the head query ran")
            << Case{.body = {}, .conditions = none, .message = "引出的表头数据为空，引出失败！"};
        QTest::newRow("no invoice in the range")
            << Case{.conditions = none, .message = "引出的表头数据为空，引出失败！"};
        QTest::newRow("accounting set cannot be opened") << Case{
            .sql = "acct:!",
            .message = "调用(GetRs)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“@/none.db”。"};
        QTest::newRow("template with a syntax error") << Case{
            .sql = "config:update t_OtherInfo set FSQL='select from where {filter0}' where Fkey='tbl1'",
            .message = syntax};
        QTest::newRow("missing second template")
            << Case{.sql = "config:delete from t_OtherInfo where Fkey='tbl2'", .message = syntax};
        QTest::newRow("failing body formula")
            << Case{.body = {"FQty", "=no_such_column*2"}, .message = syntax};
        QTest::newRow("separator inside a value")
            << Case{.sql = "acct:update ICSale set FExplanation='a~~b' where FInterID=1",
                    .message = "发票“ZP01”的值“a~~b”含有分隔符“~~”，引出失败！"};
        QTest::newRow("line break inside a value")
            << Case{.sql = "acct:update ICSaleEntry set FNote='x\r\ny' where FInterID=1",
                    .message = "发票“ZP01”的值“x\\r\\ny”含有换行符，引出失败！"};
        QTest::newRow("character that GBK cannot hold")
            << Case{.sql = "acct:update ICSaleEntry set FNote='笑😀' where FInterID=1",
                    .message = "发票“ZP01”的值“笑😀”含有GBK编码不能表示的字符，引出失败！"};
        // A target that cannot be written is reported only after both queries succeeded.
        QTest::newRow("unwritable target") << Case{
            .target = "missing/out.txt",
            .message = "调用(WriteToTxT)出错!\r\n错误编号:75,错误原因:路径/文件访问错误：@/missing/out.txt"};
        QTest::newRow("unwritable target, body query fails first")
            << Case{.body = {"=no_such_column"}, .target = "missing/out.txt", .message = syntax};
    }
    void exportToTxT() {
        QFETCH(Case, c);
        ExportSetup s;
        MakeTestLink(*s.db.config, 1, c.type, c.sep, c.head, c.body);
        if (c.sql == u"acct:!")
            s.db.session.gsAcctProps =
                QStringLiteral("{Provider=SQLite;Data Source=%1/none.db}").arg(s.out.path());
        else if (!c.sql.isEmpty())
            (c.sql.startsWith(u'c') ? s.db.config : s.db.acct)->Execute(c.sql.section(u':', 1));
        WriteOld(s.path);
        RecorderSink sink;
        const bool ok = c.message.isEmpty();
        QCOMPARE(
            clsSaveDataExport(s.db.session).ExportToTxT(s.out.filePath(c.target), c.conditions, c.linkId),
            ok);
        QStringList texts = sink.texts();
        if (!texts.isEmpty())
            texts.last().remove(QRegularExpression(QStringLiteral("（[^（]*）$"))); // system's reason
        QCOMPARE(texts, ok ? QStringList() : QStringList{c.message.replace(u'@', s.out.path())});
        if (!c.lines.isEmpty()) QCOMPARE(ReadGbkFile(s.path), c.lines);
        if (!c.bills.isEmpty()) QCOMPARE(s.HeadBills(), c.bills);
        const QByteArray bytes = FileBytes(s.path);
        QCOMPARE(bytes == "OLD\r\n", !ok);
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
        QCOMPARE(QDir(s.out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"out.txt"});
    }

    // An invoice over the link's limits goes out in pieces, in line order, each within both limits and
    // with its own number and line count; the preview shows the same documents and writes nothing; the
    // ledger records every piece and the next export leaves the invoice out.
    void limitsSplitInvoices_data() {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<double>("maxAmount");
        QTest::addColumn<bool>("useList");
        QTest::addColumn<QStringList>("docs"); // 单据号:lines:amount, or the refusal
        const QStringList whole{"ZP09~~5~~(list)"};
        QTest::newRow("no limits") << 0 << 0.0 << false << QStringList{"ZP09:5:1500"};
        QTest::newRow("by lines") << 2 << 0.0 << false
                                  << QStringList{"ZP09-1:2:700", "ZP09-2:2:700", "ZP09-3:1:100"};
        QTest::newRow("by amount") << 0 << 700.0 << false
                                   << QStringList{"ZP09-1:2:700", "ZP09-2:2:700", "ZP09-3:1:100"};
        QTest::newRow("amount cuts before lines")
            << 3 << 1000.0 << false << QStringList{"ZP09-1:2:700", "ZP09-2:3:800"};
        QTest::newRow("within both") << 5 << 1500.0 << false << QStringList{"ZP09:5:1500"};
        QTest::newRow("sales list") << 2 << 0.0 << true << QStringList{"ZP09:5:1500:list"};
        QTest::newRow("sales list, amount still cuts")
            << 2 << 1000.0 << true << QStringList{"ZP09-1:2:700", "ZP09-2:3:800:list"};
        QTest::newRow("a line over the amount")
            << 0 << 450.0 << false
            << QStringList{"!发票“ZP09”第3行的不含税金额500超过每张发票的限额450，引出失败！"};
        // Lines b and c carry a discount (see below): each is two lines of the invoice and stays whole.
        QTest::newRow("discounted lines count twice")
            << -2 << 0.0 << false
            << QStringList{"ZP09-1:1:400", "ZP09-2:1:300", "ZP09-3:1:500", "ZP09-4:2:300"};
        QTest::newRow("discounted lines and the sales list")
            << -4 << 0.0 << true << QStringList{"ZP09:5:1500:list"};
    }
    void limitsSplitInvoices() {
        QFETCH(int, maxLines);
        QFETCH(double, maxAmount);
        QFETCH(bool, useList);
        QFETCH(QStringList, docs);
        ExportSetup s;
        // A negative line limit: the same limit, with a discount on lines b and c.
        const bool discounts = maxLines < 0;
        maxLines = std::abs(maxLines);
        QStringList body{"FNote", "FQty", "FAmount", "FAmount"};
        QStringList names{"单据号",   "商品行数", "购方名称",   "清单行商品名称",
                          "货物名称", "数量",     "不含税金额", "税额"};
        if (discounts) {
            body << QStringLiteral("=case when FNote in ('b','c') then 10 else 0 end");
            names << QStringLiteral("折扣金额");
        }
        MakeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows", "FCustName", "=''"}, body,
                     names);
        s.db.config->Execute(QStringLiteral("update t_BaseInfo set FMaxLines=?, FMaxAmount=?, FUseList=?"),
                             {maxLines, maxAmount, useList ? 1 : 0});
        AddInvoice(*s.db.acct, 9, QStringLiteral("ZP09"), QStringLiteral("2025-03-01"), 80,
                   {{1, 400, "a"}, {1, 300, "b"}, {1, 500, "c"}, {1, 200, "d"}, {1, 100, "e"}});
        const QString day = Conditions({"2025-03-01", "2025-03-01"});
        RecorderSink sink;
        const bool refused = docs.first().startsWith(u'!');
        // The preview first: what it shows is what the export then writes.
        clsSaveDataExport preview(s.db.session);
        preview.SetPreview(true);
        QCOMPARE(preview.ExportToTxT(s.path, day, "1"), !refused);
        QVERIFY(!QFile::exists(s.path));
        if (refused) {
            QCOMPARE(sink.texts(), QStringList{docs.first().mid(1)});
            return;
        }
        QStringList previewed;
        for (const ExportDoc& d : preview.Preview())
            previewed << QStringLiteral("%1:%2:%3").arg(d.docNo).arg(d.lines).arg(d.amount);
        clsSaveDataExport exporter(s.db.session);
        QVERIFY(exporter.ExportToTxT(s.path, day, "1"));
        const QStringList lines = ReadGbkFile(s.path).mid(1);
        QStringList written;
        QStringList notes;
        for (int i = 0; i < lines.size();) {
            const QStringList head = lines[i].split(QStringLiteral("~~"));
            const int n = head.value(1).toInt();
            double amount = 0;
            for (int k = 1; k <= n; ++k) {
                const QStringList body = lines.value(i + k).split(QStringLiteral("~~"));
                notes << body.value(0);
                amount += body.value(2).toDouble();
            }
            QString doc = QStringLiteral("%1:%2:%3").arg(head.value(0)).arg(n).arg(amount);
            if (head.value(3) == SalesListName()) doc += QStringLiteral(":list");
            QVERIFY2(head.value(3).isEmpty() || head.value(3) == SalesListName(), qPrintable(lines[i]));
            written << doc;
            i += n + 1;
        }
        QCOMPARE(written, docs);
        QCOMPARE(notes, (QStringList{"a", "b", "c", "d", "e"}));
        for (QString& d : docs)
            d.remove(QStringLiteral(":list"));
        QCOMPARE(previewed, docs);
        QCOMPARE(exporter.LastCounts().invoices, int(docs.size()));
        QCOMPARE(exporter.LastCounts().lines, 5);
        const RecordsetPtr ledger = s.db.acct->Query(QStringLiteral(
            "select FBillNo, FDocNo, FInterID from TF_Ledger where FDirection=0 order by FDocNo"));
        QStringList recorded;
        for (const QVariantList& row : ledger->allRows()) {
            QCOMPARE(row.value(2).toInt(), 9);
            recorded << row.value(0).toString() + u'/' + row.value(1).toString();
        }
        QStringList expected;
        for (const QString& d : docs)
            expected << QStringLiteral("ZP09/") + d.section(u':', 0, 0);
        QCOMPARE(recorded, expected);
        sink.entries.clear();
        QVERIFY(!clsSaveDataExport(s.db.session).ExportToTxT(s.path, day, "1"));
        QCOMPARE(sink.texts(), QStringList{"所选的1张发票均已引出过，本次未引出。"});
    }

    // Invoices that crossed over before stay out, and the message says how many of each kind; when nothing
    // is left, the proof says the same before anything is written.
    void leftOutCounts_data() {
        QTest::addColumn<QString>("ledger"); // FBillNo:FDirection[:FState] rows
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("message");
        QTest::newRow("all exported before")
            << "ZP01:0,ZP02:0" << false << "所选的2张发票均已引出过，本次未引出。";
        QTest::newRow("all from the tax system")
            << "ZP01:1,ZP02:1" << false << "所选的2张发票均由税控系统引入，本次未引出。";
        QTest::newRow("one of each") << "ZP01:0,ZP02:1" << false
                                     << "所选的2张发票均未引出：1张已引出过，1张由税控系统引入。";
        QTest::newRow("exported, its tax invoice imported back")
            << "ZP01:0,ZP01:1,ZP02:0" << false << "所选的2张发票均已引出过，本次未引出。";
        QTest::newRow("one exported, one outside the selection")
            << "ZP01:0,PT01:1" << true << "已有1张发票引出过，本次未引出。";
        QTest::newRow("one from the tax system")
            << "ZP02:1" << true << "已有1张发票由税控系统引入，本次未引出。";
        QTest::newRow("a cancelled row stands for nothing")
            << "ZP01:0:1,ZP02:1" << true << "已有1张发票由税控系统引入，本次未引出。";
    }
    void leftOutCounts() {
        QFETCH(QString, ledger);
        QFETCH(bool, written);
        QFETCH(QString, message);
        ExportSetup s;
        Ledger::Ensure(*s.db.acct);
        for (const QString& row : ledger.split(u',')) {
            const QStringList f = row.split(u':');
            s.db.acct->Execute(
                QStringLiteral("insert into TF_Ledger (FBillNo, FDirection, FState) values ('%1', %2, %3)")
                    .arg(f.value(0), f.value(1), f.value(2, QStringLiteral("0"))));
        }
        for (bool preview : {true, false}) {
            RecorderSink sink;
            clsSaveDataExport exporter(s.db.session);
            exporter.SetPreview(preview);
            QCOMPARE(exporter.ExportToTxT(s.path, Conditions({"2026-01-01", "2026-01-31"}), "1"), written);
            // A proof that writes shows what it leaves out in its own list.
            QCOMPARE(sink.texts(), preview && written ? QStringList() : QStringList{message});
            QCOMPARE(QFileInfo::exists(s.path), written && !preview);
        }
    }

    // A preview lists the first documents only, and totals all of them; so with the invoices it leaves out.
    void previewListsTheFirstDocuments_data() {
        QTest::addColumn<int>("limit");
        QTest::newRow("under the limit") << 1000;
        QTest::newRow("at the limit") << 3;
        QTest::newRow("over the limit") << 2;
        QTest::newRow("none listed") << 0;
    }
    void previewListsTheFirstDocuments() {
        QFETCH(int, limit);
        ExportSetup s;
        const QString all = Conditions({});
        clsSaveDataExport full(s.db.session);
        full.SetPreview(true);
        QVERIFY(full.ExportToTxT(s.path, all, "1"));
        const QList<ExportDoc> docs = full.Preview();
        QCOMPARE(docs.size(), 3); // the special invoices ZP01, ZP02 and ZP'03

        clsSaveDataExport capped(s.db.session);
        capped.SetPreview(true);
        capped.setPreviewLimit(limit);
        QVERIFY(capped.ExportToTxT(s.path, all, "1"));
        QStringList listed, expected;
        for (const ExportDoc& d : capped.Preview())
            listed << d.docNo;
        for (const ExportDoc& d : docs.mid(0, limit))
            expected << d.docNo;
        QCOMPARE(listed, expected);
        clsSaveDataExport::PreviewTotals sum;
        for (const ExportDoc& d : docs)
            sum.add(d);
        const clsSaveDataExport::PreviewTotals& t = capped.previewTotals();
        QCOMPARE(t.documents, 3);
        QCOMPARE(t.lines, sum.lines);
        QCOMPARE(t.amount, sum.amount);
        QCOMPARE(t.tax, sum.tax);

        // Once exported, the same selection is left out whole: counted in full, listed up to the limit.
        QVERIFY(clsSaveDataExport(s.db.session).ExportToTxT(s.path, all, "1"));
        RecorderSink sink;
        clsSaveDataExport again(s.db.session);
        again.SetPreview(true);
        again.setPreviewLimit(limit);
        again.ExportToTxT(s.path, all, "1");
        QCOMPARE(again.LastCounts().leftOut, 3);
        QCOMPARE(again.LeftOutBills().size(), std::min(limit, 3));
        QCOMPARE(again.previewTotals().documents, 0);
    }

    // The export reports the lines it has read of all there are; asked to stop, it leaves the earlier
    // file as it was, no file of its own and nothing in the ledger.
    void progressAndCancel_data() {
        QTest::addColumn<bool>("stop");
        QTest::newRow("to the end") << false;
        QTest::newRow("stopped") << true;
    }
    void progressAndCancel() {
        QFETCH(bool, stop);
        ExportSetup s;
        WriteOld(s.path);
        struct Recorder : ProgressSink {
            bool stop = false;
            QList<qint64> done;
            qint64 total = 0;
            bool Report(qint64 d, qint64 t, int) override {
                done << d;
                total = t;
                return !stop;
            }
        } progress;
        progress.stop = stop;
        RecorderSink sink;
        clsSaveDataExport exporter(s.db.session);
        exporter.SetProgress(&progress);
        QCOMPARE(exporter.ExportToTxT(s.path, Conditions({"2026-01-01", "2026-01-31"}), "1"), !stop);
        QCOMPARE(exporter.Cancelled(), stop);
        QVERIFY(!progress.done.isEmpty());
        if (stop) {
            QCOMPARE(progress.done.size(), 1);
            QCOMPARE(sink.texts(), QStringList{"引出已取消，引出文件没有改变。"});
            QCOMPARE(FileBytes(s.path), QByteArray("OLD\r\n"));
            QCOMPARE(QDir(s.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
            QVERIFY(!Ledger::Exists(*s.db.acct) ||
                    s.db.acct->Query(QStringLiteral("select count(*) from TF_Ledger"))->value(0).toInt() ==
                        0);
        } else {
            // The special invoices of January: ZP01 (two lines) and ZP02, three lines in all.
            QCOMPARE(progress.total, 3);
            QCOMPARE(progress.done, (QList<qint64>{1, 2, 3}));
            QVERIFY(FileBytes(s.path).startsWith("SJJK0101"));
        }
    }

    void linesFollowTheirInvoice() {
        ExportSetup s;
        MakeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows"}, {"FNote"});
        // Inserted against the invoice-number order, lines of different invoices interleaved by id.
        AddInvoice(*s.db.acct, 9, QStringLiteral("C3"), QStringLiteral("2025-01-01"), 80,
                   {{1, 1, "C3-1"}, {1, 1, "C3-2"}, {1, 1, "C3-3"}});
        AddInvoice(*s.db.acct, 5, QStringLiteral("A1"), QStringLiteral("2025-01-01"), 80, {{1, 1, "A1-1"}});
        AddInvoice(*s.db.acct, 7, QStringLiteral("B2"), QStringLiteral("2025-01-01"), 80,
                   {{1, 1, "B2-1"}, {1, 1, "B2-2"}});
        RecorderSink sink;
        QVERIFY(clsSaveDataExport(s.db.session)
                    .ExportToTxT(s.path, Conditions({"2025-01-01", "2025-01-01"}), "1"));
        const QStringList lines = ReadGbkFile(s.path).mid(1);
        QStringList blocks; // each head line with its lines, in any order within the invoice
        for (int i = 0, n = 0; i < lines.size(); i += n + 1) {
            n = lines[i].section(QStringLiteral("~~"), 1, 1).toInt();
            QStringList body = lines.mid(i + 1, n);
            body.sort();
            blocks << lines[i] + u':' + body.join(u',');
        }
        QCOMPARE(blocks, (QStringList{"A1~~1:A1-1", "B2~~2:B2-1,B2-2", "C3~~3:C3-1,C3-2,C3-3"}));
    }

    // Templates and formulas are the user's own SQL, run where nothing can be changed: a template that
    // calls a function that deletes fails like any broken template and leaves every row in place.
    void templateThatWritesChangesNothing() {
        if (CurrentTestBackend() == TestBackend::SQLite)
            QSKIP("an SQLite query cannot call a function that writes; the read-only file is checked in "
                  "test_common");
        ExportSetup s;
        MakeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows"}, {"FNote"});
        s.db.acct->Execute(QStringLiteral("create function tf_write() returns integer language sql as "
                                          "'delete from ICSaleEntry; select 0'"));
        s.db.config->Execute(
            QStringLiteral("update t_OtherInfo set FSQL='select tf_write() as Frows' where Fkey='tbl2'"));
        const QString count = QStringLiteral("select count(*) from ICSaleEntry");
        const int before = s.db.acct->Query(count)->value(0).toInt();
        QVERIFY(before > 0);
        RecorderSink sink;
        QVERIFY(!clsSaveDataExport(s.db.session).ExportToTxT(s.path, Conditions({}), QStringLiteral("1")));
        QCOMPARE(sink.texts(), QStringList{QStringLiteral("语法错误，引出失败！")});
        QCOMPARE(s.db.acct->Query(count)->value(0).toInt(), before);
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
        QCOMPARE(WriteToTxT(path, *CursorOf(head), BodyRowsOf(body), QStringLiteral("|")),
                 messages.isEmpty());
        QCOMPARE(sink.texts(), messages);
        QCOMPARE(ReadGbkFile(path), lines);
    }

    // The workbook's address / phone and bank / account columns come from the accounting set's joined
    // 购方地址电话 and 购方银行帐号, split before the number, unless the link fills a column itself.
    void workbookSplitColumns_data() {
        QTest::addColumn<QString>("joiner");     // between the name and the number in the joined fields
        QTest::addColumn<QStringList>("mapped"); // heading=FQORField ("=" a formula's SQL), beyond the base
        QTest::addColumn<QStringList>("cells"); // 购买方地址, 购买方电话, 购买方开户银行, 购买方银行账号
        const QStringList split{"杭州市文三路100号", "0571-88886666", "工商银行文三支行",
                                "1202021209900012345"};
        QTest::newRow("not mapped") << " " << QStringList{} << split;
        QTest::newRow("not mapped, joined without a blank") << "" << QStringList{} << split;
        QTest::newRow("mapped to the joined fields")
            << " " << QStringList{"购买方地址=5", "购买方电话=5", "购买方开户银行=6", "购买方银行账号=6"}
            << split;
        QTest::newRow("columns the link fills itself")
            << " " << QStringList{"购买方地址=='自提'", "购买方银行账号=='62220000'"}
            << QStringList{"自提", "0571-88886666", "工商银行文三支行", "62220000"};
    }

    void workbookSplitColumns() {
        QFETCH(QString, joiner);
        QFETCH(QStringList, mapped);
        QFETCH(QStringList, cells);
        ExportSetup s;
        Connection& config = *s.db.config;
        const QString j = joiner.isEmpty() ? QString() : QStringLiteral(" || '%1' ").arg(joiner);
        UseTestTemplates(config, TestTemplate1().replace(
                                     QStringLiteral("t5.FName as FCustName, "),
                                     QStringLiteral("t5.FName as FCustName, t5.FAddress%1 || t5.FPhone as "
                                                    "FCustAddrTel, t5.FBank%1 || t5.FAccount as FCustBank, ")
                                         .arg(j)));
        // The templates first: they take t_OtherInfo, which also holds the installed workbook template.
        const QString templ = s.out.filePath(QStringLiteral("template.xlsx"));
        WriteFile(templ, BuildPlatformTemplate());
        InstallWorkbookTemplate(config, templ, QStringLiteral("平台模板"));
        MakeTestLink(config, 1, 0, QStringLiteral("~~"), {"FbillNo", "FCustName"}, {"FNote", "FAmount"},
                     {"发票流水号", "购买方名称", "项目名称", "金额"});
        config.Execute(QStringLiteral("update t_BaseInfo set FFormat='xlsx'"));
        for (const QString& m : mapped) {
            const QString heading = m.section(u'=', 0, 0), qor = m.section(u'=', 1);
            const bool formula = qor.startsWith(u'=');
            config.Execute(
                QStringLiteral(
                    "insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                    "(1, (select Fid from t_TaxField where Fname=? and FFormat='xlsx'), ?, ?, 1)"),
                {heading, formula,
                 formula ? QStringLiteral("x|") + qor.mid(1) + QStringLiteral("|[公式]") : qor});
        }
        s.db.acct->Execute(QStringLiteral("update t_Organization set FAddress='杭州市文三路100号', "
                                          "FPhone='0571-88886666', FBank='工商银行文三支行', "
                                          "FAccount='1202021209900012345' where FItemID=1"));
        const QString path = s.out.filePath(QStringLiteral("拆分.xlsx"));
        RecorderSink sink;
        clsSaveDataExport exporter(s.db.session);
        QVERIFY2(exporter.ExportToTxT(path, kDay, "1"), qPrintable(sink.texts().join(u'\n')));
        QCOMPARE(sink.texts(), QStringList{});
        XlsxReader book(path);
        const QList<XlsxRow> head = book.rows(*book.sheet(kHeadSheetName));
        QCOMPARE(head.size(), 4); // notes, limits, headings and ZP01
        auto column = [&head](const QString& heading) {
            for (const XlsxCell& c : head[2].cells)
                if (c.text.simplified() == heading) return c.column;
            return -1;
        };
        QStringList seen;
        for (const char* h : {"购买方地址", "购买方电话", "购买方开户银行", "购买方银行账号"})
            seen << head[3].text(column(h));
        QCOMPARE(seen, cells);
        QCOMPARE(head[3].text(column(QStringLiteral("发票流水号"))), QStringLiteral("ZP01"));
    }

    // A workbook export over the platform's 2,000 rows: numbered files of whole invoices beside the target,
    // a message that says how many, and the target itself left alone.
    void workbookInSeveralFiles() {
        ExportSetup s;
        const QString templ = s.out.filePath(QStringLiteral("template.xlsx"));
        WriteFile(templ, BuildPlatformTemplate());
        InstallWorkbookTemplate(*s.db.config, templ, QStringLiteral("平台模板"));
        MakeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "FCustName"}, {"FNote", "FAmount"},
                     {"发票流水号", "购买方名称", "项目名称", "金额"});
        s.db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat='xlsx'"));
        {
            TransactionGuard tx(*s.db.acct);
            const QList<TestLine> lines(1500, TestLine{1, 2.5, QStringLiteral("货")});
            AddInvoice(*s.db.acct, 9, QStringLiteral("ZP09"), QStringLiteral("2025-03-01"), 80, lines);
            AddInvoice(*s.db.acct, 10, QStringLiteral("ZP10"), QStringLiteral("2025-03-01"), 80,
                       lines.mid(0, 600));
            tx.commit();
        }
        const QString path = s.out.filePath(QStringLiteral("月结.xlsx"));
        WriteOld(path);
        RecorderSink sink;
        clsSaveDataExport exporter(s.db.session);
        QVERIFY(exporter.ExportToTxT(path, Conditions({"2025-03-01", "2025-03-01"}), "1"));
        QCOMPARE(sink.texts(),
                 QStringList{QStringLiteral(
                     "电子发票平台每个工作簿最多导入2000行明细，已分为2个文件：月结-1.xlsx、月结-2.xlsx。")});
        QCOMPARE(exporter.WrittenFiles().size(), 2);
        QCOMPARE(FileBytes(path), QByteArray("OLD\r\n"));
        const QList<int> rows{1500, 600};
        for (int i = 0; i < 2; ++i) {
            XlsxReader book(exporter.WrittenFiles()[i]);
            const QList<XlsxRow> detail = book.rows(*book.sheet(kDetailSheetName));
            QCOMPARE(detail.size(), 3 + rows[i]);
            QCOMPARE(detail.last().text(0) + u'|' + detail.last().text(1) + u'|' + detail.last().text(7),
                     (i ? QStringLiteral("ZP10") : QStringLiteral("ZP09")) + QStringLiteral("|货|2.50"));
        }
    }
};

QTEST_GUILESS_MAIN(TestExportEngine)
#include "test_export_engine.moc"
