#include "XmlDocumentSink.h"

#include "common/GbkCodec.h"
#include "common/modFunction.h"
#include "export/ExportWriter.h"
#include <QSaveFile>
#include <cmath>

namespace {

constexpr long FileAccessError = 75; // path/file access error

// Line type of the invoicing software (fphxz).
constexpr char kOrdinaryLine = '0', kDiscountLine = '1', kDiscountedLine = '2';

// Element text with the five markup characters escaped; CR as a reference so that a parser does not
// turn it into LF. Other control characters have no place in XML 1.0: bad is set.
QString Escaped(const QString& value, bool& bad) {
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

double Number(const QString& text) {
    double v = 0;
    return StrictNumber(text, v) ? v : 0.0;
}

// The negative of an amount as text; an empty amount stays empty.
QString Negated(const QString& text) {
    double v = 0;
    if (!StrictNumber(text, v)) return text.trimmed().isEmpty() ? QString() : u'-' + text.trimmed();
    return NumberText(v == 0 ? 0.0 : -v);
}

// A number with a fixed count of decimals, "." and no grouping (prices 8, amounts and taxes 2); an empty
// value stays empty, and a text that is no number is written as it is.
QString Fixed(const QString& text, int decimals) {
    double v = 0;
    if (!StrictNumber(text, v)) return text.trimmed();
    const double scale = std::pow(10.0, decimals);
    v = std::round(v * scale) / scale;
    return QString::number(v == 0 ? 0.0 : v, 'f', decimals);
}

class FpWriter {
public:
    FpWriter(GbkEncoder& gbk, const QString& docNo) : m_gbk(gbk), m_docNo(docNo) {}

    void open(const char* tag, int depth) {
        m_text += Indent(depth) + u'<' + QLatin1String(tag) + QStringLiteral(">\r\n");
    }
    void close(const char* tag, int depth) {
        m_text += Indent(depth) + QStringLiteral("</") + QLatin1String(tag) + QStringLiteral(">\r\n");
    }
    void element(const char* tag, const QString& value, int depth) {
        QByteArray probe;
        if (!m_gbk.encode(value, probe))
            throw ExportRefused(
                QStringLiteral("发票“%1”的值“%2”含有GBK编码不能表示的字符，引出失败！").arg(m_docNo, value));
        bool bad = false;
        const QString text = Escaped(value, bad);
        if (bad)
            throw ExportRefused(QStringLiteral("发票“%1”的值“%2”含有XML文件不能容纳的控制字符，引出失败！")
                                    .arg(m_docNo, value));
        // Always both tags, also when empty: the import reads every element of an Fp or Sph.
        const QLatin1String name(tag);
        m_text +=
            Indent(depth) + u'<' + name + u'>' + text + QStringLiteral("</") + name + QStringLiteral(">\r\n");
    }
    QByteArray bytes() {
        QByteArray out;
        if (!m_gbk.encode(m_text, out)) // every value was checked on its own
            throw ExportRefused(QStringLiteral("发票“%1”含有GBK编码不能表示的字符，引出失败！").arg(m_docNo));
        return out;
    }

private:
    static QString Indent(int depth) { return QString(depth * 2, u' '); }
    GbkEncoder& m_gbk;
    QString m_docNo;
    QString m_text;
};

} // namespace

QString TaxRateFraction(const QString& rate) {
    QString t = rate.trimmed();
    const bool percent = t.endsWith(u'%');
    if (percent) t.chop(1);
    double v = 0;
    if (!StrictNumber(t, v)) return rate;
    // No rate reaches 100%: a value from 1 up is a percentage (the link may map 税率百分数).
    if (percent || std::fabs(v) >= 1) v /= 100;
    return NumberText(v);
}

struct XmlDocumentSink::Impl {
    QString path;
    QSaveFile file;
    GbkEncoder gbk;
    int announced = -1;
    int added = 0;

    explicit Impl(const QString& p) : path(p), file(p) {}
    void write(const QByteArray& bytes) {
        if (file.write(bytes) != bytes.size())
            throw DbError(FileAccessError, QStringLiteral("写入文件失败：%1").arg(file.errorString()));
    }
};

XmlDocumentSink::XmlDocumentSink(const QString& path) : d(std::make_unique<Impl>(path)) {}

XmlDocumentSink::~XmlDocumentSink() = default; // an uncommitted QSaveFile leaves the target alone

void XmlDocumentSink::Begin(int documents) {
    if (!d->file.open(QIODevice::WriteOnly))
        throw DbError(FileAccessError,
                      QStringLiteral("路径/文件访问错误：%1（%2）").arg(d->path, d->file.errorString()));
    d->announced = documents;
    d->write(
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<Kp>\r\n  <Version>2.0</Version>\r\n"
                          "  <Fpxx>\r\n    <Zsl>") +
        QByteArray::number(documents) + QByteArrayLiteral("</Zsl>\r\n    <Fpsj>\r\n"));
}

void XmlDocumentSink::Add(const SinkDocument& doc) {
    d->write(Render(doc));
    ++d->added;
}

void XmlDocumentSink::Check(const SinkDocument& doc) {
    Render(doc);
}

QByteArray XmlDocumentSink::Render(const SinkDocument& doc) {
    const QHash<QString, QString>& h = doc.head;
    FpWriter w(d->gbk, doc.docNo);
    // The XML import has no default code: a line without one is refused before anything is written.
    for (int i = 0; i < doc.lines.size(); ++i)
        if (doc.lines[i].value(QStringLiteral("税收分类编码")).trimmed().isEmpty())
            throw ExportRefused(QStringLiteral("发票“%1”第%2行的商品“%3”没有税收分类编码，引出失败！")
                                    .arg(doc.docNo)
                                    .arg(i + 1)
                                    .arg(doc.lines[i].value(QStringLiteral("货物名称"))));

    w.open("Fp", 3);
    w.element("Djh", doc.docNo, 4);
    w.element("Gfmc", h.value(QStringLiteral("购方名称")), 4);
    w.element("Gfsh", h.value(QStringLiteral("购方税号")), 4);
    w.element("Gfyhzh", h.value(QStringLiteral("购方银行帐号")), 4);
    w.element("Gfdzdh", h.value(QStringLiteral("购方地址电话")), 4);
    w.element("Bz", h.value(QStringLiteral("备注")), 4);
    w.element("Fhr", h.value(QStringLiteral("复核人")), 4);
    w.element("Skr", h.value(QStringLiteral("收款人")), 4);
    w.element("Spbmbbh", h.value(QStringLiteral("编码版本号")), 4);
    const QString priceMode =
        doc.lines.isEmpty() ? QString() : doc.lines.first().value(QStringLiteral("价格方式")).trimmed();
    w.element("Hsbz", Number(priceMode) != 0 ? QStringLiteral("1") : QStringLiteral("0"), 4);
    w.open("Spxx", 4);
    int xh = 0;
    for (const QHash<QString, QString>& line : doc.lines) {
        const QString discount = line.value(QStringLiteral("折扣金额")).trimmed();
        const bool discounted = Number(discount) != 0;
        const QString name = line.value(QStringLiteral("货物名称"));
        const QString code = line.value(QStringLiteral("税收分类编码")).trimmed();
        const QString rate = TaxRateFraction(line.value(QStringLiteral("税率")));
        const QString preferential = Number(line.value(QStringLiteral("优惠政策标识"))) != 0
                                         ? QStringLiteral("1")
                                         : QStringLiteral("0");
        auto sph = [&](const QString& dj, const QString& sl, const QString& je, const QString& se,
                       char kind) {
            w.open("Sph", 5);
            w.element("Xh", QString::number(++xh), 6);
            w.element("Spmc", name, 6);
            w.element("Ggxh", kind == kDiscountLine ? QString() : line.value(QStringLiteral("规格")), 6);
            w.element("Jldw", kind == kDiscountLine ? QString() : line.value(QStringLiteral("计量单位")), 6);
            w.element("Spbm", code, 6);
            w.element("Qyspbm", line.value(QStringLiteral("企业自编码")), 6);
            w.element("Syyhzcbz", preferential, 6);
            w.element("Lslbz", line.value(QStringLiteral("零税率标识")), 6);
            w.element("Yhzcsm", line.value(QStringLiteral("优惠政策说明")), 6);
            w.element("Dj", Fixed(dj, 8), 6);
            w.element("Sl", sl.trimmed(), 6);
            w.element("Je", Fixed(je, 2), 6);
            w.element("Slv", rate, 6);
            w.element("Se", Fixed(se, 2), 6);
            w.element("Kce", QString(), 6);
            w.element("fphxz", QString(QLatin1Char(kind)), 6);
            w.close("Sph", 5);
        };
        sph(line.value(QStringLiteral("单价")), line.value(QStringLiteral("数量")),
            line.value(QStringLiteral("不含税金额")), line.value(QStringLiteral("税额")),
            discounted ? kDiscountedLine : kOrdinaryLine);
        if (discounted) {
            // Without a mapped 折扣税额 the discount's tax follows from its amount and the rate.
            QString discountTax = line.value(QStringLiteral("折扣税额")).trimmed();
            if (!line.contains(QStringLiteral("折扣税额")))
                discountTax = NumberText(std::round(Number(discount) * Number(rate) * 100) / 100);
            sph(QString(), QString(), Negated(discount), Negated(discountTax), kDiscountLine);
        }
    }
    w.close("Spxx", 4);
    w.close("Fp", 3);
    return w.bytes();
}

void XmlDocumentSink::Commit() {
    if (d->announced < 0) Begin(0);
    if (d->added != d->announced)
        throw DbError(ErrNo::General, QStringLiteral("XML文件的发票张数为%1，实际写入%2张，引出失败！")
                                          .arg(d->announced)
                                          .arg(d->added));
    d->write(QByteArrayLiteral("    </Fpsj>\r\n  </Fpxx>\r\n</Kp>\r\n"));
    if (!d->file.commit())
        throw DbError(FileAccessError, QStringLiteral("保存文件失败：%1").arg(d->file.errorString()));
}
