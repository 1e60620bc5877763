// The database layer: connections, recordsets, transactions and the connection strings.
#include "test_common.h"

void TestCommon::buildInsertSqlKeepsTableOrderAndBindsValues() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table T (A INTEGER, B TEXT, C TEXT, D BOOLEAN, E NUMERIC)"));
    FieldMap m;
    m.set(QStringLiteral("c"), QStringLiteral("  O'Brien "));
    m.set(QStringLiteral("a"), QStringLiteral("7"));
    m.set(QStringLiteral("Unknown"), QStringLiteral("x"));
    m.set(QStringLiteral("D"), QStringLiteral("True"));
    m.set(QStringLiteral("E"), QStringLiteral("abc"));
    const SqlStatement st = buildInsertSql(QStringLiteral("T"), &m, *c);
    QCOMPARE(st.sql, QStringLiteral("Insert Into T (A,C,D,E) values (?,?,?,?)"));
    c->exec(st.sql, st.values);
    RecordsetPtr rs = c->query(QStringLiteral("select A,B,C,D,E from T"));
    QCOMPARE(rs->value(0).toLongLong(), 7);
    QVERIFY(rs->value(1).isNull());
    QCOMPARE(rs->value(2).toString(), QStringLiteral("O'Brien"));
    QCOMPARE(rs->value(3).toInt(), 1);
    QCOMPARE(rs->value(4).toDouble(), 0.0);
    // An empty text or a Null value lands as an empty text, not as Null.
    FieldMap e;
    e.set(QStringLiteral("B"), QString());
    e.set(QStringLiteral("C"), QVariant());
    const SqlStatement st2 = buildInsertSql(QStringLiteral("T"), &e, *c);
    c->exec(st2.sql, st2.values);
    rs = c->query(QStringLiteral("select B,C from T where A is null"));
    QVERIFY(!rs->value(0).isNull() && rs->value(0).toString().isEmpty());
    QVERIFY(!rs->value(1).isNull() && rs->value(1).toString().isEmpty());
    // Bound directly, an empty text is a text too; only an invalid value is Null.
    c->exec(QStringLiteral("insert into T (A,B,C) values (?,?,?)"), {99, QString(), QVariant()});
    rs = c->query(QStringLiteral("select B is null, C is null from T where A=99"));
    QCOMPARE(rs->value(0).toInt(), 0);
    QCOMPARE(rs->value(1).toInt(), 1);
    QVERIFY(buildInsertSql(QStringLiteral("T"), nullptr, *c).isEmpty());
}

void TestCommon::buildInsertSqlWithoutMatchingColumnFails() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table T (A INTEGER)"));
    FieldMap m;
    m.set(QStringLiteral("Z"), 1);
    QVERIFY_THROWS_EXCEPTION(DbError, buildInsertSql(QStringLiteral("T"), &m, *c));
    QVERIFY_THROWS_EXCEPTION(DbError, buildInsertSql(QStringLiteral("NoSuchTable"), &m, *c));
}

void TestCommon::getFieldValueDefaultsAndEmpty() {
    TestDatabases db;
    RecorderSink sink;
    QCOMPARE(getFieldValue(db.config.get(), QStringLiteral("Select Max(FID) +1 from t_BaseInfo where FID<0"),
                           0, QStringLiteral("1"))
                 .toString(),
             QStringLiteral("1"));
    QVERIFY(
        !getFieldValue(db.config.get(), QStringLiteral("select FID from t_BaseInfo where 1=0"), 0).isValid());
    QVERIFY_THROWS_EXCEPTION(DbError,
                             getFieldValue(db.config.get(), QStringLiteral("select nonsense from"), 0));
    QCOMPARE(sink.entries.size(), 1); // openRs showed the description once
}

void TestCommon::openRsReportsDescriptionOnly() {
    TestDatabases db;
    RecorderSink sink;
    QVERIFY(!openRs(db.acct.get(), QStringLiteral("select * from NoSuchTable")));
    QCOMPARE(sink.entries.size(), 1);
    QCOMPARE(sink.entries[0].kind, RecorderSink::Info);
    QVERIFY(sink.last().contains(QStringLiteral("NoSuchTable"), Qt::CaseInsensitive));
    QVERIFY(!sink.last().contains(QStringLiteral("调用(")));
}

void TestCommon::testSqlNeverThrows() {
    TestDatabases db;
    QVERIFY(!testSql(QStringLiteral("selec * from t_BaseInfo"), db.config.get()));
    QVERIFY(testSql(QStringLiteral("select * from t_BaseInfo where 1=0"), db.config.get()));
    QVERIFY(!testSql(QStringLiteral("   "), db.config.get()));
    QVERIFY(!testSql(QStringLiteral("select 1"), nullptr));
}

void TestCommon::getPeriodFindsTodayOrFails() {
    TestDatabases db;
    QString year = QStringLiteral("keep"), period = QStringLiteral("keep");
    QVERIFY(getPeriod(year, period, *db.acct, QDate(2026, 12, 6)));
    QCOMPARE(year, QStringLiteral("2026"));
    QCOMPARE(period, QStringLiteral("12"));
    year = period = QStringLiteral("keep");
    QVERIFY(!getPeriod(year, period, *db.acct, QDate(1999, 1, 1)));
    QCOMPARE(year, QStringLiteral("keep"));
    QCOMPARE(period, QStringLiteral("keep"));
    // An empty period column counts as period 1.
    db.acct->exec(QStringLiteral("insert into T_PeriodDate (FYear,FPeriod,FStartDate,FEndDate) values "
                                 "(1999,NULL,'1999-01-01','1999-01-31')"));
    QVERIFY(getPeriod(year, period, *db.acct, QDate(1999, 1, 1)));
    QCOMPARE(period, QStringLiteral("1"));
}

void TestCommon::fieldMapKeysIgnoreCase() {
    FieldMap m;
    m.set(QStringLiteral("FStatus"), 1);
    m.set(QStringLiteral("fstatus"), 2);
    QCOMPARE(m.count(), 1);
    QCOMPARE(m.keys().first(), QStringLiteral("FStatus"));
    QCOMPARE(m.get(QStringLiteral("FSTATUS")).toInt(), 2);
    QVERIFY(!m.contains(QStringLiteral("FStatusX")));
    RecordList l;
    l.add(m);
    QCOMPARE(l.count(), 1);
    QCOMPARE(l.item(1).get(QStringLiteral("fStatus")).toInt(), 2);
}

void TestCommon::recordsetFilterAndCursor() {
    Recordset rs({{QStringLiteral("FFieldName"), 202}, {QStringLiteral("FTaxData"), 202}},
                 {{QStringLiteral("unit"), QStringLiteral("个")},
                  {QStringLiteral("unit"), QStringLiteral("O'Brien")},
                  {QStringLiteral("prod"), QStringLiteral("个")}});
    rs.setFilter({{QStringLiteral("ffieldname"), QStringLiteral("unit")},
                  {QStringLiteral("FTaxData"), QStringLiteral("O'Brien")}});
    QCOMPARE(rs.recordCount(), 1);
    QCOMPARE(rs[QStringLiteral("FTaxData")].toString(), QStringLiteral("O'Brien"));
    rs.next();
    QVERIFY(rs.atEnd());
    QVERIFY_THROWS_EXCEPTION(DbError, rs.value(0));
    rs.clearFilter();
    QCOMPARE(rs.recordCount(), 3);
    rs.last();
    QCOMPARE(rs.value(0).toString(), QStringLiteral("prod"));
}

void TestCommon::transactionGuardRollsBack() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table T (A INTEGER)"));
    {
        TransactionGuard tx(*c);
        c->exec(QStringLiteral("insert into T values (?)"), {1});
    }
    QCOMPARE(c->query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 0);
    QVERIFY(!c->inTransaction());
    {
        TransactionGuard tx(*c, true);
        c->exec(QStringLiteral("insert into T values (?)"), {2});
        tx.commit();
    }
    QCOMPARE(c->query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 1);
}

void TestCommon::readOnlyConnectionCannotWrite() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table T (A INTEGER)"));
    ConnectionPtr ro = Connection::open(c->connectionString(), Connection::Mode::ReadOnly);
    QVERIFY(ro->isReadOnly());
    QVERIFY(testSql(QStringLiteral("select * from T"), ro.get()));
    QVERIFY_THROWS_EXCEPTION(DbError, ro->exec(QStringLiteral("insert into T values (1)")));
    // A second statement cannot ride along with the first.
    QVERIFY_THROWS_EXCEPTION(DbError, c->exec(QStringLiteral("select 1; drop table T")));
    QVERIFY(testSql(QStringLiteral("select * from T"), c.get()));
}

void TestCommon::readOnlyAccountingConnectionChangesNothing() {
    TestDatabases db;
    const QString count = QStringLiteral("select count(*) from ICSaleEntry");
    const int before = db.acct->query(count)->value(0).toInt();
    ConnectionPtr ro = Connection::open(db.acctConnString(), Connection::Mode::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(DbError, ro->exec(QStringLiteral("delete from ICSaleEntry")));
    // After a refused statement the connection goes on reading.
    QCOMPARE(ro->query(count)->value(0).toInt(), before);
    ro->close();
    QCOMPARE(db.acct->query(count)->value(0).toInt(), before);
}

// The server's schema is written beside the SQLite one: the same tables and views with the same
// columns in the same order, or the demo rows and the program's SQL would not fit both.
void TestCommon::serverSchemaMatchesSqliteSchema() {
    if (currentTestBackend() == TestBackend::SQLite)
        QSKIP("compares the server's schema with the SQLite one");
    TestDatabases db;
    QTemporaryDir dir;
    const QString path =
        makeDatabaseCopy(dir.filePath(QStringLiteral("s.db")), {QStringLiteral("acct_schema.sql")});
    ConnectionPtr sqlite = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    const RecordsetPtr objects = sqlite->query(
        QStringLiteral("select name from sqlite_master where type in ('table','view') order by name"));
    QVERIFY(objects->recordCount() > 10);
    for (objects->first(); !objects->atEnd(); objects->next()) {
        const QString name = objects->value(0).toString();
        QStringList mine, theirs;
        for (const FieldInfo& f : sqlite->tableColumns(name))
            mine << f.name.toLower();
        for (const FieldInfo& f : db.acct->tableColumns(name))
            theirs << f.name.toLower();
        QCOMPARE(theirs, mine);
    }
}

void TestCommon::missingDatabaseFileIsAnError() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Taxlink.db"));
    try {
        Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
        QFAIL("opened a missing database");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(path));
    }
    QVERIFY(!QFile::exists(path)); // and no empty file was left in its place
    QVERIFY_THROWS_EXCEPTION(DbError, Connection::open(QStringLiteral("Provider=Nothing;Data Source=x")));
    QVERIFY_THROWS_EXCEPTION(DbError, Connection::open(QString()));
}

void TestCommon::interIdCounterAdvancesAndRollsBack() {
    TestDatabases db;
    const qlonglong before =
        db.acct->query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName='ICSALE'"))
            ->value(0)
            .toLongLong();
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->nextInterId(QStringLiteral("ICSALE")), QString::number(before + 1));
        QCOMPARE(db.acct->nextInterId(QStringLiteral("ICSALE")), QString::number(before + 2));
    }
    QCOMPARE(db.acct->nextInterId(QStringLiteral("ICSALE")), QString::number(before + 1));
    // A run taken at once continues the single calls and is given back with its transaction, too.
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->nextInterIDs(QStringLiteral("ICSALE"), 3),
                 (QList<qint64>{before + 2, before + 3, before + 4}));
        QCOMPARE(db.acct->nextInterId(QStringLiteral("ICSALE")), QString::number(before + 5));
    }
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->nextInterIDs(QStringLiteral("ICSALE"), 2), (QList<qint64>{before + 2, before + 3}));
        tx.commit();
    }
    QCOMPARE(db.acct->nextInterIDs(QStringLiteral("ICSALE"), 1), QList<qint64>{before + 4});
}

void TestCommon::testParseConnProps_data() {
    QTest::addColumn<QString>("props");
    QTest::addColumn<int>("part");
    QTest::addColumn<QString>("expected");
    QTest::newRow("connection string") << "{P=1;Q=2};A=x;B=y" << 0 << "P=1;Q=2";
    QTest::newRow("first pair") << "{P=1;Q=2};A=x;B=y" << 1 << "x";
    QTest::newRow("second pair") << "{P=1;Q=2};A=x;B=y" << 2 << "y";
    QTest::newRow("other part") << "{P=1;Q=2};A=x;B=y" << 3 << "";
    QTest::newRow("no brace") << "P=1;Q=2" << 0 << "";
    // An ODBC driver is written in braces inside the braces of the login text.
    QTest::newRow("driver in braces")
        << "{Provider=ODBC;Driver={PostgreSQL Unicode};Server=h};UserName=super;AcctName=a" << 0
        << "Provider=ODBC;Driver={PostgreSQL Unicode};Server=h";
    QTest::newRow("pair after a driver in braces")
        << "{Provider=ODBC;Driver={PostgreSQL Unicode};Server=h};UserName=super;AcctName=a" << 2 << "a";
    QTest::newRow("unclosed brace reads up to the first one") << "{P=1;Q={x;A=y" << 0 << "P=1;Q=";
    // "}}" inside a value in braces is one brace of the value, not the end of the login text.
    QTest::newRow("doubled brace in a password")
        << "{Provider=PostgreSQL;Password={pa}}ss};User ID=u};UserName=super" << 0
        << "Provider=PostgreSQL;Password={pa}}ss};User ID=u";
    QTest::newRow("password in braces last")
        << "{Provider=ODBC;PWD={x}}};};UserName=super;AcctName=a" << 0 << "Provider=ODBC;PWD={x}}}";
    QTest::newRow("name in braces") << "{P=1};UserName=super;AcctName={甲;乙}" << 2 << "甲;乙";
}

// The failures a user meets when a server refuses the set, in Chinese; anything else keeps the driver's text.
void TestCommon::connectFailuresInChinese_data() {
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password, QPSQL")
        << "connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  password authentication failed "
           "for user \"kj\"\nQPSQL: Unable to connect"
        << "密码错误";
    QTest::newRow("wrong password, psqlODBC")
        << "[28P01] FATAL: password authentication failed for user \"kj\";\nQODBC: Unable to connect"
        << "密码错误";
    QTest::newRow("no password given") << "fe_sendauth: no password supplied"
                                       << "密码错误";
    QTest::newRow("database missing") << "FATAL:  database \"qor2026\" does not exist"
                                      << "数据库不存在";
    QTest::newRow("user missing") << "FATAL:  role \"kj\" does not exist"
                                  << "用户不存在";
    QTest::newRow("nothing listens")
        << "connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n\tIs the server running"
        << "无法连接到服务器";
    QTest::newRow("unknown host")
        << "could not translate host name \"qorsrv\" to address: Name or service not known"
        << "无法连接到服务器";
    QTest::newRow("an unknown data source stays as it is")
        << "[unixODBC][Driver Manager]Data source name not found and no default driver specified"
        << "";
}

void TestCommon::connectFailuresInChinese() {
    QFETCH(QString, driverText);
    QFETCH(QString, reason);
    QCOMPARE(connectFailureReason(driverText), reason);
}

void TestCommon::connectionStringValues_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QString odbc =
        QStringLiteral("Provider=ODBC; Driver={PostgreSQL Unicode};Server=/tmp/s;PWD={a;b}}c};UID=u");
    QTest::newRow("key in any case") << odbc << "provider"
                                     << "ODBC";
    QTest::newRow("value in braces, without them") << odbc << "Driver"
                                                   << "PostgreSQL Unicode";
    QTest::newRow("semicolon and doubled brace inside braces") << odbc << "PWD"
                                                               << "a;b}c";
    QTest::newRow("after a braced value") << odbc << "UID"
                                          << "u";
    QTest::newRow("missing key") << odbc << "DSN"
                                 << "";
    QTest::newRow("piece without a value is skipped") << "A=1;junk;B=2"
                                                      << "B"
                                                      << "2";
}

void TestCommon::connectionStringValues() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(connectionStringValue(text, key), expected);
}

void TestCommon::testParseConnProps() {
    QFETCH(QString, props);
    QFETCH(int, part);
    QFETCH(QString, expected);
    QCOMPARE(parseConnProps(props, part), expected);
}

QTEST_GUILESS_MAIN(TestCommon)
