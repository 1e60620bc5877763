// taxferry-batch export: exit status, messages on stderr, the connection on the command line.
#include "test_export_batch.h"

void TestExportBatch::exportCommand_data() {
    QTest::addColumn<QStringList>("args"); // replaces the defaults of the same name
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
    const QString usage =
        QStringLiteral("\nusage: taxferry-batch export --acct CONN [--config Taxlink.db] "
                       "--link ID --out FILE [--filter \"v0|v1|...|v13\"] [--include-exported] [--preview]\n"
                       "       [--merge | --no-merge] [--merge-lines | --no-merge-lines]\n");
    QTest::newRow("all invoices") << QStringList{} << 0 << "引出成功！\n";
    QTest::newRow("date range") << QStringList{"--filter", "2026-01-01|2026-01-31"} << 0 << "引出成功！\n";
    QTest::newRow("nothing in range")
        << QStringList{"--filter", "2031-01-01|2031-01-31"} << 1 << "引出的表头数据为空，引出失败！\n";
    QTest::newRow("unknown link") << QStringList{"--link", "42"} << 1 << "关联不存在，引出失败！\n";
    QTest::newRow("date not yyyy-mm-dd") << QStringList{"--filter", "2026/1/1|"} << 1
                                         << "--filter 的前两个值是日期，应写作 yyyy-mm-dd。" + usage;
    QTest::newRow("fifteen values") << QStringList{"--filter", "||||||||||||||"} << 1
                                    << "--filter 最多有14个值（以“|”分隔）。" + usage;
    QTest::newRow("no link") << QStringList{"--link", ""} << 1
                             << "必须给出 --acct、--link 和 --out。" + usage;
    QTest::newRow("unpaired braces in the connection string")
        << QStringList{"--acct", "Provider=ODBC;Driver={FreeTDS;Server=x"} << 1
        << "--acct 的连接字符串中的大括号不成对。" + usage;
    QTest::newRow("missing configuration database")
        << QStringList{"--config", "@/none.db"} << 1
        << "调用(OpenConfigConnection)出错! "
           "错误编号:-2147467259,错误原因:找不到数据库文件“@/none.db”。\n";
}

void TestExportBatch::exportCommand() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    TestDatabases db;
    const QString out = db.folder() + QStringLiteral("/out.txt");
    QStringList all{"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1",
                    "--out",  out};
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const int at = all.indexOf(args[i]);
        const QString value = QString(args[i + 1]).replace(u'@', db.folder());
        if (at < 0)
            all << args[i] << value;
        else
            all[at + 1] = value;
    }
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH), all);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), stderrText.replace(u'@', db.folder()));
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(QFile::exists(out), exitCode == 0);
    if (exitCode == 0) QCOMPARE(readGbkFile(out).value(0), QStringLiteral("SJJK0101~~销售单据传入"));
}

// A password with braces, ";" and "=" goes whole from --acct to the database (on the cluster the
// role's password is checked: the last row shows that a cut one is refused) and into no message.
void TestExportBatch::passwordOnTheCommandLine_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("given"); // written into --acct as a connection string writes it
    QTest::addColumn<bool>("braced");
    QTest::newRow("brace, in braces") << "pa}ss"
                                      << "pa}ss" << true;
    QTest::newRow("brace, as typed") << "pa}ss"
                                     << "pa}ss" << false;
    QTest::newRow("all of them") << "{a;b=c}}d}"
                                 << "{a;b=c}}d}" << true;
    QTest::newRow("wrong password") << "Xq}Zw"
                                    << "Xq" << false;
}

void TestExportBatch::passwordOnTheCommandLine() {
    QFETCH(QString, password);
    QFETCH(QString, given);
    QFETCH(bool, braced);
    TestDatabases db;
    QString acct = db.acctConnStringWithPassword(password);
    acct.replace(quotedConnectionValue(password), braced ? quotedConnectionValue(given) : given);
    const QString out = db.folder() + QStringLiteral("/out.txt");
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH),
            {"export", "--acct", acct, "--config", db.configPath, "--link", "1", "--out", out});
    QVERIFY(p.waitForFinished(120000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const bool refused = db.onServer() && given != password;
    QCOMPARE(p.exitCode(), refused ? 1 : 0);
    if (!refused) QCOMPARE(err, QStringLiteral("引出成功！\n"));
    QVERIFY2(!err.contains(given), qPrintable(err));
}

// A provider the program does not know (what users of the accounting product type) is named on stderr
// and in the log without its password.
void TestExportBatch::unknownProviderHidesThePassword() {
    TestDatabases db;
    const QString acct = QStringLiteral("Provider=SQLNCLI11;Data Source=srv;User ID=sa;Password=s3cr}et");
    for (const char* command : {"export", "import"}) {
        QProcess p;
        QStringList args{command, "--acct", acct, "--config", db.configPath};
        if (qstrcmp(command, "export") == 0)
            args << "--link"
                 << "1"
                 << "--out" << db.folder() + QStringLiteral("/out.txt");
        else
            args << db.folder() + QStringLiteral("/in.txt");
        p.start(QStringLiteral(TAXFERRY_BATCH), args);
        QVERIFY(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("Provider=SQLNCLI11;Data Source=srv")), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("s3cr")), qPrintable(err));
    }
}

// Every form of connection string reaches the same set and writes the same file: the program's own,
// an ODBC data source by name (QODBC would turn a bare "DSN=" into "DSN=DSN=") and an ODBC driver
// named in braces.
void TestExportBatch::connectionForms() {
    TestDatabases db;
#ifdef Q_OS_WIN
    QSKIP(
        "the data source is an odbc.ini of unixODBC's (ODBCINI): Windows keeps its sources in the registry");
#endif
    const QString acct = db.acctConnString();
    // A data source of the test's own, in its own odbc.ini.
    QString dsn;
    if (currentTestBackend() == TestBackend::SQLite) {
        dsn = QStringLiteral("[tfacct]\nDriver=SQLite3\nDatabase=%1\n").arg(db.acctPath);
    } else {
        QString host = connectionStringValue(acct, QStringLiteral("Host"));
        if (host.isEmpty()) host = connectionStringValue(acct, QStringLiteral("Server"));
        dsn = QStringLiteral("[tfacct]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n")
                  .arg(host, connectionStringValue(acct, QStringLiteral("Port")),
                       connectionStringValue(acct, QStringLiteral("Database")));
    }
    const QString ini = db.folder() + QStringLiteral("/odbc.ini");
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(dsn.toUtf8());
    f.close();
    const QString driverForm = currentTestBackend() == TestBackend::SQLite
                                   ? QStringLiteral("Provider=ODBC;Driver={SQLite3};Database=") + db.acctPath
                                   : QString(acct)
                                         .replace(QStringLiteral("Provider=PostgreSQL;Host="),
                                                  QStringLiteral("Provider=ODBC;Driver={PostgreSQL "
                                                                 "Unicode};Server="))
                                         .replace(QStringLiteral("User ID="), QStringLiteral("UID="));
    QStringList files;
    for (const QString& conn : {acct, QStringLiteral("Provider=ODBC;DSN=tfacct;UID=postgres"), driverForm}) {
        files << db.folder() + QStringLiteral("/out%1.txt").arg(files.size());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ODBCINI"), ini);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", conn, "--config", db.configPath,
                                                 "--link", "1", "--out", files.last(), "--include-exported"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QStringLiteral("引出成功！\n"));
    }
    const QStringList first = readGbkFile(files[0]);
    QVERIFY(first.size() > 2);
    QCOMPARE(readGbkFile(files[1]), first);
    QCOMPARE(readGbkFile(files[2]), first);
}

// The system's message stays as it is; what the database said follows on a line of its own.
void TestExportBatch::databaseCauseFollowsTheMessage() {
    TestDatabases db;
    db.config->exec(
        QStringLiteral("update t_OtherInfo set FSQL='select no_such_column as Frows' where Fkey='tbl2'"));
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH),
            {"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1", "--out",
             db.folder() + QStringLiteral("/o.txt")});
    QVERIFY(p.waitForFinished(120000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("语法错误，引出失败！"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("详细信息:")) &&
                 lines[1].contains(QStringLiteral("no_such_column"), Qt::CaseInsensitive),
             qPrintable(lines[1]));
    QCOMPARE(p.exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestExportBatch)
