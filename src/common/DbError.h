#pragma once
// The one error type of database and file operations, the error numbers the program raises itself, and
// the user's words for a connection a server refused.

#include <QString>
#include <stdexcept>

class Connection;

// The one error type of database and file operations: a number and a description, like the
// platform's Err object. A failure of the database also keeps what the database itself said and the
// statement it refused (values shown as "?"), so that a report can name the cause.
class DbError : public std::runtime_error {
public:
    DbError(long number, const QString& description);
    DbError(long number, const QString& description, const QString& cause, const QString& statement,
            const QString& sqlState = {});
    long number() const { return m_number; }
    QString description() const { return m_description; }
    // The database's own text (empty when the error is the program's own).
    QString cause() const { return m_cause; }
    QString statement() const { return m_statement; }
    QString sqlState() const { return m_sqlState; }
    // A deadlock or a serialisation failure: the work was rolled back by the server and may be retried.
    bool isConcurrencyFailure() const;
    // The program's standard report text: "错误编号:" & number & ",错误原因:" & description.
    QString reportText() const;
    // The cause and the statement in one line, for the log and the batch tool's 详细信息 line.
    QString detailText() const;

private:
    long m_number;
    QString m_description;
    QString m_cause;
    QString m_statement;
    QString m_sqlState;
};

// Why a server refused a connection, in the user's words ("密码错误", "数据库不存在", "用户不存在",
// "无法连接到服务器"), from the driver's text; empty when the text is none of these.
QString connectFailureReason(const QString& driverText);

// Error 91, "object not set": a connection or result that is not there.
DbError objectNotSetError();
// The connection, or objectNotSetError when there is none.
Connection& requireConnection(Connection* conn);

// Error numbers raised by the program itself.
namespace ErrNo {
constexpr long General = 5;  // invalid procedure call or argument
constexpr long Overflow = 6; // overflow
constexpr long FileNotFound = 53;
constexpr long PastEnd = 62;           // input past end of file
constexpr long Database = -2147217900; // the provider refused a statement
constexpr long Connect = -2147467259;  // the provider could not connect
} // namespace ErrNo
