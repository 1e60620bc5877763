// The platform's list of a month, made up for the month close: a workbook in the shape of 导出全部,
// large enough to hold a hundred thousand invoices and their goods lines, written without holding them.
#include "batch/Bench.h"
#include "common/ZipArchive.h"
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTemporaryFile>

namespace Bench {
namespace {

const char16_t* const kInvoiceHeadings[] = {u"序号",         u"发票代码", u"发票号码",   u"数电发票号码",
                                            u"销方识别号",   u"销方名称", u"购方识别号", u"购买方名称",
                                            u"开票日期",     u"金额",     u"税额",       u"价税合计",
                                            u"发票来源",     u"发票票种", u"发票状态",   u"是否正数发票",
                                            u"发票风险等级", u"开票人",   u"备注"};
constexpr int kInvoiceColumns = int(std::size(kInvoiceHeadings));
const char16_t* const kGoodsHeadings[] = {u"税收分类编码", u"特定业务类型", u"货物或应税劳务名称",
                                          u"规格型号",     u"单位",         u"数量",
                                          u"单价",         u"金额",         u"税率",
                                          u"税额",         u"价税合计"};

// Goods a line may hold: its tax class code, its name as the invoice shows it, its unit.
struct Goods {
    const char16_t *code, *name, *unit;
};
const Goods kGoods[] = {
    {u"1090511990000000000", u"*计算机外部设备*激光打印机", u"台"},
    {u"1090512990000000000", u"*计算机外部设备*液晶显示器", u"台"},
    {u"1060201070000000000", u"*纸制品*复印纸", u"箱"},
    {u"1090513010000000000", u"*计算机配套产品*无线键盘", u"个"},
    {u"3040201000000000000", u"*信息技术服务*软件维护服务", u"次"},
};

[[noreturn]] void cannotWrite(const QString& path, const QString& why) {
    throw Failure{QStringLiteral("cannot write %1: %2").arg(path, why)};
}

void escapeInto(QByteArray& out, const QString& text) {
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
}

// Cents as Excel writes the number: no trailing zeros ("1130.5", "-3").
QByteArray centsNumber(qint64 cents) {
    QByteArray out = cents < 0 ? "-" : "";
    const quint64 c = cents < 0 ? quint64(-cents) : quint64(cents);
    out += QByteArray::number(c / 100);
    if (const int frac = int(c % 100)) {
        out += '.';
        out += char('0' + frac / 10);
        if (frac % 10) out += char('0' + frac % 10);
    }
    return out;
}

// The shared strings as Excel keeps them: a text used on many rows is one entry; a text of one invoice
// alone (its number, its time, its 备注) or of one goods line is an entry of its own. The entries go to a
// file beside the workbook as they are made, as the sheets are written before the strings' part.
class StringTable {
public:
    explicit StringTable(const QString& path) : m_file(path + QStringLiteral(".strings")) {
        if (!m_file.open()) cannotWrite(path, m_file.errorString());
    }
    int shared(const QString& text) {
        ++m_uses;
        if (const auto it = m_index.constFind(text); it != m_index.constEnd()) return *it;
        const int i = add(text);
        m_index.insert(text, i);
        return i;
    }
    // An entry of its own, used where use() says.
    int single(const QString& text) { return add(text); }
    void use() { ++m_uses; }

    void writeTo(ZipWriter& zip) {
        flush();
        zip.beginMember(QStringLiteral("xl/sharedStrings.xml"));
        zip.write(QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<sst "
                             "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"") +
                  QByteArray::number(m_uses) + "\" uniqueCount=\"" + QByteArray::number(m_count) + "\">");
        m_file.seek(0);
        while (!m_file.atEnd())
            zip.write(m_file.read(1 << 20));
        zip.write(QByteArray("</sst>"));
        zip.endMember();
    }

private:
    int add(const QString& text) {
        m_pending += "<si><t>";
        escapeInto(m_pending, text);
        m_pending += "</t></si>";
        if (m_pending.size() > (1 << 20)) flush();
        return m_count++;
    }
    void flush() {
        if (m_file.write(m_pending) != m_pending.size()) cannotWrite(m_file.fileName(), m_file.errorString());
        m_pending.clear();
    }

    QTemporaryFile m_file;
    QByteArray m_pending;
    QHash<QString, int> m_index;
    int m_count = 0;
    qint64 m_uses = 0;
};

// A sheet's rows, written into its member as they are made.
class SheetWriter {
public:
    SheetWriter(ZipWriter& zip, const QString& member, int columns) : m_zip(zip) {
        zip.beginMember(member);
        m_xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<worksheet "
                "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews><sheetFormatPr "
                "defaultRowHeight=\"15\"/><sheetData>";
        m_spans = "1:" + QByteArray::number(columns);
    }
    void beginRow() {
        ++m_row;
        m_column = 0;
        m_rowText = QByteArray::number(m_row);
        m_xml += "<row r=\"" + m_rowText + "\" spans=\"" + m_spans + "\">";
    }
    void text(int index) {
        ref();
        m_xml += "\" t=\"s\"><v>" + QByteArray::number(index) + "</v></c>";
    }
    void number(const QByteArray& value) {
        ref();
        m_xml += "\"><v>" + value + "</v></c>";
    }
    void skip() { ++m_column; }
    void endRow() {
        m_xml += "</row>";
        if (m_xml.size() > (1 << 20)) flush();
    }
    void finish() {
        m_xml += "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
                 "header=\"0.3\" footer=\"0.3\"/></worksheet>";
        flush();
        m_zip.endMember();
    }

private:
    void ref() {
        m_xml += "<c r=\"";
        const int c = m_column++;
        if (c >= 26) m_xml += char('A' + c / 26 - 1);
        m_xml += char('A' + c % 26);
        m_xml += m_rowText;
    }
    void flush() {
        m_zip.write(m_xml);
        m_xml.clear();
    }

    ZipWriter& m_zip;
    QByteArray m_xml, m_spans, m_rowText;
    int m_row = 0, m_column = 0;
};

// The strings of an invoice that are its own, in the shared strings.
struct InvoiceStrings {
    int number = -1, issued = -1, remark = -1;
};

// The columns an invoice's row and each of its goods lines begin with, up to 开票日期.
void invoiceHead(SheetWriter& sheet, StringTable& strings, const ListInvoice& inv, const InvoiceStrings& own,
                 int sequence, const ListSeller& seller) {
    sheet.number(QByteArray::number(sequence));
    sheet.skip(); // 发票代码, 发票号码: none on a 数电 invoice
    sheet.skip();
    strings.use();
    sheet.text(own.number);
    sheet.text(strings.shared(seller.taxNo));
    sheet.text(strings.shared(seller.name));
    if (inv.buyerTaxNo.isEmpty())
        sheet.skip();
    else
        sheet.text(strings.shared(inv.buyerTaxNo));
    sheet.text(strings.shared(inv.buyerName));
    strings.use();
    sheet.text(own.issued);
}

// The columns after the amounts, to 备注.
void invoiceTail(SheetWriter& sheet, StringTable& strings, const ListInvoice& inv, const InvoiceStrings& own,
                 const ListSeller& seller) {
    sheet.text(strings.shared(QStringLiteral("电子发票服务平台")));
    sheet.text(strings.shared(inv.kind));
    sheet.text(strings.shared(inv.state));
    sheet.text(strings.shared(inv.red ? QStringLiteral("否") : QStringLiteral("是")));
    sheet.text(strings.shared(QStringLiteral("正常")));
    sheet.text(strings.shared(seller.drawer));
    if (own.remark < 0) return;
    strings.use();
    sheet.text(own.remark);
}

void headings(SheetWriter& sheet, StringTable& strings, QList<const char16_t*> names) {
    sheet.beginRow();
    for (const char16_t* name : names)
        sheet.text(strings.shared(QString::fromUtf16(name)));
    sheet.endRow();
}

QByteArray workbookParts(const char* which) {
    const QByteArray ns = "http://schemas.openxmlformats.org/";
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    const QByteArray rel = ns + "officeDocument/2006/relationships/";
    if (qstrcmp(which, "types") == 0)
        return head + "<Types xmlns=\"" + ns +
               "package/2006/content-types\"><Default Extension=\"rels\" "
               "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
               "Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
               "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
               "<Override PartName=\"/xl/worksheets/sheet2.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
               "<Override PartName=\"/xl/styles.xml\" "
               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
               "<Override PartName=\"/xl/sharedStrings.xml\" "
               "ContentType=\"application/"
               "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
               "</Types>";
    if (qstrcmp(which, "rels") == 0)
        return head + "<Relationships xmlns=\"" + ns +
               "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel +
               "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    if (qstrcmp(which, "workbookRels") == 0)
        return head + "<Relationships xmlns=\"" + ns +
               "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel +
               "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
               "worksheet\" Target=\"worksheets/sheet2.xml\"/><Relationship Id=\"rId3\" Type=\"" + rel +
               "styles\" Target=\"styles.xml\"/><Relationship Id=\"rId4\" Type=\"" + rel +
               "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";
    return head + "<styleSheet xmlns=\"" + ns +
           "spreadsheetml/2006/main\"><fonts count=\"1\"><font><sz val=\"11\"/><name "
           "val=\"宋体\"/></font></fonts><fills count=\"1\"><fill><patternFill "
           "patternType=\"none\"/></fill></fills><borders count=\"1\"><border/></borders><cellStyleXfs "
           "count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs "
           "count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
           "xfId=\"0\"/></cellXfs></styleSheet>";
}

} // namespace

void writeRealShapeList(const QString& path, const QList<ListInvoice>& invoices, int goodsLinesPerInvoice,
                        const ListSeller& seller) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) cannotWrite(path, out.errorString());
    const int lines = std::max(1, goodsLinesPerInvoice);
    try {
        ZipWriter zip(out);
        StringTable strings(path);
        zip.beginMember(QStringLiteral("[Content_Types].xml"));
        zip.write(workbookParts("types"));
        zip.endMember();
        zip.beginMember(QStringLiteral("_rels/.rels"));
        zip.write(workbookParts("rels"));
        zip.endMember();
        zip.beginMember(QStringLiteral("xl/workbook.xml"));
        const QByteArray ns = "http://schemas.openxmlformats.org/";
        zip.write("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<workbook xmlns=\"" + ns +
                  "spreadsheetml/2006/main\" xmlns:r=\"" + ns +
                  "officeDocument/2006/relationships\"><bookViews><workbookView/></bookViews><sheets><sheet "
                  "name=\"" +
                  QStringLiteral("发票基础信息").toUtf8() + "\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"" +
                  QStringLiteral("信息汇总表").toUtf8() +
                  "\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>");
        zip.endMember();
        zip.beginMember(QStringLiteral("xl/_rels/workbook.xml.rels"));
        zip.write(workbookParts("workbookRels"));
        zip.endMember();

        // 发票基础信息: an invoice a row, the totals under them.
        QList<InvoiceStrings> own(invoices.size());
        {
            SheetWriter sheet(zip, QStringLiteral("xl/worksheets/sheet1.xml"), kInvoiceColumns);
            headings(sheet, strings, {std::begin(kInvoiceHeadings), std::end(kInvoiceHeadings)});
            qint64 amount = 0, tax = 0;
            for (qsizetype i = 0; i < invoices.size(); ++i) {
                const ListInvoice& inv = invoices[i];
                InvoiceStrings& s = own[i];
                sheet.beginRow();
                s.number = strings.single(inv.digitalNumber);
                s.issued = strings.single(inv.issued.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
                if (!inv.remark.isEmpty()) s.remark = strings.single(inv.remark);
                invoiceHead(sheet, strings, inv, s, int(i + 1), seller);
                sheet.number(centsNumber(inv.amountCents));
                sheet.number(centsNumber(inv.taxCents));
                sheet.number(centsNumber(inv.amountCents + inv.taxCents));
                invoiceTail(sheet, strings, inv, s, seller);
                sheet.endRow();
                amount += inv.amountCents;
                tax += inv.taxCents;
            }
            sheet.beginRow();
            sheet.text(strings.shared(QStringLiteral("合计")));
            for (int c = 1; c < 9; ++c)
                sheet.skip();
            sheet.number(centsNumber(amount));
            sheet.number(centsNumber(tax));
            sheet.number(centsNumber(amount + tax));
            sheet.endRow();
            sheet.finish();
        }

        // 信息汇总表: each invoice's goods lines, its amounts shared out over them.
        {
            QList<const char16_t*> names(std::begin(kInvoiceHeadings), std::begin(kInvoiceHeadings) + 9);
            names.append({std::begin(kGoodsHeadings), std::end(kGoodsHeadings)});
            for (int c = 12; c < kInvoiceColumns; ++c)
                names.append(kInvoiceHeadings[c]);
            SheetWriter sheet(zip, QStringLiteral("xl/worksheets/sheet2.xml"), int(names.size()));
            headings(sheet, strings, names);
            int sequence = 0;
            for (qsizetype i = 0; i < invoices.size(); ++i) {
                const ListInvoice& inv = invoices[i];
                for (int l = 0; l < lines; ++l) {
                    const bool last = l == lines - 1;
                    const qint64 amount = last ? inv.amountCents - inv.amountCents / lines * (lines - 1)
                                               : inv.amountCents / lines;
                    const qint64 tax =
                        last ? inv.taxCents - inv.taxCents / lines * (lines - 1) : inv.taxCents / lines;
                    const Goods& g = kGoods[(i + l) % qsizetype(std::size(kGoods))];
                    sheet.beginRow();
                    invoiceHead(sheet, strings, inv, own[i], ++sequence, seller);
                    sheet.text(strings.shared(QString::fromUtf16(g.code)));
                    sheet.skip(); // 特定业务类型
                    sheet.text(strings.shared(QString::fromUtf16(g.name)));
                    // A model of its own on each line: the most strings a month's list holds.
                    strings.use();
                    sheet.text(
                        strings.single(QStringLiteral("XM-%1").arg(sequence, 7, 36, QChar(u'0')).toUpper()));
                    sheet.text(strings.shared(QString::fromUtf16(g.unit)));
                    sheet.number(QByteArray::number(l + 1));
                    sheet.number(QByteArray::number(double(amount) / 100 / (l + 1), 'g', 15));
                    sheet.number(centsNumber(amount));
                    sheet.text(strings.shared(QStringLiteral("13%")));
                    sheet.number(centsNumber(tax));
                    sheet.number(centsNumber(amount + tax));
                    invoiceTail(sheet, strings, inv, own[i], seller);
                    sheet.endRow();
                }
            }
            sheet.finish();
        }

        zip.beginMember(QStringLiteral("xl/styles.xml"));
        zip.write(workbookParts("styles"));
        zip.endMember();
        strings.writeTo(zip);
        zip.close();
    } catch (const DbError& e) {
        cannotWrite(path, e.description());
    }
    if (!out.commit()) cannotWrite(path, out.errorString());
}

} // namespace Bench
