#include "import/PlatformList.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "import/IssuedWriteBack.h"
#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace {
// The headings the list is found by, and the columns read.
enum Column {
    BuyerName,
    Digital,
    Number,
    Code,
    SellerTaxNo,
    BuyerTaxNo,
    Date,
    Amount,
    Tax,
    Kind,
    State,
    Positive,
    Remark,
    ColumnCount
};
const char16_t* const kHeadings[ColumnCount] = {
    u"购买方名称", u"数电发票号码", u"发票号码", u"发票代码", u"销方识别号",   u"购方识别号", u"开票日期",
    u"金额",       u"税额",         u"发票票种", u"发票状态", u"是否正数发票", u"备注"};

// The column a heading stands for, or -1; exports made before 2025 head the 数电发票号码 全电发票号码.
int columnOf(const QString& heading) {
    static const QHash<QString, int> columns = [] {
        QHash<QString, int> out;
        for (int c = 0; c < ColumnCount; ++c)
            out.insert(QString::fromUtf16(kHeadings[c]), c);
        out.insert(QStringLiteral("全电发票号码"), Digital);
        return out;
    }();
    return columns.value(heading, -1);
}

// A heading of a goods line: a sheet that has one holds a row per line, not per invoice.
bool isGoodsHeading(const QString& heading) {
    static const QSet<QString> goods{QStringLiteral("货物或应税劳务名称"),
                                     QStringLiteral("货物或应税劳务、服务名称"),
                                     QStringLiteral("项目名称"),
                                     QStringLiteral("商品名称"),
                                     QStringLiteral("规格型号"),
                                     QStringLiteral("数量"),
                                     QStringLiteral("单价")};
    return goods.contains(heading);
}

const QString kInvoiceSheet = QStringLiteral("发票基础信息");
// Heading rows are looked for this far down a sheet.
constexpr int kHeadingRows = 50;

[[noreturn]] void refuse(const QString& text) {
    throw DbError(ErrNo::General, text);
}

QString notTheList(const char16_t* heading) {
    return QStringLiteral("不是平台导出的发票清单：找不到列“%1”").arg(QString::fromUtf16(heading));
}

// What the platform writes where a value is missing: -- (a 数电发票号码 of a tax-control invoice), - or —.
bool isPlaceholder(const QString& text) {
    if (text.isEmpty()) return true;
    for (const QChar c : text)
        if (c != u'-' && c != u'—' && c != u'–' && c != u'－') return false;
    return true;
}

// Money as a text or a number cell, with or without grouping; the asterisks of a tax-free line are 0.
double money(const XlsxRow& row, int column, const char16_t* heading) {
    QString text = row.text(column).trimmed();
    text.remove(u',').remove(u'¥').remove(u'￥');
    if (isPlaceholder(text) || text.count(u'*') == text.size()) return 0;
    double value = 0;
    if (!strictNumber(text, value))
        refuse(QStringLiteral("发票清单第%1行的%2“%3”不是数字。")
                   .arg(row.number)
                   .arg(QString::fromUtf16(heading), row.text(column)));
    return value;
}

// 开票日期: a date cell, a text yyyy-MM-dd (with or without a time, or with slashes), or a bare day
// number where the cell lost its date format.
QString dateText(const XlsxRow& row, int column) {
    const XlsxCell* cell = row.cell(column);
    if (!cell || (!cell->number && isPlaceholder(cell->text.trimmed()))) return QString();
    QDate date;
    if (cell->date)
        date = cell->dateTime.date();
    else if (cell->number)
        date = QDate(1899, 12, 30).addDays(qint64(std::floor(cell->text.toDouble())));
    else {
        QString text = cell->text.trimmed().left(10);
        text.replace(u'/', u'-');
        if (const std::optional<QDate> day = isoDay(text)) {
            if (day->isValid()) return text;
        } else {
            date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid()) date = QDate::fromString(text, QStringLiteral("yyyy-M-d"));
        }
    }
    if (!date.isValid())
        refuse(QStringLiteral("发票清单第%1行的开票日期“%2”不是日期。").arg(row.number).arg(cell->text));
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

// A sheet's heading row: the first row that has 购买方名称 and an invoice number column.
struct SheetHeading {
    const XlsxSheet* sheet = nullptr;
    int row = 0; // its number; 0: none
    int columns[ColumnCount];
    bool goods = false;    // it also heads goods lines
    bool sawBuyer = false; // 购买方名称 stands in a row, with no number column beside it
};

// Reads the sheet only down to its heading row.
SheetHeading headingRow(XlsxReader& reader, const XlsxSheet& sheet) {
    SheetHeading h;
    h.sheet = &sheet;
    auto isHeading = [&h](const XlsxRow& row) {
        int columns[ColumnCount];
        std::fill(std::begin(columns), std::end(columns), -1);
        bool goods = false;
        for (const XlsxCell& cell : row.cells) {
            const QString heading = platformHeading(cell.text);
            const int c = columnOf(heading);
            if (c >= 0 && columns[c] < 0) columns[c] = cell.column;
            goods = goods || isGoodsHeading(heading);
        }
        if (columns[BuyerName] < 0) return false;
        h.sawBuyer = true;
        if (columns[Digital] < 0 && columns[Number] < 0) return false;
        h.row = row.number;
        std::copy(std::begin(columns), std::end(columns), std::begin(h.columns));
        h.goods = goods;
        return true;
    };
    reader.rows(sheet, XlsxStop{kHeadingRows, isHeading, true});
    return h;
}

// The sheet of one row per invoice: by its name, else the one visible sheet headed as invoices and not
// as goods lines. Chosen from the heading rows alone, before any sheet is read whole.
SheetHeading invoiceSheet(XlsxReader& reader) {
    for (const XlsxSheet& sheet : reader.sheets())
        if (sheet.name.trimmed() == kInvoiceSheet) {
            const SheetHeading h = headingRow(reader, sheet);
            if (h.row == 0) refuse(notTheList(h.sawBuyer ? kHeadings[Digital] : kHeadings[BuyerName]));
            return h;
        }
    QList<SheetHeading> found;
    bool sawBuyer = false, sawGoods = false;
    for (const XlsxSheet& sheet : reader.sheets()) {
        if (sheet.hidden) continue;
        const SheetHeading h = headingRow(reader, sheet);
        sawBuyer = sawBuyer || h.sawBuyer;
        if (h.row > 0 && h.goods) sawGoods = true;
        if (h.row > 0 && !h.goods) found.append(h);
    }
    if (found.size() == 1) return found.first();
    if (found.size() > 1) {
        QStringList names;
        for (const SheetHeading& h : found)
            names << QStringLiteral("“%1”").arg(h.sheet->name);
        refuse(QStringLiteral("发票清单中有%1张工作表都像发票基础信息表（%2），无法确定读哪一张，"
                              "请只保留平台导出的那一张后再引入。")
                   .arg(found.size())
                   .arg(names.join(u'、')));
    }
    if (sawGoods)
        refuse(
            QStringLiteral("发票清单中没有发票基础信息表（每张发票一行），请从平台导出全部信息后再引入。"));
    refuse(notTheList(sawBuyer ? kHeadings[Digital] : kHeadings[BuyerName]));
}

// A number Excel made of a long number: a number cell of more than 15 digits keeps only 15 of them (the
// rest are zeros), and one saved as text shows its exponent.
bool excelCut(const XlsxRow& row, int column) {
    const XlsxCell* cell = column < 0 ? nullptr : row.cell(column);
    if (!cell) return false;
    if (cell->number) {
        const QString digits = cell->text.section(u'.', 0, 0).remove(u'-');
        return digits.size() > 15;
    }
    static const QRegularExpression exponent(QStringLiteral("^\\s*\\d(\\.\\d+)?[eE]\\+?\\d+\\s*$"));
    return exponent.match(cell->text).hasMatch();
}

// The totals row under the invoices: its first text says 合计 (or 合计行).
bool isTotals(const XlsxRow& row) {
    for (const XlsxCell& cell : row.cells)
        if (!cell.number) {
            const QString first = platformHeading(cell.text);
            return first == u"合计" || first == u"合计行";
        }
    return false;
}

// Each invoice of the list, in sheet order.
void readList(XlsxReader& reader, const std::function<void(const PlatformInvoice&)>& each) {
    const SheetHeading h = invoiceSheet(reader);
    const int* columns = h.columns;
    for (const Column c : {Date, Amount, Tax})
        if (columns[c] < 0) refuse(notTheList(kHeadings[c]));
    // Texts that repeat down the list (the seller, a buyer, a day, a kind, a state) are held once.
    QSet<QString> repeated;
    auto once = [&repeated](const QString& t) { return t.isEmpty() ? t : *repeated.insert(t); };
    // Row by row as the sheet unpacks: a month's list is never held as a sheet, only as its invoices.
    reader.readRows(*h.sheet, {}, [&](const XlsxRow& row) {
        if (row.number <= h.row || isTotals(row)) return;
        auto text = [&](Column c) {
            const QString t = columns[c] < 0 ? QString() : row.text(columns[c]).trimmed();
            return isPlaceholder(t) ? QString() : t;
        };
        PlatformInvoice inv;
        inv.row = row.number;
        inv.buyerName = once(text(BuyerName));
        const bool cut = excelCut(row, columns[Digital]) || excelCut(row, columns[Number]);
        if (!cut) {
            inv.digitalNumber = text(Digital);
            inv.code = text(Code);
            inv.number = text(Number);
        }
        // A number cell lost the leading zeros of an eight-digit 发票号码.
        if (columns[Number] >= 0 && row.cell(columns[Number]) && row.cell(columns[Number])->number &&
            !inv.number.isEmpty() && inv.number.size() < 8)
            inv.number = inv.number.rightJustified(8, u'0');
        if (cut) {
            inv.unusable = PlatformInvoice::Unusable::ExcelNumber;
        } else if (inv.digitalNumber.isEmpty() && inv.number.isEmpty()) {
            // A row of nothing an invoice has (a note under the list) is none; one that has a buyer or a
            // date is an invoice that cannot be placed.
            if (inv.buyerName.isEmpty() && inv.code.isEmpty() && text(Date).isEmpty()) return;
            inv.unusable = PlatformInvoice::Unusable::NoNumber;
        }
        inv.sellerTaxNo = once(text(SellerTaxNo));
        inv.buyerTaxNo = once(text(BuyerTaxNo));
        inv.date = once(dateText(row, columns[Date]));
        inv.amount = money(row, columns[Amount], kHeadings[Amount]);
        inv.tax = money(row, columns[Tax], kHeadings[Tax]);
        inv.kind = once(text(Kind));
        inv.state = once(text(State));
        inv.remark = columns[Remark] < 0 || text(Remark).isEmpty() ? QString() : row.text(columns[Remark]);
        inv.red = text(Positive) == u"否" || inv.amount < 0;
        each(inv);
    });
}

} // namespace

// A heading as compared: without blanks, line breaks or the asterisk of a required column, full-width
// brackets as ASCII ones.
QString platformHeading(const QString& text) {
    QString out;
    for (QChar c : text) {
        if (c.isSpace() || c == u'*' || c == u'＊') continue;
        if (c == u'（')
            c = u'(';
        else if (c == u'）')
            c = u')';
        out += c;
    }
    return out;
}

// A month of the platform's export in one file: 100,000 invoices under their heading and over the totals
// row, the texts of its 500,000 goods lines among the shared strings. The goods sheet itself is only
// looked at down to its heading, so the size caps are those of the invoices' sheet.
XlsxCaps platformListCaps() {
    XlsxCaps caps;
    caps.maxRows = 200000;
    caps.maxColumns = 256;
    caps.maxPartSize = 512 * 1024 * 1024;
    caps.maxSharedStrings = 4000000;
    return caps;
}

namespace {
QString moneyText(double v) {
    return decimalText(v, 2);
}

// What the 发票状态 says about a blue invoice.
enum class Flush { None, Partly, Wholly, Cancelled };
Flush flushOf(const QString& state) {
    if (state.contains(u"作废")) return Flush::Cancelled;
    if (!state.contains(u"红冲")) return Flush::None;
    return state.contains(u"部分") ? Flush::Partly : Flush::Wholly;
}

QStringList invoiceFields(const PlatformWriteBackResult::Unmatched& u) {
    return {u.invoice.numberText(), u.invoice.buyerName, moneyText(u.invoice.amount),
            moneyText(u.invoice.tax)};
}

// A row of the list without a number it can be known by: the row instead.
QString rowText(const PlatformInvoice& inv) {
    return QStringLiteral("第%1行").arg(inv.row);
}
QStringList rowFields(const PlatformWriteBackResult::Unmatched& u) {
    return {rowText(u.invoice), u.invoice.buyerName, moneyText(u.invoice.amount), moneyText(u.invoice.tax)};
}

QString blueText(const PlatformWriteBackResult::Unmatched& u) {
    return QStringLiteral("被红冲的蓝字发票%1未回写过").arg(u.blue);
}

// A document exported and not issued yet (by its index among the open documents): its rows summed up.
struct OpenDocument {
    qint64 amount = 0, tax = 0;          // cents
    int buyerTaxNo = -1, buyerName = -1; // in the list's buyers
    bool amountsKnown = true;
    bool closed = false; // written back by this list
};

// A tax invoice the ledger holds already.
struct WrittenInvoice {
    QString code, number, issueState;
    double issuedAmount = 0;
    bool stands = false; // on export rows that stand (its state can still change)
    QString docNo;       // the document it was written back onto
};
} // namespace

QString PlatformInvoice::numberText() const {
    if (unusable != Unusable::No) return QString();
    if (!digitalNumber.isEmpty()) return digitalNumber;
    return Ledger::numberText(code, number);
}

QString PlatformInvoice::namedBlue() const {
    // 被红冲蓝字数电发票号码：<20 digits> 红字发票信息确认单编号：…, also 数电票号码; for a tax-control
    // invoice 对应正数发票代码:…号码:… (the export's own remark of a red document writes it without colons).
    static const QRegularExpression digital(
        QStringLiteral("被红冲蓝字数电发?票号码\\s*[:：]?\\s*(\\d{20})(?!\\d)"));
    static const QRegularExpression coded(
        QStringLiteral("发票代码\\s*[:：]?\\s*(\\d{10,12})\\s*[,，]?\\s*号码\\s*[:：]?\\s*(\\d{8})(?!\\d)"));
    const QRegularExpressionMatch d = digital.match(remark);
    if (d.hasMatch()) return d.captured(1);
    const QRegularExpressionMatch c = coded.match(remark);
    if (c.hasMatch()) return Ledger::numberText(c.captured(1), c.captured(2));
    return QString();
}

QString PlatformInvoice::redConfirmNo() const {
    static const QRegularExpression confirm(
        QStringLiteral("红字发票信息确认单编号\\s*[:：]?\\s*([0-9A-Za-z]+)"));
    return confirm.match(remark).captured(1);
}

QList<PlatformInvoice> readPlatformList(const QString& path, const XlsxCaps& caps) {
    XlsxReader reader(path, caps);
    QList<PlatformInvoice> out;
    readList(reader, [&out](const PlatformInvoice& inv) { out.append(inv); });
    return out;
}

QList<PlatformInvoice> readPlatformList(const QByteArray& bytes, const QString& displayName,
                                        const XlsxCaps& caps) {
    XlsxReader reader(bytes, displayName, caps);
    QList<PlatformInvoice> out;
    readList(reader, [&out](const PlatformInvoice& inv) { out.append(inv); });
    return out;
}

PlatformInvoices readPlatformInvoices(const QString& path) {
    XlsxReader reader(path, platformListCaps());
    PlatformInvoices out;
    readList(reader, [&out](const PlatformInvoice& inv) { out.append(inv); });
    return out;
}

PlatformInvoices::PlatformInvoices(const QList<PlatformInvoice>& list) {
    for (const PlatformInvoice& inv : list)
        append(inv);
}

quint32 PlatformInvoices::repeatedIndex(const QString& text) {
    if (text.isEmpty()) return 0;
    const auto it = m_repeatedIndex.constFind(text);
    if (it != m_repeatedIndex.constEnd()) return *it;
    const quint32 index = quint32(m_repeated.size());
    m_repeated.append(text);
    m_repeatedIndex.insert(text, index);
    return index;
}

namespace {
// What an invoice and its packed form hold alike, from one to the other.
template <class From, class To> void copyPlainFields(const From& from, To& to) {
    to.row = from.row;
    to.amount = from.amount;
    to.tax = from.tax;
    to.red = from.red;
    to.unusable = from.unusable;
}
} // namespace

void PlatformInvoices::append(const PlatformInvoice& inv) {
    Item item;
    copyPlainFields(inv, item);
    item.digital = !inv.digitalNumber.isEmpty();
    // The 数电发票号码 is the number text where there is one; else the number text is held.
    const QString own[4] = {item.digital ? inv.digitalNumber : inv.numberText(), inv.code, inv.number,
                            inv.remark};
    qsizetype length = 0;
    for (const QString& t : own)
        length += t.size();
    constexpr qsizetype kChunk = 1 << 16;
    if (m_texts.isEmpty() || m_texts.constLast().size() + length > m_texts.constLast().capacity()) {
        QString chunk;
        chunk.reserve(std::max(kChunk, length));
        m_texts.append(std::move(chunk));
    }
    QString& chunk = m_texts.last();
    item.chunk = quint32(m_texts.size() - 1);
    item.at = quint32(chunk.size());
    for (int f = 0; f < 4; ++f) {
        item.lengths[f] = quint32(own[f].size());
        chunk += own[f];
    }
    const QString* repeated[6] = {&inv.sellerTaxNo, &inv.buyerTaxNo, &inv.buyerName,
                                  &inv.date,        &inv.kind,       &inv.state};
    for (int f = 0; f < 6; ++f)
        item.repeated[f] = repeatedIndex(*repeated[f]);
    m_items.push_back(item);
}

QStringView PlatformInvoices::text(qsizetype i, int field) const {
    const Item& item = m_items.at(i);
    qsizetype at = item.at;
    for (int f = 0; f < field; ++f)
        at += item.lengths[f];
    return QStringView(m_texts.at(item.chunk)).mid(at, item.lengths[field]);
}

PlatformInvoice PlatformInvoices::at(qsizetype i) const {
    const Item& item = m_items.at(i);
    PlatformInvoice inv;
    copyPlainFields(item, inv);
    if (item.digital) inv.digitalNumber = text(i, 0).toString();
    inv.code = text(i, 1).toString();
    inv.number = text(i, 2).toString();
    inv.remark = text(i, 3).toString();
    QString* repeated[6] = {&inv.sellerTaxNo, &inv.buyerTaxNo, &inv.buyerName,
                            &inv.date,        &inv.kind,       &inv.state};
    for (int f = 0; f < 6; ++f)
        *repeated[f] = m_repeated.at(item.repeated[f]);
    return inv;
}

QList<PlatformInvoice> readPlatformList(const QString& path) {
    return readPlatformList(path, platformListCaps());
}

QList<PlatformInvoice> readPlatformList(const QByteArray& bytes, const QString& displayName) {
    return readPlatformList(bytes, displayName, platformListCaps());
}

QStringList PlatformWriteBackResult::lines() const {
    QStringList out;
    // Read again: what it lists was written back before (what matched nothing is still said below).
    if (written == 0 && flushed == 0 && partlyFlushed == 0 && already > 0)
        out << QStringLiteral("清单中的%1张发票都已回写过。").arg(already);
    else
        out << QStringLiteral("回写数电发票%1张（按单据号%2张，按购方和金额%3张），红冲%4张。")
                   .arg(written)
                   .arg(byDocNo)
                   .arg(byBuyer)
                   .arg(flushed);
    if (otherSeller > 0)
        out << QStringLiteral("%1张发票的销方识别号不是本账套的税号，未处理。").arg(otherSeller);
    if (!noNumber.isEmpty()) {
        out << QStringLiteral("%1张发票没有发票号码，未处理：").arg(noNumber.size());
        for (const Unmatched& u : noNumber)
            out << rowFields(u).join(u'\t');
    }
    if (!excelNumber.isEmpty()) {
        out << QStringLiteral("%1张发票的号码被Excel改成了数字（如2.6442E+19），无法确认，未处理：")
                   .arg(excelNumber.size());
        for (const Unmatched& u : excelNumber)
            out << rowFields(u).join(u'\t');
    }
    if (!notFound.isEmpty()) {
        out << QStringLiteral("%1张发票未找到引出的单据：").arg(notFound.size());
        for (const Unmatched& u : notFound)
            out << (u.blue.isEmpty() ? invoiceFields(u) : invoiceFields(u) << blueText(u)).join(u'\t');
    }
    if (!ambiguous.isEmpty()) {
        out << QStringLiteral("%1张发票有多张候选单据，未回写：").arg(ambiguous.size());
        for (const Unmatched& u : ambiguous)
            out << (invoiceFields(u) << u.candidates.join(u',')).join(u'\t');
    }
    if (!outAgain.isEmpty()) {
        out << QStringLiteral("%1张发票未回写（单据的成员已另行引出）：").arg(outAgain.size());
        for (const Unmatched& u : outAgain)
            out << (QStringList{u.invoice.numberText()} << u.candidates).join(u'\t');
    }
    return out;
}

QString PlatformWriteBackResult::howText(How how) {
    switch (how) {
    case How::DocNo:
        return QStringLiteral("按单据号");
    case How::Buyer:
        return QStringLiteral("按购方和金额");
    case How::Blue:
        return QStringLiteral("按被红冲的蓝字发票");
    }
    return QString();
}

QStringList PlatformWriteBackResult::placedLines() const {
    QStringList out;
    for (const Placed& p : placed)
        out << QStringList{invoice(p).numberText(), p.docNo, howText(p.how)}.join(u'\t');
    return out;
}

QList<std::pair<QString, PlatformWriteBackResult::Unmatched>> PlatformWriteBackResult::listed() const {
    QList<std::pair<QString, Unmatched>> out;
    for (const Unmatched& u : noNumber)
        out.append({QStringLiteral("没有发票号码（%1）").arg(rowText(u.invoice)), u});
    for (const Unmatched& u : excelNumber)
        out.append({QStringLiteral("号码被Excel改成了数字（%1）").arg(rowText(u.invoice)), u});
    for (const Unmatched& u : notFound)
        out.append({u.blue.isEmpty() ? QStringLiteral("未找到引出的单据")
                                     : QStringLiteral("未找到引出的单据（%1）").arg(blueText(u)),
                    u});
    for (const Unmatched& u : ambiguous)
        out.append({QStringLiteral("有多张候选单据"), u});
    for (const Unmatched& u : outAgain)
        out.append({QStringLiteral("单据的成员已另行引出"), u});
    return out;
}

QByteArray PlatformWriteBackResult::csv() const {
    QString text = QStringLiteral("结果,数电发票号码,购买方名称,金额,税额,候选单据\r\n");
    for (const auto& [what, u] : listed())
        text += csvLine(QStringList{what} + invoiceFields(u) << u.candidates.join(u','));
    return csvFileBytes(text);
}

PlatformWriteBack::PlatformWriteBack(const Session& session) : m_session(session) {}

bool PlatformWriteBack::run(const QString& path, bool preview) {
    m_result = {};
    try {
        m_result.invoices = readPlatformInvoices(path);
    } catch (const DbError& e) {
        m_result = {};
        showMsg(e.description());
        return false;
    }
    return work(preview);
}

namespace {
// One list written back: what the ledger holds, read once, and each invoice of the list matched against it.
class ListWriteBack {
public:
    ListWriteBack(Connection& acct, IssuedWriteBack& writeBack, PlatformWriteBackResult& result)
        : m_acct(acct), m_writeBack(writeBack), m_res(result) {}

    // The tax invoices written back before and the documents still open, with their buyer and amounts.
    // Of the tax invoices written back before, only those the list names (its numbers, the blue ones its red
    // ones flush) are kept: a ledger of years is not held for a month's list. Of those this list writes,
    // only the ones it names again (twice, or as the blue one a red one flushes).
    void readLedger(const QSet<QStringView>& numbers, const QSet<QString>& namedAgain);
    // Whether 备注 begins with the 单据号 of an open document.
    bool matchesByRemark(QStringView remark) const { return byRemark(remarkDocNo(remark)); }
    // Writes one invoice (the list's index-th) back, or says why not. False after a refusal (notice), which
    // stops the list.
    bool apply(const PlatformInvoice& inv, qsizetype index, QString& notice);

private:
    static QStringView remarkDocNo(QStringView remark);
    const OpenDocuments& open() const { return m_writeBack.openDocuments(); }
    // The open document of the 单据号, not yet written back by this list: its index, else -1.
    int openDocument(QStringView docNo) const {
        const int doc = open().find(docNo);
        return doc >= 0 && !m_docs.at(doc).closed ? doc : -1;
    }
    // A document 备注 may name: open, or one whose tax invoice was cancelled (issued anew from it).
    bool byRemark(QStringView docNo) const {
        return !docNo.isEmpty() && (openDocument(docNo) >= 0 || m_cancelled.contains(docNo.toString()));
    }
    // The open documents of the invoice's buyer (by tax number, else by name) and amounts, in order.
    QStringList byBuyerAndAmounts(const PlatformInvoice& inv) const;
    bool setState(WrittenInvoice& w, Flush flush);
    WrittenInvoice* flushedBlue(const PlatformInvoice& red);
    bool flushBy(const PlatformInvoice& red, WrittenInvoice& blue) {
        const bool whole = std::llabs(centsOf(red.amount)) >= std::llabs(centsOf(blue.issuedAmount));
        return setState(blue, whole ? Flush::Wholly : Flush::Partly);
    }
    // The red invoice's 红字发票信息确认单编号 onto the rows that hold the invoice (code, number), where
    // they have none yet.
    void keepConfirmNo(const PlatformInvoice& red, const QString& code, const QString& number);

    Connection& m_acct;
    IssuedWriteBack& m_writeBack;
    PlatformWriteBackResult& m_res;
    QHash<QString, WrittenInvoice> m_written; // by number text
    QSet<QString> m_namedAgain;               // numbers whose writing is kept in m_written
    QList<OpenDocument> m_docs;               // by the open documents' index
    QStringList m_buyers;                     // buyers' tax numbers and names, each once
    // The open documents with known amounts, by amounts and then 单据号. By the amounts alone: a key of
    // buyer and amounts per document would cost a month's list more than its invoices.
    QList<int> m_byAmounts;
    QSet<QString> m_cancelled; // 单据号 of documents whose tax invoice was cancelled
};

void ListWriteBack::readLedger(const QSet<QStringView>& numbers, const QSet<QString>& namedAgain) {
    m_namedAgain = namedAgain;
    // Each read taken row by row: a month's ledger is not held as rows beside what is made of them.
    m_acct.forEachRow(
        QStringLiteral(
            "select FTaxCode, FTaxNumber, FState, FIssueState, FIssuedAmount, FDocNo from TF_Ledger "
            "where FDirection=? and FTaxNumber is not null and FTaxNumber<>''"),
        {Ledger::Export}, nullptr, [this, &numbers, &namedAgain](const QVariantList& row) {
            const QString code = nullToText(row.value(0));
            const QString number = nullToText(row.value(1));
            const QString text = Ledger::numberText(code, number);
            if (!numbers.contains(text) && !namedAgain.contains(text)) return;
            WrittenInvoice& w = m_written[text];
            w.code = code;
            w.number = number;
            if (w.docNo.isEmpty()) w.docNo = nullToText(row.value(5));
            if (row.value(2).toInt() == Ledger::Stands || w.issueState.isEmpty()) {
                w.issueState = nullToText(row.value(3));
                w.issuedAmount = row.value(4).toDouble();
            }
            if (row.value(2).toInt() == Ledger::Stands) w.stands = true;
        });
    // A customer's tax number and name held once however many of its documents are open.
    QHash<QString, int> buyers;
    auto once = [this, &buyers](const QString& t) {
        const auto it = buyers.constFind(t);
        if (it != buyers.constEnd()) return *it;
        m_buyers.append(t);
        return *buyers.insert(t, int(m_buyers.size()) - 1);
    };
    // The same rows are the write-back's open documents: read once for both.
    OpenDocuments open;
    m_acct.forEachRow(
        QStringLiteral(
            "select l.FDocNo, l.FAmount, l.FTax, o.FTaxNum, o.FName, l.FInterID from TF_Ledger l left join "
            "ICSale s on s.FInterID=l.FInterID left join t_Organization o on o.FItemID=s.FCustID where "
            "l.FDirection=? and l.FState=? and coalesce(l.FTaxNumber,'')='' order by l.FDocNo"),
        {Ledger::Export, Ledger::Stands}, nullptr, [this, &once, &open](const QVariantList& row) {
            const QString docNo = nullToText(row.value(0));
            if (docNo.isEmpty()) return;
            const int doc = open.add(docNo, row.value(5).toLongLong());
            if (doc == m_docs.size()) m_docs.append(OpenDocument{});
            OpenDocument& d = m_docs[doc];
            if (row.value(1).isNull() || row.value(2).isNull()) d.amountsKnown = false;
            d.amount += centsOf(row.value(1).toDouble());
            d.tax += centsOf(row.value(2).toDouble());
            if (d.buyerName < 0 || m_buyers.at(d.buyerName).isEmpty()) {
                d.buyerTaxNo = once(nullToText(row.value(3)).trimmed().toUpper());
                d.buyerName = once(nullToText(row.value(4)).trimmed());
            }
        });
    open.finish();
    m_docs.squeeze();
    m_writeBack.setOpenDocuments(std::move(open));
    for (int doc = 0; doc < m_docs.size(); ++doc)
        if (m_docs[doc].amountsKnown) m_byAmounts.append(doc);
    std::sort(m_byAmounts.begin(), m_byAmounts.end(), [this](int a, int b) {
        const OpenDocument &x = m_docs[a], &y = m_docs[b];
        return std::tie(x.amount, x.tax) != std::tie(y.amount, y.tax)
                   ? std::tie(x.amount, x.tax) < std::tie(y.amount, y.tax)
                   : this->open().docNo(a) < this->open().docNo(b);
    });
    // Only while nothing of the document stands again: exported again under the same 单据号, it is open
    // (above) or holds its invoice already.
    const RecordsetPtr cancelled = m_acct.query(
        QStringLiteral(
            "select distinct FDocNo from TF_Ledger c where FDirection=? and FState=? and not exists "
            "(select 1 from TF_Ledger s where s.FDirection=c.FDirection and s.FDocNo=c.FDocNo and "
            "s.FState=?)"),
        {Ledger::Export, Ledger::Cancelled, Ledger::Stands});
    for (const QVariantList& row : cancelled->allRows())
        m_cancelled.insert(nullToText(row.value(0)));
}

void ListWriteBack::keepConfirmNo(const PlatformInvoice& red, const QString& code, const QString& number) {
    const QString confirmNo = red.redConfirmNo();
    if (confirmNo.isEmpty()) return;
    m_acct.exec(QStringLiteral("update TF_Ledger set FRedConfirmNo=? where FDirection=? and "
                               "coalesce(FTaxCode,'')=? and FTaxNumber=? and (FRedConfirmNo is null or "
                               "FRedConfirmNo='')"),
                {confirmNo.left(40), Ledger::Export, code.isNull() ? QStringLiteral("") : code, number});
}

QStringView ListWriteBack::remarkDocNo(QStringView remark) {
    qsizetype end = 0;
    while (end < remark.size() && !remark.at(end).isSpace())
        ++end;
    return remark.left(end);
}

QStringList ListWriteBack::byBuyerAndAmounts(const PlatformInvoice& inv) const {
    QStringList out;
    const QString taxNo = inv.buyerTaxNo.toUpper();
    const std::pair<qint64, qint64> amounts{centsOf(inv.amount), centsOf(inv.tax)};
    const auto amountsOf = [this](int doc) { return std::make_pair(m_docs[doc].amount, m_docs[doc].tax); };
    auto it = std::lower_bound(m_byAmounts.cbegin(), m_byAmounts.cend(), amounts,
                               [&](int doc, const auto& key) { return amountsOf(doc) < key; });
    for (; it != m_byAmounts.cend() && amountsOf(*it) == amounts; ++it) {
        const OpenDocument& d = m_docs[*it];
        if (d.closed) continue;
        const QString& name = m_buyers.at(d.buyerName);
        if (taxNo.isEmpty() ? !name.isEmpty() && name == inv.buyerName : m_buyers.at(d.buyerTaxNo) == taxNo)
            out << open().docNo(*it);
    }
    return out;
}

// A written-back invoice found flushed or cancelled; false when the ledger says so already.
bool ListWriteBack::setState(WrittenInvoice& w, Flush flush) {
    if (flush == Flush::None || !w.stands) return false;
    const QString state = flush == Flush::Cancelled ? Ledger::issueCancelled()
                          : flush == Flush::Wholly  ? Ledger::issueFlushed()
                                                    : Ledger::issuePartlyFlushed();
    if (w.issueState == state) return false;
    const bool exportable = flush != Flush::Partly;
    m_writeBack.markIssueState(w.code, w.number, state, exportable);
    w.issueState = state;
    w.stands = !exportable;
    ++(exportable ? m_res.flushed : m_res.partlyFlushed);
    return true;
}

// The blue invoice a red one flushes, as its 备注 names it, where this set wrote it back.
WrittenInvoice* ListWriteBack::flushedBlue(const PlatformInvoice& red) {
    const QString n = red.namedBlue();
    auto it = m_written.find(n);
    if (n.isEmpty() || it == m_written.end() || n == red.numberText()) return nullptr;
    return &*it;
}

bool ListWriteBack::apply(const PlatformInvoice& inv, qsizetype index, QString& notice) {
    const QString numberText = inv.numberText();
    auto known = m_written.find(numberText);
    if (known != m_written.end()) {
        // A red one read again still flushes its blue one where that was written back after it.
        WrittenInvoice* blue = inv.red ? flushedBlue(inv) : nullptr;
        if (inv.red ? !(blue && flushBy(inv, *blue)) : !setState(*known, flushOf(inv.state))) ++m_res.already;
        // Kept by a version that did not yet keep it.
        if (inv.red) keepConfirmNo(inv, known->code, known->number);
        return true;
    }
    // 1. 备注 begins with the 单据号; 2. the buyer and the amounts.
    QString docNo = remarkDocNo(inv.remark).toString();
    const bool remarkNamesIt = byRemark(docNo);
    // The open document's own 单据号 from here on: what the result keeps is not a copy for each invoice.
    if (const int doc = openDocument(docNo); remarkNamesIt && doc >= 0) docNo = open().docNo(doc);
    QStringList candidates;
    if (!remarkNamesIt) {
        candidates = byBuyerAndAmounts(inv);
        docNo = candidates.size() == 1 ? candidates.first() : QString();
    }
    WrittenInvoice* blue = inv.red ? flushedBlue(inv) : nullptr;
    if (docNo.isEmpty()) {
        if (blue) {
            if (flushBy(inv, *blue))
                m_res.placed.append({index, blue->docNo, PlatformWriteBackResult::How::Blue});
            else
                ++m_res.already;
            // The red invoice has no document of its own: its confirmation goes with the blue one's.
            keepConfirmNo(inv, blue->code, blue->number);
        } else if (candidates.size() > 1) {
            m_res.ambiguous.append({inv, candidates, {}});
        } else {
            // A red one names its blue one: that one, never written back here, is what is missing.
            m_res.notFound.append({inv, {}, inv.red ? inv.namedBlue() : QString()});
        }
        return true;
    }
    IssuedInvoice issued;
    issued.kind = inv.kind.contains(u"专用") ? QStringLiteral("0") : QStringLiteral("2");
    issued.code = inv.digitalNumber.isEmpty() ? inv.code : QString();
    issued.number = inv.digitalNumber.isEmpty() ? inv.number : inv.digitalNumber;
    issued.docNo = docNo;
    issued.date = inv.date;
    issued.amount = inv.amount;
    issued.tax = inv.tax;
    if (m_writeBack.apply(issued, notice) == IssuedWriteBack::Outcome::Refused) {
        // A member of the cancelled document went out again since: listed, the rest of the list goes on.
        if (const auto& again = m_writeBack.outAgain()) {
            m_res.outAgain.append({inv, {docNo, again->billNo, again->docNo}, {}});
            notice.clear();
            return true;
        }
        return false;
    }
    if (const int doc = open().find(docNo); doc >= 0) m_docs[doc].closed = true;
    m_cancelled.remove(docNo);
    ++m_res.written;
    ++(remarkNamesIt ? m_res.byDocNo : m_res.byBuyer);
    m_res.placed.append(
        {index, docNo,
         remarkNamesIt ? PlatformWriteBackResult::How::DocNo : PlatformWriteBackResult::How::Buyer});
    if (inv.red) keepConfirmNo(inv, issued.code, issued.number);
    if (blue) flushBy(inv, *blue); // before the insert below moves the entries
    WrittenInvoice written{issued.code, issued.number, Ledger::issued(), inv.amount, true, docNo};
    // Kept only where the list names it again: a month's list is not held again as what it wrote.
    WrittenInvoice& w = m_namedAgain.contains(numberText) ? m_written[numberText] = written : written;
    if (!inv.red) setState(w, flushOf(inv.state));
    return true;
}

// The list in the order it is worked through, whatever the order of its rows: blue invoices before red
// ones (a red one flushes a blue one written back first), of the blue ones those whose 备注 names an open
// document first, each group by number and then by what else the row says.
QList<qsizetype> workOrder(const PlatformInvoices& list, const QList<qsizetype>& ours,
                           const ListWriteBack& match) {
    struct Keyed {
        int group;
        qsizetype index;
    };
    QList<Keyed> keyed;
    keyed.reserve(ours.size());
    for (const qsizetype i : ours)
        keyed.append({list.red(i) ? 2 : match.matchesByRemark(list.remark(i)) ? 0 : 1, i});
    auto fields = [](const PlatformInvoice& i) {
        return std::make_tuple(i.numberText(), centsOf(i.amount), centsOf(i.tax), i.buyerTaxNo, i.buyerName,
                               i.date, i.state, i.remark, i.kind, i.sellerTaxNo);
    };
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.group != b.group) return a.group < b.group;
        // By number, held as it is; the rest of the row only between rows of one number.
        const QStringView x = list.numberText(a.index), y = list.numberText(b.index);
        if (x != y) return x < y;
        return fields(list.at(a.index)) < fields(list.at(b.index));
    });
    QList<qsizetype> out;
    out.reserve(keyed.size());
    for (const Keyed& k : keyed)
        out.append(k.index);
    return out;
}

// The set's own tax number, where its profile has one.
QString ownTaxNumber(Connection& acct) {
    try {
        const RecordsetPtr rs = acct.query(
            QStringLiteral("select FValue from t_SystemProfile where FCategory='Base' and FKey='TaxNumber'"));
        if (!rs->atEnd()) return nullToText(rs->value(0)).trimmed();
    } catch (const DbError&) {
        // A set without a profile: every row counts as its own.
    }
    return QString();
}
} // namespace

bool PlatformWriteBack::apply(const QList<PlatformInvoice>& list, bool preview) {
    m_result = {};
    m_result.invoices = PlatformInvoices(list);
    return work(preview);
}

bool PlatformWriteBack::work(bool preview) {
    const PlatformInvoices& invoices = m_result.invoices;
    try {
        Connection& acct = m_session.acct();
        const QString own = ownTaxNumber(acct);
        const bool ledger = Ledger::exists(acct);
        // A preview leaves the set as it was: an older ledger is upgraded inside its transaction, which is
        // rolled back.
        if (ledger && !preview) Ledger::ensure(acct);
        IssuedWriteBack writeBack(acct, m_session.config());
        writeBack.begin();
        // The ledger's lock before anything is read: an export or another write-back waits, so what is read
        // as open stays open until this one is done. A set that never exported has no ledger to lock (a
        // server refuses to lock a table it does not have).
        if (ledger)
            acct.beginLedgerLock();
        else
            acct.begin();
        TransactionGuard tx(acct, TransactionGuard::Begun);
        if (ledger && preview && !Ledger::current(acct)) Ledger::ensure(acct);

        // The list's own rows worked through by their index: a month's list is held once.
        QList<qsizetype> ours;
        ours.reserve(invoices.size());
        for (qsizetype i = 0; i < invoices.size(); ++i) {
            const QString& seller = invoices.sellerTaxNo(i);
            if (!own.isEmpty() && !seller.isEmpty() && seller.compare(own, Qt::CaseInsensitive) != 0)
                ++m_result.otherSeller;
            else if (invoices.unusable(i) == PlatformInvoice::Unusable::NoNumber)
                m_result.noNumber.append({invoices.at(i), {}, {}});
            else if (invoices.unusable(i) == PlatformInvoice::Unusable::ExcelNumber)
                m_result.excelNumber.append({invoices.at(i), {}, {}});
            else
                ours.append(i);
        }
        ListWriteBack match(acct, writeBack, m_result);
        {
            // The list's numbers, and those it names again: twice, or as the blue one a red one flushes.
            QSet<QStringView> numbers;
            QSet<QString> namedAgain;
            numbers.reserve(ours.size());
            for (const qsizetype i : ours) {
                const QStringView n = invoices.numberText(i);
                if (numbers.contains(n))
                    namedAgain.insert(n.toString());
                else
                    numbers.insert(n);
                if (invoices.red(i)) namedAgain.insert(invoices.at(i).namedBlue());
            }
            if (ledger) match.readLedger(numbers, namedAgain);
        }
        QString notice;
        for (const qsizetype i : workOrder(invoices, ours, match))
            if (!match.apply(invoices.at(i), i, notice)) {
                m_result = {};
                showMsg(notice);
                return false;
            }
        // Listed in the order of the sheet.
        for (QList<PlatformWriteBackResult::Unmatched>* list :
             {&m_result.notFound, &m_result.ambiguous, &m_result.outAgain, &m_result.noNumber,
              &m_result.excelNumber})
            std::stable_sort(list->begin(), list->end(),
                             [](const auto& a, const auto& b) { return a.invoice.row < b.invoice.row; });
        // Each invoice is placed once: its row and place in the list order it without a stable sort's
        // copy of a month's placings.
        std::sort(m_result.placed.begin(), m_result.placed.end(), [&invoices](const auto& a, const auto& b) {
            return std::make_pair(invoices.row(a.index), a.index) <
                   std::make_pair(invoices.row(b.index), b.index);
        });
        if (!writeBack.finish(notice)) {
            m_result = {};
            showMsg(notice);
            return false;
        }
        if (preview) {
            tx.rollback();
        } else {
            tx.commit();
            Ledger::refreshStatistics(acct, m_result.written + m_result.flushed + m_result.partlyFlushed);
        }
        return true;
    } catch (const DbError& e) {
        m_result = {};
        showErr(QStringLiteral("PlatformWriteBack"), e);
        return false;
    }
}
