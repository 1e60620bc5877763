#pragma once
#include <QApplication>
#include <QTimer>
// Fixtures shared by the tests: a message recorder and temporary databases built from data/.

#include "common/Connection.h"
#include "common/ItemChooser.h"
#include "common/MessageSink.h"
#include "common/Session.h"
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QWidget;

class RecorderSink : public MessageSink {
public:
    enum Kind { Info, Error, Question };
    struct Entry {
        Kind kind;
        QString text;
    };
    RecorderSink();
    ~RecorderSink() override;

    void info(const QString& text) override { entries.append({Info, text}); }
    void detail(const QString& text) override { details.append(text); }
    void error(const QString& text) override { entries.append({Error, text}); }
    bool question(const QString& text) override;

    QStringList texts() const;
    QString last() const { return entries.isEmpty() ? QString() : entries.last().text; }
    void clear() { entries.clear(); }

    QList<Entry> entries;
    QStringList details; // the causes behind the messages, as 详细信息 shows them
    QList<bool> answers; // answers to questions, first in first out; No when empty

private:
    MessageSink* m_previous = nullptr;
};

// The accounting database a test program runs against: SQLite files (the default), a PostgreSQL server
// through Qt's driver, or the same server through ODBC, chosen by TAXFERRY_TEST_BACKEND (sqlite,
// postgresql, odbc). The server is the private cluster of the test run, whose folder TAXFERRY_TEST_PGDIR
// names (its conn.env gives the socket folder and port).
enum class TestBackend { SQLite, PostgreSQL, ODBC };
TestBackend currentTestBackend();
QString testBackendName();
// False, with the reason, when the backend of this run cannot be reached.
bool testBackendReady(QString* why);
// Skips the whole test program (in initTestCase) when its backend cannot be reached; under CI, which
// installs the server, that is a failure instead.
#define SKIP_UNLESS_TEST_BACKEND()                                                                           \
    do {                                                                                                     \
        QString why_;                                                                                        \
        if (!testBackendReady(&why_)) {                                                                      \
            if (!qEnvironmentVariableIsEmpty("CI")) QFAIL(qPrintable(why_));                                 \
            QSKIP(qPrintable(why_));                                                                         \
        }                                                                                                    \
    } while (0)

// A pair of fresh databases made from the data/ scripts: the configuration database always an SQLite
// file in a temporary folder, the accounting database on the backend of the run.
class TestDatabases {
public:
    explicit TestDatabases(bool demoData = true);
    ~TestDatabases();

    QString folder() const { return m_dir.path(); }
    bool onServer() const { return !m_serverDb.isEmpty(); }
    QString acctConnString() const;
    QString configConnString() const;
    // The accounting set reached with a password: on the cluster as a login role of its own that has it
    // (the cluster checks the passwords of such roles, so a password cut short is refused); on SQLite,
    // which takes no password, the set's string with the password added all the same. The password is
    // written as a connection string writes it (in braces when it must be).
    QString acctConnStringWithPassword(const QString& password);

    QTemporaryDir m_dir;
    QString configPath;
    QString acctPath; // empty on a server
    QString m_serverDb;
    QString m_serverConn;
    ConnectionPtr config;
    ConnectionPtr acct;
    // A session on the two databases, as Main would make it after the login.
    Session session;
};

// The base-data picker of a test: answers each kind with a function of the test's own.
class TestChooser : public ItemChooser {
public:
    explicit TestChooser(std::function<QString(const QString& kind)> f) : m_f(std::move(f)) {}
    QString choose(const QString& kind, QWidget*) override { return m_f(kind); }

private:
    std::function<QString(const QString& kind)> m_f;
};

// Runs f on the next modal window that is shown, polling: a window opened inside a click may take a few
// event-loop turns to become the active modal one (file dialogs fill their model first). A handler that
// leaves the window open gets it closed after five seconds, so a failing test ends instead of hanging.
// Given an owner, the watch ends with it: a watch that found no window cannot answer the next test row's
// (its handler holds that row's locals).
void whenModal(std::function<void(QWidget*)> f, int attempts = 3000, QObject* owner = nullptr);
// As whenModal, for the first modal window of type T: windows of other types that are open meanwhile are
// passed over.
template <class T> void whenModalOf(std::function<void(T*)> f, int attempts = 3000) {
    QTimer::singleShot(10, [f, attempts] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w && w->isVisible())
            f(w);
        else if (attempts > 0)
            whenModalOf<T>(f, attempts - 1);
    });
}

QString dataDir();
QString samplesDir();
// A template database built once per test program from scripts, then copied.
QString makeDatabaseCopy(const QString& targetPath, const QStringList& scripts);
// Writes text as GBK with CR LF line ends.
void writeGbkFile(const QString& path, const QStringList& lines, bool finalNewline = true);
// The first column of every row of a query, as text joined with ",".
QString firstColumn(Connection& c, const QString& sql, const QVariantList& params = {});
// Reads a GBK file into lines (CR LF stripped).
QStringList readGbkFile(const QString& path);
