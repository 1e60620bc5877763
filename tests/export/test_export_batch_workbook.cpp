// taxferry-batch export to the platform's workbook.
#include "test_export_batch.h"
#include <QDir>

// Over the platform's 2,000 detail rows the workbook comes in numbered files, and both the message and
// the batch tool's stdout say how many.
void TestExportBatch::workbookInSeveralFiles() {
    TestDatabases db;
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
    installPlatformTemplate(db);
    if (QTest::currentTestFailed()) return;
    addTaxCodes(db);
    // 2,000 more lines for the first invoice, copies of its first.
    const RecordsetPtr first = db.acct->query(QStringLiteral(
        "select * from ICSaleEntry where FInterID=(select FInterID from ICSale where FBillNo='ZP000001') "
        "order by FEntryID"));
    QStringList columns;
    for (const FieldInfo& f : first->fields())
        columns << f.name;
    int entry = -1; // servers give the names in their own case
    for (int c = 0; c < columns.size(); ++c)
        if (columns[c].compare(u"FEntryID", Qt::CaseInsensitive) == 0) entry = c;
    QVERIFY(entry >= 0);
    const QString insert =
        QStringLiteral("insert into ICSaleEntry (%1) values (%2)")
            .arg(columns.join(u','), QStringList(columns.size(), QStringLiteral("?")).join(u','));
    {
        TransactionGuard tx(*db.acct);
        for (int k = 1; k <= 2000; ++k) {
            QVariantList values = first->allRows().first();
            values[entry] = 100 + k;
            db.acct->exec(insert, values);
        }
        tx.commit();
    }
    const QString out = db.folder() + QStringLiteral("/out.xlsx");
    const BatchRun r = exportLink1(db, out, {});
    QCOMPARE(r.err, QStringLiteral("电子发票平台每个工作簿最多导入2000行明细，已分为2个文件：out-1.xlsx、"
                                   "out-2.xlsx。\n引出成功！\n"));
    QCOMPARE(r.out.section(u'\n', 1), QStringLiteral("引出文件2个：out-1.xlsx、out-2.xlsx\n"));
    QCOMPARE(r.exitCode, "0");
    QVERIFY(!QFile::exists(out));
    int rows = 0;
    for (const QString& name : {QStringLiteral("out-1.xlsx"), QStringLiteral("out-2.xlsx")}) {
        XlsxReader book(db.folder() + u'/' + name);
        rows += int(book.rows(*book.sheet(kDetailSheetName)).size()) - 3;
    }
    QCOMPARE(rows, 2010);
}

// A layout installed by an earlier version, without the template file: the export asks for the
// template again and writes nothing.
void TestExportBatch::workbookWithoutTemplateFile() {
    TestDatabases db;
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
    db.config->exec(
        QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('WorkbookLayout', ?)"),
        {QStringLiteral(
            R"({"detail":{"columns":[{"heading":"发票流水号","value":"发票流水号"},)"
            R"({"heading":"项目名称","value":"货物名称"}],"headerRow":1,"sheet":"明细"},)"
            R"("detailFirst":false,"head":{"columns":[{"heading":"发票流水号","value":"发票流水号"},)"
            R"({"heading":"购买方名称","value":"购方名称"}],"headerRow":1,"sheet":"发票"}})")});
    const QString out = db.folder() + QStringLiteral("/out.xlsx");
    const BatchRun r = exportLink1(db, out, {});
    QCOMPARE(r.err, QStringLiteral(
                        "已读取的电子发票平台模板没有保存模板文件，请在关联设置中重新读取平台模板（读取平台"
                        "模板），引出失败！\n"));
    QCOMPARE(r.exitCode, "1");
    QVERIFY(!QFile::exists(out));
}

// A template whose XML expands entities a hundred-thousandfold is refused in Chinese; what the parser said
// follows under 详细信息.
void TestExportBatch::templateWithEntities() {
    TestDatabases db;
    QString entities = QStringLiteral("<!ENTITY a \"aaaaaaaaaa\">");
    for (const char* e : {"b", "c", "d", "e"})
        entities += QStringLiteral("<!ENTITY %1 \"%2\">")
                        .arg(QLatin1String(e), (QStringLiteral("&") + QChar(e[0] - 1) + u';').repeated(10));
    const QString bomb = db.folder() + QStringLiteral("/bomb.xlsx");
    writeFile(bomb, buildXlsx({{QStringLiteral("1-发票基本信息"),
                                QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE worksheet [") + entities +
                                    QStringLiteral("]><worksheet><sheetData><row r=\"1\"><c r=\"A1\" "
                                                   "t=\"inlineStr\"><is><t>&e;</t></is></c></row></sheetData>"
                                                   "</worksheet>")}}));
    QProcess t;
    t.start(QStringLiteral(TAXFERRY_BATCH), {"template", bomb, "--config", db.configPath});
    QVERIFY(t.waitForFinished(120000));
    const QStringList err = QString::fromUtf8(t.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(err.value(0),
             QStringLiteral("读取平台模板失败：文件“%1”中的“xl/worksheets/sheet1.xml”不是有效的XML（"
                            "已损坏，或含有工作簿不应有的实体定义），无法读取。")
                 .arg(QDir::toNativeSeparators(bomb)));
    QVERIFY2(err.value(1).startsWith(QStringLiteral("详细信息:")) && err.value(1).size() > 6,
             qPrintable(err.value(1)));
    QCOMPARE(t.exitCode(), 1);
}

// A platform link writes the 单据号 at the start of 备注 within the template's limit, and records as each
// document's tax what the platform computes from the workbook's lines; the preview says where that
// differs from the sales invoice's own tax.
void TestExportBatch::platformRemarkAndTax() {
    TestDatabases db;
    installPlatformTemplate(db);
    addTaxCodes(db);
    const QString remarkField =
        db.config
            ->query(QStringLiteral("select Fid from t_TaxField where FFormat='xlsx' and FisHead=1 and "
                                   "Fname='备注'"))
            ->value(0)
            .toString();
    db.config->exec(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=1 and FTaxID=7"),
                    {remarkField.toInt()});
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx', FDocNoInRemark=1 where FID=1"));
    // A line whose own tax is a cent off what its amount and rate give.
    db.acct->exec(QStringLiteral("update ICSaleEntry set FTaxAmount=FTaxAmount+0.01 where FInterID=1001 "
                                 "and FEntryID=1"));
    const QString out = db.folder() + QStringLiteral("/out.xlsx");
    auto run = [&](const QStringList& extra) {
        const BatchRun r = exportLink1(db, out, extra);
        return QStringList{r.exitCode, r.out, r.err};
    };
    const QStringList preview = run({"--preview"});
    QCOMPARE(preview[0], "0");
    const QStringList notes = preview[1].section(QStringLiteral("合计"), 1).split(u'\n').mid(1);
    QVERIFY2(notes.size() > 1 && notes[0].startsWith(QStringLiteral("ZP000001\t")), qPrintable(preview[1]));
    for (const QString& n : notes.mid(0, notes.size() - 1))
        QVERIFY2(QRegularExpression(
                     QStringLiteral(
                         "^ZP\\d+\t平台按每行金额×税率计算的税额为[0-9.]+，与销售发票的税额[0-9.]+不同$"))
                     .match(n)
                     .hasMatch(),
                 qPrintable(n));
    const QStringList done = run({});
    QCOMPARE(done[0], "0");

    // The workbook: 备注 begins with the 发票流水号; the tax recorded is the platform's.
    XlsxReader book(out);
    auto rowsOf = [&](const QString& sheet) {
        QList<QHash<QString, QString>> rows;
        const QList<XlsxRow> all = book.rows(*book.sheet(sheet));
        for (const XlsxRow& r : all.mid(3)) {
            QHash<QString, QString> row;
            for (const XlsxCell& c : all[2].cells)
                row.insert(c.text, r.text(c.column));
            rows << row;
        }
        return rows;
    };
    const auto heads = rowsOf(QStringLiteral("1-发票基本信息"));
    QVERIFY(heads.size() > 3);
    for (const auto& h : heads)
        QVERIFY2(h.value("备注") == h.value("发票流水号") ||
                     h.value("备注").startsWith(h.value("发票流水号") + u' '),
                 qPrintable(h.value("备注")));
    auto cents = [](double v) { return decimalText(v, 2).remove(u'.').toLongLong(); };
    QHash<QString, qint64> taxes, amounts;
    for (const auto& l : rowsOf(QStringLiteral("2-发票明细信息"))) {
        const double rate = l.value("税率").toDouble();
        taxes[l.value("发票流水号")] +=
            cents(l.value("金额").toDouble() * rate) - cents(l.value("折扣金额").toDouble() * rate);
        amounts[l.value("发票流水号")] +=
            cents(l.value("金额").toDouble()) - cents(l.value("折扣金额").toDouble());
    }
    const RecordsetPtr ledger = db.acct->query(
        QStringLiteral("select FDocNo, FTax from TF_Ledger where FDirection=0 order by FDocNo"));
    QCOMPARE(ledger->recordCount(), heads.size());
    for (const QVariantList& row : ledger->allRows())
        QCOMPARE(std::llround(row[1].toDouble() * 100), taxes.value(row[0].toString()));

    // The platform issues them with the tax it computes and lists them with the 备注 as written: they are
    // written back by their 单据号, and the reconciliation finds their amounts as recorded.
    QList<ListRow> issued;
    for (const auto& h : heads)
        issued << issuedRow(N(int(issued.size()) + 1), amounts.value(h.value("发票流水号")) / 100.0,
                            taxes.value(h.value("发票流水号")) / 100.0, "", h.value("购买方名称"),
                            h.value("备注"));
    const QString list = db.folder() + QStringLiteral("/list.xlsx");
    writeFile(list, listWorkbook(kHeadings, issued));
    QProcess w;
    w.start(QStringLiteral(TAXFERRY_BATCH),
            {"writeback", list, "--acct", db.acctConnString(), "--config", db.configPath});
    QVERIFY(w.waitForFinished(120000));
    QCOMPARE(
        QString::fromUtf8(w.readAllStandardOutput()),
        QStringLiteral("回写数电发票%1张（按单据号%1张，按购方和金额0张），红冲0张。\n").arg(heads.size()));
    QProcess r;
    r.start(QStringLiteral(TAXFERRY_BATCH),
            {"reconcile", "--acct", db.acctConnString(), "--config", db.configPath});
    QVERIFY(r.waitForFinished(120000));
    const QStringList report = QString::fromUtf8(r.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(report.last().startsWith(QStringLiteral("合计\t已开票\t%1张\t").arg(heads.size())),
             qPrintable(report.join(u'\n')));

    // Past the template's limit for 备注 (here made 12 characters), nothing is written.
    QString layout =
        db.config->query(QStringLiteral("select FSQL from t_OtherInfo where Fkey='WorkbookLayout'"))
            ->value(0)
            .toString();
    const qsizetype at = layout.indexOf(QStringLiteral("\"heading\":\"备注\""));
    QVERIFY(at > 0);
    layout.replace(at, layout.indexOf(u'}', at) - at,
                   QStringLiteral("\"heading\":\"备注\",\"limit\":12,\"value\":\"备注\""));
    db.config->exec(QStringLiteral("update t_OtherInfo set FSQL=? where Fkey='WorkbookLayout'"), {layout});
    // Their tax invoices cancelled: the sales may go out again.
    db.acct->exec(QStringLiteral("update TF_Ledger set FState=1, FIssueState='已作废' where FDirection=0"));
    QFile::remove(out);
    const QStringList refused = run({"--include-exported"});
    QCOMPARE(refused[0], "1");
    QVERIFY2(
        refused[2].startsWith(QStringLiteral("单据“ZP000004”的备注加上单据号后是“ZP000004 对应正数发票代码")),
        qPrintable(refused[2]));
    QVERIFY(refused[2].contains(QStringLiteral("超过12个字符的限制，引出失败！")));
    QVERIFY(!QFile::exists(out));

    // A link that maps no 备注 has the 单据号 written there all the same.
    db.config->exec(QStringLiteral("delete from t_Detail where FBaseInfoID=1 and FTaxID=?"),
                    {remarkField.toInt()});
    QCOMPARE(run({"--include-exported"})[0], "0");
    XlsxReader again(out);
    const QList<XlsxRow> rows = again.rows(*again.sheet(QStringLiteral("1-发票基本信息")));
    int key = -1, remark = -1;
    for (const XlsxCell& c : rows[2].cells) {
        if (c.text == u"发票流水号") key = c.column;
        if (c.text == u"备注") remark = c.column;
    }
    QVERIFY(key >= 0 && remark >= 0 && rows.size() > 3);
    for (const XlsxRow& r : rows.mid(3))
        QCOMPARE(r.text(remark), r.text(key));
}
