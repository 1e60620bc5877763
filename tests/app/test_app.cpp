// Start-up, login, main window and host components, driven as a user drives them.
#include "app/AppMain.h"
#include "app/MessageBoxSink.h"
#include "app/clsItemLook.h"
#include "app/clsLogin.h"
#include "app/frmHelp.h"
#include "app/frmItemLook.h"
#include "app/frmLogin.h"
#include "app/frmMain.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "export/frmExportTxt.h"
#include "export/frmFilter.h"
#include "support/TestSupport.h"
#include <QAbstractButton>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>
#include <functional>

namespace {
// Runs answer on the next modal window that appears (or gets nullptr when none appears).
void OnNextModal(std::function<void(QWidget*)> answer, int tries = 200) {
    QTimer::singleShot(10, [answer, tries] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            answer(w);
        } else if (tries > 0) {
            OnNextModal(answer, tries - 1);
        } else {
            answer(nullptr);
        }
    });
}

// The class of the modal window a call opens, which is closed at once; empty when none opened.
QString ModalOpenedBy(const std::function<void()>& call) {
    QString opened;
    bool done = false;
    QTimer::singleShot(50, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(w->metaObject()->className());
            w->close();
        }
        done = true;
    });
    call();
    if (!QTest::qWaitFor([&] { return done; }, 5000)) return QStringLiteral("<timeout>");
    return opened;
}

void FillLogin(QWidget* w, const QString& acct, const QString& user, const QString& password) {
    w->findChild<QComboBox*>(QStringLiteral("cboAcct"))->setEditText(acct);
    w->findChild<QLineEdit*>(QStringLiteral("txtUser"))->setText(user);
    w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
}

QAction* Tool(QWidget* band, const QString& name) {
    for (QAction* a : band->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

int UniqueKeyCounter = 0;
QString UniqueKey() {
    return QStringLiteral("taxferry-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++UniqueKeyCounter);
}
} // namespace

class TestApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loginChecks_data();
    void loginChecks();
    void loginSetsANewPasswordAndChecksIt();
    void loginRemembersTheAccountingSet();

    void mainRefusedLoginEndsSilently();
    void mainWithoutConfigurationDatabaseReportsError();
    void mainShowsWindowAndSecondStartActivatesIt();
    void mainReportsUnreadableCompany();

    void editionSelectsViews_data();
    void editionSelectsViews();
    void mappingEditorReportsUnreadableProfile();
    void inertToolsDoNothing_data();
    void inertToolsDoNothing();
    void shortcutsWorkAfterADialogCloses_data();
    void shortcutsWorkAfterADialogCloses();
    void menuItemsHaveMnemonics();
    void exitFromEveryBandClosesConnections_data();
    void exitFromEveryBandClosesConnections();
    void commandsOpenTheirWindows_data();
    void commandsOpenTheirWindows();
    void helpShowsTheShippedGuide();

    void pickerReturnsCode_data();
    void pickerReturnsCode();
    void pickerCancelAndUnknownKind();

    void messageBoxes_data();
    void messageBoxes();
    void qtTextsInChinese();

private:
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
};

void TestApp::initTestCase() {
    // As the program starts: Qt's own texts and the calendars in Chinese.
    QVERIFY2(LoadChineseTranslations(), "qtbase_zh_CN.qm missing: scripts/install-deps.sh installs it");
}

void TestApp::init() {
    m_db = std::make_unique<TestDatabases>();
    m_sink = std::make_unique<RecorderSink>();
}

void TestApp::cleanup() {
    m_sink.reset();
    m_db.reset();
}

// ---- login ----------------------------------------------------------------------------------

void TestApp::loginChecks_data() {
    QTest::addColumn<QString>("acct"); // "ACCT" stands for the demo set's file, "DIR" for the test folder
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("message"); // empty: the login succeeds

    QTest::newRow("no accounting set") << ""
                                       << "super"
                                       << ""
                                       << ""
                                       << ""
                                       << "请选择账套!";
    QTest::newRow("no user name") << "ACCT"
                                  << "  "
                                  << ""
                                  << ""
                                  << ""
                                  << "请输入用户名!";
    QTest::newRow("unknown user") << "ACCT"
                                  << "nobody"
                                  << ""
                                  << ""
                                  << ""
                                  << "用户名或密码错误!";
    QTest::newRow("system account cannot log in") << "ACCT"
                                                  << "sync"
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << "用户名或密码错误!";
    QTest::newRow("forbidden user") << "ACCT"
                                    << "孙离职"
                                    << ""
                                    << ""
                                    << ""
                                    << "该用户已被禁用!";
    QTest::newRow("password given where none is set") << "ACCT"
                                                      << "super"
                                                      << "x"
                                                      << ""
                                                      << ""
                                                      << "用户名或密码错误!";
    QTest::newRow("new passwords differ") << "ACCT"
                                          << "super"
                                          << ""
                                          << "a1"
                                          << "a2"
                                          << "两次输入的新密码不一致!";
    QTest::newRow("missing accounting file") << "DIR/none.db"
                                             << "super"
                                             << ""
                                             << ""
                                             << ""
                                             << "无法登录账套“none”: 找不到数据库文件“DIR/none.db”。";
    QTest::newRow("unpaired braces in a connection string") << "Provider=ODBC;Driver={x;DSN=y"
                                                            << "super"
                                                            << ""
                                                            << ""
                                                            << ""
                                                            << "账套的连接字符串中的花括号不成对!";
    QTest::newRow("super without a password") << "ACCT"
                                              << "super"
                                              << ""
                                              << ""
                                              << ""
                                              << "";
    QTest::newRow("user with a Chinese name") << "ACCT"
                                              << "张会计"
                                              << ""
                                              << ""
                                              << ""
                                              << "";
}

void TestApp::loginChecks() {
    QFETCH(QString, acct);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, newPassword);
    QFETCH(QString, confirm);
    QFETCH(QString, message);
    acct.replace(QStringLiteral("ACCT"), m_db->acctPath).replace(QStringLiteral("DIR"), m_db->folder());
    message.replace(QStringLiteral("DIR"), m_db->folder());

    frmLogin login;
    login.Init(m_db->folder(), user, password);
    FillLogin(&login, acct, user, password);
    if (!newPassword.isEmpty()) {
        login.chkNewPassword->setChecked(true);
        login.txtNewPassword->setText(newPassword);
        login.txtConfirm->setText(confirm);
    }
    const bool ok = login.TryLogin();
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (ok) {
        QCOMPARE(login.UserName(), user);
        QCOMPARE(login.AcctName(), QStringLiteral("acct"));
        QCOMPARE(ParseConnProps(login.PropsString(), 0), m_db->acctConnString());
        QCOMPARE(login.PropsString(), u'{' + m_db->acctConnString() + QStringLiteral("};UserName=") + user +
                                          QStringLiteral(";AcctName=acct"));
    }
}

void TestApp::loginSetsANewPasswordAndChecksIt() {
    auto attempt = [&](const QString& password, const QString& newPassword = QString()) {
        frmLogin login;
        login.Init(m_db->folder(), QStringLiteral("super"), password);
        FillLogin(&login, m_db->acctPath, QStringLiteral("super"), password);
        if (!newPassword.isEmpty()) {
            login.chkNewPassword->setChecked(true);
            login.txtNewPassword->setText(newPassword);
            login.txtConfirm->setText(newPassword);
        }
        return login.TryLogin();
    };
    QVERIFY(attempt(QString(), QStringLiteral("秘密1")));
    RecordsetPtr rs =
        m_db->acct->Query(QStringLiteral("select FPasswordHash,FSalt from t_User where FName='super'"));
    const QString hash = rs->value(0).toString();
    QCOMPARE(hash.size(), 64); // a hash, never the password itself
    QVERIFY(!rs->value(1).toString().isEmpty());

    QVERIFY(!attempt(QString()));
    QVERIFY(!attempt(QStringLiteral("秘密")));
    QVERIFY(attempt(QStringLiteral("秘密1")));
    QCOMPARE(m_sink->texts(), QStringList(2, QStringLiteral("用户名或密码错误!")));
}

void TestApp::loginRemembersTheAccountingSet() {
    {
        frmLogin login;
        login.Init(m_db->folder(), QStringLiteral("super"), QString());
        FillLogin(&login, m_db->acctPath, QStringLiteral("super"), QString());
        QVERIFY(login.TryLogin());
    }
    frmLogin again;
    again.Init(m_db->folder(), QStringLiteral("super"), QString());
    QCOMPARE(again.cboAcct->currentText(), QStringLiteral("acct"));
    QVERIFY(again.TryLogin());
    QCOMPARE(ParseConnProps(again.PropsString(), 0), m_db->acctConnString());
}

// ---- start-up -------------------------------------------------------------------------------

void TestApp::mainRefusedLoginEndsSilently() {
    StartOptions options{m_db->folder(), UniqueKey()};
    bool loginShown = false;
    OnNextModal([&](QWidget* w) {
        loginShown = w && w->objectName() == u"frmLogin";
        if (w) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    QCOMPARE(Main(options), nullptr);
    QVERIFY(loginShown);
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::mainWithoutConfigurationDatabaseReportsError() {
    QTemporaryDir empty;
    StartOptions options{empty.path(), UniqueKey()};
    OnNextModal([&](QWidget* w) {
        FillLogin(w, m_db->acctPath, QStringLiteral("super"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QCOMPARE(Main(options), nullptr);
    QCOMPARE(
        m_sink->texts(),
        QStringList{QStringLiteral("调用(Main)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“") +
                    empty.path() + QStringLiteral("/Taxlink.db”。")});
    QCOMPARE(m_sink->entries.first().kind, RecorderSink::Error);
}

void TestApp::mainShowsWindowAndSecondStartActivatesIt() {
    StartOptions options{m_db->folder(), UniqueKey()};
    OnNextModal([&](QWidget* w) {
        FillLogin(w, m_db->acctPath, QStringLiteral("张会计"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QPointer<frmMain> window = Main(options);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvane航天金税接口"));
    const Session& session = window->session();
    QCOMPARE(session.gsUserName, QStringLiteral("张会计"));
    QCOMPARE(session.gsAcctName, QStringLiteral("acct"));
    QCOMPARE(session.gsConfigConnString, m_db->configConnString());
    QCOMPARE(ParseConnProps(session.gsAcctProps, 0), m_db->acctConnString());
    QStringList panels;
    for (const char* key : {"Status", "Dbname", "Company", "period"})
        panels << window->findChild<QLabel*>(QString::fromLatin1(key))->text();
    QCOMPARE(panels, (QStringList{QStringLiteral("就绪"), QStringLiteral("杭州明远商贸有限公司"),
                                  QStringLiteral("账套:acct"), QStringLiteral("用户:张会计")}));
    ConnectionPtr acct = session.gcnAcct;
    ConnectionPtr config = session.gcnConfig;
    QCOMPARE(acct->State(), 1);
    QCOMPARE(config->State(), 1);

    // A second start brings the first window back instead of logging in again.
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    bool loginShown = false;
    OnNextModal(
        [&](QWidget* w) {
            loginShown = w != nullptr;
            if (w) w->close();
        },
        20);
    QCOMPARE(Main(options), nullptr);
    QTRY_VERIFY(!window->isMinimized());
    QTest::qWait(300);
    QVERIFY(!loginShown);
    QVERIFY(m_sink->entries.isEmpty());

    window->close();
    QTRY_VERIFY(!window); // released on close
    QCOMPARE(acct->State(), 0);
    QCOMPARE(config->State(), 0);

    // With the first copy gone, a start logs in again.
    loginShown = false;
    OnNextModal([&](QWidget* w) {
        loginShown = w != nullptr;
        if (w) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    QCOMPARE(Main(options), nullptr);
    QVERIFY(loginShown);
}

void TestApp::mainReportsUnreadableCompany() {
    m_db->acct->Execute(QStringLiteral("drop table t_SystemProfile"));
    QString expected;
    try {
        m_db->acct->Query(QStringLiteral("select FValue from t_SystemProfile where FCategory=? and FKey=?"),
                          {QStringLiteral("Base"), QStringLiteral("CompanyName")});
    } catch (const DbError& e) {
        expected = QStringLiteral("调用(Main)出错!\r\n") + e.reportText();
    }
    QVERIFY(expected.contains(QStringLiteral("t_SystemProfile")));
    StartOptions options{m_db->folder(), UniqueKey()};
    OnNextModal([&](QWidget* w) {
        FillLogin(w, m_db->acctPath, QStringLiteral("super"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QCOMPARE(Main(options), nullptr);
    QCOMPARE(m_sink->texts(), QStringList{expected});
    const QWidgetList shown = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(shown.begin(), shown.end(), [](QWidget* w) { return w->isVisible(); }));
}

// ---- main window ----------------------------------------------------------------------------

void TestApp::editionSelectsViews_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("industry");
    QTest::addColumn<QString>("customerView");
    QTest::addColumn<QString>("supplierView");
    QTest::addColumn<QString>("itemView");
    const QString indC = QStringLiteral("vwClientForBase"), indS = QStringLiteral("vwSupplyForBase"),
                  indI = QStringLiteral("vwICItemForBase");
    const QString comC = QStringLiteral("VW_COM_Customer"), comS = QStringLiteral("VW_COM_Supplier"),
                  comI = QStringLiteral("VW_COM_Item_ALL");
    QTest::newRow("INDUSTRY") << "INDUSTRY" << 1 << indC << indS << indI;
    QTest::newRow("industry in lower case") << "industry" << 1 << indC << indS << indI;
    QTest::newRow("commerce") << "COMMERCE" << 0 << comC << comS << comI;
    QTest::newRow("industry with a trailing blank") << "INDUSTRY " << 0 << comC << comS << comI;
    QTest::newRow("no edition in the profile") << QString() << 0 << comC << comS << comI;
}

void TestApp::editionSelectsViews() {
    QFETCH(QString, type);
    QFETCH(int, industry);
    QFETCH(QString, customerView);
    QFETCH(QString, supplierView);
    QFETCH(QString, itemView);
    if (type.isNull())
        m_db->acct->Execute(
            QStringLiteral("delete from t_SystemProfile where FCategory='Base' and FKey='Type'"));
    else
        m_db->acct->Execute(
            QStringLiteral("update t_SystemProfile set FValue=? where FCategory='Base' and FKey='Type'"),
            {type});
    auto start = std::make_unique<Session>(m_db->session);
    start->giIndustry = 1 - industry;
    start->gsCustomerView.clear();
    start->gsSystemLabel.clear();
    frmMain window(std::move(start));
    const Session& session = window.session();
    QString opened;
    int linkId = 0;
    QTimer::singleShot(50, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(w->metaObject()->className());
            linkId = w->property("LinkID").isValid() ? w->property("LinkID").toInt() : -1;
            w->close();
        }
    });
    Tool(window.MainBar, QStringLiteral("ItemMap"))->trigger();
    QCOMPARE(opened, QStringLiteral("frmItem"));
    QCOMPARE(session.giIndustry, industry);
    QCOMPARE(session.gsCustomerView, customerView);
    QCOMPARE(session.gsSupplierView, supplierView);
    QCOMPARE(session.gsItemView, itemView);
    QCOMPARE(session.gsSystemLabel, QStringLiteral("QOR系"));
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::mappingEditorReportsUnreadableProfile() {
    auto start = std::make_unique<Session>(m_db->session);
    start->gsAcctProps =
        QStringLiteral("{Provider=SQLite;Data Source=") + m_db->folder() + QStringLiteral("/gone.db}");
    frmMain window(std::move(start));
    QCOMPARE(ModalOpenedBy([&] { Tool(window.mnuExchange, QStringLiteral("ItemMap"))->trigger(); }),
             QString());
    QCOMPARE(m_sink->texts(),
             QStringList{QStringLiteral(
                             "调用(ShowBaseItem)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“") +
                         m_db->folder() + QStringLiteral("/gone.db”。")});
}

void TestApp::inertToolsDoNothing_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("offered"); // false: greyed, saying the version has no such function
    QTest::newRow("Version on the System menu") << "mnuSystem"
                                                << "Version" << false;
    QTest::newRow("Version on the toolbar") << "MainBar"
                                            << "Version" << false;
    QTest::newRow("DBF import") << "MainBar"
                                << "ImpDBFData" << false;
    QTest::newRow("DBF export") << "MainBar"
                                << "ExpDBFData" << false;
    for (int i = 0; i < 4; ++i)
        QTest::newRow(qPrintable(QStringLiteral("window arrangement %1").arg(i)))
            << "mnuWindow" << QStringLiteral("Arrange%1").arg(i) << true;
}

void TestApp::inertToolsDoNothing() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    QFETCH(bool, offered);
    frmMain window(std::make_unique<Session>(m_db->session));
    window.show();
    QAction* action = Tool(window.findChild<QWidget*>(band), tool);
    QVERIFY(action);
    QCOMPARE(action->isEnabled(), offered);
    if (!offered) {
        QCOMPARE(action->toolTip(), QStringLiteral("本版本不提供此功能"));
        QCOMPARE(action->statusTip(), QStringLiteral("本版本不提供此功能"));
    }
    QCOMPARE(ModalOpenedBy([&] { action->trigger(); }), QString());
    QVERIFY(window.isVisible());
    QVERIFY(m_sink->entries.isEmpty());
    QCOMPARE(m_db->acct->State(), 1);
}

// After a dialog of the main window closes, the main window is active again: its shortcut Ctrl+X
// (退出) works without a click.
void TestApp::shortcutsWorkAfterADialogCloses_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::newRow("about") << "mnuHelp"
                           << "About";
    QTest::newRow("link list") << "MainBar"
                               << "ExportData";
    QTest::newRow("help") << "MainBar"
                          << "HelpContents";
}

void TestApp::shortcutsWorkAfterADialogCloses() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    frmMain window(std::make_unique<Session>(m_db->session));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(!ModalOpenedBy([&] { Tool(window.findChild<QWidget*>(band), tool)->trigger(); }).isEmpty());
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(m_db->acct->State(), 0);
}

// Every menu item is reached from the keyboard: a mnemonic of its own within its menu.
void TestApp::menuItemsHaveMnemonics() {
    frmMain window(std::make_unique<Session>(m_db->session));
    const QList<QMenu*> menus = window.menuBar()->findChildren<QMenu*>();
    QVERIFY(menus.size() >= 4);
    for (QMenu* menu : menus) {
        QStringList keys;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("&(\\w)")).match(a->text());
            QVERIFY2(m.hasMatch(), qPrintable(menu->objectName() + u':' + a->text()));
            keys << m.captured(1).toUpper();
        }
        const QSet<QString> distinct(keys.begin(), keys.end());
        QVERIFY2(distinct.size() == keys.size(), qPrintable(menu->objectName() + u':' + keys.join(u',')));
    }
}

void TestApp::exitFromEveryBandClosesConnections_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("caption");
    QTest::newRow("System menu") << "mnuSystem"
                                 << "退出(&X)";
    QTest::newRow("Exchange menu") << "mnuExchange"
                                   << "退出(&X)";
    QTest::newRow("toolbar") << "MainBar"
                             << "退出";
}

void TestApp::exitFromEveryBandClosesConnections() {
    QFETCH(QString, band);
    QFETCH(QString, caption);
    frmMain window(std::make_unique<Session>(m_db->session));
    window.show();
    QAction* exit = Tool(window.findChild<QWidget*>(band), QStringLiteral("Exit"));
    QVERIFY(exit);
    QCOMPARE(exit->text(), caption);
    exit->trigger();
    QVERIFY(!window.isVisible());
    QCOMPARE(m_db->config->State(), 0);
    QCOMPARE(m_db->acct->State(), 0);
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::helpShowsTheShippedGuide() {
    frmHelp help;
    help.Init(1);
    const QString text = help.txtHelp->toPlainText();
    QVERIFY(text.contains(QStringLiteral("使用说明")));
    QVERIFY(text.contains(QStringLiteral("taxferry-batch")));
}

void TestApp::commandsOpenTheirWindows_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("window");
    QTest::newRow("help from the menu") << "mnuHelp"
                                        << "HelpContents"
                                        << "frmHelp";
    QTest::newRow("help from the toolbar") << "MainBar"
                                           << "HelpContents"
                                           << "frmHelp";
    QTest::newRow("about") << "mnuHelp"
                           << "About"
                           << "frmAbout";
    QTest::newRow("export from the toolbar") << "MainBar"
                                             << "ExportData"
                                             << "frmList";
    QTest::newRow("export from the menu") << "mnuExchange"
                                          << "ExportData"
                                          << "frmList";
    QTest::newRow("import") << "MainBar"
                            << "ImpTxtData"
                            << "frmImportTxt";
    QTest::newRow("mapping") << "mnuExchange"
                             << "ItemMap"
                             << "frmItem";
}

void TestApp::commandsOpenTheirWindows() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    QFETCH(QString, window);
    frmMain main(std::make_unique<Session>(m_db->session));
    main.show();
    QCOMPARE(ModalOpenedBy([&] { Tool(main.findChild<QWidget*>(band), tool)->trigger(); }), window);
    QVERIFY(m_sink->entries.isEmpty());
    QVERIFY(main.isVisible());
}

// ---- host components ------------------------------------------------------------------------

void TestApp::pickerReturnsCode_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("result");
    QTest::newRow("customer by name") << "SelCust"
                                      << "浦江"
                                      << "选择客户"
                                      << "01.002";
    QTest::newRow("customer with a quote") << "SelCust"
                                           << "O'Brien"
                                           << "选择客户"
                                           << "01.004";
    QTest::newRow("department by code") << "SelDepartment"
                                        << "03"
                                        << "选择部门"
                                        << "03";
    QTest::newRow("employee") << "SelBaseEmployee"
                              << "周强"
                              << "选择职员"
                              << "003";
    QTest::newRow("login user gives the user name") << "SelLoginUser"
                                                    << "复核"
                                                    << "选择用户"
                                                    << "李复核";
    QTest::newRow("system accounts are not listed") << "SelLoginUser"
                                                    << "sync"
                                                    << "选择用户"
                                                    << "";
}

void TestApp::pickerReturnsCode() {
    QFETCH(QString, kind);
    QFETCH(QString, find);
    QFETCH(QString, caption);
    QFETCH(QString, result);
    QString shownCaption;
    OnNextModal([&](QWidget* w) {
        shownCaption = w->windowTitle();
        w->findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(find);
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        if (QWidget* box = QApplication::activeModalWidget(); box && box != w) box->close();
        if (w->isVisible()) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    clsItemLook look(m_db->acct);
    look.ShowForm(kind);
    QCOMPARE(shownCaption, caption);
    QCOMPARE(look.ReturnValue(), result);
    QCOMPARE(m_sink->texts(),
             result.isEmpty() ? QStringList{QStringLiteral("请选择一条记录!")} : QStringList());
    QCOMPARE(m_db->acct->State(), 1); // the connection comes back unchanged
}

void TestApp::pickerCancelAndUnknownKind() {
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click(); });
    clsItemLook look(m_db->acct);
    look.ShowForm(QStringLiteral("SelCust"));
    QCOMPARE(look.ReturnValue(), QString());
    try {
        look.ShowForm(QStringLiteral("SelSupplier"));
        QFAIL("an unknown kind must raise an error");
    } catch (const DbError& e) {
        QCOMPARE(e.description(), QStringLiteral("无效的选择类型: SelSupplier"));
    }
}

void TestApp::messageBoxes_data() {
    QTest::addColumn<int>("which"); // 0 ShowMsg, 1 ShowErr, 2 AskYesNo
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("defaultButton");
    QTest::newRow("notice") << 0 << int(QMessageBox::Information) << "引入成功!" << int(QMessageBox::Ok);
    QTest::newRow("error report") << 1 << int(QMessageBox::Warning)
                                  << "调用(SaveLink)出错!\r\n错误编号:13,错误原因:类型不匹配"
                                  << int(QMessageBox::Ok);
    QTest::newRow("question defaults to No")
        << 2 << int(QMessageBox::Question) << "是否覆盖?" << int(QMessageBox::No);
}

void TestApp::messageBoxes() {
    QFETCH(int, which);
    QFETCH(int, icon);
    QFETCH(QString, text);
    QFETCH(int, defaultButton);
    MessageBoxSink boxes;
    MessageSink* previous = SetMessageSink(&boxes);
    QString title, shownText;
    int shownIcon = -1, shownDefault = -1, titleRoom = -1;
    OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        title = box->windowTitle();
        shownText = box->text();
        shownIcon = box->icon();
        shownDefault = box->standardButton(box->defaultButton());
        // Wide enough for the title in a bold title font and the title bar's icon and three buttons.
        QFont bold = box->font();
        bold.setBold(true);
        titleRoom = box->width() - QFontMetrics(bold).horizontalAdvance(box->windowTitle());
        QTest::keyClick(box, Qt::Key_Return); // the default button
    });
    bool answer = true;
    if (which == 0)
        ShowMsg(text);
    else if (which == 1)
        ShowErr(QStringLiteral("SaveLink"), DbError(13, QStringLiteral("类型不匹配")));
    else
        answer = AskYesNo(text);
    SetMessageSink(previous);
    QCOMPARE(title, QStringLiteral("Orvane提示"));
    QCOMPARE(shownText, text);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownDefault, defaultButton);
    QVERIFY2(titleRoom >= 140, qPrintable(QString::number(titleRoom)));
    if (which == 2) QVERIFY(!answer);
}

namespace {
// A button's caption without its mnemonic: "保存(&S)" → "保存".
QString Caption(const QAbstractButton* b) {
    return b ? b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&') : QString();
}
} // namespace

// Qt's own windows speak Chinese: the message boxes' buttons, the save dialog of the export and the
// calendar of the filter's date pickers.
void TestApp::qtTextsInChinese() {
    MessageBoxSink boxes;
    MessageSink* previous = SetMessageSink(&boxes);
    QStringList questionButtons, noticeButtons;
    OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        questionButtons << Caption(box->button(QMessageBox::Yes)) << Caption(box->button(QMessageBox::No));
        box->button(QMessageBox::No)->click();
    });
    AskYesNo(QStringLiteral("是否覆盖?"));
    OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        noticeButtons << Caption(box->button(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    ShowMsg(QStringLiteral("引入成功!"));
    SetMessageSink(previous);
    QCOMPARE(questionButtons, (QStringList{"是", "否"}));
    QCOMPARE(noticeButtons, QStringList{"确定"});

    frmExportTxt exportWindow(m_db->session);
    QStringList dialogButtons;
    OnNextModal([&](QWidget* w) {
        auto* buttons = w ? w->findChild<QDialogButtonBox*>() : nullptr;
        if (buttons)
            for (QAbstractButton* b : buttons->buttons())
                dialogButtons << Caption(b);
        if (w) w->close();
    });
    exportWindow.findChild<QAbstractButton*>(QStringLiteral("btnOpenFile"))->click();
    dialogButtons.sort();
    QCOMPARE(dialogButtons, (QStringList{"保存", "取消"}));

    frmFilter filter(m_db->session);
    filter.Init();
    filter.dtFrom->setDate(QDate(2026, 3, 15));
    auto* month =
        filter.dtFrom->calendarWidget()->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    QVERIFY(month);
    QCOMPARE(month->text(), QStringLiteral("三月"));
}

QTEST_MAIN(TestApp)
#include "test_app.moc"
