#pragma once
// A sheet part of the platform's template made ready to take data rows below its heading row: the rows
// are spliced into the part's XML text, and everything else of the part stays as the template has it.

#include "common/ZipArchive.h"
#include <QByteArray>
#include <QList>
#include <QString>

class TemplateSheetPart {
public:
    // Reads the part (at most maxSize bytes unpacked). Throws DbError when it is missing, is not UTF-8 or
    // has no sheetData.
    TemplateSheetPart(const ZipArchive& zip, const QString& part, int headerRow, qint64 maxSize);

    const QString& part() const { return m_part; }
    int headerRow() const { return m_headerRow; }
    // The cell style of a column (0-based) as the part's <cols> gives it; -1 when it gives none.
    int columnStyle(int column) const;
    // An element name with the prefix the part writes its elements with ("row" or "x:row").
    QString elementName(const QString& local) const { return m_prefix + local; }
    // The part with rowsXml (row elements in UTF-8, numbered from headerRow + 1) below the heading row, in
    // place of any rows the template has there.
    QByteArray filled(const QByteArray& rowsXml) const;

private:
    struct ColumnStyle {
        int first, last, style; // 0-based columns
    };
    QString m_part, m_text, m_prefix;
    int m_headerRow = 0;
    qsizetype m_from = 0, m_to = 0; // the text replaced by the rows
    QString m_openTag;              // "<sheetData>" when the template has <sheetData/>; else empty
    // What stands before and after the rows, as the UTF-8 the part is written in: a workbook of rows
    // is put together from bytes, not converted back and forth.
    QByteArray m_before, m_after;
    QList<ColumnStyle> m_styles;
};
