#include "modBasic.h"

#include "modFunction.h"
#include <QCoreApplication>
#include <QDir>

// The position of the brace that closes the one opening at open; braces inside (an ODBC driver written
// as Driver={…}) are counted, so they stay part of the connection string. -1 when it is never closed.
static int MatchingBrace(const QString& text, int open) {
    int depth = 0;
    for (int i = open; i < text.size(); ++i) {
        if (text[i] == u'{')
            ++depth;
        else if (text[i] == u'}' && --depth == 0)
            return i;
    }
    return -1;
}

bool BracesBalanced(const QString& text) {
    int depth = 0;
    for (QChar c : text) {
        if (c == u'{')
            ++depth;
        else if (c == u'}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

QString ParseConnProps(const QString& props, int part) {
    const int open = props.indexOf(u'{');
    const int close = open < 0 ? -1 : MatchingBrace(props, open);
    switch (part) {
    case 0:
        if (open < 0) return {};
        // An unclosed brace keeps the old reading: up to the first "}".
        if (close < 0) return SplitItem(SplitItem(props, QStringLiteral("}"), 0), QStringLiteral("{"), 1);
        return props.mid(open + 1, close - open - 1);
    case 1:
    case 2: {
        QString t;
        if (close >= 0 && props.mid(close, 2) == u"};")
            t = props.mid(close + 2);
        else
            t = SplitItem(props, QStringLiteral("};"), 1);
        t = SplitItem(t, QStringLiteral(";"), part - 1);
        return SplitItem(t, QStringLiteral("="), 1);
    }
    default:
        return {};
    }
}

QString WithTrailingSeparator(const QString& path) {
    if (path.endsWith(u'/') || path.endsWith(u'\\')) return path;
    return path + u'/';
}

QString AppFolder() {
    return WithTrailingSeparator(QCoreApplication::applicationDirPath());
}

QString ConfigConnStringFor(const QString& folder) {
    return QStringLiteral("Provider=SQLite;Data Source=") + WithTrailingSeparator(folder) +
           QStringLiteral("Taxlink.db");
}
