// The platform's list of a month for measuring: taxferry-gen-list FILE [INVOICES [GOODS_LINES]] writes it;
// taxferry-gen-list --read FILE reads it as the write-back does and prints the invoices, the seconds and
// the peak memory of the process.
#include "MonthList.h"
#include "import/PlatformList.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: taxferry-gen-list FILE [INVOICES [GOODS_LINES]] | --read FILE\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    try {
        qlonglong count = 0;
        if (args[1] == QLatin1String("--read") && args.size() > 2) {
            count = readPlatformList(args[2]).size();
        } else {
            count = args.size() > 2 ? args[2].toInt() : 100000;
            Bench::writeRealShapeList(args[1], monthInvoices(int(count)),
                                      args.size() > 3 ? args[3].toInt() : 5, monthSeller());
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("invoices %lld, %.2f s, peak memory %ld MiB\n", count, double(timer.elapsed()) / 1000,
                    usage.ru_maxrss / 1024);
    } catch (const Bench::Failure& f) {
        std::fprintf(stderr, "%s\n", qPrintable(f.text));
        return 1;
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
