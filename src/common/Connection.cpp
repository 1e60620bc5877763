#include "Connection.h"

#include <algorithm>

#include <QAtomicInt>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QStringEncoder>
#include <QTime>
#include <charconv>
#include <cmath>
#include <optional>
#include <sqlite3.h>
#include <utility>
#include <vector>

#if TAXFERRY_HAVE_ODBC
#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#endif

// What an error says is shown, logged and printed: a connection string in it (a provider that is not
// known, a driver that repeats what it was given) loses its password here, once for every path.
DbError::DbError(long number, const QString& description)
    : std::runtime_error(hidePasswords(description).toStdString()), m_number(number),
      m_description(hidePasswords(description)) {}

DbError::DbError(long number, const QString& description, const QString& cause, const QString& statement,
                 const QString& sqlState)
    : std::runtime_error(hidePasswords(description).toStdString()), m_number(number),
      m_description(hidePasswords(description)), m_cause(hidePasswords(cause)), m_statement(statement),
      m_sqlState(sqlState) {}

bool DbError::isConcurrencyFailure() const {
    return Dialect::IsConcurrencyFailure(m_sqlState, m_number);
}

QString DbError::reportText() const {
    return QStringLiteral("错误编号:") + QString::number(m_number) + QStringLiteral(",错误原因:") +
           m_description;
}

QString DbError::detailText() const {
    QString t = m_cause.isEmpty() ? m_description : m_cause;
    t = t.simplified();
    if (!m_sqlState.isEmpty() && !t.contains(m_sqlState))
        t += QStringLiteral(" (SQLSTATE ") + m_sqlState + u')';
    if (!m_statement.isEmpty()) t += QStringLiteral(" 语句: ") + m_statement.simplified();
    return t;
}

DbError ObjectNotSetError() {
    return DbError(91, QStringLiteral("对象变量或 With 块变量未设置"));
}

Connection& RequireConnection(Connection* conn) {
    if (!conn) throw ObjectNotSetError();
    return *conn;
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

QString BracedText(const QString& text, int open, int* end) {
    QString out;
    int i = open + 1;
    for (; i < text.size(); ++i) {
        if (text[i] == u'}') {
            if (i + 1 < text.size() && text[i + 1] == u'}') {
                out += u'}';
                ++i;
                continue;
            }
            ++i;
            break;
        }
        out += text[i];
    }
    if (end) *end = i;
    return out;
}

QList<QPair<QString, QString>> ParseConnectionString(const QString& text) {
    QList<QPair<QString, QString>> out;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        const int eq = text.indexOf(u'=', i);
        const int semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=": nothing to keep.
            if (semi < 0) break;
            i = semi + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        int j = eq + 1;
        while (j < n && text[j] == u' ')
            ++j;
        QString value;
        if (j < n && text[j] == u'{') {
            int end = j;
            BracedText(text, j, &end);
            value = text.mid(j, end - j);
            const int next = text.indexOf(u';', end);
            i = next < 0 ? n : next + 1;
        } else {
            const int next = text.indexOf(u';', j);
            value = text.mid(j, (next < 0 ? n : next) - j).trimmed();
            i = next < 0 ? n : next + 1;
        }
        if (!key.isEmpty()) out.append({key, value});
    }
    return out;
}

static QString unbraced(const QString& value) {
    if (value.startsWith(u'{')) return BracedText(value, 0);
    return value;
}

QString ConnectionStringValue(const QString& text, const QString& key) {
    for (const auto& kv : ParseConnectionString(text))
        if (kv.first.compare(key, Qt::CaseInsensitive) == 0) return unbraced(kv.second);
    return {};
}

QString quotedConnectionValue(const QString& value) {
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') && value.trimmed() == value)
        return value;
    QString inner = value;
    return u'{' + inner.replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
}

QString normalizedConnectionString(const QString& text) {
    QStringList parts;
    for (const auto& kv : ParseConnectionString(text))
        parts << kv.first + u'=' +
                     (kv.second.startsWith(u'{') ? kv.second : quotedConnectionValue(kv.second));
    return parts.join(u';');
}

QString hidePasswords(const QString& text) {
    if (!text.contains(u"pwd", Qt::CaseInsensitive) && !text.contains(u"password", Qt::CaseInsensitive))
        return text;
    static const QRegularExpression key(QStringLiteral("(pwd|password)\\s*="),
                                        QRegularExpression::CaseInsensitiveOption);
    const qsizetype n = text.size();
    QString out;
    qsizetype from = 0;
    for (QRegularExpressionMatch m = key.match(text); m.hasMatch(); m = key.match(text, from)) {
        qsizetype end = m.capturedEnd();
        while (end < n && text[end] == u' ')
            ++end;
        if (end < n && text[end] == u'{') {
            // In braces a password runs to the brace that closes it ("}}" is one brace of the password);
            // never closed, to the end of the text.
            for (++end; end < n; ++end) {
                if (text[end] != u'}') continue;
                if (end + 1 < n && text[end + 1] == u'}') {
                    ++end;
                    continue;
                }
                ++end;
                break;
            }
        } else {
            // Unbraced, to the end of its pair or line: rather too much than a piece of the password.
            while (end < n && text[end] != u';' && text[end] != u'\n' && text[end] != u'\r')
                ++end;
        }
        out += QStringView(text).mid(from, m.capturedStart() - from);
        // The pair goes with one of its separators.
        if (out.endsWith(u';'))
            out.chop(1);
        else if (end < n && text[end] == u';')
            ++end;
        from = end;
    }
    out += QStringView(text).mid(from);
    return out;
}

namespace {

QAtomicInt g_connectionCounter;

// The statement as the log shows it: the program's SQL with "?" for every value, never a value.
QString shownStatement(const QString& sql) {
    QString t = sql.simplified();
    if (t.size() > 2000) t = t.left(2000) + QStringLiteral("…");
    return t;
}

DbError sqlError(const QSqlError& e, const QString& sql = {}, const QString& odbcState = {}) {
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (text.trimmed().isEmpty()) text = QStringLiteral("数据库操作失败");
    // The number is the driver's own code where it is one (SQL Server's error number through ODBC,
    // SQLite's result code); PostgreSQL only has its SQLSTATE, which is kept beside the number.
    const QString code = e.nativeErrorCode().trimmed();
    QString sqlState;
    long number = ErrNo::Database;
    bool ok = false;
    const long native = code.toLong(&ok);
    if (ok && native != 0) number = native;
    if (code.size() == 5 && !ok) sqlState = code;
    // QODBC puts the SQLSTATE in front of the driver's text; PostgreSQL's driver gives it as the code.
    static const QRegularExpression state(QStringLiteral("^\\[?([0-9A-Z]{5})\\]?[ :]"));
    if (sqlState.isEmpty()) {
        const auto m = state.match(text);
        if (m.hasMatch()) sqlState = m.captured(1);
    }
    if (code.size() == 5 && ok) sqlState = code;
    if (!odbcState.isEmpty()) sqlState = odbcState;
    QString description = text.trimmed();
    if (Dialect::IsConcurrencyFailure(sqlState, native)) {
        // The server chose this work to undo so that another user's could go on.
        description =
            QStringLiteral("与其他用户同时写入账套时发生冲突(死锁)，数据库已撤销本次操作，请重新执行。");
    }
    return DbError(number, description, text.trimmed(), shownStatement(sql), sqlState);
}

#if TAXFERRY_HAVE_ODBC
// The ODBC handle a driver or result hands out; Qt 6 names its type "void*" (SQLHANDLE is one), Qt 5
// named it "SQLHANDLE".
SQLHANDLE odbcHandle(const QVariant& h) {
    if (!h.isValid() || (qstrcmp(h.typeName(), "SQLHANDLE") != 0 && qstrcmp(h.typeName(), "void*") != 0))
        return nullptr;
    return *static_cast<const SQLHANDLE*>(h.data());
}

// QODBC keeps the driver's text and native number but drops the SQLSTATE, which is the only thing that
// tells a deadlock from psqlODBC: it is read from the statement's diagnostics, still there after the failure.
QString odbcSqlState(const QSqlQuery& q) {
    SQLHANDLE hstmt = odbcHandle(q.result() ? q.result()->handle() : QVariant());
    if (!hstmt) return {};
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[8];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, text, sizeof text, &len)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(state));
}
#else
QString odbcSqlState(const QSqlQuery&) {
    return {};
}
#endif

DbError sqlError(const QSqlQuery& q, const QString& sql) {
    const bool odbc = q.driver() && q.driver()->handle().isValid() && q.driver()->metaObject() &&
                      QByteArray(q.driver()->metaObject()->className()) == "QODBCDriver";
    return sqlError(q.lastError(), sql, odbc ? odbcSqlState(q) : QString());
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
        fields.append({rec.fieldName(i), adoTypeOfMeta(QMetaType::Type(rec.field(i).metaType().id())),
                       std::max(0, rec.field(i).length())});
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
        if (!q.prepare(sql)) throw sqlError(q, sql);
        for (const QVariant& v : params)
            q.addBindValue(bindable(v));
        ok = q.exec();
    }
    // A statement that fails at its first step (a constraint, say) can come back as executed, with the
    // error only in lastError.
    if (!ok || q.lastError().isValid()) throw sqlError(q, sql);
}

} // namespace

// ---- Connection -----------------------------------------------------------------------------

namespace {

#if TAXFERRY_HAVE_ODBC
// The database behind an ODBC connection, as the driver names it.
QString odbcDbmsName(const QSqlDatabase& db) {
    SQLHANDLE hdbc = odbcHandle(db.driver()->handle());
    if (!hdbc) return {};
    SQLCHAR buf[256] = {0};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DBMS_NAME, buf, sizeof buf - 1, &len))) return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(buf));
}
#else
QString odbcDbmsName(const QSqlDatabase&) {
    return {};
}
#endif

// The connection string QODBC gets. QODBC puts "DSN=" in front of anything that names neither a driver
// nor a server, so a data source is handed over as its bare name followed by the other pairs.
QString odbcConnectString(const QString& connectionString) {
    QStringList rest;
    QString dsn;
    bool namesDriver = false;
    for (const auto& kv : ParseConnectionString(connectionString)) {
        if (kv.first.compare(u"Provider", Qt::CaseInsensitive) == 0) continue;
        if (kv.first.compare(u"DSN", Qt::CaseInsensitive) == 0 && dsn.isEmpty()) {
            dsn = kv.second;
            continue;
        }
        if (kv.first.compare(u"Driver", Qt::CaseInsensitive) == 0 ||
            kv.first.compare(u"Server", Qt::CaseInsensitive) == 0 ||
            kv.first.compare(u"FileDSN", Qt::CaseInsensitive) == 0)
            namesDriver = true;
        rest << kv.first + u'=' + kv.second;
    }
    if (dsn.isEmpty()) return rest.join(u';');
    if (namesDriver) return (QStringList{QStringLiteral("DSN=") + dsn} + rest).join(u';');
    return (QStringList{dsn} + rest).join(u';');
}

} // namespace

QString ConnectFailureReason(const QString& driverText) {
    // PostgreSQL's messages, as its own driver and psqlODBC pass them on, and the socket's.
    static const QList<QPair<QRegularExpression, QString>> reasons{
        {QRegularExpression(QStringLiteral("password authentication failed|no password supplied|"
                                           "fe_sendauth|authentication failed"),
                            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("密码错误")},
        {QRegularExpression(QStringLiteral("database \"[^\"]*\" does not exist"),
                            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("数据库不存在")},
        {QRegularExpression(QStringLiteral("role \"[^\"]*\" does not exist"),
                            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("用户不存在")},
        {QRegularExpression(
             QStringLiteral("connection refused|could not connect to server|"
                            "could not translate host name|name or service not known|"
                            "no route to host|timeout expired|timed out|network is unreachable"),
             QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("无法连接到服务器")},
    };
    for (const auto& r : reasons)
        if (r.first.match(driverText).hasMatch()) return r.second;
    return {};
}

ConnectionPtr Connection::open(const QString& connectionString, Mode mode) {
    const QString provider = ConnectionStringValue(connectionString, QStringLiteral("Provider"));
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
        const QString path = ConnectionStringValue(connectionString, QStringLiteral("Data Source"));
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
        db.setHostName(ConnectionStringValue(connectionString, QStringLiteral("Host")));
        const QString port = ConnectionStringValue(connectionString, QStringLiteral("Port"));
        if (!port.isEmpty()) db.setPort(port.toInt());
        db.setDatabaseName(ConnectionStringValue(connectionString, QStringLiteral("Database")));
        QString user = ConnectionStringValue(connectionString, QStringLiteral("User ID"));
        if (user.isEmpty()) user = ConnectionStringValue(connectionString, QStringLiteral("UID"));
        QString password = ConnectionStringValue(connectionString, QStringLiteral("Password"));
        if (password.isEmpty()) password = ConnectionStringValue(connectionString, QStringLiteral("PWD"));
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
        const QString reason = ConnectFailureReason(driverText);
        if (!reason.isEmpty())
            throw DbError(ErrNo::Connect, QStringLiteral("连接服务器失败：") + reason, driverText, QString(),
                          e.sqlState());
        throw DbError(ErrNo::Connect, e.description(), e.cause(), QString(), e.sqlState());
    }
    if (c->m_dialect.kind == DbKind::ODBC)
        c->m_dialect.server = Dialect::ServerFromDbmsName(odbcDbmsName(db));
    if (mode == Mode::ReadOnly) c->beginReadOnly();
    return c;
}

void Connection::beginReadOnly() {
    BeginTrans();
    // Drivers may ignore their read-only mode (psqlODBC does); the server's own read-only transaction
    // refuses a write at once, and the rollback at the end undoes whatever another server let through.
    if (m_dialect.hasReadOnlyTransactions()) Execute(QStringLiteral("SET TRANSACTION READ ONLY"));
}

void Connection::recoverReadOnly() {
    if (m_mode != Mode::ReadOnly || !m_inTrans) return;
    try {
        RollbackTrans();
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

int Connection::State() const {
    if (m_name.isEmpty()) return 0;
    return database().isOpen() ? 1 : 0;
}

void Connection::Close() {
    dropCopy();
    m_prepared.clear();
    finalizeDirect();
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

int Connection::Execute(const QString& sql, const QVariantList& params) {
    settleCopy();
    const QString head = sql.trimmed().left(6).toLower();
    if (head == u"create" || head.startsWith(u"alter") || head.startsWith(u"drop")) {
        m_columns.clear();
        m_prepared.clear();
    }
    QSqlDatabase db = database();
    requireOpen(db);
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

namespace {
QList<QVariantList> readRows(QSqlQuery& q, int n) {
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(q.value(i));
        rows.append(std::move(row));
    }
    return rows;
}
} // namespace

RecordsetPtr Connection::Query(const QString& sql, const QVariantList& params) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    std::optional<QSqlQuery> own;
    QSqlQuery* q = nullptr;
    if (params.isEmpty()) {
        own.emplace(db);
        q = &*own;
        try {
            runQuery(*q, sql, params);
        } catch (const DbError&) {
            recoverReadOnly();
            throw;
        }
    } else {
        q = &prepared(sql);
        for (int i = 0; i < params.size(); ++i)
            q->bindValue(i, bindable(params[i]));
        if (!q->exec()) {
            const DbError e = sqlError(*q, sql);
            q->finish();
            recoverReadOnly();
            throw e;
        }
    }
    const QSqlRecord rec = q->record();
    QList<FieldInfo> fields = fieldsOf(rec);
    QList<QVariantList> rows = readRows(*q, rec.count());
    if (q->lastError().isValid()) {
        const DbError e = sqlError(*q, sql);
        q->finish();
        recoverReadOnly();
        throw e;
    }
    q->finish();
    return std::make_shared<Recordset>(std::move(fields), std::move(rows));
}

void Connection::ForEachRow(const QString& sql, const QVariantList& params,
                            const std::function<void(const QList<FieldInfo>&)>& onColumns,
                            const std::function<void(const QVariantList&)>& onRow) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    QSqlQuery q(db);
    try {
        runQuery(q, sql, params);
    } catch (const DbError&) {
        recoverReadOnly();
        throw;
    }
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
    if (q.lastError().isValid()) {
        const DbError e = sqlError(q, sql);
        recoverReadOnly();
        throw e;
    }
}

namespace {
class QueryCursor : public Connection::Cursor {
public:
    QueryCursor(QSqlDatabase db, const QString& sql) : m_query(db), m_sql(sql) {}
    void start(const QVariantList& params) {
        runQuery(m_query, m_sql, params);
        m_fields = fieldsOf(m_query.record());
    }
    const QList<FieldInfo>& fields() const override { return m_fields; }
    bool next(QVariantList& row) override {
        if (!m_query.next()) {
            if (m_query.lastError().isValid()) throw sqlError(m_query, m_sql);
            return false;
        }
        row.clear();
        for (int i = 0; i < m_fields.size(); ++i)
            row.append(m_query.value(i));
        return true;
    }

private:
    QSqlQuery m_query;
    QString m_sql;
    QList<FieldInfo> m_fields;
};
} // namespace

std::unique_ptr<Connection::Cursor> Connection::OpenCursor(const QString& sql, const QVariantList& params) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    auto cursor = std::make_unique<QueryCursor>(db, sql);
    try {
        cursor->start(params);
    } catch (const DbError&) {
        recoverReadOnly();
        throw;
    }
    return cursor;
}

void Connection::BeginLedgerLock(int waitSeconds) {
    if (m_dialect.kind == DbKind::SQLite) {
        // The write lock of the file is the ledger's: a second export waits for the first longer than a
        // statement normally would.
        Execute(QStringLiteral("PRAGMA busy_timeout=%1").arg(qint64(waitSeconds) * 1000));
        try {
            BeginTrans(true);
        } catch (const DbError&) {
            Execute(QStringLiteral("PRAGMA busy_timeout=15000"));
            throw;
        }
        Execute(QStringLiteral("PRAGMA busy_timeout=15000"));
        return;
    }
    BeginTrans(false);
    const QString sql = m_dialect.ledgerLockSql();
    try {
        if (sql.startsWith(u"select"))
            Query(sql);
        else if (!sql.isEmpty())
            Execute(sql);
    } catch (const DbError&) {
        RollbackTrans();
        throw;
    }
}

QList<FieldInfo> Connection::TableColumns(const QString& table) {
    settleCopy();
    const QString key = table.toLower();
    if (const auto it = m_columns.constFind(key); it != m_columns.constEnd()) return *it;
    QList<FieldInfo> out;
    if (m_dialect.kind == DbKind::SQLite) {
        QString quoted = table;
        quoted.replace(u'"', QStringLiteral("\"\""));
        const RecordsetPtr rs = Query(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted));
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
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

void Connection::BeginTrans(bool immediate) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    if (m_inTrans) throw DbError(3251, QStringLiteral("连接上已有打开的事务。"));
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    } else if (!db.transaction()) {
        throw sqlError(db.lastError(), QStringLiteral("BEGIN"));
    }
    m_inTrans = true;
}

void Connection::LockForImport() {
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    const QString sql = m_dialect.importLockSql();
    if (sql.isEmpty()) return;
    if (sql.startsWith(u"select"))
        Query(sql);
    else
        Execute(sql);
}

void Connection::CommitTrans() {
    settleCopy();
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(QStringLiteral("COMMIT"));
    } else if (!db.commit()) {
        throw sqlError(db.lastError(), QStringLiteral("COMMIT"));
    }
    m_inTrans = false;
}

void Connection::RollbackTrans() {
    dropCopy();
    if (!m_inTrans) return;
    m_inTrans = false;
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        Execute(QStringLiteral("ROLLBACK"));
    } else if (!db.rollback()) {
        throw sqlError(db.lastError(), QStringLiteral("ROLLBACK"));
    }
}

QString Connection::NextInterID(const QString& tableName) {
    switch (m_dialect.interIdSource()) {
    case Dialect::InterIdSource::Procedure: {
        // As on the accounting product's SQL Server: the stored procedure with an output parameter, which
        // must be bound to a value of its size.
        const QString sql = QStringLiteral("{CALL GetICMaxNum(?, ?)}");
        QSqlQuery& q = prepared(sql);
        q.bindValue(0, tableName);
        q.bindValue(1, QVariant(qlonglong(0)), QSql::Out);
        if (!q.exec()) {
            const DbError e = sqlError(q, sql);
            q.finish();
            throw e;
        }
        const QVariant id = q.boundValue(1);
        q.finish();
        if (id.isNull() || id.toLongLong() == 0)
            throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"), QString(), sql);
        return QString::number(id.toLongLong());
    }
    case Dialect::InterIdSource::Function: {
        const RecordsetPtr rs = Query(QStringLiteral("select GetICMaxNum(?)"), {tableName});
        if (rs->isEmpty() || rs->value(0).isNull())
            throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
        return QString::number(rs->value(0).toLongLong());
    }
    case Dialect::InterIdSource::CounterTable:
        break;
    }
    // The counter table. Advance first, read afterwards: the write lock is held from here.
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

namespace {
// A value in COPY's text format, as the driver would have spelt it for an INSERT; numbers through
// to_chars (shortest text that reads back as the same double).
void appendCopyValue(QByteArray& out, const QVariant& v) {
    char buf[64];
    const auto appendChars = [&](std::to_chars_result r) { out.append(buf, r.ptr - buf); };
    const bool null = v.isNull();
    switch (v.typeId()) {
    case QMetaType::QString:
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
        if (!null) return appendChars(std::to_chars(buf, buf + sizeof buf, v.toLongLong()));
        break;
    case QMetaType::Bool:
        if (!null) {
            out += v.toBool() ? 't' : 'f';
            return;
        }
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        if (!null) {
            const double d = v.toDouble();
            if (std::isnan(d))
                out += "NaN";
            else if (std::isinf(d))
                out += d > 0 ? "Infinity" : "-Infinity";
            else
                appendChars(std::to_chars(buf, buf + sizeof buf, d));
            return;
        }
        break;
    case QMetaType::QDate:
        if (!null) {
            out += v.toDate().toString(Qt::ISODate).toLatin1();
            return;
        }
        break;
    case QMetaType::QDateTime:
        if (!null) {
            out += v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
            return;
        }
        break;
    default:
        break;
    }
    if (null && v.typeId() != QMetaType::QString) {
        out += "\\N";
        return;
    }
    // Texts (a null text is written empty, as bound) and whatever else the driver would bind as text.
    const QByteArray text = v.toString().toUtf8();
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return c == '\\' || c == '\n' || c == '\r' || c == '\t'; })) {
        out += text;
        return;
    }
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
}

PGconn* pgHandle(const QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type as the compiler saw it: "PGconn*" or the struct behind it, "pg_conn*".
    if (!h.isValid() || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}
} // namespace

bool Connection::CanCopyIn() const {
    return m_dialect.kind == DbKind::PostgreSQL && !isReadOnly() && pgHandle(database()) != nullptr;
}

namespace {
// The server's refusal of a COPY; the connection is left ready for the driver's next statement.
DbError copyFailure(PGconn* pg, PGresult* res, const QString& sql) {
    const QString text = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(pg)).trimmed();
    const QString state = res ? QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : QString();
    if (res) PQclear(res);
    while (PGresult* rest = PQgetResult(pg))
        PQclear(rest);
    return sqlError(QSqlError(text, text, QSqlError::StatementError, state), sql);
}
} // namespace

void Connection::CopyIn(const QString& table, const QStringList& columns, qsizetype rowCount,
                        const std::function<const QVariant&(qsizetype row, int column)>& value) {
    settleCopy();
    const QString sql = QStringLiteral("COPY ") + table + QStringLiteral(" (") + columns.join(u',') +
                        QStringLiteral(") FROM STDIN");
    QSqlDatabase db = database();
    requireOpen(db);
    PGconn* pg = pgHandle(db);
    if (!pg || isReadOnly())
        throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(), sql);
    PGresult* res = PQexec(pg, sql.toUtf8().constData());
    if (PQresultStatus(res) != PGRES_COPY_IN) throw copyFailure(pg, res, sql);
    PQclear(res);
    QByteArray chunk;
    chunk.reserve((1 << 16) + 4096);
    bool sent = true;
    const int columnCount = int(columns.size());
    for (qsizetype r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columnCount; ++c) {
            if (c > 0) chunk += '\t';
            appendCopyValue(chunk, value(r, c));
        }
        chunk += '\n';
        if (chunk.size() >= (1 << 16)) {
            sent = PQputCopyData(pg, chunk.constData(), int(chunk.size())) == 1;
            chunk.clear();
            if (!sent) break;
        }
    }
    if (sent && !chunk.isEmpty()) sent = PQputCopyData(pg, chunk.constData(), int(chunk.size())) == 1;
    if (PQputCopyEnd(pg, sent ? nullptr : "aborted") != 1) throw copyFailure(pg, nullptr, sql);
    // The server works through the rows while the caller prepares the next ones; whatever runs next on
    // the connection first takes the outcome (settleCopy).
    m_copyPending = sql;
}

void Connection::settleCopy() {
    if (m_copyPending.isEmpty()) return;
    const QString sql = std::exchange(m_copyPending, QString());
    PGconn* pg = pgHandle(database());
    if (!pg) return;
    PGresult* res = PQgetResult(pg);
    if (PQresultStatus(res) != PGRES_COMMAND_OK) throw copyFailure(pg, res, sql);
    PQclear(res);
    while (PGresult* rest = PQgetResult(pg))
        PQclear(rest);
}

void Connection::dropCopy() noexcept {
    try {
        settleCopy();
    } catch (const DbError&) {
        // Whatever was refused is rolled back with the transaction.
    }
}

namespace {
sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}

// SQLite's refusal, in the form the driver gives it (its text, the result code as the number).
DbError sqliteFailure(sqlite3* db, int rc, const QString& sql) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    return sqlError(QSqlError(text, text, QSqlError::StatementError, QString::number(rc)), sql);
}

int bindText16(sqlite3_stmt* st, int at, const QString& text, void (*lifetime)(void*)) {
    return sqlite3_bind_text16(st, at, text.unicode(), int(text.size() * sizeof(QChar)), lifetime);
}

// A value bound as Qt's SQLite driver binds it (the same calls for the same types), so that the row
// stored is the same: Null for a Null, whole numbers and yes/no as integers, doubles as reals, a date and
// time as ISO text with milliseconds, texts as they are (a Null text as an empty one, as Execute binds
// it), anything else as its text.
// Texts of a row as UTF-8, what the database keeps: SQLite would otherwise convert each one itself, in
// memory of its own. The room is taken once for the whole row, before any text of it is bound.
class Utf8Texts {
public:
    void startRow(qsizetype room) {
        // Never without room: a null pointer would bind an empty text as Null.
        if (qsizetype(m_bytes.size()) < room + 1) m_bytes.resize(size_t(room + 1));
        m_free = m_bytes.data();
    }
    static qsizetype room(const QVariant& v) {
        return v.typeId() == QMetaType::QString ? static_cast<const QString*>(v.constData())->size() * 3 : 0;
    }
    // Binds the text (it stays in place until the row has run).
    int bind(sqlite3_stmt* st, int at, const QString& text) {
        char* const from = m_free;
        char* const end = m_utf8.appendToBuffer(from, text);
        if (m_utf8.hasError()) {
            // A lone surrogate: SQLite's own conversion, as the text always was bound.
            m_utf8.resetState();
            return bindText16(st, at, text, SQLITE_STATIC);
        }
        m_free = end;
        return sqlite3_bind_text(st, at, from, int(end - from), SQLITE_STATIC);
    }

private:
    QStringEncoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    std::vector<char> m_bytes;
    char* m_free = nullptr;
};

int bindSqliteValue(sqlite3_stmt* st, int at, const QVariant& v, Utf8Texts& texts) {
    const int type = v.typeId();
    if (type == QMetaType::QString) {
        const auto* text = static_cast<const QString*>(v.constData());
        if (text->isNull()) return bindText16(st, at, bindable(v).toString(), SQLITE_TRANSIENT);
        return texts.bind(st, at, *text);
    }
    bool null = v.isNull();
    // The numbers of every row first, read in place.
    if (!null && type == QMetaType::Double)
        return sqlite3_bind_double(st, at, *static_cast<const double*>(v.constData()));
    if (!null && type == QMetaType::LongLong)
        return sqlite3_bind_int64(st, at, *static_cast<const qlonglong*>(v.constData()));
    if (!null) {
        switch (type) {
        case QMetaType::QByteArray:
            null = static_cast<const QByteArray*>(v.constData())->isNull();
            break;
        case QMetaType::QDateTime:
            null = !static_cast<const QDateTime*>(v.constData())->isValid();
            break;
        case QMetaType::QDate:
            null = !static_cast<const QDate*>(v.constData())->isValid();
            break;
        case QMetaType::QTime:
            null = !static_cast<const QTime*>(v.constData())->isValid();
            break;
        default:
            break;
        }
    }
    if (null) return sqlite3_bind_null(st, at);
    switch (type) {
    case QMetaType::QByteArray: {
        const auto* bytes = static_cast<const QByteArray*>(v.constData());
        return sqlite3_bind_blob(st, at, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(st, at, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(st, at, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(st, at, v.toLongLong());
    case QMetaType::QDateTime:
        return bindText16(st, at, v.toDateTime().toString(Qt::ISODateWithMs), SQLITE_TRANSIENT);
    case QMetaType::QTime:
        return bindText16(st, at, v.toTime().toString(u"hh:mm:ss.zzz"), SQLITE_TRANSIENT);
    default:
        return bindText16(st, at, v.toString(), SQLITE_TRANSIENT);
    }
}
} // namespace

bool Connection::CanInsertDirectly() const {
    return m_dialect.kind == DbKind::SQLite && sqliteHandle(database()) != nullptr;
}

void Connection::finalizeDirect() noexcept {
    for (void* st : std::as_const(m_direct))
        sqlite3_finalize(static_cast<sqlite3_stmt*>(st));
    m_direct.clear();
}

void* Connection::directStatement(const QString& table, const QStringList& columns, QString& sql) {
    settleCopy();
    sql = QStringLiteral("Insert Into ") + table + QStringLiteral(" (") + columns.join(u',') +
          QStringLiteral(") values (") + QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
    QSqlDatabase db = database();
    requireOpen(db);
    sqlite3* handle = sqliteHandle(db);
    if (!handle) throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(), sql);
    auto* st = static_cast<sqlite3_stmt*>(m_direct.value(sql));
    if (!st) {
        if (m_direct.size() >= 64) finalizeDirect();
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &st, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(st);
            throw sqliteFailure(handle, rc, sql);
        }
        m_direct.insert(sql, st);
    }
    return st;
}

namespace {
// Runs the statement for each row; bindRow(r, texts) binds row r and returns SQLite's code.
template <typename Bind>
void runDirect(sqlite3_stmt* st, const QString& sql, qsizetype rowCount, Bind&& bindRow) {
    Utf8Texts texts;
    for (qsizetype r = 0; r < rowCount; ++r) {
        int rc = bindRow(r, texts);
        if (rc == SQLITE_OK) rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            sqlite3* handle = sqlite3_db_handle(st);
            const DbError e = sqliteFailure(handle, rc, sql);
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            throw e;
        }
        sqlite3_reset(st);
    }
    // No text of the caller's stays bound once its rows are gone.
    sqlite3_clear_bindings(st);
}

qsizetype boundRoom(const Connection::BoundValue& v) {
    if (const auto* text = std::get_if<QString>(&v)) return text->size() * 3;
    if (const auto* other = std::get_if<QVariant>(&v)) return Utf8Texts::room(*other);
    return 0;
}

int bindBoundValue(sqlite3_stmt* st, int at, const Connection::BoundValue& v, Utf8Texts& texts) {
    switch (v.index()) {
    case 1:
        return sqlite3_bind_int64(st, at, *std::get_if<qint64>(&v));
    case 2:
        return sqlite3_bind_double(st, at, *std::get_if<double>(&v));
    case 3: {
        const QString& text = *std::get_if<QString>(&v);
        if (text.isNull()) return bindSqliteValue(st, at, QVariant(text), texts);
        return texts.bind(st, at, text);
    }
    case 4:
        return bindSqliteValue(st, at, *std::get_if<QVariant>(&v), texts);
    default:
        return sqlite3_bind_null(st, at);
    }
}
} // namespace

void Connection::InsertRows(const QString& table, const QStringList& columns, qsizetype rowCount,
                            const std::function<const QVariant&(qsizetype row, int column)>& value) {
    QString sql;
    auto* st = static_cast<sqlite3_stmt*>(directStatement(table, columns, sql));
    const int columnCount = int(columns.size());
    std::vector<const QVariant*> row(size_t(columnCount), nullptr);
    runDirect(st, sql, rowCount, [&](qsizetype r, Utf8Texts& texts) {
        qsizetype room = 0;
        for (int c = 0; c < columnCount; ++c) {
            row[size_t(c)] = &value(r, c);
            room += Utf8Texts::room(*row[size_t(c)]);
        }
        texts.startRow(room);
        int rc = SQLITE_OK;
        for (int c = 0; c < columnCount && rc == SQLITE_OK; ++c)
            rc = bindSqliteValue(st, c + 1, *row[size_t(c)], texts);
        return rc;
    });
}

void Connection::InsertRows(const QString& table, const QStringList& columns, const QList<int>& at,
                            qsizetype rowCount,
                            const std::function<const BoundValue*(qsizetype row)>& values) {
    QString sql;
    auto* st = static_cast<sqlite3_stmt*>(directStatement(table, columns, sql));
    const int columnCount = int(columns.size());
    runDirect(st, sql, rowCount, [&](qsizetype r, Utf8Texts& texts) {
        const BoundValue* row = values(r);
        qsizetype room = 0;
        for (int c = 0; c < columnCount; ++c)
            room += boundRoom(row[at[c]]);
        texts.startRow(room);
        int rc = SQLITE_OK;
        for (int c = 0; c < columnCount && rc == SQLITE_OK; ++c)
            rc = bindBoundValue(st, c + 1, row[at[c]], texts);
        return rc;
    });
}

QList<qint64> Connection::NextInterIDs(const QString& tableName, int count) {
    QList<qint64> ids;
    if (count <= 0) return ids;
    ids.reserve(count);
    if (m_dialect.server == DbServer::PostgreSQL) {
        // The function is called once per row of the series, through ODBC as well.
        const RecordsetPtr rs =
            Query(QStringLiteral("select GetICMaxNum(?) from generate_series(1, cast(? as integer))"),
                  {tableName, count});
        for (const QVariantList& row : rs->allRows()) {
            if (row.value(0).isNull())
                throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
            ids.append(row.value(0).toLongLong());
        }
        if (ids.size() != count) throw DbError(ErrNo::Database, QStringLiteral("GetICMaxNum 没有返回值。"));
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    if (m_dialect.interIdSource() == Dialect::InterIdSource::CounterTable) {
        const int n = Execute(QStringLiteral("update t_ICMaxNum set FMaxNum=FMaxNum+? where FTableName=?"),
                              {count, tableName});
        if (n == 0)
            Execute(QStringLiteral("insert into t_ICMaxNum(FTableName,FMaxNum) select ?, "
                                   "coalesce(max(FInterID),0)+? from ") +
                        tableName,
                    {tableName, count});
        const RecordsetPtr rs =
            Query(QStringLiteral("select FMaxNum from t_ICMaxNum where FTableName=?"), {tableName});
        if (rs->isEmpty()) throw DbError(ErrNo::Database, QStringLiteral("标识计数器不可用。"));
        const qint64 last = rs->value(0).toLongLong();
        for (qint64 id = last - count + 1; id <= last; ++id)
            ids.append(id);
        return ids;
    }
    // A stored procedure hands out one at a time.
    for (int i = 0; i < count; ++i)
        ids.append(NextInterID(tableName).toLongLong());
    return ids;
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
