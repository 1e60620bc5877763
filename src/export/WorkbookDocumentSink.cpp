#include "export/WorkbookDocumentSink.h"

#include "common/Messages.h"
#include "common/Paths.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "common/ZipArchive.h"
#include "export/ExportWriter.h"
#include "export/WorkbookFill.h"
#include "export/XmlDocumentSink.h"
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <charconv>
#include <vector>

namespace {

constexpr long FileAccessError = 75; // path/file access error

using Line = QHash<QString, QString>;

// ---- Values.

bool isNumberPart(const QString& part) {
    bool digit = false;
    for (const QChar c : part) {
        if (c.isDigit())
            digit = true;
        else if (!QStringView(u"-+()（）/、,，#转").contains(c))
            return false;
    }
    return digit;
}

// "address phone" or "bank account" as the text file joins them: the number is the trailing blank-
// separated parts made of digits and phone punctuation. Written without a blank, it is the last run of
// digits (with phone punctuation) when that run has at least seven digits; otherwise all is the name.
std::pair<QString, QString> splitTrailingNumber(const QString& text) {
    const QStringList parts = text.simplified().split(u' ', Qt::SkipEmptyParts);
    qsizetype first = parts.size();
    while (first > 1 && isNumberPart(parts[first - 1]))
        --first;
    if (first == parts.size() && !parts.isEmpty()) {
        const QString& last = parts.last();
        qsizetype from = last.size();
        int digits = 0;
        while (from > 0 && (last[from - 1].isDigit() || QStringView(u"-+()（）").contains(last[from - 1]))) {
            if (last[from - 1].isDigit()) ++digits;
            --from;
        }
        if (digits >= 7 && from > 0)
            return {(parts.mid(0, first - 1) << last.left(from)).join(u' '), last.mid(from)};
    }
    return {parts.mid(0, first).join(u' '), parts.mid(first).join(u' ')};
}

// An amount in cents, rounded half up in decimal ("1.005" gives 101, "-1.005" gives -101); false for a
// text that is no number or too large.
// The same for a plain amount as the database gives it ("1130.5", "-3", ".25"): ASCII digits, a sign and a
// point, nothing else. False where it cannot tell: the text then goes the general way.
bool plainCentsOf(QStringView text, qint64& cents) {
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) ++i;
    qint64 v = 0;
    int significant = 0, decimals = -1; // digits after the point, -1 before one
    bool any = false, up = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < u'0' || c > u'9') return false;
        any = true;
        if (decimals >= 0 && ++decimals > 2) {
            // The first dropped digit rounds half up; the rest are dropped.
            if (decimals == 3) up = c >= u'5';
            continue;
        }
        if (v == 0 && c == u'0') continue; // leading zeros
        if (++significant > 17) return false;
        v = v * 10 + (c - u'0');
    }
    if (!any) return false;
    for (int d = std::max(decimals, 0); d < 2; ++d) {
        if (v != 0 && ++significant > 17) return false;
        v *= 10;
    }
    if (up) ++v;
    cents = negative ? -v : v;
    return true;
}

bool centsOf(const QString& text, qint64& cents) {
    if (plainCentsOf(text, cents)) return true;
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?)(\\d*)(?:\\.(\\d*))?(?:[eE]([+-]?\\d{1,4}))?\\s*$"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(3) == 0)) return false;
    QString digits = m.captured(2) + m.captured(3);
    // The power of ten of the last digit, counted in cents.
    int exponent = m.captured(4).toInt() - int(m.capturedLength(3)) + 2;
    qsizetype lead = 0;
    while (lead < digits.size() && digits[lead] == u'0')
        ++lead;
    digits.remove(0, lead);
    bool up = false;
    if (exponent < 0) {
        const qsizetype keep = digits.size() + exponent;
        up = keep >= 0 && keep < digits.size() && digits[keep] >= u'5';
        digits.truncate(std::max<qsizetype>(0, keep));
        exponent = 0;
    }
    if (digits.size() + exponent > 17) return false;
    qint64 v = digits.isEmpty() ? 0 : digits.toLongLong();
    for (int i = 0; i < exponent; ++i)
        v *= 10;
    if (up) ++v;
    cents = m.captured(1) == u"-" ? -v : v;
    return true;
}

// "-12.05", without QString::arg: it is written for every line.
QString centsText(qint64 cents) {
    const quint64 a = cents < 0 ? quint64(0) - quint64(cents) : quint64(cents);
    QString out = cents < 0 ? QStringLiteral("-") : QString();
    out += QString::number(a / 100);
    out += u'.';
    out += QChar(char16_t(u'0' + a % 100 / 10));
    out += QChar(char16_t(u'0' + a % 10));
    return out;
}

// An amount with two decimals; a text that is no number as it is.
QString twoDecimals(const QString& text) {
    qint64 c = 0;
    return centsOf(text, c) ? centsText(c) : text.trimmed();
}

// A quantity or price as it prints, but never with an exponent.
QString withoutExponent(const QString& text) {
    double v = 0;
    if (!text.contains(u'e', Qt::CaseInsensitive) || !strictNumber(text, v)) return text.trimmed();
    char buf[400];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return r.ec == std::errc() ? QString::fromLatin1(buf, r.ptr - buf) : text.trimmed();
}

// Characters as the platform counts them: one for each, also outside the BMP.
qsizetype characters(const QString& text) {
    qsizetype n = 0;
    for (const QChar c : text)
        n += c.isLowSurrogate() ? 0 : 1;
    return n;
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return true;
    return false;
}

// A heading as a message names it: on one line.
QString shown(const QString& heading) {
    QString h = heading;
    return h.remove(QRegularExpression(QStringLiteral("\\s+")));
}

QString nonEmpty(const QString& value, const QString& otherwise) {
    return value.trimmed().isEmpty() ? otherwise : value;
}

// A line's value, else the head's.
QString valueOf(const SinkDocument& doc, const Line* line, const QString& key) {
    if (line)
        if (const auto it = line->constFind(key); it != line->constEnd() && !it->isEmpty()) return *it;
    return doc.head.value(key);
}

// Whether cellText gives a column's value as the field holds it: none of the values it works out.
bool plainValue(const QString& value) {
    namespace V = WorkbookValue;
    static const QSet<QString> worked{V::LineNo,
                                      V::DocKey,
                                      V::InvoiceKind,
                                      V::TaxIncluded,
                                      V::Address,
                                      V::Phone,
                                      V::Bank,
                                      V::Account,
                                      V::SellerBank,
                                      V::SellerAccount,
                                      V::UsePreferential,
                                      QStringLiteral("优惠政策说明"),
                                      QStringLiteral("税率"),
                                      QStringLiteral("不含税金额"),
                                      QStringLiteral("折扣金额"),
                                      QStringLiteral("税额"),
                                      QStringLiteral("折扣税额"),
                                      QStringLiteral("数量"),
                                      QStringLiteral("单价")};
    return !value.isEmpty() && !worked.contains(value);
}

// The text of one cell. discountColumn: the detail sheet has 折扣金额, so 金额 is before the discount.
QString cellText(const QString& value, const SinkDocument& doc, const Line* line, bool discountColumn) {
    namespace V = WorkbookValue;
    if (value.isEmpty() || value == V::LineNo) return {};
    if (value == V::DocKey) return doc.docNo;
    if (value == V::InvoiceKind) return nonEmpty(valueOf(doc, line, value), doc.invoiceKind);
    // The export writes amounts without tax.
    if (value == V::TaxIncluded) return nonEmpty(valueOf(doc, line, value), QStringLiteral("否"));
    if (value == V::Address || value == V::Phone || value == V::Bank || value == V::Account ||
        value == V::SellerBank || value == V::SellerAccount) {
        // A link that maps the template's own column fills it itself.
        if (doc.head.contains(value)) return doc.head.value(value);
        const QString joined = value == V::Address || value == V::Phone ? QStringLiteral("购方地址电话")
                               : value == V::Bank || value == V::Account ? QStringLiteral("购方银行帐号")
                                                                         : QStringLiteral("销方银行账号");
        const auto [name, number] = splitTrailingNumber(doc.head.value(joined));
        return value == V::Address || value == V::Bank || value == V::SellerBank ? name : number;
    }
    if (!line) return doc.head.value(value);
    // 出口退税 (零税率标识 0): rate 0 and no preference, as the platform's list has no 出口零税. Looked up
    // only for the columns that depend on them.
    const auto exportRefund = [line] { return line->value(QStringLiteral("零税率标识")).trimmed() == u"0"; };
    const auto flagOf = [line] { return line->value(QStringLiteral("优惠政策标识")).trimmed(); };
    if (value == V::UsePreferential) {
        const QString mapped = valueOf(doc, line, value);
        if (!mapped.trimmed().isEmpty()) return mapped;
        return !exportRefund() && flagOf() == u"1" ? QStringLiteral("是") : QStringLiteral("否");
    }
    if (value == u"优惠政策说明") {
        if (exportRefund() || (line->contains(QStringLiteral("优惠政策标识")) && flagOf() != u"1")) return {};
        return valueOf(doc, line, value);
    }
    if (value == u"税率")
        return exportRefund() ? QStringLiteral("0") : taxRateFraction(valueOf(doc, line, value));
    if (value == u"不含税金额") {
        // The line's amount is net of its discount; the platform takes it before, and adds the discount
        // line from 折扣金额 itself.
        const QString amount = valueOf(doc, line, value);
        qint64 net = 0, discount = 0;
        const QString d = line->value(QStringLiteral("折扣金额"));
        if (discountColumn && centsOf(amount, net) && !d.trimmed().isEmpty() && centsOf(d, discount))
            return centsText(net + discount);
        return twoDecimals(amount);
    }
    if (value == u"折扣金额") {
        qint64 c = 0;
        const QString d = valueOf(doc, line, value);
        if (centsOf(d, c)) return c == 0 ? QString() : centsText(c);
        return d.trimmed();
    }
    if (value == u"税额" || value == u"折扣税额") return twoDecimals(valueOf(doc, line, value));
    if (value == u"数量" || value == u"单价") return withoutExponent(valueOf(doc, line, value));
    return valueOf(doc, line, value);
}

struct OutCell {
    int column = 0;
    QString text;
    bool ordinal = false; // the head's 序号, numbered when written
};
using OutRow = QList<OutCell>;

struct RenderedDoc {
    OutRow head;
    QList<OutRow> lines;
};

// A cell's text in the sheet's XML, escaped as QXmlStreamWriter's writeCharacters does it (the same bytes,
// without its detour through UTF-16): &, <, > and "; characters XML cannot hold (U+FFFE, U+FFFF,
// controls, refused before) left out. ASCII goes straight in, other runs through Qt's UTF-8 (a surrogate
// pair is never split between runs).
void appendXml(std::string& out, QStringView text) {
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80) {
            qsizetype end = i + 1;
            bool notCharacters = u >= 0xFFFE; // U+FFFE, U+FFFF
            for (; end < text.size() && text[end].unicode() >= 0x80; ++end)
                notCharacters = notCharacters || text[end].unicode() >= 0xFFFE;
            QByteArray utf8;
            if (notCharacters)
                utf8 = text.mid(i, end - i).toString().remove(QChar(0xFFFE)).remove(QChar(0xFFFF)).toUtf8();
            else
                utf8 = text.mid(i, end - i).toUtf8();
            out.append(utf8.constData(), size_t(utf8.size()));
            i = end;
            continue;
        }
        switch (u) {
        case u'<':
            out += "&lt;";
            break;
        case u'>':
            out += "&gt;";
            break;
        case u'&':
            out += "&amp;";
            break;
        case u'"':
            out += "&quot;";
            break;
        default:
            if (u >= 0x20 || u == u'\n' || u == u'\r' || u == u'\t') out += char(u);
        }
        ++i;
    }
}

// A sheet's rows as the documents come, already in the UTF-8 XML that goes into its part, each cell an
// inline string: a workbook of 2,000 lines has tens of thousands of cells, so they are appended piece
// by piece and nothing else of them is kept.
class SheetRows {
public:
    explicit SheetRows(const TemplateSheetPart& part)
        : m_part(part), m_row(part.elementName(QStringLiteral("row")).toStdString()),
          m_c(part.elementName(QStringLiteral("c")).toStdString()),
          m_is(part.elementName(QStringLiteral("is")).toStdString()),
          m_t(part.elementName(QStringLiteral("t")).toStdString()) {}

    // The row below the last, numbered on from under the heading row; its ordinal cell (the head's
    // 序号) says how many rows there are with it.
    void add(const OutRow& cells) {
        ++m_count;
        m_number = std::to_string(m_part.headerRow() + m_count);
        m_xml.append(1, '<').append(m_row).append(" r=\"").append(m_number).append(1, '"');
        if (cells.isEmpty()) {
            m_xml.append("/>");
            return;
        }
        m_xml.append(1, '>');
        for (const OutCell& cell : cells) {
            const QString text = cell.ordinal ? QString::number(m_count) : cell.text;
            column(cell.column);
            // Every cell is text, as the template's notes ask, in the column's own (text) format.
            m_xml.append(1, '<').append(m_c).append(" r=\"").append(m_letters[cell.column]).append(m_number);
            m_xml.append(1, '"').append(m_styles[cell.column]).append(" t=\"inlineStr\"><").append(m_is);
            m_xml.append("><").append(m_t);
            if (text.front().isSpace() || text.back().isSpace()) m_xml.append(" xml:space=\"preserve\"");
            m_xml.append(1, '>');
            appendXml(m_xml, text);
            m_xml.append("</").append(m_t).append("></").append(m_is).append("></").append(m_c).append(1,
                                                                                                       '>');
        }
        m_xml.append("</").append(m_row).append(1, '>');
    }
    int count() const { return m_count; }
    QByteArray filled() const {
        return m_part.filled(QByteArray::fromRawData(m_xml.data(), qsizetype(m_xml.size())));
    }
    void clear() {
        m_xml.clear();
        m_count = 0;
    }

private:
    // A column's letters and style attribute, worked out once.
    void column(int column) {
        while (int(m_letters.size()) <= column) {
            const int c = int(m_letters.size());
            m_letters.push_back(xlsxColumnName(c).toStdString());
            const int style = m_part.columnStyle(c);
            m_styles.push_back(style >= 0 ? " s=\"" + std::to_string(style) + '"' : std::string());
        }
    }

    const TemplateSheetPart& m_part;
    const std::string m_row, m_c, m_is, m_t;
    std::vector<std::string> m_letters, m_styles;
    std::string m_xml, m_number;
    int m_count = 0;
};

} // namespace

struct WorkbookDocumentSink::Impl {
    QString path;
    WorkbookLayout layout;
    QByteArray templateFile;
    bool discountColumn = false;
    QString codeHeading;                // the detail sheet's 商品和服务税收编码, empty without one
    QList<bool> headPlain, detailPlain; // by column: plainValue
    std::unique_ptr<ZipArchive> zip;
    std::unique_ptr<TemplateSheetPart> headPart, detailPart;
    QHash<QString, QString> keys;        // 发票流水号 -> the 单据号 it stands for
    QHash<QString, QString> checkedKeys; // the same, of the documents checked
    // The rows of the workbook being gathered; the ones before are written to files that replace their
    // targets only in Commit.
    std::unique_ptr<SheetRows> headRows, detailRows;
    std::vector<std::unique_ptr<QSaveFile>> files;
    QStringList names;

    void prepare();
    RenderedDoc render(const SinkDocument& whole, QHash<QString, QString>& used) const;
    void writeBatch(const QString& fileName);
    QString numbered(int n) const;
};

void WorkbookDocumentSink::Impl::prepare() {
    if (zip) return;
    const QString name = QStringLiteral("已读取的平台模板");
    if (templateFile.isEmpty())
        throw DbError(ErrNo::General, QStringLiteral("没有平台模板文件，请在关联设置中重新读取平台模板。"));
    XlsxCaps caps;
    caps.maxPartSize = kMaxTemplateSize;
    XlsxReader reader(templateFile, name, caps);
    auto part = [&](const WorkbookSheetLayout& sheet) {
        const XlsxSheet* s = reader.sheet(sheet.name);
        if (!s)
            throw DbError(
                ErrNo::General,
                QStringLiteral("%1中没有工作表“%2”，请在关联设置中重新读取平台模板。").arg(name, sheet.name));
        return std::make_unique<TemplateSheetPart>(reader.archive(), s->part, sheet.headerRow,
                                                   caps.maxPartSize);
    };
    headPart = part(layout.head);
    detailPart = part(layout.detail);
    headRows = std::make_unique<SheetRows>(*headPart);
    detailRows = std::make_unique<SheetRows>(*detailPart);
    zip = std::make_unique<ZipArchive>(templateFile, name);
}

RenderedDoc WorkbookDocumentSink::Impl::render(const SinkDocument& whole,
                                               QHash<QString, QString>& used) const {
    // The platform takes a 发票流水号 of at most 20 characters: a longer 单据号 keeps its last 20, where
    // bill numbers (and the pieces of a split invoice) differ; two that come out alike are refused.
    SinkDocument doc = whole;
    if (doc.docNo.size() > 20) doc.docNo = doc.docNo.right(20);
    if (const auto other = used.constFind(doc.docNo); other != used.constEnd())
        throw ExportRefused(
            QStringLiteral("发票“%1”与发票“%2”的发票流水号截为20个字符后都是“%3”，电子发票平台"
                           "不能区分，引出失败！")
                .arg(*other, whole.docNo, doc.docNo));
    auto cells = [&](const WorkbookSheetLayout& sheet, const Line* line, int lineNo) {
        const QList<bool>& plain = &sheet == &layout.head ? headPlain : detailPlain;
        OutRow row;
        row.reserve(sheet.columns.size());
        for (int c = 0; c < sheet.columns.size(); ++c) {
            const WorkbookColumn& column = sheet.columns[c];
            if (column.value == WorkbookValue::LineNo) {
                row.append(OutCell{c, line ? QString::number(lineNo) : QString(), !line});
                continue;
            }
            const QString text = plain[c] ? valueOf(doc, line, column.value)
                                          : cellText(column.value, doc, line, discountColumn);
            if (text.isEmpty()) continue;
            // Put together only for a refusal: it is asked for on every cell.
            const auto where = [&] {
                return line ? QStringLiteral("发票“%1”第%2行的").arg(whole.docNo).arg(lineNo)
                            : QStringLiteral("发票“%1”的").arg(whole.docNo);
            };
            if (hasControlCharacter(text))
                throw ExportRefused(QStringLiteral("%1%2“%3”含有工作簿不能容纳的控制字符，引出失败！")
                                        .arg(where(), shown(column.heading), text));
            if (column.limit > 0 && characters(text) > column.limit)
                throw ExportRefused(QStringLiteral("%1%2“%3”超过平台模板限定的%4个字符，引出失败！")
                                        .arg(where(), shown(column.heading), text)
                                        .arg(column.limit));
            if (!column.choices.isEmpty() && !column.choices.contains(text.trimmed())) {
                if (line)
                    throw ExportRefused(
                        QStringLiteral("发票“%1”第%2行的商品“%3”的%4“%5”不在平台模板的下拉列表中，引出失败！")
                            .arg(whole.docNo)
                            .arg(lineNo)
                            .arg(line->value(QStringLiteral("货物名称")), shown(column.heading), text));
                throw ExportRefused(QStringLiteral("%1%2“%3”不在平台模板的下拉列表中，引出失败！")
                                        .arg(where(), shown(column.heading), text));
            }
            row.append(OutCell{c, text, false});
        }
        return row;
    };
    RenderedDoc out;
    out.head = cells(layout.head, nullptr, 0);
    for (int i = 0; i < doc.lines.size(); ++i) {
        // The platform requires the code of every line, which only the catalogue gives.
        if (!codeHeading.isEmpty() && doc.lines[i].value(QStringLiteral("税收分类编码")).trimmed().isEmpty())
            throw ExportRefused(
                QStringLiteral("发票“%1”第%2行的商品“%3”没有税收分类编码（平台模板的“%4”必填），引出失败！")
                    .arg(whole.docNo)
                    .arg(i + 1)
                    .arg(doc.lines[i].value(QStringLiteral("货物名称")), shown(codeHeading)));
        out.lines.append(cells(layout.detail, &doc.lines[i], i + 1));
    }
    used.insert(doc.docNo, whole.docNo);
    return out;
}

QString WorkbookDocumentSink::Impl::numbered(int n) const {
    QString base = path, suffix;
    if (base.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        suffix = base.right(5);
        base.chop(5);
    }
    return base + u'-' + QString::number(n) + suffix;
}

void WorkbookDocumentSink::Impl::writeBatch(const QString& fileName) {
    prepare();
    auto file = std::make_unique<QSaveFile>(fileName);
    if (!file->open(QIODevice::WriteOnly))
        throw DbError(FileAccessError, QStringLiteral("路径/文件访问错误：%1（%2）")
                                           .arg(QDir::toNativeSeparators(fileName), file->errorString()));
    ZipWriter out(*file);
    out.copyAll(*zip, {{headPart->part(), headRows->filled()}, {detailPart->part(), detailRows->filled()}});
    out.close();
    headRows->clear();
    detailRows->clear();
    files.push_back(std::move(file));
    names << QDir::toNativeSeparators(fileName);
}

WorkbookDocumentSink::WorkbookDocumentSink(const QString& path, const WorkbookLayout& layout,
                                           const QByteArray& templateFile)
    : d(std::make_unique<Impl>()) {
    d->path = path;
    d->layout = layout;
    d->templateFile = templateFile;
    for (const WorkbookColumn& c : layout.detail.columns) {
        d->discountColumn = d->discountColumn || c.value == u"折扣金额";
        if (c.value == u"税收分类编码") d->codeHeading = c.heading;
        d->detailPlain.append(plainValue(c.value));
    }
    for (const WorkbookColumn& c : layout.head.columns)
        d->headPlain.append(plainValue(c.value));
}

WorkbookDocumentSink::~WorkbookDocumentSink() = default; // uncommitted files leave their targets alone

void WorkbookDocumentSink::begin(int) {
    d->prepare();
}

void WorkbookDocumentSink::check(const SinkDocument& doc) {
    d->render(doc, d->checkedKeys);
}

void WorkbookDocumentSink::add(const SinkDocument& doc) {
    const RenderedDoc rendered = d->render(doc, d->keys);
    d->prepare();
    // Whole documents to a workbook; a second one means every workbook is numbered.
    if (d->headRows->count() > 0 && d->detailRows->count() + rendered.lines.size() > kMaxDetailRows)
        d->writeBatch(d->numbered(int(d->files.size()) + 1));
    d->headRows->add(rendered.head);
    for (const OutRow& line : rendered.lines)
        d->detailRows->add(line);
}

void WorkbookDocumentSink::commit() {
    d->writeBatch(d->files.empty() ? d->path : d->numbered(int(d->files.size()) + 1));
    for (const std::unique_ptr<QSaveFile>& f : d->files)
        if (!f->commit())
            throw DbError(FileAccessError,
                          QStringLiteral("保存文件失败：%1（%2）")
                              .arg(QDir::toNativeSeparators(f->fileName()), f->errorString()));
}

QStringList WorkbookDocumentSink::writtenFiles() const {
    return d->names;
}

int WorkbookDocumentSink::part() const {
    return int(d->files.size()) + 1; // the batch being gathered, which Commit writes last
}

QStringList WorkbookDocumentSink::plannedFiles() const {
    if (d->files.empty()) return {QDir::toNativeSeparators(d->path)};
    return QStringList(d->names) << QDir::toNativeSeparators(d->numbered(int(d->files.size()) + 1));
}

bool WorkbookDocumentSink::isFileOf(const QString& path, const QString& file) {
    const QFileInfo target(path), other(file);
    if (target.absolutePath().compare(other.absolutePath(), fileNameCase()) != 0) return false;
    QString base = target.fileName(), suffix;
    if (base.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        suffix = base.right(5);
        base.chop(5);
    }
    const QRegularExpression name(u'^' + QRegularExpression::escape(base) + QStringLiteral("(-\\d+)?") +
                                      QRegularExpression::escape(suffix) + u'$',
                                  fileNameCase() == Qt::CaseInsensitive
                                      ? QRegularExpression::CaseInsensitiveOption
                                      : QRegularExpression::NoPatternOption);
    return name.match(other.fileName()).hasMatch();
}
