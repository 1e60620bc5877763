// taxferry-batch reconcile --acct CONN [--config PATH] [--filter "v0|…|v13"]: every exported document of
// the filter with the state of its tax invoice, and a total per state.
#include "batch/Batch.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "export/Reconciliation.h"
#include <cstdio>

namespace {
const char* const kReconcileUsage =
    "usage: taxferry-batch reconcile --acct CONN [--config Taxlink.db] [--filter \"v0|v1|...|v13\"]\n";
}

int runBatchReconcile(const QStringList& args) {
    CommandLine line = batchCommandLine(kReconcileUsage);
    line.addOption(QStringLiteral("acct"))
        .addOption(QStringLiteral("config"))
        .addOption(QStringLiteral("filter"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString acct = line.value(QStringLiteral("acct"));
    QString conditions;
    const char* problem = batchConditions(line.value(QStringLiteral("filter")), conditions);
    if (acct.isEmpty() || !line.positionalArguments().isEmpty() || problem) {
        if (problem) std::fprintf(stderr, "%s\n", problem);
        std::fputs(kReconcileUsage, stderr);
        return 1;
    }
    const QString config = line.value(QStringLiteral("config"));
    BatchSession batch(config, acct);
    int status = 1;
    try {
        batch.openConfig();
        batch.openAcct();
        // Printed as the documents are read: a month's report is never held whole.
        Reconciliation::Totals totals;
        Reconciliation(batch.session()).forEachDocument(conditions, [&totals](const ReconcileDocument& d) {
            totals.add(d);
            for (const QString& l : Reconciliation::documentLines(d))
                std::printf("%s\n", l.toUtf8().constData());
        });
        for (const QString& l : Reconciliation::totalLines(totals.list()))
            std::printf("%s\n", l.toUtf8().constData());
        status = 0;
    } catch (const DbError& e) {
        showErr(QStringLiteral("Reconcile"), e);
    }
    return status;
}
