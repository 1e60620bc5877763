// The command lines of the three programs: what each takes, what it refuses before doing anything, and
// --version and --help.
#include "common/Connection.h"
#include "support/TestSupport.h"
#include <QProcess>
#include <QtTest/QtTest>

namespace {
struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    // A program that opened its login instead would wait here for someone to log in.
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("(did not end)");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString programPath(const QString& name) {
    if (name == u"batch") return QStringLiteral(TAXFERRY_BATCH);
    if (name == u"mkdb") return QStringLiteral(TAXFERRY_MKDB);
    return QStringLiteral(TAXFERRY_APP);
}
} // namespace

class TestPrograms : public QObject {
    Q_OBJECT

private:
    // ACCT, CONFIG, OUT and IN stand for the test's set, configuration, export file and import file.
    QStringList arguments(const QString& args) const {
        QStringList list = args.split(u' ', Qt::SkipEmptyParts);
        for (QString& a : list)
            a = a == u"ACCT"     ? m_db->acctConnString()
                : a == u"CONFIG" ? m_db->configPath
                : a == u"OUT"    ? m_out
                : a == u"IN"     ? QStringLiteral(TAXFERRY_SAMPLES_DIR "/issued_plain.txt")
                                 : a;
        return list;
    }

    std::unique_ptr<TestDatabases> m_db;
    QString m_out;

private Q_SLOTS:
    void init() {
        m_db = std::make_unique<TestDatabases>();
        m_out = m_db->folder() + QStringLiteral("/out.txt");
        m_db->acct->close();
    }
    void cleanup() { m_db.reset(); }

    // Each of these lines would do something without the option it gets wrong (export every invoice,
    // write the file and use the invoices up, import): refused, nothing is done.
    void refusedBeforeAnything_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("refusal");
        const QString exportLine = QStringLiteral("export --acct ACCT --config CONFIG --link 1 --out OUT ");
        const QString importLine = QStringLiteral("import --acct ACCT --config CONFIG ");
        QTest::newRow("export, --preview misspelt") << "batch" << exportLine + "--preveiw"
                                                    << "未知的选项: --preveiw";
        QTest::newRow("export, --filter misspelt") << "batch" << exportLine + "--fitler x"
                                                   << "未知的选项: --fitler";
        QTest::newRow("export, --filter= misspelt") << "batch" << exportLine + "--fitler=x"
                                                    << "未知的选项: --fitler";
        QTest::newRow("export, a value for --preview") << "batch" << exportLine + "--preview=yes"
                                                       << "选项不能带值: --preview";
        QTest::newRow("export, --filter without its value") << "batch" << exportLine + "--filter"
                                                            << "选项缺少值: --filter";
        QTest::newRow("export, short option unknown") << "batch" << exportLine + "-x"
                                                      << "未知的选项: -x";
        QTest::newRow("import, --skip-imported misspelt") << "batch" << importLine + "--skip-imprted IN"
                                                          << "未知的选项: --skip-imprted";
        QTest::newRow("import, --config without its value") << "batch"
                                                            << "import --acct ACCT IN --config"
                                                            << "选项缺少值: --config";
        QTest::newRow("template, --format misspelt") << "batch"
                                                     << "template IN --formt x --config CONFIG"
                                                     << "未知的选项: --formt";
        QTest::newRow("before the command") << "batch"
                                            << "--verbose " + exportLine << "未知的选项: --verbose";
        QTest::newRow("mkdb, unknown option") << "mkdb"
                                              << "--if-mising OUT x.sql"
                                              << "未知的选项: --if-mising";
        QTest::newRow("mkdb, --server without its value") << "mkdb"
                                                          << "--server"
                                                          << "选项缺少值: --server";
        QTest::newRow("the program, unknown option") << "app"
                                                     << "--acct ACCT"
                                                     << "未知的选项: --acct";
    }
    void refusedBeforeAnything() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(QString, refusal);
        const Run r = runProgram(programPath(program), arguments(args));
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        const QStringList lines = r.err.split(u'\n');
        QCOMPARE(lines.value(0), refusal);
        QVERIFY2(lines.value(1).startsWith(QStringLiteral("usage:")), qPrintable(r.err));
        QVERIFY(!QFile::exists(m_out));
        // Nothing was used up: the same export, written right, still sends every invoice.
        const Run again =
            runProgram(programPath(QStringLiteral("batch")),
                       arguments(QStringLiteral("export --acct ACCT --config CONFIG --link 1 --out OUT")));
        QCOMPARE(again.err, QStringLiteral("引出成功！\n"));
        QCOMPARE(again.exitCode, 0);
    }

    void versionAndHelp_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("start"); // of stdout
        for (const char* program : {"batch", "mkdb", "app"}) {
            QTest::addRow("%s --version", program) << program << "--version"
                                                   << "taxferry " TAXFERRY_VERSION "\n";
            QTest::addRow("%s --help", program) << program << "--help"
                                                << "usage:";
            QTest::addRow("%s -h", program) << program << "-h"
                                            << "usage:";
        }
        QTest::newRow("batch export --help") << "batch"
                                             << "export --help"
                                             << "usage:";
        QTest::newRow("batch import --version") << "batch"
                                                << "import --version"
                                                << "taxferry " TAXFERRY_VERSION "\n";
    }
    void versionAndHelp() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(QString, start);
        const Run r = runProgram(programPath(program), arguments(args));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(start), qPrintable(r.out));
        if (start.startsWith(u"taxferry")) QCOMPARE(r.out, start);
    }

    // In a terminal without a display the program still answers --version and --help.
    void programAnswersWithoutDisplay() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        const Run r = runProgram(programPath(QStringLiteral("app")), {QStringLiteral("--version")}, env);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("taxferry " TAXFERRY_VERSION "\n"));
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "test_programs.moc"
