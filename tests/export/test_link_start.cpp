// What a new link starts from: a workbook link with the template's known columns mapped as the factory
// link maps the same fields, a text link with the factory link's fields; and the column list a workbook
// link picks from, each entry told apart.
#include "PlatformTemplate.h"
#include "common/DbProcedures.h"
#include "common/FieldMap.h"
#include "common/XlsxReader.h"
#include "export/ExportEngine.h"
#include "export/WorkbookTemplate.h"
#include "links/LinkStore.h"
#include "links/WizardGrid.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QtTest/QtTest>

namespace {

// The template's columns the program knows, with the accounting field (t_QorField FID) the factory link
// gives the field each stands for.
struct Known {
    const char* heading;
    bool isHead;
    const char* qor;
};
const Known kKnown[] = {
    {"发票流水号", true, "1"},     {"购买方名称", true, "3"},    {"购买方纳税人识别号", true, "4"},
    {"购买方地址", true, "5"},     {"购买方电话", true, "5"},    {"购买方开户银行", true, "6"},
    {"购买方银行账号", true, "6"}, {"备注", true, "7"},          {"复核人", true, "8"},
    {"收款人", true, "9"},         {"销售方开户行", true, "12"}, {"销售方银行账号", true, "12"},
    {"项目名称", false, "21"},     {"单位", false, "22"},        {"规格型号", false, "23"},
    {"数量", false, "24"},         {"金额", false, "25"},        {"税率", false, "26"},
    {"折扣金额", false, "28"},     {"单价", false, "32"},
};

const QString kNoConditions = QString(13, u'|');

QString startOf(Connection& config, const QString& heading, bool isHead) {
    for (const GridRow& r : workbookStartRows(config, isHead))
        if (r.taxField == heading) return r.isFormula == u"1" ? QStringLiteral("=") + r.qorID : r.qorID;
    return {};
}

// Saves a link as the wizard does, from its properties and its grid rows.
bool saveLink(Session& session, const QString& name, const QString& format, const QList<GridRow>& head,
              const QList<GridRow>& body) {
    FieldMap h;
    h.set(QStringLiteral("FID"), QString());
    h.set(QStringLiteral("FName"), name);
    h.set(QStringLiteral("FInvioceType"), 0);
    h.set(QStringLiteral("FSeperator"), QStringLiteral("~~"));
    h.set(QStringLiteral("FMemo"), QString());
    h.set(QStringLiteral("FDate"), QStringLiteral("2026-05-01"));
    h.set(QStringLiteral("FInOrOut"), 0);
    h.set(QStringLiteral("FFormat"), format);
    h.set(QStringLiteral("FDocNoInRemark"), 0);
    RecordList list;
    list.add(h);
    for (const GridRow& r : head)
        list.add(detailFieldMap(r, true));
    for (const GridRow& r : body)
        list.add(detailFieldMap(r, false));
    return LinkStore(session).saveLink(list, 0);
}

QString linkId(Connection& config, const QString& name) {
    return config.query(QStringLiteral("select FID from t_BaseInfo where FName=?"), {name})
        ->value(0)
        .toString();
}

// Every row of both sheets of an exported workbook, as text.
QStringList sheetsOf(const QString& path) {
    XlsxReader book(path);
    QStringList out;
    for (const QString& name : {kHeadSheetName, kDetailSheetName}) {
        const XlsxSheet* sheet = book.sheet(name);
        if (!sheet) return {QStringLiteral("no sheet ") + name};
        for (const XlsxRow& row : book.rows(*sheet)) {
            QStringList cells;
            for (const XlsxCell& c : row.cells)
                cells << xlsxColumnName(c.column) + u'=' + c.text;
            out << name + u'|' + cells.join(u',');
        }
    }
    return out;
}

void addTaxCodes(TestDatabases& db) {
    addCatalogueCodes(*db.acct, *db.config);
}

bool exportWith(TestDatabases& db, const QString& id, const QString& path) {
    ExportEngine e(db.session);
    e.setIncludeExported(true); // each link writes the same documents
    return e.exportFile(path, kNoConditions, id);
}

} // namespace

class TestLinkStart : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;

    void installTemplate(const QByteArray& file) {
        const QString path = db->folder() + QStringLiteral("/template.xlsx");
        writeFile(path, file);
        installWorkbookTemplate(*db->config, path, QStringLiteral("平台模板"));
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() {
        db = std::make_unique<TestDatabases>();
        rec = std::make_unique<RecorderSink>();
    }
    void cleanup() {
        rec.reset();
        db.reset();
    }

    void workbookStartsFromTheFactoryFields_data() {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<bool>("isHead");
        QTest::addColumn<QString>("qor"); // empty: left for the user
        for (const Known& k : kKnown)
            QTest::addRow("%s %s", k.isHead ? "head" : "detail", k.heading)
                << QString::fromUtf8(k.heading) << k.isHead << QString::fromUtf8(k.qor);
        // Filled by the export itself, or nothing the factory link knows.
        for (const char* h :
             {"发票类型", "特定业务类型", "是否含税", "受票方自然人标识", "购买方证件类型", "购买方邮箱",
              "放弃享受减按1%征收率 原因", "购买方所在地区（报废产品收购必填）（L列）"})
            QTest::addRow("head %s", h) << QString::fromUtf8(h) << true << QString();
        for (const char* h :
             {"发票流水号", "商品和服务税收编码", "是否使用优惠政策", "优惠政策类型", "煤炭种类"})
            QTest::addRow("detail %s", h) << QString::fromUtf8(h) << false << QString();
    }
    void workbookStartsFromTheFactoryFields() {
        QFETCH(QString, heading);
        QFETCH(bool, isHead);
        QFETCH(QString, qor);
        installTemplate(buildPlatformTemplate());
        const RecordsetPtr rs = db->config->query(
            QStringLiteral("select count(*) from t_TaxField where FFormat='xlsx' and FisHead=? and Fname=?"),
            {isHead, heading});
        QCOMPARE(rs->value(0).toInt(), 1); // the heading is offered
        QCOMPARE(startOf(*db->config, heading, isHead), qor);
    }

    // The start is taken from the factory link, not from a copy of it: a factory mapping changed is what
    // a new workbook link gets; a heading the template lacks is not invented.
    void workbookStartFollowsTheFactoryLink() {
        installTemplate(buildPlatformTemplate());
        db->config->exec(
            QStringLiteral("update t_DefaultDetail set FisFormula=1, "
                           "FQORField='upper(3)|upper(FCustName)|upper([3/购方名称])' where FTaxID=3"));
        QCOMPARE(startOf(*db->config, QStringLiteral("购买方名称"), true),
                 QStringLiteral("=upper(3)|upper(FCustName)|upper([3/购方名称])"));
        const QList<GridRow> head = workbookStartRows(*db->config, true);
        QCOMPARE(head.value(0).taxField, QStringLiteral("发票流水号")); // the template's order
        QCOMPARE(head.value(0).qorField, QStringLiteral("单据号"));
        QCOMPARE(head.value(1).caption, QStringLiteral("upper([3/购方名称])"));
        int known = 0;
        for (const Known& k : kKnown)
            known += k.isHead;
        QCOMPARE(head.size(), known);
        QCOMPARE(workbookStartRows(*db->config, false).size(), int(std::size(kKnown)) - known);
        // Without a template there is nothing to start from.
        db->config->exec(QStringLiteral("delete from t_TaxField where FFormat='xlsx'"));
        QCOMPARE(workbookStartRows(*db->config, true).size(), 0);
    }

    // A link saved from the start exports the same workbook as one whose columns were picked by hand.
    void workbookStartExportsAsMappedByHand() {
        installTemplate(buildPlatformTemplate());
        addTaxCodes(*db);
        Connection& config = *db->config;
        QVERIFY(saveLink(db->session, QStringLiteral("起始"), QStringLiteral("xlsx"),
                         workbookStartRows(config, true), workbookStartRows(config, false)));
        QVERIFY(saveLink(db->session, QStringLiteral("手工"), QStringLiteral("xlsx"), {}, {}));
        const QString byHand = linkId(config, QStringLiteral("手工"));
        // Picked in another order than the template's.
        for (qsizetype i = std::size(kKnown) - 1; i >= 0; --i)
            config.exec(QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, "
                                       "FisHead) values (?, (select Fid from t_TaxField where Fname=? and "
                                       "FFormat='xlsx' and FisHead=?), 0, ?, ?)"),
                        {byHand.toInt(), QString::fromUtf8(kKnown[i].heading), kKnown[i].isHead,
                         QString::fromUtf8(kKnown[i].qor), kKnown[i].isHead});
        const QString started = db->folder() + QStringLiteral("/起始.xlsx");
        const QString picked = db->folder() + QStringLiteral("/手工.xlsx");
        QVERIFY2(exportWith(*db, linkId(config, QStringLiteral("起始")), started),
                 qPrintable(rec->texts().join(u'\n')));
        QVERIFY2(exportWith(*db, byHand, picked), qPrintable(rec->texts().join(u'\n')));
        const QStringList rows = sheetsOf(started);
        QCOMPARE(rows, sheetsOf(picked));
        // Documents were written, with the buyer and the goods.
        const QStringList docs =
            rows.filter(QRegularExpression(QStringLiteral("^1-发票基本信息\\|A=ZP\\d+,")));
        QVERIFY(!docs.isEmpty());
        QVERIFY(rows.filter(QRegularExpression(QStringLiteral("^2-发票明细信息\\|A=ZP"))).size() >=
                docs.size());
        QCOMPARE(docs.filter(QRegularExpression(QStringLiteral(",F=[^,]+,G=[^,]+,"))).size(), docs.size());
        QCOMPARE(
            rows.filter(QRegularExpression(QStringLiteral("^2-发票明细信息\\|A=ZP\\d+,B=[^,]+,"))).size(),
            rows.filter(QRegularExpression(QStringLiteral("^2-发票明细信息\\|A=ZP"))).size());
    }

    // A text link started from the factory link's fields writes the file the factory link writes.
    void textStartIsTheFactoryLink() {
        Connection& config = *db->config;
        const QList<GridRow> head = factoryGridRows(config, true), body = factoryGridRows(config, false);
        QCOMPARE(head.size(), 12);
        QCOMPARE(body.size(), 13);
        QCOMPARE(head.first().taxField, QStringLiteral("单据号"));
        QCOMPARE(head.first().qorField, QStringLiteral("单据号"));
        QCOMPARE(body.first().taxField, QStringLiteral("货物名称"));
        QVERIFY(checkGridRows(head, true));
        QVERIFY(checkGridRows(body, false));
        QVERIFY(saveLink(db->session, QStringLiteral("复制"), QStringLiteral("txt"), head, body));
        const QString copy = linkId(config, QStringLiteral("复制"));
        const QString factoryFile = db->folder() + QStringLiteral("/出厂.txt");
        const QString copyFile = db->folder() + QStringLiteral("/复制.txt");
        QVERIFY(exportWith(*db, QStringLiteral("1"), factoryFile));
        QVERIFY(exportWith(*db, copy, copyFile));
        QVERIFY(readGbkFile(factoryFile).size() > 2);
        QCOMPARE(readGbkFile(copyFile), readGbkFile(factoryFile));
    }

    // The column list of a workbook link offers every column once and each recognisably, the region's
    // four columns under one heading too.
    void columnListEntriesDistinct_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("built as the official template") << buildPlatformTemplate();
        QFile official(QStringLiteral(TAXFERRY_SHARED_DATA "/platform-template-V260401.xlsx"));
        if (official.open(QIODevice::ReadOnly)) QTest::newRow("the official template") << official.readAll();
    }
    void columnListEntriesDistinct() {
        QFETCH(QByteArray, file);
        installTemplate(file);
        for (const bool isHead : {true, false}) {
            QStringList shown;
            for (const QString& item : taxFieldList(*db->config, isHead, QStringLiteral("xlsx")).split(u'\t'))
                if (!item.isEmpty()) shown << item.section(u'|', 0, 0).trimmed();
            QCOMPARE(shown.size(), isHead ? 39 : 14);
            QVERIFY(!shown.contains(QString()));
            const qsizetype all = shown.size();
            shown.removeDuplicates();
            QCOMPARE(shown.size(), all);
            if (isHead)
                for (const char* c : {"L", "M", "N", "O"})
                    QVERIFY(shown.contains(
                        QStringLiteral("购买方所在地区（报废产品收购必填）（%1列）").arg(QLatin1String(c))));
        }
        // Read again, the headings keep their numbers: a link mapped to one of them stays.
        const QString before = db->config
                                   ->query(QStringLiteral("select Fid from t_TaxField where Fname=?"),
                                           {QStringLiteral("购买方所在地区（报废产品收购必填）（N列）")})
                                   ->value(0)
                                   .toString();
        installTemplate(file);
        QCOMPARE(db->config
                     ->query(QStringLiteral("select Fid from t_TaxField where Fname=?"),
                             {QStringLiteral("购买方所在地区（报废产品收购必填）（N列）")})
                     ->value(0)
                     .toString(),
                 before);
    }

    // A link that maps one of the region's columns fills that column alone.
    void regionColumnFilledAlone() {
        installTemplate(buildPlatformTemplate());
        addTaxCodes(*db);
        Connection& config = *db->config;
        QList<GridRow> head = workbookStartRows(config, true);
        const RecordsetPtr rs = config.query(QStringLiteral("select Fid from t_TaxField where Fname=?"),
                                             {QStringLiteral("购买方所在地区（报废产品收购必填）（M列）")});
        GridRow region = mappedGridRow(
            config, QString(), QStringLiteral("1"), true, rs->value(0).toString(),
            storedFormula(QStringLiteral("'市'"), QStringLiteral("'市'"), QStringLiteral("'市'")));
        region.taxField = QStringLiteral("购买方所在地区（报废产品收购必填）（M列）");
        head << region;
        QVERIFY(saveLink(db->session, QStringLiteral("地区"), QStringLiteral("xlsx"), head,
                         workbookStartRows(config, false)));
        const QString path = db->folder() + QStringLiteral("/地区.xlsx");
        QVERIFY2(exportWith(*db, linkId(config, QStringLiteral("地区")), path),
                 qPrintable(rec->texts().join(u'\n')));
        XlsxReader book(path);
        const QList<XlsxRow> rows = book.rows(*book.sheet(kHeadSheetName));
        QVERIFY(rows.size() > 3);
        QCOMPARE((QStringList{rows[3].text(11), rows[3].text(12), rows[3].text(13), rows[3].text(14)}),
                 (QStringList{"", "市", "", ""}));
    }
};

QTEST_MAIN(TestLinkStart)
#include "test_link_start.moc"
