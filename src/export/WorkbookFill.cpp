#include "export/WorkbookFill.h"

#include <QXmlStreamReader>

TemplateSheetPart::TemplateSheetPart(const ZipArchive& zip, const QString& part, int headerRow,
                                     qint64 maxSize)
    : m_part(part), m_headerRow(headerRow) {
    const QByteArray bytes = zip.read(part, maxSize);
    auto refuse = [&](const QString& why) {
        throw DbError(
            ErrNo::General,
            QStringLiteral("“%1”中的“%2”%3，不能在其中填写发票。").arg(zip.displayName(), part, why));
    };
    m_text = QString::fromUtf8(bytes);
    // The rows go into the text: only where the text gives back the very bytes does the rest stay as it
    // was.
    if (m_text.toUtf8() != bytes) refuse(QStringLiteral("不是UTF-8编码"));
    QXmlStreamReader r(m_text);
    bool found = false, inData = false;
    qsizetype below = -1; // after the last row at or above the heading row
    qsizetype firstExtra = -1, lastExtra = -1;
    int lastRow = 0;
    while (!r.atEnd()) {
        qsizetype before = qsizetype(r.characterOffset());
        const QXmlStreamReader::TokenType t = r.readNext();
        const qsizetype after = qsizetype(r.characterOffset());
        // After text the reader has already taken the next tag's "<": a tag starts at its "<".
        if (t == QXmlStreamReader::StartElement && before < m_text.size() && m_text[before] != u'<')
            before = m_text.lastIndexOf(u'<', before);
        if (t == QXmlStreamReader::StartElement && r.name() == u"col" && !inData) {
            const QXmlStreamAttributes a = r.attributes();
            bool ok = false;
            const int style = a.value(QLatin1String("style")).toInt(&ok);
            if (ok)
                m_styles.append(ColumnStyle{a.value(QLatin1String("min")).toInt() - 1,
                                            a.value(QLatin1String("max")).toInt() - 1, style});
        } else if (t == QXmlStreamReader::StartElement && r.name() == u"sheetData" && !found) {
            found = inData = true;
            const QString qualified = r.qualifiedName().toString();
            m_prefix = qualified.left(qualified.size() - QStringLiteral("sheetData").size());
            below = after;
            if (m_text.mid(before, after - before).endsWith(QStringLiteral("/>"))) {
                // <sheetData/>: the element is written out around the rows.
                const QString tag = m_text.mid(before, after - before);
                m_openTag = tag.left(tag.size() - 2).trimmed() + u'>';
                m_from = before;
                m_to = after;
            }
        } else if (t == QXmlStreamReader::EndElement && r.name() == u"sheetData" && inData) {
            inData = false;
        } else if (t == QXmlStreamReader::StartElement && r.name() == u"row" && inData) {
            const QStringView rAttr = r.attributes().value(QLatin1String("r"));
            const int number = rAttr.isEmpty() ? lastRow + 1 : rAttr.toInt();
            lastRow = number;
            r.skipCurrentElement();
            const qsizetype end = qsizetype(r.characterOffset());
            if (number <= headerRow) {
                below = end;
            } else {
                // Rows of the template below its headings (an example, an earlier export) give way to the
                // data.
                if (firstExtra < 0) firstExtra = before;
                lastExtra = end;
            }
        }
    }
    if (r.hasError()) refuse(QStringLiteral("已损坏（%1）").arg(r.errorString()));
    if (!found) refuse(QStringLiteral("没有sheetData元素"));
    if (m_openTag.isEmpty()) {
        if (firstExtra >= 0 && firstExtra < below) refuse(QStringLiteral("的行没有按顺序排列"));
        m_from = firstExtra >= 0 ? firstExtra : below;
        m_to = firstExtra >= 0 ? lastExtra : below;
    }
    m_before = QStringView(m_text).left(m_from).toUtf8();
    m_after = QStringView(m_text).mid(m_to).toUtf8();
    if (!m_openTag.isEmpty()) {
        m_before += m_openTag.toUtf8();
        m_after.prepend((QStringLiteral("</") + elementName(QStringLiteral("sheetData")) + u'>').toUtf8());
    }
}

int TemplateSheetPart::columnStyle(int column) const {
    for (const ColumnStyle& s : m_styles)
        if (column >= s.first && column <= s.last) return s.style;
    return -1;
}

QByteArray TemplateSheetPart::filled(const QByteArray& rowsXml) const {
    QByteArray out;
    out.reserve(m_before.size() + rowsXml.size() + m_after.size());
    out += m_before;
    out += rowsXml;
    out += m_after;
    return out;
}
