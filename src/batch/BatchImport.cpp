// taxferry-batch import --acct CONN [--config PATH] PATH...: the import of the import window without it.
// One file is imported as the window imports it; several files or a folder one after the other, each in
// its own transaction, with a line per file and a summary.
#include "batch/Batch.h"
#include "batch/TerminalProgress.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/Session.h"
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
    folder.setProgress(progress.ifTerminal());
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

int runBatchImport(const QStringList& args) {
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
    BatchSession batch(config, acct);
    Session& session = batch.session();
    try {
        batch.openAcct();
        batch.openConfig();
    } catch (const DbError& e) {
        showMsg(e.description());
        reportCause(QStringLiteral("Main"), e);
        showMsg(QStringLiteral("引入失败!"));
        return 1;
    }
    // A single file (not a folder) is imported as it always was: a repeat refuses it.
    if (files.size() > 1 || QFileInfo(files.first()).isDir())
        return importFiles(session, files, line.isSet(QStringLiteral("skip-imported")));
    bool ok = false;
    {
        ImportEngine engine(session);
        TerminalProgress progress(QStringLiteral("引入"));
        engine.setProgress(progress.ifTerminal());
        ok = engine.importToQor(files.first(), line.isSet(QStringLiteral("skip-imported")));
        showMsg(ok ? engine.doneText() : QStringLiteral("引入失败!"));
        // What was done, on stdout: the messages stay as they are on stderr.
        if (ok || !engine.lastCounts().guarded) std::printf("%s\n", engine.countsText().toUtf8().constData());
    }
    return ok ? 0 : 1;
}
