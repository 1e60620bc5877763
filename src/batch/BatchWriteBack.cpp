// taxferry-batch writeback FILE.xlsx --acct CONN [--config PATH] [--preview]: the platform's list of
// issued invoices written back onto the documents exported to it, or the platform's refusals of a batch
// workbook (…下载失败明细….xlsx) marked on the documents refused.
#include "batch/Batch.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "import/PlatformList.h"
#include "import/PlatformRefusals.h"
#include <QFileInfo>
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
        const bool preview = line.isSet(QStringLiteral("preview"));
        std::optional<QList<PlatformRefusal>> refusals;
        try {
            refusals = readPlatformRefusals(files.first());
        } catch (const DbError& e) {
            // Said as the list's reading says it.
            showMsg(e.description());
            return 1;
        }
        QStringList lines;
        if (refusals) {
            // Read and marked: 0 whatever was marked; the lines say what.
            PlatformRefusalWriteBack marks(batch.session());
            if (marks.apply(*refusals, QFileInfo(files.first()).lastModified(), preview)) {
                lines = marks.result().lines();
                status = 0;
            }
        } else {
            PlatformWriteBack writeBack(batch.session());
            // Read and matched: 0 whatever matched; the lines say what, and a preview every match.
            if (writeBack.run(files.first(), preview)) {
                lines = writeBack.result().lines();
                if (preview) lines += writeBack.result().placedLines();
                status = 0;
            }
        }
        for (const QString& l : lines)
            std::printf("%s\n", l.toUtf8().constData());
    } catch (const DbError& e) {
        showMsg(e.description());
        reportCause(QStringLiteral("WriteBack"), e);
    }
    return status;
}
