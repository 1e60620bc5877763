// taxferry-batch export: exit status, messages on stderr, filter handling.
#include "InvoiceLines.h"
#include "PlatformTemplate.h"
#include "common/Connection.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/XlsxReader.h"
#include "common/modFunction.h"
#include "import/PlatformListBook.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QProcess>
#include <QXmlStreamReader>
#include <QtTest/QtTest>

namespace {
// The invoices an export wrote, from its count line "引出发票N张，商品行M行。".
int Written(const QString& counts) {
    return QRegularExpression(QStringLiteral("引出发票(\\d+)张")).match(counts).captured(1).toInt();
}

// taxferry-batch export of link 1 to out, with the extra arguments.
struct BatchRun {
    QString exitCode, err, out;
};
BatchRun ExportLink1(TestDatabases& db, const QString& out, const QStringList& extra) {
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH), QStringList{"export", "--acct", db.acctConnString(), "--config",
                                                        db.configPath, "--link", "1", "--out", out} +
                                                extra);
    p.waitForFinished(120000);
    return {QString::number(p.exitCode()), QString::fromUtf8(p.readAllStandardError()),
            QString::fromUtf8(p.readAllStandardOutput())};
}

// Installs a template built as the official one with taxferry-batch template, and maps the buyer's name of
// link 1 to its heading.
void InstallPlatformTemplate(TestDatabases& db) {
    // A template built as the official one.
    const QString templ = db.folder() + QStringLiteral("/template.xlsx");
    WriteFile(templ, BuildPlatformTemplate());
    QProcess t;
    t.start(QStringLiteral(TAXFERRY_BATCH),
            {"template", templ, "--format", "电子发票平台", "--config", db.configPath});
    QVERIFY(t.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(t.readAllStandardError()), QString());
    QCOMPARE(t.exitCode(), 0);
    QVERIFY(QString::fromUtf8(t.readAllStandardOutput())
                .startsWith(QStringLiteral("1-发票基本信息\t发票流水号,发票类型,")));
    // The headings are the fields a workbook link maps; the buyer's name is mapped to its heading.
    const auto headings = [&](int isHead) {
        QStringList out;
        const RecordsetPtr rs = db.config->Query(
            QStringLiteral(
                "select Fid, Fname from t_TaxField where FFormat='xlsx' and FisHead=? order by Fid"),
            {isHead});
        for (const QVariantList& r : rs->allRows())
            out << r[0].toString() + u'=' + r[1].toString();
        return out;
    };
    const QStringList head = headings(1);
    QCOMPARE(head.size(), 39);
    QVERIFY(head[5].endsWith(QStringLiteral("=购买方名称")));
    QCOMPARE(headings(0).size(), 14);
    db.config->Execute(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=1 and FTaxID=3"),
                       {head[5].section(u'=', 0, 0).toInt()});
}
} // namespace

class TestExportBatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void exportCommand_data() {
        QTest::addColumn<QStringList>("args"); // replaces the defaults of the same name
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        const QString usage = QStringLiteral(
            "\nusage: taxferry-batch export --acct CONN [--config Taxlink.db] "
            "--link ID --out FILE [--filter \"v0|v1|...|v13\"] [--include-exported] [--preview]\n"
            "       [--merge | --no-merge] [--merge-lines | --no-merge-lines]\n");
        QTest::newRow("all invoices") << QStringList{} << 0 << "引出成功！\n";
        QTest::newRow("date range") << QStringList{"--filter", "2026-01-01|2026-01-31"} << 0
                                    << "引出成功！\n";
        QTest::newRow("nothing in range")
            << QStringList{"--filter", "2031-01-01|2031-01-31"} << 1 << "引出的表头数据为空，引出失败！\n";
        QTest::newRow("unknown link") << QStringList{"--link", "42"} << 1 << "关联不存在，引出失败！\n";
        QTest::newRow("date not yyyy-mm-dd") << QStringList{"--filter", "2026/1/1|"} << 1
                                             << "--filter: the two dates are written yyyy-mm-dd." + usage;
        QTest::newRow("fifteen values") << QStringList{"--filter", "||||||||||||||"} << 1
                                        << "--filter holds at most fourteen values." + usage;
        QTest::newRow("no link") << QStringList{"--link", ""} << 1
                                 << "--acct, --link and --out are required." + usage;
        QTest::newRow("unpaired braces in the connection string")
            << QStringList{"--acct", "Provider=ODBC;Driver={FreeTDS;Server=x"} << 1
            << "--acct: the braces of the connection string do not pair up." + usage;
        QTest::newRow("missing configuration database")
            << QStringList{"--config", "@/none.db"} << 1
            << "调用(OpenConfigConnection)出错! "
               "错误编号:-2147467259,错误原因:找不到数据库文件“@/none.db”。\n";
    }
    void exportCommand() {
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
        if (exitCode == 0) QCOMPARE(ReadGbkFile(out).value(0), QStringLiteral("SJJK0101~~销售单据传入"));
    }

    // A password with braces, ";" and "=" goes whole from --acct to the database (on the cluster the
    // role's password is checked: the last row shows that a cut one is refused) and into no message.
    void passwordOnTheCommandLine_data() {
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
    void passwordOnTheCommandLine() {
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
    void unknownProviderHidesThePassword() {
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
    void connectionForms() {
        TestDatabases db;
        const QString acct = db.acctConnString();
        // A data source of the test's own, in its own odbc.ini.
        QString dsn;
        if (CurrentTestBackend() == TestBackend::SQLite) {
            dsn = QStringLiteral("[tfacct]\nDriver=SQLite3\nDatabase=%1\n").arg(db.acctPath);
        } else {
            QString host = ConnectionStringValue(acct, QStringLiteral("Host"));
            if (host.isEmpty()) host = ConnectionStringValue(acct, QStringLiteral("Server"));
            dsn = QStringLiteral("[tfacct]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n")
                      .arg(host, ConnectionStringValue(acct, QStringLiteral("Port")),
                           ConnectionStringValue(acct, QStringLiteral("Database")));
        }
        const QString ini = db.folder() + QStringLiteral("/odbc.ini");
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(dsn.toUtf8());
        f.close();
        const QString driverForm =
            CurrentTestBackend() == TestBackend::SQLite
                ? QStringLiteral("Provider=ODBC;Driver={SQLite3};Database=") + db.acctPath
                : QString(acct)
                      .replace(QStringLiteral("Provider=PostgreSQL;Host="),
                               QStringLiteral("Provider=ODBC;Driver={PostgreSQL "
                                              "Unicode};Server="))
                      .replace(QStringLiteral("User ID="), QStringLiteral("UID="));
        QStringList files;
        for (const QString& conn :
             {acct, QStringLiteral("Provider=ODBC;DSN=tfacct;UID=postgres"), driverForm}) {
            files << db.folder() + QStringLiteral("/out%1.txt").arg(files.size());
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ODBCINI"), ini);
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(TAXFERRY_BATCH),
                    {"export", "--acct", conn, "--config", db.configPath, "--link", "1", "--out",
                     files.last(), "--include-exported"});
            QVERIFY(p.waitForFinished(120000));
            QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QStringLiteral("引出成功！\n"));
        }
        const QStringList first = ReadGbkFile(files[0]);
        QVERIFY(first.size() > 2);
        QCOMPARE(ReadGbkFile(files[1]), first);
        QCOMPARE(ReadGbkFile(files[2]), first);
    }

    // An invoice goes out once: the next export leaves it out (and says how many), unless asked to include
    // it; invoices that came in from the tax system never go back unasked.
    void exportedOnce() {
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        auto run = [&](const QStringList& extra, const QString& filter = QString()) {
            const BatchRun r = ExportLink1(
                db, out, (filter.isEmpty() ? QStringList() : QStringList{"--filter", filter}) + extra);
            return QStringList{r.exitCode, r.err, r.out};
        };
        // January first.
        const QStringList first = run({}, "2026-01-01|2026-01-31");
        QCOMPARE(first.value(0), "0");
        QCOMPARE(first.value(1), "引出成功！\n");
        QVERIFY2(first.value(2).startsWith(QStringLiteral("引出发票")), qPrintable(first.value(2)));
        const QStringList firstFile = ReadGbkFile(out);
        const int january = Written(first.value(2));
        QCOMPARE(
            run({}, "2026-01-01|2026-01-31"),
            (QStringList{"1", QStringLiteral("所选的%1张发票均已引出过，本次未引出。\n").arg(january), ""}));
        QCOMPARE(run({"--include-exported"}, "2026-01-01|2026-01-31").value(0), "0");
        QCOMPARE(ReadGbkFile(out), firstFile);
        // The whole quarter: January's are left out, the rest goes.
        const QStringList all = run({});
        QCOMPARE(all.value(0), "0");
        QVERIFY2(all.value(1).startsWith(QStringLiteral("已有")) &&
                     all.value(1).endsWith(QStringLiteral("张发票引出过，本次未引出。\n引出成功！\n")),
                 qPrintable(all.value(1)));
        const QStringList rest = ReadGbkFile(out);
        QVERIFY(!rest.contains(firstFile.value(1)));
        // An invoice that came in from the tax system stays out of the next export.
        db.acct->Execute(
            QStringLiteral("insert into TF_Ledger (FDirection, FBillNo) select 1, FBillNo from ICSale"));
        const QStringList again = run({"--include-exported"});
        QCOMPARE(again.value(0), "0");
        QCOMPARE(
            run({}),
            (QStringList{
                "1", QStringLiteral("所选的%1张发票均已引出过，本次未引出。\n").arg(Written(again.value(2))),
                ""}));
    }

    // Invoices that only came in from the tax system: nothing goes out, and the tool says why.
    void leftOutFromTheTaxSystem() {
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        auto run = [&](const QStringList& extra) {
            const BatchRun r = ExportLink1(db, out, extra);
            return QStringList{r.exitCode, r.err, r.out};
        };
        Ledger::Ensure(*db.acct);
        db.acct->Execute(
            QStringLiteral("insert into TF_Ledger (FDirection, FBillNo) select 1, FBillNo from ICSale"));
        const QStringList refused = run({});
        QVERIFY(!QFileInfo::exists(out));
        const QStringList all = run({"--include-exported"});
        QCOMPARE(all.value(0), "0");
        QCOMPARE(
            refused,
            (QStringList{
                "1",
                QStringLiteral("所选的%1张发票均由税控系统引入，本次未引出。\n").arg(Written(all.value(2))),
                ""}));
    }

    // Two exports of the same invoices started together: one waits for the other's ledger rows, so every
    // invoice goes out once, in one of the two files, and the ledger holds it once.
    void twoExportsAtOnce() {
        TestDatabases db;
        // 600 invoices of the tax system's kind the link exports, come in from a generated file.
        const QString issued = db.folder() + QStringLiteral("/issued.txt");
        WriteGbkFile(issued, GeneratedFile(750, 2, 70000001));
        QProcess import;
        import.start(QStringLiteral(TAXFERRY_BATCH),
                     {"import", "--acct", db.acctConnString(), "--config", db.configPath, issued});
        QVERIFY(import.waitForFinished(300000));
        QCOMPARE(import.exitCode(), 0);
        // What came in by import counts as gone to the tax system: taken back out, so it can go.
        db.acct->Execute(QStringLiteral("delete from TF_Ledger"));
        const int special = db.acct->Query(QStringLiteral("select count(*) from ICSale where FTranType=80"))
                                ->value(0)
                                .toInt();
        QVERIFY(special > 600);
        QList<QProcess*> runs;
        QStringList outs;
        for (int i = 0; i < 2; ++i) {
            outs << db.folder() + QStringLiteral("/out%1.txt").arg(i);
            auto* p = new QProcess(this);
            p->start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                      db.configPath, "--link", "1", "--out", outs.last()});
            runs << p;
        }
        QStringList bills;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(runs[i]->waitForFinished(300000));
            const QString err = QString::fromUtf8(runs[i]->readAllStandardError());
            // The second finds nothing left, or what the first had not taken.
            QVERIFY2(runs[i]->exitCode() == 0 ||
                         QRegularExpression(QStringLiteral("^所选的\\d+张发票均已引出过，本次未引出。\n$"))
                             .match(err)
                             .hasMatch(),
                     qPrintable(err));
            if (runs[i]->exitCode() != 0) continue;
            for (const QString& line : ReadGbkFile(outs[i]).mid(1))
                if (line.startsWith(u'Z')) bills << line.section(QStringLiteral("~~"), 0, 0);
        }
        QCOMPARE(bills.size(), special);
        QCOMPARE(QSet<QString>(bills.begin(), bills.end()).size(), special);
        QCOMPARE(db.acct->Query(QStringLiteral("select count(*), count(distinct FBillNo) from TF_Ledger"))
                     ->allRows(),
                 (QList<QVariantList>{{special, special}}));
        qDeleteAll(runs);
    }

    // A ledger that cannot be written fails the export: the earlier file stays, the invoices go again.
    void refusedLedgerWrite() {
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        QFile earlier(out);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier\r\n");
        earlier.close();
        // The ledger refuses every new row.
        db.acct->Execute(
            QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), "
                           "FTaxCode varchar(40), FTaxNumber varchar(40), FInterID integer, FBillNo "
                           "varchar(80), FLinkID integer, FFileName varchar(255), FTime varchar(20), "
                           "FUserName varchar(80), FDocNo varchar(80), FState integer default 0, "
                           "FIssueState varchar(20), FIssueDate varchar(10), FIssuedAmount float, "
                           "FIssuedTax float, FAmount float, FTax float check (FTax < -1e9))"));
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                 db.configPath, "--link", "1", "--out", out});
        QVERIFY(p.waitForFinished(120000));
        const QStringList err = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(err.value(0),
                 QStringLiteral("未能在账套中记下这些发票已经引出，引出失败，引出文件没有改变。"));
        QVERIFY2(err.value(1).startsWith(QStringLiteral("详细信息:")), qPrintable(err.value(1)));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString());
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier\r\n"));
        QCOMPARE(db.acct->Query(QStringLiteral("select count(*) from TF_Ledger"))->value(0).toInt(), 0);
    }

    // Proof mode writes nothing, neither the file nor the ledger: a real export afterwards still takes
    // every invoice the preview listed, with the lines and sums it said.
    void previewWritesNothing() {
        TestDatabases db;
        const QString out = db.folder() + QStringLiteral("/out.txt");
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                 db.configPath, "--link", "1", "--out", out, "--preview"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(!QFile::exists(out));
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.first(), QStringLiteral("ZP000001\t2\t21750.00\t2827.50"));
        QCOMPARE(lines.last(), QStringLiteral("合计5张\t10\t174132.00\t22637.16"));
        QProcess real;
        real.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                    db.configPath, "--link", "1", "--out", out});
        QVERIFY(real.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(real.readAllStandardError()), QStringLiteral("引出成功！\n"));
        QCOMPARE(QString::fromUtf8(real.readAllStandardOutput()),
                 QStringLiteral("引出发票5张，商品行10行。\n"));
        int heads = 0;
        for (const QString& line : ReadGbkFile(out))
            heads += line.startsWith(QStringLiteral("ZP"));
        QCOMPARE(heads, 5);
    }

    // A link that writes the invoicing software's XML file or the platform's workbook: the codes come from
    // the catalogue, the goods name carries the short name when the link says so, and the documents of the
    // text export come out in the other format.
    // Merged: three invoices of one buyer are one document, their alike lines one line.
    void otherFormats_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("merge");
        QTest::newRow("XML文件") << "xml" << false;
        QTest::newRow("电子发票平台模板") << "xlsx" << false;
        QTest::newRow("XML文件, merged") << "xml" << true;
        QTest::newRow("电子发票平台模板, merged") << "xlsx" << true;
    }
    void otherFormats() {
        QFETCH(QString, format);
        QFETCH(bool, merge);
        TestDatabases db;
        QStringList mergeArgs;
        if (merge) {
            db.acct->Execute(
                QStringLiteral("update ICSale set FCustID=101 where FBillNo in ('ZP000003','ZP000005')"));
            mergeArgs = QStringList{"--merge", "--merge-lines"};
        }
        const int documents = merge ? 3 : 5, lines = merge ? 8 : 10;
        const QString out = db.folder() + QStringLiteral("/out.") + format;
        db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat=?, FPrefixShortName=1 where FID=1"),
                           {format});
        db.config->Execute(
            QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('TaxCodeVersion', '48.0')"));
        const RecordsetPtr items =
            db.acct->Query(QStringLiteral("select FItemID, FNumber, FName from t_IcItem"));
        int n = 0;
        for (const QVariantList& item : items->allRows())
            db.config->Execute(
                QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                               "FShortName, FPreferential, FZeroRate) values (?, ?, ?, ?, ?, 0, '')"),
                {item[0], item[1], item[2],
                 QStringLiteral("10905110300000000%1").arg(++n % 100, 2, 10, QChar(u'0')),
                 QStringLiteral("简称%1").arg(n)});
        if (format == u"xlsx") {
            InstallPlatformTemplate(db);
            if (QTest::currentTestFailed()) return;
        }
        // What the preview says the documents hold: the file must hold the same.
        QProcess preview;
        preview.start(QStringLiteral(TAXFERRY_BATCH),
                      QStringList{"export", "--acct", db.acctConnString(), "--config", db.configPath,
                                  "--link", "1", "--preview"} +
                          mergeArgs);
        QVERIFY(preview.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(preview.readAllStandardError()), QString());
        QCOMPARE(preview.exitCode(), 0);
        const QString totals =
            QString::fromUtf8(preview.readAllStandardOutput()).trimmed().section(u'\n', -1);
        QVERIFY2(totals.startsWith(QStringLiteral("合计%1张\t%2\t").arg(documents).arg(lines)),
                 qPrintable(totals));
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH),
                QStringList{"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1",
                            "--out", out} +
                    mergeArgs);
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 merge ? QStringLiteral("3张销售发票合并为1张单据。\n引出成功！\n")
                       : QStringLiteral("引出成功！\n"));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 QStringLiteral("引出发票%1张，商品行%2行。\n").arg(documents).arg(lines));
        QStringList docs, names, codes;
        double amount = 0, tax = 0;
        if (format == u"xml") {
            QFile f(out);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?>"));
            QString text;
            QVERIFY(DecodeGbk(bytes, text));
            text.remove(0, text.indexOf(u'\n') + 1);
            QXmlStreamReader x(text);
            int zsl = -1;
            while (!x.atEnd()) {
                if (x.readNext() != QXmlStreamReader::StartElement) continue;
                if (x.name() == u"Zsl")
                    zsl = x.readElementText().toInt();
                else if (x.name() == u"Djh")
                    docs << x.readElementText();
                else if (x.name() == u"Spmc")
                    names << x.readElementText();
                else if (x.name() == u"Spbm")
                    codes << x.readElementText();
                else if (x.name() == u"Je")
                    amount += x.readElementText().toDouble();
                else if (x.name() == u"Se")
                    tax += x.readElementText().toDouble();
            }
            QCOMPARE(QStringLiteral("%1\t%2").arg(amount, 0, 'f', 2).arg(tax, 0, 'f', 2),
                     totals.section(u'\t', 2));
            QVERIFY2(!x.hasError(), qPrintable(x.errorString()));
            QCOMPARE(zsl, int(docs.size()));
        } else {
            XlsxReader book(out);
            QCOMPARE(book.sheets().size(), 11);
            for (const XlsxRow& row : book.rows(*book.sheet(kHeadSheetName))) {
                if (row.number <= 3) continue;
                docs << row.text(0);
                QCOMPARE(row.text(1), QStringLiteral("增值税专用发票")); // the link's kind
                QVERIFY(!row.text(5).isEmpty()); // 购买方名称, mapped to its heading
            }
            for (const XlsxRow& row : book.rows(*book.sheet(kDetailSheetName))) {
                if (row.number <= 3) continue;
                // The key ties each line to its invoice; every cell is text.
                QVERIFY(docs.contains(row.text(0)));
                names << row.text(1);
                codes << row.text(2);
                for (const XlsxCell& c : row.cells)
                    QVERIFY(!c.number);
            }
        }
        QCOMPARE(docs.size(), documents);
        QCOMPARE(docs.first(), merge ? QStringLiteral("ZP000001+2") : QStringLiteral("ZP000001"));
        QCOMPARE(names.size(), lines);
        QCOMPARE(codes.size(), lines);
        static const QRegularExpression code(QStringLiteral("^\\d{19}$"));
        static const QRegularExpression shortName(QStringLiteral("^\\*简称\\d+\\*.+"));
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(code.match(codes[i]).hasMatch(), qPrintable(codes[i]));
            QVERIFY2(shortName.match(names[i]).hasMatch(), qPrintable(names[i]));
        }
    }

    // Links that read the catalogue check each line's zero-rate flag against its rate; a template without
    // the product number finds the catalogue by the product's name.
    void catalogueAtExport_data() {
        QTest::addColumn<QStringList>("setup"); // "cfg:" on Taxlink.db, else on the accounting set
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrText");
        const QString first = QStringLiteral("update ICSaleEntry set FTaxRate=0 where FEntryID=1 and "
                                             "FInterID=(select FInterID from ICSale where "
                                             "FBillNo='ZP000001')");
        const QString printer = QStringLiteral("cfg:update t_TaxCode set %1 where FItemNumber='1.01.001'");
        const QString noNumber = QStringLiteral(
            "cfg:update t_OtherInfo set FSQL=replace(FSQL, 'as FItemNumber', 'as FItemNo') where "
            "Fkey='tbl1'");
        QTest::newRow("codes for every line") << QStringList{} << 0 << "引出成功！\n";
        QTest::newRow("a zero-rate flag on a line with a rate")
            << QStringList{printer.arg("FZeroRate='3'")} << 1
            << "发票“ZP000001”第1行的商品“激光打印机”有零税率标识3(普通零税率)，税率却不是0，引出失败！\n";
        QTest::newRow("a line at rate 0 without a flag")
            << QStringList{first} << 1
            << "发票“ZP000001”第1行的商品“激光打印机”税率为0，却没有零税率标识，引出失败！\n";
        QTest::newRow("rate 0 with 出口退税")
            << QStringList{"update ICSaleEntry set FTaxRate=0 where FItemID=(select FItemID from t_IcItem "
                           "where "
                           "FNumber='1.01.001')",
                           printer.arg("FZeroRate='0', FPreferential=1, FPreferentialText='出口零税'")}
            << 0 << "引出成功！\n";
        QTest::newRow("no product number: found by name") << QStringList{noNumber} << 0 << "引出成功！\n";
        QTest::newRow("no product number, two products of the name")
            << QStringList{noNumber, "cfg:insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                                     "FPreferential, FZeroRate) values (9999, '9.99.999', '激光打印机', "
                                     "'1090511030000000099', 0, '')"}
            << 1
            << "发票“ZP000001”第1行的商品“激光打印机”在税收分类编码中有两个同名的商品（1.01.001和9.99.999），"
               "无法确定其编码，引出失败！\n";
        QTest::newRow("a text link reads no catalogue")
            << QStringList{first, "cfg:update t_BaseInfo set FFormat='txt'"} << 0 << "引出成功！\n";
    }
    void catalogueAtExport() {
        QFETCH(QStringList, setup);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrText);
        TestDatabases db;
        db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat='xml' where FID=1"));
        db.config->Execute(
            QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('TaxCodeVersion', '48.0')"));
        const RecordsetPtr items =
            db.acct->Query(QStringLiteral("select FItemID, FNumber, FName from t_IcItem"));
        for (const QVariantList& item : items->allRows())
            db.config->Execute(
                QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                               "FPreferential, FZeroRate) values (?, ?, ?, '1090511030000000000', 0, "
                               "'')"),
                {item[0], item[1], item[2]});
        for (const QString& sql : setup)
            (sql.startsWith(u"cfg:") ? db.config : db.acct)
                ->Execute(sql.startsWith(u"cfg:") ? sql.mid(4) : sql);
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH),
                {"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1", "--out",
                 db.folder() + QStringLiteral("/out.xml")});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), stderrText);
        QCOMPARE(p.exitCode(), exitCode);
    }

    // Over the platform's 2,000 detail rows the workbook comes in numbered files, and both the message and
    // the batch tool's stdout say how many.
    void workbookInSeveralFiles() {
        TestDatabases db;
        db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
        InstallPlatformTemplate(db);
        if (QTest::currentTestFailed()) return;
        // 2,000 more lines for the first invoice, copies of its first.
        const RecordsetPtr first = db.acct->Query(QStringLiteral(
            "select * from ICSaleEntry where FInterID=(select FInterID from ICSale where FBillNo='ZP000001') "
            "order by FEntryID"));
        QStringList columns;
        for (const FieldInfo& f : first->Fields())
            columns << f.name;
        int entry = -1; // servers give the names in their own case
        for (int c = 0; c < columns.size(); ++c)
            if (columns[c].compare(u"FEntryID", Qt::CaseInsensitive) == 0) entry = c;
        QVERIFY(entry >= 0);
        const QString insert =
            QStringLiteral("insert into ICSaleEntry (%1) values (%2)")
                .arg(columns.join(u','), QStringList(columns.size(), QStringLiteral("?")).join(u','));
        {
            TransactionGuard tx(*db.acct);
            for (int k = 1; k <= 2000; ++k) {
                QVariantList values = first->allRows().first();
                values[entry] = 100 + k;
                db.acct->Execute(insert, values);
            }
            tx.commit();
        }
        const QString out = db.folder() + QStringLiteral("/out.xlsx");
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                 db.configPath, "--link", "1", "--out", out});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 QStringLiteral(
                     "电子发票平台每个工作簿最多导入2000行明细，已分为2个文件：out-1.xlsx、out-2.xlsx。\n"
                     "引出成功！\n"));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).section(u'\n', 1),
                 QStringLiteral("引出文件2个：out-1.xlsx、out-2.xlsx\n"));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFile::exists(out));
        int rows = 0;
        for (const QString& name : {QStringLiteral("out-1.xlsx"), QStringLiteral("out-2.xlsx")}) {
            XlsxReader book(db.folder() + u'/' + name);
            rows += int(book.rows(*book.sheet(kDetailSheetName)).size()) - 3;
        }
        QCOMPARE(rows, 2010);
    }

    // A layout installed by an earlier version, without the template file: the export asks for the
    // template again and writes nothing.
    void workbookWithoutTemplateFile() {
        TestDatabases db;
        db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
        db.config->Execute(
            QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('WorkbookLayout', ?)"),
            {QStringLiteral(
                R"({"detail":{"columns":[{"heading":"发票流水号","value":"发票流水号"},)"
                R"({"heading":"项目名称","value":"货物名称"}],"headerRow":1,"sheet":"明细"},)"
                R"("detailFirst":false,"head":{"columns":[{"heading":"发票流水号","value":"发票流水号"},)"
                R"({"heading":"购买方名称","value":"购方名称"}],"headerRow":1,"sheet":"发票"}})")});
        const QString out = db.folder() + QStringLiteral("/out.xlsx");
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                 db.configPath, "--link", "1", "--out", out});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
                 QStringLiteral(
                     "已读取的电子发票平台模板没有保存模板文件，请在关联设置中重新读取平台模板（读取平台"
                     "模板），引出失败！\n"));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(!QFile::exists(out));
    }

    // The preview refuses what the link's format would: an XML file without the products' codes.
    void previewRefusesWhatTheFormatWould() {
        TestDatabases db;
        db.config->Execute(QStringLiteral("update t_BaseInfo set FFormat='xml' where FID=1"));
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH), {"export", "--acct", db.acctConnString(), "--config",
                                                 db.configPath, "--link", "1", "--preview"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.startsWith(QStringLiteral("发票“ZP000001”第1行的商品“")) &&
                     err.endsWith(QStringLiteral("”没有税收分类编码，引出失败！\n")),
                 qPrintable(err));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString());
    }

    // The system's message stays as it is; what the database said follows on a line of its own.
    void databaseCauseFollowsTheMessage() {
        TestDatabases db;
        db.config->Execute(
            QStringLiteral("update t_OtherInfo set FSQL='select no_such_column as Frows' where Fkey='tbl2'"));
        QProcess p;
        p.start(QStringLiteral(TAXFERRY_BATCH),
                {"export", "--acct", db.acctConnString(), "--config", db.configPath, "--link", "1", "--out",
                 db.folder() + QStringLiteral("/o.txt")});
        QVERIFY(p.waitForFinished(120000));
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("语法错误，引出失败！"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("详细信息:")) &&
                     lines[1].contains(QStringLiteral("no_such_column"), Qt::CaseInsensitive),
                 qPrintable(lines[1]));
        QCOMPARE(p.exitCode(), 1);
    }

    // A platform link writes the 单据号 at the start of 备注 within the template's limit, and records as each
    // document's tax what the platform computes from the workbook's lines; the preview says where that
    // differs from the sales invoice's own tax.
    void platformRemarkAndTax() {
        TestDatabases db;
        InstallPlatformTemplate(db);
        const QString remarkField =
            db.config
                ->Query(QStringLiteral("select Fid from t_TaxField where FFormat='xlsx' and FisHead=1 and "
                                       "Fname='备注'"))
                ->value(0)
                .toString();
        db.config->Execute(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=1 and FTaxID=7"),
                           {remarkField.toInt()});
        db.config->Execute(
            QStringLiteral("update t_BaseInfo set FFormat='xlsx', FDocNoInRemark=1 where FID=1"));
        // A line whose own tax is a cent off what its amount and rate give.
        db.acct->Execute(
            QStringLiteral("update ICSaleEntry set FTaxAmount=FTaxAmount+0.01 where FInterID=1001 "
                           "and FEntryID=1"));
        const QString out = db.folder() + QStringLiteral("/out.xlsx");
        auto run = [&](const QStringList& extra) {
            const BatchRun r = ExportLink1(db, out, extra);
            return QStringList{r.exitCode, r.out, r.err};
        };
        const QStringList preview = run({"--preview"});
        QCOMPARE(preview[0], "0");
        const QStringList notes = preview[1].section(QStringLiteral("合计"), 1).split(u'\n').mid(1);
        QVERIFY2(notes.size() > 1 && notes[0].startsWith(QStringLiteral("ZP000001\t")),
                 qPrintable(preview[1]));
        for (const QString& n : notes.mid(0, notes.size() - 1))
            QVERIFY2(QRegularExpression(
                         QStringLiteral(
                             "^ZP\\d+\t平台按每行金额×税率计算的税额为[0-9.]+，与销售发票的税额[0-9.]+不同$"))
                         .match(n)
                         .hasMatch(),
                     qPrintable(n));
        const QStringList done = run({});
        QCOMPARE(done[0], "0");

        // The workbook: 备注 begins with the 发票流水号; the tax recorded is the platform's.
        XlsxReader book(out);
        auto rowsOf = [&](const QString& sheet) {
            QList<QHash<QString, QString>> rows;
            const QList<XlsxRow> all = book.rows(*book.sheet(sheet));
            for (const XlsxRow& r : all.mid(3)) {
                QHash<QString, QString> row;
                for (const XlsxCell& c : all[2].cells)
                    row.insert(c.text, r.text(c.column));
                rows << row;
            }
            return rows;
        };
        const auto heads = rowsOf(QStringLiteral("1-发票基本信息"));
        QVERIFY(heads.size() > 3);
        for (const auto& h : heads)
            QVERIFY2(h.value("备注") == h.value("发票流水号") ||
                         h.value("备注").startsWith(h.value("发票流水号") + u' '),
                     qPrintable(h.value("备注")));
        auto cents = [](double v) { return DecimalText(v, 2).remove(u'.').toLongLong(); };
        QHash<QString, qint64> taxes, amounts;
        for (const auto& l : rowsOf(QStringLiteral("2-发票明细信息"))) {
            const double rate = l.value("税率").toDouble();
            taxes[l.value("发票流水号")] +=
                cents(l.value("金额").toDouble() * rate) - cents(l.value("折扣金额").toDouble() * rate);
            amounts[l.value("发票流水号")] +=
                cents(l.value("金额").toDouble()) - cents(l.value("折扣金额").toDouble());
        }
        const RecordsetPtr ledger = db.acct->Query(
            QStringLiteral("select FDocNo, FTax from TF_Ledger where FDirection=0 order by FDocNo"));
        QCOMPARE(ledger->RecordCount(), heads.size());
        for (const QVariantList& row : ledger->allRows())
            QCOMPARE(std::llround(row[1].toDouble() * 100), taxes.value(row[0].toString()));

        // The platform issues them with the tax it computes and lists them with the 备注 as written: they are
        // written back by their 单据号, and the reconciliation finds their amounts as recorded.
        QList<ListRow> issued;
        for (const auto& h : heads)
            issued << Issued(N(int(issued.size()) + 1), amounts.value(h.value("发票流水号")) / 100.0,
                             taxes.value(h.value("发票流水号")) / 100.0, "", h.value("购买方名称"),
                             h.value("备注"));
        const QString list = db.folder() + QStringLiteral("/list.xlsx");
        WriteFile(list, ListWorkbook(kHeadings, issued));
        QProcess w;
        w.start(QStringLiteral(TAXFERRY_BATCH),
                {"writeback", list, "--acct", db.acctConnString(), "--config", db.configPath});
        QVERIFY(w.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(w.readAllStandardOutput()),
                 QStringLiteral("回写数电发票%1张（按单据号%1张，按购方和金额0张），红冲0张。\n")
                     .arg(heads.size()));
        QProcess r;
        r.start(QStringLiteral(TAXFERRY_BATCH),
                {"reconcile", "--acct", db.acctConnString(), "--config", db.configPath});
        QVERIFY(r.waitForFinished(120000));
        const QStringList report =
            QString::fromUtf8(r.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(report.last().startsWith(QStringLiteral("合计\t已开票\t%1张\t").arg(heads.size())),
                 qPrintable(report.join(u'\n')));

        // Past the template's limit for 备注 (here made 12 characters), nothing is written.
        QString layout =
            db.config->Query(QStringLiteral("select FSQL from t_OtherInfo where Fkey='WorkbookLayout'"))
                ->value(0)
                .toString();
        const qsizetype at = layout.indexOf(QStringLiteral("\"heading\":\"备注\""));
        QVERIFY(at > 0);
        layout.replace(at, layout.indexOf(u'}', at) - at,
                       QStringLiteral("\"heading\":\"备注\",\"limit\":12,\"value\":\"备注\""));
        db.config->Execute(QStringLiteral("update t_OtherInfo set FSQL=? where Fkey='WorkbookLayout'"),
                           {layout});
        QFile::remove(out);
        const QStringList refused = run({"--include-exported"});
        QCOMPARE(refused[0], "1");
        QVERIFY2(refused[2].startsWith(
                     QStringLiteral("单据“ZP000004”的备注加上单据号后是“ZP000004 对应正数发票代码")),
                 qPrintable(refused[2]));
        QVERIFY(refused[2].contains(QStringLiteral("超过12个字符的限制，引出失败！")));
        QVERIFY(!QFile::exists(out));

        // A link that maps no 备注 has the 单据号 written there all the same.
        db.config->Execute(QStringLiteral("delete from t_Detail where FBaseInfoID=1 and FTaxID=?"),
                           {remarkField.toInt()});
        QCOMPARE(run({"--include-exported"})[0], "0");
        XlsxReader again(out);
        const QList<XlsxRow> rows = again.rows(*again.sheet(QStringLiteral("1-发票基本信息")));
        int key = -1, remark = -1;
        for (const XlsxCell& c : rows[2].cells) {
            if (c.text == u"发票流水号") key = c.column;
            if (c.text == u"备注") remark = c.column;
        }
        QVERIFY(key >= 0 && remark >= 0 && rows.size() > 3);
        for (const XlsxRow& r : rows.mid(3))
            QCOMPARE(r.text(remark), r.text(key));
    }
};

QTEST_GUILESS_MAIN(TestExportBatch)
#include "test_export_batch.moc"
