#include "ImportReader.h"

#include "common/modFunction.h"

QString ImportTagLine() {
    return QStringLiteral("SJJK0201~~已开发票传出");
}

QStringList CutFields(const QString& line) {
    return line.split(QStringLiteral("~~"), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

bool CheckFileLine(qint32 lineNumber, const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty()) return false;
    if (lineNumber == 1 && trimmed != ImportTagLine()) return false;
    return true;
}

bool IsCommentLine(const QString& line) {
    return line.startsWith(QStringLiteral("//"));
}

bool DiscountRate(const QString& goodsName, double& rate) {
    const qsizetype open = goodsName.indexOf(u'(');
    const qsizetype close = goodsName.indexOf(u')');
    if (open < 0 || close < 0) return false;
    // The characters after "(" up to ")", less the percent sign in front of ")".
    const qsizetype length = close - open - 2;
    if (length < 0) return false;
    double percent = 0;
    if (!StrictNumber(goodsName.mid(open + 1, length), percent)) return false;
    rate = percent / 100.0;
    return true;
}
