#include "Batch.h"
#include <cstdio>

int RunBatchExport(const QStringList&) {
    std::fputs("not available yet\n", stderr);
    return 1;
}
