// taxferry-batch import --acct CONN [--config PATH] FILE: the import of the import window without it.
#include "Batch.h"
#include "TerminalProgress.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "import/ImportEngine.h"
#include <cstdio>

namespace {
const char* const kImportUsage =
    "usage: taxferry-batch import --acct CONN [--config Taxlink.db] [--skip-imported] FILE\n";
}

int RunBatchImport(const QStringList& args) {
    CommandLine line = batchCommandLine(kImportUsage);
    line.addOption(QStringLiteral("acct")).addOption(QStringLiteral("config"));
    line.addFlag(QStringLiteral("skip-imported"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString acct = line.value(QStringLiteral("acct"));
    const QString config = line.value(QStringLiteral("config"));
    const QStringList files = line.positionalArguments();
    if (acct.isEmpty() || files.size() != 1) {
        std::fputs(kImportUsage, stderr);
        // Only a committed import exits with 0; everything else is a failure.
        return 1;
    }
    Session session;
    session.gsAcctProps = loginPropsText(acct);
    try {
        // Without --config: the program's own Taxlink.db (per user for an installed program).
        session.gsConfigConnString = config.isEmpty()
                                         ? ConfigConnStringFor(ProgramDataFolder())
                                         : QStringLiteral("Provider=SQLite;Data Source=") + config;
        session.gcnAcct = session.OpenAcctConnection();
        session.gcnConfig = session.OpenConfigConnection();
    } catch (const DbError& e) {
        ShowMsg(e.description());
        ReportCause(QStringLiteral("Main"), e);
        ShowMsg(QStringLiteral("引入失败!"));
        return 1;
    }
    bool ok = false;
    {
        ImportEngine engine(session);
        TerminalProgress progress(QStringLiteral("引入"));
        engine.SetProgress(progress.IfTerminal());
        ok = engine.ImportToQor(files.first(), line.isSet(QStringLiteral("skip-imported")));
        ShowMsg(ok ? QStringLiteral("引入成功!") : QStringLiteral("引入失败!"));
        // What was done, on stdout: the messages stay as they are on stderr.
        if (ok || !engine.LastCounts().guarded) std::printf("%s\n", engine.CountsText().toUtf8().constData());
    }
    CloseConnection(session.gcnConfig);
    CloseConnection(session.gcnAcct);
    return ok ? 0 : 1;
}
