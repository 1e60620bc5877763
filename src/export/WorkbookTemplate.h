#pragma once
// The e-invoice platform's template workbook as installed in Taxlink.db: its sheets and headings, learnt
// once from the file the platform publishes (读取平台模板, or taxferry-batch template), serve every link
// whose format is the workbook. Kept in t_OtherInfo under the keys WorkbookLayout (the layout as JSON)
// and WorkbookLayoutName (the name the user gave it).

#include "WorkbookDocumentSink.h"
#include "common/Connection.h"
#include <optional>

// Learns the template at xlsxPath and installs it under name, replacing an earlier one. Returns the
// layout. Throws DbError (a file that is no platform template, or a database failure).
WorkbookLayout InstallWorkbookTemplate(Connection& config, const QString& xlsxPath, const QString& name);
// The installed layout, or nothing. Throws DbError.
std::optional<WorkbookLayout> InstalledWorkbookLayout(Connection& config);
// The name it was installed under (empty when none is). Throws DbError.
QString InstalledWorkbookName(Connection& config);

// A link's output format as stored (FFormat): "txt" (also for an empty value), "xml" or "xlsx".
QString LinkFormat(const QVariant& stored);
// The file dialog's filter and suffix of a format.
QString FormatFileFilter(const QString& format);
QString FormatSuffix(const QString& format);
