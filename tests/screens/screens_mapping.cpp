// The base-data mapping editor with a few pairs and its tab of tax codes, and the three pickers on the
// demo set.
#include "ScreenRegistry.h"
#include "mapping/TaxCodeStore.h"
#include "mapping/ui/CustomerPicker.h"
#include "mapping/ui/MappingEditor.h"
#include "mapping/ui/OtherNamePicker.h"
#include "mapping/ui/ProductPicker.h"
#include <QTabWidget>

namespace {
void commerceEdition(TestDatabases& db) {
    db.session.setEdition(QStringLiteral("COMMERCE"));
}

void addPair(Connection& conn, const char* kind, const char* table, const QString& qor, const QString& id,
             const QString& tax) {
    conn.exec(
        QStringLiteral("insert into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, FQorDataID, FTaxData) "
                       "values (1, ?, ?, ?, ?, ?)"),
        {QString::fromLatin1(table), QString::fromLatin1(kind), qor, id, tax});
}
} // namespace

static ScreenRegistrar s1("MappingEditor", [](TestDatabases& db) -> QWidget* {
    commerceEdition(db);
    addPair(*db.config, "customer", "QORHead", QStringLiteral("北京华远信息技术有限公司"),
            QStringLiteral("101"), QStringLiteral("北京华远信息技术有限公司（总部）"));
    addPair(*db.config, "customer", "QORHead", QStringLiteral("上海浦江电子科技有限公司"),
            QStringLiteral("102"), QStringLiteral("浦江电子"));
    addPair(*db.config, "customer", "QORHead", QStringLiteral("O'Brien贸易有限公司"), QStringLiteral("104"),
            QStringLiteral("奥布莱恩贸易有限公司"));
    addPair(*db.config, "unit", "QORBody", QStringLiteral("件"), QStringLiteral("510"),
            QStringLiteral("包装件"));
    auto* w = new MappingEditor(db.session);
    w->linkId = 1;
    w->init();
    return w;
});

static ScreenRegistrar s2("CustomerPicker", [](TestDatabases& db) -> QWidget* {
    commerceEdition(db);
    auto* w = new CustomerPicker(db.session);
    w->isAddMidTable = true;
    w->setFType(0);
    return w;
});

static ScreenRegistrar s3("ProductPicker", [](TestDatabases& db) -> QWidget* {
    commerceEdition(db);
    auto* w = new ProductPicker(db.session);
    w->isAddMidTable = true;
    return w;
});

static ScreenRegistrar s4("OtherNamePicker", [](TestDatabases& db) -> QWidget* {
    commerceEdition(db);
    auto* w = new OtherNamePicker(db.session);
    w->isAddMidTable = true;
    w->setTabType(2);
    return w;
});

static ScreenRegistrar s5("MappingEditor_TaxCode", [](TestDatabases& db) -> QWidget* {
    commerceEdition(db);
    TaxCodeRow printer;
    printer.itemId = 401;
    printer.itemNumber = QStringLiteral("1.01.001");
    printer.itemName = QStringLiteral("激光打印机");
    printer.taxCode = QStringLiteral("1090512990000000000");
    printer.shortName = QStringLiteral("打印机");
    printer.ownCode = QStringLiteral("DY-01");
    TaxCodeRow pen;
    pen.itemId = 407;
    pen.itemNumber = QStringLiteral("2.01.002");
    pen.itemName = QStringLiteral("中性笔");
    pen.taxCode = QStringLiteral("1060106010000000000");
    pen.shortName = QStringLiteral("文具");
    pen.preferential = true;
    pen.preferentialText = QStringLiteral("免税");
    pen.zeroRate = QStringLiteral("1");
    TaxCodeStore(db.session).save({printer, pen}, QStringLiteral("36.0"));
    auto* w = new MappingEditor(db.session);
    w->linkId = 1;
    w->init();
    w->tabMap->setCurrentIndex(5);
    return w;
});
