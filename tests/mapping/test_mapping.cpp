// The picker lists on the demo accounting set and the mapping editor in its real window.
#include "common/modDefine.h"
#include "mapping/ItemMapStore.h"
#include "mapping/PickerQuery.h"
#include "mapping/frmItem.h"
#include "mapping/frmListClient.h"
#include "mapping/frmListItem.h"
#include "mapping/frmListOtherID.h"
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

// What the main window's LoadSystemProfile sets before the editor opens.
void SetEdition(int industry) {
    giIndustry = industry;
    gsCustomerView = industry == 1 ? QStringLiteral("vwClientForBase") : QStringLiteral("VW_COM_Customer");
    gsSupplierView = industry == 1 ? QStringLiteral("vwSupplyForBase") : QStringLiteral("VW_COM_Supplier");
    gsItemView = industry == 1 ? QStringLiteral("vwICItemForBase") : QStringLiteral("VW_COM_Item_ALL");
    gsSystemLabel = QStringLiteral("QOR系");
}

// A picker of the given kind ("client", "item", "other") with its list filled for the type.
std::unique_ptr<PickerDialog> MakePicker(const QString& kind, int type) {
    if (kind == u"client") {
        auto f = std::make_unique<frmListClient>();
        f->setFType(type);
        return f;
    }
    if (kind == u"item") return std::make_unique<frmListItem>();
    auto f = std::make_unique<frmListOtherID>();
    f->setTabType(type);
    return f;
}

QString ChosenName(PickerDialog* p) {
    if (auto* c = qobject_cast<frmListClient*>(p)) return c->m_SelClient;
    if (auto* i = qobject_cast<frmListItem*>(p)) return i->m_SelItem;
    return qobject_cast<frmListOtherID*>(p)->m_SelOther;
}

QStringList ColumnTexts(QTableWidget* list, int column) {
    QStringList out;
    for (int r = 0; r < list->rowCount(); ++r)
        out << (list->item(r, column) ? list->item(r, column)->text() : "");
    return out;
}

QStringList HeaderTexts(QTableWidget* list) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->horizontalHeaderItem(c)->text();
    return out;
}

QList<int> HiddenColumns(QTableWidget* list) {
    QList<int> out;
    for (int c = 0; c < list->columnCount(); ++c)
        if (list->isColumnHidden(c)) out << c;
    return out;
}

// The next modal window that opens is handed to answer.
void AnswerModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
}

void PressEnterInPicker(QWidget* w) {
    QVERIFY(w);
    QTest::keyClick(w->findChild<QTableWidget*>(), Qt::Key_Return);
}

// Whole t_ItemMap, one "link|table|kind|qor|id|tax" line per row, sorted.
QStringList Dump(Connection& conn) {
    QStringList out;
    const RecordsetPtr rs = conn.Query(QStringLiteral("select * from t_ItemMap"));
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        QStringList f;
        for (const char* n : {"FLinkID", "FTable", "FFieldName", "FQorData", "FQorDataID", "FTaxData"})
            f << rs->value(QString::fromLatin1(n)).toString();
        out << f.join(u'|');
    }
    out.sort();
    return out;
}

void AddPair(Connection& conn, int link, const QString& kind, const QString& qor, const QString& id,
             const QString& tax) {
    conn.Execute(
        QStringLiteral("insert into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, FQorDataID, FTaxData) "
                       "values (?, 'QORHead', ?, ?, ?, ?)"),
        {link, kind, qor, id, tax});
}

// Key presses carrying the characters (QTest::keyClicks takes only ASCII).
void TypeText(QWidget* w, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Types text into a grid cell through its entry, committing it as the user does with Enter.
void TypeInto(QTableWidget* grid, int row, int column, const QString& text, bool commit = true) {
    grid->setCurrentCell(row, column);
    grid->editItem(grid->item(row, column));
    QLineEdit* editor = nullptr; // an entry closed before may not be deleted yet
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible()) editor = e;
    QVERIFY(editor);
    editor->selectAll();
    TypeText(editor, text);
    if (!commit) return;
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the entry commits through a queued call
}
} // namespace

class TestMapping : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { SetEdition(0); }

    // pickers
    void listsOnDemoSet_data();
    void listsOnDemoSet();
    void listsOnEmptySet_data();
    void listsOnEmptySet();
    void enterChoosesFirstRecord_data();
    void enterChoosesFirstRecord();
    void doubleClickChoosesThatRow();
    void withoutNameRequestOnlyIdIsReturned();
    void exitChoosesNothing();
    void customerWithoutOrganizationIsListed();
    void failingListRaisesDescription_data();
    void failingListRaisesDescription();
    void otherCaptionFollowsType_data();
    void otherCaptionFollowsType();

    // editor
    void loadsOnlyItsOwnMappingSet();
    void secondTabCaptionFollowsIndustry_data();
    void secondTabCaptionFollowsIndustry();
    void newAndDeleteRenumber();
    void popupToolsActAsButtons();
    void f7PicksIntoAccountingColumn_data();
    void f7PicksIntoAccountingColumn();
    void f7ElsewhereOpensNoPicker_data();
    void f7ElsewhereOpensNoPicker();
    void doubleClickPicks();
    void cancelledPickLeavesCell();
    void failingPickerShowsDescription();
    void entryTakesAtMost50Characters();
    void saveWritesTrimmedPairsOfAllKinds();
    void typedNameKeepsPickedIdentifier();
    void duplicateTaxNameRollsBack();
    void closeQuestion_data();
    void closeQuestion();
    void openEntryIsKeptWhenClosing();
    void pickAloneAsksBeforeClosing();
};

// ---- pickers ------------------------------------------------------------------------------------

void TestMapping::listsOnDemoSet_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("industry");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QList<int>>("hidden");
    QTest::addColumn<QString>("firstColumn");
    QTest::addColumn<int>("nameColumn");
    QTest::addColumn<QString>("firstName");

    const QString customers = "101,102,103,104,105,106,107,108"; // 109 is deleted
    const QStringList customerHeads{"内 码", "客户编码", "客户名称", "税务登记号", "开户银行", "客户地址"};
    const QStringList supplierHeads{"内 码",      "供应商编码", "供应商名称",
                                    "税务登记号", "开户银行",   "供应商地址"};
    const QStringList itemHeads{"内码", "产品长代码", "产品短代码", "物料名称", "规格型号"};
    const QString items = "401,402,403,404,405,406,407,408,409,412,413,410,411"; // by long code, 414 deleted
    QTest::newRow("customers, commerce edition from t_Item")
        << "client" << 0 << 0 << "选择QOR系统中的客户" << customerHeads << QList<int>{0} << customers << 2
        << "北京华远信息技术有限公司";
    QTest::newRow("customers, industry edition from the view")
        << "client" << 0 << 1 << "选择QOR系统中的客户" << customerHeads << QList<int>{0} << customers << 2
        << "北京华远信息技术有限公司";
    QTest::newRow("suppliers, commerce edition keep the customer title")
        << "client" << 1 << 0 << "选择QOR系统中的客户" << supplierHeads << QList<int>{0} << "801,802,803" << 2
        << "深圳市宏图电子有限公司";
    QTest::newRow("suppliers, industry edition")
        << "client" << 8 << 1 << "选择QOR系统中的客户" << supplierHeads << QList<int>{0} << "801,802,803" << 2
        << "深圳市宏图电子有限公司";
    QTest::newRow("products, commerce edition hide the long code")
        << "item" << 0 << 0 << "选择QOR系中的物料" << itemHeads << QList<int>{0, 1} << items << 3
        << "激光打印机";
    QTest::newRow("products, industry edition show the long code")
        << "item" << 0 << 1 << "选择QOR系中的物料" << itemHeads << QList<int>{0} << items << 3
        << "激光打印机";
    QTest::newRow("units by code, deleted 打 left out")
        << "other" << 2 << 0 << "选择QOR系中的计量单位信息"
        << QStringList{"内   码 ", "代    码", "  名    称"} << QList<int>{0}
        << "501,502,503,504,505,506,507,510,509,508" << 2 << "个";
    QTest::newRow("users above 16383 and not forbidden")
        << "other" << 3 << 0 << "选择QOR系中的经手人信息" << QStringList{"内   码 ", "名    称", "  说    明"}
        << QList<int>{0} << "16394,16395,16396,16397,16398" << 1 << "super";
    QTest::newRow("models, distinct and non-blank, deleted products included")
        << "other" << 4 << 0 << "选择QOR系中的规格型号信息" << QStringList{"规格型号名称", ""}
        << QList<int>{1}
        << "0.5mm黑色,350ml,500ml,70g-500张,CAT6-UTP,EPS-L3158,FAX-L170,HP-M404dn,LH-2026,MK275,P2422H,TB-14-"
           "G6,"
           "TN-散装"
        << 0 << "0.5mm黑色";
}

void TestMapping::listsOnDemoSet() {
    QFETCH(QString, kind);
    QFETCH(int, type);
    QFETCH(int, industry);
    QFETCH(QString, title);
    QFETCH(QStringList, headers);
    QFETCH(QList<int>, hidden);
    QFETCH(QString, firstColumn);
    QFETCH(int, nameColumn);
    QFETCH(QString, firstName);

    TestDatabases db;
    db.installGlobals();
    SetEdition(industry);
    std::unique_ptr<PickerDialog> p = MakePicker(kind, type);
    p->show();
    auto* list = p->findChild<QTableWidget*>();
    QCOMPARE(list->objectName(), kind == u"client" ? QStringLiteral("mfgClient") : QStringLiteral("mfgItem"));
    QCOMPARE(p->windowTitle(), title);
    QCOMPARE(HeaderTexts(list), headers);
    QCOMPARE(HiddenColumns(list), hidden);
    QCOMPARE(ColumnTexts(list, 0).join(u','), firstColumn);
    QCOMPARE(list->item(0, nameColumn)->text(), firstName);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(p->focusWidget(), list); // the list comes first
}

void TestMapping::listsOnEmptySet_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::newRow("customers") << "client" << 0;
    QTest::newRow("suppliers") << "client" << 1;
    QTest::newRow("products") << "item" << 0;
    QTest::newRow("units") << "other" << 2;
    QTest::newRow("users") << "other" << 3;
    QTest::newRow("models") << "other" << 4;
}

void TestMapping::listsOnEmptySet() {
    QFETCH(QString, kind);
    QFETCH(int, type);
    TestDatabases db(false);
    db.installGlobals();
    std::unique_ptr<PickerDialog> p = MakePicker(kind, type);
    p->IsAddMidTable = true;
    auto* list = p->findChild<QTableWidget*>();
    QCOMPARE(list->rowCount(), 0);
    AnswerModal(PressEnterInPicker);
    QCOMPARE(p->exec(), int(QDialog::Rejected));
    QCOMPARE(p->m_bOK, false);
    QCOMPARE(p->SMFID, -1);
    QCOMPARE(ChosenName(p.get()), QString());
}

void TestMapping::enterChoosesFirstRecord_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("customer") << "client" << 0 << 101 << "北京华远信息技术有限公司";
    QTest::newRow("supplier") << "client" << 1 << 801 << "深圳市宏图电子有限公司";
    QTest::newRow("product") << "item" << 0 << 401 << "激光打印机";
    QTest::newRow("unit gives its name, not its code") << "other" << 2 << 501 << "个";
    QTest::newRow("user gives its name") << "other" << 3 << 16394 << "super";
    QTest::newRow("model gives its text and no identifier") << "other" << 4 << -1 << "0.5mm黑色";
}

void TestMapping::enterChoosesFirstRecord() {
    QFETCH(QString, kind);
    QFETCH(int, type);
    QFETCH(int, id);
    QFETCH(QString, name);
    TestDatabases db;
    db.installGlobals();
    std::unique_ptr<PickerDialog> p = MakePicker(kind, type);
    p->IsAddMidTable = true;
    AnswerModal(PressEnterInPicker);
    p->exec();
    QCOMPARE(p->m_bOK, true);
    QCOMPARE(p->SMFID, id);
    QCOMPARE(ChosenName(p.get()), name);
}

void TestMapping::doubleClickChoosesThatRow() {
    TestDatabases db;
    db.installGlobals();
    frmListOtherID p;
    p.IsAddMidTable = true;
    p.setTabType(3);
    AnswerModal([](QWidget* w) {
        auto* list = w->findChild<QTableWidget*>(QStringLiteral("mfgItem"));
        const QRect cell = list->visualItemRect(list->item(2, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    });
    p.exec();
    QCOMPARE(p.m_bOK, true);
    QCOMPARE(p.SMFID, 16396);
    QCOMPARE(p.m_SelOther, QStringLiteral("李复核"));
}

void TestMapping::withoutNameRequestOnlyIdIsReturned() {
    TestDatabases db;
    db.installGlobals();
    frmListItem p;
    AnswerModal(PressEnterInPicker);
    p.exec();
    QCOMPARE(p.m_bOK, true);
    QCOMPARE(p.SMFID, 401);
    QCOMPARE(p.m_SelItem, QString());
}

void TestMapping::exitChoosesNothing() {
    TestDatabases db;
    db.installGlobals();
    frmListClient p;
    p.IsAddMidTable = true;
    p.setFType(0);
    QCOMPARE(p.FType(), 0);
    AnswerModal([](QWidget* w) {
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnExit")), Qt::LeftButton);
    });
    p.exec();
    QCOMPARE(p.m_bOK, false);
    QCOMPARE(p.SMFID, -1);
    QCOMPARE(p.m_SelClient, QString());
    QCOMPARE(p.findChild<QPushButton*>(QStringLiteral("btnExit"))->text(), QStringLiteral("退出(&X)"));
}

void TestMapping::customerWithoutOrganizationIsListed() {
    TestDatabases db;
    db.installGlobals();
    db.acct->Execute(QStringLiteral("insert into t_Item (FItemID, FItemClassID, FNumber, FName, FDeleted) "
                                    "values (120, 1, '04.001', '无档案客户', 0)"));
    frmListClient p;
    p.setFType(0);
    auto* list = p.mfgClient;
    QCOMPARE(list->rowCount(), 9);
    QCOMPARE(list->item(8, 0)->text(), QStringLiteral("120"));
    QCOMPARE(list->item(8, 2)->text(), QStringLiteral("无档案客户"));
    for (int c = 3; c <= 5; ++c)
        QCOMPARE(list->item(8, c)->text(), QString());
}

void TestMapping::failingListRaisesDescription_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("description");
    QTest::newRow("supplier view missing") << "client" << 1 << "no such table: VW_Missing";
    QTest::newRow("list type without a query") << "other" << 5 << "命令文本未被设置为命令对象。";
}

void TestMapping::failingListRaisesDescription() {
    QFETCH(QString, kind);
    QFETCH(int, type);
    QFETCH(QString, description);
    TestDatabases db;
    db.installGlobals();
    gsSupplierView = QStringLiteral("VW_Missing");
    try {
        MakePicker(kind, type);
        QFAIL("no error");
    } catch (const DbError& e) {
        QCOMPARE(e.description(), description);
    }
}

void TestMapping::otherCaptionFollowsType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("caption");
    QTest::newRow("not yet set") << 0 << "选择QOR系中的其它信息";
    QTest::newRow("units") << 2 << "选择QOR系中的计量单位信息";
    QTest::newRow("users") << 3 << "选择QOR系中的经手人信息";
    QTest::newRow("models") << 4 << "选择QOR系中的规格型号信息";
    QTest::newRow("unknown type") << 9 << "选择QOR系中的其它信息";
}

void TestMapping::otherCaptionFollowsType() {
    QFETCH(int, type);
    QFETCH(QString, caption);
    TestDatabases db;
    db.installGlobals();
    frmListOtherID p;
    QCOMPARE(p.windowTitle(), QStringLiteral("选择QOR系中的其它信息"));
    p.m_intType = type;
    p.show();
    QCOMPARE(p.windowTitle(), caption);
}

// ---- editor -------------------------------------------------------------------------------------

namespace {
struct Editor {
    TestDatabases db;
    RecorderSink sink;
    std::unique_ptr<frmItem> w;
    explicit Editor(const std::function<void(Connection&)>& seed = {}) {
        db.installGlobals();
        if (seed) seed(*db.config);
        w = std::make_unique<frmItem>();
        w->LinkID = 1;
        w->Init();
        w->show();
    }
    QTableWidget* grid(int i) const { return w->findChild<QTableWidget*>(QStringLiteral("Kg_%1").arg(i)); }
    QPushButton* button(const char* name) const {
        return w->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void tab(int i) const { w->findChild<QTabWidget*>(QStringLiteral("TabMap"))->setCurrentIndex(i); }
};

QString Text(QTableWidget* g, int r, int c) {
    return g->item(r, c) ? g->item(r, c)->text() : QString();
}
QString Id(QTableWidget* g, int r) {
    return g->item(r, 1)->data(Qt::UserRole).toString();
}
} // namespace

void TestMapping::loadsOnlyItsOwnMappingSet() {
    Editor e([](Connection& c) {
        AddPair(c, 1, "customer", "北京华远信息技术有限公司", "101", "华远信息");
        AddPair(c, 1, "customer", "上海浦江电子科技有限公司", "102", "浦江电子");
        AddPair(c, 2, "customer", "广州南粤商贸有限公司", "103", "南粤");
        AddPair(c, 1, "unit", "件", "510", "包装件");
        AddPair(c, 1, "prod", "中性笔", "", "签字笔");
    });
    QCOMPARE(e.w->windowTitle(), QStringLiteral("引入基础资料对应关系"));
    QTableWidget* g = e.grid(0);
    QCOMPARE(HeaderTexts(g), (QStringList{"序号", "名称（OrvaneQOR系统）", "名称（税控系统）"}));
    QCOMPARE(g->rowCount(), 2);
    QCOMPARE(ColumnTexts(g, 0), (QStringList{"1", "2"}));
    QCOMPARE(ColumnTexts(g, 2), (QStringList{"华远信息", "浦江电子"}));
    QCOMPARE(Id(g, 1), QStringLiteral("102"));
    QCOMPARE(Text(e.grid(2), 0, 1), QStringLiteral("件"));
    QCOMPARE(Id(e.grid(2), 0), QStringLiteral("510"));
    QCOMPARE(Id(e.grid(1), 0), QString());
    QCOMPARE(e.grid(3)->rowCount(), 0);
    QCOMPARE(e.grid(4)->rowCount(), 0);
    QVERIFY(e.sink.entries.isEmpty());
    e.w->close(); // nothing changed: no question
    QVERIFY(e.sink.entries.isEmpty());
    QVERIFY(!e.w->isVisible());
}

void TestMapping::secondTabCaptionFollowsIndustry_data() {
    QTest::addColumn<int>("industry");
    QTest::addColumn<QString>("caption");
    QTest::newRow("commerce") << 0 << "商品";
    QTest::newRow("industry") << 1 << "物料";
}

void TestMapping::secondTabCaptionFollowsIndustry() {
    QFETCH(int, industry);
    QFETCH(QString, caption);
    SetEdition(industry);
    Editor e;
    auto* tabs = e.w->findChild<QTabWidget*>(QStringLiteral("TabMap"));
    QCOMPARE(tabs->tabText(1), caption);
    QCOMPARE(tabs->tabText(3), QStringLiteral("经手人"));
    QCOMPARE(tabs->count(), 5);
}

void TestMapping::newAndDeleteRenumber() {
    Editor e;
    e.tab(2);
    QTableWidget* g = e.grid(2);
    for (int i = 0; i < 5; ++i)
        e.click("cmdNew");
    QCOMPARE(ColumnTexts(g, 0), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(g->currentRow(), -1); // adding does not move the current cell
    for (int r = 0; r < 5; ++r)
        g->item(r, 2)->setText(QStringLiteral("t%1").arg(r + 1));

    g->setCurrentCell(1, 2);
    e.click("cmdDelete");
    QCOMPARE(ColumnTexts(g, 0), (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(ColumnTexts(g, 2), (QStringList{"t1", "t3", "t4", "t5"}));

    g->setCurrentCell(-1, -1);
    e.click("cmdDelete"); // no current row: the last one goes
    QCOMPARE(ColumnTexts(g, 2), (QStringList{"t1", "t3", "t4"}));
    QCOMPARE(e.grid(0)->rowCount(), 0); // other tabs untouched

    // Delete on a grid without rows changes nothing but still counts as a change.
    Editor empty;
    empty.click("cmdDelete");
    QCOMPARE(empty.grid(0)->rowCount(), 0);
    empty.w->close();
    QCOMPARE(empty.sink.texts(), QStringList{CloseQuestion});
}

void TestMapping::popupToolsActAsButtons() {
    Editor e([](Connection& c) {
        AddPair(c, 1, "user", "张会计", "16395", "张三");
        AddPair(c, 1, "user", "李复核", "16396", "李四");
    });
    e.tab(3);
    auto* menu = e.w->findChild<QMenu*>(QStringLiteral("PopRow"));
    QAction* newrow = menu->findChild<QAction*>(QStringLiteral("newrow"));
    QAction* delrow = menu->findChild<QAction*>(QStringLiteral("delrow"));
    QCOMPARE(newrow->text(), QStringLiteral("新增一行"));
    QCOMPARE(delrow->text(), QStringLiteral("删除当前行"));
    QTableWidget* g = e.grid(3);
    newrow->trigger();
    QCOMPARE(ColumnTexts(g, 0), (QStringList{"1", "2", "3"}));
    g->setCurrentCell(0, 1);
    delrow->trigger();
    QCOMPARE(ColumnTexts(g, 0), (QStringList{"1", "2"}));
    QCOMPARE(ColumnTexts(g, 2), (QStringList{"李四", ""}));
    // New and then Delete of the same row still asks before closing.
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
}

void TestMapping::f7PicksIntoAccountingColumn_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("id");
    QTest::newRow("customer") << 0 << "北京华远信息技术有限公司"
                              << "101";
    QTest::newRow("product") << 1 << "激光打印机"
                             << "401";
    QTest::newRow("unit") << 2 << "个"
                          << "501";
    QTest::newRow("handler") << 3 << "super"
                             << "16394";
    QTest::newRow("model") << 4 << "0.5mm黑色"
                           << "-1";
}

void TestMapping::f7PicksIntoAccountingColumn() {
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, id);
    Editor e;
    e.tab(index);
    e.click("cmdNew");
    QTableWidget* g = e.grid(index);
    TypeInto(g, 0, 2, QStringLiteral("税控名"));
    g->setCurrentCell(0, 1);
    QString picker;
    AnswerModal([&picker](QWidget* w) {
        picker = w->objectName();
        PressEnterInPicker(w);
    });
    QTest::keyClick(g, Qt::Key_F7);
    QCOMPARE(picker, QStringList({"frmListClient", "frmListItem", "frmListOtherID", "frmListOtherID",
                                  "frmListOtherID"})[index]);
    QCOMPARE(Text(g, 0, 1), name);
    QCOMPARE(Id(g, 0), id);
    QVERIFY(e.sink.entries.isEmpty());

    e.click("cmdSave");
    QVERIFY(e.sink.entries.isEmpty());
    const QStringList tables{"QORHead", "QORBody", "QORBody", "QORHead", "QORBody"};
    QCOMPARE(
        Dump(*e.db.config),
        QStringList{
            QStringLiteral("1|%1|%2|%3|%4|税控名").arg(tables[index], ItemMapFieldName(index), name, id)});
    e.w->close(); // saved: no question
    QVERIFY(e.sink.entries.isEmpty());
}

void TestMapping::f7ElsewhereOpensNoPicker_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("F7 in the number column") << 0 << 0 << false;
    QTest::newRow("F7 in the tax-name column") << 0 << 2 << false;
    QTest::newRow("F7 without a current row") << -1 << -1 << false;
    QTest::newRow("double-click in the number column") << 0 << 0 << true;
}

void TestMapping::f7ElsewhereOpensNoPicker() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, doubleClick);
    Editor e;
    e.click("cmdNew");
    QTableWidget* g = e.grid(0);
    g->setCurrentCell(row, column);
    QWidget* opened = nullptr;
    AnswerModal([&opened, &e](QWidget* w) {
        if (w == e.w.get()) return; // the editor itself is modal
        opened = w;
        if (w) w->close();
    });
    if (doubleClick) {
        const QPoint at = g->visualItemRect(g->item(row, column)).center();
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
    } else {
        QTest::keyClick(g, Qt::Key_F7);
    }
    QTest::qWait(20);
    QCOMPARE(opened, nullptr);
    QCOMPARE(Text(g, 0, 1), QString());
}

void TestMapping::doubleClickPicks() {
    Editor e;
    e.tab(2);
    e.click("cmdNew");
    QTableWidget* g = e.grid(2);
    AnswerModal([](QWidget* w) {
        auto* list = w->findChild<QTableWidget*>();
        list->setCurrentCell(1, 1);
        QTest::keyClick(list, Qt::Key_Enter);
    });
    const QPoint at = g->visualItemRect(g->item(0, 1)).center();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(Text(g, 0, 1), QStringLiteral("台"));
    QCOMPARE(Id(g, 0), QStringLiteral("502"));
}

void TestMapping::cancelledPickLeavesCell() {
    Editor e([](Connection& c) { AddPair(c, 1, "prod", "中性笔", "407", "签字笔"); });
    e.tab(1);
    QTableWidget* g = e.grid(1);
    g->setCurrentCell(0, 1);
    AnswerModal([](QWidget* w) {
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnExit")), Qt::LeftButton);
    });
    QTest::keyClick(g, Qt::Key_F7);
    QCOMPARE(Text(g, 0, 1), QStringLiteral("中性笔"));
    QCOMPARE(Id(g, 0), QStringLiteral("407"));
    e.w->close();
    QVERIFY(e.sink.entries.isEmpty()); // nothing was changed
}

void TestMapping::failingPickerShowsDescription() {
    Editor e([](Connection& c) { AddPair(c, 1, "prod", "中性笔", "407", "签字笔"); });
    e.db.acct->Execute(QStringLiteral("drop view vwICItemForBase"));
    e.db.acct->Execute(QStringLiteral("drop view VW_COM_Item_ALL"));
    e.db.acct->Execute(QStringLiteral("drop table t_IcItem"));
    e.tab(1);
    QTableWidget* g = e.grid(1);
    g->setCurrentCell(0, 1);
    QTest::keyClick(g, Qt::Key_F7);
    QCOMPARE(e.sink.texts(), QStringList{QStringLiteral("no such table: t_IcItem")});
    QCOMPARE(e.sink.entries.first().kind, RecorderSink::Info);
    QCOMPARE(Text(g, 0, 1), QStringLiteral("中性笔"));
    QCOMPARE(Id(g, 0), QStringLiteral("407"));
}

void TestMapping::entryTakesAtMost50Characters() {
    Editor e;
    e.click("cmdNew");
    QTableWidget* g = e.grid(0);
    const QString typed = QString(60, u'税');
    TypeInto(g, 0, 2, typed);
    TypeInto(g, 0, 1, typed);
    QCOMPARE(Text(g, 0, 2), QString(50, u'税'));
    QCOMPARE(Text(g, 0, 1), QString(50, u'税'));
}

void TestMapping::saveWritesTrimmedPairsOfAllKinds() {
    Editor e([](Connection& c) {
        AddPair(c, 1, "customer", "旧客户", "109", "旧名");
        AddPair(c, 2, "customer", "另一套", "103", "南粤");
    });
    QTableWidget* c = e.grid(0);
    c->item(0, 2)->setText(QStringLiteral("  华远  "));
    e.click("cmdNew");
    TypeInto(c, 1, 1, QStringLiteral(" 手工客户 ")); // typed, not picked: no identifier
    TypeInto(c, 1, 2, QStringLiteral("手工"));
    e.click("cmdNew"); // tax name missing: skipped
    TypeInto(c, 2, 1, QStringLiteral("只有QOR名"));
    e.click("cmdNew"); // blank names: skipped
    TypeInto(c, 3, 1, QStringLiteral("   "));
    TypeInto(c, 3, 2, QStringLiteral("空白"));
    e.tab(4);
    e.click("cmdNew");
    QTableWidget* m = e.grid(4);
    TypeInto(m, 0, 1, QStringLiteral("500ml"));
    TypeInto(m, 0, 2, QStringLiteral("华远")); // the same tax name in another kind is allowed
    e.click("cmdSave");
    QVERIFY(e.sink.entries.isEmpty());
    QCOMPARE(Dump(*e.db.config),
             (QStringList{"1|QORBody|model|500ml||华远", "1|QORHead|customer|手工客户||手工",
                          "1|QORHead|customer|旧客户|109|华远", "2|QORHead|customer|另一套|103|南粤"}));
    QCOMPARE(c->rowCount(), 4); // skipped rows stay in the grid
    e.w->close();
    QVERIFY(e.sink.entries.isEmpty());
}

void TestMapping::typedNameKeepsPickedIdentifier() {
    Editor e;
    e.tab(3);
    e.click("cmdNew");
    QTableWidget* g = e.grid(3);
    g->setCurrentCell(0, 1);
    AnswerModal(PressEnterInPicker);
    QTest::keyClick(g, Qt::Key_F7);
    TypeInto(g, 0, 1, QStringLiteral("超级用户"));
    TypeInto(g, 0, 2, QStringLiteral("管理员"));
    QCOMPARE(Id(g, 0), QStringLiteral("16394"));
    e.click("cmdSave");
    QCOMPARE(Dump(*e.db.config), QStringList{"1|QORHead|user|超级用户|16394|管理员"});
}

void TestMapping::duplicateTaxNameRollsBack() {
    Editor e([](Connection& c) {
        AddPair(c, 1, "customer", "北京华远信息技术有限公司", "101", "华远");
        AddPair(c, 1, "unit", "件", "510", "包装件");
    });
    const QStringList before = Dump(*e.db.config);
    QTableWidget* g = e.grid(0);
    e.click("cmdNew");
    TypeInto(g, 1, 1, QStringLiteral("上海浦江电子科技有限公司"));
    TypeInto(g, 1, 2, QStringLiteral(" 华远 ")); // equal once trimmed
    e.click("cmdSave");
    QCOMPARE(e.sink.texts(), QStringList{SaveFailed});
    QCOMPARE(e.sink.entries.first().kind, RecorderSink::Info);
    QCOMPARE(Dump(*e.db.config), before);
    QCOMPARE(g->rowCount(), 2); // the user's entries stay
    QCOMPARE(Text(g, 1, 2), QStringLiteral(" 华远 "));
    // The failed save left the changes pending: closing asks, No leaves the table as it was.
    e.sink.clear();
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
    QVERIFY(!e.w->isVisible());
    QCOMPARE(Dump(*e.db.config), before);
}

void TestMapping::closeQuestion_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("duplicate");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<int>("rowsStored");
    QTest::newRow("cmdClose, No: closes without saving")
        << "button" << false << false << QStringList{CloseQuestion} << false << 1;
    QTest::newRow("cmdClose, Yes: saves and closes")
        << "button" << true << false << QStringList{CloseQuestion} << false << 2;
    QTest::newRow("title bar, Yes and the save fails: stays open")
        << "window" << true << true << QStringList{CloseQuestion, SaveFailed} << true << 1;
    QTest::newRow("Esc, Yes: saves and closes")
        << "escape" << true << false << QStringList{CloseQuestion} << false << 2;
}

void TestMapping::closeQuestion() {
    QFETCH(QString, how);
    QFETCH(bool, yes);
    QFETCH(bool, duplicate);
    QFETCH(QStringList, messages);
    QFETCH(bool, staysOpen);
    QFETCH(int, rowsStored);
    Editor e([](Connection& c) { AddPair(c, 1, "customer", "北京华远信息技术有限公司", "101", "华远"); });
    QTableWidget* g = e.grid(0);
    e.click("cmdNew");
    TypeInto(g, 1, 1, QStringLiteral("上海浦江电子科技有限公司"));
    TypeInto(g, 1, 2, duplicate ? QStringLiteral("华远") : QStringLiteral("浦江"));
    e.sink.answers = {yes};
    if (how == u"button")
        e.click("cmdClose");
    else if (how == u"window")
        e.w->close();
    else
        QTest::keyClick(e.w.get(), Qt::Key_Escape);
    QCOMPARE(e.sink.texts(), messages);
    QCOMPARE(e.sink.entries.first().kind, RecorderSink::Question);
    QCOMPARE(e.w->isVisible(), staysOpen);
    QCOMPARE(Dump(*e.db.config).size(), rowsStored);
    if (staysOpen) QCOMPARE(Text(g, 1, 2), QStringLiteral("华远"));
}

void TestMapping::openEntryIsKeptWhenClosing() {
    Editor e;
    e.click("cmdNew");
    QTableWidget* g = e.grid(0);
    TypeInto(g, 0, 1, QStringLiteral("北京华远信息技术有限公司"));
    TypeInto(g, 0, 2, QStringLiteral("华远"), false); // still being typed
    e.sink.answers = {true};
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
    QCOMPARE(Dump(*e.db.config), QStringList{"1|QORHead|customer|北京华远信息技术有限公司||华远"});
}

void TestMapping::pickAloneAsksBeforeClosing() {
    Editor e([](Connection& c) { AddPair(c, 1, "customer", "旧名", "109", "华远"); });
    QTableWidget* g = e.grid(0);
    g->setCurrentCell(0, 1);
    AnswerModal(PressEnterInPicker);
    QTest::keyClick(g, Qt::Key_F7);
    e.sink.answers = {true};
    e.w->close();
    QCOMPARE(e.sink.texts(), QStringList{CloseQuestion});
    QCOMPARE(Dump(*e.db.config), QStringList{"1|QORHead|customer|北京华远信息技术有限公司|101|华远"});
}

QTEST_MAIN(TestMapping)
#include "test_mapping.moc"
