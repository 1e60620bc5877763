#include "PlatformListBook.h"

#include "common/Values.h"
#include "common/XlsxReader.h"
#include "support/XlsxBuilder.h"
#include <QDate>

const QString kOwnTaxNo = QStringLiteral("91330106MA27XK3P5D");

namespace {
QString money(double v) {
    return decimalText(v, 2);
}

// The heading row at row first, the rows below it.
QString rowsXml(const QStringList& headings, const QList<ListRow>& rows, int first) {
    QString head;
    for (int c = 0; c < headings.size(); ++c)
        head += inlineCell(xlsxColumnName(c) + QString::number(first), headings[c]);
    QString xml = QStringLiteral("<row r=\"%1\">%2</row>").arg(first).arg(head);
    for (int r = 0; r < rows.size(); ++r) {
        QString cells;
        for (int c = 0; c < headings.size(); ++c) {
            const QString ref = xlsxColumnName(c) + QString::number(r + first + 1);
            const QString v = rows[r].value(headings[c]);
            if (v.isEmpty()) continue;
            if (v.startsWith(u'#'))
                cells += numberCell(ref, v.mid(1));
            else if (v.startsWith(u'@'))
                cells += numberCell(
                    ref,
                    QString::number(QDate(1899, 12, 30).daysTo(QDate::fromString(v.mid(1), Qt::ISODate))), 1);
            else
                cells += inlineCell(ref, v);
        }
        xml += QStringLiteral("<row r=\"%1\">%2</row>").arg(r + first + 1).arg(cells);
    }
    return xml;
}

const QByteArray kStyles =
    "<?xml version=\"1.0\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
    "main\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
} // namespace

QByteArray listWorkbook(const QStringList& headings, const QList<ListRow>& rows) {
    const QString xml = QStringLiteral("<row r=\"1\">%1</row>").arg(inlineCell("A1", "发票查询统计")) +
                        rowsXml(headings, rows, 2);
    return buildXlsx({{QStringLiteral("发票基础信息"), sheetXml(xml)}}, kStyles);
}

QByteArray exportWorkbook(const QList<ListSheet>& sheets) {
    QList<BuiltSheet> built;
    for (const ListSheet& s : sheets)
        built.append({s.name, sheetXml(rowsXml(s.headings, s.rows, 1) + s.after), s.hidden});
    return buildXlsx(built, kStyles);
}

const QStringList kInvoiceHeadings{"序号",         "发票代码",     "发票号码",   "数电发票号码", "销方识别号",
                                   "销方名称",     "购方识别号",   "购买方名称", "开票日期",     "金额",
                                   "税额",         "价税合计",     "发票来源",   "发票票种",     "发票状态",
                                   "是否正数发票", "发票风险等级", "开票人",     "备注"};
const QStringList kGoodsHeadings{
    "序号",         "发票代码",   "发票号码", "数电发票号码", "销方识别号",   "销方名称",
    "购方识别号",   "购买方名称", "开票日期", "税收分类编码", "特定业务类型", "货物或应税劳务名称",
    "规格型号",     "单位",       "数量",     "单价",         "金额",         "税率",
    "税额",         "价税合计",   "发票来源", "发票票种",     "发票状态",     "是否正数发票",
    "发票风险等级", "开票人",     "备注"};

const QStringList kHeadings{"备注",         "金额",         "数电发票号码", "购买方名称", "开票日期",
                            "税额",         "发票代码",     "发票号码",     "销方识别号", "销方名称",
                            "购方识别号",   "价税合计",     "发票来源",     "发票票种",   "发票状态",
                            "是否正数发票", "发票风险等级", "开票人"};

ListRow issuedRow(const QString& number, double amount, double tax, const QString& buyerTaxNo,
                  const QString& buyerName, const QString& remark, const QString& state) {
    return {{"数电发票号码", number},
            {"金额", u'#' + money(amount)},
            {"税额", money(tax)}, // text
            {"价税合计", u'#' + money(amount + tax)},
            {"购方识别号", buyerTaxNo},
            {"购买方名称", buyerName},
            {"备注", remark},
            {"发票状态", state},
            {"是否正数发票", amount < 0 ? "否" : "是"},
            {"销方识别号", kOwnTaxNo},
            {"销方名称", "杭州明远商贸有限公司"},
            {"发票票种", "数电发票（增值税专用发票）"},
            {"发票来源", "电子发票服务平台"},
            {"开票日期", "2026-04-12 10:21:33"}};
}

QString N(int i) {
    return QStringLiteral("2633200000001234%1").arg(i, 4, 10, QChar(u'0'));
}
