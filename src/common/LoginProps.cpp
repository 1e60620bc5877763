// The login text of a connection: its connection string between braces and the pairs after them.
#include "common/LoginProps.h"

#include "common/ConnectionString.h"
#include "common/Values.h"
#include <QStringList>

// The position of the brace that closes the one opening at open, -1 when it is never closed. What is
// inside is read as a connection string: a value written in braces ends at its own closing brace ("}}"
// inside it is one brace of the value, as ODBC reads it), and braces inside a value that is not written in
// braces (an old login text with Driver={…} in it) pair up among themselves.
static int closingBrace(const QString& text, int open) {
    const int n = int(text.size());
    int depth = 0;
    bool inValue = false;
    for (int i = open + 1; i < n; ++i) {
        const QChar c = text[i];
        if (!inValue && depth == 0 && c == u'=') {
            inValue = true;
            int j = i + 1;
            while (j < n && text[j] == u' ')
                ++j;
            if (j < n && text[j] == u'{') {
                for (i = j + 1;; ++i) {
                    if (i >= n) return -1;
                    if (text[i] != u'}') continue;
                    if (i + 1 < n && text[i + 1] == u'}') {
                        ++i;
                        continue;
                    }
                    break;
                }
            }
            continue;
        }
        if (c == u';' && depth == 0) {
            inValue = false;
        } else if (c == u'{') {
            ++depth;
        } else if (c == u'}') {
            if (depth == 0) return i;
            --depth;
        }
    }
    return -1;
}

// The connection string between the braces of a login text. A value in braces is never the last thing
// before the closing brace: "}}" there would read as a brace of the value, so a ";" ends the string first.
static QString inBraces(const QString& connectionString) {
    return u'{' + connectionString +
           (connectionString.endsWith(u'}') ? QStringLiteral(";}") : QStringLiteral("}"));
}

bool bracesBalanced(const QString& text) {
    const QString braced = inBraces(text);
    return closingBrace(braced, 0) == braced.size() - 1;
}

QString parseConnProps(const QString& props, int part) {
    const int open = int(props.indexOf(u'{'));
    const int close = open < 0 ? -1 : closingBrace(props, open);
    switch (part) {
    case 0:
        if (open < 0) return {};
        // An unclosed brace keeps the old reading: up to the first "}".
        if (close < 0) return splitItem(splitItem(props, QStringLiteral("}"), 0), QStringLiteral("{"), 1);
        // Without the ";" that keeps a braced value from the closing brace.
        return props.mid(open + 1, close - open - (props.mid(close - 2, 2) == u"};" ? 2 : 1));
    case 1:
    case 2: {
        QString rest;
        if (close >= 0 && props.mid(close, 2) == u"};")
            rest = props.mid(close + 2);
        else
            rest = splitItem(props, QStringLiteral("};"), 1);
        const auto pairs = parseConnectionString(rest);
        if (part > pairs.size()) return {};
        const QString& value = pairs[part - 1].second;
        return value.startsWith(u'{') ? bracedText(value, 0) : value;
    }
    default:
        return {};
    }
}

QString loginPropsText(const QString& connectionString, const QString& userName, const QString& acctName) {
    QString props = inBraces(normalizedConnectionString(connectionString));
    if (!userName.isNull()) props += QStringLiteral(";UserName=") + quotedConnectionValue(userName);
    if (!acctName.isNull()) props += QStringLiteral(";AcctName=") + quotedConnectionValue(acctName);
    return props;
}
