// Rows written in batches and directly, stored as the database stores them.
#include "test_common.h"

#include "common/ConnectionPrivate.h"
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
// A statement run by Qt's own driver on the connection's database, each value as the connection gives
// it (a null text as an empty one): the reference the connection's direct statements are held to.
void qtExec(Connection& c, const QString& sql, const QVariantList& params) {
    QSqlQuery q(c.database());
    QVERIFY2(q.prepare(sql), qPrintable(q.lastError().text()));
    for (const QVariant& v : params)
        q.addBindValue(ConnectionPrivate::bindable(v));
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

QList<QVariantList> qtRows(Connection& c, const QString& sql) {
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    QList<QVariantList> rows;
    if (!q.exec(sql)) return rows;
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        rows << row;
    }
    return rows;
}

QList<QVariantList> directRows(Connection& c, const QString& sql) {
    QList<QVariantList> rows;
    c.forEachRow(sql, {}, nullptr, [&](const QVariantList& row) { rows << row; });
    return rows;
}

// Each value as Qt's driver reads it: the same type, the same null, the same value.
void compareRead(const QList<QVariantList>& got, const QList<QVariantList>& want) {
    QCOMPARE(got.size(), want.size());
    for (qsizetype r = 0; r < want.size(); ++r) {
        QCOMPARE(got[r].size(), want[r].size());
        for (qsizetype i = 0; i < want[r].size(); ++i) {
            QCOMPARE(got[r][i].typeId(), want[r][i].typeId());
            QCOMPARE(got[r][i].isNull(), want[r][i].isNull());
            QCOMPARE(got[r][i], want[r][i]);
        }
    }
}
} // namespace

void TestCommon::rowBatchWritesValuesAsGiven() {
    // On a server the rows stream in with COPY, elsewhere as INSERTs: what is read back is the same.
    TestDatabases db;
    Connection& c = *db.acct;
    c.exec(QStringLiteral("create table TF_BatchProbe (FText varchar(80), FNumber double precision, "
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
            RowBatch::Row row = batch.emptyRow();
            for (int col = 0; col < values.size(); ++col)
                if (col < 3 || values[col].isValid()) RowBatch::set(row, col, values[col]);
            batch.add(std::move(row));
        }
        batch.flush();
        tx.commit();
    }
    const RecordsetPtr rs =
        c.query(QStringLiteral("select FText, FNumber, FWhole, FOther from TF_BatchProbe order by FWhole"));
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
        RowBatch::Row row = batch.emptyRow();
        RowBatch::set(row, 0, QStringLiteral("没有整数"));
        batch.add(std::move(row));
        batch.flush();
        tx.commit();
    };
    QVERIFY_THROWS_EXCEPTION(DbError, refused());
    QCOMPARE(c.query(QStringLiteral("select count(*) from TF_BatchProbe"))->value(0).toInt(),
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
        c.exec(QStringLiteral("create table ") + table +
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
                RowBatch::Row p = plain.emptyRow();
                BoundRowBatch::Row b = bound.emptyRow();
                for (int col = 0; col < values.size(); ++col) {
                    if (!values[col].isValid()) continue;
                    RowBatch::set(p, col, values[col]);
                    BoundRowBatch::set(b, col, BoundRowBatch::fromVariant(values[col]));
                }
                plain.add(std::move(p));
                bound.add(std::move(b));
            }
            // The first row found again by its key and changed in memory, in both.
            BoundRowBatch::Row* first = bound.find(0, qint64(1 + 100 * round));
            QVERIFY(first);
            QVERIFY(!bound.find(0, qint64(99)));
            BoundRowBatch::set(*first, 2, 9.75);
            RowBatch::set(plain.at(0), 2, QVariant(9.75));
            plain.flush();
            bound.flush();
        }
        QCOMPARE(bound.pending(), 0);
        tx.commit();
    }
    const auto stored = [&](const QString& table) {
        return c
            .query(QStringLiteral("select FKey, FText, FNumber, FWhole from ") + table +
                   QStringLiteral(" order by FKey"))
            ->allRows();
    };
    const QList<QVariantList> byPlain = stored(QStringLiteral("TF_PlainRows"));
    QCOMPARE(byPlain.size(), 2 * rows.size());
    QCOMPARE(stored(QStringLiteral("TF_BoundRows")), byPlain);
    if (currentTestBackend() == TestBackend::SQLite) {
        // Storage classes too.
        const auto classes = [&](const QString& table) {
            return c
                .query(QStringLiteral("select quote(FKey), quote(FText), quote(FNumber), quote(FWhole), "
                                      "typeof(FWhole) from ") +
                       table + QStringLiteral(" order by FKey"))
                ->allRows();
        };
        QCOMPARE(classes(QStringLiteral("TF_BoundRows")), classes(QStringLiteral("TF_PlainRows")));
    }
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
    if (currentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    QVERIFY(c->runsDirectly());
    // Columns of every affinity: text, numeric, integer, real and none.
    c->exec(QStringLiteral("create table P (FWay integer, FText text, FNum numeric, FInt integer, "
                           "FReal real, FAny)"));
    const QStringList columns{"FWay", "FText", "FNum", "FInt", "FReal", "FAny"};
    const QString insert =
        QStringLiteral("insert into P (FWay, FText, FNum, FInt, FReal, FAny) values (?,?,?,?,?,?)");
    {
        TransactionGuard tx(*c);
        qtExec(*c, insert, {1, value, value, value, value, value});
        c->exec(insert, {4, value, value, value, value, value});
        const QVariant way(2);
        c->insertRows(QStringLiteral("P"), columns, 1,
                      [&](qsizetype, int col) -> const QVariant& { return col == 0 ? way : value; });
        // The same value taken out of its QVariant as a bound value.
        const BoundRowBatch::Value bound = BoundRowBatch::fromVariant(value);
        QCOMPARE(BoundRowBatch::toVariant(bound), value);
        const std::vector<BoundRowBatch::Value> row{qint64(3), bound, bound, bound, bound, bound};
        c->insertRows(QStringLiteral("P"), columns, {0, 1, 2, 3, 4, 5}, 1,
                      [&](qsizetype) { return row.data(); });
        tx.commit();
    }
    QString select = QStringLiteral("select ");
    for (const QString& col : columns.mid(1))
        select += QStringLiteral("typeof(%1) || ':' || quote(%1), ").arg(col);
    const RecordsetPtr rs = c->query(select + QStringLiteral("FWay from P order by FWay"));
    QCOMPARE(rs->recordCount(), 4);
    const QList<QVariantList> rows = rs->allRows();
    for (int way = 1; way < 4; ++way)
        QCOMPARE(rows[way].mid(0, 5), rows[0].mid(0, 5));
    QCOMPARE(rows[1].value(5).toInt(), 2);
    // Read back as Qt's driver reads them, whatever the column's affinity made of the value.
    const QString all = QStringLiteral("select FText, FNum, FInt, FReal, FAny, FWay from P order by FWay");
    compareRead(directRows(*c, all), qtRows(*c, all));
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
    if (currentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table P (FWay integer, FRow integer, FA text, FB, FNum real)"));
    // Two texts a row: its own and that of the row at the other end.
    QList<QVariantList> rows;
    for (int r = 0; r < texts.size(); ++r)
        rows.append({2, r, texts[r], texts[texts.size() - 1 - r], r + 0.5});
    {
        TransactionGuard tx(*c);
        for (const QVariantList& row : std::as_const(rows)) {
            qtExec(*c, QStringLiteral("insert into P (FWay, FRow, FA, FB, FNum) values (?,?,?,?,?)"),
                   {1, row[1], row[2], row[3], row[4]});
            c->exec(QStringLiteral("insert into P (FWay, FRow, FA, FB, FNum) values (?,?,?,?,?)"),
                    {3, row[1], row[2], row[3], row[4]});
        }
        c->insertRows(QStringLiteral("P"), {"FWay", "FRow", "FA", "FB", "FNum"}, rows.size(),
                      [&](qsizetype r, int col) -> const QVariant& { return rows[r][col]; });
        tx.commit();
    }
    const auto stored = [&](int way) {
        return c
            ->query(QStringLiteral("select typeof(FA) || ':' || hex(FA), typeof(FB) || ':' || hex(FB), "
                                   "typeof(FNum) || ':' || quote(FNum) from P where FWay=? order by FRow"),
                    {way})
            ->allRows();
    };
    const QList<QVariantList> byQt = stored(1);
    QCOMPARE(byQt.size(), texts.size());
    QCOMPARE(stored(2), byQt);
    QCOMPARE(stored(3), byQt);
    const QString all = QStringLiteral("select FA, FB, FNum from P order by FWay, FRow");
    compareRead(directRows(*c, all), qtRows(*c, all));
}

// A query read through a cursor gives the columns and rows Qt's driver gives: the names, the types from the
// declarations (or, without one, from the first row's values) and every value.
void TestCommon::directCursorReadsAsQt_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("declared columns") << QStringLiteral("select * from P order by FI");
    QTest::newRow("declared columns, no row") << QStringLiteral("select * from P where FI < 0");
    QTest::newRow("expressions") << QStringLiteral(
        "select FT || 'x' as \"A\", FI + 1, FR * 2, null, x'00ff', upper(FV) from P order by FI");
    QTest::newRow("expressions, no row")
        << QStringLiteral("select FT || 'x', FI + 1, null from P where FI < 0");
    QTest::newRow("a join with a value") << QStringLiteral(
        "select a.FI, b.FV, a.FN from P a join P b on b.FI = a.FI where a.FI > ? order by a.FI");
}

void TestCommon::directCursorReadsAsQt() {
    QFETCH(QString, sql);
    if (currentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral(
        "create table P (FI integer, FInt int, FD double, FF float, FR real, FN numeric(10,2), FB blob, "
        "FBool boolean, FBo bool, FV varchar(20), FT text, FAny)"));
    const QString insert = QStringLiteral("insert into P values (?,?,?,?,?,?,?,?,?,?,?,?)");
    c->exec(insert, {1, 2, 0.5, 1.25, 3, QStringLiteral("12.50"), QByteArray("\x01z", 2), true, 0,
                     QStringLiteral("发票"), QString(), 7});
    c->exec(insert, {2, QVariant(), QStringLiteral("x"), 4, 0.1 + 0.2, 5, QVariant(), QVariant(),
                     QStringLiteral("1"), QStringLiteral("b"), QStringLiteral("尾"), QStringLiteral("t")});
    const QVariantList params = sql.contains(u'?') ? QVariantList{0} : QVariantList();
    QSqlQuery q(c->database());
    q.setForwardOnly(true);
    QVERIFY(q.prepare(sql));
    for (const QVariant& v : params)
        q.addBindValue(v);
    QVERIFY(q.exec());
    const QList<FieldInfo> qtFields = ConnectionPrivate::fieldsOf(q.record());
    QList<QVariantList> qtRead;
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < qtFields.size(); ++i)
            row << q.value(i);
        qtRead << row;
    }
    const std::unique_ptr<Connection::Cursor> cursor = c->openCursor(sql, params);
    QCOMPARE(cursor->fields().size(), qtFields.size());
    for (int i = 0; i < qtFields.size(); ++i) {
        QCOMPARE(cursor->fields()[i].name, qtFields[i].name);
        QCOMPARE(cursor->fields()[i].type, qtFields[i].type);
        QCOMPARE(cursor->fields()[i].length, qtFields[i].length);
    }
    QList<QVariantList> read;
    for (QVariantList row; cursor->next(row);)
        read << row;
    QVariantList after;
    QVERIFY(!cursor->next(after)); // stays at its end
    compareRead(read, qtRead);
}

// A statement SQLite refuses through the connection fails as it fails through Qt's driver: the same
// number and cause, nothing written; a second statement after the first is never run.
void TestCommon::directStatementsFailAsQtFails_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<bool>("asQt"); // Qt's driver refuses it too, with the same number and cause
    QTest::newRow("unique key taken") << QStringLiteral("insert into P (FKey, FText) values (?, ?)")
                                      << QVariantList{1, QStringLiteral("again")} << true;
    QTest::newRow("not null") << QStringLiteral("insert into P (FKey, FText) values (?, ?)")
                              << QVariantList{QVariant(), QStringLiteral("x")} << true;
    QTest::newRow("no such table") << QStringLiteral("update Q set FText=? where FKey=?")
                                   << QVariantList{QStringLiteral("x"), 1} << true;
    QTest::newRow("no such column") << QStringLiteral("update P set FNone=? where FKey=?")
                                    << QVariantList{QStringLiteral("x"), 1} << true;
    QTest::newRow("a second statement") << QStringLiteral("update P set FText=? where FKey=?; delete from P")
                                        << QVariantList{QStringLiteral("x"), 1} << true;
    QTest::newRow("values for no placeholder") << QStringLiteral("update P set FText=? where FKey=?")
                                               << QVariantList{QStringLiteral("x"), 1, 2} << true;
    QTest::newRow("a placeholder without a value")
        << QStringLiteral("update P set FText=? where FKey=?") << QVariantList{QStringLiteral("x")} << true;
}

void TestCommon::directStatementsFailAsQtFails() {
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    QFETCH(bool, asQt);
    if (currentTestBackend() != TestBackend::SQLite) QSKIP("SQLite's own library is used on SQLite only");
    QTemporaryDir dir;
    ConnectionPtr c = emptyDb(dir);
    c->exec(QStringLiteral("create table P (FKey integer not null unique, FText text)"));
    c->exec(QStringLiteral("insert into P (FKey, FText) values (?, ?)"), {1, QStringLiteral("first")});
    const QString rows = QStringLiteral("select FKey, FText from P order by FKey");
    const QList<QVariantList> before = directRows(*c, rows);
    std::optional<DbError> direct;
    try {
        c->exec(sql, params);
    } catch (const DbError& e) {
        direct = e;
    }
    QVERIFY(direct.has_value());
    QCOMPARE(directRows(*c, rows), before);
    if (asQt) {
        QSqlQuery q(c->database());
        bool ok = q.prepare(sql);
        for (const QVariant& v : params)
            q.addBindValue(v);
        ok = ok && q.exec();
        QVERIFY(!ok);
        const DbError byQt = ConnectionPrivate::sqlError(q.lastError(), sql, QString());
        QCOMPARE(direct->number(), byQt.number());
        if (!sql.contains(u';')) QCOMPARE(direct->description(), byQt.description());
    }
    // The connection goes on: the same statement, put right, runs.
    QCOMPARE(c->exec(QStringLiteral("update P set FText=? where FKey=?"), {QStringLiteral("on"), 1}), 1);
    // A read refused the same way.
    QVERIFY_THROWS_EXCEPTION(DbError, directRows(*c, QStringLiteral("select * from P; delete from P")));
    QCOMPARE(directRows(*c, QStringLiteral("select count(*) from P")).value(0).value(0).toInt(), 1);
}
