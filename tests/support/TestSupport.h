#pragma once
// Fixtures shared by the tests: a message recorder and temporary databases built from data/.

#include "common/Connection.h"
#include "common/MessageSink.h"
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
    void error(const QString& text) override { entries.append({Error, text}); }
    bool question(const QString& text) override;

    QStringList texts() const;
    QString last() const { return entries.isEmpty() ? QString() : entries.last().text; }
    void clear() { entries.clear(); }

    QList<Entry> entries;
    QList<bool> answers; // answers to questions, first in first out; No when empty

private:
    MessageSink* m_previous = nullptr;
};

// A pair of fresh databases made from the data/ scripts, in a temporary folder.
class TestDatabases {
public:
    explicit TestDatabases(bool demoData = true);
    ~TestDatabases();

    // Makes them the program's two connections (gcnAcct, gcnConfig, gsAcctProps, gsConfigConnString).
    void installGlobals();

    QString folder() const { return m_dir.path(); }
    QString acctConnString() const;
    QString configConnString() const;

    QTemporaryDir m_dir;
    QString configPath;
    QString acctPath;
    ConnectionPtr config;
    ConnectionPtr acct;
};

// Runs f on the next modal window that is shown, polling: a window opened inside a click may take a few
// event-loop turns to become the active modal one (file dialogs fill their model first). A handler that
// leaves the window open gets it closed after five seconds, so a failing test ends instead of hanging.
void WhenModal(std::function<void(QWidget*)> f, int attempts = 3000);

QString DataDir();
QString SamplesDir();
// A template database built once per test program from scripts, then copied.
QString MakeDatabaseCopy(const QString& targetPath, const QStringList& scripts);
// Writes text as GBK with CR LF line ends.
void WriteGbkFile(const QString& path, const QStringList& lines, bool finalNewline = true);
// Reads a GBK file into lines (CR LF stripped).
QStringList ReadGbkFile(const QString& path);
