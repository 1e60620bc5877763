// libFuzzer target: any text as a formula of the link wizard, through the formula check (brackets,
// references, types, the trial query on a read-only connection). It must end with a verdict, never
// with a crash or a hang, and never change the accounting set.
#include "batch/FuzzSupport.h"
#include "links/ExpressionVerifier.h"
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session& session = fuzzSession();
    static const QStringList fields = ExpressionVerifier::loadFieldItems(session.config(), true) +
                                      ExpressionVerifier::loadFieldItems(session.config(), false);
    ExpressionVerifier v(session);
    v.expression = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    v.fieldItems = fields;
    v.dataType = size % 2 ? 3 : 1;
    v.verifyExpression();
    return 0;
}
