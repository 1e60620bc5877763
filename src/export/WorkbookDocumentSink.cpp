#include "WorkbookDocumentSink.h"

#include "common/modFunction.h"
#include "export/ExportWriter.h"
#include "export/XmlDocumentSink.h"
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryFile>
#include <QXmlStreamReader>
#include <QtEndian>
#include <cstdio>
#include <xlsxwriter.h>
#include <zlib.h>

namespace {

constexpr long FileAccessError = 75; // path/file access error

// ---- Reading a workbook: an .xlsx is a zip of XML parts.

QString Local(const QString& path) {
    return QDir::toNativeSeparators(path);
}

DbError NoWorkbook(const QString& path, const QString& why = {}) {
    QString text = QStringLiteral("文件“%1”不是Excel工作簿（.xlsx），无法读取").arg(Local(path));
    if (!why.isEmpty()) text += QStringLiteral("：") + why;
    return DbError(ErrNo::General, text + QStringLiteral("。"));
}

// "AB12" → 27 (0-based column); -1 without letters.
int ColumnOf(QStringView ref) {
    int col = 0, letters = 0;
    for (const QChar c : ref) {
        if (c < u'A' || c > u'Z') break;
        col = col * 26 + (c.unicode() - u'A' + 1);
        ++letters;
    }
    return letters == 0 ? -1 : col - 1;
}

// The text of a string item (<si> or <is>) at its start: its runs, without phonetic hints.
QString StringItem(QXmlStreamReader& r) {
    QString text;
    while (r.readNextStartElement()) {
        if (r.name() == u"t") {
            text += r.readElementText();
        } else if (r.name() == u"r") {
            while (r.readNextStartElement()) {
                if (r.name() == u"t")
                    text += r.readElementText();
                else
                    r.skipCurrentElement();
            }
        } else {
            r.skipCurrentElement(); // rPh, phoneticPr
        }
    }
    return text;
}

// The members of a zip file. QuaZip cannot serve here: it exports its own variant of minizip's
// functions, which then replace the ones libxlsxwriter calls, and writing a workbook crashes.
class ZipMembers {
public:
    // False when the bytes are no zip file this reader understands (zip64 is not needed for a template).
    bool open(const QByteArray& bytes) {
        m_bytes = bytes;
        const qsizetype n = bytes.size();
        for (qsizetype end = n - 22; end >= 0 && end >= n - 22 - 65535; --end) {
            if (u32(end) != 0x06054b50) continue;
            const quint32 entries = u16(end + 10), offset = u32(end + 16);
            qsizetype p = offset;
            for (quint32 i = 0; i < entries; ++i) {
                if (p + 46 > n || u32(p) != 0x02014b50) return false;
                Member m{u16(p + 10), u32(p + 20), u32(p + 24), u32(p + 42)};
                const quint16 nameLen = u16(p + 28);
                if (p + 46 + nameLen > n) return false;
                m_members.insert(QString::fromUtf8(bytes.mid(p + 46, nameLen)), m);
                p += 46 + nameLen + u16(p + 30) + u16(p + 32);
            }
            return true;
        }
        return false;
    }
    bool contains(const QString& name) const { return m_members.contains(name); }
    // The member's bytes; false when it cannot be read (damaged, or a method other than stored and deflated).
    bool read(const QString& name, QByteArray& out) const {
        const Member m = m_members.value(name);
        const qsizetype local = m.offset;
        if (local + 30 > m_bytes.size() || u32(local) != 0x04034b50) return false;
        const qsizetype data = local + 30 + u16(local + 26) + u16(local + 28);
        if (data + qsizetype(m.packed) > m_bytes.size()) return false;
        if (m.method == 0) {
            out = m_bytes.mid(data, m.packed);
            return m.packed == m.size;
        }
        if (m.method != 8 || m.size > 512u * 1024 * 1024) return false;
        out.resize(qsizetype(m.size));
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m_bytes.constData() + data));
        z.avail_in = m.packed;
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = m.size;
        const int rc = inflate(&z, Z_FINISH);
        const bool ok = (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && m.size == 0)) && z.total_out == m.size;
        inflateEnd(&z);
        return ok;
    }

private:
    struct Member {
        quint16 method = 0;
        quint32 packed = 0, size = 0, offset = 0;
    };
    quint16 u16(qsizetype at) const { return qFromLittleEndian<quint16>(m_bytes.constData() + at); }
    quint32 u32(qsizetype at) const { return qFromLittleEndian<quint32>(m_bytes.constData() + at); }

    QByteArray m_bytes;
    QHash<QString, Member> m_members;
};

class XlsxPackage {
public:
    struct Sheet {
        QString name, part;
    };

    explicit XlsxPackage(const QString& path) : m_path(path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(FileAccessError,
                          QStringLiteral("路径/文件访问错误：%1（%2）").arg(Local(path), file.errorString()));
        if (!m_zip.open(file.readAll())) throw NoWorkbook(path);
        const QByteArray book = part(QStringLiteral("xl/workbook.xml"), true);
        QHash<QString, QString> targets;
        QXmlStreamReader rels(part(QStringLiteral("xl/_rels/workbook.xml.rels"), true));
        while (!rels.atEnd()) {
            if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == u"Relationship") {
                const QXmlStreamAttributes a = rels.attributes();
                const QString target = a.value(QLatin1String("Target")).toString();
                // Relative to xl/, or from the package root with a leading slash.
                targets.insert(a.value(QLatin1String("Id")).toString(),
                               target.startsWith(u'/') ? target.mid(1)
                                                       : QDir::cleanPath(QStringLiteral("xl/") + target));
            }
        }
        QXmlStreamReader r(book);
        while (!r.atEnd()) {
            if (r.readNext() != QXmlStreamReader::StartElement || r.name() != u"sheet") continue;
            Sheet s;
            for (const QXmlStreamAttribute& a : r.attributes()) {
                if (a.name() == u"name") s.name = a.value().toString();
                if (a.name() == u"id") s.part = targets.value(a.value().toString()); // r:id
            }
            m_sheets.append(s);
        }
        if (rels.hasError() || r.hasError())
            throw NoWorkbook(path, r.hasError() ? r.errorString() : rels.errorString());
        QXmlStreamReader ss(part(QStringLiteral("xl/sharedStrings.xml"), false));
        while (!ss.atEnd())
            if (ss.readNext() == QXmlStreamReader::StartElement && ss.name() == u"si")
                m_strings.append(StringItem(ss));
    }

    const QList<Sheet>& sheets() const { return m_sheets; }

    QList<QList<WorkbookCell>> rows(const Sheet& sheet) {
        QList<QList<WorkbookCell>> rows;
        QXmlStreamReader r(part(sheet.part, true));
        int rowNo = 0;
        while (!r.atEnd()) {
            if (r.readNext() != QXmlStreamReader::StartElement || r.name() != u"row") continue;
            const QStringView rAttr = r.attributes().value(QLatin1String("r"));
            rowNo = rAttr.isEmpty() ? rowNo + 1 : rAttr.toInt();
            if (rowNo < 1 || rowNo > 1048576)
                throw NoWorkbook(m_path, QStringLiteral("行号%1无效").arg(rowNo));
            while (rows.size() < rowNo)
                rows.append(QList<WorkbookCell>());
            QList<WorkbookCell>& row = rows[rowNo - 1];
            int col = -1;
            while (r.readNextStartElement()) {
                if (r.name() != u"c") {
                    r.skipCurrentElement();
                    continue;
                }
                const QXmlStreamAttributes a = r.attributes();
                const int c = ColumnOf(a.value(QLatin1String("r")));
                col = c < 0 ? col + 1 : c;
                if (col > 16383) throw NoWorkbook(m_path, QStringLiteral("列号无效"));
                const QString type = a.value(QLatin1String("t")).toString();
                WorkbookCell cell;
                QString v;
                while (r.readNextStartElement()) {
                    if (r.name() == u"v")
                        v = r.readElementText();
                    else if (r.name() == u"is")
                        cell.text = StringItem(r);
                    else
                        r.skipCurrentElement(); // f: the value is what counts
                }
                if (type == u"s") {
                    bool ok = false;
                    const int i = v.toInt(&ok);
                    if (!ok || i < 0 || i >= m_strings.size())
                        throw NoWorkbook(m_path, QStringLiteral("共享字符串%1不存在").arg(v));
                    cell.text = m_strings[i];
                } else if (type == u"str" || type == u"b" || type == u"e") {
                    cell.text = v;
                } else if (type != u"inlineStr" && !v.isEmpty()) {
                    double n = 0;
                    cell.number = StrictNumber(v, n);
                    cell.text = cell.number ? NumberText(n) : v;
                }
                while (row.size() <= col)
                    row.append(WorkbookCell());
                row[col] = cell;
            }
        }
        if (r.hasError()) throw NoWorkbook(m_path, r.errorString());
        return rows;
    }

private:
    QByteArray part(const QString& name, bool required) {
        if (!m_zip.contains(name)) {
            if (required) throw NoWorkbook(m_path, QStringLiteral("缺少%1").arg(name));
            return {};
        }
        QByteArray bytes;
        if (!m_zip.read(name, bytes)) throw NoWorkbook(m_path, QStringLiteral("无法读取%1").arg(name));
        return bytes;
    }

    QString m_path;
    ZipMembers m_zip;
    QList<Sheet> m_sheets;
    QStringList m_strings;
};

// ---- Headings.

// A heading as compared: without blanks, the asterisk of a required column and a trailing remark in
// brackets ("*购买方名称（必填）" → "购买方名称").
QString HeadingKey(const QString& heading) {
    QString k;
    for (const QChar c : heading)
        if (!c.isSpace() && c != u'*' && c != u'＊') k += c;
    if (k.endsWith(u')') || k.endsWith(u'）')) {
        const qsizetype open = std::max(k.lastIndexOf(u'('), k.lastIndexOf(u'（'));
        if (open > 0) k.truncate(open);
    }
    return k;
}

const QHash<QString, QString>& KnownHeadings() {
    static const QHash<QString, QString> table = [] {
        const QList<std::pair<QString, QStringList>> names{
            {WorkbookValue::DocKey, {QStringLiteral("发票流水号"), QStringLiteral("流水号")}},
            {WorkbookValue::LineNo,
             {QStringLiteral("序号"), QStringLiteral("明细序号"), QStringLiteral("行号")}},
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
             {QStringLiteral("商品和服务税收分类编码"), QStringLiteral("商品和服务税收分类合并编码"),
              QStringLiteral("税收分类编码"), QStringLiteral("商品编码"), QStringLiteral("税收编码")}},
            {QStringLiteral("企业自编码"), {QStringLiteral("企业自编码"), QStringLiteral("商品自编码")}},
            {QStringLiteral("优惠政策标识"),
             {QStringLiteral("优惠政策标识"), QStringLiteral("是否享受优惠政策"),
              QStringLiteral("享受优惠政策")}},
            {QStringLiteral("优惠政策说明"),
             {QStringLiteral("优惠政策说明"), QStringLiteral("优惠政策类型"),
              QStringLiteral("享受优惠政策内容")}},
            {QStringLiteral("零税率标识"), {QStringLiteral("零税率标识")}},
        };
        QHash<QString, QString> t;
        for (const auto& [value, headings] : names)
            for (const QString& h : headings)
                t.insert(HeadingKey(h), value);
        return t;
    }();
    return table;
}

bool Has(const WorkbookSheetLayout& s, const QString& value) {
    for (const WorkbookColumn& c : s.columns)
        if (c.value == value) return true;
    return false;
}

// ---- Values.

// GBK holds ASCII in one byte and every other character in two (four for one outside the BMP, which
// the platform counts like that).
int GbkLength(const QString& text) {
    int n = 0;
    for (const QChar c : text)
        n += c.unicode() < 0x80 ? 1 : 2;
    return n;
}

bool IsNumberPart(const QString& part) {
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
// separated parts made of digits and phone punctuation; without such parts all is the name.
std::pair<QString, QString> SplitTrailingNumber(const QString& text) {
    const QStringList parts = text.simplified().split(u' ', Qt::SkipEmptyParts);
    qsizetype first = parts.size();
    while (first > 1 && IsNumberPart(parts[first - 1]))
        --first;
    return {parts.mid(0, first).join(u' '), parts.mid(first).join(u' ')};
}

bool IsNumericValue(const QString& value) {
    static const QSet<QString> numeric{QStringLiteral("数量"),       QStringLiteral("单价"),
                                       QStringLiteral("不含税金额"), QStringLiteral("税率"),
                                       QStringLiteral("税额"),       QStringLiteral("折扣金额"),
                                       QStringLiteral("折扣税额")};
    return numeric.contains(value);
}

struct OutCell {
    QString text;
    bool number = false;
    double n = 0;
};

OutCell CellOf(const QString& value, const SinkDocument& doc, const QHash<QString, QString>* line,
               int ordinal) {
    OutCell cell;
    if (value.isEmpty()) return cell;
    if (value == WorkbookValue::LineNo) return OutCell{QString::number(ordinal), true, double(ordinal)};
    if (value == WorkbookValue::DocKey) {
        cell.text = doc.docNo;
    } else if (doc.head.contains(value)) {
        // A link that maps the template's own column (address, phone, bank, account) fills it itself.
        cell.text = doc.head.value(value);
    } else if (value == WorkbookValue::Address || value == WorkbookValue::Phone) {
        const auto [address, phone] = SplitTrailingNumber(doc.head.value(QStringLiteral("购方地址电话")));
        cell.text = value == WorkbookValue::Address ? address : phone;
    } else if (value == WorkbookValue::Bank || value == WorkbookValue::Account) {
        const auto [bank, account] = SplitTrailingNumber(doc.head.value(QStringLiteral("购方银行帐号")));
        cell.text = value == WorkbookValue::Bank ? bank : account;
    } else if (line && line->contains(value)) {
        cell.text = line->value(value);
    } else {
        cell.text = doc.head.value(value);
    }
    if (value == QStringLiteral("税率")) cell.text = TaxRateFraction(cell.text);
    // Codes and numbers of other columns stay text: a 19-digit code is no number to the platform.
    if (IsNumericValue(value)) cell.number = StrictNumber(cell.text, cell.n);
    return cell;
}

QJsonObject SheetJson(const WorkbookSheetLayout& s) {
    QJsonArray columns;
    for (const WorkbookColumn& c : s.columns)
        columns.append(
            QJsonObject{{QStringLiteral("heading"), c.heading}, {QStringLiteral("value"), c.value}});
    return QJsonObject{{QStringLiteral("sheet"), s.name},
                       {QStringLiteral("headerRow"), s.headerRow},
                       {QStringLiteral("columns"), columns}};
}

std::optional<WorkbookSheetLayout> SheetFromJson(const QJsonValue& v) {
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
        if (!c.isObject() || !c.toObject().value(QStringLiteral("heading")).isString()) return std::nullopt;
        s.columns.append(WorkbookColumn{c.toObject().value(QStringLiteral("heading")).toString(),
                                        c.toObject().value(QStringLiteral("value")).toString()});
    }
    return s;
}

} // namespace

QString WorkbookValueOfHeading(const QString& heading) {
    return KnownHeadings().value(HeadingKey(heading));
}

QString WorkbookLayout::ToJson() const {
    const QJsonObject o{{QStringLiteral("head"), SheetJson(head)},
                        {QStringLiteral("detail"), SheetJson(detail)},
                        {QStringLiteral("detailFirst"), detailFirst}};
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<WorkbookLayout> WorkbookLayout::FromJson(const QString& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const std::optional<WorkbookSheetLayout> head = SheetFromJson(o.value(QStringLiteral("head")));
    const std::optional<WorkbookSheetLayout> detail = SheetFromJson(o.value(QStringLiteral("detail")));
    if (!head || !detail || head->name == detail->name) return std::nullopt;
    return WorkbookLayout{*head, *detail, o.value(QStringLiteral("detailFirst")).toBool()};
}

QStringList WorkbookSheetNames(const QString& xlsxPath) {
    XlsxPackage package(xlsxPath);
    QStringList names;
    for (const XlsxPackage::Sheet& s : package.sheets())
        names << s.name;
    return names;
}

QList<QList<WorkbookCell>> ReadWorkbookSheet(const QString& xlsxPath, const QString& sheet) {
    XlsxPackage package(xlsxPath);
    for (const XlsxPackage::Sheet& s : package.sheets())
        if (s.name == sheet) return package.rows(s);
    throw DbError(ErrNo::General, QStringLiteral("工作簿“%1”中没有工作表“%2”。").arg(Local(xlsxPath), sheet));
}

WorkbookLayout LearnWorkbookLayout(const QString& xlsxPath) {
    XlsxPackage package(xlsxPath);
    QList<WorkbookSheetLayout> sheets;
    for (const XlsxPackage::Sheet& s : package.sheets()) {
        WorkbookSheetLayout layout;
        layout.name = s.name;
        const QList<QList<WorkbookCell>> rows = package.rows(s);
        for (int r = 0; r < rows.size() && layout.columns.isEmpty(); ++r) {
            QList<WorkbookCell> row = rows[r];
            while (!row.isEmpty() && row.last().text.trimmed().isEmpty())
                row.removeLast();
            layout.headerRow = r + 1;
            for (const WorkbookCell& c : row)
                layout.columns.append(WorkbookColumn{c.text, WorkbookValueOfHeading(c.text)});
        }
        sheets.append(layout);
    }
    // A sheet with goods is the detail sheet even when it names the buyer too.
    int head = -1, detail = -1;
    for (int i = 0; i < sheets.size(); ++i) {
        if (!Has(sheets[i], WorkbookValue::DocKey)) continue;
        const bool goods = Has(sheets[i], QStringLiteral("货物名称"));
        if (goods && detail < 0)
            detail = i;
        else if (!goods && head < 0 && Has(sheets[i], QStringLiteral("购方名称")))
            head = i;
    }
    QStringList missing;
    if (head < 0) missing << QStringLiteral("发票基本信息（列标题含“发票流水号”和“购买方名称”）");
    if (detail < 0) missing << QStringLiteral("发票明细信息（列标题含“发票流水号”和“项目名称”）");
    if (!missing.isEmpty())
        throw DbError(ErrNo::General, QStringLiteral("工作簿“%1”中没有%2的工作表，不能作为批量开票模板。")
                                          .arg(Local(xlsxPath), missing.join(QStringLiteral("和"))));
    return WorkbookLayout{sheets[head], sheets[detail], detail < head};
}

struct WorkbookDocumentSink::Impl {
    QString path;
    WorkbookLayout layout;
    QList<QList<OutCell>> headRows, detailRows; // written in Commit: nothing touches the disk before
    QHash<QString, QString> keys;               // 发票流水号 -> the 单据号 it stands for
    QHash<QString, QString> checkedKeys;        // the same, of the documents checked
};

WorkbookDocumentSink::WorkbookDocumentSink(const QString& path, const WorkbookLayout& layout)
    : d(std::make_unique<Impl>(Impl{path, layout, {}, {}, {}, {}})) {}

WorkbookDocumentSink::~WorkbookDocumentSink() = default;

void WorkbookDocumentSink::Begin(int documents) {
    if (documents > 0) d->headRows.reserve(documents);
}

SinkDocument WorkbookDocumentSink::Checked(const SinkDocument& whole, const QHash<QString, QString>& keys) {
    // The platform takes a 发票流水号 of at most 20 characters: a longer 单据号 keeps its last 20, where
    // bill numbers (and the pieces of a split invoice) differ; two that come out alike are refused.
    SinkDocument doc = whole;
    if (doc.docNo.size() > 20) doc.docNo = doc.docNo.right(20);
    if (const auto other = keys.constFind(doc.docNo); other != keys.constEnd())
        throw ExportRefused(
            QStringLiteral("发票“%1”与发票“%2”的发票流水号截为20个字符后都是“%3”，电子发票平台"
                           "不能区分，引出失败！")
                .arg(*other, whole.docNo, doc.docNo));
    // The platform's limits of one invoice, checked before anything of the document is kept.
    const QString buyer = doc.head.value(QStringLiteral("购方名称"));
    if (GbkLength(buyer) > 100)
        throw ExportRefused(
            QStringLiteral("发票“%1”的购买方名称“%2”超过100个字节，引出失败！").arg(doc.docNo, buyer));
    auto together = [&](const QString& field, const QString& what) {
        const QString text = doc.head.value(field);
        const auto [name, number] = SplitTrailingNumber(text);
        if (GbkLength(name) + GbkLength(number) > 100)
            throw ExportRefused(
                QStringLiteral("发票“%1”的%2“%3”合计超过100个字节，引出失败！").arg(doc.docNo, what, text));
    };
    together(QStringLiteral("购方地址电话"), QStringLiteral("购买方地址和电话"));
    together(QStringLiteral("购方银行帐号"), QStringLiteral("购买方开户银行和银行账号"));
    return doc;
}

void WorkbookDocumentSink::Check(const SinkDocument& whole) {
    const SinkDocument doc = Checked(whole, d->checkedKeys);
    d->checkedKeys.insert(doc.docNo, whole.docNo);
}

void WorkbookDocumentSink::Add(const SinkDocument& whole) {
    const SinkDocument doc = Checked(whole, d->keys);
    QList<OutCell> head;
    for (const WorkbookColumn& c : d->layout.head.columns)
        head.append(CellOf(c.value, doc, nullptr, int(d->headRows.size()) + 1));
    QList<QList<OutCell>> lines;
    for (int i = 0; i < doc.lines.size(); ++i) {
        QList<OutCell> row;
        for (const WorkbookColumn& c : d->layout.detail.columns)
            row.append(CellOf(c.value, doc, &doc.lines[i], i + 1));
        lines.append(row);
    }
    d->keys.insert(doc.docNo, whole.docNo);
    d->headRows.append(head);
    d->detailRows += lines;
}

namespace {

void WriteSheet(lxw_workbook* book, const WorkbookSheetLayout& layout, const QList<QList<OutCell>>& rows) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, layout.name.toUtf8().constData());
    if (!sheet)
        throw DbError(ErrNo::General, QStringLiteral("工作表名称“%1”无效，引出失败！").arg(layout.name));
    auto check = [&](lxw_error e) {
        if (e != LXW_NO_ERROR)
            throw DbError(ErrNo::General, QStringLiteral("写入工作表“%1”失败：%2")
                                              .arg(layout.name, QString::fromUtf8(lxw_strerror(e))));
    };
    const lxw_row_t header = lxw_row_t(layout.headerRow - 1);
    for (int c = 0; c < layout.columns.size(); ++c)
        if (!layout.columns[c].heading.isEmpty())
            check(worksheet_write_string(sheet, header, lxw_col_t(c),
                                         layout.columns[c].heading.toUtf8().constData(), nullptr));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            const OutCell& cell = rows[r][c];
            const lxw_row_t row = header + 1 + lxw_row_t(r);
            if (cell.number)
                check(worksheet_write_number(sheet, row, lxw_col_t(c), cell.n, nullptr));
            else if (!cell.text.isEmpty())
                check(worksheet_write_string(sheet, row, lxw_col_t(c), cell.text.toUtf8().constData(),
                                             nullptr));
        }
}

} // namespace

void WorkbookDocumentSink::Commit() {
    // The C library writes by file name: a temporary name beside the target, renamed over it at the end.
    QTemporaryFile temp(d->path + QStringLiteral(".tmp-XXXXXX"));
    if (!temp.open())
        throw DbError(FileAccessError,
                      QStringLiteral("路径/文件访问错误：%1（%2）").arg(Local(d->path), temp.errorString()));
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    const QString tempName = temp.fileName();
    temp.close();

    lxw_workbook* book = workbook_new(QFile::encodeName(tempName).constData());
    if (!book) throw DbError(FileAccessError, QStringLiteral("创建工作簿失败：%1").arg(Local(tempName)));
    try {
        const WorkbookSheetLayout& first = d->layout.detailFirst ? d->layout.detail : d->layout.head;
        const WorkbookSheetLayout& second = d->layout.detailFirst ? d->layout.head : d->layout.detail;
        WriteSheet(book, first, d->layout.detailFirst ? d->detailRows : d->headRows);
        WriteSheet(book, second, d->layout.detailFirst ? d->headRows : d->detailRows);
    } catch (...) {
        workbook_close(book);
        throw;
    }
    const lxw_error closed = workbook_close(book);
    if (closed != LXW_NO_ERROR)
        throw DbError(FileAccessError,
                      QStringLiteral("保存文件失败：%1").arg(QString::fromUtf8(lxw_strerror(closed))));
    // rename() replaces the target in one step: a reader sees the old file or the new one.
    if (std::rename(QFile::encodeName(tempName).constData(), QFile::encodeName(d->path).constData()) != 0)
        throw DbError(FileAccessError, QStringLiteral("保存文件失败：%1").arg(Local(d->path)));
}
