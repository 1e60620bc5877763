// taxferry-batch import --acct CONN [--config PATH] PATH...: the import of the import window without it.
// One file is imported as the window imports it; several files or a folder one after the other, each in
// its own transaction, with a line per file and a summary.
#include "Batch.h"
#include "TerminalProgress.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "import/FolderImport.h"
#include "import/ImportEngine.h"
#include <QFileInfo>
#include <cstdio>

namespace {
const char* const kImportUsage =
    "usage: taxferry-batch import --acct CONN [--config Taxlink.db] [--skip-imported] PATH...\n";

void printLine(std::FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toUtf8().constData());
    std::fflush(to);
}

// Several files, or a folder's: every file is tried, the failures named on stderr; the last line on
// stdout counts them. 0 only when none failed.
int importFiles(Session& session, const QStringList& paths, bool skipImported) {
    QStringList files;
    for (const QString& path : paths) {
        const QStringList found = FolderImport::filesOf(path);
        if (found.isEmpty()) {
            // An empty folder is more likely a wrong path than a month without invoices.
            printLine(stderr, QStringLiteral("文件夹%1中没有可引入的文本文件(*.txt)。").arg(path));
            return 1;
        }
        files << found;
    }
    ImportEngine engine(session);
    FolderImport folder(engine);
    TerminalProgress progress(QStringLiteral("引入"));
    folder.setProgress(progress.IfTerminal());
    folder.setFileDone([&progress](const FolderImport::FileResult& r) {
        progress.clearLine();
        if (r.state == FolderImport::State::Failed)
            printLine(stderr, r.file + QStringLiteral("：") + r.reason);
        else
            printLine(stdout, r.file + QStringLiteral("：") + r.counts);
    });
    const bool ok = folder.run(files, skipImported);
    progress.clearLine();
    printLine(stdout, folder.summaryText());
    return ok ? 0 : 1;
}
} // namespace

int RunBatchImport(const QStringList& args) {
    CommandLine line = batchCommandLine(kImportUsage);
    line.addOption(QStringLiteral("acct")).addOption(QStringLiteral("config"));
    line.addFlag(QStringLiteral("skip-imported"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString acct = line.value(QStringLiteral("acct"));
    const QString config = line.value(QStringLiteral("config"));
    const QStringList files = line.positionalArguments();
    if (acct.isEmpty() || files.isEmpty()) {
        std::fputs(kImportUsage, stderr);
        // Only a committed import exits with 0; everything else is a failure.
        return 1;
    }
    Session session;
    session.gsAcctProps = loginPropsText(acct);
    try {
        session.gsConfigConnString = batchConfigConnString(config);
        session.gcnAcct = session.OpenAcctConnection();
        session.gcnConfig = session.OpenConfigConnection();
    } catch (const DbError& e) {
        ShowMsg(e.description());
        ReportCause(QStringLiteral("Main"), e);
        ShowMsg(QStringLiteral("引入失败!"));
        return 1;
    }
    // A single file (not a folder) is imported as it always was: a repeat refuses it.
    if (files.size() > 1 || QFileInfo(files.first()).isDir()) {
        const int status = importFiles(session, files, line.isSet(QStringLiteral("skip-imported")));
        CloseConnection(session.gcnConfig);
        CloseConnection(session.gcnAcct);
        return status;
    }
    bool ok = false;
    {
        ImportEngine engine(session);
        TerminalProgress progress(QStringLiteral("引入"));
        engine.SetProgress(progress.IfTerminal());
        ok = engine.ImportToQor(files.first(), line.isSet(QStringLiteral("skip-imported")));
        ShowMsg(ok ? engine.DoneText() : QStringLiteral("引入失败!"));
        // What was done, on stdout: the messages stay as they are on stderr.
        if (ok || !engine.LastCounts().guarded) std::printf("%s\n", engine.CountsText().toUtf8().constData());
    }
    CloseConnection(session.gcnConfig);
    CloseConnection(session.gcnAcct);
    return ok ? 0 : 1;
}
