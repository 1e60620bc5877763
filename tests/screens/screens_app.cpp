// The application shell's windows on the demo data.
#include "ScreenRegistry.h"
#include "app/HostComponents.h"
#include "app/frmAbout.h"
#include "app/frmHelp.h"
#include "app/frmItemLook.h"
#include "app/frmLogin.h"
#include "app/frmMain.h"
#include "common/Session.h"
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>

static ScreenRegistrar sMain("frmMain", [](TestDatabases& db) {
    auto session = std::make_unique<Session>(db.session);
    session->gsUserName = QStringLiteral("super");
    session->gsAcctName = QStringLiteral("QORDemo");
    auto* w = new frmMain(std::move(session));
    w->Form_Load();
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sLogin("frmLogin", [](TestDatabases& db) {
    auto* w = new frmLogin;
    w->Init(db.folder(), QStringLiteral("super"), QString());
    w->cboAcct->setEditText(QStringLiteral("QORDemo"));
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sHelp("frmHelp", [](TestDatabases&) {
    auto* w = new frmHelp;
    w->Init(1);
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sAbout("frmAbout", [](TestDatabases&) {
    auto* w = new frmAbout;
    w->Init(QCoreApplication::instance());
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sItemLook("frmItemLook", [](TestDatabases& db) {
    auto* w = new frmItemLook;
    w->Init(QStringLiteral("SelCust"), *db.acct);
    return static_cast<QWidget*>(w);
});
