// libFuzzer target: any bytes as a workbook, through the reader with small caps (every sheet, its rows and
// drop-down lists), the template learner, and, where the bytes are learnt as a template, the export
// filling it. Whatever the bytes, each must end with a result or a refusal, never with a crash, a hang or
// memory that grows with a count the file claims.
#include "batch/FuzzSupport.h"
#include "common/XlsxReader.h"
#include "export/WorkbookDocumentSink.h"
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        XlsxCaps caps;
        caps.maxRows = 1000;
        caps.maxColumns = 64;
        caps.maxPartSize = 4 * 1024 * 1024;
        caps.maxSharedStrings = 10000;
        XlsxReader reader(bytes, QStringLiteral("fuzz.xlsx"), caps);
        for (const XlsxSheet& s : reader.sheets()) {
            reader.rows(s);
            reader.listRules(s);
        }
    } catch (const DbError&) {
    }
    try {
        const WorkbookLayout layout = learnWorkbookLayout(bytes, QStringLiteral("fuzz.xlsx"));
        static const QString out = fuzzPath(QStringLiteral("out.xlsx"));
        WorkbookDocumentSink sink(out, layout, bytes);
        SinkDocument doc;
        doc.docNo = QStringLiteral("ZP01");
        doc.invoiceKind = QStringLiteral("增值税专用发票");
        doc.head.insert(QStringLiteral("购方名称"), QStringLiteral("甲公司"));
        doc.lines.append({{QStringLiteral("货物名称"), QStringLiteral("电脑")},
                          {QStringLiteral("不含税金额"), QStringLiteral("90")},
                          {QStringLiteral("折扣金额"), QStringLiteral("10")},
                          {QStringLiteral("税率"), QStringLiteral("0.13")}});
        sink.begin(1);
        sink.add(doc);
        sink.commit();
        // What was written is a workbook again.
        XlsxReader back(out);
        for (const XlsxSheet& s : back.sheets())
            back.rows(s, XlsxStop{10, {}});
    } catch (const DbError&) {
    }
    return 0;
}
