#pragma once
#include "common/CommandLine.h"
#include "common/Session.h"
#include <QStringList>

// Each command gets the arguments after its name; returns the exit status (0 after success, 1 after a
// failure, 2 for a command line with an option it does not take).
int runBatchExport(const QStringList& args);
int runBatchImport(const QStringList& args);
int runBatchTemplate(const QStringList& args);
int runBatchCodes(const QStringList& args);
int runBatchReconcile(const QStringList& args);
int runBatchWriteBack(const QStringList& args);

// The condition text of --filter ("v0|…|v13", fewer values filled up with empty ones); a problem with it
// (a sentence for stderr) or nullptr.
const char* batchConditions(const QString& filter, QString& conditions);

// The configuration database of --config; without it the program's own Taxlink.db (per user for an
// installed program).
QString batchConfigConnString(const QString& config);

// The session a command works in: the configuration database of --config (batchConfigConnString) and the
// accounting set of --acct. The connections it opened close with it.
class BatchSession {
public:
    BatchSession(const QString& config, const QString& acct);
    ~BatchSession();
    BatchSession(const BatchSession&) = delete;
    BatchSession& operator=(const BatchSession&) = delete;

    // Open the connections (an engine that opens its own needs neither). Throw DbError.
    void openConfig();
    void openAcct();
    Session& session() { return m_session; }

private:
    QString m_config;
    Session m_session;
};

// What --help prints: every command with its options.
QString batchHelp();
// A command's command line: usage is its own usage line, printed after a refusal; --help prints
// batchHelp. The options it takes are added with addFlag and addOption.
CommandLine batchCommandLine(const char* usage);
