#include "import/ImportReader.h"

#include "common/Values.h"
#include <algorithm>

QString importTagLine() {
    return QStringLiteral("SJJK0201~~已开发票传出");
}

QStringList cutFields(const QString& line, qsizetype expected) {
    // As split("~~") cuts, without its general search: every line of a file goes through here.
    QStringList fields;
    fields.reserve(std::max<qsizetype>(expected, 1));
    const QChar* text = line.constData();
    const qsizetype n = line.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (text[i] == u'~' && text[i + 1] == u'~') {
            fields.append(line.mid(from, i - from));
            from = i + 2;
            ++i;
        }
    }
    fields.append(line.mid(from));
    return fields;
}

void cutFields(QStringView line, QList<QStringView>& out) {
    // The pieces put in place, in the room the list has (appending one by one costs more than the
    // cutting, on every line of a file).
    qsizetype room = std::max<qsizetype>(out.capacity(), 16);
    out.resize(room);
    QStringView* piece = out.data();
    qsizetype count = 0;
    const auto put = [&](QStringView field) {
        if (count == room) {
            room *= 2;
            out.resize(room);
            piece = out.data();
        }
        piece[count++] = field;
    };
    const QChar* text = line.data();
    const qsizetype n = line.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (text[i] == u'~' && text[i + 1] == u'~') {
            put(line.sliced(from, i - from));
            from = i + 2;
            ++i;
        }
    }
    put(line.sliced(from));
    out.resize(count);
}

bool checkFileLine(qint32 lineNumber, const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty()) return false;
    if (lineNumber == 1 && trimmed != importTagLine()) return false;
    return true;
}

bool isCommentLine(const QString& line) {
    return line.startsWith(QStringLiteral("//"));
}

bool discountRate(const QString& goodsName, double& rate) {
    const qsizetype open = goodsName.indexOf(u'(');
    const qsizetype close = goodsName.indexOf(u')');
    if (open < 0 || close < 0) return false;
    // The characters after "(" up to ")", less the percent sign in front of ")".
    const qsizetype length = close - open - 2;
    if (length < 0) return false;
    double percent = 0;
    if (!strictNumber(goodsName.mid(open + 1, length), percent)) return false;
    rate = percent / 100.0;
    return true;
}
