// The start-up and the login.
#include "test_app.h"

namespace {
void fillLogin(QWidget* w, const QString& acct, const QString& user, const QString& password) {
    w->findChild<QComboBox*>(QStringLiteral("cboAcct"))->setEditText(acct);
    w->findChild<QLineEdit*>(QStringLiteral("txtUser"))->setText(user);
    w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
}

int UniqueKeyCounter = 0;

QString uniqueKey() {
    return QStringLiteral("taxferry-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++UniqueKeyCounter);
}
} // namespace

void TestApp::initTestCase() {
    // As the program starts: Qt's own texts and the calendars in Chinese.
    QVERIFY2(loadChineseTranslations(), "qtbase_zh_CN.qm missing: scripts/install-deps.sh installs it");
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

    LoginDialog login;
    login.init(m_db->folder(), user, password);
    fillLogin(&login, acct, user, password);
    if (!newPassword.isEmpty()) {
        login.chkNewPassword->setChecked(true);
        login.txtNewPassword->setText(newPassword);
        login.txtConfirm->setText(confirm);
    }
    const bool ok = login.tryLogin();
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (ok) {
        QCOMPARE(login.userName(), user);
        QCOMPARE(login.acctName(), QStringLiteral("acct"));
        QCOMPARE(parseConnProps(login.propsString(), 0), m_db->acctConnString());
        QCOMPARE(login.propsString(), u'{' + m_db->acctConnString() + QStringLiteral("};UserName=") + user +
                                          QStringLiteral(";AcctName=acct"));
    }
}

void TestApp::loginSetsANewPasswordAndChecksIt() {
    auto attempt = [&](const QString& password, const QString& newPassword = QString()) {
        LoginDialog login;
        login.init(m_db->folder(), QStringLiteral("super"), password);
        fillLogin(&login, m_db->acctPath, QStringLiteral("super"), password);
        if (!newPassword.isEmpty()) {
            login.chkNewPassword->setChecked(true);
            login.txtNewPassword->setText(newPassword);
            login.txtConfirm->setText(newPassword);
        }
        return login.tryLogin();
    };
    QVERIFY(attempt(QString(), QStringLiteral("秘密1")));
    RecordsetPtr rs =
        m_db->acct->query(QStringLiteral("select FPasswordHash,FSalt from t_User where FName='super'"));
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
        LoginDialog login;
        login.init(m_db->folder(), QStringLiteral("super"), QString());
        fillLogin(&login, m_db->acctPath, QStringLiteral("super"), QString());
        QVERIFY(login.tryLogin());
    }
    LoginDialog again;
    again.init(m_db->folder(), QStringLiteral("super"), QString());
    QCOMPARE(again.cboAcct->currentText(), QStringLiteral("acct"));
    QVERIFY(again.tryLogin());
    QCOMPARE(parseConnProps(again.propsString(), 0), m_db->acctConnString());
}

// ---- start-up -------------------------------------------------------------------------------

void TestApp::mainRefusedLoginEndsSilently() {
    StartOptions options{m_db->folder(), uniqueKey()};
    bool loginShown = false;
    onNextModal([&](QWidget* w) {
        loginShown = w && w->objectName() == u"LoginDialog";
        if (w) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    QCOMPARE(startApplication(options), nullptr);
    QVERIFY(loginShown);
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::mainWithoutConfigurationDatabaseReportsError() {
    QTemporaryDir empty;
    StartOptions options{empty.path(), uniqueKey()};
    onNextModal([&](QWidget* w) {
        fillLogin(w, m_db->acctPath, QStringLiteral("super"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QCOMPARE(startApplication(options), nullptr);
    QCOMPARE(
        m_sink->texts(),
        QStringList{QStringLiteral("调用(Main)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“") +
                    empty.path() + QStringLiteral("/Taxlink.db”。")});
    QCOMPARE(m_sink->entries.first().kind, RecorderSink::Error);
}

void TestApp::mainShowsWindowAndSecondStartActivatesIt() {
    StartOptions options{m_db->folder(), uniqueKey()};
    onNextModal([&](QWidget* w) {
        fillLogin(w, m_db->acctPath, QStringLiteral("张会计"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QPointer<MainWindow> window = startApplication(options);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvane航天金税接口"));
    const Session& session = window->session();
    QCOMPARE(session.gsUserName, QStringLiteral("张会计"));
    QCOMPARE(session.gsAcctName, QStringLiteral("acct"));
    QCOMPARE(session.gsConfigConnString, m_db->configConnString());
    QCOMPARE(parseConnProps(session.gsAcctProps, 0), m_db->acctConnString());
    QStringList panels;
    for (const char* key : {"Status", "Dbname", "Company", "period"})
        panels << window->findChild<QLabel*>(QString::fromLatin1(key))->text();
    QCOMPARE(panels, (QStringList{QStringLiteral("就绪"), QStringLiteral("杭州明远商贸有限公司"),
                                  QStringLiteral("账套:acct"), QStringLiteral("用户:张会计")}));
    ConnectionPtr acct = session.gcnAcct;
    ConnectionPtr config = session.gcnConfig;
    QCOMPARE(acct->state(), 1);
    QCOMPARE(config->state(), 1);

    // A second start brings the first window back instead of logging in again.
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    bool loginShown = false;
    onNextModal(
        [&](QWidget* w) {
            loginShown = w != nullptr;
            if (w) w->close();
        },
        20);
    QCOMPARE(startApplication(options), nullptr);
    QTRY_VERIFY(!window->isMinimized());
    QTest::qWait(300);
    QVERIFY(!loginShown);
    QVERIFY(m_sink->entries.isEmpty());

    window->close();
    QTRY_VERIFY(!window); // released on close
    QCOMPARE(acct->state(), 0);
    QCOMPARE(config->state(), 0);

    // With the first copy gone, a start logs in again.
    loginShown = false;
    onNextModal([&](QWidget* w) {
        loginShown = w != nullptr;
        if (w) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    QCOMPARE(startApplication(options), nullptr);
    QVERIFY(loginShown);
}

void TestApp::mainReportsUnreadableCompany() {
    m_db->acct->exec(QStringLiteral("drop table t_SystemProfile"));
    QString expected;
    try {
        m_db->acct->query(QStringLiteral("select FValue from t_SystemProfile where FCategory=? and FKey=?"),
                          {QStringLiteral("Base"), QStringLiteral("CompanyName")});
    } catch (const DbError& e) {
        expected = QStringLiteral("调用(Main)出错!\r\n") + e.reportText();
    }
    QVERIFY(expected.contains(QStringLiteral("t_SystemProfile")));
    StartOptions options{m_db->folder(), uniqueKey()};
    onNextModal([&](QWidget* w) {
        fillLogin(w, m_db->acctPath, QStringLiteral("super"), QString());
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QCOMPARE(startApplication(options), nullptr);
    QCOMPARE(m_sink->texts(), QStringList{expected});
    const QWidgetList shown = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(shown.begin(), shown.end(), [](QWidget* w) { return w->isVisible(); }));
}

QTEST_MAIN(TestApp)
