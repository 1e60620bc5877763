// The base-data mapping editor with a few pairs, and the three pickers on the demo set.
#include "ScreenRegistry.h"
#include "mapping/frmItem.h"
#include "mapping/frmListClient.h"
#include "mapping/frmListItem.h"
#include "mapping/frmListOtherID.h"

namespace {
void CommerceEdition(TestDatabases& db) {
    db.session.SetEdition(QStringLiteral("COMMERCE"));
}

void AddPair(Connection& conn, const char* kind, const char* table, const QString& qor, const QString& id,
             const QString& tax) {
    conn.Execute(
        QStringLiteral("insert into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, FQorDataID, FTaxData) "
                       "values (1, ?, ?, ?, ?, ?)"),
        {QString::fromLatin1(table), QString::fromLatin1(kind), qor, id, tax});
}
} // namespace

static ScreenRegistrar s1("frmItem", [](TestDatabases& db) -> QWidget* {
    CommerceEdition(db);
    AddPair(*db.config, "customer", "QORHead", QStringLiteral("北京华远信息技术有限公司"),
            QStringLiteral("101"), QStringLiteral("北京华远信息技术有限公司（总部）"));
    AddPair(*db.config, "customer", "QORHead", QStringLiteral("上海浦江电子科技有限公司"),
            QStringLiteral("102"), QStringLiteral("浦江电子"));
    AddPair(*db.config, "customer", "QORHead", QStringLiteral("O'Brien贸易有限公司"), QStringLiteral("104"),
            QStringLiteral("奥布莱恩贸易有限公司"));
    AddPair(*db.config, "unit", "QORBody", QStringLiteral("件"), QStringLiteral("510"),
            QStringLiteral("包装件"));
    auto* w = new frmItem(db.session);
    w->LinkID = 1;
    w->Init();
    return w;
});

static ScreenRegistrar s2("frmListClient", [](TestDatabases& db) -> QWidget* {
    CommerceEdition(db);
    auto* w = new frmListClient(db.session);
    w->IsAddMidTable = true;
    w->setFType(0);
    return w;
});

static ScreenRegistrar s3("frmListItem", [](TestDatabases& db) -> QWidget* {
    CommerceEdition(db);
    auto* w = new frmListItem(db.session);
    w->IsAddMidTable = true;
    return w;
});

static ScreenRegistrar s4("frmListOtherID", [](TestDatabases& db) -> QWidget* {
    CommerceEdition(db);
    auto* w = new frmListOtherID(db.session);
    w->IsAddMidTable = true;
    w->setTabType(2);
    return w;
});
