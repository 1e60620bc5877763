// The picker lists on the demo accounting set and the mapping editor in its real window.
#include "mapping/ItemMapStore.h"
#include "mapping/ui/CustomerPicker.h"
#include "mapping/ui/MappingEditor.h"
#include "mapping/ui/OtherNamePicker.h"
#include "mapping/ui/ProductPicker.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

namespace {
const QString SaveFailed = QStringLiteral("保存失败。对每种基础资料，不得定义相同的税控系统基础资料名称！");
const QString CloseQuestion = QStringLiteral("您已对基础资料对应做了修改，退出前是否保存?");

// The edition the next test's session gets, as the main window's loadSystemProfile sets it before the
// editor opens.
int g_industry = 0;
void setEdition(int industry) {
    g_industry = industry;
}
Session& editionSession(TestDatabases& db) {
    db.session.setEdition(g_industry == 1 ? QStringLiteral("INDUSTRY") : QStringLiteral("COMMERCE"));
    return db.session;
}

// A picker of the given kind ("client", "item", "other") with its list filled for the type.
std::unique_ptr<PickerDialog> makePicker(Session& session, const QString& kind, int type) {
    if (kind == u"client") {
        auto f = std::make_unique<CustomerPicker>(session);
        f->setFType(type);
        return f;
    }
    if (kind == u"item") return std::make_unique<ProductPicker>(session);
    auto f = std::make_unique<OtherNamePicker>(session);
    f->setTabType(type);
    return f;
}

QString chosenName(PickerDialog* p) {
    if (auto* c = qobject_cast<CustomerPicker*>(p)) return c->m_SelClient;
    if (auto* i = qobject_cast<ProductPicker*>(p)) return i->m_SelItem;
    return qobject_cast<OtherNamePicker*>(p)->m_SelOther;
}

QStringList columnTexts(QTableWidget* list, int column) {
    QStringList out;
    for (int r = 0; r < list->rowCount(); ++r)
        out << (list->item(r, column) ? list->item(r, column)->text() : "");
    return out;
}

QStringList headerTexts(QTableWidget* list) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->horizontalHeaderItem(c)->text();
    return out;
}

// The next modal window that opens is handed to answer.
void answerModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
}

void pressEnterInPicker(QWidget* w) {
    QVERIFY(w);
    QTest::keyClick(w->findChild<QTableWidget*>(), Qt::Key_Return);
}

void pressExit(QWidget* w) {
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnExit")), Qt::LeftButton);
}

// Whole t_ItemMap, one "link|table|kind|qor|id|tax" line per row, sorted.
QStringList dump(Connection& conn) {
    QStringList out;
    const RecordsetPtr rs = conn.query(QStringLiteral(
        "select FLinkID||'|'||FTable||'|'||FFieldName||'|'||FQorData||'|'||FQorDataID||'|'||FTaxData from "
        "t_ItemMap"));
    for (rs->first(); !rs->atEnd(); rs->next())
        out << rs->value(0).toString();
    out.sort();
    return out;
}

void addPair(Connection& conn, int link, const QString& kind, const QString& qor, const QString& id,
             const QString& tax) {
    int k = 0;
    while (itemMapFieldName(k) != kind)
        ++k;
    conn.exec(
        QStringLiteral("insert into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, FQorDataID, FTaxData) "
                       "values (?, ?, ?, ?, ?, ?)"),
        {link, itemMapTable(k), kind, qor, id, tax});
}

// A double-click on a cell of a list or grid, as the mouse gives it (the press first makes it current).
void doubleClickCell(QTableWidget* list, int row, int column) {
    const QPoint at = list->visualItemRect(list->item(row, column)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Types text into a grid cell through its entry (key presses carrying the characters), committing it
// with Enter as the user does unless commit is false.
void typeInto(QTableWidget* grid, int row, int column, const QString& text, bool commit = true) {
    grid->setCurrentCell(row, column);
    grid->editItem(grid->item(row, column));
    QLineEdit* editor = nullptr; // an entry closed before may not be deleted yet
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    QVERIFY(editor);
    editor->selectAll();
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    if (!commit) return;
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the entry commits through a queued call
}

// The editor opened on mapping set 1 of fresh databases, after seed has filled t_ItemMap.
struct Editor {
    TestDatabases db;
    RecorderSink sink;
    std::unique_ptr<MappingEditor> w;
    explicit Editor(const std::function<void(Connection&)>& seed = {}) {
        if (seed) seed(*db.config);
        w = std::make_unique<MappingEditor>(editionSession(db));
        w->linkId = 1;
        w->init();
        w->show();
    }
    QTableWidget* grid(int i) const { return w->kg.at(i); }
    void click(const char* name) const {
        QTest::mouseClick(w->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    }
    void tab(int i) const { w->tabMap->setCurrentIndex(i); }
};

QString text(QTableWidget* g, int r, int c) {
    return g->item(r, c) ? g->item(r, c)->text() : QString();
}
QString rowId(QTableWidget* g, int r) {
    return g->item(r, 1)->data(Qt::UserRole).toString();
}
} // namespace

class TestMapping : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init() { setEdition(0); }

    // pickers
    void pickerLists_data();
    void pickerLists();
    void customerWithoutOrganizationIsListed();
    void otherListWithoutTypeRaises();

    // editor
    void loadsOnlyItsOwnMappingSet();
    void rowsAreAddedDeletedAndRenumbered();
    void pickFillsAccountingColumn_data();
    void pickFillsAccountingColumn();
    void cellStaysWithoutPick_data();
    void cellStaysWithoutPick();
    void saveWritesTrimmedPairsOfAllKinds();
    void saveAndClose_data();
    void saveAndClose();
};

// ---- pickers ------------------------------------------------------------------------------------

void TestMapping::pickerLists_data() {
    QTest::addColumn<bool>("demo"); // false: an accounting set without any base data
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("industry");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QList<int>>("hidden");
    QTest::addColumn<QString>("ids"); // column 0 of the list
    QTest::addColumn<int>("id");      // what Enter right after opening chooses
    QTest::addColumn<QString>("name");

    // Each list on the demo set, and the commerce edition's list once more on an empty set.
    auto row = [](const char* what, const QString& kind, int type, int industry, const QString& title,
                  const QStringList& headers, const QList<int>& hidden, const QString& ids, int id,
                  const QString& name) {
        QTest::newRow(what) << true << kind << type << industry << title << headers << hidden << ids << id
                            << name;
        if (industry == 0)
            QTest::addRow("%s, empty set", what) << false << kind << type << industry << title << headers
                                                 << hidden << QString() << -1 << QString();
    };
    const QString clientTitle = QStringLiteral("选择QOR系统中的客户");
    const QStringList customerHeads{"内 码", "客户编码", "客户名称", "税务登记号", "开户银行", "客户地址"};
    const QStringList supplierHeads{"内 码",      "供应商编码", "供应商名称",
                                    "税务登记号", "开户银行",   "供应商地址"};
    const QStringList itemHeads{"内码", "产品长代码", "产品短代码", "物料名称", "规格型号"};
    const QString customers = "101,102,103,104,105,106,107,108";                 // 109 is deleted
    const QString items = "401,402,403,404,405,406,407,408,409,412,413,410,411"; // by long code, 414 deleted
    row("customers, commerce edition from t_Item", "client", 0, 0, clientTitle, customerHeads, {0}, customers,
        101, "北京华远信息技术有限公司");
    row("customers, industry edition from the view", "client", 0, 1, clientTitle, customerHeads, {0},
        customers, 101, "北京华远信息技术有限公司");
    row("suppliers keep the customer title", "client", 1, 0, clientTitle, supplierHeads, {0}, "801,802,803",
        801, "深圳市宏图电子有限公司");
    row("suppliers, industry edition", "client", 8, 1, clientTitle, supplierHeads, {0}, "801,802,803", 801,
        "深圳市宏图电子有限公司");
    row("products, commerce edition hide the long code", "item", 0, 0, "选择QOR系中的物料", itemHeads, {0, 1},
        items, 401, "激光打印机");
    row("products, industry edition show the long code", "item", 0, 1, "选择QOR系中的物料", itemHeads, {0},
        items, 401, "激光打印机");
    row("units by code, deleted 打 left out, name not code", "other", 2, 0, "选择QOR系中的计量单位信息",
        {"内   码 ", "代    码", "  名    称"}, {0}, "501,502,503,504,505,506,507,510,509,508", 501, "个");
    row("users above 16383 and not forbidden", "other", 3, 0, "选择QOR系中的经手人信息",
        {"内   码 ", "名    称", "  说    明"}, {0}, "16394,16395,16396,16397,16398", 16394, "super");
    row("models, distinct and non-blank, deleted products included, no identifier", "other", 4, 0,
        "选择QOR系中的规格型号信息", {"规格型号名称", ""}, {1},
        "0.5mm黑色,350ml,500ml,70g-500张,CAT6-UTP,EPS-L3158,FAX-L170,HP-M404dn,LH-2026,MK275,P2422H,TB-14-G6,"
        "TN-散装",
        -1, "0.5mm黑色");
}

void TestMapping::pickerLists() {
    QFETCH(bool, demo);
    QFETCH(QString, kind);
    QFETCH(int, type);
    QFETCH(int, industry);
    QFETCH(QString, title);
    QFETCH(QStringList, headers);
    QFETCH(QList<int>, hidden);
    QFETCH(QString, ids);
    QFETCH(int, id);
    QFETCH(QString, name);

    TestDatabases db(demo);
    setEdition(industry);
    editionSession(db);
    std::unique_ptr<PickerDialog> p = makePicker(db.session, kind, type);
    p->isAddMidTable = true;
    auto* list = p->findChild<QTableWidget*>();
    QCOMPARE(headerTexts(list), headers);
    QList<int> hiddenNow;
    for (int c = 0; c < list->columnCount(); ++c)
        if (list->isColumnHidden(c)) hiddenNow << c;
    QCOMPARE(hiddenNow, hidden);
    QCOMPARE(columnTexts(list, 0).join(u','), ids); // row 1 is current: Enter below chooses it

    bool listHasFocus = false;
    answerModal([&](QWidget* w) {
        listHasFocus = w->focusWidget() == list; // the list comes first
        pressEnterInPicker(w);
    });
    QCOMPARE(p->exec(), int(ids.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QVERIFY(listHasFocus);
    QCOMPARE(p->windowTitle(), title);
    QCOMPARE(p->m_bOK, !ids.isEmpty());
    QCOMPARE(p->SMFID, id);
    QCOMPARE(chosenName(p.get()), name);
}

void TestMapping::customerWithoutOrganizationIsListed() {
    TestDatabases db;
    editionSession(db);
    db.acct->exec(QStringLiteral("insert into t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted) "
                                 "values (120, 1, '04.001', '无档案客户', ?)"),
                  {false});
    CustomerPicker p(db.session);
    p.setFType(0);
    QCOMPARE(p.mfgClient->rowCount(), 9);
    QStringList last;
    for (int c = 0; c <= 5; ++c)
        last << p.mfgClient->item(8, c)->text();
    QCOMPARE(last, (QStringList{"120", "04.001", "无档案客户", "", "", ""}));
    // Not asked for the name: only the identifier comes back.
    answerModal(pressEnterInPicker);
    p.exec();
    QCOMPARE(p.m_bOK, true);
    QCOMPARE(p.SMFID, 101);
    QCOMPARE(p.m_SelClient, QString());
}

void TestMapping::otherListWithoutTypeRaises() {
    TestDatabases db;
    editionSession(db);
    OtherNamePicker other(db.session);
    QCOMPARE(other.windowTitle(), QStringLiteral("选择QOR系中的其它信息")); // until the type is known
    try {
        other.setTabType(5); // no list: the empty query must not reach the database
        QFAIL("no error");
    } catch (const DbError& e) {
        QCOMPARE(e.description(), QStringLiteral("命令文本未被设置为命令对象。"));
    }
    other.show();
    QCOMPARE(other.windowTitle(), QStringLiteral("选择QOR系中的其它信息"));
}

// ---- editor -------------------------------------------------------------------------------------

void TestMapping::loadsOnlyItsOwnMappingSet() {
    setEdition(1);
    Editor e([](Connection& c) {
        addPair(c, 1, "customer", "北京华远信息技术有限公司", "101", "华远信息");
        addPair(c, 1, "customer", "上海浦江电子科技有限公司", "102", "浦江电子");
        addPair(c, 2, "customer", "广州南粤商贸有限公司", "103", "南粤");
        addPair(c, 1, "unit", "件", "510", "包装件");
        addPair(c, 1, "prod", "中性笔", "", "签字笔");
    });
    QCOMPARE(e.w->tabMap->tabText(1), QStringLiteral("物料")); // industry edition
    QTableWidget* g = e.grid(0);
    QCOMPARE(headerTexts(g), (QStringList{"序号", "名称（OrvaneQOR系统）", "名称（税控系统）"}));
    QCOMPARE(columnTexts(g, 0), (QStringList{"1", "2"}));
    QCOMPARE(columnTexts(g, 2), (QStringList{"华远信息", "浦江电子"}));
    QCOMPARE(rowId(g, 1), QStringLiteral("102"));
    QCOMPARE(text(e.grid(2), 0, 1), QStringLiteral("件"));
    QCOMPARE(rowId(e.grid(2), 0), QStringLiteral("510"));
    QCOMPARE(rowId(e.grid(1), 0), QString());
    QCOMPARE(e.grid(3)->rowCount() + e.grid(4)->rowCount(), 0);
    e.w->close(); // nothing changed: no question
    QVERIFY(e.sink.entries.isEmpty());
    QVERIFY(!e.w->isVisible());
}

void TestMapping::rowsAreAddedDeletedAndRenumbered() {
    Editor e;
    QCOMPARE(e.w->tabMap->tabText(1), QStringLiteral("商品")); // commerce edition
    auto* menu = e.w->findChild<QMenu*>(QStringLiteral("PopRow"));
    e.tab(2);
    QTableWidget* g = e.grid(2);
    for (int i = 0; i < 4; ++i)
        e.click("cmdNew");
    menu->findChild<QAction*>(QStringLiteral("newrow"))->trigger(); // the pop-up tools act as the buttons
    QCOMPARE(columnTexts(g, 0), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(g->currentRow(), -1); // adding does not move the current cell
    for (int r = 0; r < 5; ++r)
        g->item(r, 2)->setText(QStringLiteral("t%1").arg(r + 1));

    g->setCurrentCell(1, 2);
    menu->findChild<QAction*>(QStringLiteral("delrow"))->trigger();
    QCOMPARE(columnTexts(g, 0), (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(columnTexts(g, 2), (QStringList{"t1", "t3", "t4", "t5"}));
    g->setCurrentCell(-1, -1);
    e.click("cmdDelete"); // no current row: the last one goes
    QCOMPARE(columnTexts(g, 2), (QStringList{"t1", "t3", "t4"}));
    QCOMPARE(e.grid(0)->rowCount(), 0); // other tabs untouched

    // Delete on a grid without rows changes nothing but still counts as a change.
    Editor empty;
    empty.click("cmdDelete");
    empty.w->close();
    QCOMPARE(empty.sink.texts(), QStringList{CloseQuestion});
}

void TestMapping::pickFillsAccountingColumn_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("doubleClick"); // in the editor; otherwise F7
    QTest::addColumn<int>("pickRow");      // 0: Enter in the picker; otherwise a double-click on that row
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("retyped"); // typed over the picked name afterwards
    auto row = [](const char* what, int index, bool doubleClick, int pickRow, const QString& name,
                  const QString& id, const QString& retyped = {}) {
        QTest::newRow(what) << index << doubleClick << pickRow << name << id << retyped;
    };
    row("customer", 0, false, 0, "北京华远信息技术有限公司", "101");
    row("product", 1, true, 0, "激光打印机", "401");
    row("unit", 2, true, 0, "个", "501");
    row("handler, third row, retyped: keeps the identifier", 3, false, 2, "李复核", "16396", "复核员");
    row("model", 4, false, 0, "0.5mm黑色", "-1");
}

void TestMapping::pickFillsAccountingColumn() {
    QFETCH(int, index);
    QFETCH(bool, doubleClick);
    QFETCH(int, pickRow);
    QFETCH(QString, name);
    QFETCH(QString, id);
    QFETCH(QString, retyped);
    Editor e([](Connection& c) {
        for (int k = 0; k < ItemMapKindCount; ++k)
            addPair(c, 1, itemMapFieldName(k), "旧名", "9", "税控名");
    });
    e.tab(index);
    QTableWidget* g = e.grid(index);
    g->setCurrentCell(0, 1);
    answerModal([pickRow](QWidget* w) {
        if (pickRow == 0) return pressEnterInPicker(w);
        doubleClickCell(w->findChild<QTableWidget*>(), pickRow, 1);
    });
    if (doubleClick)
        doubleClickCell(g, 0, 1);
    else
        QTest::keyClick(g, Qt::Key_F7, Qt::ShiftModifier); // the shift state is ignored
    QCOMPARE(text(g, 0, 1), name);
    QCOMPARE(rowId(g, 0), id);
    if (!retyped.isEmpty()) typeInto(g, 0, 1, retyped);

    // The pick alone is a change: closing asks, and Yes stores it with the kind's table.
    e.sink.answers = {true};
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
    const QStringList kinds{"QORHead|customer", "QORBody|prod", "QORBody|unit", "QORHead|user",
                            "QORBody|model"};
    QStringList expected;
    for (int k = 0; k < kinds.size(); ++k)
        expected << QStringLiteral("1|%1|%2|税控名")
                        .arg(kinds[k],
                             k != index ? "旧名|9" : (retyped.isEmpty() ? name : retyped) + "|" + id);
    expected.sort();
    QCOMPARE(dump(*e.db.config), expected);
}

void TestMapping::cellStaysWithoutPick_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("failing"); // the product list cannot be read
    QTest::addColumn<QString>("picker");
    QTest::newRow("F7 in the number column") << 0 << 0 << false << false << "";
    QTest::newRow("F7 in the tax-name column") << 0 << 2 << false << false << "";
    QTest::newRow("F7 without a current row") << -1 << -1 << false << false << "";
    QTest::newRow("double-click in the number column") << 0 << 0 << true << false << "";
    QTest::newRow("picker closed with btnExit") << 0 << 1 << false << false << "ProductPicker";
    QTest::newRow("failing picker shows the description") << 0 << 1 << false << true << "";
}

void TestMapping::cellStaysWithoutPick() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, doubleClick);
    QFETCH(bool, failing);
    QFETCH(QString, picker);
    Editor e([](Connection& c) { addPair(c, 1, "prod", "中性笔", "407", "签字笔"); });
    if (failing)
        for (const char* sql :
             {"drop view vwICItemForBase", "drop view VW_COM_Item_ALL", "drop table t_IcItem"})
            e.db.acct->exec(QString::fromLatin1(sql));
    e.tab(1);
    QTableWidget* g = e.grid(1);
    g->setCurrentCell(row, column);
    QString opened;
    answerModal([&opened, &e](QWidget* w) {
        if (w == e.w.get()) return; // the editor itself is modal
        opened = w->objectName();
        pressExit(w);
    });
    if (doubleClick)
        doubleClickCell(g, row, column);
    else
        QTest::keyClick(g, Qt::Key_F7);
    QTest::qWait(20);
    QCOMPARE(opened, picker);
    QCOMPARE(text(g, 0, 1), QStringLiteral("中性笔"));
    QCOMPARE(rowId(g, 0), QStringLiteral("407"));
    e.w->close(); // nothing was changed: no question
    // The database's own description, whatever words it uses for a missing table.
    QCOMPARE(e.sink.texts().size(), failing ? 1 : 0);
    if (failing) {
        QCOMPARE(e.sink.entries.first().kind, RecorderSink::Info);
        if (currentTestBackend() == TestBackend::SQLite)
            QCOMPARE(e.sink.texts().first(), QStringLiteral("no such table: t_IcItem"));
        else
            QVERIFY(e.sink.texts().first().contains(QStringLiteral("t_icitem"), Qt::CaseInsensitive));
    }
}

void TestMapping::saveWritesTrimmedPairsOfAllKinds() {
    Editor e([](Connection& c) {
        addPair(c, 1, "customer", "旧客户", "109", "旧名");
        addPair(c, 2, "customer", "另一套", "103", "南粤");
    });
    QTableWidget* c = e.grid(0);
    c->item(0, 2)->setText(QStringLiteral("  华远  "));
    e.click("cmdNew");
    typeInto(c, 1, 1, QStringLiteral(" 手工客户 ")); // typed, not picked: no identifier
    typeInto(c, 1, 2, QString(60, u'税'));           // an entry takes at most 50 characters
    e.click("cmdNew");                               // tax name missing: skipped
    typeInto(c, 2, 1, QStringLiteral("只有QOR名"));
    e.click("cmdNew"); // blank names: skipped
    typeInto(c, 3, 1, QStringLiteral("   "));
    typeInto(c, 3, 2, QStringLiteral("空白"));
    e.tab(4);
    e.click("cmdNew");
    QTableWidget* m = e.grid(4);
    typeInto(m, 0, 1, QString(60, u'型'));
    typeInto(m, 0, 2, QStringLiteral("华远")); // the same tax name in another kind is allowed
    e.click("cmdSave");
    QVERIFY(e.sink.entries.isEmpty());
    QVERIFY(e.w->isVisible());
    QCOMPARE(dump(*e.db.config),
             (QStringList{"1|QORBody|model|" + QString(50, u'型') + "||华远",
                          "1|QORHead|customer|手工客户||" + QString(50, u'税'),
                          "1|QORHead|customer|旧客户|109|华远", "2|QORHead|customer|另一套|103|南粤"}));
    QCOMPARE(c->rowCount(), 4); // skipped rows stay in the grid
    e.w->close();               // saved: no question
    QVERIFY(e.sink.entries.isEmpty());
}

void TestMapping::saveAndClose_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("tax"); // typed as the new customer's tax name
    QTest::addColumn<bool>("commit"); // false: the entry is still open
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("saved");
    const QString pujiang = QStringLiteral("浦江"), dup = QStringLiteral("华远");
    const QStringList asked{CloseQuestion};
    QTest::newRow("cmdClose, No: closes without saving")
        << "button" << false << pujiang << true << asked << false;
    QTest::newRow("cmdClose, Yes: saves and closes") << "button" << true << pujiang << true << asked << true;
    QTest::newRow("Esc, Yes: saves and closes") << "escape" << true << pujiang << true << asked << true;
    QTest::newRow("title bar with the entry open, Yes: the typed text is saved")
        << "window" << true << pujiang << false << asked << true;
    QTest::newRow("title bar, Yes, a repeated tax name: stays open")
        << "window" << true << dup << true << QStringList{CloseQuestion, SaveFailed} << false;
    QTest::newRow("cmdSave, a tax name equal once trimmed: fails, rolls back")
        << "save" << false << " 华远 " << true << QStringList{SaveFailed} << false;
}

void TestMapping::saveAndClose() {
    QFETCH(QString, how);
    QFETCH(bool, yes);
    QFETCH(QString, tax);
    QFETCH(bool, commit);
    QFETCH(QStringList, messages);
    QFETCH(bool, saved);
    Editor e([](Connection& c) {
        addPair(c, 1, "customer", "北京华远信息技术有限公司", "101", "华远");
        addPair(c, 1, "unit", "件", "510", "包装件"); // saved after the customers: lost without a rollback
    });
    const QStringList before = dump(*e.db.config);
    QTableWidget* g = e.grid(0);
    e.click("cmdNew");
    typeInto(g, 1, 1, QStringLiteral("上海浦江电子科技有限公司"));
    typeInto(g, 1, 2, tax, commit);
    e.sink.answers = {yes};
    if (how == u"button")
        e.click("cmdClose");
    else if (how == u"window")
        e.w->close();
    else if (how == u"escape")
        QTest::keyClick(e.w.get(), Qt::Key_Escape);
    else
        e.click("cmdSave");
    QCOMPARE(e.sink.texts(), messages);
    if (messages.last() == SaveFailed) QCOMPARE(e.sink.entries.last().kind, RecorderSink::Info);
    QStringList after = before;
    if (saved) after << "1|QORHead|customer|上海浦江电子科技有限公司||浦江";
    after.sort();
    QCOMPARE(dump(*e.db.config), after);
    if (!e.w->isVisible()) return;

    // A failed save keeps the user's entries and leaves the changes pending: closing asks again.
    QCOMPARE(text(g, 1, 2), tax);
    e.sink.clear();
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
    QVERIFY(!e.w->isVisible());
}

QTEST_MAIN(TestMapping)
#include "test_mapping.moc"
