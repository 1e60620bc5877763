// The key=value text of a connection string: read pair by pair with values in braces, written back,
// and shown without its passwords.
#include "common/ConnectionString.h"

#include <QRegularExpression>
#include <QStringList>

QString bracedText(const QString& text, int open, int* end) {
    QString out;
    int i = open + 1;
    for (; i < text.size(); ++i) {
        if (text[i] == u'}') {
            if (i + 1 < text.size() && text[i + 1] == u'}') {
                out += u'}';
                ++i;
                continue;
            }
            ++i;
            break;
        }
        out += text[i];
    }
    if (end) *end = i;
    return out;
}

QList<QPair<QString, QString>> parseConnectionString(const QString& text) {
    QList<QPair<QString, QString>> out;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        const int eq = text.indexOf(u'=', i);
        const int semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=": nothing to keep.
            if (semi < 0) break;
            i = semi + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        int j = eq + 1;
        while (j < n && text[j] == u' ')
            ++j;
        QString value;
        if (j < n && text[j] == u'{') {
            int end = j;
            bracedText(text, j, &end);
            value = text.mid(j, end - j);
            const int next = text.indexOf(u';', end);
            i = next < 0 ? n : next + 1;
        } else {
            const int next = text.indexOf(u';', j);
            value = text.mid(j, (next < 0 ? n : next) - j).trimmed();
            i = next < 0 ? n : next + 1;
        }
        if (!key.isEmpty()) out.append({key, value});
    }
    return out;
}

static QString unbraced(const QString& value) {
    if (value.startsWith(u'{')) return bracedText(value, 0);
    return value;
}

QString connectionStringValue(const QString& text, const QString& key) {
    for (const auto& kv : parseConnectionString(text))
        if (kv.first.compare(key, Qt::CaseInsensitive) == 0) return unbraced(kv.second);
    return {};
}

QString quotedConnectionValue(const QString& value) {
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') && value.trimmed() == value)
        return value;
    QString inner = value;
    return u'{' + inner.replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
}

QString normalizedConnectionString(const QString& text) {
    QStringList parts;
    for (const auto& kv : parseConnectionString(text))
        parts << kv.first + u'=' +
                     (kv.second.startsWith(u'{') ? kv.second : quotedConnectionValue(kv.second));
    return parts.join(u';');
}

QString hidePasswords(const QString& text) {
    if (!text.contains(u"pwd", Qt::CaseInsensitive) && !text.contains(u"password", Qt::CaseInsensitive))
        return text;
    static const QRegularExpression key(QStringLiteral("(pwd|password)\\s*="),
                                        QRegularExpression::CaseInsensitiveOption);
    const qsizetype n = text.size();
    QString out;
    qsizetype from = 0;
    for (QRegularExpressionMatch m = key.match(text); m.hasMatch(); m = key.match(text, from)) {
        qsizetype end = m.capturedEnd();
        while (end < n && text[end] == u' ')
            ++end;
        if (end < n && text[end] == u'{') {
            // In braces a password runs to the brace that closes it ("}}" is one brace of the password);
            // never closed, to the end of the text.
            for (++end; end < n; ++end) {
                if (text[end] != u'}') continue;
                if (end + 1 < n && text[end + 1] == u'}') {
                    ++end;
                    continue;
                }
                ++end;
                break;
            }
        } else {
            // Unbraced, to the end of its pair or line: rather too much than a piece of the password.
            while (end < n && text[end] != u';' && text[end] != u'\n' && text[end] != u'\r')
                ++end;
        }
        out += QStringView(text).mid(from, m.capturedStart() - from);
        // The pair goes with one of its separators.
        if (out.endsWith(u';'))
            out.chop(1);
        else if (end < n && text[end] == u';')
            ++end;
        from = end;
    }
    out += QStringView(text).mid(from);
    return out;
}
