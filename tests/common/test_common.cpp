// The shared procedures and the database layer every area builds on.
#include "common/Connection.h"
#include "common/DbLog.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/RowBatch.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "support/TestSupport.h"
#include <QSqlDatabase>
#include <QtTest/QtTest>

namespace {
ConnectionPtr emptyDb(const QTemporaryDir& dir, const QString& name = QStringLiteral("t.db")) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    return Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
}
} // namespace

class TestCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void showErrFormatsTwoLines();
    void nullToValue_data();
    void nullToValue();
    void splitItem_data();
    void splitItem();
    void sqlValue_data();
    void sqlValue();
    void leadingAndStrictNumbers_data();
    void leadingAndStrictNumbers();
    void numberText_data();
    void numberText();
    void decimalText_data();
    void decimalText();
    void buildInsertSqlKeepsTableOrderAndBindsValues();
    void buildInsertSqlWithoutMatchingColumnFails();
    void getFieldValueDefaultsAndEmpty();
    void openRsReportsDescriptionOnly();
    void testSqlNeverThrows();
    void getPeriodFindsTodayOrFails();
    void fieldMapKeysIgnoreCase();
    void recordsetFilterAndCursor();
    void transactionGuardRollsBack();
    void readOnlyConnectionCannotWrite();
    void readOnlyAccountingConnectionChangesNothing();
    void serverSchemaMatchesSqliteSchema();
    void dateValues_data();
    void dateValues();
    void connectionStringValues_data();
    void connectionStringValues();
    void connectFailuresInChinese_data();
    void connectFailuresInChinese();
    void missingDatabaseFileIsAnError();
    void interIdCounterAdvancesAndRollsBack();
    void rowBatchWritesValuesAsGiven();
    void boundRowsStoredAsRowBatchStoresThem_data();
    void boundRowsStoredAsRowBatchStoresThem();
    void oldConfigFileGainsTheNewColumns();
    void platformLinksGainTheDocNoInRemark();
    void earlierImportLayoutIsSwitched_data();
    void earlierImportLayoutIsSwitched();
    void olderLedgerIsUpgradedKeepingEveryRow();
    void scriptSplitterHonoursQuotesAndComments();
    void gbkReaderLinesAndRefusal();
    void gbkEncoderRefusesUnmappable();
    void parseConnProps_data();
    void parseConnProps();
    void loginTextKeepsTheConnection_data();
    void loginTextKeepsTheConnection();
    void passwordsReachTheDatabase_data();
    void passwordsReachTheDatabase();
    void hidePasswords_data();
    void hidePasswords();
    void noPasswordInMessagesOrLog();
    void failureLogIsTheUsersAlone();
    void directRowsStoredAsQtStoresThem_data();
    void directRowsStoredAsQtStoresThem();
    void directRowsKeepEveryText_data();
    void directRowsKeepEveryText();
};

void TestCommon::showErrFormatsTwoLines() {
    RecorderSink sink;
    ShowErr(QStringLiteral("SaveLink"), DbError(13, QStringLiteral("类型不匹配")));
    QCOMPARE(sink.last(), QStringLiteral("调用(SaveLink)出错!\r\n错误编号:13,错误原因:类型不匹配"));
    QCOMPARE(sink.entries.last().kind, RecorderSink::Error);
}

void TestCommon::nullToValue_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("def");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("null with default 1")
        << QVariant(QMetaType(QMetaType::QString)) << QVariant(1) << QVariant(1);
    QTest::newRow("empty text, no default")
        << QVariant(QString()) << QVariant(QString()) << QVariant(QString());
    QTest::newRow("number 0 is kept") << QVariant(0) << QVariant(5) << QVariant(0);
    QTest::newRow("invalid (Empty) takes default")
        << QVariant() << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("x"));
    QTest::newRow("text kept") << QVariant(QStringLiteral(" a ")) << QVariant(1)
                               << QVariant(QStringLiteral(" a "));
}

void TestCommon::nullToValue() {
    QFETCH(QVariant, value);
    QFETCH(QVariant, def);
    QFETCH(QVariant, expected);
    QCOMPARE(NullToValue(value, def), expected);
}

void TestCommon::splitItem_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delim");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    QTest::newRow("last piece") << "a;b;c"
                                << ";" << 2 << "c";
    QTest::newRow("past the end") << "a;b;c"
                                  << ";" << 3 << "";
    QTest::newRow("empty text has no pieces") << ""
                                              << ";" << 0 << "";
    QTest::newRow("whole delimiter") << "x~~y~z"
                                     << "~~" << 1 << "y~z";
    QTest::newRow("adjacent delimiters") << "a~~~~b"
                                         << "~~" << 1 << "";
    QTest::newRow("no delimiter") << "abc"
                                  << "|" << 0 << "abc";
    QTest::newRow("case-sensitive") << "aXbxc"
                                    << "x" << 1 << "c";
}

void TestCommon::splitItem() {
    QFETCH(QString, text);
    QFETCH(QString, delim);
    QFETCH(int, index);
    QFETCH(QString, expected);
    QCOMPARE(SplitItem(text, delim, index), expected);
}

void TestCommon::sqlValue_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text with quote") << 200 << QVariant(QStringLiteral("O'Brien")) << "'O''Brien'";
    QTest::newRow("integer") << 3 << QVariant(QStringLiteral("12")) << "12";
    QTest::newRow("integer from letters") << 3 << QVariant(QStringLiteral("abc")) << "0";
    QTest::newRow("empty number") << 131 << QVariant(QString()) << "0";
    QTest::newRow("decimal") << 131 << QVariant(QStringLiteral("35.1")) << "35.1";
    QTest::newRow("boolean TRUE") << 11 << QVariant(QStringLiteral("TRUE")) << "1";
    QTest::newRow("boolean 1") << 11 << QVariant(QStringLiteral("1")) << "1";
    QTest::newRow("boolean other") << 11 << QVariant(QStringLiteral("yes")) << "0";
    QTest::newRow("date text unchanged") << 135 << QVariant(QStringLiteral("2024-01-31")) << "'2024-01-31'";
    // The text Nullable is a text like any other; only a Null value becomes empty.
    QTest::newRow("Nullable stays") << 202 << QVariant(QStringLiteral("Nullable")) << "'Nullable'";
    QTest::newRow("text Null stays") << 202 << QVariant(QStringLiteral("Null")) << "'Null'";
    QTest::newRow("Null value in text column") << 202 << QVariant() << "''";
    QTest::newRow("Null value in numeric column") << 3 << QVariant() << "0";
}

void TestCommon::sqlValue() {
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    QCOMPARE(SqlValue(type, value), expected);
}

void TestCommon::leadingAndStrictNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("leading");
    QTest::addColumn<bool>("strictOk");
    QTest::newRow("plain") << "12.5" << 12.5 << true;
    QTest::newRow("blanks inside") << " 1 2.5" << 12.5 << false;
    QTest::newRow("trailing letters") << "3abc" << 3.0 << false;
    QTest::newRow("no number") << "abc" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("negative") << "-0.17" << -0.17 << true;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0 << false;
}

void TestCommon::leadingAndStrictNumbers() {
    QFETCH(QString, text);
    QFETCH(double, leading);
    QFETCH(bool, strictOk);
    QCOMPARE(LeadingNumber(text), leading);
    double d = 0;
    QCOMPARE(StrictNumber(text, d), strictOk);
}

void TestCommon::numberText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("rate times 100") << 0.17 * 100 << "17";
    QTest::newRow("price with tax") << 10 * (0.17 + 1) << "11.7";
    QTest::newRow("amount") << 30 + 5.1 << "35.1";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative") << -12.5 << "-12.5";
    QTest::newRow("no grouping") << 1234567.89 << "1234567.89";
}

void TestCommon::decimalText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");
    // Binary rounding would give 1.00: 1.005 is 1.00499999999999989… as a double.
    QTest::newRow("half up where binary rounds down") << 1.005 << 2 << "1.01";
    QTest::newRow("half up, negative away from zero") << -2.675 << 2 << "-2.68";
    QTest::newRow("below half") << 0.124 << 2 << "0.12";
    QTest::newRow("carry into the whole number") << 9.995 << 2 << "10.00";
    QTest::newRow("carry through every digit") << 999.9999 << 2 << "1000.00";
    QTest::newRow("whole number gets its decimals") << 1850.0 << 2 << "1850.00";
    QTest::newRow("negative that rounds to zero") << -0.001 << 2 << "0.00";
    QTest::newRow("small value") << 0.000000125 << 8 << "0.00000013";
    QTest::newRow("eight decimals") << 0.123456785 << 8 << "0.12345679";
    QTest::newRow("large amount") << 123456789012.345 << 2 << "123456789012.35";
    QTest::newRow("no decimals") << 2.5 << 0 << "3";
    QTest::newRow("zero") << 0.0 << 2 << "0.00";
}

void TestCommon::decimalText() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QCOMPARE(DecimalText(value, decimals), expected);
}

void TestCommon::numberText() {
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(NumberText(value), expected);
    // The text a stored file or statement had before: Qt's 15-digit 'g' form, for neighbours too.
    for (const double v : {value, std::nextafter(value, 1e308), std::nextafter(value, -1e308), value * 1e-7,
                           value * 1e17, -value / 3})
        if (v != 0.0) QCOMPARE(NumberText(v), QString::number(v, 'g', 15));
}

void TestCommon::buildInsertSqlKeepsTableOrderAndBindsValues() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->Execute(QStringLiteral("create table T (A INTEGER, B TEXT, C TEXT, D BOOLEAN, E NUMERIC)"));
    FieldMap m;
    m.Set(QStringLiteral("c"), QStringLiteral("  O'Brien "));
    m.Set(QStringLiteral("a"), QStringLiteral("7"));
    m.Set(QStringLiteral("Unknown"), QStringLiteral("x"));
    m.Set(QStringLiteral("D"), QStringLiteral("True"));
    m.Set(QStringLiteral("E"), QStringLiteral("abc"));
    const SqlStatement st = BuildInsertSql(QStringLiteral("T"), &m, *c);
    QCOMPARE(st.sql, QStringLiteral("Insert Into T (A,C,D,E) values (?,?,?,?)"));
    c->Execute(st.sql, st.values);
    RecordsetPtr rs = c->Query(QStringLiteral("select A,B,C,D,E from T"));
    QCOMPARE(rs->value(0).toLongLong(), 7);
    QVERIFY(rs->value(1).isNull());
    QCOMPARE(rs->value(2).toString(), QStringLiteral("O'Brien"));
    QCOMPARE(rs->value(3).toInt(), 1);
    QCOMPARE(rs->value(4).toDouble(), 0.0);
    // An empty text or a Null value lands as an empty text, not as Null.
    FieldMap e;
    e.Set(QStringLiteral("B"), QString());
    e.Set(QStringLiteral("C"), QVariant());
    const SqlStatement st2 = BuildInsertSql(QStringLiteral("T"), &e, *c);
    c->Execute(st2.sql, st2.values);
    rs = c->Query(QStringLiteral("select B,C from T where A is null"));
    QVERIFY(!rs->value(0).isNull() && rs->value(0).toString().isEmpty());
    QVERIFY(!rs->value(1).isNull() && rs->value(1).toString().isEmpty());
    // Bound directly, an empty text is a text too; only an invalid value is Null.
    c->Execute(QStringLiteral("insert into T (A,B,C) values (?,?,?)"), {99, QString(), QVariant()});
    rs = c->Query(QStringLiteral("select B is null, C is null from T where A=99"));
    QCOMPARE(rs->value(0).toInt(), 0);
    QCOMPARE(rs->value(1).toInt(), 1);
    QVERIFY(BuildInsertSql(QStringLiteral("T"), nullptr, *c).isEmpty());
}

void TestCommon::buildInsertSqlWithoutMatchingColumnFails() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->Execute(QStringLiteral("create table T (A INTEGER)"));
    FieldMap m;
    m.Set(QStringLiteral("Z"), 1);
    QVERIFY_THROWS_EXCEPTION(DbError, BuildInsertSql(QStringLiteral("T"), &m, *c));
    QVERIFY_THROWS_EXCEPTION(DbError, BuildInsertSql(QStringLiteral("NoSuchTable"), &m, *c));
}

void TestCommon::getFieldValueDefaultsAndEmpty() {
    TestDatabases db;
    RecorderSink sink;
    QCOMPARE(GetFieldValue(db.config.get(), QStringLiteral("Select Max(FID) +1 from t_BaseInfo where FID<0"),
                           0, QStringLiteral("1"))
                 .toString(),
             QStringLiteral("1"));
    QVERIFY(
        !GetFieldValue(db.config.get(), QStringLiteral("select FID from t_BaseInfo where 1=0"), 0).isValid());
    QVERIFY_THROWS_EXCEPTION(DbError,
                             GetFieldValue(db.config.get(), QStringLiteral("select nonsense from"), 0));
    QCOMPARE(sink.entries.size(), 1); // OpenRs showed the description once
}

void TestCommon::openRsReportsDescriptionOnly() {
    TestDatabases db;
    RecorderSink sink;
    QVERIFY(!OpenRs(db.acct.get(), QStringLiteral("select * from NoSuchTable")));
    QCOMPARE(sink.entries.size(), 1);
    QCOMPARE(sink.entries[0].kind, RecorderSink::Info);
    QVERIFY(sink.last().contains(QStringLiteral("NoSuchTable"), Qt::CaseInsensitive));
    QVERIFY(!sink.last().contains(QStringLiteral("调用(")));
}

void TestCommon::testSqlNeverThrows() {
    TestDatabases db;
    QVERIFY(!TestSql(QStringLiteral("selec * from t_BaseInfo"), db.config.get()));
    QVERIFY(TestSql(QStringLiteral("select * from t_BaseInfo where 1=0"), db.config.get()));
    QVERIFY(!TestSql(QStringLiteral("   "), db.config.get()));
    QVERIFY(!TestSql(QStringLiteral("select 1"), nullptr));
}

void TestCommon::getPeriodFindsTodayOrFails() {
    TestDatabases db;
    QString year = QStringLiteral("keep"), period = QStringLiteral("keep");
    QVERIFY(GetPeriod(year, period, *db.acct, QDate(2026, 12, 6)));
    QCOMPARE(year, QStringLiteral("2026"));
    QCOMPARE(period, QStringLiteral("12"));
    year = period = QStringLiteral("keep");
    QVERIFY(!GetPeriod(year, period, *db.acct, QDate(1999, 1, 1)));
    QCOMPARE(year, QStringLiteral("keep"));
    QCOMPARE(period, QStringLiteral("keep"));
    // An empty period column counts as period 1.
    db.acct->Execute(QStringLiteral("insert into T_PeriodDate (FYear,FPeriod,FStartDate,FEndDate) values "
                                    "(1999,NULL,'1999-01-01','1999-01-31')"));
    QVERIFY(GetPeriod(year, period, *db.acct, QDate(1999, 1, 1)));
    QCOMPARE(period, QStringLiteral("1"));
}

void TestCommon::fieldMapKeysIgnoreCase() {
    FieldMap m;
    m.Set(QStringLiteral("FStatus"), 1);
    m.Set(QStringLiteral("fstatus"), 2);
    QCOMPARE(m.Count(), 1);
    QCOMPARE(m.Keys().first(), QStringLiteral("FStatus"));
    QCOMPARE(m.Get(QStringLiteral("FSTATUS")).toInt(), 2);
    QVERIFY(!m.Contains(QStringLiteral("FStatusX")));
    RecordList l;
    l.Add(m);
    QCOMPARE(l.Count(), 1);
    QCOMPARE(l.Item(1).Get(QStringLiteral("fStatus")).toInt(), 2);
}

void TestCommon::recordsetFilterAndCursor() {
    Recordset rs({{QStringLiteral("FFieldName"), 202}, {QStringLiteral("FTaxData"), 202}},
                 {{QStringLiteral("unit"), QStringLiteral("个")},
                  {QStringLiteral("unit"), QStringLiteral("O'Brien")},
                  {QStringLiteral("prod"), QStringLiteral("个")}});
    rs.setFilter({{QStringLiteral("ffieldname"), QStringLiteral("unit")},
                  {QStringLiteral("FTaxData"), QStringLiteral("O'Brien")}});
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs[QStringLiteral("FTaxData")].toString(), QStringLiteral("O'Brien"));
    rs.MoveNext();
    QVERIFY(rs.EOF_());
    QVERIFY_THROWS_EXCEPTION(DbError, rs.value(0));
    rs.clearFilter();
    QCOMPARE(rs.RecordCount(), 3);
    rs.MoveLast();
    QCOMPARE(rs.value(0).toString(), QStringLiteral("prod"));
}

void TestCommon::transactionGuardRollsBack() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->Execute(QStringLiteral("create table T (A INTEGER)"));
    {
        TransactionGuard tx(*c);
        c->Execute(QStringLiteral("insert into T values (?)"), {1});
    }
    QCOMPARE(c->Query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 0);
    QVERIFY(!c->InTransaction());
    {
        TransactionGuard tx(*c, true);
        c->Execute(QStringLiteral("insert into T values (?)"), {2});
        tx.commit();
    }
    QCOMPARE(c->Query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 1);
}

void TestCommon::readOnlyConnectionCannotWrite() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->Execute(QStringLiteral("create table T (A INTEGER)"));
    ConnectionPtr ro = Connection::open(c->connectionString(), Connection::Mode::ReadOnly);
    QVERIFY(ro->isReadOnly());
    QVERIFY(TestSql(QStringLiteral("select * from T"), ro.get()));
    QVERIFY_THROWS_EXCEPTION(DbError, ro->Execute(QStringLiteral("insert into T values (1)")));
    // A second statement cannot ride along with the first.
    QVERIFY_THROWS_EXCEPTION(DbError, c->Execute(QStringLiteral("select 1; drop table T")));
    QVERIFY(TestSql(QStringLiteral("select * from T"), c.get()));
}

void TestCommon::readOnlyAccountingConnectionChangesNothing() {
    TestDatabases db;
    const QString count = QStringLiteral("select count(*) from ICSaleEntry");
    const int before = db.acct->Query(count)->value(0).toInt();
    ConnectionPtr ro = Connection::open(db.acctConnString(), Connection::Mode::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(DbError, ro->Execute(QStringLiteral("delete from ICSaleEntry")));
    // After a refused statement the connection goes on reading.
    QCOMPARE(ro->Query(count)->value(0).toInt(), before);
    ro->Close();
    QCOMPARE(db.acct->Query(count)->value(0).toInt(), before);
}

// The server's schema is written beside the SQLite one: the same tables and views with the same
// columns in the same order, or the demo rows and the program's SQL would not fit both.
void TestCommon::serverSchemaMatchesSqliteSchema() {
    if (CurrentTestBackend() == TestBackend::SQLite)
        QSKIP("compares the server's schema with the SQLite one");
    TestDatabases db;
    QTemporaryDir dir;
    const QString path =
        MakeDatabaseCopy(dir.filePath(QStringLiteral("s.db")), {QStringLiteral("acct_schema.sql")});
    ConnectionPtr sqlite = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    const RecordsetPtr objects = sqlite->Query(
        QStringLiteral("select name from sqlite_master where type in ('table','view') order by name"));
    QVERIFY(objects->RecordCount() > 10);
    for (objects->MoveFirst(); !objects->EOF_(); objects->MoveNext()) {
        const QString name = objects->value(0).toString();
        QStringList mine, theirs;
        for (const FieldInfo& f : sqlite->TableColumns(name))
            mine << f.name.toLower();
        for (const FieldInfo& f : db.acct->TableColumns(name))
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
        db.acct->Query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName='ICSALE'"))
            ->value(0)
            .toLongLong();
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->NextInterID(QStringLiteral("ICSALE")), QString::number(before + 1));
        QCOMPARE(db.acct->NextInterID(QStringLiteral("ICSALE")), QString::number(before + 2));
    }
    QCOMPARE(db.acct->NextInterID(QStringLiteral("ICSALE")), QString::number(before + 1));
    // A run taken at once continues the single calls and is given back with its transaction, too.
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->NextInterIDs(QStringLiteral("ICSALE"), 3),
                 (QList<qint64>{before + 2, before + 3, before + 4}));
        QCOMPARE(db.acct->NextInterID(QStringLiteral("ICSALE")), QString::number(before + 5));
    }
    {
        TransactionGuard tx(*db.acct, true);
        QCOMPARE(db.acct->NextInterIDs(QStringLiteral("ICSALE"), 2), (QList<qint64>{before + 2, before + 3}));
        tx.commit();
    }
    QCOMPARE(db.acct->NextInterIDs(QStringLiteral("ICSALE"), 1), QList<qint64>{before + 4});
}

void TestCommon::rowBatchWritesValuesAsGiven() {
    // On a server the rows stream in with COPY, elsewhere as INSERTs: what is read back is the same.
    TestDatabases db;
    Connection& c = *db.acct;
    c.Execute(QStringLiteral("create table TF_BatchProbe (FText varchar(80), FNumber double precision, "
                             "FWhole integer not null, FOther varchar(10))"));
    const QList<QVariantList> rows{
        {QStringLiteral("制表\t符\t和\\反斜杠"), 0.1, 1, QStringLiteral("x")},
        {QStringLiteral("换行\n回车\r"), 1234567.891, 2, QVariant()},
        {QString(), -1e-7, 3, QStringLiteral("\\N")},
        {QStringLiteral("  空格  "), 1e300, 4, QStringLiteral("")},
    };
    {
        TransactionGuard tx(c, true);
        RowBatch batch(c, QStringLiteral("TF_BatchProbe"));
        for (const QVariantList& values : rows) {
            RowBatch::Row row = batch.EmptyRow();
            for (int col = 0; col < values.size(); ++col)
                if (col < 3 || values[col].isValid()) RowBatch::Set(row, col, values[col]);
            batch.Add(std::move(row));
        }
        batch.Flush();
        tx.commit();
    }
    const RecordsetPtr rs =
        c.Query(QStringLiteral("select FText, FNumber, FWhole, FOther from TF_BatchProbe order by FWhole"));
    const QList<QVariantList> back = rs->allRows();
    QCOMPARE(back.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        QCOMPARE(back[r][0].toString(), rows[r][0].toString());
        QCOMPARE(back[r][1].toDouble(), rows[r][1].toDouble());
        QCOMPARE(back[r][2].toInt(), rows[r][2].toInt());
        // A column a row does not write stays null; an empty text is written as empty.
        QCOMPARE(back[r][3].isNull(), !rows[r][3].isValid());
        QCOMPARE(back[r][3].toString(), rows[r][3].toString());
    }
    // A row the database refuses fails the transaction, however late the server says so, and the
    // connection goes on working.
    const auto refused = [&] {
        TransactionGuard tx(c, true);
        RowBatch batch(c, QStringLiteral("TF_BatchProbe"));
        RowBatch::Row row = batch.EmptyRow();
        RowBatch::Set(row, 0, QStringLiteral("没有整数"));
        batch.Add(std::move(row));
        batch.Flush();
        tx.commit();
    };
    QVERIFY_THROWS_EXCEPTION(DbError, refused());
    QCOMPARE(c.Query(QStringLiteral("select count(*) from TF_BatchProbe"))->value(0).toInt(),
             int(rows.size()));
}

// Rows of bound values are stored as the same rows of QVariants: on SQLite bound as they are, elsewhere
// handed to RowBatch; rows of different columns set, in any order, and a discount's later change.
void TestCommon::boundRowsStoredAsRowBatchStoresThem_data() {
    QTest::addColumn<QList<QVariantList>>("rows"); // FKey, FText, FNumber, FWhole; invalid: not set
    QTest::newRow("one shape") << QList<QVariantList>{{1, QStringLiteral("发票"), 0.1, qlonglong(7)},
                                                      {2, QStringLiteral(""), -1e-7, qlonglong(-3)}};
    QTest::newRow("shapes alternating")
        << QList<QVariantList>{{1, QStringLiteral("a"), QVariant(), qlonglong(1)},
                               {2, QVariant(), 2.5, QVariant()},
                               {3, QStringLiteral("c"), QVariant(), qlonglong(3)},
                               {4, QStringLiteral("  d "), 1e300, QVariant(QDate(2026, 3, 1))}};
    QTest::newRow("other values") << QList<QVariantList>{
        {1, QVariant(true), QVariant(QMetaType(QMetaType::Double)), QStringLiteral("12")}};
}

void TestCommon::boundRowsStoredAsRowBatchStoresThem() {
    QFETCH(QList<QVariantList>, rows);
    TestDatabases db;
    Connection& c = *db.acct;
    for (const QString& table : {QStringLiteral("TF_PlainRows"), QStringLiteral("TF_BoundRows")})
        c.Execute(QStringLiteral("create table ") + table +
                  QStringLiteral(" (FKey integer, FText varchar(20), FNumber double precision, FWhole "
                                 "varchar(20))"));
    {
        TransactionGuard tx(c, true);
        RowBatch plain(c, QStringLiteral("TF_PlainRows"));
        BoundRowBatch bound(c, QStringLiteral("TF_BoundRows"));
        // Twice, the second time with other keys: the rows of the first, emptied, are the room of the
        // second (each in that of another row).
        for (int round = 0; round < 2; ++round) {
            for (qsizetype r = 0; r < rows.size(); ++r) {
                QVariantList values = rows[r];
                values[0] = values[0].toInt() + 100 * round;
                RowBatch::Row p = plain.EmptyRow();
                BoundRowBatch::Row b = bound.EmptyRow();
                for (int col = 0; col < values.size(); ++col) {
                    if (!values[col].isValid()) continue;
                    RowBatch::Set(p, col, values[col]);
                    BoundRowBatch::Set(b, col, BoundRowBatch::FromVariant(values[col]));
                }
                plain.Add(std::move(p));
                bound.Add(std::move(b));
            }
            // The first row found again by its key and changed in memory, in both.
            BoundRowBatch::Row* first = bound.Find(0, qint64(1 + 100 * round));
            QVERIFY(first);
            QVERIFY(!bound.Find(0, qint64(99)));
            BoundRowBatch::Set(*first, 2, 9.75);
            RowBatch::Set(plain.At(0), 2, QVariant(9.75));
            plain.Flush();
            bound.Flush();
        }
        QCOMPARE(bound.Pending(), 0);
        tx.commit();
    }
    const auto stored = [&](const QString& table) {
        return c
            .Query(QStringLiteral("select FKey, FText, FNumber, FWhole from ") + table +
                   QStringLiteral(" order by FKey"))
            ->allRows();
    };
    const QList<QVariantList> byPlain = stored(QStringLiteral("TF_PlainRows"));
    QCOMPARE(byPlain.size(), 2 * rows.size());
    QCOMPARE(stored(QStringLiteral("TF_BoundRows")), byPlain);
    if (CurrentTestBackend() == TestBackend::SQLite) {
        // Storage classes too.
        const auto classes = [&](const QString& table) {
            return c
                .Query(QStringLiteral("select quote(FKey), quote(FText), quote(FNumber), quote(FWhole), "
                                      "typeof(FWhole) from ") +
                       table + QStringLiteral(" order by FKey"))
                ->allRows();
        };
        QCOMPARE(classes(QStringLiteral("TF_BoundRows")), classes(QStringLiteral("TF_PlainRows")));
    }
}

void TestCommon::scriptSplitterHonoursQuotesAndComments() {
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    RunSqlScript(*c,
                 QStringLiteral("create table T (A TEXT); -- a comment; with a semicolon\n"
                                "insert into T values ('a;b'); /* block; */ insert into T values ('--x');\n"
                                "insert into T values ('it''s');"));
    RecordsetPtr rs = c->Query(QStringLiteral("select A from T order by rowid"));
    QCOMPARE(rs->RecordCount(), 3);
    QCOMPARE(rs->value(0).toString(), QStringLiteral("a;b"));
    rs->MoveNext();
    QCOMPARE(rs->value(0).toString(), QStringLiteral("--x"));
    rs->MoveNext();
    QCOMPARE(rs->value(0).toString(), QStringLiteral("it's"));
    // A failing statement leaves nothing of the script behind.
    QVERIFY_THROWS_EXCEPTION(DbError, RunSqlScript(*c, QStringLiteral("insert into T values ('x'); bogus;")));
    QCOMPARE(c->Query(QStringLiteral("select count(*) from T"))->value(0).toInt(), 3);
}

void TestCommon::gbkReaderLinesAndRefusal() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    QByteArray bytes;
    QVERIFY(EncodeGbk(QStringLiteral("SJJK0201~~已开发票传出\r\n第二行\n\r\n"), bytes));
    bytes += QByteArray("\x81\x20", 2); // not GBK
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    GbkLineReader r;
    QVERIFY(r.open(path));
    QVERIFY(!r.isEmptyFile());
    QCOMPARE(r.readLine(), QStringLiteral("SJJK0201~~已开发票传出"));
    QCOMPARE(r.readLine(), QStringLiteral("第二行"));
    QCOMPARE(r.readLine(), QString());
    try {
        r.readLine();
        QFAIL("decoded bytes that are not GBK");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(QStringLiteral("第4行")));
    }
    QVERIFY(r.atEnd());
    QVERIFY_THROWS_EXCEPTION(DbError, r.readLine());
    QVERIFY(!GbkLineReader().open(dir.filePath(QStringLiteral("missing.txt"))));
}

void TestCommon::gbkEncoderRefusesUnmappable() {
    QByteArray out;
    QVERIFY(EncodeGbk(QStringLiteral("销售单据传入"), out));
    QCOMPARE(out.size(), 12);
    QVERIFY(!EncodeGbk(QStringLiteral("emoji \U0001F600"), out));
    QString back;
    QVERIFY(!DecodeGbk(QByteArray("\xC4", 1), back)); // a character cut in half
}

void TestCommon::parseConnProps_data() {
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

// Whatever the connection holds, the login text hands the same connection on: the password (and the
// driver, the file) read back from it are those that went in.
void TestCommon::loginTextKeepsTheConnection_data() {
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QString pg = QStringLiteral("Provider=PostgreSQL;Host=/tmp/s;Database=d;User ID=u;Password=");
    const QString odbc = QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=h;UID=u;PWD=");
    for (const char* password : {"pa}ss", "{pa", "a;b", "a=b", "x}}y", "}", "{}", "}}", " lead", "end}"}) {
        const QString pw = QString::fromUtf8(password);
        QTest::addRow("password '%s' as written by the sets", password)
            << pg + quotedConnectionValue(pw) << "Password" << pw;
        QTest::addRow("password '%s' of an ODBC string, last", password)
            << odbc + quotedConnectionValue(pw) << "PWD" << pw;
    }
    // As a user types it: not in braces, read up to the next ";".
    QTest::newRow("typed password with a brace") << pg + "pa}ss;Port=5432"
                                                 << "Password"
                                                 << "pa}ss";
    QTest::newRow("typed password with braces and =") << pg + "a{b}=c"
                                                      << "Password"
                                                      << "a{b}=c";
    QTest::newRow("driver in braces") << odbc + "x"
                                      << "Driver"
                                      << "PostgreSQL Unicode";
    QTest::newRow("file with braces and ;") << "Provider=SQLite;Data Source={/tmp/a{b}};c.db}"
                                            << "Data Source"
                                            << "/tmp/a{b};c.db";
}

void TestCommon::loginTextKeepsTheConnection() {
    QFETCH(QString, connection);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QVERIFY(BracesBalanced(normalizedConnectionString(connection)));
    const QString props = loginPropsText(connection, QStringLiteral("super"), QStringLiteral("甲;乙}"));
    const QString back = ParseConnProps(props, 0);
    QCOMPARE(ConnectionStringValue(back, key), value);
    QCOMPARE(ConnectionStringValue(back, QStringLiteral("Provider")),
             ConnectionStringValue(connection, QStringLiteral("Provider")));
    QCOMPARE(ParseConnProps(props, 1), QStringLiteral("super"));
    QCOMPARE(ParseConnProps(props, 2), QStringLiteral("甲;乙}"));
}

// The login text's connection opens the set with the password whole: on the cluster the role's password
// is checked, so a password cut short is refused (the last row shows that it would be).
void TestCommon::passwordsReachTheDatabase_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("given");
    QTest::newRow("braces") << "pa}ss{x"
                            << "pa}ss{x";
    QTest::newRow("doubled brace and brace last") << "a}}b}"
                                                  << "a}}b}";
    QTest::newRow("semicolon and equals") << "a;b=c"
                                          << "a;b=c";
    QTest::newRow("all of them") << "{;=}}"
                                 << "{;=}}";
    QTest::newRow("wrong password refused") << "Xq}Zw"
                                            << "Xq";
}

void TestCommon::passwordsReachTheDatabase() {
    QFETCH(QString, password);
    QFETCH(QString, given);
    TestDatabases db;
    QString conn = db.acctConnStringWithPassword(password);
    conn.replace(quotedConnectionValue(password), quotedConnectionValue(given));
    Session session;
    session.gsAcctProps = loginPropsText(conn, QStringLiteral("super"), QStringLiteral("甲"));
    const bool checked = db.onServer();
    try {
        ConnectionPtr c = session.OpenAcctConnection();
        QCOMPARE(c->Query(QStringLiteral("select count(*) from ICSale"))->RecordCount(), 1);
        QVERIFY2(password == given || !checked, "a wrong password was taken");
    } catch (const DbError& e) {
        QVERIFY2(password != given && checked, qPrintable(e.detailText()));
        // The refusal names neither password.
        QVERIFY(!e.detailText().contains(given));
        QVERIFY(!e.reportText().contains(given));
    }
}

void TestCommon::hidePasswords_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unknown provider")
        << "未找到提供程序。连接字符串: Provider=SQLNCLI11;Data Source=srv;User "
           "ID=sa;Password=s3cret;Initial Catalog=AIS"
        << "未找到提供程序。连接字符串: Provider=SQLNCLI11;Data Source=srv;User "
           "ID=sa;Initial Catalog=AIS";
    QTest::newRow("braced, with ; and }} inside") << "DSN=x;PWD={s3;c}}r};UID=u"
                                                  << "DSN=x;UID=u";
    QTest::newRow("first pair, any case, blanks") << "pwd = s3cret ;Server=s"
                                                  << "Server=s";
    QTest::newRow("last pair in a login text") << "{Provider=PostgreSQL;Password={s3}}c};};UserName=super"
                                               << "{Provider=PostgreSQL;};UserName=super";
    QTest::newRow("up to the end of the line") << "连接失败: password=s3cret\r\n详细信息"
                                               << "连接失败: \r\n详细信息";
    QTest::newRow("brace never closed") << "PASSWORD={s3cret;x=y"
                                        << "";
    QTest::newRow("two passwords") << "PWD=s3cret;Password=s3cret;A=1"
                                   << "A=1";
    QTest::newRow("nothing to hide") << "Provider=SQLite;Data Source=/tmp/a.db"
                                     << "Provider=SQLite;Data Source=/tmp/a.db";
}

void TestCommon::hidePasswords() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::hidePasswords(text), expected);
}

// A connection string with a password that the program cannot use (what users of the accounting product
// type) is named in the message, the log and the detail line, its password in none of them.
void TestCommon::noPasswordInMessagesOrLog() {
    const QString secret = QStringLiteral("s3c}r;et");
    const QString conn = QStringLiteral("Provider=SQLNCLI11;Data Source=srv;User ID=sa;Password=") +
                         quotedConnectionValue(secret) + QStringLiteral(";Initial Catalog=AIS");
    QFile::remove(FailureLogPath());
    RecorderSink sink;
    Session session;
    session.gsAcctProps = loginPropsText(conn, QStringLiteral("super"), QStringLiteral("甲"));
    try {
        session.OpenAcctConnection();
        QFAIL("an unknown provider was opened");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(QStringLiteral("Provider=SQLNCLI11;Data Source=srv")));
        QVERIFY(!QString::fromUtf8(e.what()).contains(QStringLiteral("s3c")));
        ShowErr(QStringLiteral("Main"), e);
        ShowErr(QStringLiteral("Main"), static_cast<const std::exception&>(e));
        ReportCause(QStringLiteral("Main"), DbError(e.number(), e.description(), conn, QString()));
    }
    ShowMsg(QStringLiteral("无法登录账套“%1”").arg(conn));
    QVERIFY(AskYesNo(conn) == false);
    QVERIFY(sink.entries.size() >= 4);
    for (const auto& entry : std::as_const(sink.entries)) {
        QVERIFY2(!entry.text.contains(QStringLiteral("s3c")), qPrintable(entry.text));
        QVERIFY(entry.text.contains(QStringLiteral("SQLNCLI11")));
    }
    QFile log(FailureLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    QVERIFY(logged.contains(QStringLiteral("SQLNCLI11")));
    QVERIFY2(!logged.contains(QStringLiteral("s3c")), qPrintable(logged));
}

// The log may name the user's servers: made for the user alone, and one made open by an earlier version
// is closed at the next failure.
void TestCommon::failureLogIsTheUsersAlone() {
    const QString path = FailureLogPath();
    QFile::remove(path);
    const QFileDevice::Permissions own = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QFileDevice::Permissions anyone = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther |
                                            QFileDevice::ExeOwner;
    LogFailure(QStringLiteral("Main"), DbError(1, QStringLiteral("第一次")));
    QCOMPARE(QFile::permissions(path) & (own | anyone), own);
    QVERIFY(QFile::setPermissions(path, own | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    LogFailure(QStringLiteral("Main"), DbError(2, QStringLiteral("第二次")));
    QCOMPARE(QFile::permissions(path) & (own | anyone), own);
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 2);
}

// Rows written through SQLite's own library are stored as Qt's driver stores the same values: the same
// storage class and the same value, type by type.
void TestCommon::directRowsStoredAsQtStoresThem_data() {
    QTest::addColumn<QVariant>("value");
    QTest::newRow("text") << QVariant(QStringLiteral("发票 A\t1"));
    QTest::newRow("empty text") << QVariant(QStringLiteral(""));
    QTest::newRow("null text (written empty)") << QVariant(QString());
    QTest::newRow("typed null text") << QVariant(QMetaType(QMetaType::QString));
    QTest::newRow("typed null number") << QVariant(QMetaType(QMetaType::Double));
    QTest::newRow("invalid") << QVariant();
    QTest::newRow("int") << QVariant(-7);
    QTest::newRow("bool") << QVariant(true);
    QTest::newRow("long long") << QVariant(qlonglong(1) << 40);
    QTest::newRow("unsigned") << QVariant(4000000000u);
    QTest::newRow("double") << QVariant(0.1 + 0.2);
    QTest::newRow("float") << QVariant(1.5f);
    QTest::newRow("date") << QVariant(QDate(2026, 1, 8));
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2026, 1, 8), QTime(9, 5, 7, 12)));
    QTest::newRow("time") << QVariant(QTime(23, 59, 1, 2));
    QTest::newRow("bytes") << QVariant(QByteArray("\x00\x01z", 3));
    QTest::newRow("number text") << QVariant(QStringLiteral("12.50"));
}

void TestCommon::directRowsStoredAsQtStoresThem() {
    QFETCH(QVariant, value);
    if (CurrentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    QVERIFY(c->CanInsertDirectly());
    // Columns of every affinity: text, numeric, integer, real and none.
    c->Execute(QStringLiteral("create table P (FWay integer, FText text, FNum numeric, FInt integer, "
                              "FReal real, FAny)"));
    const QStringList columns{"FWay", "FText", "FNum", "FInt", "FReal", "FAny"};
    {
        TransactionGuard tx(*c);
        c->Execute(
            QStringLiteral("insert into P (FWay, FText, FNum, FInt, FReal, FAny) values (?,?,?,?,?,?)"),
            {1, value, value, value, value, value});
        const QVariant way(2);
        c->InsertRows(QStringLiteral("P"), columns, 1,
                      [&](qsizetype, int col) -> const QVariant& { return col == 0 ? way : value; });
        // The same value taken out of its QVariant as a bound value.
        const BoundRowBatch::Value bound = BoundRowBatch::FromVariant(value);
        QCOMPARE(BoundRowBatch::ToVariant(bound), value);
        const std::vector<BoundRowBatch::Value> row{qint64(3), bound, bound, bound, bound, bound};
        c->InsertRows(QStringLiteral("P"), columns, {0, 1, 2, 3, 4, 5}, 1,
                      [&](qsizetype) { return row.data(); });
        tx.commit();
    }
    QString select = QStringLiteral("select ");
    for (const QString& col : columns.mid(1))
        select += QStringLiteral("typeof(%1) || ':' || quote(%1), ").arg(col);
    const RecordsetPtr rs = c->Query(select + QStringLiteral("FWay from P order by FWay"));
    QCOMPARE(rs->RecordCount(), 3);
    const QList<QVariantList> rows = rs->allRows();
    QCOMPARE(rows[1].mid(0, 5), rows[0].mid(0, 5));
    QCOMPARE(rows[1].value(5).toInt(), 2);
    QCOMPARE(rows[2].mid(0, 5), rows[0].mid(0, 5));
}

// Several rows of one call, their texts in the room of their row: each row keeps its own texts, whatever
// the length of the rows before it, as Qt's driver stores them.
void TestCommon::directRowsKeepEveryText_data() {
    QTest::addColumn<QStringList>("texts"); // one row each
    const QString longText = QString(70000, QChar(0x7968)) + QStringLiteral("尾");
    QTest::newRow("short, then long") << QStringList{QStringLiteral("发票"), longText, QStringLiteral("x")};
    QTest::newRow("long, then short") << QStringList{longText, QStringLiteral("y"), QString()};
    QTest::newRow("empty and null") << QStringList{QStringLiteral(""), QString()};
    QTest::newRow("beyond the first plane") << QStringList{QStringLiteral("𠀀𠀁"), QStringLiteral("a😀b")};
    QTest::newRow("lone surrogates") << QStringList{QString(QChar(0xd800)) + u'x', QString(QChar(0xdc00)),
                                                    QStringLiteral("z")};
}

void TestCommon::directRowsKeepEveryText() {
    QFETCH(QStringList, texts);
    if (CurrentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->Execute(QStringLiteral("create table P (FWay integer, FRow integer, FA text, FB, FNum real)"));
    // Two texts a row: its own and that of the row at the other end.
    QList<QVariantList> rows;
    for (int r = 0; r < texts.size(); ++r)
        rows.append({2, r, texts[r], texts[texts.size() - 1 - r], r + 0.5});
    {
        TransactionGuard tx(*c);
        for (const QVariantList& row : std::as_const(rows))
            c->Execute(QStringLiteral("insert into P (FWay, FRow, FA, FB, FNum) values (?,?,?,?,?)"),
                       {1, row[1], row[2], row[3], row[4]});
        c->InsertRows(QStringLiteral("P"), {"FWay", "FRow", "FA", "FB", "FNum"}, rows.size(),
                      [&](qsizetype r, int col) -> const QVariant& { return rows[r][col]; });
        tx.commit();
    }
    const auto stored = [&](int way) {
        return c
            ->Query(QStringLiteral("select typeof(FA) || ':' || hex(FA), typeof(FB) || ':' || hex(FB), "
                                   "typeof(FNum) || ':' || quote(FNum) from P where FWay=? order by FRow"),
                    {way})
            ->allRows();
    };
    const QList<QVariantList> byQt = stored(1);
    QCOMPARE(byQt.size(), texts.size());
    QCOMPARE(stored(2), byQt);
}

// Head values of the export that are dates are written as YYYYMMDD; everything else as it stands.
void TestCommon::dateValues_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("date"); // empty: no date
    QTest::newRow("iso date") << QVariant("2026-01-08") << "20260108";
    QTest::newRow("short month and day") << QVariant("2026-1-8") << "20260108";
    QTest::newRow("slashes") << QVariant("2026/1/8") << "20260108";
    QTest::newRow("dots") << QVariant(" 2026.01.08 ") << "20260108";
    QTest::newRow("with a time") << QVariant("2026-01-08 13:05:00") << "20260108";
    QTest::newRow("with a T and a time") << QVariant("2026-01-08T13:05:00") << "20260108";
    QTest::newRow("with milliseconds") << QVariant("2026-01-08 13:05:00.250") << "20260108";
    QTest::newRow("slashes with a short hour") << QVariant("2026/1/8 9:05:00") << "20260108";
    QTest::newRow("a date value") << QVariant(QDate(2026, 2, 28)) << "20260228";
    QTest::newRow("no such day") << QVariant("2026-02-30") << "";
    QTest::newRow("mixed separators") << QVariant("2026-01/08") << "";
    QTest::newRow("tax number starting with digits") << QVariant("91330106MA27XK3P5D") << "";
    QTest::newRow("eight digits") << QVariant("20260108") << "";
    QTest::newRow("hour out of range") << QVariant("2026-01-08 25:00:00") << "";
    QTest::newRow("time after dots") << QVariant("2026.01.08 10:00:00") << "";
    QTest::newRow("trailing text") << QVariant("2026-01-08 x") << "";
    QTest::newRow("a number") << QVariant(20260108.0) << "";
}

void TestCommon::dateValues() {
    QFETCH(QVariant, value);
    QFETCH(QString, date);
    QDate d;
    const bool isDate = TryDateValue(value, d);
    QCOMPARE(isDate ? d.toString(QStringLiteral("yyyyMMdd")) : QString(), date);
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
    QCOMPARE(ConnectFailureReason(driverText), reason);
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
    QCOMPARE(ConnectionStringValue(text, key), expected);
}

void TestCommon::parseConnProps() {
    QFETCH(QString, props);
    QFETCH(int, part);
    QFETCH(QString, expected);
    QCOMPARE(ParseConnProps(props, part), expected);
}

void TestCommon::oldConfigFileGainsTheNewColumns() {
    // A Taxlink.db of before the per-link limits: its links stay as they are, the new columns empty.
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    RunSqlScript(*c, QStringLiteral(
                         "create table t_BaseInfo (FID INTEGER PRIMARY KEY, FName TEXT, FInvioceType "
                         "INTEGER, FSeperator TEXT, FMemo TEXT, FDate TEXT, FInOrOut TEXT);"
                         "insert into t_BaseInfo values (1, '专用发票', 0, '~~', '备注', '2020-01-01', '0');"
                         "insert into t_BaseInfo values (7, '我的关联', 2, '|', '', '2021-05-06', '0');"
                         "create table t_TaxField (Fid INTEGER PRIMARY KEY, Fname TEXT, FFieldType TEXT, "
                         "FisHead BOOLEAN); insert into t_TaxField values (1, '单据号', '1', 1);"));
    UpgradeConfigSchema(*c);
    UpgradeConfigSchema(*c); // again: nothing more to do
    const RecordsetPtr rs = c->Query(QStringLiteral("select FID, FName, FSeperator, FMaxLines, FMaxAmount, "
                                                    "FUseList, FFormat, FPrefixShortName, FMergeBuyer, "
                                                    "FMergeLines from t_BaseInfo order by FID"));
    QCOMPARE(rs->RecordCount(), 2);
    QCOMPARE(rs->allRows()[1].mid(0, 3), (QVariantList{7, QStringLiteral("我的关联"), QStringLiteral("|")}));
    for (const QVariantList& row : rs->allRows())
        for (int c = 3; c < row.size(); ++c)
            QVERIFY(row[c].isNull());
    QCOMPARE(c->Query(QStringLiteral("select Fname || '/' || coalesce(FFormat, '') from t_TaxField"))
                 ->value(0)
                 .toString(),
             QStringLiteral("单据号/"));
    // The program's own tables of later versions are there, empty.
    QCOMPARE(c->Query(QStringLiteral("select count(*) from t_PlatformTemplate"))->value(0).toInt(), 0);
    c->Execute(
        QStringLiteral("update t_BaseInfo set FMaxLines=8, FMaxAmount=99999.99, FUseList=1 where FID=7"));
    QCOMPARE(c->Query(QStringLiteral("select FMaxAmount from t_BaseInfo where FID=7"))->value(0).toDouble(),
             99999.99);
}

void TestCommon::platformLinksGainTheDocNoInRemark() {
    // A Taxlink.db with links of every format: the platform's write the 单据号 into 备注 from now on.
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    RunSqlScript(
        *c,
        QStringLiteral("create table t_BaseInfo (FID INTEGER PRIMARY KEY, FName TEXT, FInvioceType "
                       "INTEGER, FSeperator TEXT, FMemo TEXT, FDate TEXT, FInOrOut TEXT, FFormat TEXT);"
                       "insert into t_BaseInfo values (1, '专用发票', 0, '~~', '', '2020-01-01', '0', null);"
                       "insert into t_BaseInfo values (2, '平台', 0, '', '', '2026-01-01', '0', 'xlsx');"
                       "insert into t_BaseInfo values (3, 'XML', 2, '', '', '2026-01-01', '0', 'xml');"));
    UpgradeConfigSchema(*c);
    c->Execute(QStringLiteral("update t_BaseInfo set FDocNoInRemark=0 where FID=2"));
    UpgradeConfigSchema(*c); // again: the user's choice stays
    QCOMPARE(c->Query(QStringLiteral("select group_concat(FID || '=' || FDocNoInRemark) from t_BaseInfo"))
                 ->value(0)
                 .toString(),
             QStringLiteral("1=0,2=0,3=0"));
    c->Execute(QStringLiteral("alter table t_BaseInfo drop column FDocNoInRemark"));
    UpgradeConfigSchema(*c);
    QCOMPARE(c->Query(QStringLiteral("select group_concat(FID || '=' || FDocNoInRemark) from t_BaseInfo"))
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
    const QString factory = db.config->Query(head)->value(0).toString();
    const QString factoryBody = db.config->Query(body)->value(0).toString();
    QCOMPARE(db.config->Query(QStringLiteral("select count(*) from t_ImportField where FisHead=1"))
                 ->value(0)
                 .toInt(),
             24);
    RunSqlScript(
        *db.config,
        QStringLiteral(
            "delete from t_ImportField where FisHead=1;"
            "insert into t_ImportField values ('发票种类',1,1,1,'2','0,2'),('类别代码',1,2,0,'0',''),"
            "('发票号码',1,3,0,'0',''),('开票日期',1,4,0,'0',''),('购方名称',1,5,0,'0',''),"
            "('购方税号',1,6,0,'0',''),('购方地址电话',1,7,0,'0',''),('购方银行帐号',1,8,0,'0',''),"
            "('不含税金额',1,9,0,'0',''),('税额',1,10,0,'0',''),('商品明细行数',1,11,0,'0',''),"
            "('作废标识',1,12,1,'2','0,1'),('开票人',1,13,0,'0',''),('复核人',1,14,0,'0',''),"
            "('收款人',1,15,0,'0',''),('备注',1,16,0,'0','')"));
    if (!change.isEmpty()) db.config->Execute(change);
    const QString before = db.config->Query(head)->value(0).toString();
    UpgradeConfigSchema(*db.config);
    UpgradeConfigSchema(*db.config); // again: nothing more to do
    QCOMPARE(db.config->Query(head)->value(0).toString(), switched ? factory : before);
    QCOMPARE(db.config->Query(body)->value(0).toString(), factoryBody);
}

void TestCommon::olderLedgerIsUpgradedKeepingEveryRow() {
    // A ledger of an earlier version, where two exports at once recorded the same invoice twice.
    TestDatabases db;
    Connection& acct = *db.acct;
    acct.Execute(
        QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), FTaxCode "
                       "varchar(40), FTaxNumber varchar(40), FInterID integer, FBillNo varchar(80), FLinkID "
                       "integer, FFileName varchar(255), FTime varchar(20), FUserName varchar(80))"));
    const QString insert =
        QStringLiteral("insert into TF_Ledger (FDirection, FBillNo, FTime) values (?, ?, ?)");
    acct.Execute(insert, {0, QStringLiteral("ZP01"), QStringLiteral("2026-01-05 10:00:00")});
    acct.Execute(insert, {0, QStringLiteral("ZP01"), QStringLiteral("2026-01-05 10:00:02")});
    acct.Execute(insert, {0, QStringLiteral("ZP02"), QStringLiteral("2026-01-05 10:00:00")});
    acct.Execute(insert, {1, QStringLiteral("ZP03"), QStringLiteral("2026-01-06 09:00:00")});
    Ledger::Ensure(acct);
    Ledger::Ensure(acct); // again: nothing more to do
    const RecordsetPtr rs = acct.Query(QStringLiteral(
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
                             acct.Execute(QStringLiteral("insert into TF_Ledger (FDirection, FBillNo, "
                                                         "FDocNo, FState) values (0, 'ZP01', 'ZP01', 0)")));
    acct.Execute(QStringLiteral(
        "insert into TF_Ledger (FDirection, FBillNo, FDocNo, FState) values (0, 'ZP01', 'ZP01', 2)"));
}

QTEST_GUILESS_MAIN(TestCommon)
#include "test_common.moc"
