// libFuzzer target: any bytes as an issued-invoice file through the whole import (reader, field rules,
// names, numbers, writer) on a demo accounting set. Whatever the bytes, the import must end, with a
// message or a commit, never with a crash or a hang.
#include "batch/FuzzSupport.h"
#include "import/ImportEngine.h"
#include <QFile>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session& session = fuzzSession();
    static ImportEngine engine(session);
    static const QString path = fuzzPath(QStringLiteral("in.txt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    engine.importToQor(path);
    return 0;
}
