#include "common/XlsxReader.h"

#include "common/Messages.h"
#include "common/SheetXml.h"

#include "common/Values.h"
#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <charconv>

namespace {

constexpr long FileAccessError = 75; // path/file access error
constexpr int kLastRow = 1048576, kLastColumn = 16383;

// A number as the file writes it when it is plain ("1130.50", "-3"); otherwise the shortest plain form
// that reads back as the same number (no exponent).
QString plainNumber(const QString& written, double value) {
    static const QRegularExpression plain(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    const QString t = written.trimmed();
    if (plain.match(t).hasMatch()) return t;
    char buf[400];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return r.ec == std::errc() ? QString::fromLatin1(buf, r.ptr - buf) : numberText(value);
}

// A serial number of Excel as a date and time; invalid outside 1900 (1904) to 9999.
QDateTime serialDateTime(double serial, bool date1904) {
    if (!(serial >= 0) || serial >= 2958466) return {};
    qint64 days = qint64(serial);
    qint64 msecs = qint64((serial - double(days)) * 86400000.0 + 0.5);
    if (msecs >= 86400000) {
        ++days;
        msecs -= 86400000;
    }
    QDate date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(days);
    else // Excel counts a 29 February 1900 that was not: from 1 March on, one day less
        date = days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(msecs)), Qt::UTC);
}

// The folder of a part ("xl/workbook.xml" → "xl").
QString folderOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

// A relationship's target as a member name: from the package root with a leading slash, otherwise
// relative to the folder of the part that refers to it.
QString resolve(const QString& folder, const QString& target) {
    if (target.startsWith(u'/')) return target.mid(1);
    QString path = folder.isEmpty() ? target : folder + u'/' + target;
    // "xl/worksheets/../x.xml": resolved by hand, as QDir::cleanPath would keep a leading "..".
    QStringList out;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u".") continue;
        if (part == u"..") {
            if (!out.isEmpty()) out.removeLast();
            continue;
        }
        out << part;
    }
    return out.join(u'/');
}

struct Relationship {
    QString target, type;
};

} // namespace

int xlsxColumnOf(QStringView reference) {
    int col = 0, letters = 0;
    for (const QChar c : reference) {
        const char16_t u = c.unicode();
        const char16_t upper = u >= u'a' && u <= u'z' ? char16_t(u - 32) : u;
        if (upper < u'A' || upper > u'Z') break;
        col = col * 26 + (upper - u'A' + 1);
        if (++letters > 3) return -1;
    }
    return letters == 0 || col - 1 > kLastColumn ? -1 : col - 1;
}

QString xlsxColumnName(int column) {
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

bool xlsxIsDateFormat(int id, const QString& code) {
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47)) return true;
    // The East Asian built-in formats (年月日, 上午/下午) are dates and times too.
    if (code.isEmpty() && ((id >= 27 && id <= 36) || (id >= 50 && id <= 58))) return true;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (quoted) {
            quoted = c != u'"';
            continue;
        }
        if (c == u'"') {
            quoted = true;
        } else if (c == u'[') {
            ++bracket;
        } else if (c == u']') {
            bracket = std::max(0, bracket - 1);
        } else if (bracket == 0) {
            if (c == u'\\' || c == u'_' || c == u'*') {
                ++i; // the next character is shown as it is
                continue;
            }
            if (QStringView(u"yYmMdDhH").contains(c)) return true;
        }
    }
    return false;
}

const XlsxCell* XlsxRow::cell(int column) const {
    for (const XlsxCell& c : cells)
        if (c.column == column) return &c;
    return nullptr;
}

QString XlsxRow::text(int column) const {
    const XlsxCell* c = cell(column);
    return c ? c->text : QString();
}

XlsxReader::XlsxReader(const QString& path, const XlsxCaps& caps)
    : m_displayName(QDir::toNativeSeparators(path)), m_caps(caps) {
    try {
        m_zip = std::make_unique<ZipArchive>(path);
    } catch (const DbError& e) {
        if (e.number() == FileAccessError) throw;
        m_zip.reset();
    }
    readWorkbook();
}

XlsxReader::XlsxReader(const QByteArray& bytes, const QString& displayName, const XlsxCaps& caps)
    : m_displayName(displayName), m_caps(caps) {
    try {
        m_zip = std::make_unique<ZipArchive>(bytes, displayName);
    } catch (const DbError&) {
        m_zip.reset();
    }
    readWorkbook();
}

XlsxReader::~XlsxReader() = default;

void XlsxReader::damaged(const QString& part, const QString& why) const {
    throw DbError(ErrNo::General,
                  QStringLiteral("文件“%1”中的“%2”已损坏，无法读取：%3。").arg(displayName(), part, why));
}

namespace {
// XML the parser refuses: broken, or entities that expand past its limit (no workbook declares any). The
// parser's own words go to the details.
[[noreturn]] void notXml(const QString& file, const QString& part, const QString& parserText) {
    throw DbError(ErrNo::General,
                  QStringLiteral("文件“%1”中的“%2”不是有效的XML（已损坏，或含有工作簿不应有的实体定义），"
                                 "无法读取。")
                      .arg(file, part),
                  parserText, QString());
}
} // namespace

namespace {
// The relationships of a part, by their Id.
QHash<QString, Relationship> readRelationships(const ZipArchive& zip, const QString& part, qint64 cap) {
    QHash<QString, Relationship> out;
    const QString folder = folderOf(part);
    const QString relsPart = (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") +
                             part.mid(part.lastIndexOf(u'/') + 1) + QStringLiteral(".rels");
    if (!zip.member(relsPart)) return out;
    const auto s = zip.open(relsPart, cap);
    QXmlStreamReader r(s.get());
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement || r.name() != u"Relationship") continue;
        const QXmlStreamAttributes a = r.attributes();
        const QString target = a.value(QLatin1String("Target")).toString();
        out.insert(a.value(QLatin1String("Id")).toString(),
                   Relationship{a.value(QLatin1String("TargetMode")) == u"External" ? QString()
                                                                                    : resolve(folder, target),
                                a.value(QLatin1String("Type")).toString()});
    }
    if (s->failure()) throw *s->failure();
    if (r.hasError()) notXml(zip.displayName(), relsPart, r.errorString());
    return out;
}
} // namespace

void XlsxReader::readWorkbook() {
    if (!m_zip)
        throw DbError(ErrNo::General,
                      QStringLiteral("文件“%1”不是Excel工作簿（.xlsx），无法读取。").arg(displayName()));
    QString book = QStringLiteral("xl/workbook.xml");
    for (const Relationship& rel : readRelationships(*m_zip, QString(), m_caps.maxPartSize))
        if (rel.type.endsWith(QLatin1String("/officeDocument")) && !rel.target.isEmpty()) book = rel.target;
    if (!m_zip->member(book))
        throw DbError(ErrNo::General,
                      QStringLiteral("文件“%1”不是Excel工作簿（.xlsx），无法读取。").arg(displayName()));
    const QHash<QString, Relationship> rels = readRelationships(*m_zip, book, m_caps.maxPartSize);
    for (const Relationship& rel : rels) {
        if (rel.type.endsWith(QLatin1String("/sharedStrings"))) m_stringsPart = rel.target;
        if (rel.type.endsWith(QLatin1String("/styles"))) m_stylesPart = rel.target;
    }
    const auto s = m_zip->open(book, m_caps.maxPartSize);
    QXmlStreamReader r(s.get());
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == u"workbookPr") {
            const QStringView d = r.attributes().value(QLatin1String("date1904"));
            m_date1904 = d == u"1" || d == u"true";
        } else if (r.name() == u"sheet") {
            XlsxSheet sheet;
            for (const QXmlStreamAttribute& a : r.attributes()) {
                if (a.name() == u"name") sheet.name = a.value().toString();
                if (a.name() == u"state") sheet.hidden = a.value() != u"visible";
                if (a.name() == u"id") sheet.part = rels.value(a.value().toString()).target; // r:id
            }
            m_sheets.append(sheet);
        } else if (r.name() == u"definedNames") {
            r.skipCurrentElement(); // names of ranges: a template holds thousands
        }
    }
    if (s->failure()) throw *s->failure();
    if (r.hasError()) notXml(displayName(), book, r.errorString());
}

const XlsxSheet* XlsxReader::sheet(const QString& name) const {
    for (const XlsxSheet& s : m_sheets)
        if (s.name == name) return &s;
    return nullptr;
}

void XlsxReader::openSharedStrings() {
    if (m_stringsOpened) return;
    m_stringStarts = {0};
    if (m_stringsPart.isEmpty() || !m_zip->member(m_stringsPart)) {
        m_stringsOpened = m_stringsDone = true;
        return;
    }
    // Marked open only once it is: a part refused here is refused again at the next string wanted.
    m_stringsStream = m_zip->open(m_stringsPart, m_caps.maxPartSize);
    m_stringsXml = SheetXml::scan(*m_stringsStream);
    if (!m_stringsXml) {
        m_stringsStream = m_zip->open(m_stringsPart, m_caps.maxPartSize);
        m_stringsXml = SheetXml::parse(*m_stringsStream);
    }
    m_stringsOpened = true;
}

bool XlsxReader::sharedString(qsizetype i, QString& out) {
    openSharedStrings();
    QString item;
    while (!m_stringsDone && m_stringStarts.size() <= i + 1) {
        if (!m_stringsXml->nextString(item)) {
            m_stringsDone = true;
            m_stringText.squeeze();
            m_stringStarts.squeeze();
            if (m_stringsStream->failure()) throw *m_stringsStream->failure();
            if (const QString error = m_stringsXml->error(); !error.isEmpty())
                notXml(displayName(), m_stringsPart, error);
            m_stringsXml.reset();
            m_stringsStream.reset();
            break;
        }
        if (m_stringStarts.size() > m_caps.maxSharedStrings)
            throw DbError(ErrNo::General, QStringLiteral("文件“%1”的共享字符串超过%2个的限制，不能读取。")
                                              .arg(displayName())
                                              .arg(m_caps.maxSharedStrings));
        m_stringText += item;
        m_stringStarts.append(m_stringText.size());
    }
    if (i < 0 || i + 1 >= m_stringStarts.size()) return false;
    out = QStringView(m_stringText)
              .mid(m_stringStarts[i], m_stringStarts[i + 1] - m_stringStarts[i])
              .toString();
    return true;
}

void XlsxReader::readStyles() {
    if (m_stylesRead) return;
    m_stylesRead = true;
    if (m_stylesPart.isEmpty() || !m_zip->member(m_stylesPart)) return;
    const auto s = m_zip->open(m_stylesPart, m_caps.maxPartSize);
    QXmlStreamReader r(s.get());
    QHash<int, QString> codes;
    QList<int> formats; // number format of each cell style
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == u"numFmt") {
            const QXmlStreamAttributes a = r.attributes();
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                         a.value(QLatin1String("formatCode")).toString());
        } else if (r.name() == u"cellXfs") {
            while (r.readNextStartElement()) {
                if (r.name() == u"xf")
                    formats.append(r.attributes().value(QLatin1String("numFmtId")).toInt());
                r.skipCurrentElement();
            }
        }
    }
    if (s->failure()) throw *s->failure();
    if (r.hasError()) notXml(displayName(), m_stylesPart, r.errorString());
    m_dateStyles.reserve(formats.size());
    for (int id : formats)
        m_dateStyles.append(xlsxIsDateFormat(id, codes.value(id)));
}

QList<XlsxRow> XlsxReader::rows(const XlsxSheet& sheet, const XlsxStop& stop) {
    QList<XlsxRow> out;
    readRows(sheet, stop, [&out](const XlsxRow& row) { out.append(row); });
    return out;
}

void XlsxReader::readRows(const XlsxSheet& sheet, const XlsxStop& stop,
                          const std::function<void(const XlsxRow&)>& visit) {
    readStyles();
    if (sheet.part.isEmpty() || !m_zip->member(sheet.part))
        throw DbError(
            ErrNo::General,
            QStringLiteral("文件“%1”中缺少工作表“%2”的内容，无法读取。").arg(displayName(), sheet.name));
    auto s = m_zip->open(sheet.part, m_caps.maxPartSize, !stop.topOnly);
    std::unique_ptr<SheetXml> xml = SheetXml::scan(*s);
    if (!xml) {
        s = m_zip->open(sheet.part, m_caps.maxPartSize, !stop.topOnly);
        xml = SheetXml::parse(*s);
    }
    XlsxRow row; // its cells' room is used again row after row
    int rowNo = 0;
    bool stopped = false;
    QString rAttr;
    SheetCell raw;
    while (!stopped && xml->nextRow(rAttr)) {
        bool ok = true;
        const int number = rAttr.isEmpty() ? rowNo + 1 : QStringView(rAttr).trimmed().toInt(&ok);
        if (!ok || number <= rowNo || number > kLastRow)
            damaged(sheet.part,
                    QStringLiteral("行号“%1”无效").arg(rAttr.isEmpty() ? QString::number(number) : rAttr));
        rowNo = number;
        if (stop.lastRow > 0 && number > stop.lastRow) break;
        row.number = number;
        row.cells.clear();
        int col = -1;
        while (xml->nextCell(raw)) {
            const int c = raw.ref.isEmpty() ? col + 1 : xlsxColumnOf(raw.ref);
            if (c < 0 || c <= col || c > kLastColumn)
                damaged(sheet.part, QStringLiteral("单元格位置“%1”无效").arg(raw.ref));
            col = c;
            if (!raw.hasValue) continue;
            const QString &type = raw.type, &v = raw.v;
            XlsxCell cell;
            cell.column = col;
            if (type == u"s") {
                const int i = v.trimmed().toInt(&ok);
                if (!ok || !sharedString(i, cell.text))
                    damaged(sheet.part, QStringLiteral("共享字符串%1不存在").arg(v));
            } else if (type == u"inlineStr") {
                cell.text = raw.inlineText.isEmpty() ? v : raw.inlineText;
            } else if (type == u"d") {
                cell.text = v.trimmed();
                cell.dateTime = QDateTime::fromString(cell.text, Qt::ISODate);
                cell.date = cell.dateTime.isValid();
                if (cell.date) cell.dateTime.setTimeSpec(Qt::UTC);
            } else if (type == u"str" || type == u"e" || type == u"b") {
                cell.text = v;
            } else {
                double n = 0;
                cell.number = strictNumber(v, n);
                cell.text = cell.number ? plainNumber(v, n) : v;
                if (cell.number && raw.style >= 0 && raw.style < m_dateStyles.size() &&
                    m_dateStyles[raw.style]) {
                    cell.dateTime = serialDateTime(n, m_date1904);
                    cell.date = cell.dateTime.isValid();
                }
            }
            if (cell.text.isEmpty()) continue;
            if (col >= m_caps.maxColumns)
                throw DbError(
                    ErrNo::General,
                    QStringLiteral("文件“%1”的工作表“%2”第%3行在第%4列（%5）有内容，超过%6列的限制，"
                                   "不能读取。")
                        .arg(displayName(), sheet.name)
                        .arg(number)
                        .arg(col + 1)
                        .arg(xlsxColumnName(col))
                        .arg(m_caps.maxColumns));
            row.cells.append(std::move(cell));
        }
        if (row.cells.isEmpty()) continue;
        if (number > m_caps.maxRows)
            throw DbError(ErrNo::General, QStringLiteral("文件“%1”的工作表“%2”超过%3行的限制，不能读取。")
                                              .arg(displayName(), sheet.name)
                                              .arg(m_caps.maxRows));
        visit(row);
        stopped = stop.after && stop.after(row);
    }
    if (s->failure()) throw *s->failure();
    if (const QString error = xml->error(); !error.isEmpty()) notXml(displayName(), sheet.part, error);
}

QList<XlsxListRule> XlsxReader::listRules(const XlsxSheet& sheet) {
    const auto s = m_zip->open(sheet.part, m_caps.maxPartSize);
    QXmlStreamReader r(s.get());
    QList<XlsxListRule> out;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == u"sheetData") {
            r.skipCurrentElement();
            continue;
        }
        if (r.name() != u"dataValidation" || r.attributes().value(QLatin1String("type")) != u"list") continue;
        XlsxListRule rule;
        const QStringList refs =
            r.attributes().value(QLatin1String("sqref")).toString().split(u' ', Qt::SkipEmptyParts);
        for (const QString& ref : refs) {
            const QStringList ends = ref.split(u':');
            XlsxListRule::Range range;
            auto cellAt = [](const QString& cell, int& column, int& row) {
                column = xlsxColumnOf(cell);
                qsizetype digits = 0;
                while (digits < cell.size() && cell[digits].isLetter())
                    ++digits;
                bool ok = false;
                row = cell.mid(digits).toInt(&ok);
                return column >= 0 && ok && row >= 1 && row <= kLastRow;
            };
            if (!cellAt(ends.first(), range.firstColumn, range.firstRow) ||
                !cellAt(ends.last(), range.lastColumn, range.lastRow))
                continue;
            rule.ranges.append(range);
        }
        while (r.readNextStartElement()) {
            if (r.name() != u"formula1") {
                r.skipCurrentElement();
                continue;
            }
            const QString f = r.readElementText().trimmed();
            // "a,b,c" with the quotes: the list itself; anything else refers to cells.
            if (f.size() >= 2 && f.startsWith(u'"') && f.endsWith(u'"')) {
                rule.inlineList = true;
                for (const QString& v : f.mid(1, f.size() - 2).split(u','))
                    rule.values << v.trimmed();
            }
        }
        if (!rule.ranges.isEmpty()) out.append(rule);
    }
    if (s->failure()) throw *s->failure();
    if (r.hasError()) notXml(displayName(), sheet.part, r.errorString());
    return out;
}
