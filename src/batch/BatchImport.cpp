#include "Batch.h"
#include <cstdio>

int RunBatchImport(const QStringList&) {
    std::fputs("not available yet\n", stderr);
    return 1;
}
