// taxferry-bench: times taxferry-batch import and export on generated invoices and sets each time against
// its floor, what the database itself needs for the same rows. The ratio, not the time, is what says
// whether the engines are slow: it hardly depends on the machine.
//   taxferry-bench [--invoices N] [--quick] [--acct CONN] [--keep DIR]
#include "InvoiceLines.h"
#include "common/Connection.h"
#include "common/DbCopy.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/modFunction.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace {

const char* kUsage =
    "usage: taxferry-bench [--invoices N] [--rounds R] [--quick] [--acct CONN] [--keep DIR]\n"
    "  --invoices N  invoices of the generated files (default 10000); --quick: 200, one round\n"
    "  --rounds R    measure each figure R times and keep the best (default 3)\n"
    "  --acct CONN   where the accounting sets go (default: SQLite files in a temporary folder):\n"
    "                \"Provider=SQLite;Data Source=FILE\" (FILE absent or empty),\n"
    "                \"Provider=PostgreSQL;Host=...;Port=...;Database=NAME;User ID=...\" (NAME absent or\n"
    "                empty; the other sets are made beside it and dropped), or an ODBC string that names\n"
    "                its Driver and Database, reaching PostgreSQL or an SQLite file\n"
    "  --keep DIR    keep the files in DIR and the server databases\n";

// Anything that ends the run before both figures are printed.
struct Failure {
    QString text;
};

QString DataFile(const QString& name) {
    return QStringLiteral(TAXFERRY_DATA_DIR "/") + name;
}

QString SqliteConn(const QString& path) {
    return QStringLiteral("Provider=SQLite;Data Source=") + path;
}

// The connection string with one value replaced (or added), the other pairs as they were written.
QString WithValue(const QString& conn, const QString& key, const QString& value) {
    QStringList parts;
    bool found = false;
    for (const auto& kv : ParseConnectionString(conn)) {
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

QString QuoteIdent(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

void MakeSqliteFile(const QString& path, const QStringList& scripts) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure{QStringLiteral("cannot create ") + path};
    }
    ConnectionPtr c = Connection::open(SqliteConn(path));
    for (const QString& s : scripts)
        RunSqlScriptFile(*c, DataFile(s));
    c->Close();
}

void CopyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to)) throw Failure{QStringLiteral("cannot copy %1 to %2").arg(from, to)};
    QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// An issued-invoice file as the tax system writes it: GBK, CR LF.
void WriteIssuedFile(const QString& path, const QStringList& lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Failure{QStringLiteral("cannot write ") + path};
    QByteArray b;
    for (const QString& line : lines) {
        if (!EncodeGbk(line, b)) throw Failure{QStringLiteral("generated line not GBK: ") + line};
        f.write(b);
        f.write("\r\n", 2);
    }
}

// The accounting sets of a run, each a fresh copy of the demo set, on the backend --acct names. The set
// of the timed import is the one --acct names itself; the others are made beside it and removed at the
// end, and the named one is left as it was found (absent or empty).
class AcctSets {
public:
    AcctSets(const QString& acct, const QString& dir) : m_acct(acct), m_dir(dir) {
        m_source = dir + QStringLiteral("/demo.db");
        MakeSqliteFile(m_source, {QStringLiteral("acct_schema.sql"), QStringLiteral("acct_demo.sql")});
        const QString provider = ConnectionStringValue(acct, QStringLiteral("Provider"));
        if (acct.isEmpty()) {
            m_backend = Backend::SqliteFile;
            m_label = QStringLiteral("SQLite");
        } else if (provider.compare(u"SQLite", Qt::CaseInsensitive) == 0) {
            m_backend = Backend::SqliteFile;
            m_label = QStringLiteral("SQLite");
            m_given = ConnectionStringValue(acct, QStringLiteral("Data Source"));
        } else if (provider.compare(u"ODBC", Qt::CaseInsensitive) == 0) {
            const QString driver = ConnectionStringValue(acct, QStringLiteral("Driver"));
            m_given = ConnectionStringValue(acct, QStringLiteral("Database"));
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
            m_given = ConnectionStringValue(acct, QStringLiteral("Database"));
            if (m_given.isEmpty()) throw Failure{QStringLiteral("--acct: Database is missing")};
        } else {
            throw Failure{QStringLiteral("--acct: unknown Provider \"%1\"").arg(provider)};
        }
        if (onServer())
            checkServer();
        else if (!m_given.isEmpty())
            checkFile();
    }

    ~AcctSets() {
        if (m_keep) return;
        for (const QString& name : std::as_const(m_createdDbs)) {
            try {
                m_admin->Execute(
                    QStringLiteral("drop database if exists %1 with (force)").arg(QuoteIdent(name)));
            } catch (const DbError& e) {
                std::fprintf(stderr, "cannot drop database %s: %s\n", qPrintable(name),
                             e.detailText().toUtf8().constData());
            }
        }
        if (m_givenIsEmpty && m_usedGiven && onServer()) {
            try {
                m_admin->Execute(
                    QStringLiteral("drop database if exists %1 with (force)").arg(QuoteIdent(m_given)));
                m_admin->Execute(QStringLiteral("create database ") + QuoteIdent(m_given));
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

    AcctSets(const AcctSets&) = delete;
    AcctSets& operator=(const AcctSets&) = delete;

    QString label() const { return m_label; }
    bool onServer() const { return m_backend == Backend::PostgreSQL || m_backend == Backend::OdbcServer; }
    // The floor of an import on a server reached by Qt's own driver is COPY.
    bool copiesRows() const { return m_backend == Backend::PostgreSQL; }
    QString demoPath() const { return m_source; }
    QString acct() const { return m_acct; }
    // The file of a set that make gave (not on a server).
    QString filePath(const QString& conn) const {
        return ConnectionStringValue(conn, m_backend == Backend::OdbcFile ? QStringLiteral("Database")
                                                                          : QStringLiteral("Data Source"));
    }
    void keep() { m_keep = true; }
    QStringList keptDatabases() const {
        QStringList out = m_createdDbs;
        if (m_usedGiven && onServer() && m_givenIsEmpty) out.prepend(m_given);
        return out;
    }

    // A fresh demo set; the role names its file or database. Returns its connection string.
    QString make(const QString& role, bool named) {
        if (named && m_given.isEmpty()) named = false;
        if (named) m_usedGiven = true;
        if (!onServer()) {
            const QString path = named ? m_given : m_dir + u'/' + role + QStringLiteral(".db");
            CopyFile(m_source, path);
            return m_backend == Backend::OdbcFile ? WithValue(m_acct, QStringLiteral("Database"), path)
                                                  : SqliteConn(path);
        }
        const QString name =
            named ? m_given
                  : QStringLiteral("%1_%2_%3").arg(m_given, role).arg(QCoreApplication::applicationPid());
        // An empty database that was there already is filled as it is (and emptied again at the end).
        if (!(named && m_givenIsEmpty)) {
            m_admin->Execute(QStringLiteral("create database ") + QuoteIdent(name));
            m_createdDbs << name;
        }
        const QString conn = WithValue(m_acct, QStringLiteral("Database"), name);
        ConnectionPtr from = Connection::open(SqliteConn(m_source));
        ConnectionPtr to = Connection::open(conn);
        RunSqlScriptFile(*to, DataFile(QStringLiteral("acct_schema_pg.sql")));
        CopyTableRows(*from, *to, SqliteTables(*from));
        return conn;
    }

private:
    enum class Backend { SqliteFile, OdbcFile, PostgreSQL, OdbcServer };

    // The named file must hold nothing: the run writes a set into it and empties it again at the end.
    void checkFile() {
        const QFileInfo fi(m_given);
        if (!fi.exists()) return;
        if (!fi.isFile() || fi.size() != 0)
            throw Failure{QStringLiteral("--acct: %1 exists and is not empty").arg(m_given)};
        m_givenIsEmpty = true;
    }

    void checkServer() {
        m_admin = Connection::open(WithValue(m_acct, QStringLiteral("Database"), QStringLiteral("postgres")));
        if (m_admin->dialect().server != DbServer::PostgreSQL)
            throw Failure{QStringLiteral("--acct: the server is not PostgreSQL")};
        const RecordsetPtr rs =
            m_admin->Query(QStringLiteral("select count(*) from pg_database where datname=?"), {m_given});
        if (rs->value(0).toInt() == 0) return;
        ConnectionPtr c = Connection::open(m_acct);
        const RecordsetPtr tables = c->Query(
            QStringLiteral("select count(*) from information_schema.tables where table_schema not in "
                           "('pg_catalog','information_schema')"));
        if (tables->value(0).toInt() != 0)
            throw Failure{QStringLiteral("--acct: database %1 exists and is not empty").arg(m_given)};
        m_givenIsEmpty = true;
    }

    QString m_acct;
    QString m_dir;
    QString m_source;
    QString m_label;
    Backend m_backend = Backend::SqliteFile;
    QString m_given; // the file or database --acct names
    bool m_givenIsEmpty = false;
    bool m_usedGiven = false;
    bool m_keep = false;
    ConnectionPtr m_admin;
    QStringList m_createdDbs;
};

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    QString output;
};

ChildRun RunChild(const QString& program, const QStringList& args, const QString& workDir,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setWorkingDirectory(workDir);
    p.setProcessEnvironment(env);
    ChildRun r;
    QElapsedTimer t;
    t.start();
    p.start();
    if (!p.waitForStarted(-1)) {
        r.output = QStringLiteral("cannot start %1: %2").arg(program, p.errorString());
        return r;
    }
    p.waitForFinished(-1);
    r.seconds = double(t.nsecsElapsed()) / 1e9;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    r.output = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
    if (!r.ok && p.exitStatus() != QProcess::NormalExit) r.output += QStringLiteral("(crashed)\n");
    return r;
}

QString BatchProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/taxferry-batch");
}

ChildRun RunBatch(const QStringList& args, const QString& workDir, const QString& peakMemoryFile = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!peakMemoryFile.isEmpty()) env.insert(QStringLiteral("TAXFERRY_PEAK_MEMORY"), peakMemoryFile);
    return RunChild(BatchProgram(), args, workDir, env);
}

void RequireOk(const ChildRun& r, const QString& what) {
    if (r.ok) return;
    throw Failure{what + QStringLiteral(" failed:\n") + r.output.trimmed()};
}

// The rows of a table, as read back from a set.
struct TableRows {
    QString table;
    QList<FieldInfo> columns;
    QList<QVariantList> rows;
};

int ColumnIndex(const QList<FieldInfo>& columns, const QString& name) {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QSet<qlonglong> InterIds(Connection& c, const QString& table) {
    QSet<qlonglong> ids;
    c.ForEachRow(QStringLiteral("select FInterID from ") + table, {}, nullptr,
                 [&](const QVariantList& row) { ids.insert(row.value(0).toLongLong()); });
    return ids;
}

// The rows of the table whose FInterID was not in the demo set: what the import wrote.
TableRows RowsAdded(Connection& c, const QString& table, const QSet<qlonglong>& before) {
    TableRows t{table, {}, {}};
    int key = -1;
    c.ForEachRow(
        QStringLiteral("select * from ") + table, {},
        [&](const QList<FieldInfo>& cols) {
            t.columns = cols;
            key = ColumnIndex(cols, QStringLiteral("FInterID"));
        },
        [&](const QVariantList& row) {
            if (!before.contains(row.value(key).toLongLong())) t.rows << row;
        });
    if (key < 0) throw Failure{table + QStringLiteral(" has no FInterID")};
    return t;
}

qlonglong CountRows(Connection& c, const QString& table) {
    return c.Query(QStringLiteral("select count(*) from ") + table)->value(0).toLongLong();
}

// Nulls stay null; yes/no and date values become what the target's columns take (a driver may read them
// back as texts).
QVariant ForTarget(const QVariant& v, int type) {
    if (!v.isValid() || v.isNull()) return QVariant();
    if (type == AdoType::Boolean) return SqlBindValue(type, v);
    if ((type == AdoType::Date || type == AdoType::DBDate || type == AdoType::DBTimeStamp) &&
        v.typeId() == QMetaType::QString)
        return SqlBindValue(type, v);
    return v;
}

// The rows inserted by one prepared statement per table, one row at a time, in one transaction.
double InsertFloor(const QString& conn, const QList<TableRows>& tables) {
    ConnectionPtr c = Connection::open(conn);
    QStringList sqls;
    QList<QList<QVariantList>> values;
    for (const TableRows& t : tables) {
        const QList<FieldInfo> target = c->TableColumns(t.table);
        QStringList names, marks;
        QList<int> types;
        for (const FieldInfo& f : t.columns) {
            const int i = ColumnIndex(target, f.name);
            names << f.name;
            marks << QStringLiteral("?");
            types << (i >= 0 ? target[i].type : f.type);
        }
        sqls << QStringLiteral("insert into %1 (%2) values (%3)")
                    .arg(t.table, names.join(u','), marks.join(u','));
        QList<QVariantList> rows;
        rows.reserve(t.rows.size());
        for (const QVariantList& row : t.rows) {
            QVariantList r;
            r.reserve(row.size());
            for (int k = 0; k < row.size(); ++k)
                r << ForTarget(row[k], types[k]);
            rows << r;
        }
        values << rows;
    }
    QElapsedTimer timer;
    timer.start();
    c->BeginTrans();
    for (int i = 0; i < sqls.size(); ++i)
        for (const QVariantList& row : std::as_const(values[i]))
            c->Execute(sqls[i], row);
    c->CommitTrans();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The physical floor of an SQLite file: the same rows through SQLite's own interface, one statement per
// table prepared once, each row bound, stepped and reset, in one transaction. The values are made ready
// (texts as UTF-8) before the clock starts.
double SqliteFloor(const QString& path, const QList<TableRows>& tables) {
    struct Value {
        enum Kind { Null, Integer, Real, Text } kind = Null;
        qint64 integer = 0;
        double real = 0;
        QByteArray text;
    };
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        throw Failure{QStringLiteral("cannot open %1: %2").arg(path, text)};
    }
    std::vector<sqlite3_stmt*> statements;
    const auto fail = [&](const QString& what) {
        const QString text = what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
        for (sqlite3_stmt* st : statements)
            sqlite3_finalize(st);
        sqlite3_close(db);
        return Failure{text};
    };
    std::vector<std::vector<std::vector<Value>>> values;
    for (const TableRows& t : tables) {
        QStringList names, marks;
        for (const FieldInfo& f : t.columns) {
            names << f.name;
            marks << QStringLiteral("?");
        }
        const QByteArray sql = QStringLiteral("insert into %1 (%2) values (%3)")
                                   .arg(t.table, names.join(u','), marks.join(u','))
                                   .toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throw fail(QStringLiteral("cannot prepare ") + QString::fromUtf8(sql));
        statements.push_back(st);
        std::vector<std::vector<Value>> rows;
        rows.reserve(t.rows.size());
        for (const QVariantList& row : t.rows) {
            std::vector<Value> r(row.size());
            for (qsizetype k = 0; k < row.size(); ++k) {
                const QVariant& v = row[k];
                if (!v.isValid() || v.isNull()) continue;
                switch (v.typeId()) {
                case QMetaType::Int:
                case QMetaType::LongLong:
                case QMetaType::Bool:
                    r[k].kind = Value::Integer;
                    r[k].integer = v.toLongLong();
                    break;
                case QMetaType::Double:
                    r[k].kind = Value::Real;
                    r[k].real = v.toDouble();
                    break;
                default:
                    r[k].kind = Value::Text;
                    r[k].text = v.toString().toUtf8();
                }
            }
            rows.push_back(std::move(r));
        }
        values.push_back(std::move(rows));
    }
    QElapsedTimer timer;
    timer.start();
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw fail(QStringLiteral("BEGIN"));
    for (size_t t = 0; t < statements.size(); ++t) {
        sqlite3_stmt* st = statements[t];
        for (const std::vector<Value>& row : values[t]) {
            for (size_t k = 0; k < row.size(); ++k) {
                const Value& v = row[k];
                const int at = int(k) + 1;
                switch (v.kind) {
                case Value::Null:
                    sqlite3_bind_null(st, at);
                    break;
                case Value::Integer:
                    sqlite3_bind_int64(st, at, v.integer);
                    break;
                case Value::Real:
                    sqlite3_bind_double(st, at, v.real);
                    break;
                case Value::Text:
                    sqlite3_bind_text(st, at, v.text.constData(), int(v.text.size()), SQLITE_STATIC);
                    break;
                }
            }
            if (sqlite3_step(st) != SQLITE_DONE)
                throw fail(QStringLiteral("insert into ") + tables[int(t)].table);
            sqlite3_reset(st);
        }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw fail(QStringLiteral("COMMIT"));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    for (sqlite3_stmt* st : statements)
        sqlite3_finalize(st);
    sqlite3_close(db);
    return seconds;
}

QString CsvValue(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("t") : QStringLiteral("f");
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 17);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toString();
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODateWithMs);
    default: {
        QString s = v.toString();
        s.replace(u'"', QStringLiteral("\"\""));
        return u'"' + s + u'"';
    }
    }
}

QString PsqlProgram() {
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("psql"));
    if (!onPath.isEmpty()) return onPath;
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString p = QStringLiteral("/usr/lib/postgresql/%1/bin/psql").arg(*it);
        if (QFileInfo(p).isExecutable()) return p;
    }
    throw Failure{QStringLiteral("psql not found: the import floor on PostgreSQL is a COPY through psql")};
}

// The rows loaded with COPY … FROM STDIN (psql's \copy) in one transaction; only psql's run is timed.
double CopyFloor(const QString& conn, const QList<TableRows>& tables, const QString& dir) {
    QString script;
    for (const TableRows& t : tables) {
        const QString path = dir + u'/' + t.table + QStringLiteral(".csv");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure{QStringLiteral("cannot write ") + path};
        QStringList names;
        for (const FieldInfo& c : t.columns)
            names << c.name;
        QStringList fields;
        for (const QVariantList& row : t.rows) {
            fields.clear();
            for (const QVariant& v : row)
                fields << CsvValue(v);
            f.write(fields.join(u',').toUtf8());
            f.write("\n", 1);
        }
        QString quotedPath = path;
        quotedPath.replace(u'\'', QStringLiteral("''"));
        script += QStringLiteral("\\copy %1 (%2) from '%3' with (format csv)\n")
                      .arg(t.table, names.join(u','), quotedPath);
    }
    const QString scriptPath = dir + QStringLiteral("/copy.sql");
    {
        QFile f(scriptPath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Failure{QStringLiteral("cannot write ") + scriptPath};
        f.write(script.toUtf8());
    }
    QStringList args{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                     QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("--single-transaction")};
    const auto option = [&](const char* flag, const QString& value) {
        if (!value.isEmpty()) args << QString::fromLatin1(flag) << value;
    };
    QString user = ConnectionStringValue(conn, QStringLiteral("User ID"));
    if (user.isEmpty()) user = ConnectionStringValue(conn, QStringLiteral("UID"));
    option("-h", ConnectionStringValue(conn, QStringLiteral("Host")));
    option("-p", ConnectionStringValue(conn, QStringLiteral("Port")));
    option("-U", user);
    option("-d", ConnectionStringValue(conn, QStringLiteral("Database")));
    args << QStringLiteral("-f") << scriptPath;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString password = ConnectionStringValue(conn, QStringLiteral("Password"));
    if (password.isEmpty()) password = ConnectionStringValue(conn, QStringLiteral("PWD"));
    if (!password.isEmpty()) env.insert(QStringLiteral("PGPASSWORD"), password);
    env.insert(QStringLiteral("PGCLIENTENCODING"), QStringLiteral("UTF8"));
    const ChildRun r = RunChild(PsqlProgram(), args, dir, env);
    RequireOk(r, QStringLiteral("psql \\copy"));
    return r.seconds;
}

// The export's two templates as one query, every filter open, fetched and written as GBK lines.
struct ExportFloor {
    double seconds = 0;
    qlonglong rows = 0;
    QSet<QByteArray> billNos; // GBK, as they stand at the start of a head line
};

ExportFloor RunExportFloor(const QString& acct, const QString& configPath, const QString& outPath) {
    ConnectionPtr config = Connection::open(SqliteConn(configPath));
    const auto templ = [&](const char* key) {
        const RecordsetPtr rs = config->Query(QStringLiteral("select FSQL from t_OtherInfo where Fkey=?"),
                                              {QString::fromLatin1(key)});
        if (rs->EOF_())
            throw Failure{QStringLiteral("Taxlink.db has no template ") + QString::fromLatin1(key)};
        return rs->value(0).toString();
    };
    static const QRegularExpression filter(QStringLiteral("\\{filter\\d+\\}"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString head = templ("tbl1");
    head.replace(filter, QStringLiteral("1=1"));
    const QString sql = QStringLiteral("select * from (") + head + QStringLiteral(" and t9.FID=80) aa, (") +
                        templ("tbl2") + QStringLiteral(") bb");
    ConnectionPtr c = Connection::open(acct, Connection::Mode::ReadOnly);
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Failure{QStringLiteral("cannot write ") + outPath};
    ExportFloor r;
    int billNo = -1;
    QStringList fields;
    QByteArray line;
    QElapsedTimer timer;
    timer.start();
    c->ForEachRow(
        sql, {}, [&](const QList<FieldInfo>& cols) { billNo = ColumnIndex(cols, QStringLiteral("FbillNo")); },
        [&](const QVariantList& row) {
            fields.clear();
            for (const QVariant& v : row)
                fields << v.toString();
            if (!EncodeGbk(fields.join(QStringLiteral("~~")), line))
                throw Failure{QStringLiteral("row not GBK")};
            out.write(line);
            out.write("\r\n", 2);
            ++r.rows;
        });
    out.close();
    r.seconds = double(timer.nsecsElapsed()) / 1e9;
    // Not timed: the bill numbers a head line of the real export must start with.
    if (billNo < 0) throw Failure{QStringLiteral("the export template has no FbillNo")};
    c->ForEachRow(sql, {}, nullptr, [&](const QVariantList& row) {
        QByteArray b;
        if (EncodeGbk(row.value(billNo).toString(), b)) r.billNos.insert(b);
    });
    return r;
}

// Head lines (first field a bill number of the set) and all lines of an export file.
void CountExportLines(const QString& path, const QString& sep, const QSet<QByteArray>& billNos,
                      qlonglong& heads, qlonglong& lines) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw Failure{QStringLiteral("the export wrote no file ") + path};
    QByteArray s;
    EncodeGbk(sep, s);
    heads = lines = 0;
    while (!f.atEnd()) {
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        ++lines;
        const qsizetype end = line.indexOf(s);
        if (billNos.contains(end < 0 ? line : line.left(end))) ++heads;
    }
}

// The time, the floor it is set against and the ratio; a second floor (the same rows through Qt SQL,
// where the first is the database's own interface) on a line of its own.
void PrintTime(const char* what, int invoices, int lines, double seconds, double floor, const char* floorName,
               double qtFloor = 0) {
    const QString size = QStringLiteral("%1x%2").arg(invoices).arg(lines);
    std::printf("%-7s %-9s %7.2f s   floor %6.2f s  %6.1fx  (%s)\n", what, qPrintable(size), seconds, floor,
                floor > 0 ? seconds / floor : 0.0, floorName);
    if (qtFloor > 0)
        std::printf("%-17s %7s     floor %6.2f s  %6.1fx  (Qt SQL, one prepared statement)\n", "", "",
                    qtFloor, seconds / qtFloor);
    std::fflush(stdout);
}

int Run(int invoices, int rounds, const QString& acct, const QString& dir, bool keep) {
    if (!QFileInfo(BatchProgram()).isExecutable())
        throw Failure{QStringLiteral("taxferry-batch not found beside the bench: ") + BatchProgram()};
    AcctSets sets(acct, dir);
    if (keep) sets.keep();
    std::printf("taxferry-bench: %s, %d invoices\n", qPrintable(sets.label()), invoices);
    std::fflush(stdout);

    const QString config = dir + QStringLiteral("/Taxlink.db");
    MakeSqliteFile(config, {QStringLiteral("config_schema.sql"), QStringLiteral("config_factory.sql")});
    QSet<qlonglong> demoHeads, demoLines;
    qlonglong demoHeadCount = 0, demoLineCount = 0;
    {
        ConnectionPtr demo = Connection::open(SqliteConn(sets.demoPath()));
        demoHeads = InterIds(*demo, QStringLiteral("ICSale"));
        demoLines = InterIds(*demo, QStringLiteral("ICSaleEntry"));
        demoHeadCount = CountRows(*demo, QStringLiteral("ICSale"));
        demoLineCount = CountRows(*demo, QStringLiteral("ICSaleEntry"));
    }

    // Import. It is the first child of the run, so the children's peak memory is its own.
    const int importLines = 5;
    const QString importFile = dir + QStringLiteral("/issued_%1x%2.txt").arg(invoices).arg(importLines);
    WriteIssuedFile(importFile, GeneratedFile(invoices, importLines));
    // Each figure is the best of its rounds: the machine's other work only ever adds to a time.
    double importSeconds = 0, importFloor = 0, importQtFloor = 0, importLedgerFloor = 0;
    qlonglong peakKb = 0; // of the first import, as the process itself counts it
    for (int round = 0; round < rounds; ++round) {
        const QString suffix = round == 0 ? QString() : QString::number(round + 1);
        const QString importSet = sets.make(QStringLiteral("import") + suffix, round == 0);
        const ChildRun imp = RunBatch({QStringLiteral("import"), QStringLiteral("--acct"), importSet,
                                       QStringLiteral("--config"), config, importFile},
                                      dir, dir + QStringLiteral("/peak-memory"));
        if (round == 0) {
            QFile peak(dir + QStringLiteral("/peak-memory"));
            if (peak.open(QIODevice::ReadOnly)) peakKb = peak.readAll().split(' ').value(0).toLongLong();
        }
        RequireOk(imp, QStringLiteral("taxferry-batch import"));
        QList<TableRows> added;
        {
            ConnectionPtr c = Connection::open(importSet);
            added << RowsAdded(*c, QStringLiteral("ICSale"), demoHeads)
                  << RowsAdded(*c, QStringLiteral("ICSaleEntry"), demoLines);
        }
        if (added[0].rows.size() != invoices || added[1].rows.size() != qsizetype(invoices) * importLines)
            throw Failure{QStringLiteral("the import wrote %1 invoices and %2 lines, not %3 and %4")
                              .arg(added[0].rows.size())
                              .arg(added[1].rows.size())
                              .arg(invoices)
                              .arg(invoices * importLines)};
        const auto loaded = [&](const QString& floorSet) {
            ConnectionPtr c = Connection::open(floorSet);
            if (CountRows(*c, QStringLiteral("ICSale")) != demoHeadCount + invoices ||
                CountRows(*c, QStringLiteral("ICSaleEntry")) !=
                    demoLineCount + qlonglong(invoices) * importLines)
                throw Failure{QStringLiteral("the import floor did not load every row")};
        };
        const QString floorSet = sets.make(QStringLiteral("floor") + suffix, false);
        double floor = 0, qtFloor = 0;
        if (sets.copiesRows()) {
            floor = CopyFloor(floorSet, added, dir);
        } else if (!sets.onServer()) {
            floor = SqliteFloor(sets.filePath(floorSet), added);
            loaded(floorSet);
            // The import also writes one ledger row per invoice, into a table with its indexes: the floor of
            // every row it writes, beside the floor of the invoices' rows.
            QList<TableRows> withLedger = added;
            {
                ConnectionPtr c = Connection::open(importSet);
                withLedger << RowsAdded(*c, QStringLiteral("TF_Ledger"), {});
            }
            const QString ledgerSet = sets.make(QStringLiteral("ledgerfloor") + suffix, false);
            {
                ConnectionPtr c = Connection::open(ledgerSet);
                Ledger::Ensure(*c);
            }
            const double withLedgerFloor = SqliteFloor(sets.filePath(ledgerSet), withLedger);
            importLedgerFloor = round == 0 ? withLedgerFloor : std::min(importLedgerFloor, withLedgerFloor);
            const QString qtSet = sets.make(QStringLiteral("qtfloor") + suffix, false);
            qtFloor = InsertFloor(qtSet, added);
            loaded(qtSet);
        } else {
            floor = InsertFloor(floorSet, added);
        }
        loaded(floorSet);
        importSeconds = round == 0 ? imp.seconds : std::min(importSeconds, imp.seconds);
        importFloor = round == 0 ? floor : std::min(importFloor, floor);
        importQtFloor = round == 0 ? qtFloor : std::min(importQtFloor, qtFloor);
    }
    PrintTime("import", invoices, importLines, importSeconds, importFloor,
              sets.copiesRows() ? "COPY"
              : sets.onServer() ? "Qt SQL, one prepared statement"
                                : "SQLite's C interface, one prepared statement",
              importQtFloor);
    if (importLedgerFloor > 0) {
        std::printf("%-17s %7s     floor %6.2f s  %6.1fx  (SQLite's C interface, the ledger's rows too)\n",
                    "", "", importLedgerFloor, importSeconds / importLedgerFloor);
        std::fflush(stdout);
    }

    // Export: a set holding the generated invoices (imported untimed), then every 专用发票 of it out.
    const int exportLines = 3;
    const QString exportFile = dir + QStringLiteral("/issued_%1x%2.txt").arg(invoices).arg(exportLines);
    WriteIssuedFile(exportFile, GeneratedFile(invoices, exportLines));
    const QString exportSet = sets.make(QStringLiteral("export"), false);
    RequireOk(RunBatch({QStringLiteral("import"), QStringLiteral("--acct"), exportSet,
                        QStringLiteral("--config"), config, exportFile},
                       dir),
              QStringLiteral("taxferry-batch import of the export set"));
    const QString outFile = dir + QStringLiteral("/export.txt");
    // The set's invoices came in by import: the export leaves such invoices out unless asked.
    double exportSeconds = 0;
    ExportFloor ef;
    for (int round = 0; round < rounds; ++round) {
        const ChildRun exp =
            RunBatch({QStringLiteral("export"), QStringLiteral("--acct"), exportSet,
                      QStringLiteral("--config"), config, QStringLiteral("--link"), QStringLiteral("1"),
                      QStringLiteral("--out"), outFile, QStringLiteral("--include-exported")},
                     dir);
        RequireOk(exp, QStringLiteral("taxferry-batch export"));
        ExportFloor floor = RunExportFloor(exportSet, config, dir + QStringLiteral("/export_floor.txt"));
        exportSeconds = round == 0 ? exp.seconds : std::min(exportSeconds, exp.seconds);
        if (round == 0 || floor.seconds < ef.seconds) ef = std::move(floor);
    }
    qlonglong heads = 0, lines = 0;
    CountExportLines(outFile, QStringLiteral("~~"), ef.billNos, heads, lines);
    // Every fifth generated invoice is an ordinary one and stays in.
    const qlonglong generatedOut = invoices - invoices / 5;
    if (heads != ef.billNos.size() || heads < generatedOut || lines != 1 + heads + ef.rows)
        throw Failure{QStringLiteral("the export wrote %1 lines with %2 invoice heads; expected %3 heads (at "
                                     "least %4 generated) and %5 lines")
                          .arg(lines)
                          .arg(heads)
                          .arg(ef.billNos.size())
                          .arg(generatedOut)
                          .arg(1 + ef.billNos.size() + ef.rows)};
    PrintTime("export", invoices, exportLines, exportSeconds, ef.seconds,
              "the two templates' query, written");

    // ru_maxrss is in kilobytes on Linux.
    std::printf("peak RSS of the import: %.1f MB\n", double(peakKb) / 1024.0);
    if (keep) {
        std::printf("kept: %s\n", qPrintable(dir));
        const QStringList dbs = sets.keptDatabases();
        if (!dbs.isEmpty()) std::printf("kept databases: %s\n", qPrintable(dbs.join(QStringLiteral(", "))));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int invoices = 10000;
    int rounds = 3;
    QString acct, keepDir;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == u"--quick") {
            invoices = 200;
            rounds = 1;
        } else if (a == u"--rounds" && hasValue) {
            bool ok = false;
            rounds = args[++i].toInt(&ok);
            if (!ok || rounds < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == u"--invoices" && hasValue) {
            bool ok = false;
            invoices = args[++i].toInt(&ok);
            if (!ok || invoices < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (a == u"--acct" && hasValue) {
            acct = args[++i];
        } else if (a == u"--keep" && hasValue) {
            keepDir = args[++i];
        } else {
            std::fputs(kUsage, a == u"--help" ? stdout : stderr);
            return a == u"--help" ? 0 : 2;
        }
    }
    std::optional<QTemporaryDir> tmp;
    QString dir;
    if (keepDir.isEmpty()) {
        tmp.emplace();
        if (!tmp->isValid()) {
            std::fputs("cannot create a temporary folder\n", stderr);
            return 1;
        }
        dir = tmp->path();
    } else {
        if (!QDir().mkpath(keepDir)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(keepDir));
            return 1;
        }
        dir = QFileInfo(keepDir).absoluteFilePath();
    }
    try {
        return Run(invoices, rounds, acct, dir, !keepDir.isEmpty());
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.text.toUtf8().constData());
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.reportText().toUtf8().constData());
        if (!e.cause().isEmpty()) std::fprintf(stderr, "详细信息:%s\n", e.detailText().toUtf8().constData());
    }
    return 1;
}
