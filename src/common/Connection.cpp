// Opening and closing a connection, running statements on it (prepared once where they carry values),
// and the columns of its tables.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"
#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace ConnectionPrivate;

namespace {

QAtomicInt g_connectionCounter;

// SQLite's own type affinity rules, read from the declared type.
int adoTypeOfSqliteDecl(const QString& declared) {
    const QString t = declared.toUpper();
    if (t.contains(u"BOOL")) return AdoType::Boolean;
    if (t.contains(u"INT")) return AdoType::Integer;
    if (t.contains(u"CHAR") || t.contains(u"CLOB") || t.contains(u"TEXT")) return AdoType::VarWChar;
    if (t.isEmpty()) return AdoType::VarWChar;
    if (t.contains(u"BLOB")) return AdoType::LongVarBinary;
    if (t.contains(u"REAL") || t.contains(u"FLOA") || t.contains(u"DOUB")) return AdoType::Double;
    if (t.contains(u"DATE") || t.contains(u"TIME")) return AdoType::DBTimeStamp;
    return AdoType::Numeric;
}

} // namespace

namespace ConnectionPrivate {

// A text value is a text, even when it is empty: the drivers would bind an empty QString as Null.
// Null is bound only for a value that is Null (an invalid QVariant or a Null of another type).
QVariant bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QVariant(QString(""));
    return v;
}

void runQuery(QSqlQuery& q, const QString& sql, const QVariantList& params) {
    q.setForwardOnly(true);
    bool ok;
    if (params.isEmpty()) {
        ok = q.exec(sql);
    } else {
        if (!q.prepare(sql)) throw sqlError(q, sql);
        for (const QVariant& v : params)
            q.addBindValue(bindable(v));
        ok = q.exec();
    }
    // A statement that fails at its first step (a constraint, say) can come back as executed, with the
    // error only in lastError.
    if (!ok || q.lastError().isValid()) throw sqlError(q, sql);
}

void requireOpen(const QSqlDatabase& db) {
    if (!db.isOpen()) throw DbError(3709, QStringLiteral("连接已关闭，不能执行此操作。"));
}

} // namespace ConnectionPrivate

ConnectionPtr Connection::open(const QString& connectionString, Mode mode) {
    const QString provider = connectionStringValue(connectionString, QStringLiteral("Provider"));
    ConnectionPtr c(new Connection);
    c->m_connString = connectionString;
    c->m_mode = mode;
    c->m_name = QStringLiteral("taxferry_%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);

    QString driver;
    if (provider.compare(u"SQLite", Qt::CaseInsensitive) == 0) {
        driver = QStringLiteral("QSQLITE");
        c->m_dialect = Dialect(DbKind::SQLite, DbServer::SQLite);
    } else if (provider.compare(u"ODBC", Qt::CaseInsensitive) == 0 ||
               provider.startsWith(u"SQLOLEDB", Qt::CaseInsensitive) ||
               provider.startsWith(u"MSDASQL", Qt::CaseInsensitive)) {
        driver = QStringLiteral("QODBC");
        c->m_dialect = Dialect(DbKind::ODBC, DbServer::Other);
    } else if (provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0) {
        driver = QStringLiteral("QPSQL");
        c->m_dialect = Dialect(DbKind::PostgreSQL, DbServer::PostgreSQL);
    } else {
        throw DbError(3706, QStringLiteral("未找到提供程序。连接字符串: ") + hidePasswords(connectionString));
    }
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw DbError(3706, QStringLiteral("数据库驱动不可用: ") + driver);

    QSqlDatabase db = QSqlDatabase::addDatabase(driver, c->m_name);
    // Numbers of every kind come back as double, as on SQLite: a NUMERIC column would come as text.
    db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    QStringList options;
    if (c->m_dialect.kind == DbKind::SQLite) {
        const QString path = connectionStringValue(connectionString, QStringLiteral("Data Source"));
        // Never create an empty database in place of a missing one.
        if (path.isEmpty() || !QFileInfo(path).isFile())
            throw DbError(ErrNo::Connect, QStringLiteral("找不到数据库文件“%1”。").arg(path));
        db.setDatabaseName(path);
        options << QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000");
        if (mode == Mode::ReadOnly) options << QStringLiteral("QSQLITE_OPEN_READONLY");
    } else if (c->m_dialect.kind == DbKind::ODBC) {
        db.setDatabaseName(odbcConnectString(connectionString));
        if (mode == Mode::ReadOnly) options << QStringLiteral("SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY");
    } else {
        db.setHostName(connectionStringValue(connectionString, QStringLiteral("Host")));
        const QString port = connectionStringValue(connectionString, QStringLiteral("Port"));
        if (!port.isEmpty()) db.setPort(port.toInt());
        db.setDatabaseName(connectionStringValue(connectionString, QStringLiteral("Database")));
        QString user = connectionStringValue(connectionString, QStringLiteral("User ID"));
        if (user.isEmpty()) user = connectionStringValue(connectionString, QStringLiteral("UID"));
        QString password = connectionStringValue(connectionString, QStringLiteral("Password"));
        if (password.isEmpty()) password = connectionStringValue(connectionString, QStringLiteral("PWD"));
        db.setUserName(user);
        db.setPassword(password);
    }
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const DbError e = sqlError(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(c->m_name);
        c->m_name.clear();
        // What users meet (a wrong password, a server that is not there) in their words; the driver's own
        // text stays the cause.
        const QString driverText = e.cause().isEmpty() || e.description().contains(e.cause())
                                       ? e.description()
                                       : e.description() + u' ' + e.cause();
        const QString reason = connectFailureReason(driverText);
        if (!reason.isEmpty())
            throw DbError(ErrNo::Connect, QStringLiteral("连接服务器失败：") + reason, driverText, QString(),
                          e.sqlState());
        throw DbError(ErrNo::Connect, e.description(), e.cause(), QString(), e.sqlState());
    }
    if (c->m_dialect.kind == DbKind::ODBC)
        c->m_dialect.server = Dialect::serverFromDbmsName(odbcDbmsName(db));
    if (mode == Mode::ReadOnly) c->beginReadOnly();
    return c;
}

void Connection::beginReadOnly() {
    begin();
    // Drivers may ignore their read-only mode (psqlODBC does); the server's own read-only transaction
    // refuses a write at once, and the rollback at the end undoes whatever another server let through.
    if (m_dialect.hasReadOnlyTransactions()) exec(QStringLiteral("SET TRANSACTION READ ONLY"));
}

void Connection::recoverReadOnly() {
    if (m_mode != Mode::ReadOnly || !m_inTrans) return;
    try {
        rollback();
        beginReadOnly();
    } catch (const DbError&) {
    }
}

Connection::~Connection() {
    dropCopy();
    m_prepared.clear();
    finalizeDirect();
    if (m_name.isEmpty()) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) {
            if (m_inTrans) db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

int Connection::state() const {
    if (m_name.isEmpty()) return 0;
    return database().isOpen() ? 1 : 0;
}

void Connection::close() {
    dropCopy();
    m_prepared.clear();
    finalizeDirect();
    QSqlDatabase db = database();
    if (!db.isOpen()) return;
    if (m_inTrans) {
        try {
            rollback();
        } catch (const DbError&) {
        }
    }
    db.close();
}

struct Connection::Prepared {
    explicit Prepared(const QSqlDatabase& db) : query(db) {}
    QSqlQuery query;
};

// Statements with values are prepared once per connection and run again with new values: on a server
// every prepare is a round trip of its own.
QSqlQuery& Connection::prepared(const QString& sql) {
    settleCopy();
    std::shared_ptr<Prepared> p = m_prepared.value(sql);
    if (!p) {
        if (m_prepared.size() >= 64) m_prepared.clear();
        p = std::make_shared<Prepared>(database());
        p->query.setForwardOnly(true);
        if (!p->query.prepare(sql)) {
            const DbError e = sqlError(p->query, sql);
            recoverReadOnly();
            throw e;
        }
        m_prepared.insert(sql, p);
    }
    return p->query;
}

int Connection::exec(const QString& sql, const QVariantList& params) {
    settleCopy();
    const QString head = sql.trimmed().left(6).toLower();
    if (head == u"create" || head.startsWith(u"alter") || head.startsWith(u"drop")) {
        m_columns.clear();
        m_prepared.clear();
        finalizeDirect();
    }
    QSqlDatabase db = database();
    requireOpen(db);
    if (!params.isEmpty() && runsDirectly()) return execDirect(sql, params);
    if (params.isEmpty()) {
        QSqlQuery q(db);
        try {
            runQuery(q, sql, params);
        } catch (const DbError&) {
            recoverReadOnly();
            throw;
        }
        return q.numRowsAffected();
    }
    QSqlQuery& q = prepared(sql);
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, bindable(params[i]));
    const bool ok = q.exec();
    const int affected = ok ? q.numRowsAffected() : 0;
    if (!ok) {
        const DbError e = sqlError(q, sql);
        q.finish();
        recoverReadOnly();
        throw e;
    }
    q.finish();
    return affected;
}

QList<FieldInfo> Connection::tableColumns(const QString& table) {
    settleCopy();
    const QString key = table.toLower();
    if (const auto it = m_columns.constFind(key); it != m_columns.constEnd()) return *it;
    QList<FieldInfo> out;
    if (m_dialect.kind == DbKind::SQLite) {
        QString quoted = table;
        quoted.replace(u'"', QStringLiteral("\"\""));
        const RecordsetPtr rs = query(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted));
        for (rs->first(); !rs->atEnd(); rs->next()) {
            // The length SQLite keeps as declared ("varchar(255)"), though it does not hold a value to it.
            const QString decl = rs->value(QStringLiteral("type")).toString();
            const qsizetype open = decl.indexOf(u'(');
            const int length =
                open < 0 ? 0 : decl.mid(open + 1).section(u')', 0, 0).section(u',', 0, 0).trimmed().toInt();
            out.append({rs->value(QStringLiteral("name")).toString(), adoTypeOfSqliteDecl(decl), length});
        }
    } else {
        QSqlDatabase db = database();
        requireOpen(db);
        QSqlQuery q(db);
        try {
            runQuery(q, QStringLiteral("select * from ") + table + QStringLiteral(" where 1=0"), {});
        } catch (const DbError&) {
            recoverReadOnly();
            throw;
        }
        out = fieldsOf(q.record());
    }
    if (out.isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("对象名“%1”无效。").arg(table));
    m_columns.insert(key, out);
    return out;
}
