// taxferry-batch writeback FILE.xlsx --acct CONN [--config PATH] [--preview]: the platform's list of
// issued invoices written back onto the documents exported to it.
#include "batch/Batch.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "import/PlatformList.h"
#include <cstdio>

namespace {
const char* const kWriteBackUsage =
    "usage: taxferry-batch writeback FILE.xlsx --acct CONN [--config Taxlink.db] [--preview]\n";
}

int runBatchWriteBack(const QStringList& args) {
    CommandLine line = batchCommandLine(kWriteBackUsage);
    line.addOption(QStringLiteral("acct")).addOption(QStringLiteral("config"));
    line.addFlag(QStringLiteral("preview"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString acct = line.value(QStringLiteral("acct"));
    const QStringList files = line.positionalArguments();
    if (acct.isEmpty() || files.size() != 1) {
        std::fputs(kWriteBackUsage, stderr);
        return 1;
    }
    const QString config = line.value(QStringLiteral("config"));
    BatchSession batch(config, acct);
    int status = 1;
    try {
        batch.openConfig();
        batch.openAcct();
        PlatformWriteBack writeBack(batch.session());
        // Read and matched: 0 whatever matched; the lines say what.
        if (writeBack.run(files.first(), line.isSet(QStringLiteral("preview")))) {
            for (const QString& l : writeBack.result().lines())
                std::printf("%s\n", l.toUtf8().constData());
            status = 0;
        }
    } catch (const DbError& e) {
        showMsg(e.description());
        reportCause(QStringLiteral("WriteBack"), e);
    }
    return status;
}
