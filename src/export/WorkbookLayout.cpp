#include "export/WorkbookLayout.h"

#include "common/XlsxReader.h"
#include "export/WorkbookFill.h"
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr long FileAccessError = 75; // path/file access error

// What is read of a template: the heading row lies within its first rows, the lists are short.
XlsxCaps templateCaps() {
    XlsxCaps caps;
    caps.maxRows = 100;
    caps.maxColumns = 512;
    caps.maxPartSize = 64 * 1024 * 1024;
    caps.maxSharedStrings = 500000;
    return caps;
}
// The heading row is looked for in the first rows of a sheet only.
constexpr int kHeadingSearchRows = 50;

// A heading as compared: without blanks, the asterisk of a required column and a trailing remark in
// brackets ("*购买方名称（必填）" → "购买方名称").
QString headingKey(const QString& heading) {
    QString k;
    for (const QChar c : heading)
        if (!c.isSpace() && c != u'*' && c != u'＊') k += c;
    if (k.endsWith(u')') || k.endsWith(u'）')) {
        const qsizetype open = std::max(k.lastIndexOf(u'('), k.lastIndexOf(u'（'));
        if (open > 0) k.truncate(open);
    }
    return k;
}

const QHash<QString, QString>& knownHeadings() {
    static const QHash<QString, QString> table = [] {
        const QList<std::pair<QString, QStringList>> names{
            {WorkbookValue::DocKey, {QStringLiteral("发票流水号"), QStringLiteral("流水号")}},
            {WorkbookValue::LineNo,
             {QStringLiteral("序号"), QStringLiteral("明细序号"), QStringLiteral("行号")}},
            {WorkbookValue::InvoiceKind, {QStringLiteral("发票类型"), QStringLiteral("发票种类")}},
            {WorkbookValue::TaxIncluded, {QStringLiteral("是否含税"), QStringLiteral("含税标志")}},
            {QStringLiteral("购方名称"),
             {QStringLiteral("购买方名称"), QStringLiteral("购方名称"), QStringLiteral("客户名称")}},
            {QStringLiteral("购方税号"),
             {QStringLiteral("购买方纳税人识别号"), QStringLiteral("购买方税号"), QStringLiteral("购方税号"),
              QStringLiteral("购买方统一社会信用代码/纳税人识别号"), QStringLiteral("纳税人识别号")}},
            {QStringLiteral("购方地址电话"),
             {QStringLiteral("购买方地址电话"), QStringLiteral("购买方地址及电话"),
              QStringLiteral("购方地址电话"), QStringLiteral("地址电话")}},
            {WorkbookValue::Address,
             {QStringLiteral("购买方地址"), QStringLiteral("购方地址"), QStringLiteral("地址")}},
            {WorkbookValue::Phone,
             {QStringLiteral("购买方电话"), QStringLiteral("购方电话"), QStringLiteral("电话"),
              QStringLiteral("联系电话")}},
            {QStringLiteral("购方银行帐号"),
             {QStringLiteral("购买方开户行及账号"), QStringLiteral("购买方开户银行及账号"),
              QStringLiteral("购方银行帐号"), QStringLiteral("开户行及账号")}},
            {WorkbookValue::Bank,
             {QStringLiteral("购买方开户银行"), QStringLiteral("购买方开户行"),
              QStringLiteral("购方开户银行"), QStringLiteral("开户银行")}},
            {WorkbookValue::Account,
             {QStringLiteral("银行账号"), QStringLiteral("购买方银行账号"), QStringLiteral("购方银行账号"),
              QStringLiteral("开户银行账号"), QStringLiteral("账号")}},
            {QStringLiteral("备注"), {QStringLiteral("备注")}},
            {QStringLiteral("复核人"), {QStringLiteral("复核人")}},
            {QStringLiteral("收款人"), {QStringLiteral("收款人")}},
            {QStringLiteral("编码版本号"), {QStringLiteral("编码版本号")}},
            {QStringLiteral("销方银行账号"),
             {QStringLiteral("销售方开户行及账号"), QStringLiteral("销方银行账号")}},
            {WorkbookValue::SellerBank, {QStringLiteral("销售方开户行"), QStringLiteral("销售方开户银行")}},
            {WorkbookValue::SellerAccount, {QStringLiteral("销售方银行账号")}},
            {QStringLiteral("货物名称"),
             {QStringLiteral("项目名称"), QStringLiteral("商品名称"), QStringLiteral("货物名称"),
              QStringLiteral("货物或应税劳务名称"), QStringLiteral("货物或应税劳务、服务名称")}},
            {QStringLiteral("规格"), {QStringLiteral("规格型号"), QStringLiteral("规格")}},
            {QStringLiteral("计量单位"), {QStringLiteral("单位"), QStringLiteral("计量单位")}},
            {QStringLiteral("数量"), {QStringLiteral("数量"), QStringLiteral("商品数量")}},
            {QStringLiteral("单价"), {QStringLiteral("单价"), QStringLiteral("商品单价")}},
            {QStringLiteral("不含税金额"), {QStringLiteral("金额"), QStringLiteral("不含税金额")}},
            {QStringLiteral("税率"),
             {QStringLiteral("税率"), QStringLiteral("征收率"), QStringLiteral("税率/征收率")}},
            {QStringLiteral("税额"), {QStringLiteral("税额")}},
            {QStringLiteral("折扣金额"), {QStringLiteral("折扣金额")}},
            {QStringLiteral("税收分类编码"),
             {QStringLiteral("商品和服务税收编码"), QStringLiteral("商品和服务税收分类编码"),
              QStringLiteral("商品和服务税收分类合并编码"), QStringLiteral("税收分类编码"),
              QStringLiteral("商品编码"), QStringLiteral("税收编码")}},
            {QStringLiteral("企业自编码"), {QStringLiteral("企业自编码"), QStringLiteral("商品自编码")}},
            {QStringLiteral("优惠政策标识"), {QStringLiteral("优惠政策标识")}},
            {WorkbookValue::UsePreferential,
             {QStringLiteral("是否使用优惠政策"), QStringLiteral("是否享受优惠政策"),
              QStringLiteral("享受优惠政策")}},
            {QStringLiteral("优惠政策说明"),
             {QStringLiteral("优惠政策说明"), QStringLiteral("优惠政策类型"),
              QStringLiteral("享受优惠政策内容")}},
            {QStringLiteral("零税率标识"), {QStringLiteral("零税率标识")}},
        };
        QHash<QString, QString> t;
        for (const auto& [value, headings] : names)
            for (const QString& h : headings)
                t.insert(headingKey(h), value);
        return t;
    }();
    return table;
}

bool has(const WorkbookSheetLayout& s, const QString& value) {
    for (const WorkbookColumn& c : s.columns)
        if (c.value == value) return true;
    return false;
}

// "必填\n(限20字符)", "非必填\n（限100字符）" → 20, 100; 0 without a limit.
int limitOf(const QString& text) {
    static const QRegularExpression limit(QStringLiteral("限\\s*(\\d{1,6})\\s*个?字符"));
    const QRegularExpressionMatch m = limit.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QJsonObject sheetJson(const WorkbookSheetLayout& s) {
    QJsonArray columns;
    for (const WorkbookColumn& c : s.columns) {
        QJsonObject o{{QStringLiteral("heading"), c.heading}, {QStringLiteral("value"), c.value}};
        if (c.limit > 0) o.insert(QStringLiteral("limit"), c.limit);
        if (!c.choices.isEmpty()) o.insert(QStringLiteral("choices"), QJsonArray::fromStringList(c.choices));
        columns.append(o);
    }
    return QJsonObject{{QStringLiteral("sheet"), s.name},
                       {QStringLiteral("headerRow"), s.headerRow},
                       {QStringLiteral("columns"), columns}};
}

std::optional<WorkbookSheetLayout> sheetFromJson(const QJsonValue& v) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    WorkbookSheetLayout s;
    s.name = o.value(QStringLiteral("sheet")).toString();
    const double row = o.value(QStringLiteral("headerRow")).toDouble(0);
    if (s.name.isEmpty() || row < 1 || row > 1048575 || row != int(row)) return std::nullopt;
    s.headerRow = int(row);
    const QJsonValue columns = o.value(QStringLiteral("columns"));
    if (!columns.isArray() || columns.toArray().isEmpty()) return std::nullopt;
    for (const QJsonValue& c : columns.toArray()) {
        const QJsonObject co = c.toObject();
        if (!c.isObject() || !co.value(QStringLiteral("heading")).isString()) return std::nullopt;
        WorkbookColumn column{co.value(QStringLiteral("heading")).toString(),
                              co.value(QStringLiteral("value")).toString(),
                              0,
                              {}};
        const double limit = co.value(QStringLiteral("limit")).toDouble(0);
        if (limit < 0 || limit > 1000000 || limit != int(limit)) return std::nullopt;
        column.limit = int(limit);
        for (const QJsonValue& choice : co.value(QStringLiteral("choices")).toArray())
            column.choices << choice.toString();
        s.columns.append(column);
    }
    return s;
}

// The headings of the row that holds 发票流水号, with the limits of the row above.
std::optional<WorkbookSheetLayout> sheetLayout(XlsxReader& reader, const XlsxSheet& sheet) {
    auto isHeadingRow = [](const XlsxRow& row) {
        for (const XlsxCell& c : row.cells)
            if (workbookValueOfHeading(c.text) == WorkbookValue::DocKey) return true;
        return false;
    };
    const QList<XlsxRow> rows = reader.rows(sheet, XlsxStop{kHeadingSearchRows, isHeadingRow});
    if (rows.isEmpty() || !isHeadingRow(rows.last())) return std::nullopt;
    const XlsxRow& headings = rows.last();
    const XlsxRow* limits = rows.size() > 1 && rows[rows.size() - 2].number == headings.number - 1
                                ? &rows[rows.size() - 2]
                                : nullptr;
    WorkbookSheetLayout layout;
    layout.name = sheet.name;
    layout.headerRow = headings.number;
    int last = -1;
    for (const XlsxCell& c : headings.cells)
        if (!c.text.trimmed().isEmpty()) last = c.column;
    for (int column = 0; column <= last; ++column) {
        // On one line: a heading becomes a field name the wizard lists ("每千克煤炭\n发热量").
        const QString heading = headings.text(column).simplified();
        layout.columns.append(WorkbookColumn{
            heading, workbookValueOfHeading(heading), limits ? limitOf(limits->text(column)) : 0, {}});
    }
    // A heading written over several columns (the region's four pickers) names each by its column: the
    // wizard offers them apart, and a link fills the one it maps, not all of them.
    QHash<QString, int> seen;
    for (const WorkbookColumn& c : std::as_const(layout.columns))
        if (!c.heading.isEmpty()) ++seen[c.heading];
    for (int column = 0; column < layout.columns.size(); ++column) {
        WorkbookColumn& c = layout.columns[column];
        if (seen.value(c.heading) > 1)
            c.heading = QStringLiteral("%1（%2列）").arg(c.heading, xlsxColumnName(column));
    }
    // The drop-down lists of the data rows, where the list is written in the rule.
    for (const XlsxListRule& rule : reader.listRules(sheet)) {
        if (!rule.inlineList) continue;
        for (const XlsxListRule::Range& range : rule.ranges) {
            if (range.firstRow > layout.headerRow + 1 || range.lastRow <= layout.headerRow) continue;
            for (int c = range.firstColumn; c <= range.lastColumn && c < layout.columns.size(); ++c)
                layout.columns[c].choices = rule.values;
        }
    }
    return layout;
}

} // namespace

QString workbookValueOfHeading(const QString& heading) {
    return knownHeadings().value(headingKey(heading));
}

QString WorkbookLayout::toJson() const {
    QJsonObject o{{QStringLiteral("head"), sheetJson(head)},
                  {QStringLiteral("detail"), sheetJson(detail)},
                  {QStringLiteral("detailFirst"), detailFirst}};
    if (!version.isEmpty()) o.insert(QStringLiteral("version"), version);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<WorkbookLayout> WorkbookLayout::fromJson(const QString& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const std::optional<WorkbookSheetLayout> head = sheetFromJson(o.value(QStringLiteral("head")));
    const std::optional<WorkbookSheetLayout> detail = sheetFromJson(o.value(QStringLiteral("detail")));
    if (!head || !detail || head->name == detail->name) return std::nullopt;
    return WorkbookLayout{*head, *detail, o.value(QStringLiteral("detailFirst")).toBool(),
                          o.value(QStringLiteral("version")).toString()};
}

QByteArray readTemplateFile(const QString& xlsxPath) {
    QFile file(xlsxPath);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(FileAccessError, QStringLiteral("路径/文件访问错误：%1（%2）")
                                           .arg(QDir::toNativeSeparators(xlsxPath), file.errorString()));
    if (file.size() > kMaxTemplateSize)
        throw DbError(ErrNo::General, QStringLiteral("文件“%1”超过%2 MB，不是电子发票平台的模板。")
                                          .arg(QDir::toNativeSeparators(xlsxPath))
                                          .arg(kMaxTemplateSize / (1024 * 1024)));
    return file.readAll();
}

WorkbookLayout learnWorkbookLayout(const QString& xlsxPath) {
    return learnWorkbookLayout(readTemplateFile(xlsxPath), QDir::toNativeSeparators(xlsxPath));
}

WorkbookLayout learnWorkbookLayout(const QByteArray& file, const QString& displayName) {
    const XlsxCaps caps = templateCaps();
    XlsxReader reader(file, displayName, caps);
    QList<WorkbookSheetLayout> sheets;
    QList<const XlsxSheet*> found;
    QString version;
    for (const XlsxSheet& s : reader.sheets()) {
        // The template's version, in a sheet of its own that the platform checks.
        if (s.name == u"excelVersion") {
            for (const XlsxRow& row : reader.rows(s, XlsxStop{10, {}}))
                for (const XlsxCell& c : row.cells)
                    if (version.isEmpty() && !c.text.trimmed().isEmpty()) version = c.text.trimmed();
        }
        // Hidden sheets hold the lists behind the drop-downs.
        if (s.hidden) continue;
        if (const std::optional<WorkbookSheetLayout> layout = sheetLayout(reader, s)) {
            sheets.append(*layout);
            found.append(&s);
        }
    }
    // A sheet with goods is the detail sheet even when it names the buyer too.
    int head = -1, detail = -1;
    for (int i = 0; i < sheets.size(); ++i) {
        const bool goods = has(sheets[i], QStringLiteral("货物名称"));
        if (goods && detail < 0)
            detail = i;
        else if (!goods && head < 0 && has(sheets[i], QStringLiteral("购方名称")))
            head = i;
    }
    QStringList missing;
    if (head < 0) missing << QStringLiteral("发票基本信息（列标题含“发票流水号”和“购买方名称”）");
    if (detail < 0) missing << QStringLiteral("发票明细信息（列标题含“发票流水号”和“项目名称”）");
    if (!missing.isEmpty())
        throw DbError(ErrNo::General, QStringLiteral("工作簿“%1”中没有%2的工作表，不能作为批量开票模板。")
                                          .arg(displayName, missing.join(QStringLiteral("和"))));
    // The export copies every part of the template: each must be readable, and the two sheets must take
    // rows.
    for (const ZipArchive::Member& m : reader.archive().members())
        if (!m.readable)
            throw DbError(ErrNo::General,
                          QStringLiteral("工作簿“%1”中的“%2”的压缩方式不受支持，不能作为批量开票模板。")
                              .arg(displayName, m.name));
    for (int i : {head, detail})
        TemplateSheetPart(reader.archive(), found[i]->part, sheets[i].headerRow, caps.maxPartSize);
    return WorkbookLayout{sheets[head], sheets[detail], detail < head, version};
}
