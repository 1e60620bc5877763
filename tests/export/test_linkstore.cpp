// The link store: numbering, rewrite of an edited link, rollback, factory mappings, delete.
#include "common/modDefine.h"
#include "links/clsSaveData.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

namespace {

FieldMap Head(const QVariant& fid, const QString& name, const QString& sep = QStringLiteral("~~")) {
    FieldMap h;
    if (fid.isValid()) h.Set(QStringLiteral("FID"), fid);
    h.Set(QStringLiteral("FName"), name);
    h.Set(QStringLiteral("FInvioceType"), 0);
    h.Set(QStringLiteral("FSeperator"), sep);
    h.Set(QStringLiteral("FMemo"), QString());
    h.Set(QStringLiteral("FDate"), QStringLiteral("2026-03-01"));
    h.Set(QStringLiteral("FInOrOut"), QStringLiteral("0"));
    return h;
}

FieldMap Detail(int taxId, const QString& qor, bool isHead) {
    FieldMap d;
    d.Set(QStringLiteral("FTaxID"), taxId);
    d.Set(QStringLiteral("FisFormula"), false);
    d.Set(QStringLiteral("FQORField"), qor);
    d.Set(QStringLiteral("FisHead"), isHead);
    return d;
}

// "FBaseInfoID:FTaxID:FQORField" of every mapping row, in FID order.
QStringList DetailRows(Connection& c) {
    QStringList out;
    const RecordsetPtr rs =
        c.Query(QStringLiteral("select FBaseInfoID, FTaxID, FQORField from t_Detail order by FID"));
    for (; !rs->EOF_(); rs->MoveNext())
        out << rs->value(0).toString() + u':' + rs->value(1).toString() + u':' + rs->value(2).toString();
    return out;
}

QStringList LinkRows(Connection& c) {
    QStringList out;
    const RecordsetPtr rs =
        c.Query(QStringLiteral("select FID, FName, FSeperator from t_BaseInfo order by FID"));
    for (; !rs->EOF_(); rs->MoveNext())
        out << rs->value(0).toString() + u':' + rs->value(1).toString() + u':' + rs->value(2).toString();
    return out;
}

void AddLinkRow(Connection& c, int fid, const QString& name) {
    c.Execute(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (?, ?, '0')"),
              {fid, name});
    c.Execute(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) "
                             "values (?, 1, 0, '1', 1)"),
              {fid});
}

} // namespace

class TestLinkStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newLinkNumbering_data() {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<QString>("expectedId");
        QTest::newRow("empty table gives 1") << QList<int>{} << "1";
        QTest::newRow("largest 7 gives 8 although 1..6 are free") << QList<int>{3, 7} << "8";
    }
    void newLinkNumbering() {
        QFETCH(QList<int>, existing);
        QFETCH(QString, expectedId);
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        db.config->Execute(QStringLiteral("delete from t_BaseInfo"));
        db.config->Execute(QStringLiteral("delete from t_Detail"));
        for (int id : existing)
            AddLinkRow(*db.config, id, QStringLiteral("旧%1").arg(id));
        RecordList rl;
        rl.Add(Head(QStringLiteral("0"), QStringLiteral("新关联")));
        rl.Add(Detail(1, QStringLiteral("1"), true));
        rl.Add(Detail(13, QStringLiteral("21"), false));
        QVERIFY(clsSaveData().SaveLink(rl, 0));
        QVERIFY(sink.entries.isEmpty());
        QVERIFY(LinkRows(*db.config).contains(expectedId + QStringLiteral(":新关联:~~")));
        const QStringList rows = DetailRows(*db.config);
        QCOMPARE(rows.mid(rows.size() - 2), (QStringList{expectedId + ":1:1", expectedId + ":13:21"}));
    }

    void editRewritesOnlyThatLink() {
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        db.config->Execute(QStringLiteral("delete from t_BaseInfo"));
        db.config->Execute(QStringLiteral("delete from t_Detail"));
        AddLinkRow(*db.config, 2, QStringLiteral("二"));
        AddLinkRow(*db.config, 3, QStringLiteral("三"));
        AddLinkRow(*db.config, 4, QStringLiteral("四"));
        RecordList rl;
        rl.Add(Head(3, QStringLiteral("三改"), QStringLiteral("   ")));
        rl.Add(Detail(1, QStringLiteral("1"), true));
        rl.Add(Detail(3, QStringLiteral("3"), true));
        rl.Add(Detail(13, QStringLiteral("21"), false));
        QVERIFY(clsSaveData().SaveLink(rl, 1));
        QVERIFY(sink.entries.isEmpty());
        // A separator of blanks is trimmed to an empty text like every other value.
        QCOMPARE(LinkRows(*db.config), (QStringList{"2:二:", "3:三改:", "4:四:"}));
        QCOMPARE(DetailRows(*db.config), (QStringList{"2:1:1", "4:1:1", "3:1:1", "3:3:3", "3:13:21"}));
    }

    void failureRollsBackEverything_data() {
        QTest::addColumn<bool>("withFid");
        QTest::addColumn<QString>("message");
        QTest::newRow("edit without FID")
            << false << "调用(SaveLink)出错!\r\n错误编号:-2147217900,错误原因:关联标识“”不是有效的整数。";
        QTest::newRow("refused mapping row after the deletes")
            << true << "调用(SaveLink)出错!\r\n错误编号:1811,错误原因:映射被拒绝";
    }
    void failureRollsBackEverything() {
        QFETCH(bool, withFid);
        QFETCH(QString, message);
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        db.config->Execute(
            QStringLiteral("create trigger refuse before insert on t_Detail when NEW.FTaxID=999 "
                           "begin select raise(abort, '映射被拒绝'); end"));
        const QStringList linksBefore = LinkRows(*db.config);
        const QStringList detailBefore = DetailRows(*db.config);
        RecordList rl;
        rl.Add(Head(withFid ? QVariant(1) : QVariant(), QStringLiteral("改")));
        rl.Add(Detail(1, QStringLiteral("1"), true));
        rl.Add(Detail(999, QStringLiteral("21"), false));
        QVERIFY(!clsSaveData().SaveLink(rl, 1));
        QCOMPARE(sink.texts(), QStringList{message});
        QCOMPARE(LinkRows(*db.config), linksBefore);
        QCOMPARE(DetailRows(*db.config), detailBefore);
        QVERIFY(!db.config->InTransaction());
    }

    void defaultDetailReplacesAllMappings() {
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        AddLinkRow(*db.config, 5, QStringLiteral("自建"));
        const int factory =
            db.config->Query(QStringLiteral("select count(*) from t_DefaultDetail"))->value(0).toInt();
        QVERIFY(clsSaveData().LoadTaxDefaultDetail());
        QVERIFY(sink.entries.isEmpty());
        QCOMPARE(db.config->Query(QStringLiteral("select count(*) from t_Detail"))->value(0).toInt(),
                 factory);
        QCOMPARE(db.config->Query(QStringLiteral("select count(*) from t_Detail where FBaseInfoID=5"))
                     ->value(0)
                     .toInt(),
                 0);
        QVERIFY(LinkRows(*db.config).contains(QStringLiteral("5:自建:")));
    }

    void taxFieldsSavedAndRestored() {
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        RecordList fields;
        FieldMap f;
        f.Set(QStringLiteral("Fid"), 1);
        f.Set(QStringLiteral("Fname"), QStringLiteral(" 单据号 "));
        f.Set(QStringLiteral("FFieldType"), QStringLiteral("1"));
        f.Set(QStringLiteral("FisHead"), true);
        fields.Add(f);
        QVERIFY(clsSaveData().SaveTaxField(fields));
        RecordsetPtr rs = db.config->Query(QStringLiteral("select Fid, Fname from t_TaxField"));
        QCOMPARE(rs->RecordCount(), 1);
        QCOMPARE(rs->value(1).toString(), QStringLiteral("单据号"));
        QVERIFY(clsSaveData().LoadTaxDefaultField());
        QCOMPARE(
            db.config->Query(QStringLiteral("select count(*) from t_TaxField"))->value(0).toInt(),
            db.config->Query(QStringLiteral("select count(*) from t_TaxDefaultField"))->value(0).toInt());
        QVERIFY(sink.entries.isEmpty());
    }

    void deleteLink_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("existing link") << "1" << true << QStringList{};
        QTest::newRow("no such link commits") << "42" << true << QStringList{};
        QTest::newRow("not a number is refused")
            << "1 or 1=1" << false
            << QStringList{"调用(DeleteLink)出错!\r\n错误编号:-2147217900,错误原因:关联标识“1 or "
                           "1=1”不是有效的整数。"};
    }
    void deleteLink() {
        QFETCH(QString, id);
        QFETCH(bool, result);
        QFETCH(QStringList, messages);
        TestDatabases db;
        db.installGlobals();
        RecorderSink sink;
        AddLinkRow(*db.config, 9, QStringLiteral("留下"));
        QCOMPARE(clsSaveData().DeleteLink(id), result);
        QCOMPARE(sink.texts(), messages);
        const bool gone = id == u"1";
        QCOMPARE(LinkRows(*db.config).contains(QStringLiteral("1:航天金税默认格式:~~")), !gone);
        QCOMPARE(DetailRows(*db.config).filter(QRegularExpression(QStringLiteral("^1:"))).isEmpty(), gone);
        QVERIFY(LinkRows(*db.config).contains(QStringLiteral("9:留下:")));
    }
};

QTEST_GUILESS_MAIN(TestLinkStore)
#include "test_linkstore.moc"
