#include "common/SheetXml.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QList>
#include <QXmlStreamReader>
#include <cstring>

namespace {

// The text of a string item (<si> or <is>) at its start: its runs, without phonetic hints.
QString stringItem(QXmlStreamReader& r) {
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

// The general parser.
class ParsedSheet final : public SheetXml {
public:
    explicit ParsedSheet(QIODevice& device) : m_r(&device) {}

    bool nextRow(QString& rAttr) override {
        while (!m_r.atEnd()) {
            const QXmlStreamReader::TokenType t = m_r.readNext();
            if (t == QXmlStreamReader::EndElement && m_r.name() == u"sheetData") return false;
            if (t != QXmlStreamReader::StartElement || m_r.name() != u"row") continue;
            rAttr = m_r.attributes().value(QLatin1String("r")).toString();
            return true;
        }
        return false;
    }

    bool nextCell(SheetCell& c) override {
        while (m_r.readNextStartElement()) {
            if (m_r.name() != u"c") {
                m_r.skipCurrentElement();
                continue;
            }
            const QXmlStreamAttributes a = m_r.attributes();
            c.ref = a.value(QLatin1String("r")).toString();
            c.type = a.value(QLatin1String("t")).toString();
            c.style = a.value(QLatin1String("s")).toInt();
            c.v.clear();
            c.inlineText.clear();
            c.hasValue = false;
            while (m_r.readNextStartElement()) {
                if (m_r.name() == u"v") {
                    c.v = m_r.readElementText();
                    c.hasValue = true;
                } else if (m_r.name() == u"is") {
                    c.inlineText = stringItem(m_r);
                    c.hasValue = true;
                } else {
                    m_r.skipCurrentElement(); // f: the value is what counts
                }
            }
            return true;
        }
        return false;
    }

    bool nextString(QString& text) override {
        while (!m_r.atEnd()) {
            if (m_r.readNext() != QXmlStreamReader::StartElement || m_r.name() != u"si") continue;
            text = stringItem(m_r);
            return true;
        }
        return false;
    }

    QString error() const override { return m_r.hasError() ? m_r.errorString() : QString(); }

private:
    QXmlStreamReader m_r;
};

// The text into out, in out's own room where it is ASCII (most of a sheet's values and every reference).
void assign(QString& out, QByteArrayView utf8) {
    for (const char c : utf8)
        if (uchar(c) >= 0x80) {
            out = QString::fromUtf8(utf8);
            return;
        }
    out.resize(utf8.size());
    QChar* d = out.data();
    for (qsizetype i = 0; i < utf8.size(); ++i)
        d[i] = QChar(uchar(utf8[i]));
}

QByteArrayView localName(QByteArrayView name) {
    const qsizetype colon = name.lastIndexOf(':');
    return colon < 0 ? name : name.sliced(colon + 1);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A character XML allows.
bool xmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(char32_t c, QByteArray& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Character data as XML reads it: its references replaced, its line ends made \n (in an attribute's value,
// every blank a space). False on a reference XML does not know or a '<'.
bool decode(QByteArrayView raw, QByteArray& out, bool attribute) {
    out.reserve(out.size() + raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '<') return false;
        if (c == '\r') {
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
            out += attribute ? ' ' : '\n';
            continue;
        }
        if (attribute && (c == '\n' || c == '\t')) {
            out += ' ';
            continue;
        }
        if (c != '&') {
            out += c;
            continue;
        }
        const qsizetype semi = raw.indexOf(';', i + 1);
        if (semi < 0 || semi - i > 12) return false;
        const QByteArrayView name = raw.sliced(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const QByteArrayView digits = name.sliced(hex ? 2 : 1);
            if (digits.isEmpty()) return false;
            char32_t code = 0;
            for (const char d : digits) {
                int v = -1;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                if (v < 0) return false;
                code = code * (hex ? 16 : 10) + char32_t(v);
                if (code > 0x10FFFF) return false;
            }
            if (!xmlChar(code)) return false;
            appendUtf8(code, out);
        } else {
            return false; // no sheet declares entities of its own
        }
        i = semi;
    }
    return true;
}

bool nameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || uchar(c) >= 0x80;
}
bool nameChar(char c) {
    return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Each attribute of a tag (the text after its name) as XML writes it — a blank, a name, '=', a quoted value —
// given to visit(name, value as written) until visit says no more. False where the text is not such.
template <class Visit> bool forEachAttribute(QByteArrayView a, Visit visit) {
    qsizetype i = 0;
    for (;;) {
        const qsizetype blank = i;
        while (i < a.size() && isSpace(a[i]))
            ++i;
        if (i >= a.size()) return true;
        if (i == blank || !nameStart(a[i])) return false;
        const qsizetype start = i;
        while (i < a.size() && nameChar(a[i]))
            ++i;
        const QByteArrayView name = a.sliced(start, i - start);
        while (i < a.size() && isSpace(a[i]))
            ++i;
        if (i >= a.size() || a[i] != '=') return false;
        ++i;
        while (i < a.size() && isSpace(a[i]))
            ++i;
        if (i >= a.size() || (a[i] != '"' && a[i] != '\'')) return false;
        const qsizetype close = a.indexOf(a[i], i + 1);
        if (close < 0) return false;
        if (!visit(name, a.sliced(i + 1, close - i - 1))) return true;
        i = close + 1;
    }
}

// Attributes as XML writes them, their values without '<' and with known references only.
bool wellFormedAttributes(QByteArrayView a) {
    bool values = true;
    const bool form = forEachAttribute(a, [&values](QByteArrayView, QByteArrayView value) {
        QByteArray decoded;
        values = !value.contains('<') && (!value.contains('&') || decode(value, decoded, true));
        return values;
    });
    return form && values;
}

// A declaration the scanner takes: version 1.0, in UTF-8 where it names an encoding, its parts in their
// order.
bool plainDeclaration(QByteArrayView decl) {
    static const QByteArrayView order[] = {"version", "encoding", "standalone"};
    qsizetype at = 0;
    bool plain = true;
    const bool form = forEachAttribute(decl, [&](QByteArrayView name, QByteArrayView value) {
        while (at < 3 && order[at] != name)
            ++at;
        plain = at < 3 && (at != 0 || value == "1.0") &&
                (at != 1 || value.compare("UTF-8", Qt::CaseInsensitive) == 0);
        ++at;
        return plain;
    });
    return form && plain && decl.trimmed().startsWith("version");
}

// The sheet scanned from its UTF-8 bytes: tags, their attributes and the text between them, nesting checked.
class ScannedSheet final : public SheetXml {
public:
    explicit ScannedSheet(QIODevice& device) : m_in(device) {}

    // Whether the scanner reads this sheet: UTF-8, no document type before its first element.
    bool begin() {
        fill(4096);
        const QByteArrayView head(m_buf);
        if (head.startsWith("\xEF\xBB\xBF")) m_pos = 3;
        // UTF-16 or UTF-32, with a byte-order mark or without (a zero byte among the first).
        if (head.size() >= 2 && (head[0] == '\0' || head[1] == '\0' || uchar(head[0]) >= 0xFE)) return false;
        const QByteArrayView rest = head.sliced(m_pos);
        if (rest.startsWith("<?xml")) {
            // Any other declaration is the parser's.
            const qsizetype end = rest.indexOf("?>");
            if (end < 0 || !plainDeclaration(rest.sliced(5, end - 5))) return false;
        } else if (rest.contains("<?xml")) {
            return false; // a declaration not at the start: the parser says so
        }
        // A document type (with its entities) comes before the first element: the general parser's.
        for (qsizetype i = rest.indexOf('<'); i >= 0 && i + 1 < rest.size(); i = rest.indexOf('<', i + 1)) {
            const char c = rest[i + 1];
            if (c == '!' && rest.sliced(i).startsWith("<!DOCTYPE")) return false;
            if (c != '?' && c != '!') return true;
        }
        // No first element within the first bytes: a prolog this long is none a program writes.
        return rest.indexOf('<') < 0 && m_eof;
    }

    bool nextRow(QString& r) override {
        Tag t;
        for (;;) {
            const Event e = next(t, nullptr);
            if (e == Event::End) {
                if (t.local == "sheetData") return false;
                continue;
            }
            if (e != Event::Start) return false;
            if (t.local == "sheetData" && t.empty) return false;
            if (t.local != "row") continue;
            assign(r, attribute(t, "r"));
            m_emptyRow = t.empty;
            return true;
        }
    }

    bool nextCell(SheetCell& c) override {
        if (m_emptyRow) {
            m_emptyRow = false;
            return false;
        }
        Tag t;
        for (;;) {
            const Event e = next(t, nullptr);
            if (e != Event::Start) return false; // the row's end, or the XML's
            if (t.local != "c") {
                if (!t.empty && !skip()) return false;
                continue;
            }
            assign(c.ref, attribute(t, "r"));
            assign(c.type, attribute(t, "t"));
            c.style = attribute(t, "s").toInt();
            c.v.clear();
            c.inlineText.clear();
            c.hasValue = false;
            if (t.empty) return true;
            for (;;) {
                const Event inner = next(t, nullptr);
                if (inner == Event::End) return true;
                if (inner != Event::Start) return false;
                if (t.local == "v") {
                    m_value.resize(0);
                    if (!t.empty && !elementText(m_value)) return false;
                    assign(c.v, m_value);
                    c.hasValue = true;
                } else if (t.local == "is") {
                    m_value.resize(0);
                    if (!t.empty && !stringItem(m_value)) return false;
                    assign(c.inlineText, m_value);
                    c.hasValue = true;
                } else if (!t.empty && !skip()) {
                    return false;
                }
            }
        }
    }

    bool nextString(QString& text) override {
        Tag t;
        for (;;) {
            const Event e = next(t, nullptr);
            if (e == Event::Done) return false;
            if (e != Event::Start || t.local != "si") continue;
            m_value.resize(0);
            if (!t.empty && !stringItem(m_value)) return false;
            assign(text, m_value);
            return true;
        }
    }

    QString error() const override { return m_error; }

private:
    enum class Event { Start, End, Done };
    // A tag as it stands in the buffer: good until the next one is read.
    struct Tag {
        QByteArrayView name;       // as written, with its prefix
        QByteArrayView local;      // of name
        bool empty = false;        // <name/>
        QByteArrayView attributes; // the text between the name and the tag's end
    };

    // At least n bytes past m_pos, as far as the sheet has them.
    bool fill(qsizetype n) {
        while (m_buf.size() - m_pos < n && !m_eof) {
            if (m_pos > 0 && m_pos >= m_buf.size() / 2) {
                m_buf.remove(0, m_pos);
                m_pos = 0;
            }
            constexpr qsizetype kBlock = 1 << 16;
            const qsizetype held = m_buf.size();
            m_buf.resize(held + kBlock);
            const qint64 got = m_in.read(m_buf.data() + held, kBlock);
            m_buf.resize(held + std::max<qint64>(got, 0));
            if (got <= 0) m_eof = true;
        }
        return m_buf.size() - m_pos >= n;
    }

    Event fail(const char* why) {
        if (m_error.isEmpty()) m_error = QString::fromLatin1(why);
        return Event::Done;
    }

    // Up to and past the first occurrence of end; false when the sheet ends before it.
    bool skipPast(QByteArrayView end, QByteArray* text) {
        for (;;) {
            const qsizetype at = QByteArrayView(m_buf).sliced(m_pos).indexOf(end);
            if (at >= 0) {
                if (text) text->append(m_buf.constData() + m_pos, at);
                m_pos += at + end.size();
                return true;
            }
            // Keep what may be the start of end; take the rest.
            const qsizetype keep = std::min<qsizetype>(end.size() - 1, m_buf.size() - m_pos);
            const qsizetype take = m_buf.size() - m_pos - keep;
            if (text) text->append(m_buf.constData() + m_pos, take);
            m_pos += take;
            if (!fill(keep + 1)) return false;
        }
    }

    // The next start or end tag; the character data before it added to text (when given, references
    // replaced). Comments and processing instructions are passed over.
    Event next(Tag& tag, QByteArray* text) {
        if (!m_error.isEmpty()) return Event::Done;
        for (;;) {
            // Character data up to the next '<'.
            QByteArray& raw = m_raw;
            raw.resize(0);
            for (;;) {
                if (!fill(1)) {
                    if (!m_openAt.isEmpty() || !m_sawRoot) return fail("Premature end of document.");
                    return Event::Done;
                }
                const char* at = m_buf.constData() + m_pos;
                const qsizetype left = m_buf.size() - m_pos;
                const char* lt = static_cast<const char*>(std::memchr(at, '<', size_t(left)));
                const qsizetype n = lt ? lt - at : left;
                if (text) raw.append(at, n);
                // Outside the elements only blanks.
                if (m_openAt.isEmpty())
                    for (qsizetype b = 0; b < n; ++b)
                        if (!isSpace(at[b]) && !(m_pos == 0 && b < 3 && uchar(at[b]) >= 0xBB))
                            return fail("Start tag expected.");
                m_pos += n;
                if (lt) break;
            }
            if (text && !decode(raw, *text, false)) return fail("Invalid character data.");
            if (!fill(2)) return fail("Premature end of document.");
            const char kind = m_buf[m_pos + 1];
            if (kind == '?') {
                fill(6);
                const QByteArrayView target = QByteArrayView(m_buf).sliced(m_pos + 2);
                if (m_pos > 3 && target.size() >= 4 &&
                    QByteArrayView(target.first(3)).compare("xml", Qt::CaseInsensitive) == 0 &&
                    (isSpace(target[3]) || target[3] == '?'))
                    return fail("XML declaration not at start of document.");
                if (!skipPast("?>", nullptr)) return fail("Unterminated processing instruction.");
                continue;
            }
            if (kind == '!') {
                fill(9);
                const QByteArrayView here = QByteArrayView(m_buf).sliced(m_pos);
                if (here.startsWith("<!--")) {
                    m_pos += 4;
                    if (!skipPast("-->", nullptr)) return fail("Unterminated comment.");
                    continue;
                }
                if (here.startsWith("<![CDATA[")) {
                    if (m_openAt.isEmpty()) return fail("Character data outside an element.");
                    m_pos += 9;
                    QByteArray cdata;
                    if (!skipPast("]]>", &cdata)) return fail("Unterminated CDATA section.");
                    // Line ends made \n here too.
                    if (text) text->append(cdata.replace("\r\n", "\n").replace('\r', '\n'));
                    continue;
                }
                return fail("Unexpected markup."); // a document type past the first element
            }
            return tagAt(tag);
        }
    }

    // The tag that begins at m_pos.
    Event tagAt(Tag& tag) {
        // Its end: the first '>' outside a quoted value.
        qsizetype k = 1;
        char quote = 0;
        for (;; ++k) {
            if (!fill(k + 1)) return fail("Premature end of document.");
            const char c = m_buf[m_pos + k];
            if (quote) {
                if (c == quote) quote = 0;
                if (c == '<') return fail("Invalid attribute value.");
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            } else if (c == '<') {
                return fail("Invalid tag.");
            }
        }
        QByteArrayView body = QByteArrayView(m_buf).sliced(m_pos + 1, k - 1);
        m_pos += k + 1;
        const bool end = body.startsWith('/');
        if (end) body = body.sliced(1);
        tag.empty = !end && body.endsWith('/');
        if (tag.empty) body.chop(1);
        qsizetype n = 0;
        while (n < body.size() && !isSpace(body[n]))
            ++n;
        if (n == 0) return fail("Invalid tag name.");
        tag.name = body.first(n);
        tag.local = localName(tag.name);
        tag.attributes = body.sliced(n);
        for (qsizetype c = 0; c < n; ++c)
            if (c == 0 ? !nameStart(body[0]) : !nameChar(body[c])) return fail("Invalid tag name.");
        if (end) {
            if (!tag.attributes.trimmed().isEmpty()) return fail("Invalid end tag.");
            if (m_openAt.isEmpty() || QByteArrayView(m_openNames).sliced(m_openAt.constLast()) != tag.name)
                return fail("Opening and ending tag mismatch.");
            m_openNames.truncate(m_openAt.takeLast());
            m_closedRoot = m_openAt.isEmpty();
            return Event::End;
        }
        if (m_closedRoot) return fail("Extra content at end of document.");
        if (!wellFormedAttributes(tag.attributes)) return fail("Invalid attribute.");
        m_sawRoot = true;
        if (!tag.empty) {
            m_openAt.append(m_openNames.size());
            m_openNames.append(tag.name);
        }
        return Event::Start;
    }

    // The value of the tag's attribute (its references replaced), empty where it has none; good until the
    // next attribute is asked for. The tag's attributes were found well-formed when it was read.
    QByteArrayView attribute(const Tag& tag, QByteArrayView name) {
        QByteArrayView value;
        forEachAttribute(tag.attributes, [&](QByteArrayView key, QByteArrayView v) {
            if (key == name) value = v;
            return key != name;
        });
        if (!value.contains('&') && !value.contains('\r') && !value.contains('\n') && !value.contains('\t'))
            return value;
        m_attribute.resize(0);
        decode(value, m_attribute, true);
        return m_attribute;
    }

    // The rest of an element just begun, with what it holds.
    bool skip() {
        const qsizetype depth = m_openAt.size();
        Tag t;
        while (m_openAt.size() >= depth) {
            if (next(t, nullptr) == Event::Done) return false;
        }
        return true;
    }

    // The text of an element just begun that holds no element.
    bool elementText(QByteArray& text) {
        Tag t;
        const Event e = next(t, &text);
        if (e == Event::Start) {
            fail("Expected character data.");
            return false;
        }
        return e == Event::End;
    }

    // An inline string's runs, without phonetic hints.
    bool stringItem(QByteArray& text) {
        Tag t;
        for (;;) {
            const Event e = next(t, nullptr);
            if (e == Event::End) return true;
            if (e != Event::Start) return false;
            if (t.local == "t") {
                if (!t.empty && !elementText(text)) return false;
            } else if (t.local == "r") {
                if (t.empty) continue;
                for (;;) {
                    const Event run = next(t, nullptr);
                    if (run == Event::End) break;
                    if (run != Event::Start) return false;
                    if (t.local == "t") {
                        if (!t.empty && !elementText(text)) return false;
                    } else if (!t.empty && !skip()) {
                        return false;
                    }
                }
            } else if (!t.empty && !skip()) {
                return false; // rPh, phoneticPr
            }
        }
    }

    QIODevice& m_in;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    bool m_eof = false;
    // The names of the elements open, outermost first, one after the other, and where each begins.
    QByteArray m_openNames;
    QList<qsizetype> m_openAt;
    QByteArray m_raw, m_value, m_attribute; // room used again tag after tag
    bool m_sawRoot = false, m_closedRoot = false;
    bool m_emptyRow = false;
    QString m_error;
};

} // namespace

std::unique_ptr<SheetXml> SheetXml::scan(QIODevice& device) {
    auto sheet = std::make_unique<ScannedSheet>(device);
    if (!sheet->begin()) return nullptr;
    return sheet;
}

std::unique_ptr<SheetXml> SheetXml::parse(QIODevice& device) {
    return std::make_unique<ParsedSheet>(device);
}
