#pragma once
// The accounting sets an accountant keeps for the login: a name and a connection string each, in the
// per-user settings. The password of a set on a server is never written there: it is kept in the
// desktop's keychain (PasswordStore) and added to the connection string only when the set is opened.

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

enum class AcctKind { File, PostgreSQL, ODBC };

struct AccountSet {
    QString name;
    AcctKind kind = AcctKind::File;
    QString file;                 // File: the SQLite accounting database
    QString host, port, database; // PostgreSQL (an empty port is the server's default)
    QString source; // ODBC: a data source name, or the driver's own "Driver={…};Server=…;…"
    QString user;   // PostgreSQL and ODBC
};

// The connection string Connection::open takes; the password goes in only when one is given.
QString acctConnString(const AccountSet& set, const QString& password = QString());
// A stored set read back into its parts (a password in the string is left out).
AccountSet acctSetFrom(const QString& name, const QString& connectionString);
// What keeps a set from being stored, as the message to show; empty when nothing does. field receives
// the part to correct: "name", "file", "host", "port", "database" or "source".
QString acctSetProblem(const AccountSet& set, QString* field = nullptr);

// True for a set on a database server (PostgreSQL or ODBC): those have a password to keep.
bool isServerConnString(const QString& connectionString);
// The connection string without Password/PWD; password receives what it held.
QString withoutPassword(const QString& connectionString, QString* password = nullptr);
// The connection string with the password in the key its provider reads (nothing added for an empty one).
QString withPassword(const QString& connectionString, const QString& password);

// The remembered sets (name, connection string without password), the last used first.
using AcctSetList = QList<QPair<QString, QString>>;
AcctSetList loadAcctSets();
void saveAcctSets(const AcctSetList& sets);
// The set the last login used (its name), and remembering one: it moves to the top of the list.
QString lastAcctSet();
void rememberAcctSet(const QString& name, const QString& connectionString);

// Opens and closes the set's database: empty when that works, otherwise the message to show, with what
// the database itself said (in details, when the message says it in the user's words).
QString testAcctConnection(const QString& connectionString, QString* details = nullptr);

// Where the passwords of server sets are kept, by set name.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    // Nothing when there is no password for the set or no place to keep one.
    virtual std::optional<QString> read(const QString& name) = 0;
    // False when the password could not be kept (no keychain service): the login then asks for it.
    virtual bool write(const QString& name, const QString& password) = 0;
    virtual void remove(const QString& name) = 0;
};
