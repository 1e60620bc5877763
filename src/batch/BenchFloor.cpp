// The floors of the import: what the database itself needs to take the rows the import wrote.
#include "batch/Bench.h"
#include "common/DbProcedures.h"
#include "common/Values.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <sqlite3.h>
#include <vector>

namespace Bench {
namespace {

// Nulls stay null; yes/no and date values become what the target's columns take (a driver may read them
// back as texts).
QVariant forTarget(const QVariant& v, int type) {
    if (!v.isValid() || v.isNull()) return QVariant();
    if (type == AdoType::Boolean) return sqlBindValue(type, v);
    if ((type == AdoType::Date || type == AdoType::DBDate || type == AdoType::DBTimeStamp) &&
        v.typeId() == QMetaType::QString)
        return sqlBindValue(type, v);
    return v;
}

QString insertSql(const TableRows& t) {
    QStringList names;
    for (const FieldInfo& f : t.columns)
        names << f.name;
    return QStringLiteral("insert into %1 (%2) values (%3)")
        .arg(t.table, names.join(u','), QStringList(names.size(), QStringLiteral("?")).join(u','));
}

} // namespace

// The rows inserted by one prepared statement per table, one row at a time, in one transaction.
double insertFloor(const QString& conn, const QList<TableRows>& tables) {
    QList<Statements> statements;
    {
        ConnectionPtr c = Connection::open(conn);
        for (const TableRows& t : tables) {
            const QList<FieldInfo> target = c->tableColumns(t.table);
            QList<int> types;
            for (const FieldInfo& f : t.columns) {
                const int i = columnIndex(target, f.name);
                types << (i >= 0 ? target[i].type : f.type);
            }
            Statements s{insertSql(t), {}};
            s.rows.reserve(t.rows.size());
            for (const QVariantList& row : t.rows) {
                QVariantList r;
                r.reserve(row.size());
                for (int k = 0; k < row.size(); ++k)
                    r << forTarget(row[k], types[k]);
                s.rows << r;
            }
            statements << s;
        }
    }
    return preparedFloor(conn, statements);
}

double preparedFloor(const QString& conn, const QList<Statements>& statements) {
    ConnectionPtr c = Connection::open(conn);
    QElapsedTimer timer;
    timer.start();
    c->begin();
    for (const Statements& s : statements)
        for (const QVariantList& row : s.rows)
            c->exec(s.sql, row);
    c->commit();
    return double(timer.nsecsElapsed()) / 1e9;
}

double sqliteFloor(const QString& path, const QList<TableRows>& tables) {
    QList<Statements> statements;
    for (const TableRows& t : tables)
        statements << Statements{insertSql(t), t.rows};
    return sqlitePreparedFloor(path, statements);
}

// Each statement prepared once through SQLite's own interface, each row bound, stepped and reset, in one
// transaction. The values are made ready (texts as UTF-8) before the clock starts.
double sqlitePreparedFloor(const QString& path, const QList<Statements>& given) {
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
    for (const Statements& t : given) {
        const QByteArray sql = t.sql.toUtf8();
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
            if (sqlite3_step(st) != SQLITE_DONE) throw fail(given[int(t)].sql);
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

namespace {

QString csvValue(const QVariant& v) {
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

QString psqlProgram() {
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

} // namespace

// The rows loaded with COPY … FROM STDIN (psql's \copy) in one transaction; only psql's run is timed.
double copyFloor(const QString& conn, const QList<TableRows>& tables, const QString& dir) {
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
                fields << csvValue(v);
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
    QString user = connectionStringValue(conn, QStringLiteral("User ID"));
    if (user.isEmpty()) user = connectionStringValue(conn, QStringLiteral("UID"));
    option("-h", connectionStringValue(conn, QStringLiteral("Host")));
    option("-p", connectionStringValue(conn, QStringLiteral("Port")));
    option("-U", user);
    option("-d", connectionStringValue(conn, QStringLiteral("Database")));
    args << QStringLiteral("-f") << scriptPath;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString password = connectionStringValue(conn, QStringLiteral("Password"));
    if (password.isEmpty()) password = connectionStringValue(conn, QStringLiteral("PWD"));
    if (!password.isEmpty()) env.insert(QStringLiteral("PGPASSWORD"), password);
    env.insert(QStringLiteral("PGCLIENTENCODING"), QStringLiteral("UTF8"));
    const ChildRun r = runChild(psqlProgram(), args, dir, env);
    requireOk(r, QStringLiteral("psql \\copy"));
    return r.seconds;
}

} // namespace Bench
