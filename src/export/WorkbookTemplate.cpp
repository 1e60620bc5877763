#include "WorkbookTemplate.h"

#include "common/modFunction.h"

namespace {
const QString kLayoutKey = QStringLiteral("WorkbookLayout");
const QString kNameKey = QStringLiteral("WorkbookLayoutName");

QString ReadValue(Connection& config, const QString& key) {
    const RecordsetPtr rs = config.Query(QStringLiteral("select FSQL from t_OtherInfo where Fkey=?"), {key});
    return rs->EOF_() ? QString() : NullToText(rs->value(0));
}

void WriteValue(Connection& config, const QString& key, const QString& value) {
    config.Execute(QStringLiteral("delete from t_OtherInfo where Fkey=?"), {key});
    config.Execute(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values (?, ?)"), {key, value});
}
} // namespace

WorkbookLayout InstallWorkbookTemplate(Connection& config, const QString& xlsxPath, const QString& name) {
    const WorkbookLayout layout = LearnWorkbookLayout(xlsxPath);
    TransactionGuard tx(config);
    WriteValue(config, kLayoutKey, layout.ToJson());
    WriteValue(config, kNameKey, name.trimmed());
    tx.commit();
    return layout;
}

std::optional<WorkbookLayout> InstalledWorkbookLayout(Connection& config) {
    const QString json = ReadValue(config, kLayoutKey);
    if (json.isEmpty()) return std::nullopt;
    return WorkbookLayout::FromJson(json);
}

QString InstalledWorkbookName(Connection& config) {
    return ReadValue(config, kNameKey);
}

QString LinkFormat(const QVariant& stored) {
    const QString f = NullToText(stored).trimmed().toLower();
    return f == u"xml" || f == u"xlsx" ? f : QStringLiteral("txt");
}

QString FormatFileFilter(const QString& format) {
    if (format == u"xml") return QStringLiteral("XML文件(*.xml)");
    if (format == u"xlsx") return QStringLiteral("Excel工作簿(*.xlsx)");
    return QStringLiteral("文本文件(*.txt)");
}

QString FormatSuffix(const QString& format) {
    return format == u"xml" || format == u"xlsx" ? format : QStringLiteral("txt");
}
