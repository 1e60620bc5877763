#pragma once
// The e-invoice platform's template workbook as installed in Taxlink.db: its layout, learnt once from the
// file the platform publishes (读取平台模板, or taxferry-batch template), and the file itself, of which
// every workbook the export writes is a copy, serve every link whose format is the workbook. Kept in
// t_OtherInfo under the keys WorkbookLayout (the layout as JSON) and WorkbookLayoutName (the name the user
// gave it), the file in t_PlatformTemplate.

#include "common/Connection.h"
#include "export/WorkbookLayout.h"
#include "links/WizardGrid.h"
#include <optional>

struct InstalledTemplate {
    WorkbookLayout layout;
    QByteArray file; // empty when an earlier version installed the layout without the file
};

// Learns the template at xlsxPath and installs it under name, replacing an earlier one. Returns the
// layout. Throws DbError (a file that is no platform template, or a database failure).
WorkbookLayout installWorkbookTemplate(Connection& config, const QString& xlsxPath, const QString& name);
// The installed layout, or nothing. Throws DbError.
std::optional<WorkbookLayout> installedWorkbookLayout(Connection& config);
// The installed layout with its file, or nothing. Throws DbError.
std::optional<InstalledTemplate> installedWorkbookTemplate(Connection& config);
// The name it was installed under (empty when none is). Throws DbError.
QString installedWorkbookName(Connection& config);

// What a new workbook link starts with on one side: each installed heading that stands for a field the
// factory text link maps, mapped as it maps that field (购买方名称 as 购方名称, 发票流水号 as 单据号,
// 购买方地址 and 购买方电话 as 购方地址电话 …), in the template's order. Headings the program does not know
// and those the export fills itself (发票类型, 是否含税, 税收分类编码 …) are left to the user. Throws
// DbError.
QList<GridRow> workbookStartRows(Connection& config, bool isHead);

// A link's output format as stored (FFormat): "txt" (also for an empty value), "xml" or "xlsx".
QString linkFormat(const QVariant& stored);
// The file dialog's filter and suffix of a format.
QString formatFileFilter(const QString& format);
QString formatSuffix(const QString& format);
// A format as the windows name it: 文本文件, XML文件 or 电子发票平台模板.
QString formatName(const QString& format);
