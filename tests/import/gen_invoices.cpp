// Writes an issued-invoice file of generated invoices over the demo set, for timing the import:
//   taxferry-gen-invoices FILE [INVOICES [LINES_PER_INVOICE]]   (defaults 10000 and 5)
#include "InvoiceLines.h"
#include "support/TestSupport.h"
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: taxferry-gen-invoices FILE [INVOICES [LINES_PER_INVOICE]]\n", stderr);
        return 2;
    }
    writeGbkFile(args[0], generatedFile(args.value(1, QStringLiteral("10000")).toInt(),
                                        args.value(2, QStringLiteral("5")).toInt()));
    return 0;
}
