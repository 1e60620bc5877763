// The error of database and file operations: its texts, the driver's failures made into one, and the
// user's words for a connection a server refused.
#include "common/DbError.h"

#include "common/ConnectionPrivate.h"
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

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
    return Dialect::isConcurrencyFailure(m_sqlState, m_number);
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

DbError objectNotSetError() {
    return DbError(91, QStringLiteral("对象变量或 With 块变量未设置"));
}

Connection& requireConnection(Connection* conn) {
    if (!conn) throw objectNotSetError();
    return *conn;
}

QString connectFailureReason(const QString& driverText) {
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

namespace {

// The statement as the log shows it: the program's SQL with "?" for every value, never a value.
QString shownStatement(const QString& sql) {
    QString t = sql.simplified();
    if (t.size() > 2000) t = t.left(2000) + QStringLiteral("…");
    return t;
}

} // namespace

namespace ConnectionPrivate {

DbError sqlError(const QSqlError& e, const QString& sql, const QString& odbcState) {
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
    if (Dialect::isConcurrencyFailure(sqlState, native)) {
        // The server chose this work to undo so that another user's could go on.
        description =
            QStringLiteral("与其他用户同时写入账套时发生冲突(死锁)，数据库已撤销本次操作，请重新执行。");
    }
    return DbError(number, description, text.trimmed(), shownStatement(sql), sqlState);
}

DbError sqlError(const QSqlQuery& q, const QString& sql) {
    const bool odbc = q.driver() && q.driver()->handle().isValid() && q.driver()->metaObject() &&
                      QByteArray(q.driver()->metaObject()->className()) == "QODBCDriver";
    return sqlError(q.lastError(), sql, odbc ? odbcSqlState(q) : QString());
}

} // namespace ConnectionPrivate
