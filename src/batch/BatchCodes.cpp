// taxferry-batch codes import FILE.csv --acct CONN [--code-version TEXT] [--config PATH] and
// taxferry-batch codes export FILE.csv [--config PATH]: the tax-code catalogue of the mapping editor as CSV.
#include "batch/Batch.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "mapping/TaxCodeStore.h"
#include <cstdio>

namespace {
const char* const kCodesUsage =
    "usage: taxferry-batch codes import FILE.csv --acct CONN [--code-version TEXT] [--config Taxlink.db]\n"
    "       taxferry-batch codes export FILE.csv [--config Taxlink.db]\n";
} // namespace

int runBatchCodes(const QStringList& args) {
    CommandLine line = batchCommandLine(kCodesUsage);
    line.addOption(QStringLiteral("config"))
        .addOption(QStringLiteral("acct"))
        .addOption(QStringLiteral("code-version"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QStringList positional = line.positionalArguments();
    const QString verb = positional.value(0);
    const bool isImport = verb == u"import";
    const QString acct = line.value(QStringLiteral("acct"));
    if (positional.size() != 2 || (!isImport && verb != u"export") || (isImport && acct.isEmpty()) ||
        (!isImport && line.isSet(QStringLiteral("code-version")))) {
        std::fputs(kCodesUsage, stderr);
        return 1;
    }
    const QString path = positional[1];
    const QString config = line.value(QStringLiteral("config"));
    BatchSession batch(config, isImport ? acct : QString());
    int status = 1;
    try {
        batch.openConfig();
        TaxCodeStore store(batch.session());
        if (isImport) {
            // The products are found by number in the accounting set, as the editor's picker lists them.
            batch.openAcct();
            const std::optional<QString> version =
                line.isSet(QStringLiteral("code-version"))
                    ? std::optional<QString>(line.value(QStringLiteral("code-version")))
                    : std::nullopt;
            const TaxCodeImportResult result = store.importCsv(path, version);
            if (result.ok) {
                std::printf("%s\n", result.message.toUtf8().constData());
                status = 0;
            } else {
                showMsg(QStringLiteral("引入失败，没有引入任何商品。"));
                showMsg(result.message);
            }
        } else {
            const int n = store.exportCsv(path);
            std::printf("%s\n", QStringLiteral("引出税收分类编码%1个。").arg(n).toUtf8().constData());
            status = 0;
        }
    } catch (const DbError& e) {
        showMsg(
            (isImport ? QStringLiteral("引入税收分类编码失败！") : QStringLiteral("引出税收分类编码失败！")) +
            e.description());
        reportCause(QStringLiteral("RunBatchCodes"), e);
    }
    return status;
}
