#pragma once
// The documents of the factory link's export as the preview shows them, then the export that records them:
// what the loop's tests write back onto.
#include "export/ExportEngine.h"
#include "export/ExportWriter.h"
#include "support/TestSupport.h"
#include <QHash>

// Empty when the preview or the export refused. conditions: the export filter (empty: none); file: the
// export's text, when wanted.
inline QList<ExportDoc> exportedDocs(TestDatabases& d, bool includeExported = false,
                                     const QString& conditions = {}, QString* file = nullptr) {
    const QString out = d.folder() + QStringLiteral("/out.txt");
    const QString cond = conditions.isEmpty() ? QString(13, u'|') : conditions;
    ExportEngine preview(d.session);
    preview.setPreview(true);
    preview.setIncludeExported(includeExported);
    if (!preview.exportFile(out, cond, QStringLiteral("1"))) return {};
    ExportEngine e(d.session);
    e.setIncludeExported(includeExported);
    if (!e.exportFile(out, cond, QStringLiteral("1"))) return {};
    if (file) *file = readGbkFile(out).join(u'\n');
    return preview.preview();
}

inline QHash<QString, ExportDoc> byDocNo(const QList<ExportDoc>& docs) {
    QHash<QString, ExportDoc> out;
    for (const ExportDoc& d : docs)
        out.insert(d.docNo, d);
    return out;
}
