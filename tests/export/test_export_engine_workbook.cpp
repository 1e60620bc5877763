// The export engine to the platform's workbook.
#include "test_export_engine.h"

// The workbook's address / phone and bank / account columns come from the accounting set's joined
// 购方地址电话 and 购方银行帐号, split before the number, unless the link fills a column itself.
void TestExportEngine::workbookSplitColumns_data() {
    QTest::addColumn<QString>("joiner");     // between the name and the number in the joined fields
    QTest::addColumn<QStringList>("mapped"); // heading=FQORField ("=" a formula's SQL), beyond the base
    QTest::addColumn<QStringList>("cells"); // 购买方地址, 购买方电话, 购买方开户银行, 购买方银行账号
    const QStringList split{"杭州市文三路100号", "0571-88886666", "工商银行文三支行", "1202021209900012345"};
    QTest::newRow("not mapped") << " " << QStringList{} << split;
    QTest::newRow("not mapped, joined without a blank") << "" << QStringList{} << split;
    QTest::newRow("mapped to the joined fields")
        << " " << QStringList{"购买方地址=5", "购买方电话=5", "购买方开户银行=6", "购买方银行账号=6"}
        << split;
    QTest::newRow("columns the link fills itself")
        << " " << QStringList{"购买方地址=='自提'", "购买方银行账号=='62220000'"}
        << QStringList{"自提", "0571-88886666", "工商银行文三支行", "62220000"};
}

void TestExportEngine::workbookSplitColumns() {
    QFETCH(QString, joiner);
    QFETCH(QStringList, mapped);
    QFETCH(QStringList, cells);
    ExportSetup s;
    Connection& config = *s.db.config;
    const QString j = joiner.isEmpty() ? QString() : QStringLiteral(" || '%1' ").arg(joiner);
    useTestTemplates(config, testTemplate1().replace(
                                 QStringLiteral("t5.FName as FCustName, "),
                                 QStringLiteral("t5.FName as FCustName, t5.FAddress%1 || t5.FPhone as "
                                                "FCustAddrTel, t5.FBank%1 || t5.FAccount as FCustBank, ")
                                     .arg(j)));
    // The templates first: they take t_OtherInfo, which also holds the installed workbook template.
    const QString templ = s.out.filePath(QStringLiteral("template.xlsx"));
    writeFile(templ, buildPlatformTemplate());
    installWorkbookTemplate(config, templ, QStringLiteral("平台模板"));
    makeTestLink(config, 1, 0, QStringLiteral("~~"), {"FbillNo", "FCustName"}, {"FNote", "FAmount"},
                 {"发票流水号", "购买方名称", "项目名称", "金额"});
    config.exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx'"));
    for (const QString& m : mapped) {
        const QString heading = m.section(u'=', 0, 0), qor = m.section(u'=', 1);
        const bool formula = qor.startsWith(u'=');
        config.exec(QStringLiteral(
                        "insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                        "(1, (select Fid from t_TaxField where Fname=? and FFormat='xlsx'), ?, ?, 1)"),
                    {heading, formula,
                     formula ? QStringLiteral("x|") + qor.mid(1) + QStringLiteral("|[公式]") : qor});
    }
    s.db.acct->exec(QStringLiteral("update ICSaleEntry set FNote='乙' where FNote is null"));
    addTestTaxCodes(config, {QStringLiteral("甲"), QStringLiteral("乙")});
    s.db.acct->exec(QStringLiteral("update t_Organization set FAddress='杭州市文三路100号', "
                                   "FPhone='0571-88886666', FBank='工商银行文三支行', "
                                   "FAccount='1202021209900012345' where FItemID=1"));
    const QString path = s.out.filePath(QStringLiteral("拆分.xlsx"));
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    QVERIFY2(exporter.exportFile(path, kDay, "1"), qPrintable(sink.texts().join(u'\n')));
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

namespace {
// Link 1 to the platform's template: 发票流水号, 购买方名称; 项目名称, 金额; the catalogue knows 货.
void useWorkbookLink(ExportSetup& s) {
    const QString templ = s.out.filePath(QStringLiteral("template.xlsx"));
    writeFile(templ, buildPlatformTemplate());
    installWorkbookTemplate(*s.db.config, templ, QStringLiteral("平台模板"));
    makeTestLink(*s.db.config, 1, 0, QStringLiteral("~~"), {"FbillNo", "FCustName"}, {"FNote", "FAmount"},
                 {"发票流水号", "购买方名称", "项目名称", "金额"});
    s.db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx'"));
    addTestTaxCodes(*s.db.config, {QStringLiteral("货")});
}

// Invoices of one day, each with that many lines of 货.
void addDay(ExportSetup& s, int& interId, const QString& day, const QList<int>& lineCounts) {
    TransactionGuard tx(*s.db.acct);
    for (const int n : lineCounts) {
        ++interId;
        addInvoice(*s.db.acct, interId, QStringLiteral("ZP%1").arg(interId), day, 80,
                   QList<TestLine>(n, TestLine{1, 2.5, QStringLiteral("货")}));
    }
    tx.commit();
}

// File names without their folder, in name order.
QStringList namesIn(const QTemporaryDir& dir, const QString& pattern) {
    return QDir(dir.path()).entryList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

// A workbook export over the platform's 2,000 rows: numbered files of whole invoices beside the target,
// a message that says how many, and the target itself left alone.
void TestExportEngine::workbookInSeveralFiles() {
    ExportSetup s;
    useWorkbookLink(s);
    {
        TransactionGuard tx(*s.db.acct);
        const QList<TestLine> lines(1500, TestLine{1, 2.5, QStringLiteral("货")});
        addInvoice(*s.db.acct, 9, QStringLiteral("ZP09"), QStringLiteral("2025-03-01"), 80, lines);
        addInvoice(*s.db.acct, 10, QStringLiteral("ZP10"), QStringLiteral("2025-03-01"), 80,
                   lines.mid(0, 600));
        tx.commit();
    }
    const QString path = s.out.filePath(QStringLiteral("月结.xlsx"));
    writeOld(path);
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    QVERIFY(exporter.exportFile(path, conditions({"2025-03-01", "2025-03-01"}), "1"));
    QCOMPARE(sink.texts(),
             QStringList{QStringLiteral(
                 "电子发票平台每个工作簿最多导入2000行明细，已分为2个文件：月结-1.xlsx、月结-2.xlsx。")});
    QCOMPARE(exporter.writtenFiles().size(), 2);
    QCOMPARE(fileBytes(path), QByteArray("OLD\r\n"));
    const QList<int> rows{1500, 600};
    for (int i = 0; i < 2; ++i) {
        XlsxReader book(exporter.writtenFiles()[i]);
        const QList<XlsxRow> detail = book.rows(*book.sheet(kDetailSheetName));
        QCOMPARE(detail.size(), 3 + rows[i]);
        QCOMPARE(detail.last().text(0) + u'|' + detail.last().text(1) + u'|' + detail.last().text(7),
                 (i ? QStringLiteral("ZP10") : QStringLiteral("ZP09")) + QStringLiteral("|货|2.50"));
    }
}

// Exporting to a name again replaces the files an earlier export to it wrote, in one file or in parts,
// once the new ones are in place; files the program did not write stay. Each ledger row names the file
// its invoice is in.
void TestExportEngine::workbookReplacesEarlierFiles_data() {
    QTest::addColumn<QString>("earlier");   // the earlier export's target
    QTest::addColumn<QList<int>>("before"); // lines per invoice of the earlier export
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("files"); // the new export's, by invoice
    QTest::newRow("one file, then two")
        << "月结.xlsx" << QList<int>{1} << QList<int>{1500, 600} << QStringList{"月结.xlsx"}
        << QStringList{"月结-1.xlsx", "月结-2.xlsx"};
    QTest::newRow("two files, then one")
        << "月结.xlsx" << QList<int>{1500, 600} << QList<int>{1} << QStringList{"月结-1.xlsx", "月结-2.xlsx"}
        << QStringList{"月结.xlsx"};
    QTest::newRow("three files, then two")
        << "月结.xlsx" << QList<int>{1500, 1500, 1500} << QList<int>{1500, 400, 600}
        << QStringList{"月结-3.xlsx"} << QStringList{"月结-1.xlsx", "月结-1.xlsx", "月结-2.xlsx"};
    QTest::newRow("one file, then one")
        << "月结.xlsx" << QList<int>{2} << QList<int>{3} << QStringList{} << QStringList{"月结.xlsx"};
    // An export to 月结-1.xlsx itself is no part of one to 月结.xlsx.
    QTest::newRow("another name that looks like a part")
        << "月结-1.xlsx" << QList<int>{2} << QList<int>{3} << QStringList{} << QStringList{"月结.xlsx"};
}

void TestExportEngine::workbookReplacesEarlierFiles() {
    QFETCH(QString, earlier);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    QFETCH(QStringList, removed);
    QFETCH(QStringList, files);
    ExportSetup s;
    useWorkbookLink(s);
    int interId = 100;
    addDay(s, interId, QStringLiteral("2025-01-31"), before);
    const int firstOfAfter = interId + 1;
    addDay(s, interId, QStringLiteral("2025-02-28"), after);
    // Beside them, files of the same pattern that no export wrote.
    for (const char* other : {"月结-9.xlsx", "月结-x.xlsx", "月结.xlsx.bak"})
        writeOld(s.out.filePath(QString::fromUtf8(other)));
    const QString path = s.out.filePath(QStringLiteral("月结.xlsx"));
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    QVERIFY2(exporter.exportFile(s.out.filePath(earlier), conditions({"2025-01-31", "2025-01-31"}), "1"),
             qPrintable(sink.texts().join(u'\n')));
    sink.clear();
    QVERIFY2(exporter.exportFile(path, conditions({"2025-02-28", "2025-02-28"}), "1"),
             qPrintable(sink.texts().join(u'\n')));
    const QString removedText =
        QStringLiteral("已删除此前引出到同一文件名的旧文件：%1。").arg(removed.join(QStringLiteral("、")));
    QCOMPARE(sink.texts().contains(removedText), !removed.isEmpty());
    QCOMPARE(sink.texts().filter(QStringLiteral("已删除")).size(), removed.isEmpty() ? 0 : 1);
    QStringList expected = files + QStringList{"月结-9.xlsx", "月结-x.xlsx", "月结.xlsx.bak"};
    // An export to another name keeps its file.
    if (earlier != u"月结.xlsx") expected << earlier;
    expected.removeDuplicates();
    expected.sort();
    QCOMPARE(namesIn(s.out, QStringLiteral("月结*")), expected);
    for (int i = 0; i < after.size(); ++i) {
        const RecordsetPtr rs =
            s.db.acct->query(QStringLiteral("select FFileName from TF_Ledger where FBillNo=?"),
                             {QStringLiteral("ZP%1").arg(firstOfAfter + i)});
        QCOMPARE(QFileInfo(rs->value(0).toString()).fileName(), files[i]);
    }
}

// A file that cannot be removed is named in a warning; the export stands, the others go.
void TestExportEngine::workbookEarlierFileKept() {
    ExportSetup s;
    useWorkbookLink(s);
    int interId = 100;
    addDay(s, interId, QStringLiteral("2025-01-31"), {1500, 600});
    addDay(s, interId, QStringLiteral("2025-02-28"), {1});
    const QString path = s.out.filePath(QStringLiteral("月结.xlsx"));
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    QVERIFY(exporter.exportFile(path, conditions({"2025-01-31", "2025-01-31"}), "1"));
    // Held where it cannot go: a folder in the place of the second part.
    const QString second = s.out.filePath(QStringLiteral("月结-2.xlsx"));
    QVERIFY(QFile::remove(second));
    QVERIFY(QDir().mkpath(second + QStringLiteral("/内容")));
    sink.clear();
    QVERIFY(exporter.exportFile(path, conditions({"2025-02-28", "2025-02-28"}), "1"));
    QCOMPARE(
        sink.texts(),
        (QStringList{QStringLiteral("此前引出的文件%1未能删除（可能正被其他程序打开），请手工删除，以免重复"
                                    "导入。")
                         .arg(QDir::toNativeSeparators(QFileInfo(second).absoluteFilePath())),
                     QStringLiteral("已删除此前引出到同一文件名的旧文件：月结-1.xlsx。")}));
    QCOMPARE(namesIn(s.out, QStringLiteral("月结*")), (QStringList{"月结-2.xlsx", "月结.xlsx"}));
}

// The platform requires 商品和服务税收编码: a line whose product the catalogue does not know is refused,
// by the preview as by the export, naming invoice, line and product; nothing is written.
void TestExportEngine::workbookWithoutTaxCode_data() {
    QTest::addColumn<bool>("preview");
    QTest::newRow("export") << false;
    QTest::newRow("preview") << true;
}

void TestExportEngine::workbookWithoutTaxCode() {
    QFETCH(bool, preview);
    ExportSetup s;
    useWorkbookLink(s);
    {
        TransactionGuard tx(*s.db.acct);
        addInvoice(*s.db.acct, 9, QStringLiteral("ZP09"), QStringLiteral("2025-03-01"), 80,
                   {{1, 2.5, QStringLiteral("货")}, {1, 3, QStringLiteral("无码货")}});
        tx.commit();
    }
    const QString path = s.out.filePath(QStringLiteral("缺码.xlsx"));
    RecorderSink sink;
    ExportEngine exporter(s.db.session);
    exporter.setPreview(preview);
    QVERIFY(!exporter.exportFile(path, conditions({"2025-03-01", "2025-03-01"}), "1"));
    QCOMPARE(sink.texts(),
             QStringList{QStringLiteral("发票“ZP09”第2行的商品“无码货”没有税收分类编码（平台模板的"
                                        "“商品和服务税收编码”必填），引出失败！")});
    QVERIFY(!QFile::exists(path));
    QVERIFY(!Ledger::exists(*s.db.acct) ||
            s.db.acct->query(QStringLiteral("select count(*) from TF_Ledger"))->value(0).toInt() == 0);
}
