// Values and texts: Null and yes/no values, numbers read and written, CSV lines, dates in texts.
#include "common/Values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

bool isTrueValue(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return false;
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    const QString t = value.toString().trimmed();
    if (t.compare(u"true", Qt::CaseInsensitive) == 0) return true;
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && d != 0;
}

QVariant nullToValue(const QVariant& value, const QVariant& def) {
    if (!value.isValid() || value.isNull()) return def;
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty()) return def;
    return value;
}

QString nullToText(const QVariant& value, const QString& def) {
    const QVariant v = nullToValue(value, def);
    if (v.typeId() == QMetaType::Double) return numberText(v.toDouble());
    return v.toString();
}

QString splitItem(const QString& text, const QString& delimiter, int index) {
    if (text.isEmpty() || index < 0) return {};
    if (delimiter.isEmpty()) return index == 0 ? text : QString();
    const QStringList pieces = text.split(delimiter, Qt::KeepEmptyParts, Qt::CaseSensitive);
    return index < pieces.size() ? pieces[index] : QString();
}

namespace {
// The length of the decimal number at the start of text: [+-]digits[.digits][e[+-]digits], "d" also
// standing for "e" where allowed. 0 when there is none.
qsizetype scanNumber(QStringView t, bool allowD) {
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-')) ++i;
    qsizetype digits = 0;
    while (i < n && t[i].isDigit() && t[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && t[i] == u'.') {
        qsizetype j = i + 1, fraction = 0;
        while (j < n && t[j].isDigit() && t[j].unicode() < 128) {
            ++j;
            ++fraction;
        }
        if (digits == 0 && fraction == 0) return 0;
        i = j;
        digits += fraction;
    }
    if (digits == 0) return 0;
    if (i < n) {
        const char16_t e = t[i].unicode();
        if (e == u'e' || e == u'E' || (allowD && (e == u'd' || e == u'D'))) {
            qsizetype j = i + 1;
            if (j < n && (t[j] == u'+' || t[j] == u'-')) ++j;
            const qsizetype start = j;
            while (j < n && t[j].isDigit() && t[j].unicode() < 128)
                ++j;
            if (j > start) i = j;
        }
    }
    return i;
}

// The number of a text that scanNumber accepted, read in the C locale.
double toDouble(QStringView t) {
    char buf[64];
    const qsizetype n = qMin<qsizetype>(t.size(), sizeof buf - 1);
    for (qsizetype i = 0; i < n; ++i) {
        const char c = char(t[i].unicode());
        buf[i] = c == 'd' || c == 'D' ? 'e' : c;
    }
    const char* first = buf[0] == '+' ? buf + 1 : buf;
    double v = 0;
    const auto r = std::from_chars(first, buf + n, v);
    if (r.ec == std::errc::result_out_of_range) return buf[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    return r.ec == std::errc() ? v : 0.0;
}
} // namespace

double leadingNumber(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') s += c;
    const qsizetype n = scanNumber(s, true);
    if (n == 0) return 0.0;
    const double v = toDouble(QStringView(s).left(n));
    return std::isfinite(v) ? v : 0.0;
}

bool strictNumber(QStringView text, double& out) {
    const QStringView t = text.trimmed();
    if (t.isEmpty() || scanNumber(t, false) != t.size()) return false;
    const double v = toDouble(t);
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

double round15(double value) {
    if (!std::isfinite(value)) return value;
    // A whole number of up to 15 digits is its own 15-digit text.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) return value;
    char buf[40];
    const auto w = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    double back = value;
    std::from_chars(buf, w.ptr, back);
    return back;
}

bool isNumericText(const QString& text) {
    double d;
    return strictNumber(text, d);
}

QString numberText(double value) {
    if (value == 0.0) return QStringLiteral("0");
    // As printf's %.15g (and Qt's 'g' with 15 digits), without the slow general path of Qt's formatter.
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return QString::fromLatin1(buf, r.ptr - buf);
}

QString csvLine(const QStringList& fields) {
    QStringList cells;
    cells.reserve(fields.size());
    for (const QString& value : fields) {
        const bool plain = !value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') &&
                           !value.contains(u'\r') && value.trimmed() == value;
        cells << (plain ? value : u'"' + QString(value).replace(u'"', QStringLiteral("\"\"")) + u'"');
    }
    return cells.join(u',') + QStringLiteral("\r\n");
}

QByteArray csvFileBytes(const QString& text) {
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

qint64 centsOf(double amount) {
    if (!std::isfinite(amount)) return 0;
    // decimalText's rounding done on the same 15 significant digits as integers: it runs for every line
    // of a workbook's export. Amounts too large for that take the text's way.
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, std::fabs(amount), std::chars_format::scientific, 14);
    const char* e = std::find(buf, r.ptr, 'e');
    qint64 digits = buf[0] - '0';
    for (const char* p = buf + 2; p < e; ++p)
        digits = digits * 10 + (*p - '0');
    // The exponent ends where to_chars stopped: the buffer holds no terminating zero.
    const char* from = e + 1 < r.ptr && e[1] == '+' ? e + 2 : e + 1;
    int exponent = 0;
    std::from_chars(from, r.ptr, exponent);
    const int shift = exponent - 12; // the power of ten of the last digit, counted in cents
    qint64 cents = 0;
    if (shift >= 0) {
        if (shift > 3) {
            QString text = decimalText(amount, 2);
            text.remove(u'.');
            return text.toLongLong();
        }
        cents = digits;
        for (int i = 0; i < shift; ++i)
            cents *= 10;
    } else if (shift >= -15) {
        qint64 unit = 1;
        for (int i = 1; i < -shift; ++i)
            unit *= 10;
        const qint64 kept = digits / unit; // one digit more than the cents: the first dropped one last
        cents = kept / 10 + (kept % 10 >= 5 ? 1 : 0);
    }
    return amount < 0 ? -cents : cents;
}

QString decimalText(double value, int decimals) {
    if (!std::isfinite(value)) return numberText(value);
    // The decimal digits of the value and the position of its point among them.
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const std::string_view text(buf, r.ptr - buf); // d.ddddddddddddddde±x
    const size_t e = text.find('e');
    std::string digits;
    digits += text[0];
    digits += text.substr(2, e - 2);
    int point = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1; // digits before the point
    // Enough zeros on both sides for the wanted decimals.
    if (point < 1) {
        digits.insert(0, size_t(1 - point), '0');
        point = 1;
    }
    if (int(digits.size()) < point + decimals + 1)
        digits.append(size_t(point + decimals + 1 - int(digits.size())), '0');
    // Half up at the first dropped digit.
    const int keep = point + decimals;
    bool carry = digits[size_t(keep)] >= '5';
    digits.resize(size_t(keep));
    for (int i = keep - 1; carry && i >= 0; --i) {
        if (digits[size_t(i)] == '9') {
            digits[size_t(i)] = '0';
        } else {
            ++digits[size_t(i)];
            carry = false;
        }
    }
    if (carry) {
        digits.insert(digits.begin(), '1');
        ++point;
    }
    std::string whole = digits.substr(0, size_t(point));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    std::string out = whole;
    if (decimals > 0) out += '.' + digits.substr(size_t(point));
    const bool zero = out.find_first_not_of("0.") == std::string::npos;
    if (value < 0 && !zero) out.insert(0, 1, '-');
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

namespace {
// Digits at position i (at most max of them, at least 1); -1 when there are none.
int digits(QStringView t, qsizetype& i, int min, int max) {
    int value = 0, n = 0;
    while (i < t.size() && n < max && t[i].unicode() >= u'0' && t[i].unicode() <= u'9') {
        value = value * 10 + (t[i].unicode() - u'0');
        ++i;
        ++n;
    }
    return n >= min ? value : -1;
}
} // namespace

std::optional<QDate> isoDay(QStringView text) {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-') return std::nullopt;
    qsizetype i = 0;
    const int year = digits(text, i, 4, 4);
    i = 5;
    const int month = digits(text, i, 2, 2);
    i = 8;
    const int day = digits(text, i, 2, 2);
    if (year < 0 || month < 0 || day < 0) return std::nullopt;
    return QDate(year, month, day);
}

// The date forms the program writes and reads: yyyy-M-d, yyyy/M/d, yyyy.M.d; yyyy-MM-dd with
// " HH:mm:ss[.zzz]" or "THH:mm:ss"; yyyy/M/d with " H:mm:ss". Recognised by their shape, without trying
// one form after another.
bool tryDateValue(const QVariant& value, QDate& out) {
    if (!value.isValid() || value.isNull()) return false;
    switch (value.typeId()) {
    case QMetaType::QDate:
        out = value.toDate();
        return out.isValid();
    case QMetaType::QDateTime:
        out = value.toDateTime().date();
        return out.isValid();
    case QMetaType::QString:
        break;
    default:
        return false;
    }
    const QString s = value.toString();
    const QStringView t = QStringView(s).trimmed();
    if (t.size() < 8 || !t[0].isDigit()) return false;
    qsizetype i = 0;
    const int year = digits(t, i, 4, 4);
    if (year < 0 || i >= t.size()) return false;
    const QChar sep = t[i];
    if (sep != u'-' && sep != u'/' && sep != u'.') return false;
    const qsizetype monthAt = ++i;
    const int month = digits(t, i, 1, 2);
    const bool twoDigitMonth = i - monthAt == 2;
    if (month < 0 || i >= t.size() || t[i] != sep) return false;
    const qsizetype dayAt = ++i;
    const int day = digits(t, i, 1, 2);
    const bool twoDigitDay = i - dayAt == 2;
    if (day < 0) return false;
    if (i < t.size()) {
        // A time after the date: only in the forms above, and it must be a time.
        const QChar timeSep = t[i];
        const bool dash = sep == u'-' && twoDigitMonth && twoDigitDay && (timeSep == u' ' || timeSep == u'T');
        const bool slash = sep == u'/' && timeSep == u' ';
        if (!dash && !slash) return false;
        ++i;
        const int hour = digits(t, i, dash ? 2 : 1, 2);
        if (hour < 0 || hour > 23 || i >= t.size() || t[i] != u':') return false;
        ++i;
        const int minute = digits(t, i, 2, 2);
        if (minute < 0 || minute > 59 || i >= t.size() || t[i] != u':') return false;
        ++i;
        const int second = digits(t, i, 2, 2);
        if (second < 0 || second > 59) return false;
        if (i < t.size()) {
            if (!(dash && timeSep == u' ' && t[i] == u'.')) return false;
            ++i;
            if (digits(t, i, 1, 3) < 0 || i != t.size()) return false;
        }
    }
    const QDate d(year, month, day);
    if (!d.isValid()) return false;
    out = d;
    return true;
}
