// The export windows on the demo data.
#include "ScreenRegistry.h"
#include "export/frmExportTxt.h"
#include "export/frmFilter.h"
#include "links/frmList.h"
#include <QLineEdit>
#include <QTreeWidget>

static ScreenRegistrar s1("frmList", [](TestDatabases& db) -> QWidget* {
    auto* w = new frmList(db.session);
    w->ExportOrImport = 0;
    w->Init();
    if (w->lsvSelect->topLevelItemCount() > 0) w->lsvSelect->setCurrentItem(w->lsvSelect->topLevelItem(0));
    return w;
});

static ScreenRegistrar s2("frmExportTxt", [](TestDatabases& db) -> QWidget* {
    auto* w = new frmExportTxt(db.session);
    w->txtLinkName->setText(QStringLiteral("航天金税默认格式"));
    w->txtNote->setText(QStringLiteral("销售专用发票"));
    w->setKey(QStringLiteral("1"));
    w->txtTxtFile->setText(db.folder() + QStringLiteral("/发票2026年1月.TXT"));
    return w;
});

static ScreenRegistrar s3("frmFilter", [](TestDatabases& db) -> QWidget* {
    auto* w = new frmFilter(db.session);
    w->Init();
    w->txtItemFrom[1]->setText(QStringLiteral("01.001"));
    w->txtItemTo[1]->setText(QStringLiteral("01.004"));
    w->txtItemFrom[4]->setText(QStringLiteral("张会计"));
    return w;
});
