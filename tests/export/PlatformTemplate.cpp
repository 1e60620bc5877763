#include "PlatformTemplate.h"
#include "common/Connection.h"

#include "support/XlsxBuilder.h"

namespace {

QString column(int c) {
    QString name;
    for (int n = c + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

QString escaped(const QString& text) {
    QString t = text.toHtmlEscaped();
    t.replace(u'\n', QStringLiteral("&#xa;"));
    return t;
}

const QString kYesNo = QStringLiteral("\"是,否\"");

// A visible sheet of the template: notes, limits, headings, lists.
QString visibleSheet(const QList<PlatformColumn>& columns, int (*style)(int), const QString& notes,
                     const QString& merges, const QString& extraRows) {
    QString cols = QStringLiteral("<cols>");
    for (int c = 0; c < columns.size(); ++c) {
        const int s = style(c);
        cols += QStringLiteral("<col min=\"%1\" max=\"%1\"%2 width=\"12.0\" customWidth=\"true\"/>")
                    .arg(c + 1)
                    .arg(s >= 0 ? QStringLiteral(" style=\"%1\"").arg(s) : QString());
    }
    cols += QStringLiteral("</cols>");
    const QString before =
        QStringLiteral(
            "<sheetViews><sheetView workbookViewId=\"0\"><pane xSplit=\"1.0\" ySplit=\"3.0\" "
            "state=\"frozen\" topLeftCell=\"B4\" activePane=\"bottomRight\"/><selection "
            "pane=\"bottomRight\"/></sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15.0\"/>") +
        cols;
    QString rows = QStringLiteral("<row r=\"1\" customHeight=\"true\" ht=\"165.0\">\n<c r=\"A1\" s=\"1\" "
                                  "t=\"inlineStr\"><is><t>%1</t></is></c></row>\n")
                       .arg(escaped(notes));
    QString limits = QStringLiteral("<row r=\"2\" customHeight=\"true\" ht=\"51.0\">\n");
    QString headings = QStringLiteral("<row r=\"3\" customHeight=\"true\" ht=\"30.0\">\n");
    QString lists;
    int listCount = 0;
    for (int c = 0; c < columns.size(); ++c) {
        const QString col = column(c);
        limits += QStringLiteral("<c r=\"%1\" s=\"1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                      .arg(col + u'2', escaped(columns[c].limits));
        headings += QStringLiteral("<c r=\"%1\" s=\"1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                        .arg(col + u'3', escaped(columns[c].heading));
        if (!columns[c].list.isEmpty()) {
            lists +=
                QStringLiteral("<dataValidation type=\"list\" sqref=\"%1\" allowBlank=\"true\" "
                               "errorStyle=\"stop\" showErrorMessage=\"true\"><formula1>%2</formula1>"
                               "</dataValidation>")
                    .arg(col + QStringLiteral("4:") + col + QStringLiteral("1001"), escaped(columns[c].list));
            ++listCount;
        }
    }
    rows += limits + QStringLiteral("</row>\n") + headings + QStringLiteral("</row>\n") + extraRows;
    const QString after =
        QStringLiteral("<mergeCells>%1</mergeCells>").arg(merges) +
        (listCount
             ? QStringLiteral("<dataValidations count=\"%1\">%2</dataValidations>").arg(listCount).arg(lists)
             : QString());
    return sheetXml(rows, before, after);
}

// A hidden sheet: one value per row in column A.
QString listSheet(const QStringList& values) {
    QString rows;
    for (int r = 0; r < values.size(); ++r)
        rows += QStringLiteral("<row r=\"%1\">\n<c r=\"A%1\" t=\"inlineStr\"><is><t>%2</t></is></c></row>\n")
                    .arg(r + 1)
                    .arg(escaped(values[r]));
    return sheetXml(rows, QStringLiteral("<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"));
}

QByteArray styles() {
    // 0: the default; 1: notes, limits and headings; from 2 on: text (number format 49).
    QString xfs;
    for (int i = 0; i < 140; ++i)
        xfs += QStringLiteral("<xf numFmtId=\"%1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"%2/>")
                   .arg(i >= 2 ? 49 : 0)
                   .arg(i >= 2 ? QStringLiteral(" applyNumberFormat=\"true\"") : QString());
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<styleSheet "
                          "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts "
                          "count=\"0\"/><fonts count=\"1\"><font><sz val=\"11.0\"/><name "
                          "val=\"宋体\"/></font></fonts><cellXfs count=\"140\">%1</cellXfs></styleSheet>")
        .arg(xfs)
        .toUtf8();
}

} // namespace

int headColumnStyle(int column) {
    return column < 37 ? 2 + column : -1; // the last two columns have none, as in the official file
}

int detailColumnStyle(int column) {
    return 100 + column;
}

QList<PlatformColumn> officialHeadColumns() {
    const QString area = QStringLiteral("购买方所在地区（报废产品收购必填）");
    const QString limit100 = QStringLiteral(" 有条件必填\n(限100字符)\t");
    const QString show =
        QStringLiteral("\"展示地址、电话,展示开户银行、银行账号,展示地址、电话、开户银行及银行账号\"");
    return {
        {QStringLiteral("发票流水号"), QStringLiteral("必填\n(限20字符)"), {}},
        {QStringLiteral("发票类型"), QStringLiteral("必填\n(限10字符)"),
         QStringLiteral("\"增值税专用发票,普通发票\"")},
        {QStringLiteral("特定业务类型"), QStringLiteral("非必填\n(限10字符)"),
         QStringLiteral("\"成品油,稀土,建筑服务,货物运输服务,不动产销售\"")},
        {QStringLiteral("是否含税"), QStringLiteral("必填(是/否)\n(限2字符)"), kYesNo},
        {QStringLiteral("受票方自然人标识"), QStringLiteral("非必填(是/否)\n\t(限2字符)"), kYesNo},
        {QStringLiteral("购买方名称"), QStringLiteral("必填\n(限100字符)"), {}},
        {QStringLiteral("购买方纳税人识别号"), QStringLiteral("专票必填\n(限20字符)"), {}},
        {QStringLiteral("购买方证件类型"), QStringLiteral("非必填\n(限40字符)"),
         QStringLiteral("\"居民身份证,中国护照,外国护照\"")},
        {QStringLiteral("购买方证件号码"), QStringLiteral("非必填\n(限30字符)"), {}},
        {QStringLiteral("购买方国籍（或地区）"), QStringLiteral(" 非必填\n(限40字符)\t"),
         QStringLiteral("gjhdq!$A$1:$A$245")},
        {QStringLiteral("购买方地址"), QStringLiteral(" 有条件必填\n(限100字符)\t "), {}},
        {area, limit100, QStringLiteral("xzqhjdxz!$A$1:$AI$1")},
        {area, limit100,
         QStringLiteral("INDIRECT(SUBSTITUTE(SUBSTITUTE(TRIM($L4),\"（\",\"_\"),\"）\",\"_\"))")},
        {area, limit100, {}},
        {area, limit100, {}},
        {QStringLiteral("购买方详细地址（报废产品收购必填）"), limit100, {}},
        {QStringLiteral("购买方电话"), QStringLiteral("\t有条件必填\n(限50字符)\t"), {}},
        {QStringLiteral("购买方开户银行"), QStringLiteral("\t非必填\n(限100字符)"), {}},
        {QStringLiteral("购买方银行账号"), QStringLiteral("非必填\n(限100字符)"), {}},
        {QStringLiteral("是否展示购买方地址电话银行账号"), QStringLiteral("非必填\n（限20字符）"), show},
        {QStringLiteral("是否开具涉税专业服务发票品目"), QStringLiteral("非必填(是/否)\n（限2字符）"),
         kYesNo},
        {QStringLiteral("涉税专业服务协议编号"), QStringLiteral("有条件必填\n（限20字符）"), {}},
        {QStringLiteral("备注"), QStringLiteral("非必填\n(限230字符)"), {}},
        {QStringLiteral("报废产品销售类型"), QStringLiteral("有条件必填\n（限24字符）"),
         QStringLiteral("\"销售自己使用过的报废产品,销售收购的报废产品\"")},
        {QStringLiteral("每千克煤炭\n发热量"), QStringLiteral("非必填\n(限5字符)\n单位(千卡)"), {}},
        {QStringLiteral("干基全硫"), QStringLiteral("非必填\n(限6字符)\n保留两位小数\n(%)"), {}},
        {QStringLiteral("干燥无灰基挥发分"), QStringLiteral("非必填\n(限6字符)\n保留两位小数\n(%)   "), {}},
        {QStringLiteral("销售方开户行"), QStringLiteral("非必填\n(限100字符)"), {}},
        {QStringLiteral("销售方银行账号"), QStringLiteral("非必填\n(限60字符)"), {}},
        {QStringLiteral("是否展示销售方地址电话银行账号"), QStringLiteral("非必填\n（限20字符）"), show},
        {QStringLiteral("购买方邮箱"), QStringLiteral("非必填\n(限72字符)"), {}},
        {QStringLiteral("购买方经办人姓名"), QStringLiteral("非必填\n(限150字符)"), {}},
        {QStringLiteral("购买方经办人证件类型"), QStringLiteral(" 非必填\n(限40字符)"),
         QStringLiteral("sfzjlx!$A$1:$A$44")},
        {QStringLiteral("购买方经办人证件号码"), QStringLiteral("非必填\n(限30字符)\t"), {}},
        {QStringLiteral("经办人国籍(地区)"), QStringLiteral("非必填\n(限40字符)"),
         QStringLiteral("gjhdq!$A$1:$A$245")},
        {QStringLiteral("经办人自然人纳税人识别号"), QStringLiteral("非必填\n(限20字符)\t"), {}},
        {QStringLiteral("放弃享受减按1%征收率\n原因"), QStringLiteral("非必填\n(限100字符)"), {}},
        {QStringLiteral("收款人"), QStringLiteral("非必填\n(限16字符)\t"), {}},
        {QStringLiteral("复核人"), QStringLiteral("非必填\n(限16字符)"), {}},
    };
}

QList<PlatformColumn> officialDetailColumns() {
    return {
        {QStringLiteral("发票流水号"), QStringLiteral("必填\n（限20字符)"), {}},
        {QStringLiteral("项目名称"), QStringLiteral("必填\n（限100字符)"), {}},
        {QStringLiteral("商品和服务税收编码"), QStringLiteral("必填\n（限20字符)"), {}},
        {QStringLiteral("规格型号"), QStringLiteral("非必填\n（限40字符)"), {}},
        {QStringLiteral("单位"), QStringLiteral("有条件必填\n（限22字符)"), {}},
        {QStringLiteral("数量"), QStringLiteral("有条件必填\n（限16字符)\n最大保留13位小数"), {}},
        {QStringLiteral("单价"), QStringLiteral(" 有条件必填\n（限16字符)\n最大保留13位小数"), {}},
        {QStringLiteral("金额"), QStringLiteral("必填\n（限16字符)\n保留两位小数"), {}},
        {QStringLiteral("税率"), QStringLiteral("必填\n（限8字符)\n以小数形式填写，如“0.13”代表税率13%"), {}},
        {QStringLiteral("折扣金额"),
         QStringLiteral("非必填\n（限16字符)\n保留两位小数，系统据此添加折扣行"),
         {}},
        {QStringLiteral("是否使用优惠政策"), QStringLiteral("非必填（是/否）\n（限2字符)"), kYesNo},
        {QStringLiteral("优惠政策类型"), QStringLiteral("非必填\n（限15字符)"),
         QStringLiteral("\"简易征收,稀土产品,免税,不征税,先征后退,100%先征后退,50%先征后退,按3%简易征收,"
                        "按5%简易征收,即征即退30%,即征即退50%,即征即退70%,即征即退100%\"")},
        {QStringLiteral("即征即退类型"), QStringLiteral("非必填\n(限46字符)"),
         QStringLiteral("\"增值税即征即退-软件产品,增值税即征即退-资源综合利用产品\"")},
        {QStringLiteral("煤炭种类"), QStringLiteral("非必填\n（限15字符)"),
         QStringLiteral("\"政府保供煤,市场煤\"")},
    };
}

QByteArray buildPlatformTemplate(const QList<PlatformColumn>& head, const QList<PlatformColumn>& detail,
                                 const QString& extraDetailRows) {
    const QString last = column(int(head.size()) - 1);
    const QString headSheet = visibleSheet(
        head, headColumnStyle,
        QStringLiteral(
            "填表说明：\n1、仅支持数电发票的导入开具；\n2、发票流水号：纳税人自定义，长度不超过20位；\n"
            "6、所有内容输入均为文本格式输入；"),
        QStringLiteral("<mergeCell ref=\"A1:%1\"/><mergeCell ref=\"L2:P2\"/><mergeCell ref=\"L3:O3\"/>")
            .arg(last),
        {});
    const QString detailSheet = visibleSheet(
        detail, detailColumnStyle,
        QStringLiteral("填表说明：\n1、全部数据使用文本输入；\n5、超过2000行后可能会导致系统异常无法开具发票"
                       "，超过5000行后"
                       "无法开具发票，请注意发票明细行数。"),
        QStringLiteral("<mergeCell ref=\"A1:%1\"/>").arg(column(int(detail.size()) - 1)), extraDetailRows);
    const QList<PlatformColumn> special{
        {QStringLiteral("发票流水号"), QStringLiteral("必填\n（限20字符)"), {}},
        {QStringLiteral("建筑服务发生地"), QStringLiteral("必填\n合计（限120字符)"),
         QStringLiteral("xzqhdmJzfw!$A$1:$A$2904")},
        {QStringLiteral("建筑项目名称"), QStringLiteral("必填\n（限80字符)"), {}}};
    const QList<PlatformColumn> extra{
        {QStringLiteral("发票流水号"), QStringLiteral("必填项\n（限20字符)"), {}},
        {QStringLiteral("附加要素名称"), QStringLiteral("必填项\n（限50字符)"), {}},
        {QStringLiteral("附加要素内容"), QStringLiteral("必填项\n（限300字符)"), {}}};
    auto styleNone = [](int) { return -1; };
    return buildXlsx(
        {
            {kHeadSheetName, headSheet, false},
            {QStringLiteral("sfzjlx"),
             listSheet({QStringLiteral("组织机构代码证"), QStringLiteral("营业执照")}), true},
            {QStringLiteral("excelVersion"),
             sheetXml(QStringLiteral(
                 "<row r=\"1\">\n<c r=\"A1\" t=\"inlineStr\"><is><t></t></is></c></row>\n"
                 "<row r=\"2\">\n<c r=\"A2\" t=\"inlineStr\"><is><t></t></is></c></row>\n"
                 "<row r=\"3\">\n<c r=\"A3\" t=\"inlineStr\"><is><t></t></is></c></row>\n"
                 "<row r=\"4\">\n<c r=\"A4\" t=\"inlineStr\"><is><t>pt:20260401</t></is></c></row>\n")),
             true},
            {QStringLiteral("gjhdq"), listSheet({QStringLiteral("阿富汗"), QStringLiteral("中国")}), true},
            {QStringLiteral("xzqhjdxz"), listSheet({QStringLiteral("北京市"), QStringLiteral("天津市")}),
             true},
            {kDetailSheetName, detailSheet, false},
            {QStringLiteral("3-特定业务信息"),
             visibleSheet(special, styleNone, QStringLiteral("填表说明："), {}, {}), false},
            {QStringLiteral("xzqhdm"), listSheet({QStringLiteral("110000")}), true},
            {QStringLiteral("xzqhdmJzfw"), listSheet({QStringLiteral("110101")}), true},
            {QStringLiteral("jtgjlx"), listSheet({QStringLiteral("飞机"), QStringLiteral("火车")}), true},
            {QStringLiteral("4-附加要素信息"),
             visibleSheet(extra, styleNone, QStringLiteral("填表说明："), {}, {}), false},
        },
        styles(), {},
        {{QStringLiteral("docProps/app.xml"),
          QByteArray(
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Properties "
              "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\"/>")}});
}

void addCatalogueCodes(Connection& acct, Connection& config) {
    const RecordsetPtr items = acct.query(QStringLiteral("select FItemID, FNumber, FName from t_IcItem"));
    int n = 0;
    for (const QVariantList& item : items->allRows())
        config.exec(
            QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, FShortName, "
                           "FPreferential, FZeroRate) values (?, ?, ?, ?, ?, 0, '')"),
            {item[0], item[1], item[2],
             QStringLiteral("10905110300000000%1").arg(++n % 100, 2, 10, QChar(u'0')),
             QStringLiteral("简称%1").arg(n)});
}
