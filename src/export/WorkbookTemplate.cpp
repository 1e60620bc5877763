#include "export/WorkbookTemplate.h"

#include "common/DbProcedures.h"

#include "common/Values.h"
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace {
const QString kLayoutKey = QStringLiteral("WorkbookLayout");
const QString kNameKey = QStringLiteral("WorkbookLayoutName");

QString readValue(Connection& config, const QString& key) {
    const RecordsetPtr rs = config.query(QStringLiteral("select FSQL from t_OtherInfo where Fkey=?"), {key});
    return rs->atEnd() ? QString() : nullToText(rs->value(0));
}

void writeValue(Connection& config, const QString& key, const QString& value) {
    config.exec(QStringLiteral("delete from t_OtherInfo where Fkey=?"), {key});
    config.exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values (?, ?)"), {key, value});
}
} // namespace

namespace {
// The template's headings become the fields a workbook link maps, as the text file's fields are for a
// text link: rows of t_TaxField with FFormat 'xlsx'. A heading keeps its number when the template is
// read again, so the links made on it stay as they are. The line-number column is filled by the export
// itself and is not offered; the key (发票流水号) is, for the bill number the export groups by.
void installHeadings(Connection& config, const WorkbookLayout& layout) {
    QHash<QString, qlonglong> known; // "1|heading" (head) or "0|heading" -> Fid
    qlonglong next = std::max<qlonglong>(
        1000, config.query(QStringLiteral("select max(Fid) from t_TaxField"))->value(0).toLongLong());
    const RecordsetPtr rs =
        config.query(QStringLiteral("select Fid, Fname, FisHead from t_TaxField where FFormat='xlsx'"));
    for (const QVariantList& row : rs->allRows())
        known.insert(QString::number(isTrueValue(row.value(2)) ? 1 : 0) + u'|' + nullToText(row.value(1)),
                     row.value(0).toLongLong());
    config.exec(QStringLiteral("delete from t_TaxField where FFormat='xlsx'"));
    static const QStringList numeric{QStringLiteral("数量"),       QStringLiteral("单价"),
                                     QStringLiteral("不含税金额"), QStringLiteral("税率"),
                                     QStringLiteral("税额"),       QStringLiteral("折扣金额"),
                                     QStringLiteral("折扣税额")};
    QSet<qlonglong> used;
    for (const WorkbookSheetLayout* sheet : {&layout.head, &layout.detail}) {
        const bool isHead = sheet == &layout.head;
        for (const WorkbookColumn& c : sheet->columns) {
            // A column without a heading could not be told from another in the wizard's list.
            if (c.value == WorkbookValue::LineNo || c.heading.trimmed().isEmpty()) continue;
            const QString key = QString::number(isHead ? 1 : 0) + u'|' + c.heading;
            qlonglong id = known.value(key, 0);
            if (id == 0 || used.contains(id)) id = ++next;
            used.insert(id);
            config.exec(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) "
                                       "values (?, ?, ?, ?, 'xlsx')"),
                        {id, c.heading, numeric.contains(c.value) ? QStringLiteral("3") : QStringLiteral("1"),
                         isHead ? 1 : 0});
        }
    }
}
} // namespace

WorkbookLayout installWorkbookTemplate(Connection& config, const QString& xlsxPath, const QString& name) {
    const QByteArray file = readTemplateFile(xlsxPath);
    const WorkbookLayout layout = learnWorkbookLayout(file, QDir::toNativeSeparators(xlsxPath));
    TransactionGuard tx(config);
    writeValue(config, kLayoutKey, layout.toJson());
    writeValue(config, kNameKey, name.trimmed());
    // The export writes copies of the file itself.
    config.exec(QStringLiteral("delete from t_PlatformTemplate"));
    config.exec(QStringLiteral("insert into t_PlatformTemplate (FName, FFileName, FContent, FTime) "
                               "values (?, ?, ?, ?)"),
                {name.trimmed(), QFileInfo(xlsxPath).fileName(), file,
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    installHeadings(config, layout);
    tx.commit();
    return layout;
}

namespace {
// The text file's field whose accounting value a heading's meaning is taken from: the split columns come
// from the joined field, the document's key is its number.
QString textFieldOf(const QString& value) {
    namespace V = WorkbookValue;
    if (value == V::DocKey) return QStringLiteral("单据号");
    if (value == V::Address || value == V::Phone) return QStringLiteral("购方地址电话");
    if (value == V::Bank || value == V::Account) return QStringLiteral("购方银行帐号");
    if (value == V::SellerBank || value == V::SellerAccount) return QStringLiteral("销方银行账号");
    return value;
}
} // namespace

QList<GridRow> workbookStartRows(Connection& config, bool isHead) {
    QHash<QString, GridRow> factory;
    for (const GridRow& r : factoryGridRows(config, isHead))
        if (!factory.contains(rowTaxName(r))) factory.insert(rowTaxName(r), r);
    const RecordsetPtr rs = config.query(QStringLiteral("select Fid, Fname, FFieldType from t_TaxField where "
                                                        "FFormat='xlsx' and FisHead=? order by Fid"),
                                         {isHead});
    QList<GridRow> rows;
    for (const QVariantList& r : rs->allRows()) {
        const QString heading = nullToText(r.value(1));
        const QString value = workbookValueOfHeading(heading);
        if (value.isEmpty() || !factory.contains(textFieldOf(value))) continue;
        GridRow row = factory.value(textFieldOf(value));
        row.taxField = heading;
        row.typeText = typeToText(nullToText(r.value(2)));
        row.taxID = nullToText(r.value(0));
        rows.append(row);
    }
    return rows;
}

std::optional<WorkbookLayout> installedWorkbookLayout(Connection& config) {
    const QString json = readValue(config, kLayoutKey);
    if (json.isEmpty()) return std::nullopt;
    return WorkbookLayout::fromJson(json);
}

std::optional<InstalledTemplate> installedWorkbookTemplate(Connection& config) {
    std::optional<WorkbookLayout> layout = installedWorkbookLayout(config);
    if (!layout) return std::nullopt;
    const RecordsetPtr rs = config.query(QStringLiteral("select FContent from t_PlatformTemplate"));
    return InstalledTemplate{*layout, rs->atEnd() ? QByteArray() : rs->value(0).toByteArray()};
}

QString installedWorkbookName(Connection& config) {
    return readValue(config, kNameKey);
}

QString linkFormat(const QVariant& stored) {
    const QString f = nullToText(stored).trimmed().toLower();
    return f == u"xml" || f == u"xlsx" ? f : QStringLiteral("txt");
}

QString formatFileFilter(const QString& format) {
    if (format == u"xml") return QStringLiteral("XML文件(*.xml)");
    if (format == u"xlsx") return QStringLiteral("Excel工作簿(*.xlsx)");
    return QStringLiteral("文本文件(*.txt)");
}

QString formatName(const QString& format) {
    if (format == u"xml") return QStringLiteral("XML文件");
    if (format == u"xlsx") return QStringLiteral("电子发票平台模板");
    return QStringLiteral("文本文件");
}

QString formatSuffix(const QString& format) {
    return format == u"xml" || format == u"xlsx" ? format : QStringLiteral("txt");
}
