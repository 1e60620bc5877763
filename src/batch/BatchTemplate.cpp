// taxferry-batch template FILE.xlsx --format NAME [--config PATH]: installs the e-invoice platform's
// template workbook, as 读取平台模板 of the link wizard does.
#include "batch/Batch.h"
#include "common/DbLog.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/Session.h"
#include "export/WorkbookTemplate.h"
#include <QFileInfo>
#include <cstdio>

namespace {
const char* const kTemplateUsage =
    "usage: taxferry-batch template FILE.xlsx [--format NAME] [--config Taxlink.db]\n";
}

int runBatchTemplate(const QStringList& args) {
    CommandLine line = batchCommandLine(kTemplateUsage);
    line.addOption(QStringLiteral("config")).addOption(QStringLiteral("format"));
    if (const std::optional<int> status = line.parse(args)) return *status;
    const QString config = line.value(QStringLiteral("config"));
    const QString name = line.value(QStringLiteral("format"));
    const QStringList files = line.positionalArguments();
    if (files.size() != 1) {
        std::fputs(kTemplateUsage, stderr);
        return 1;
    }
    BatchSession batch(config, QString());
    try {
        batch.openConfig();
        const WorkbookLayout layout =
            installWorkbookTemplate(batch.session().config(), files.first(),
                                    name.isEmpty() ? QFileInfo(files.first()).completeBaseName() : name);
        // What was learnt, on stdout: the two sheets and their headings, and the template's version.
        for (const WorkbookSheetLayout* sheet : {&layout.head, &layout.detail}) {
            QStringList headings;
            for (const WorkbookColumn& c : sheet->columns)
                headings << c.heading.simplified();
            std::printf("%s\t%s\n", sheet->name.toUtf8().constData(),
                        headings.join(QStringLiteral(",")).toUtf8().constData());
        }
        if (!layout.version.isEmpty()) std::printf("模板版本\t%s\n", layout.version.toUtf8().constData());
    } catch (const DbError& e) {
        showMsg(QStringLiteral("读取平台模板失败：") + e.description());
        reportCause(QStringLiteral("ReadTemplate"), e);
        return 1;
    }
    return 0;
}
