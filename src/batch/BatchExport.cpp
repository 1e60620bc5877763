// taxferry-batch export --acct CONN [--config PATH] --link ID --out FILE [--filter "v0|…|v13"]: the
// export of the export window without windows. Messages go to stderr through the default sink.
#include "batch/Batch.h"
#include "batch/TerminalProgress.h"
#include "common/LoginProps.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "export/ExportEngine.h"
#include <cstdio>
#include <limits>

namespace {

const char* const kExportUsage =
    "usage: taxferry-batch export --acct CONN [--config Taxlink.db] --link ID --out "
    "FILE [--filter \"v0|v1|...|v13\"] [--include-exported] [--preview]\n"
    "       [--merge | --no-merge] [--merge-lines | --no-merge-lines]\n";

int usage(const char* problem) {
    std::fprintf(stderr, "%s\n%s", problem, kExportUsage);
    // Everything but "引出成功！" ends with 1, values that make no sense included.
    return 1;
}

} // namespace

int runBatchExport(const QStringList& args) {
    CommandLine line = batchCommandLine(kExportUsage);
    for (const char* name : {"acct", "config", "link", "out", "filter"})
        line.addOption(QString::fromLatin1(name));
    line.addFlag(QStringLiteral("include-exported")).addFlag(QStringLiteral("preview"));
    for (const char* name : {"merge", "no-merge", "merge-lines", "no-merge-lines"})
        line.addFlag(QString::fromLatin1(name));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString acct = line.value(QStringLiteral("acct"));
    const QString config = line.value(QStringLiteral("config"));
    const QString link = line.value(QStringLiteral("link"));
    const QString out = line.value(QStringLiteral("out"));
    const bool hasFilter = line.isSet(QStringLiteral("filter"));
    const QString filter = line.value(QStringLiteral("filter"));
    const bool preview = line.isSet(QStringLiteral("preview"));
    if (acct.isEmpty() || link.isEmpty() || (out.trimmed().isEmpty() && !preview))
        return usage("必须给出 --acct、--link 和 --out。");
    if (!bracesBalanced(normalizedConnectionString(acct)))
        return usage("--acct 的连接字符串中的大括号不成对。");

    // For this run instead of the link's setting; both given, the last one holds.
    auto either = [&](const QString& yes, const QString& no) -> std::optional<bool> {
        const qsizetype y = args.lastIndexOf(QStringLiteral("--") + yes),
                        n = args.lastIndexOf(QStringLiteral("--") + no);
        if (y < 0 && n < 0) return std::nullopt;
        return y > n;
    };
    const std::optional<bool> merge = either(QStringLiteral("merge"), QStringLiteral("no-merge"));
    const std::optional<bool> mergeLines =
        either(QStringLiteral("merge-lines"), QStringLiteral("no-merge-lines"));

    QString conditions;
    if (const char* problem = batchConditions(hasFilter ? filter : QString(), conditions))
        return usage(problem);

    // The engine opens the accounting connections it needs itself.
    BatchSession batch(config, acct);
    try {
        batch.openConfig();
    } catch (const DbError& e) {
        showErr(QStringLiteral("OpenConfigConnection"), e);
        return 1;
    }
    ExportEngine exporter(batch.session());
    exporter.setIncludeExported(line.isSet(QStringLiteral("include-exported")));
    exporter.setPreview(preview);
    // The batch tool's preview is a listing for scripts: every document, not the window's first ones.
    exporter.setPreviewLimit(std::numeric_limits<int>::max());
    exporter.setMerge(merge);
    exporter.setMergeLines(mergeLines);
    bool ok = false;
    {
        TerminalProgress progress(preview ? QStringLiteral("预览") : QStringLiteral("引出"));
        exporter.setProgress(progress.ifTerminal());
        ok = exporter.exportFile(out.trimmed(), conditions, link);
    }
    if (ok && preview) {
        if (exporter.lastCounts().leftOut > 0) showMsg(exporter.leftOutText());
        // One line per invoice and a total: nothing is written.
        for (const ExportDoc& p : exporter.preview()) {
            // A merged document: its members' bill numbers after the amounts.
            QStringList members;
            for (const ExportMember& m : p.members)
                members << m.billNo;
            std::printf("%s\t%d\t%.2f\t%.2f%s\n", p.docNo.toUtf8().constData(), p.lines, p.amount, p.tax,
                        members.isEmpty() ? "" : ("\t" + members.join(u',')).toUtf8().constData());
        }
        const ExportEngine::PreviewTotals& total = exporter.previewTotals();
        std::printf("合计%d张\t%d\t%.2f\t%.2f\n", total.documents, total.lines, total.amount, total.tax);
        // Where the platform will compute another tax than the sales invoice's.
        for (const ExportDoc& p : exporter.preview())
            if (p.ownTax)
                std::printf("%s\t%s\n", p.docNo.toUtf8().constData(),
                            platformTaxNote(p).toUtf8().constData());
    } else if (ok) {
        showMsg(QStringLiteral("引出成功！"));
        // What was done, on stdout: the messages stay as they are on stderr.
        std::printf("%s\n", exporter.countsText().toUtf8().constData());
        if (!exporter.writtenFiles().isEmpty())
            std::printf("引出文件%d个：%s\n", int(exporter.writtenFiles().size()),
                        ExportEngine::fileNames(exporter.writtenFiles()).toUtf8().constData());
    }
    return ok ? 0 : 1;
}
