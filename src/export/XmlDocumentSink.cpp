#include "export/XmlDocumentSink.h"

#include "common/GbkCodec.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "export/ExportWriter.h"
#include <QSaveFile>
#include <QTemporaryFile>
#include <cmath>

namespace {

constexpr long FileAccessError = 75; // path/file access error

// Element text with the five markup characters escaped; CR as a reference so that a parser does not
// turn it into LF. Other control characters have no place in XML 1.0: bad is set.
QString escaped(const QString& value, bool& bad) {
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            break;
        case u'<':
            out += QStringLiteral("&lt;");
            break;
        case u'>':
            out += QStringLiteral("&gt;");
            break;
        case u'"':
            out += QStringLiteral("&quot;");
            break;
        case u'\'':
            out += QStringLiteral("&apos;");
            break;
        case u'\r':
            out += QStringLiteral("&#13;");
            break;
        default:
            if (c.unicode() < 0x20 && c != u'\n' && c != u'\t') bad = true;
            out += c;
        }
    }
    return out;
}

double number(const QString& text) {
    double v = 0;
    return strictNumber(text, v) ? v : 0.0;
}

// A number with a fixed count of decimals (prices 8, amounts and taxes 2), rounded half up in decimal; an
// empty value stays empty, and a text that is no number is written as it is.
QString fixed(const QString& text, int decimals) {
    double v = 0;
    if (!strictNumber(text, v)) return text.trimmed();
    return decimalText(v, decimals);
}

// The byte limits of the invoicing software's elements (GBK: a Chinese character counts two).
constexpr int kSpmcBytes = 100;
struct Limit {
    const char* tag;
    const char16_t* label;
    int bytes;
};
constexpr Limit kLimits[] = {
    {"Djh", u"单据号", 20},
    {"Gfmc", u"购方名称", 100},
    {"Gfyhzh", u"购方银行帐号", 100},
    {"Gfdzdh", u"购方地址电话", 100},
    {"Bz", u"备注", 240},
    {"Fhr", u"复核人", 8},
    {"Skr", u"收款人", 8},
    {"Spmc", u"商品名称", kSpmcBytes},
    {"Ggxh", u"规格型号", 40},
    {"Jldw", u"计量单位", 32},
    {"Qyspbm", u"企业自编码", 20},
    {"Yhzcsm", u"优惠政策说明", 50},
};

class FpWriter {
public:
    FpWriter(GbkEncoder& gbk, const QString& docNo) : m_gbk(gbk), m_docNo(docNo) {}

    void open(const char* tag, int depth) {
        m_text += indent(depth) + u'<' + QLatin1String(tag) + QStringLiteral(">\r\n");
    }
    void close(const char* tag, int depth) {
        m_text += indent(depth) + QStringLiteral("</") + QLatin1String(tag) + QStringLiteral(">\r\n");
    }
    void element(const char* tag, const QString& value, int depth) {
        QByteArray probe;
        if (!m_gbk.encode(value, probe))
            throw ExportRefused(
                QStringLiteral("发票“%1”的值“%2”含有GBK编码不能表示的字符，引出失败！").arg(m_docNo, value));
        for (const Limit& l : kLimits)
            if (qstrcmp(l.tag, tag) == 0 && probe.size() > l.bytes)
                throw ExportRefused(
                    QStringLiteral("发票“%1”的%2(%3)“%4”超过%5个字节（一个汉字占2个字节），引出失败！")
                        .arg(m_docNo, QString::fromUtf16(l.label), QLatin1String(tag), value)
                        .arg(l.bytes));
        bool bad = false;
        const QString text = escaped(value, bad);
        if (bad)
            throw ExportRefused(QStringLiteral("发票“%1”的值“%2”含有XML文件不能容纳的控制字符，引出失败！")
                                    .arg(m_docNo, value));
        // Always both tags, also when empty: the import reads every element of an Fp or Sph.
        const QLatin1String name(tag);
        m_text +=
            indent(depth) + u'<' + name + u'>' + text + QStringLiteral("</") + name + QStringLiteral(">\r\n");
    }
    QByteArray bytes() {
        QByteArray out;
        if (!m_gbk.encode(m_text, out)) // every value was checked on its own
            throw ExportRefused(QStringLiteral("发票“%1”含有GBK编码不能表示的字符，引出失败！").arg(m_docNo));
        return out;
    }

private:
    static QString indent(int depth) { return QString(depth * 2, u' '); }
    GbkEncoder& m_gbk;
    QString m_docNo;
    QString m_text;
};

} // namespace

QString taxRateFraction(const QString& rate) {
    QString t = rate.trimmed();
    const bool percent = t.endsWith(u'%');
    if (percent) t.chop(1);
    double v = 0;
    if (!strictNumber(t, v)) return rate;
    // No rate reaches 100%: a value from 1 up is a percentage (the link may map 税率百分数).
    if (percent || std::fabs(v) >= 1) v /= 100;
    return numberText(v);
}

struct XmlDocumentSink::Impl {
    QString path;
    // The documents go to a file of their own as they come, so that memory stays the same however many
    // there are; the target gets the head with their number (Zsl), then the documents.
    QTemporaryFile body;
    GbkEncoder gbk;
    int announced = -1; // -1: not told
    int added = 0;
    bool begun = false;

    explicit Impl(const QString& p) : path(p), body(p + QStringLiteral(".part-XXXXXX")) {}
    void write(QIODevice& to, const QByteArray& bytes) {
        if (to.write(bytes) != bytes.size())
            throw DbError(FileAccessError, QStringLiteral("写入文件失败：%1").arg(to.errorString()));
    }
};

XmlDocumentSink::XmlDocumentSink(const QString& path) : d(std::make_unique<Impl>(path)) {}

XmlDocumentSink::~XmlDocumentSink() = default; // the target is written only by Commit

void XmlDocumentSink::begin(int documents) {
    if (!d->body.open())
        throw DbError(FileAccessError,
                      QStringLiteral("路径/文件访问错误：%1（%2）").arg(d->path, d->body.errorString()));
    d->announced = documents;
    d->begun = true;
}

void XmlDocumentSink::add(const SinkDocument& doc) {
    if (!d->begun) begin(-1);
    d->write(d->body, render(doc));
    ++d->added;
}

void XmlDocumentSink::check(const SinkDocument& doc) {
    render(doc);
}

QByteArray XmlDocumentSink::render(const SinkDocument& doc) {
    const QHash<QString, QString>& h = doc.head;
    FpWriter w(d->gbk, doc.docNo);
    // The XML import has no default code: a line without one is refused before anything is written.
    for (int i = 0; i < doc.lines.size(); ++i)
        if (doc.lines[i].value(QStringLiteral("税收分类编码")).trimmed().isEmpty())
            throw ExportRefused(QStringLiteral("发票“%1”第%2行的商品“%3”没有税收分类编码，引出失败！")
                                    .arg(doc.docNo)
                                    .arg(i + 1)
                                    .arg(doc.lines[i].value(QStringLiteral("货物名称"))));
    const QString version = h.value(QStringLiteral("编码版本号")).trimmed();
    if (version.isEmpty()) throw ExportRefused(QStringLiteral("税收分类编码版本号为空，引出失败！"));
    // The invoicing software puts *简称* before the name it reads, and its limit counts the whole.
    for (int i = 0; i < doc.lines.size(); ++i) {
        const QString name = doc.lines[i].value(QStringLiteral("货物名称"));
        const QString shortName = doc.lines[i].value(QStringLiteral("简称")).trimmed();
        const QString prefix = shortName.isEmpty() ? QString() : u'*' + shortName + u'*';
        if (prefix.isEmpty() || name.startsWith(prefix)) continue; // counted with the name
        QByteArray bytes;
        if (!d->gbk.encode(prefix + name, bytes)) continue; // refused with the value below
        if (bytes.size() > kSpmcBytes)
            throw ExportRefused(
                QStringLiteral("发票“%1”第%2行的商品名称(Spmc)“%3”加上开票软件写在前面的“%4”共%5个字节，"
                               "超过%6个字节（一个汉字占2个字节），引出失败！")
                    .arg(doc.docNo)
                    .arg(i + 1)
                    .arg(name, prefix)
                    .arg(bytes.size())
                    .arg(kSpmcBytes));
    }

    w.open("Fp", 3);
    w.element("Djh", doc.docNo, 4);
    w.element("Gfmc", h.value(QStringLiteral("购方名称")), 4);
    w.element("Gfsh", h.value(QStringLiteral("购方税号")), 4);
    w.element("Gfyhzh", h.value(QStringLiteral("购方银行帐号")), 4);
    w.element("Gfdzdh", h.value(QStringLiteral("购方地址电话")), 4);
    w.element("Bz", h.value(QStringLiteral("备注")), 4);
    w.element("Fhr", h.value(QStringLiteral("复核人")), 4);
    w.element("Skr", h.value(QStringLiteral("收款人")), 4);
    w.element("Spbmbbh", version, 4);
    // Prices and amounts go out without tax: 1 would mean the special 5 %/1.5 % rates, 2 差额税.
    w.element("Hsbz", QStringLiteral("0"), 4);
    w.open("Spxx", 4);
    int xh = 0;
    for (const QHash<QString, QString>& line : doc.lines) {
        const double discount = number(line.value(QStringLiteral("折扣金额")));
        const bool discounted = discount != 0;
        const QString name = line.value(QStringLiteral("货物名称"));
        const QString code = line.value(QStringLiteral("税收分类编码")).trimmed();
        const QString rate = taxRateFraction(line.value(QStringLiteral("税率")));
        const QString preferential = number(line.value(QStringLiteral("优惠政策标识"))) != 0
                                         ? QStringLiteral("1")
                                         : QStringLiteral("0");
        // Without a mapped 折扣税额 the discount's tax follows from its amount and the rate.
        const double discountTax = line.contains(QStringLiteral("折扣税额"))
                                       ? number(line.value(QStringLiteral("折扣税额")))
                                       : decimalText(discount * number(rate), 2).toDouble();
        auto sph = [&](const QString& dj, const QString& sl, const QString& je, const QString& se) {
            const bool isDiscount = dj.isNull();
            w.open("Sph", 5);
            w.element("Xh", QString::number(++xh), 6);
            w.element("Spmc", name, 6);
            w.element("Ggxh", isDiscount ? QString() : line.value(QStringLiteral("规格")), 6);
            w.element("Jldw", isDiscount ? QString() : line.value(QStringLiteral("计量单位")), 6);
            w.element("Spbm", code, 6);
            w.element("Qyspbm", line.value(QStringLiteral("企业自编码")), 6);
            w.element("Syyhzcbz", preferential, 6);
            w.element("Lslbz", line.value(QStringLiteral("零税率标识")), 6);
            w.element("Yhzcsm", line.value(QStringLiteral("优惠政策说明")), 6);
            w.element("Dj", isDiscount ? QString() : fixed(dj, 8), 6);
            w.element("Sl", sl.trimmed(), 6);
            w.element("Je", je, 6);
            w.element("Slv", rate, 6);
            w.element("Se", se, 6);
            w.element("Kce", QString(), 6);
            w.close("Sph", 5);
        };
        // The price without tax, whatever the link's 价格方式 says of it.
        QString price = line.value(QStringLiteral("单价"));
        if (number(line.value(QStringLiteral("价格方式"))) == 1 && !price.trimmed().isEmpty())
            price = numberText(number(price) / (1 + number(rate)));
        const double amount = number(line.value(QStringLiteral("不含税金额")));
        const double tax = number(line.value(QStringLiteral("税额")));
        if (!discounted) {
            sph(price.isNull() ? QStringLiteral("") : price, line.value(QStringLiteral("数量")),
                fixed(line.value(QStringLiteral("不含税金额")), 2),
                fixed(line.value(QStringLiteral("税额")), 2));
            continue;
        }
        // The line's 不含税金额 and 税额 are net of its discount: the discounted line carries them before
        // the discount (its 单价 × 数量), the discount line takes the discount off again.
        sph(price.isNull() ? QStringLiteral("") : price, line.value(QStringLiteral("数量")),
            decimalText(amount + discount, 2), decimalText(tax + discountTax, 2));
        sph(QString(), QString(), decimalText(-discount, 2), decimalText(-discountTax, 2));
    }
    w.close("Spxx", 4);
    w.close("Fp", 3);
    return w.bytes();
}

void XmlDocumentSink::commit() {
    if (!d->begun) begin(0);
    if (d->announced >= 0 && d->added != d->announced)
        throw DbError(ErrNo::General, QStringLiteral("XML文件的发票张数为%1，实际写入%2张，引出失败！")
                                          .arg(d->announced)
                                          .arg(d->added));
    QSaveFile file(d->path);
    if (!file.open(QIODevice::WriteOnly))
        throw DbError(FileAccessError,
                      QStringLiteral("路径/文件访问错误：%1（%2）").arg(d->path, file.errorString()));
    d->write(file, QByteArrayLiteral(
                       "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<Kp>\r\n  <Version>2.0</Version>\r\n"
                       "  <Fpxx>\r\n    <Zsl>") +
                       QByteArray::number(d->added) + QByteArrayLiteral("</Zsl>\r\n    <Fpsj>\r\n"));
    if (!d->body.seek(0))
        throw DbError(FileAccessError, QStringLiteral("读取临时文件失败：%1").arg(d->body.errorString()));
    while (!d->body.atEnd()) {
        const QByteArray chunk = d->body.read(1 << 20);
        if (chunk.isEmpty())
            throw DbError(FileAccessError, QStringLiteral("读取临时文件失败：%1").arg(d->body.errorString()));
        d->write(file, chunk);
    }
    d->write(file, QByteArrayLiteral("    </Fpsj>\r\n  </Fpxx>\r\n</Kp>\r\n"));
    if (!file.commit())
        throw DbError(FileAccessError, QStringLiteral("保存文件失败：%1").arg(file.errorString()));
}
