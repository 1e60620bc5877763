#include "Connection.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

DbError::DbError(long number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}

QString DbError::reportText() const {
    return QStringLiteral("错误编号:") + QString::number(m_number) + QStringLiteral(",错误原因:") +
           m_description;
}

DbError ObjectNotSetError() {
    return DbError(91, QStringLiteral("对象变量或 With 块变量未设置"));
}

Connection& RequireConnection(Connection* conn) {
    if (!conn) throw ObjectNotSetError();
    return *conn;
}

QString Dialect::boolLiteral(bool b) const {
    if (kind == DbKind::ODBC) return b ? QStringLiteral("1") : QStringLiteral("0");
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// ---- Recordset ------------------------------------------------------------------------------

Recordset::Recordset(QList<FieldInfo> fields, QList<QVariantList> rows)
    : m_fields(std::move(fields)), m_rows(std::move(rows)) {
    clearFilter();
}

int Recordset::FieldIndex(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const QVariantList& Recordset::current() const {
    if (m_pos < 0 || m_pos >= m_view.size())
        throw DbError(3021, QStringLiteral("BOF 或 EOF 中有一个是“真”，或者当前记录已被删除。"));
    return m_rows[m_view[m_pos]];
}

QVariant Recordset::value(const QString& name) const {
    const int i = FieldIndex(name);
    if (i < 0) throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: ") + name);
    return current().value(i);
}

QVariant Recordset::value(int index) const {
    if (index < 0 || index >= m_fields.size())
        throw DbError(3265,
                      QStringLiteral("在对应所需名称或序数的集合中，未找到项目: ") + QString::number(index));
    return current().value(index);
}

QVariant Recordset::valueAt(int row, int index) const {
    if (row < 0 || row >= m_view.size()) return {};
    return m_rows[m_view[row]].value(index);
}

void Recordset::clearFilter() {
    m_view.clear();
    m_view.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_view.append(i);
    m_pos = 0;
}

void Recordset::setFilter(std::function<bool(const QVariantList&)> predicate) {
    m_view.clear();
    for (int i = 0; i < m_rows.size(); ++i)
        if (predicate(m_rows[i])) m_view.append(i);
    m_pos = 0;
}

void Recordset::setFilter(const QList<QPair<QString, QVariant>>& equals) {
    if (equals.isEmpty()) {
        clearFilter();
        return;
    }
    QList<QPair<int, QString>> tests;
    for (const auto& e : equals) {
        const int i = FieldIndex(e.first);
        if (i < 0) throw DbError(3001, QStringLiteral("筛选字段不存在: ") + e.first);
        tests.append({i, e.second.toString()});
    }
    setFilter([tests](const QVariantList& row) {
        for (const auto& t : tests) {
            const QVariant& v = row.value(t.first);
            if (v.isNull() || v.toString() != t.second) return false;
        }
        return true;
    });
}

// ---- connection strings ---------------------------------------------------------------------

QList<QPair<QString, QString>> ParseConnectionString(const QString& text) {
    QList<QPair<QString, QString>> out;
    for (const QString& part : text.split(u';', Qt::SkipEmptyParts)) {
        const int eq = part.indexOf(u'=');
        if (eq < 0) continue;
        out.append({part.left(eq).trimmed(), part.mid(eq + 1).trimmed()});
    }
    return out;
}

QString ConnectionStringValue(const QString& text, const QString& key) {
    for (const auto& kv : ParseConnectionString(text))
        if (kv.first.compare(key, Qt::CaseInsensitive) == 0) return kv.second;
    return {};
}

namespace {

QAtomicInt g_connectionCounter;

DbError sqlError(const QSqlError& e, const QString& sql = {}) {
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (text.trimmed().isEmpty()) text = QStringLiteral("数据库操作失败");
    Q_UNUSED(sql);
    bool ok = false;
    const long native = e.nativeErrorCode().toLong(&ok);
    return DbError(ok && native != 0 ? native : ErrNo::Database, text);
}

int adoTypeOfMeta(QMetaType::Type t) {
    switch (t) {
    case QMetaType::Bool:
        return AdoType::Boolean;
    case QMetaType::Short:
    case QMetaType::UShort:
        return AdoType::SmallInt;
    case QMetaType::Int:
    case QMetaType::UInt:
        return AdoType::Integer;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return AdoType::BigInt;
    case QMetaType::Float:
        return AdoType::Single;
    case QMetaType::Double:
        return AdoType::Double;
    case QMetaType::QDate:
        return AdoType::DBDate;
    case QMetaType::QDateTime:
        return AdoType::DBTimeStamp;
    case QMetaType::QByteArray:
        return AdoType::LongVarBinary;
    default:
        return AdoType::VarWChar;
    }
}

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

QList<FieldInfo> fieldsOf(const QSqlRecord& rec) {
    QList<FieldInfo> fields;
    fields.reserve(rec.count());
    for (int i = 0; i < rec.count(); ++i)
        fields.append({rec.fieldName(i), adoTypeOfMeta(QMetaType::Type(rec.field(i).metaType().id()))});
    return fields;
}

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
        if (!q.prepare(sql)) throw sqlError(q.lastError(), sql);
        for (const QVariant& v : params)
            q.addBindValue(bindable(v));
        ok = q.exec();
    }
    if (!ok) throw sqlError(q.lastError(), sql);
}

} // namespace

// ---- Connection -----------------------------------------------------------------------------

ConnectionPtr Connection::open(const QString& connectionString, Mode mode) {
    const QString provider = ConnectionStringValue(connectionString, QStringLiteral("Provider"));
    ConnectionPtr c(new Connection);
    c->m_connString = connectionString;
    c->m_mode = mode;
    c->m_name = QStringLiteral("taxferry_%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);

    QString driver;
    if (provider.compare(u"SQLite", Qt::CaseInsensitive) == 0) {
        driver = QStringLiteral("QSQLITE");
        c->m_dialect.kind = DbKind::SQLite;
    } else if (provider.compare(u"ODBC", Qt::CaseInsensitive) == 0 ||
               provider.startsWith(u"SQLOLEDB", Qt::CaseInsensitive)) {
        driver = QStringLiteral("QODBC");
        c->m_dialect.kind = DbKind::ODBC;
    } else if (provider.compare(u"PostgreSQL", Qt::CaseInsensitive) == 0) {
        driver = QStringLiteral("QPSQL");
        c->m_dialect.kind = DbKind::PostgreSQL;
    } else {
        throw DbError(3706, QStringLiteral("未找到提供程序。连接字符串: ") + connectionString);
    }
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw DbError(3706, QStringLiteral("数据库驱动不可用: ") + driver);

    QSqlDatabase db = QSqlDatabase::addDatabase(driver, c->m_name);
    QStringList options;
    if (c->m_dialect.kind == DbKind::SQLite) {
        const QString path = ConnectionStringValue(connectionString, QStringLiteral("Data Source"));
        // Never create an empty database in place of a missing one.
        if (path.isEmpty() || !QFileInfo(path).isFile())
            throw DbError(ErrNo::Connect, QStringLiteral("找不到数据库文件“%1”。").arg(path));
        db.setDatabaseName(path);
        options << QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000");
        if (mode == Mode::ReadOnly) options << QStringLiteral("QSQLITE_OPEN_READONLY");
    } else if (c->m_dialect.kind == DbKind::ODBC) {
        QStringList rest;
        for (const auto& kv : ParseConnectionString(connectionString))
            if (kv.first.compare(u"Provider", Qt::CaseInsensitive) != 0) rest << kv.first + u'=' + kv.second;
        db.setDatabaseName(rest.join(u';'));
        if (mode == Mode::ReadOnly) options << QStringLiteral("SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY");
    } else {
        db.setHostName(ConnectionStringValue(connectionString, QStringLiteral("Host")));
        const QString port = ConnectionStringValue(connectionString, QStringLiteral("Port"));
        if (!port.isEmpty()) db.setPort(port.toInt());
        db.setDatabaseName(ConnectionStringValue(connectionString, QStringLiteral("Database")));
        db.setUserName(ConnectionStringValue(connectionString, QStringLiteral("User ID")));
        db.setPassword(ConnectionStringValue(connectionString, QStringLiteral("Password")));
    }
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const DbError e = sqlError(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(c->m_name);
        c->m_name.clear();
        throw DbError(ErrNo::Connect, e.description());
    }
    if (c->m_dialect.kind == DbKind::PostgreSQL && mode == Mode::ReadOnly)
        c->Execute(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
    return c;
}

Connection::~Connection() {
    m_prepared.clear();
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

int Connection::State() const {
    if (m_name.isEmpty()) return 0;
    return database().isOpen() ? 1 : 0;
}

void Connection::Close() {
    m_prepared.clear();
    QSqlDatabase db = database();
    if (!db.isOpen()) return;
    if (m_inTrans) {
        try {
            RollbackTrans();
        } catch (const DbError&) {
        }
    }
    db.close();
}

static void requireOpen(const QSqlDatabase& db) {
    if (!db.isOpen()) throw DbError(3709, QStringLiteral("连接已关闭，不能执行此操作。"));
}

struct Connection::Prepared {
    explicit Prepared(const QSqlDatabase& db) : query(db) {}
    QSqlQuery query;
};

int Connection::Execute(const QString& sql, const QVariantList& params) {
    const QString head = sql.trimmed().left(6).toLower();
    if (head == u"create" || head.startsWith(u"alter") || head.startsWith(u"drop")) {
        m_columns.clear();
        m_prepared.clear();
    }
    QSqlDatabase db = database();
    requireOpen(db);
    if (params.isEmpty()) {
        QSqlQuery q(db);
        runQuery(q, sql, params);
        return q.numRowsAffected();
    }
    std::shared_ptr<Prepared> p = m_prepared.value(sql);
    if (!p) {
        if (m_prepared.size() >= 64) m_prepared.clear();
        p = std::make_shared<Prepared>(db);
        if (!p->query.prepare(sql)) throw sqlError(p->query.lastError(), sql);
        m_prepared.insert(sql, p);
    }
    QSqlQuery& q = p->query;
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, bindable(params[i]));
    const bool ok = q.exec();
    const int affected = ok ? q.numRowsAffected() : 0;
    const QSqlError err = q.lastError();
    q.finish();
    if (!ok) throw sqlError(err, sql);
    return affected;
}

RecordsetPtr Connection::Query(const QString& sql, const QVariantList& params) {
    QSqlDatabase db = database();
    requireOpen(db);
    QSqlQuery q(db);
    runQuery(q, sql, params);
    const QSqlRecord rec = q.record();
    QList<FieldInfo> fields = fieldsOf(rec);
    QList<QVariantList> rows;
    const int n = rec.count();
    while (q.next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(q.value(i));
        rows.append(std::move(row));
    }
    if (q.lastError().isValid()) throw sqlError(q.lastError(), sql);
    return std::make_shared<Recordset>(std::move(fields), std::move(rows));
}

void Connection::ForEachRow(const QString& sql, const QVariantList& params,
                            const std::function<void(const QList<FieldInfo>&)>& onColumns,
                            const std::function<void(const QVariantList&)>& onRow) {
    QSqlDatabase db = database();
    requireOpen(db);
    QSqlQuery q(db);
    runQuery(q, sql, params);
    const QSqlRecord rec = q.record();
    if (onColumns) onColumns(fieldsOf(rec));
    const int n = rec.count();
    QVariantList row;
    while (q.next()) {
        row.clear();
        for (int i = 0; i < n; ++i)
            row.append(q.value(i));
        onRow(row);
    }
    if (q.lastError().isValid()) throw sqlError(q.lastError(), sql);
}

QList<FieldInfo> Connection::TableColumns(const QString& table) {
    const QString key = table.toLower();
    if (const auto it = m_columns.constFind(key); it != m_columns.constEnd()) return *it;
    QList<FieldInfo> out;
    if (m_dialect.kind == DbKind::SQLite) {
        QString quoted = table;
        quoted.replace(u'"', QStringLiteral("\"\""));
        const RecordsetPtr rs = Query(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted));
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
            out.append({rs->value(QStringLiteral("name")).toString(),
                        adoTypeOfSqliteDecl(rs->value(QStringLiteral("type")).toString())});
    } else {
        QSqlDatabase db = database();
        requireOpen(db);
        QSqlQuery q(db);
        runQuery(q, QStringLiteral("select * from ") + table + QStringLiteral(" where 1=0"), {});
        out = fieldsOf(q.record());
    }
    if (out.isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("对象名“%1”无效。").arg(table));
    m_columns.insert(key, out);
    return out;
}

void Connection::BeginTrans(bool immediate) {
    QSqlDatabase db = database();
    requireOpen(db);
    if (m_inTrans) throw DbError(3251, QStringLiteral("连接上已有打开的事务。"));
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    } else if (!db.transaction()) {
        throw sqlError(db.lastError());
    }
    m_inTrans = true;
}

void Connection::CommitTrans() {
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(QStringLiteral("COMMIT"));
    } else if (!db.commit()) {
        throw sqlError(db.lastError());
    }
    m_inTrans = false;
}

void Connection::RollbackTrans() {
    if (!m_inTrans) return;
    m_inTrans = false;
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(QStringLiteral("ROLLBACK"));
    } else if (!db.rollback()) {
        throw sqlError(db.lastError());
    }
}

QString Connection::NextInterID(const QString& tableName) {
    if (m_dialect.kind == DbKind::ODBC) {
        QSqlDatabase db = database();
        requireOpen(db);
        QSqlQuery q(db);
        if (!q.prepare(QStringLiteral("{CALL GetICMaxNum(?, ?)}"))) throw sqlError(q.lastError());
        q.bindValue(0, tableName);
        q.bindValue(1, QVariant(qlonglong(0)), QSql::Out);
        if (!q.exec()) throw sqlError(q.lastError());
        return q.boundValue(1).toString();
    }
    if (m_dialect.kind == DbKind::PostgreSQL) {
        const RecordsetPtr rs = Query(QStringLiteral("select GetICMaxNum(?)"), {tableName});
        if (rs->isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
        return rs->value(0).toString();
    }
    // SQLite: the counter table. Advance first, read afterwards: the write lock is held from here.
    const int n =
        Execute(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum+1 where FTableName=?"), {tableName});
    if (n == 0)
        Execute(
            QStringLiteral(
                "insert into t_ICMaxNum(FTableName,FMaxNum) select ?, coalesce(max(FInterID),0)+1 from ") +
                tableName,
            {tableName});
    const RecordsetPtr rs =
        Query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName=?"), {tableName});
    if (rs->isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("标识计数器不可用。"));
    return QString::number(rs->value(0).toLongLong());
}

// ---- TransactionGuard -----------------------------------------------------------------------

TransactionGuard::TransactionGuard(Connection& conn, bool immediate) : m_conn(conn) {
    m_conn.BeginTrans(immediate);
    m_active = true;
}

TransactionGuard::~TransactionGuard() {
    if (!m_active) return;
    try {
        m_conn.RollbackTrans();
    } catch (...) {
    }
}

void TransactionGuard::commit() {
    m_conn.CommitTrans();
    m_active = false;
}

void TransactionGuard::rollback() {
    if (!m_active) return;
    m_active = false;
    m_conn.RollbackTrans();
}

// ---- scripts --------------------------------------------------------------------------------

static QStringList splitStatements(const QString& text) {
    QStringList out;
    QString cur;
    enum { Plain, Single, Double, Line, Block } st = Plain;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar n = i + 1 < text.size() ? text[i + 1] : QChar();
        switch (st) {
        case Plain:
            if (c == u'\'')
                st = Single;
            else if (c == u'"')
                st = Double;
            else if (c == u'-' && n == u'-') {
                st = Line;
                ++i;
                continue;
            } else if (c == u'/' && n == u'*') {
                st = Block;
                ++i;
                continue;
            } else if (c == u';') {
                if (!cur.trimmed().isEmpty()) out << cur.trimmed();
                cur.clear();
                continue;
            }
            break;
        case Single:
            if (c == u'\'') st = Plain;
            break;
        case Double:
            if (c == u'"') st = Plain;
            break;
        case Line:
            if (c == u'\n') {
                st = Plain;
                cur += u'\n';
            }
            continue;
        case Block:
            if (c == u'*' && n == u'/') {
                st = Plain;
                ++i;
            }
            continue;
        }
        cur += c;
    }
    if (!cur.trimmed().isEmpty()) out << cur.trimmed();
    return out;
}

void RunSqlScript(Connection& conn, const QString& scriptText) {
    TransactionGuard tx(conn);
    for (const QString& stmt : splitStatements(scriptText))
        conn.Execute(stmt);
    tx.commit();
}

void RunSqlScriptFile(Connection& conn, const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(ErrNo::FileNotFound, QStringLiteral("文件未找到: ") + path);
    RunSqlScript(conn, QString::fromUtf8(f.readAll()));
}
