// Older configuration databases and ledgers brought up to date.
#include "test_common.h"

void TestCommon::oldConfigFileGainsTheNewColumns() {
    // A Taxlink.db of before the per-link limits: its links stay as they are, the new columns empty.
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    runSqlScript(*c, QStringLiteral(
                         "create table t_BaseInfo (FID INTEGER PRIMARY KEY, FName TEXT, FInvioceType "
                         "INTEGER, FSeperator TEXT, FMemo TEXT, FDate TEXT, FInOrOut TEXT);"
                         "insert into t_BaseInfo values (1, '专用发票', 0, '~~', '备注', '2020-01-01', '0');"
                         "insert into t_BaseInfo values (7, '我的关联', 2, '|', '', '2021-05-06', '0');"
                         "create table t_TaxField (Fid INTEGER PRIMARY KEY, Fname TEXT, FFieldType TEXT, "
                         "FisHead BOOLEAN); insert into t_TaxField values (1, '单据号', '1', 1);"));
    upgradeConfigSchema(*c);
    upgradeConfigSchema(*c); // again: nothing more to do
    const RecordsetPtr rs = c->query(QStringLiteral("select FID, FName, FSeperator, FMaxLines, FMaxAmount, "
                                                    "FUseList, FFormat, FPrefixShortName, FMergeBuyer, "
                                                    "FMergeLines from t_BaseInfo order by FID"));
    QCOMPARE(rs->recordCount(), 2);
    QCOMPARE(rs->allRows()[1].mid(0, 3), (QVariantList{7, QStringLiteral("我的关联"), QStringLiteral("|")}));
    for (const QVariantList& row : rs->allRows())
        for (int c = 3; c < row.size(); ++c)
            QVERIFY(row[c].isNull());
    QCOMPARE(c->query(QStringLiteral("select Fname || '/' || coalesce(FFormat, '') from t_TaxField"))
                 ->value(0)
                 .toString(),
             QStringLiteral("单据号/"));
    // The program's own tables of later versions are there, empty.
    QCOMPARE(c->query(QStringLiteral("select count(*) from t_PlatformTemplate"))->value(0).toInt(), 0);
    c->exec(QStringLiteral("update t_BaseInfo set FMaxLines=8, FMaxAmount=99999.99, FUseList=1 where FID=7"));
    QCOMPARE(c->query(QStringLiteral("select FMaxAmount from t_BaseInfo where FID=7"))->value(0).toDouble(),
             99999.99);
}

void TestCommon::platformLinksGainTheDocNoInRemark() {
    // A Taxlink.db with links of every format: the platform's write the 单据号 into 备注 from now on.
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    runSqlScript(
        *c,
        QStringLiteral("create table t_BaseInfo (FID INTEGER PRIMARY KEY, FName TEXT, FInvioceType "
                       "INTEGER, FSeperator TEXT, FMemo TEXT, FDate TEXT, FInOrOut TEXT, FFormat TEXT);"
                       "insert into t_BaseInfo values (1, '专用发票', 0, '~~', '', '2020-01-01', '0', null);"
                       "insert into t_BaseInfo values (2, '平台', 0, '', '', '2026-01-01', '0', 'xlsx');"
                       "insert into t_BaseInfo values (3, 'XML', 2, '', '', '2026-01-01', '0', 'xml');"));
    upgradeConfigSchema(*c);
    c->exec(QStringLiteral("update t_BaseInfo set FDocNoInRemark=0 where FID=2"));
    upgradeConfigSchema(*c); // again: the user's choice stays
    QCOMPARE(c->query(QStringLiteral("select group_concat(FID || '=' || FDocNoInRemark) from t_BaseInfo"))
                 ->value(0)
                 .toString(),
             QStringLiteral("1=0,2=0,3=0"));
    c->exec(QStringLiteral("alter table t_BaseInfo drop column FDocNoInRemark"));
    upgradeConfigSchema(*c);
    QCOMPARE(c->query(QStringLiteral("select group_concat(FID || '=' || FDocNoInRemark) from t_BaseInfo"))
                 ->value(0)
                 .toString(),
             QStringLiteral("1=0,2=1,3=0"));
}

void TestCommon::earlierImportLayoutIsSwitched_data() {
    QTest::addColumn<QString>("change"); // applied to the earlier factory layout first
    QTest::addColumn<bool>("switched");
    QTest::newRow("earlier factory layout") << QString() << true;
    QTest::newRow("a field renamed")
        << "update t_ImportField set FFieldDesc='购方' where FFieldDesc='购方名称'" << false;
    QTest::newRow("a value list changed")
        << "update t_ImportField set FValidValue='0,1,2' where FFieldDesc='作废标识'" << false;
    QTest::newRow("a field added") << "insert into t_ImportField values ('附加', 1, 17, 0, '0', '')" << false;
    QTest::newRow("the order changed")
        << "update t_ImportField set Forder=30 where FFieldDesc='备注' and FisHead=1" << false;
}

void TestCommon::earlierImportLayoutIsSwitched() {
    // A Taxlink.db made with the first factory layout of the issued-invoice file (16 head fields).
    QFETCH(QString, change);
    QFETCH(bool, switched);
    TestDatabases db;
    const QString head = QStringLiteral(
        "select group_concat(FFieldDesc || ':' || Forder || ':' || FisNeedValid || ':' || "
        "FValidType || ':' || FValidValue, ',') from (select * from t_ImportField where FisHead=1 "
        "order by Forder)");
    const QString body = QStringLiteral("select group_concat(FFieldDesc, ',') from (select * from "
                                        "t_ImportField where FisHead=0 order by Forder)");
    const QString factory = db.config->query(head)->value(0).toString();
    const QString factoryBody = db.config->query(body)->value(0).toString();
    QCOMPARE(db.config->query(QStringLiteral("select count(*) from t_ImportField where FisHead=1"))
                 ->value(0)
                 .toInt(),
             24);
    runSqlScript(
        *db.config,
        QStringLiteral(
            "delete from t_ImportField where FisHead=1;"
            "insert into t_ImportField values ('发票种类',1,1,1,'2','0,2'),('类别代码',1,2,0,'0',''),"
            "('发票号码',1,3,0,'0',''),('开票日期',1,4,0,'0',''),('购方名称',1,5,0,'0',''),"
            "('购方税号',1,6,0,'0',''),('购方地址电话',1,7,0,'0',''),('购方银行帐号',1,8,0,'0',''),"
            "('不含税金额',1,9,0,'0',''),('税额',1,10,0,'0',''),('商品明细行数',1,11,0,'0',''),"
            "('作废标识',1,12,1,'2','0,1'),('开票人',1,13,0,'0',''),('复核人',1,14,0,'0',''),"
            "('收款人',1,15,0,'0',''),('备注',1,16,0,'0','')"));
    if (!change.isEmpty()) db.config->exec(change);
    const QString before = db.config->query(head)->value(0).toString();
    upgradeConfigSchema(*db.config);
    upgradeConfigSchema(*db.config); // again: nothing more to do
    QCOMPARE(db.config->query(head)->value(0).toString(), switched ? factory : before);
    QCOMPARE(db.config->query(body)->value(0).toString(), factoryBody);
}

void TestCommon::olderLedgerIsUpgradedKeepingEveryRow() {
    // A ledger of an earlier version, where two exports at once recorded the same invoice twice.
    TestDatabases db;
    Connection& acct = *db.acct;
    acct.exec(
        QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), FTaxCode "
                       "varchar(40), FTaxNumber varchar(40), FInterID integer, FBillNo varchar(80), FLinkID "
                       "integer, FFileName varchar(255), FTime varchar(20), FUserName varchar(80))"));
    const QString insert =
        QStringLiteral("insert into TF_Ledger (FDirection, FBillNo, FTime) values (?, ?, ?)");
    acct.exec(insert, {0, QStringLiteral("ZP01"), QStringLiteral("2026-01-05 10:00:00")});
    acct.exec(insert, {0, QStringLiteral("ZP01"), QStringLiteral("2026-01-05 10:00:02")});
    acct.exec(insert, {0, QStringLiteral("ZP02"), QStringLiteral("2026-01-05 10:00:00")});
    acct.exec(insert, {1, QStringLiteral("ZP03"), QStringLiteral("2026-01-06 09:00:00")});
    Ledger::ensure(acct);
    Ledger::ensure(acct); // again: nothing more to do
    const RecordsetPtr rs = acct.query(QStringLiteral(
        "select FBillNo, FTime, FState, FDocNo, FAmount from TF_Ledger order by FBillNo, FTime"));
    QStringList rows;
    for (const QVariantList& r : rs->allRows())
        rows << QStringList{r[0].toString(), r[1].toString().right(2), r[2].toString(), r[3].toString(),
                            r[4].isNull() ? QString() : r[4].toString()}
                    .join(u'/');
    // Every row kept; of the two that stood for one document, the newer stands.
    // Export rows of before documents had numbers are whole invoices.
    QCOMPARE(rows, (QStringList{"ZP01/00/2/ZP01/", "ZP01/02/0/ZP01/", "ZP02/00/0/ZP02/", "ZP03/00/0//"}));
    // One row that stands per document: a third one is refused, a superseded one is not.
    QVERIFY_THROWS_EXCEPTION(DbError,
                             acct.exec(QStringLiteral("insert into TF_Ledger (FDirection, FBillNo, "
                                                      "FDocNo, FState) values (0, 'ZP01', 'ZP01', 0)")));
    acct.exec(QStringLiteral(
        "insert into TF_Ledger (FDirection, FBillNo, FDocNo, FState) values (0, 'ZP01', 'ZP01', 2)"));
}
