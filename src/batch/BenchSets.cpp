// The accounting sets of a run and the files they are made from.
#include "batch/Bench.h"
#include "common/DbCopy.h"
#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Messages.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace Bench {

QString dataFile(const QString& name) {
    return QStringLiteral(TAXFERRY_DATA_DIR "/") + name;
}

QString sqliteConn(const QString& path) {
    return QStringLiteral("Provider=SQLite;Data Source=") + path;
}

// The connection string with one value replaced (or added), the other pairs as they were written.
QString withValue(const QString& conn, const QString& key, const QString& value) {
    QStringList parts;
    bool found = false;
    for (const auto& kv : parseConnectionString(conn)) {
        if (kv.first.trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            parts << kv.first + u'=' + value;
            found = true;
        } else {
            parts << kv.first + u'=' + kv.second;
        }
    }
    if (!found) parts << key + u'=' + value;
    return parts.join(u';');
}

QString quoteIdent(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

void makeSqliteFile(const QString& path, const QStringList& scripts) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure{QStringLiteral("cannot create ") + path};
    }
    ConnectionPtr c = Connection::open(sqliteConn(path));
    for (const QString& s : scripts)
        runSqlScriptFile(*c, dataFile(s));
    c->close();
}

void copyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to)) throw Failure{QStringLiteral("cannot copy %1 to %2").arg(from, to)};
    QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// An issued-invoice file as the tax system writes it: GBK, CR LF.
void writeIssuedFile(const QString& path, const QStringList& lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Failure{QStringLiteral("cannot write ") + path};
    QByteArray b;
    for (const QString& line : lines) {
        if (!encodeGbk(line, b)) throw Failure{QStringLiteral("generated line not GBK: ") + line};
        f.write(b);
        f.write("\r\n", 2);
    }
}

AcctSets::AcctSets(const QString& acct, const QString& dir) : m_acct(acct), m_dir(dir) {
    m_source = dir + QStringLiteral("/demo.db");
    makeSqliteFile(m_source, {QStringLiteral("acct_schema.sql"), QStringLiteral("acct_demo.sql")});
    const QString provider = connectionStringValue(acct, QStringLiteral("Provider"));
    if (acct.isEmpty()) {
        m_backend = Backend::SqliteFile;
        m_label = QStringLiteral("SQLite");
    } else if (provider.compare(u"SQLite", Qt::CaseInsensitive) == 0) {
        m_backend = Backend::SqliteFile;
        m_label = QStringLiteral("SQLite");
        m_given = connectionStringValue(acct, QStringLiteral("Data Source"));
    } else if (provider.compare(u"ODBC", Qt::CaseInsensitive) == 0) {
        const QString driver = connectionStringValue(acct, QStringLiteral("Driver"));
        m_given = connectionStringValue(acct, QStringLiteral("Database"));
        // A data source hides where its database is, so fresh ones cannot be made beside it.
        if (driver.isEmpty() || m_given.isEmpty())
            throw Failure{QStringLiteral("--acct: an ODBC string must name its Driver and Database")};
        if (driver.contains(u"sqlite", Qt::CaseInsensitive)) {
            m_backend = Backend::OdbcFile;
            m_label = QStringLiteral("SQLite through ODBC");
        } else {
            m_backend = Backend::OdbcServer;
            m_label = QStringLiteral("PostgreSQL through ODBC");
        }
    } else if (provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0) {
        m_backend = Backend::PostgreSQL;
        m_label = QStringLiteral("PostgreSQL");
        m_given = connectionStringValue(acct, QStringLiteral("Database"));
        if (m_given.isEmpty()) throw Failure{QStringLiteral("--acct: Database is missing")};
    } else {
        throw Failure{QStringLiteral("--acct: unknown Provider \"%1\"").arg(provider)};
    }
    if (onServer())
        checkServer();
    else if (!m_given.isEmpty())
        checkFile();
}

AcctSets::~AcctSets() {
    if (m_keep) return;
    for (const QString& name : std::as_const(m_createdDbs)) {
        try {
            m_admin->exec(QStringLiteral("drop database if exists %1 with (force)").arg(quoteIdent(name)));
        } catch (const DbError& e) {
            std::fprintf(stderr, "cannot drop database %s: %s\n", qPrintable(name),
                         e.detailText().toUtf8().constData());
        }
    }
    if (m_givenIsEmpty && m_usedGiven && onServer()) {
        try {
            m_admin->exec(QStringLiteral("drop database if exists %1 with (force)").arg(quoteIdent(m_given)));
            m_admin->exec(QStringLiteral("create database ") + quoteIdent(m_given));
        } catch (const DbError& e) {
            std::fprintf(stderr, "cannot empty database %s again: %s\n", qPrintable(m_given),
                         e.detailText().toUtf8().constData());
        }
    } else if (m_usedGiven && !onServer()) {
        if (m_givenIsEmpty) {
            QFile f(m_given);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.close();
        } else {
            QFile::remove(m_given);
        }
    }
}

QString AcctSets::filePath(const QString& conn) const {
    return connectionStringValue(conn, m_backend == Backend::OdbcFile ? QStringLiteral("Database")
                                                                      : QStringLiteral("Data Source"));
}

QStringList AcctSets::keptDatabases() const {
    QStringList out = m_createdDbs;
    if (m_usedGiven && onServer() && m_givenIsEmpty) out.prepend(m_given);
    return out;
}

QString AcctSets::make(const QString& role, bool named) {
    if (named && m_given.isEmpty()) named = false;
    if (named) m_usedGiven = true;
    if (!onServer()) {
        const QString path = named ? m_given : m_dir + u'/' + role + QStringLiteral(".db");
        copyFile(m_source, path);
        return m_backend == Backend::OdbcFile ? withValue(m_acct, QStringLiteral("Database"), path)
                                              : sqliteConn(path);
    }
    const QString name =
        named ? m_given
              : QStringLiteral("%1_%2_%3").arg(m_given, role).arg(QCoreApplication::applicationPid());
    // An empty database that was there already is filled as it is (and emptied again at the end).
    if (!(named && m_givenIsEmpty)) {
        m_admin->exec(QStringLiteral("create database ") + quoteIdent(name));
        m_createdDbs << name;
    }
    const QString conn = withValue(m_acct, QStringLiteral("Database"), name);
    ConnectionPtr from = Connection::open(sqliteConn(m_source));
    ConnectionPtr to = Connection::open(conn);
    runSqlScriptFile(*to, dataFile(QStringLiteral("acct_schema_pg.sql")));
    copyTableRows(*from, *to, sqliteTables(*from));
    return conn;
}

void AcctSets::checkFile() {
    const QFileInfo fi(m_given);
    if (!fi.exists()) return;
    if (!fi.isFile() || fi.size() != 0)
        throw Failure{QStringLiteral("--acct: %1 exists and is not empty").arg(m_given)};
    m_givenIsEmpty = true;
}

void AcctSets::checkServer() {
    m_admin = Connection::open(withValue(m_acct, QStringLiteral("Database"), QStringLiteral("postgres")));
    if (m_admin->dialect().server != DbServer::PostgreSQL)
        throw Failure{QStringLiteral("--acct: the server is not PostgreSQL")};
    const RecordsetPtr rs =
        m_admin->query(QStringLiteral("select count(*) from pg_database where datname=?"), {m_given});
    if (rs->value(0).toInt() == 0) return;
    ConnectionPtr c = Connection::open(m_acct);
    const RecordsetPtr tables =
        c->query(QStringLiteral("select count(*) from information_schema.tables where table_schema not in "
                                "('pg_catalog','information_schema')"));
    if (tables->value(0).toInt() != 0)
        throw Failure{QStringLiteral("--acct: database %1 exists and is not empty").arg(m_given)};
    m_givenIsEmpty = true;
}

} // namespace Bench
