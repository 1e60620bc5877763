// Writes an issued-invoice file of generated invoices over the demo set, for timing the import:
//   taxferry-gen-invoices FILE [INVOICES [LINES_PER_INVOICE]]   (defaults 10000 and 5)
#include "InvoiceLines.h"
#include "common/GbkCodec.h"
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: taxferry-gen-invoices FILE [INVOICES [LINES_PER_INVOICE]]\n", stderr);
        return 2;
    }
    const int invoices = args.size() > 1 ? args[1].toInt() : 10000;
    const int lines = args.size() > 2 ? args[2].toInt() : 5;
    QFile f(args[0]);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fputs("cannot write the file\n", stderr);
        return 1;
    }
    for (const QString& line : GeneratedFile(invoices, lines)) {
        QByteArray b;
        if (!EncodeGbk(line, b)) return 1;
        f.write(b + "\r\n");
    }
    return 0;
}
