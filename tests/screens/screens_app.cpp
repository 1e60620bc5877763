// The application shell's windows on the demo data.
#include "ScreenRegistry.h"
#include "app/AcctSets.h"
#include "app/AppMain.h"
#include "app/HostComponents.h"
#include "app/frmAbout.h"
#include "app/frmAcctSets.h"
#include "app/frmHelp.h"
#include "app/frmItemLook.h"
#include "app/frmLogin.h"
#include "app/frmMain.h"
#include "common/Session.h"
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace {
// The keychain of the screens: one password kept.
class ShownPasswords : public PasswordStore {
public:
    std::optional<QString> Read(const QString& name) override {
        if (name == u"总部服务器") return QStringLiteral("secret");
        return std::nullopt;
    }
    bool Write(const QString&, const QString&) override { return true; }
    void Remove(const QString&) override {}
};
ShownPasswords gPasswords;
} // namespace

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

// A page of the help as F1 in the export window shows it.
static ScreenRegistrar sHelpExport("frmHelp_export", [](TestDatabases&) {
    auto* w = new frmHelp;
    w->showPage(QStringLiteral("export"));
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sHelpBatch("frmHelp_batch", [](TestDatabases&) {
    auto* w = new frmHelp;
    w->showPage(QStringLiteral("batch"));
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

static ScreenRegistrar sAcctSets("frmAcctSets", [](TestDatabases& db) {
    SaveAcctSets(
        {{QStringLiteral("QORDemo"), QStringLiteral("Provider=SQLite;Data Source=") + db.acctPath},
         {QStringLiteral("总部服务器"),
          QStringLiteral("Provider=PostgreSQL;Host=acct.example.com;Port=5432;Database=qor;User ID=kuaiji")},
         {QStringLiteral("旧账套 (SQL Server)"), QStringLiteral("Provider=ODBC;DSN=QORSQL;UID=sa")}});
    auto* w = new frmAcctSets(gPasswords);
    w->Init();
    w->lstSets->setCurrentRow(1);
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sAcctSetsOdbc("frmAcctSets_odbc", [](TestDatabases& db) {
    SaveAcctSets(
        {{QStringLiteral("QORDemo"), QStringLiteral("Provider=SQLite;Data Source=") + db.acctPath},
         {QStringLiteral("旧账套 (SQL Server)"),
          QStringLiteral(
              "Provider=ODBC;Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=QOR;UID=sa")}});
    auto* w = new frmAcctSets(gPasswords);
    w->Init();
    w->lstSets->setCurrentRow(1);
    return static_cast<QWidget*>(w);
});

// The program's icon at the sizes a desktop shows it.
static ScreenRegistrar sIcon("icon_taxferry", [](TestDatabases&) {
    auto* w = new QWidget;
    w->setStyleSheet(QStringLiteral("background: white"));
    auto* row = new QHBoxLayout(w);
    for (int size : {128, 48, 32, 16}) {
        auto* l = new QLabel(w);
        l->setPixmap(ProgramIcon().pixmap(size, size));
        row->addWidget(l, 0, Qt::AlignBottom);
    }
    return w;
});
