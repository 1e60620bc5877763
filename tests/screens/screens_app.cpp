// The application shell's windows on the demo data.
#include "ScreenRegistry.h"
#include "app/AccountSets.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/AccountSetsDialog.h"
#include "app/ui/AppMain.h"
#include "app/ui/BaseDataPicker.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/HostComponents.h"
#include "app/ui/LoginDialog.h"
#include "app/ui/MainWindow.h"
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
    std::optional<QString> read(const QString& name) override {
        if (name == u"总部服务器") return QStringLiteral("secret");
        return std::nullopt;
    }
    bool write(const QString&, const QString&) override { return true; }
    void remove(const QString&) override {}
};
ShownPasswords gPasswords;
} // namespace

static ScreenRegistrar sMain("MainWindow", [](TestDatabases& db) {
    auto session = std::make_unique<Session>(db.session);
    session->gsUserName = QStringLiteral("super");
    session->gsAcctName = QStringLiteral("QORDemo");
    auto* w = new MainWindow(std::move(session));
    w->formLoad();
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sLogin("LoginDialog", [](TestDatabases& db) {
    auto* w = new LoginDialog;
    w->init(db.folder(), QStringLiteral("super"), QString());
    w->cboAcct->setEditText(QStringLiteral("QORDemo"));
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sHelp("HelpWindow", [](TestDatabases&) {
    auto* w = new HelpWindow;
    w->init(1);
    return static_cast<QWidget*>(w);
});

// A page of the help as F1 in the export window shows it.
static ScreenRegistrar sHelpExport("HelpWindow_export", [](TestDatabases&) {
    auto* w = new HelpWindow;
    w->showPage(QStringLiteral("export"));
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sHelpBatch("HelpWindow_batch", [](TestDatabases&) {
    auto* w = new HelpWindow;
    w->showPage(QStringLiteral("batch"));
    return static_cast<QWidget*>(w);
});

// The platform's way round: which file to download and what is read of each sheet.
static ScreenRegistrar sHelpPlatform("HelpWindow_platform", [](TestDatabases&) {
    auto* w = new HelpWindow;
    w->showPage(QStringLiteral("platform#download"));
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sAbout("AboutDialog", [](TestDatabases&) {
    auto* w = new AboutDialog;
    w->init(QCoreApplication::instance());
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sItemLook("BaseDataPicker", [](TestDatabases& db) {
    auto* w = new BaseDataPicker;
    w->init(QStringLiteral("SelCust"), *db.acct);
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sAcctSets("AccountSetsDialog", [](TestDatabases& db) {
    saveAcctSets(
        {{QStringLiteral("QORDemo"), QStringLiteral("Provider=SQLite;Data Source=") + db.acctPath},
         {QStringLiteral("总部服务器"),
          QStringLiteral("Provider=PostgreSQL;Host=acct.example.com;Port=5432;Database=qor;User ID=kuaiji")},
         {QStringLiteral("旧账套 (SQL Server)"), QStringLiteral("Provider=ODBC;DSN=QORSQL;UID=sa")}});
    auto* w = new AccountSetsDialog(gPasswords);
    w->init();
    w->lstSets->setCurrentRow(1);
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sAcctSetsOdbc("AccountSetsDialog_odbc", [](TestDatabases& db) {
    saveAcctSets(
        {{QStringLiteral("QORDemo"), QStringLiteral("Provider=SQLite;Data Source=") + db.acctPath},
         {QStringLiteral("旧账套 (SQL Server)"),
          QStringLiteral(
              "Provider=ODBC;Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=QOR;UID=sa")}});
    auto* w = new AccountSetsDialog(gPasswords);
    w->init();
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
        l->setPixmap(programIcon().pixmap(size, size));
        row->addWidget(l, 0, Qt::AlignBottom);
    }
    return w;
});
