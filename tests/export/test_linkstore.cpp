// The link store: numbering, rewrite of an edited link, rollback, factory mappings, delete.
#include "links/LinkStore.h"
#include "support/TestSupport.h"
#include <QtTest/QtTest>

namespace {

FieldMap head(const QVariant& fid, const QString& name, const QString& sep = QStringLiteral("~~")) {
    FieldMap h;
    if (fid.isValid()) h.set(QStringLiteral("FID"), fid);
    for (const auto& [k, v] : {std::pair<QString, QVariant>{"FName", name},
                               {"FInvioceType", 0},
                               {"FSeperator", sep},
                               {"FMemo", QString()},
                               {"FDate", "2026-03-01"},
                               {"FInOrOut", "0"}})
        h.set(k, v);
    return h;
}

FieldMap detail(int taxId, const QString& qor, bool isHead) {
    FieldMap d;
    for (const auto& [k, v] : {std::pair<QString, QVariant>{"FTaxID", taxId},
                               {"FisFormula", false},
                               {"FQORField", qor},
                               {"FisHead", isHead}})
        d.set(k, v);
    return d;
}

// The rows of a query, each as its values joined by ":".
QStringList rows(Connection& c, const QString& sql) {
    QStringList out;
    for (const RecordsetPtr rs = c.query(sql); !rs->atEnd(); rs->next()) {
        QStringList values;
        for (int i = 0; i < rs->fields().size(); ++i)
            values << rs->value(i).toString();
        out << values.join(u':');
    }
    return out;
}
QStringList detailRows(Connection& c) {
    return rows(c, QStringLiteral("select FBaseInfoID, FTaxID, FQORField from t_Detail order by FID"));
}
QStringList linkRows(Connection& c) {
    return rows(c, QStringLiteral("select FID, FName, FSeperator from t_BaseInfo order by FID"));
}

// Fresh databases as the program's connections, messages recorded.
struct Store {
    TestDatabases db;
    RecorderSink sink;
    // A link with one head mapping.
    void addLink(int id, const QString& name) {
        db.config->exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (?, ?, '0')"),
                        {id, name});
        db.config->exec(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, "
                                       "FisHead) values (?, 1, 0, '1', 1)"),
                        {id});
    }
};
} // namespace

class TestLinkStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void saveLink_data() {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<int>("isEdit");
        QTest::addColumn<QVariant>("fid");
        QTest::addColumn<QString>("bodyQor"); // "refuse" makes the database refuse the last row
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QString>("message");
        QTest::newRow("new link into an empty table gets 1")
            << QList<int>{} << 0 << QVariant("0") << "21" << QStringList{"1:新:~~"}
            << QStringList{"1:1:1", "1:13:21"} << "";
        QTest::newRow("largest 7 gives 8 although smaller ones are free")
            << QList<int>{3, 7} << 0 << QVariant("0") << "21" << QStringList{"3:旧3:", "7:旧7:", "8:新:~~"}
            << QStringList{"3:1:1", "7:1:1", "8:1:1", "8:13:21"} << "";
        // Also: a separator of blanks is trimmed to an empty text like every other value.
        QTest::newRow("edit rewrites exactly link 3")
            << QList<int>{2, 3, 4} << 1 << QVariant(3) << "21" << QStringList{"2:旧2:", "3:新:", "4:旧4:"}
            << QStringList{"2:1:1", "4:1:1", "3:1:1", "3:13:21"} << "";
        QTest::newRow("edit without FID is rolled back")
            << QList<int>{1} << 1 << QVariant() << "21" << QStringList{"1:旧1:"} << QStringList{"1:1:1"}
            << "调用(SaveLink)出错!\r\n错误编号:-2147217900,错误原因:关联标识“”不是有效的整数。";
        QTest::newRow("refused row after the deletes is rolled back")
            << QList<int>{1} << 1 << QVariant(1) << "refuse" << QStringList{"1:旧1:"} << QStringList{"1:1:1"}
            << "调用(SaveLink)出错!\r\n错误编号:1811,错误原因:映射被拒绝";
    }
    void saveLink() {
        QFETCH(QList<int>, existing);
        QFETCH(int, isEdit);
        QFETCH(QVariant, fid);
        QFETCH(QString, bodyQor);
        QFETCH(QStringList, links);
        QFETCH(QStringList, details);
        QFETCH(QString, message);
        Store s;
        Connection& c = *s.db.config;
        c.exec(QStringLiteral("delete from t_BaseInfo"));
        c.exec(QStringLiteral("delete from t_Detail"));
        c.exec(QStringLiteral("create trigger refuse before insert on t_Detail when NEW.FQORField='refuse' "
                              "begin select raise(abort, '映射被拒绝'); end"));
        for (int id : existing)
            s.addLink(id, QStringLiteral("旧%1").arg(id));
        RecordList rl;
        rl.add(head(fid, QStringLiteral("新"), isEdit ? QStringLiteral("   ") : QStringLiteral("~~")));
        rl.add(detail(1, QStringLiteral("1"), true));
        rl.add(detail(13, bodyQor, false));
        QCOMPARE(LinkStore(s.db.session).saveLink(rl, isEdit), message.isEmpty());
        QCOMPARE(s.sink.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(linkRows(c), links);
        QCOMPARE(detailRows(c), details);
        QVERIFY(!c.inTransaction());
    }

    // 格式引入 gives the factory links their factory mappings back; the user's own links keep theirs,
    // also when one of their rows holds a number the factory rows carry.
    void defaultDetailKeepsUserLinks_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("factoryNumbers");
        QTest::newRow("user link beside the factory link") << "" << true;
        QTest::newRow("factory link changed by the user")
            << "update t_Detail set FQORField='2' where FBaseInfoID=1 and FTaxID=1" << true;
        QTest::newRow("user row holding a factory number")
            << "delete from t_Detail where FBaseInfoID=1; update t_Detail set FID=3 where FBaseInfoID=5"
            << false;
    }
    void defaultDetailKeepsUserLinks() {
        QFETCH(QString, setup);
        QFETCH(bool, factoryNumbers);
        Store s;
        s.addLink(5, QStringLiteral("自建"));
        for (const QString& st : setup.split(u';', Qt::SkipEmptyParts))
            s.db.config->exec(st);
        const QString own =
            QStringLiteral("select FID,FTaxID,FQORField,FisHead from t_Detail where FBaseInfoID=5");
        const QStringList userRows = rows(*s.db.config, own);
        const QString factoryOf = QStringLiteral("select FBaseInfoID,FTaxID,FisFormula,FQORField,FisHead%1 "
                                                 "from %2 where FBaseInfoID<>5 order by FID");
        const QStringList factory = rows(*s.db.config, factoryOf.arg(",FID", "t_DefaultDetail"));
        QVERIFY(LinkStore(s.db.session).loadTaxDefaultDetail());
        QVERIFY(s.sink.entries.isEmpty());
        QCOMPARE(rows(*s.db.config, own), userRows);
        if (factoryNumbers) {
            QCOMPARE(rows(*s.db.config, factoryOf.arg(",FID", "t_Detail")), factory);
        } else {
            // Numbered anew, in the factory's order.
            QCOMPARE(rows(*s.db.config, factoryOf.arg("", "t_Detail")),
                     rows(*s.db.config, factoryOf.arg("", "t_DefaultDetail")));
        }
        QCOMPARE(factoryLinkNames(*s.db.config), QStringList{QStringLiteral("航天金税默认格式")});
    }

    void taxFieldsSavedAndRestored() {
        Store s;
        RecordList fields;
        FieldMap f;
        for (const auto& [k, v] : {std::pair<QString, QVariant>{"Fid", 1},
                                   {"Fname", " 单据号 "},
                                   {"FFieldType", "1"},
                                   {"FisHead", true}})
            f.set(k, v);
        fields.add(f);
        // The headings of an installed platform template are no fields of the text file: they stay.
        s.db.config->exec(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) "
                                         "values (1001, '购买方名称', '1', 1, 'xlsx')"));
        const QString heading = QStringLiteral("1001:购买方名称");
        QVERIFY(LinkStore(s.db.session).saveTaxField(fields));
        QCOMPARE(rows(*s.db.config, QStringLiteral("select Fid, Fname from t_TaxField order by Fid")),
                 (QStringList{"1:单据号", heading}));
        QVERIFY(LinkStore(s.db.session).loadTaxDefaultField());
        QCOMPARE(rows(*s.db.config,
                      QStringLiteral("select Fid, Fname, FFieldType, FisHead from t_TaxField where Fid<1001 "
                                     "order by Fid")),
                 rows(*s.db.config, QStringLiteral("select * from t_TaxDefaultField order by Fid")));
        QCOMPARE(rows(*s.db.config, QStringLiteral("select Fid, Fname from t_TaxField where Fid=1001")),
                 QStringList{heading});
        QVERIFY(s.sink.entries.isEmpty());
    }

    void deleteLink_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("existing link") << "1" << QStringList{};
        QTest::newRow("no such link commits") << "42" << QStringList{};
        QTest::newRow("not a number is refused")
            << "1 or 1=1"
            << QStringList{"调用(DeleteLink)出错!\r\n错误编号:-2147217900,错误原因:关联标识“1 or "
                           "1=1”不是有效的整数。"};
    }
    void deleteLink() {
        QFETCH(QString, id);
        QFETCH(QStringList, messages);
        Store s;
        s.addLink(9, QStringLiteral("留下"));
        const QStringList links = linkRows(*s.db.config);
        const QStringList details = detailRows(*s.db.config);
        QCOMPARE(LinkStore(s.db.session).deleteLink(id), messages.isEmpty());
        QCOMPARE(s.sink.texts(), messages);
        const bool gone = id == u"1";
        QCOMPARE(linkRows(*s.db.config), gone ? links.filter(QRegularExpression("^(?!1:)")) : links);
        QCOMPARE(detailRows(*s.db.config), gone ? details.filter(QRegularExpression("^(?!1:)")) : details);
    }
};

QTEST_GUILESS_MAIN(TestLinkStore)
#include "test_linkstore.moc"
