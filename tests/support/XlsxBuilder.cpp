#include "XlsxBuilder.h"

#include <QFile>
#include <QTemporaryFile>
#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace {
QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}
} // namespace

QByteArray buildZip(const QList<QPair<QString, QByteArray>>& members, bool store,
                    const QByteArray& extraField) {
    QTemporaryFile file;
    if (!file.open()) return {};
    const QByteArray name = QFile::encodeName(file.fileName());
    file.close();
    zipFile zip = zipOpen64(name.constData(), APPEND_STATUS_CREATE);
    if (!zip) return {};
    for (const auto& [member, data] : members) {
        zip_fileinfo info{};
        info.dosDate = 0x5c9d4d00; // 2026-04-29 09:40
        zipOpenNewFileInZip64(zip, member.toUtf8().constData(), &info, extraField.constData(),
                              uInt(extraField.size()), extraField.constData(), uInt(extraField.size()),
                              nullptr, store ? 0 : Z_DEFLATED, store ? 0 : Z_DEFAULT_COMPRESSION, 0);
        zipWriteInFileInZip(zip, data.constData(), unsigned(data.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return readFile(file.fileName());
}

QByteArray buildXlsx(const QList<BuiltSheet>& sheets, const QByteArray& styles,
                     const QStringList& sharedStrings, const QList<QPair<QString, QByteArray>>& extra) {
    QString types =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><Types "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
                       "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\" "
                       "Extension=\"rels\"/><Default "
                       "ContentType=\"application/xml\" Extension=\"xml\"/>");
    QString rels =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><Relationships "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    const QString relType =
        QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
    QString book = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<workbook "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><workbookPr "
        "date1904=\"false\"/><bookViews><workbookView activeTab=\"0\"/></bookViews><sheets>");
    QList<QPair<QString, QByteArray>> members;
    for (int i = 0; i < sheets.size(); ++i) {
        const QString n = QString::number(i + 1);
        book += QStringLiteral("<sheet name=\"%1\" r:id=\"rId%2\" sheetId=\"%2\"%3/>")
                    .arg(escaped(sheets[i].name), n,
                         sheets[i].hidden ? QStringLiteral(" state=\"hidden\"") : QString());
        rels += QStringLiteral(
                    "<Relationship Id=\"rId%1\" Target=\"worksheets/sheet%1.xml\" Type=\"%2worksheet\"/>")
                    .arg(n, relType);
        types += QStringLiteral("<Override ContentType=\"application/vnd.openxmlformats-officedocument."
                                "spreadsheetml.worksheet+xml\" PartName=\"/xl/worksheets/sheet%1.xml\"/>")
                     .arg(n);
        members.append({QStringLiteral("xl/worksheets/sheet%1.xml").arg(n), sheets[i].xml.toUtf8()});
    }
    book += QStringLiteral("</sheets></workbook>");
    rels +=
        QStringLiteral("<Relationship Id=\"rIdS\" Target=\"styles.xml\" Type=\"%1styles\"/>").arg(relType);
    if (!sharedStrings.isEmpty()) {
        rels += QStringLiteral(
                    "<Relationship Id=\"rIdT\" Target=\"sharedStrings.xml\" Type=\"%1sharedStrings\"/>")
                    .arg(relType);
        QString sst = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sst "
                                     "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">");
        for (const QString& s : sharedStrings)
            sst += QStringLiteral("<si><t xml:space=\"preserve\">%1</t></si>").arg(escaped(s));
        members.append({QStringLiteral("xl/sharedStrings.xml"), (sst + QStringLiteral("</sst>")).toUtf8()});
    }
    rels += QStringLiteral("</Relationships>");
    types +=
        QStringLiteral("<Override ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml."
                       "sheet.main+xml\" PartName=\"/xl/workbook.xml\"/></Types>");
    const QByteArray plainStyles =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<styleSheet "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts count=\"0\"/><cellXfs "
        "count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
        "xfId=\"0\"/></cellXfs></styleSheet>";
    members.prepend({QStringLiteral("xl/styles.xml"), styles.isEmpty() ? plainStyles : styles});
    members.prepend({QStringLiteral("xl/_rels/workbook.xml.rels"), rels.toUtf8()});
    members.prepend({QStringLiteral("xl/workbook.xml"), book.toUtf8()});
    members.prepend(
        {QStringLiteral("_rels/.rels"),
         QByteArray(
             "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
             "Id=\"rId1\" "
             "Target=\"xl/workbook.xml\" "
             "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\"/>"
             "</Relationships>")});
    members.prepend({QStringLiteral("[Content_Types].xml"), types.toUtf8()});
    members += extra;
    return buildZip(members);
}

QString sheetXml(const QString& rows, const QString& before, const QString& after) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet "
               "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension "
               "ref=\"A1\"/>%1<sheetData>\n%2</sheetData>%3<pageMargins bottom=\"0.75\" "
               "footer=\"0.3\" header=\"0.3\" left=\"0.7\" right=\"0.7\" top=\"0.75\"/></worksheet>")
        .arg(before, rows, after);
}

QString inlineCell(const QString& ref, const QString& text, int style) {
    return QStringLiteral("<c r=\"%1\"%2 t=\"inlineStr\"><is><t>%3</t></is></c>")
        .arg(ref, style >= 0 ? QStringLiteral(" s=\"%1\"").arg(style) : QString(), escaped(text));
}

QString numberCell(const QString& ref, const QString& value, int style) {
    return QStringLiteral("<c r=\"%1\"%2><v>%3</v></c>")
        .arg(ref, style >= 0 ? QStringLiteral(" s=\"%1\"").arg(style) : QString(), value);
}

QList<ZipEntry> zipEntries(const QByteArray& zip, bool unpacked) {
    QList<ZipEntry> out;
    QTemporaryFile file;
    if (!file.open()) return out;
    file.write(zip);
    file.close();
    unzFile unz = unzOpen64(QFile::encodeName(file.fileName()).constData());
    if (!unz) return out;
    for (int rc = unzGoToFirstFile(unz); rc == UNZ_OK; rc = unzGoToNextFile(unz)) {
        unz_file_info64 info;
        char name[1024];
        unzGetCurrentFileInfo64(unz, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        ZipEntry e;
        e.name = QString::fromUtf8(name);
        e.crc = quint32(info.crc);
        int method = 0, level = 0;
        unzOpenCurrentFile2(unz, &method, &level, unpacked ? 0 : 1);
        e.method = method;
        char buf[65536];
        for (int n; (n = unzReadCurrentFile(unz, buf, sizeof buf)) > 0;)
            e.data.append(buf, n);
        unzCloseCurrentFile(unz);
        out.append(e);
    }
    unzClose(unz);
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
