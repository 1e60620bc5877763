// The export engine to the text file: the rows written, the limits that split invoices, the counts.
#include "test_export_engine.h"

namespace {
const QString kRed = QStringLiteral("对应正数发票代码1111111111号码11111111");
} // namespace

// One export per row. A refusal shows exactly its notice and leaves the earlier file as it was,
// with no temporary file; a success replaces it, with CR LF after every line, the last included.
void TestExportEngine::testExportFile_data() {
    QTest::addColumn<Case>("c");
    const QString all = conditions({}), none = conditions({"2030-01-01"}), syntax = "语法错误，引出失败！";
    QTest::newRow("separator ~~") << Case{
        .conditions = conditions({"2026-01-01", "2026-01-31"}),
        .lines = {"SJJK0101~~销售单据传入", "ZP01~~2~~客户甲~~~~20260108~~说明", "2~~1130.5~~甲~~2026-01-08",
                  "1~~0.13~~~~2026-01-08", "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~",
                  "3~~30~~乙~~2026-01-20"}};
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
    QTest::newRow("date range") << Case{.conditions = conditions({"2026-01-01", "2026-01-15"}),
                                        .bills = {"ZP01"}};
    QTest::newRow("invoice number with a quote filters literally")
        << Case{.conditions = conditions({"", "", "ZP'03", "ZP'03"}), .bills = {"ZP'03"}};
    QTest::newRow("customer code range")
        << Case{.conditions = conditions({"", "", "", "", "C02", "C02"}), .bills = {"ZP02"}};
    // Placeholders and the memo item match in any case; everything else keeps the case it was written in.
    QTest::newRow("template case is kept")
        << Case{.conditions = conditions({"2026-01-20", "2026-01-20"}),
                .sql = "config:update t_OtherInfo set FSQL=replace(replace(replace(FSQL, '{filter0}', "
                       "'{FILTER0}'), ''''' as fmemo', ''''' AS FMemo'), 't1.FExplanation as FExpl', "
                       "'''MixedCase'' as FExpl') where Fkey='tbl1'",
                .lines = {"SJJK0101~~销售单据传入", "ZP02~~1~~客户乙~~" + kRed + "~~20260120~~MixedCase",
                          "3~~30~~乙~~2026-01-20"}};
    QTest::newRow("a quote cannot change the statement")
        << Case{.conditions = conditions({"", "", "ZP01' or '1'='1", "ZP01' or '1'='1"}),
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
    QTest::newRow("accounting set cannot be opened")
        << Case{.sql = "acct:!",
                .message = "调用(GetRs)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“@/none.db”。"};
    QTest::newRow("template with a syntax error")
        << Case{.sql = "config:update t_OtherInfo set FSQL='select from where {filter0}' where Fkey='tbl1'",
                .message = syntax};
    QTest::newRow("missing second template")
        << Case{.sql = "config:delete from t_OtherInfo where Fkey='tbl2'", .message = syntax};
    QTest::newRow("failing body formula") << Case{.body = {"FQty", "=no_such_column*2"}, .message = syntax};
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

void TestExportEngine::testExportFile() {
    QFETCH(Case, c);
    ExportSetup s;
    makeTestLink(*s.db.config, 1, c.type, c.sep, c.head, c.body);
    if (c.sql == u"acct:!")
        s.db.session.gsAcctProps =
            QStringLiteral("{Provider=SQLite;Data Source=%1/none.db}").arg(s.out.path());
    else if (!c.sql.isEmpty())
        (c.sql.startsWith(u'c') ? s.db.config : s.db.acct)->exec(c.sql.section(u':', 1));
    writeOld(s.path);
    RecorderSink sink;
    const bool ok = c.message.isEmpty();
    QCOMPARE(ExportEngine(s.db.session).exportFile(s.out.filePath(c.target), c.conditions, c.linkId), ok);
    QStringList texts = sink.texts();
    if (!texts.isEmpty())
        texts.last().remove(QRegularExpression(QStringLiteral("（[^（]*）$"))); // system's reason
    QCOMPARE(texts, ok ? QStringList() : QStringList{c.message.replace(u'@', s.out.path())});
    if (!c.lines.isEmpty()) QCOMPARE(readGbkFile(s.path), c.lines);
    if (!c.bills.isEmpty()) QCOMPARE(s.headBills(), c.bills);
    const QByteArray bytes = fileBytes(s.path);
    QCOMPARE(bytes == "OLD\r\n", !ok);
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\n"), bytes.count("\r\n"));
    QCOMPARE(QDir(s.out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"out.txt"});
}

// An invoice over the link's limits goes out in pieces, in line order, each within both limits and
// with its own number and line count; the preview shows the same documents and writes nothing; the
// ledger records every piece and the next export leaves the invoice out.
void TestExportEngine::limitsSplitInvoices_data() {
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
        << -2 << 0.0 << false << QStringList{"ZP09-1:1:400", "ZP09-2:1:300", "ZP09-3:1:500", "ZP09-4:2:300"};
    QTest::newRow("discounted lines and the sales list")
        << -4 << 0.0 << true << QStringList{"ZP09:5:1500:list"};
}

void TestExportEngine::limitsSplitInvoices() {
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
    makeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "Frows", "FCustName", "=''"}, body,
                 names);
    s.db.config->exec(QStringLiteral("update t_BaseInfo set FMaxLines=?, FMaxAmount=?, FUseList=?"),
                      {maxLines, maxAmount, useList ? 1 : 0});
    addInvoice(*s.db.acct, 9, QStringLiteral("ZP09"), QStringLiteral("2025-03-01"), 80,
               {{1, 400, "a"}, {1, 300, "b"}, {1, 500, "c"}, {1, 200, "d"}, {1, 100, "e"}});
    const QString day = conditions({"2025-03-01", "2025-03-01"});
    RecorderSink sink;
    const bool refused = docs.first().startsWith(u'!');
    // The preview first: what it shows is what the export then writes.
    ExportEngine preview(s.db.session);
    preview.setPreview(true);
    QCOMPARE(preview.exportFile(s.path, day, "1"), !refused);
    QVERIFY(!QFile::exists(s.path));
    if (refused) {
        QCOMPARE(sink.texts(), QStringList{docs.first().mid(1)});
        return;
    }
    QStringList previewed;
    for (const ExportDoc& d : preview.preview())
        previewed << QStringLiteral("%1:%2:%3").arg(d.docNo).arg(d.lines).arg(d.amount);
    ExportEngine exporter(s.db.session);
    QVERIFY(exporter.exportFile(s.path, day, "1"));
    const QStringList lines = readGbkFile(s.path).mid(1);
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
        if (head.value(3) == salesListName()) doc += QStringLiteral(":list");
        QVERIFY2(head.value(3).isEmpty() || head.value(3) == salesListName(), qPrintable(lines[i]));
        written << doc;
        i += n + 1;
    }
    QCOMPARE(written, docs);
    QCOMPARE(notes, (QStringList{"a", "b", "c", "d", "e"}));
    for (QString& d : docs)
        d.remove(QStringLiteral(":list"));
    QCOMPARE(previewed, docs);
    QCOMPARE(exporter.lastCounts().invoices, int(docs.size()));
    QCOMPARE(exporter.lastCounts().lines, 5);
    const RecordsetPtr ledger = s.db.acct->query(
        QStringLiteral("select FBillNo, FDocNo, FInterID from TF_Ledger where FDirection=0 order by FDocNo"));
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
    QVERIFY(!ExportEngine(s.db.session).exportFile(s.path, day, "1"));
    QCOMPARE(sink.texts(), QStringList{"所选的1张发票均已引出过，本次未引出。"});
}

// Invoices that crossed over before stay out, and the message says how many of each kind; when nothing
// is left, the proof says the same before anything is written.
void TestExportEngine::leftOutCounts_data() {
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
    QTest::newRow("one from the tax system") << "ZP02:1" << true << "已有1张发票由税控系统引入，本次未引出。";
    QTest::newRow("a cancelled row stands for nothing")
        << "ZP01:0:1,ZP02:1" << true << "已有1张发票由税控系统引入，本次未引出。";
}

void TestExportEngine::leftOutCounts() {
    QFETCH(QString, ledger);
    QFETCH(bool, written);
    QFETCH(QString, message);
    ExportSetup s;
    Ledger::ensure(*s.db.acct);
    for (const QString& row : ledger.split(u',')) {
        const QStringList f = row.split(u':');
        s.db.acct->exec(
            QStringLiteral("insert into TF_Ledger (FBillNo, FDirection, FState) values ('%1', %2, %3)")
                .arg(f.value(0), f.value(1), f.value(2, QStringLiteral("0"))));
    }
    for (bool preview : {true, false}) {
        RecorderSink sink;
        ExportEngine exporter(s.db.session);
        exporter.setPreview(preview);
        QCOMPARE(exporter.exportFile(s.path, conditions({"2026-01-01", "2026-01-31"}), "1"), written);
        // A proof that writes shows what it leaves out in its own list.
        QCOMPARE(sink.texts(), preview && written ? QStringList() : QStringList{message});
        QCOMPARE(QFileInfo::exists(s.path), written && !preview);
    }
}

QTEST_GUILESS_MAIN(TestExportEngine)
