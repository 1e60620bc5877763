// Passwords: kept whole from the login text to the database, and shown nowhere.
#include "test_common.h"

// Whatever the connection holds, the login text hands the same connection on: the password (and the
// driver, the file) read back from it are those that went in.
void TestCommon::loginTextKeepsTheConnection_data() {
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QString pg = QStringLiteral("Provider=PostgreSQL;Host=/tmp/s;Database=d;User ID=u;Password=");
    const QString odbc = QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=h;UID=u;PWD=");
    for (const char* password : {"pa}ss", "{pa", "a;b", "a=b", "x}}y", "}", "{}", "}}", " lead", "end}"}) {
        const QString pw = QString::fromUtf8(password);
        QTest::addRow("password '%s' as written by the sets", password)
            << pg + quotedConnectionValue(pw) << "Password" << pw;
        QTest::addRow("password '%s' of an ODBC string, last", password)
            << odbc + quotedConnectionValue(pw) << "PWD" << pw;
    }
    // As a user types it: not in braces, read up to the next ";".
    QTest::newRow("typed password with a brace") << pg + "pa}ss;Port=5432"
                                                 << "Password"
                                                 << "pa}ss";
    QTest::newRow("typed password with braces and =") << pg + "a{b}=c"
                                                      << "Password"
                                                      << "a{b}=c";
    QTest::newRow("driver in braces") << odbc + "x"
                                      << "Driver"
                                      << "PostgreSQL Unicode";
    QTest::newRow("file with braces and ;") << "Provider=SQLite;Data Source={/tmp/a{b}};c.db}"
                                            << "Data Source"
                                            << "/tmp/a{b};c.db";
}

void TestCommon::loginTextKeepsTheConnection() {
    QFETCH(QString, connection);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QVERIFY(bracesBalanced(normalizedConnectionString(connection)));
    const QString props = loginPropsText(connection, QStringLiteral("super"), QStringLiteral("甲;乙}"));
    const QString back = parseConnProps(props, 0);
    QCOMPARE(connectionStringValue(back, key), value);
    QCOMPARE(connectionStringValue(back, QStringLiteral("Provider")),
             connectionStringValue(connection, QStringLiteral("Provider")));
    QCOMPARE(parseConnProps(props, 1), QStringLiteral("super"));
    QCOMPARE(parseConnProps(props, 2), QStringLiteral("甲;乙}"));
}

// The login text's connection opens the set with the password whole: on the cluster the role's password
// is checked, so a password cut short is refused (the last row shows that it would be).
void TestCommon::passwordsReachTheDatabase_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("given");
    QTest::newRow("braces") << "pa}ss{x"
                            << "pa}ss{x";
    QTest::newRow("doubled brace and brace last") << "a}}b}"
                                                  << "a}}b}";
    QTest::newRow("semicolon and equals") << "a;b=c"
                                          << "a;b=c";
    QTest::newRow("all of them") << "{;=}}"
                                 << "{;=}}";
    QTest::newRow("wrong password refused") << "Xq}Zw"
                                            << "Xq";
}

void TestCommon::passwordsReachTheDatabase() {
    QFETCH(QString, password);
    QFETCH(QString, given);
    TestDatabases db;
    QString conn = db.acctConnStringWithPassword(password);
    conn.replace(quotedConnectionValue(password), quotedConnectionValue(given));
    Session session;
    session.gsAcctProps = loginPropsText(conn, QStringLiteral("super"), QStringLiteral("甲"));
    const bool checked = db.onServer();
    try {
        ConnectionPtr c = session.openAcctConnection();
        QCOMPARE(c->query(QStringLiteral("select count(*) from ICSale"))->recordCount(), 1);
        QVERIFY2(password == given || !checked, "a wrong password was taken");
    } catch (const DbError& e) {
        QVERIFY2(password != given && checked, qPrintable(e.detailText()));
        // The refusal names neither password.
        QVERIFY(!e.detailText().contains(given));
        QVERIFY(!e.reportText().contains(given));
    }
}

void TestCommon::hidePasswords_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unknown provider")
        << "未找到提供程序。连接字符串: Provider=SQLNCLI11;Data Source=srv;User "
           "ID=sa;Password=s3cret;Initial Catalog=AIS"
        << "未找到提供程序。连接字符串: Provider=SQLNCLI11;Data Source=srv;User "
           "ID=sa;Initial Catalog=AIS";
    QTest::newRow("braced, with ; and }} inside") << "DSN=x;PWD={s3;c}}r};UID=u"
                                                  << "DSN=x;UID=u";
    QTest::newRow("first pair, any case, blanks") << "pwd = s3cret ;Server=s"
                                                  << "Server=s";
    QTest::newRow("last pair in a login text") << "{Provider=PostgreSQL;Password={s3}}c};};UserName=super"
                                               << "{Provider=PostgreSQL;};UserName=super";
    QTest::newRow("up to the end of the line") << "连接失败: password=s3cret\r\n详细信息"
                                               << "连接失败: \r\n详细信息";
    QTest::newRow("brace never closed") << "PASSWORD={s3cret;x=y"
                                        << "";
    QTest::newRow("two passwords") << "PWD=s3cret;Password=s3cret;A=1"
                                   << "A=1";
    QTest::newRow("nothing to hide") << "Provider=SQLite;Data Source=/tmp/a.db"
                                     << "Provider=SQLite;Data Source=/tmp/a.db";
}

void TestCommon::hidePasswords() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::hidePasswords(text), expected);
}

// A connection string with a password that the program cannot use (what users of the accounting product
// type) is named in the message, the log and the detail line, its password in none of them.
void TestCommon::noPasswordInMessagesOrLog() {
    const QString secret = QStringLiteral("s3c}r;et");
    const QString conn = QStringLiteral("Provider=SQLNCLI11;Data Source=srv;User ID=sa;Password=") +
                         quotedConnectionValue(secret) + QStringLiteral(";Initial Catalog=AIS");
    QFile::remove(failureLogPath());
    RecorderSink sink;
    Session session;
    session.gsAcctProps = loginPropsText(conn, QStringLiteral("super"), QStringLiteral("甲"));
    try {
        session.openAcctConnection();
        QFAIL("an unknown provider was opened");
    } catch (const DbError& e) {
        QVERIFY(e.description().contains(QStringLiteral("Provider=SQLNCLI11;Data Source=srv")));
        QVERIFY(!QString::fromUtf8(e.what()).contains(QStringLiteral("s3c")));
        showErr(QStringLiteral("Main"), e);
        showErr(QStringLiteral("Main"), static_cast<const std::exception&>(e));
        reportCause(QStringLiteral("Main"), DbError(e.number(), e.description(), conn, QString()));
    }
    showMsg(QStringLiteral("无法登录账套“%1”").arg(conn));
    QVERIFY(askYesNo(conn) == false);
    QVERIFY(sink.entries.size() >= 4);
    for (const auto& entry : std::as_const(sink.entries)) {
        QVERIFY2(!entry.text.contains(QStringLiteral("s3c")), qPrintable(entry.text));
        QVERIFY(entry.text.contains(QStringLiteral("SQLNCLI11")));
    }
    QFile log(failureLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    QVERIFY(logged.contains(QStringLiteral("SQLNCLI11")));
    QVERIFY2(!logged.contains(QStringLiteral("s3c")), qPrintable(logged));
}

// The log may name the user's servers: made for the user alone, and one made open by an earlier version
// is closed at the next failure.
void TestCommon::failureLogIsTheUsersAlone() {
#ifdef Q_OS_WIN
    QSKIP("Windows keeps the log in the user's local application data, which the profile's access list "
          "already closes to others; Qt reports no owner-only permission bits there.");
#endif
    const QString path = failureLogPath();
    QFile::remove(path);
    const QFileDevice::Permissions own = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QFileDevice::Permissions anyone = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther |
                                            QFileDevice::ExeOwner;
    logFailure(QStringLiteral("Main"), DbError(1, QStringLiteral("第一次")));
    QCOMPARE(QFile::permissions(path) & (own | anyone), own);
    QVERIFY(QFile::setPermissions(path, own | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    logFailure(QStringLiteral("Main"), DbError(2, QStringLiteral("第二次")));
    QCOMPARE(QFile::permissions(path) & (own | anyone), own);
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 2);
}
