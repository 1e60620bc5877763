#pragma once
// Workbooks made by the tests themselves, written with minizip directly (not through the program's own
// zip code): the sheets' XML as given, the rest as Excel lays it out.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct BuiltSheet {
    QString name;
    QString xml; // the whole worksheet part
    bool hidden = false;
};

// A zip of the members in this order, deflated (stored where store is set), each with the extra field
// given (in its local header and in the directory).
QByteArray buildZip(const QList<QPair<QString, QByteArray>>& members, bool store = false,
                    const QByteArray& extraField = {});
// A workbook of the sheets in order (parts xl/worksheets/sheetN.xml), with the styles part given (a
// plain one when empty) and the shared strings given (none when empty). extra: members added after.
QByteArray buildXlsx(const QList<BuiltSheet>& sheets, const QByteArray& styles = {},
                     const QStringList& sharedStrings = {},
                     const QList<QPair<QString, QByteArray>>& extra = {});
// A worksheet part around the given rows XML (<row> elements) and what follows sheetData.
QString sheetXml(const QString& rows, const QString& before = {}, const QString& after = {});
// An inline-string cell and a number cell.
QString inlineCell(const QString& ref, const QString& text, int style = -1);
QString numberCell(const QString& ref, const QString& value, int style = -1);
// The members of a zip as stored: for each its method, checksum and compressed bytes, or its unpacked
// bytes when unpacked is set. Empty when the bytes are no zip.
struct ZipEntry {
    QString name;
    int method = 0;
    quint32 crc = 0;
    QByteArray data;
};
QList<ZipEntry> zipEntries(const QByteArray& zip, bool unpacked);
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
