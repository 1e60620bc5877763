#include "TestSupport.h"

#include "common/DbCopy.h"
#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Messages.h"
#include "common/Values.h"
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest/QtTest>

RecorderSink::RecorderSink() {
    m_previous = setMessageSink(this);
}
RecorderSink::~RecorderSink() {
    setMessageSink(m_previous);
}

bool RecorderSink::question(const QString& text) {
    entries.append({Question, text});
    return answers.isEmpty() ? false : answers.takeFirst();
}

QStringList RecorderSink::texts() const {
    QStringList out;
    for (const Entry& e : entries)
        out << e.text;
    return out;
}

void whenModal(std::function<void(QWidget*)> f, int attempts, QObject* owner) {
    QTimer::singleShot(10, owner ? owner : qApp, [f, attempts, owner] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            f(w);
            QPointer<QWidget> open(w);
            QTimer::singleShot(5000, [open] {
                if (open && open->isVisible()) open->close();
            });
        } else if (attempts > 0) {
            whenModal(f, attempts - 1, owner);
        }
    });
}

QString dataDir() {
    return QStringLiteral(TAXFERRY_DATA_DIR);
}
QString samplesDir() {
    return QStringLiteral(TAXFERRY_SAMPLES_DIR);
}

QString makeDatabaseCopy(const QString& targetPath, const QStringList& scripts) {
    static QTemporaryDir cacheDir;
    static QHash<QString, QString> cache;
    const QString key = scripts.join(u'|');
    QString tmpl = cache.value(key);
    if (tmpl.isEmpty()) {
        tmpl = cacheDir.filePath(QStringLiteral("template%1.db").arg(cache.size()));
        {
            QFile f(tmpl);
            if (!f.open(QIODevice::WriteOnly)) qFatal("cannot create template database");
        }
        ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + tmpl);
        for (const QString& s : scripts)
            runSqlScriptFile(*c, dataDir() + u'/' + s);
        c->close();
        cache.insert(key, tmpl);
    }
    QFile::remove(targetPath);
    if (!QFile::copy(tmpl, targetPath)) qFatal("cannot copy template database");
    QFile::setPermissions(targetPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return targetPath;
}

TestBackend currentTestBackend() {
    const QByteArray b = qgetenv("TAXFERRY_TEST_BACKEND").toLower();
    if (b == "postgresql") return TestBackend::PostgreSQL;
    if (b == "odbc") return TestBackend::ODBC;
    return TestBackend::SQLite;
}

QString testBackendName() {
    switch (currentTestBackend()) {
    case TestBackend::PostgreSQL:
        return QStringLiteral("postgresql");
    case TestBackend::ODBC:
        return QStringLiteral("odbc");
    case TestBackend::SQLite:
        break;
    }
    return QStringLiteral("sqlite");
}

namespace {

struct Cluster {
    QString host;
    QString port;
};

// The socket folder and port of the test run's cluster, from its conn.env.
bool readCluster(Cluster& c, QString* why) {
    const QString dir = qEnvironmentVariable("TAXFERRY_TEST_PGDIR");
    if (dir.isEmpty()) {
        if (why) *why = QStringLiteral("TAXFERRY_TEST_PGDIR is not set: no PostgreSQL cluster for this run");
        return false;
    }
    QFile f(dir + QStringLiteral("/conn.env"));
    if (!f.open(QIODevice::ReadOnly)) {
        if (why)
            *why =
                QStringLiteral("no PostgreSQL cluster is running in %1 (scripts/pg-test-cluster.sh start %1)")
                    .arg(dir);
        return false;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("PGHOST=")) c.host = QString::fromUtf8(line.mid(7)).trimmed();
        if (line.startsWith("PGPORT=")) c.port = QString::fromUtf8(line.mid(7)).trimmed();
    }
    return !c.host.isEmpty() && !c.port.isEmpty();
}

QString serverConnString(const Cluster& c, const QString& db, TestBackend backend) {
    if (backend == TestBackend::ODBC)
        return QStringLiteral(
                   "Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;UID=postgres")
            .arg(c.host, c.port, db);
    return QStringLiteral("Provider=PostgreSQL;Host=%1;Port=%2;Database=%3;User ID=postgres")
        .arg(c.host, c.port, db);
}

ConnectionPtr g_admin;
QStringList g_templates;

// Before the application (and with it the database drivers) goes: the templates are dropped and the
// administration connection closed.
void releaseServer() {
    if (!g_admin) return;
    for (const QString& t : g_templates) {
        try {
            g_admin->exec(QStringLiteral("drop database if exists %1 with (force)").arg(t));
        } catch (const DbError&) {
        }
    }
    g_admin.reset();
}

ConnectionPtr adminConnection(const Cluster& c) {
    if (!g_admin || g_admin->state() != 1) {
        g_admin = Connection::open(serverConnString(c, QStringLiteral("postgres"), TestBackend::PostgreSQL));
        qAddPostRoutine(releaseServer);
    }
    return g_admin;
}

// A server database made once per test program from the schema and the rows of the SQLite scripts;
// every test database is a copy of it (CREATE DATABASE … TEMPLATE), which takes a moment.
QString serverTemplate(const Cluster& c, bool demoData) {
    static QHash<bool, QString> made;
    if (made.contains(demoData)) return made.value(demoData);
    const QString name =
        QStringLiteral("tf_tmpl_%1_%2").arg(QCoreApplication::applicationPid()).arg(demoData ? 1 : 0);
    ConnectionPtr admin = adminConnection(c);
    admin->exec(QStringLiteral("drop database if exists ") + name);
    admin->exec(QStringLiteral("create database ") + name);
    {
        QTemporaryDir tmp;
        QStringList scripts{QStringLiteral("acct_schema.sql")};
        if (demoData) scripts << QStringLiteral("acct_demo.sql");
        const QString source = makeDatabaseCopy(tmp.filePath(QStringLiteral("source.db")), scripts);
        ConnectionPtr from = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + source);
        ConnectionPtr to = Connection::open(serverConnString(c, name, TestBackend::PostgreSQL));
        runSqlScriptFile(*to, dataDir() + QStringLiteral("/acct_schema_pg.sql"));
        copyTableRows(*from, *to, sqliteTables(*from));
    }
    made.insert(demoData, name);
    g_templates << name;
    return name;
}

} // namespace

bool testBackendReady(QString* why) {
    if (currentTestBackend() == TestBackend::SQLite) return true;
    Cluster c;
    if (!readCluster(c, why)) return false;
    try {
        adminConnection(c);
    } catch (const DbError& e) {
        if (why) *why = QStringLiteral("the PostgreSQL cluster does not answer: ") + e.detailText();
        return false;
    }
    return true;
}

TestDatabases::TestDatabases(bool demoData) {
    configPath = m_dir.filePath(QStringLiteral("Taxlink.db"));
    makeDatabaseCopy(configPath, {QStringLiteral("config_schema.sql"), QStringLiteral("config_factory.sql")});
    config = Connection::open(configConnString());
    if (currentTestBackend() == TestBackend::SQLite) {
        acctPath = m_dir.filePath(QStringLiteral("acct.db"));
        QStringList acctScripts{QStringLiteral("acct_schema.sql")};
        if (demoData) acctScripts << QStringLiteral("acct_demo.sql");
        makeDatabaseCopy(acctPath, acctScripts);
    } else {
        Cluster c;
        QString why;
        if (!readCluster(c, &why)) qFatal("%s", qPrintable(why));
        static int counter = 0;
        const QString tmpl = serverTemplate(c, demoData);
        m_serverDb = QStringLiteral("tf_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        adminConnection(c)->exec(QStringLiteral("create database %1 template %2").arg(m_serverDb, tmpl));
        m_serverConn = serverConnString(c, m_serverDb, currentTestBackend());
    }
    acct = Connection::open(acctConnString());
    session.gcnAcct = acct;
    session.gcnConfig = config;
    session.gsAcctProps = u'{' + acctConnString() + QStringLiteral("};User=super");
    session.gsConfigConnString = configConnString();
}

TestDatabases::~TestDatabases() {
    session.gcnAcct.reset();
    session.gcnConfig.reset();
    if (m_serverDb.isEmpty()) return;
    acct.reset();
    Cluster c;
    if (!readCluster(c, nullptr)) return;
    try {
        // Connections a test left open (a window's, the batch tool's) must not keep the database alive.
        adminConnection(c)->exec(QStringLiteral("drop database if exists %1 with (force)").arg(m_serverDb));
    } catch (const DbError&) {
    }
}

QString TestDatabases::acctConnString() const {
    if (!m_serverDb.isEmpty()) return m_serverConn;
    return QStringLiteral("Provider=SQLite;Data Source=") + acctPath;
}
QString TestDatabases::acctConnStringWithPassword(const QString& password) {
    const bool odbc = currentTestBackend() == TestBackend::ODBC;
    const QString key = odbc ? QStringLiteral(";PWD=") : QStringLiteral(";Password=");
    if (m_serverDb.isEmpty()) return acctConnString() + key + quotedConnectionValue(password);
    Cluster c;
    if (!readCluster(c, nullptr)) qFatal("no PostgreSQL cluster");
    static int counter = 0;
    const QString role = QStringLiteral("tf_pw_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    ConnectionPtr admin = adminConnection(c);
    admin->exec(QStringLiteral("do $$ begin create role tf_password_users nologin; exception when "
                               "duplicate_object or unique_violation then null; end $$"));
    // The server quotes the name and the password itself.
    const QString create =
        admin
            ->query(QStringLiteral("select format('create role %I login superuser password %L in role "
                                   "tf_password_users', cast(? as text), cast(? as text))"),
                    {role, password})
            ->value(0)
            .toString();
    admin->exec(create);
    QString conn = acctConnString();
    conn.replace(odbc ? QStringLiteral("UID=postgres") : QStringLiteral("User ID=postgres"),
                 (odbc ? QStringLiteral("UID=") : QStringLiteral("User ID=")) + role);
    return conn + key + quotedConnectionValue(password);
}

QString TestDatabases::configConnString() const {
    return QStringLiteral("Provider=SQLite;Data Source=") + configPath;
}

void writeGbkFile(const QString& path, const QStringList& lines, bool finalNewline) {
    QByteArray out;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray b;
        if (!encodeGbk(lines[i], b)) qFatal("test text not GBK");
        out += b;
        if (i + 1 < lines.size() || finalNewline) out += "\r\n";
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
    f.write(out);
}

QString firstColumn(Connection& c, const QString& sql, const QVariantList& params) {
    QStringList out;
    const RecordsetPtr rs = c.query(sql, params);
    for (const QVariantList& row : rs->allRows())
        out << nullToText(row.value(0));
    return out.join(u',');
}

QStringList readGbkFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text;
    if (!decodeGbk(f.readAll(), text)) return {QStringLiteral("<not GBK>")};
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}
