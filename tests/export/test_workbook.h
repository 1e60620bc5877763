#pragma once
// The e-invoice platform's workbook: the template learnt, and the workbook written as the template filled
// in, compared with the template part by part.
#include "PlatformTemplate.h"
#include "common/XlsxReader.h"
#include "export/ExportWriter.h"
#include "export/WorkbookDocumentSink.h"
#include "support/XlsxBuilder.h"
#include <QXmlStreamReader>
#include <QtTest/QtTest>

using Line = QHash<QString, QString>;

using Docs = QList<SinkDocument>;

const QString kCode = QStringLiteral("1090511030000000000");

const QString kSpecial = QStringLiteral("增值税专用发票");

inline Line goods(const QString& name, const QString& qty, const QString& price, const QString& amount,
                  const QString& tax, const QString& rate = QStringLiteral("0.13")) {
    return Line{{QStringLiteral("货物名称"), name},      {QStringLiteral("数量"), qty},
                {QStringLiteral("单价"), price},         {QStringLiteral("不含税金额"), amount},
                {QStringLiteral("税额"), tax},           {QStringLiteral("税率"), rate},
                {QStringLiteral("税收分类编码"), kCode}, {QStringLiteral("计量单位"), QStringLiteral("台")}};
}

inline Line with(Line line, const QString& field, const QString& value) {
    if (value.isNull())
        line.remove(field);
    else
        line.insert(field, value);
    return line;
}

inline SinkDocument makeDoc(const QString& docNo, const QList<Line>& lines,
                            const QString& buyer = QStringLiteral("甲公司")) {
    SinkDocument d;
    d.docNo = docNo;
    d.invoiceKind = kSpecial;
    d.head = {{QStringLiteral("单据号"), docNo},
              {QStringLiteral("购方名称"), buyer},
              {QStringLiteral("购方税号"), QStringLiteral("91330100MA2XXXXXX1")},
              {QStringLiteral("购方地址电话"), QStringLiteral("杭州市文三路100号 0571-88886666")},
              {QStringLiteral("购方银行帐号"), QStringLiteral("工商银行文三支行 1202 0212 0900")},
              {QStringLiteral("销方银行账号"), QStringLiteral("建设银行西湖支行 3301 0000")},
              {QStringLiteral("编码版本号"), QStringLiteral("48.0")}};
    d.lines = lines;
    return d;
}

inline WorkbookLayout learn(const QByteArray& file) {
    return learnWorkbookLayout(file, QStringLiteral("template.xlsx"));
}

inline void runExport(DocumentSink& sink, const Docs& docs) {
    sink.begin(int(docs.size()));
    for (const SinkDocument& d : docs)
        sink.add(d);
    sink.commit();
}

// The rows of a sheet below row 3 as "A=…|B=…", every cell checked to be text.
inline QStringList dataRows(const QString& path, const QString& sheet) {
    XlsxReader reader(path);
    QStringList out;
    for (const XlsxRow& row : reader.rows(*reader.sheet(sheet))) {
        if (row.number <= 3) continue;
        QStringList cells;
        for (const XlsxCell& c : row.cells) {
            [&] { QVERIFY2(!c.number, qPrintable(c.text)); }();
            cells << xlsxColumnName(c.column) + u'=' + c.text;
        }
        out << cells.join(u'|');
    }
    return out;
}

// The given columns of a data row ("B|D").
inline QString columns(const QString& row, const QStringList& columns) {
    QHash<QString, QString> cells;
    for (const QString& c : row.split(u'|'))
        cells.insert(c.section(u'=', 0, 0), c.section(u'=', 1));
    QStringList out;
    for (const QString& c : columns)
        out << cells.value(c);
    return out.join(u'|');
}

inline QHash<QString, ZipEntry> byName(const QList<ZipEntry>& entries) {
    QHash<QString, ZipEntry> out;
    for (const ZipEntry& e : entries)
        out.insert(e.name, e);
    return out;
}

inline QStringList names(const QList<ZipEntry>& entries) {
    QStringList out;
    for (const ZipEntry& e : entries)
        out << e.name;
    return out;
}

// The filled file against its template: the same members in the same order; every member but the two
// sheets stored exactly as the template stores it; the two sheets the template's text with rows in one
// place, after the heading row, each row numbered on and each cell an inline string in its column's style.
// Returns the rows inserted per sheet part.
inline QHash<QString, QString> compareWithTemplate(const QByteArray& templ, const QByteArray& filled,
                                                   const QHash<QString, int (*)(int)>& sheetParts) {
    QHash<QString, QString> inserted;
    const QList<ZipEntry> raw = zipEntries(templ, false), rawOut = zipEntries(filled, false);
    [&] { QCOMPARE(names(rawOut), names(raw)); }();
    const QHash<QString, ZipEntry> plain = byName(zipEntries(templ, true)),
                                   plainOut = byName(zipEntries(filled, true));
    for (int i = 0; i < raw.size() && i < rawOut.size(); ++i) {
        const ZipEntry &t = raw[i], &o = rawOut[i];
        if (sheetParts.contains(t.name)) {
            const QString before = QString::fromUtf8(plain[t.name].data);
            const QString after = QString::fromUtf8(plainOut[t.name].data);
            const qsizetype at =
                before.indexOf(QStringLiteral("</row>"), before.indexOf(QStringLiteral("<row r=\"3\""))) + 6;
            [&] {
                QVERIFY2(after.startsWith(before.left(at)) && after.endsWith(before.mid(at)),
                         qPrintable(t.name));
            }();
            const QString rows = after.mid(at, after.size() - before.size());
            inserted.insert(t.name, rows);
            QXmlStreamReader r(QStringLiteral("<x>") + rows + QStringLiteral("</x>"));
            int rowNo = 3;
            while (!r.atEnd()) {
                if (r.readNext() != QXmlStreamReader::StartElement) continue;
                const QXmlStreamAttributes a = r.attributes();
                if (r.name() == u"row") [&] { QCOMPARE(a.value(QStringLiteral("r")).toInt(), ++rowNo); }();
                if (r.name() != u"c") continue;
                const QString ref = a.value(QStringLiteral("r")).toString();
                const int style = sheetParts[t.name](xlsxColumnOf(ref));
                [&] {
                    QCOMPARE(ref.mid(xlsxColumnName(xlsxColumnOf(ref)).size()).toInt(), rowNo);
                    QCOMPARE(a.value(QStringLiteral("t")).toString(), QStringLiteral("inlineStr"));
                    QCOMPARE(a.value(QStringLiteral("s")).toString(),
                             style < 0 ? QString() : QString::number(style));
                }();
            }
            [&] { QVERIFY2(!r.hasError(), qPrintable(r.errorString())); }();
        } else {
            [&] {
                QVERIFY2(t.method == o.method && t.crc == o.crc && t.data == o.data, qPrintable(t.name));
            }();
        }
    }
    return inserted;
}

// ---- Made-up templates of other shapes: their own sheet names, a notes sheet, headings with the marks
// of required columns, a heading the program does not know, shared or inline strings.

struct TemplateSheet {
    QString name;
    int headerRow; // 1-based
    QStringList headings;
};

inline const WorkbookColumn* columnAt(const WorkbookSheetLayout& s, const QString& letters) {
    const int c = xlsxColumnOf(letters);
    return c >= 0 && c < s.columns.size() ? &s.columns[c] : nullptr;
}

Q_DECLARE_METATYPE(SinkDocument)
Q_DECLARE_METATYPE(TemplateSheet)

class TestWorkbook : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void learnOfficialShape_data();
    void learnOfficialShape();
    void learnMadeUp_data();
    void learnMadeUp();
    void learnRefused_data();
    void learnRefused();
    void learnReadsNothingBelowTheHeadings();
    void layoutJson();
    void layoutJsonOfAnEarlierVersion();
    void layoutJsonRefused_data();
    void layoutJsonRefused();

    void filledTemplate();
    void programFilled_data();
    void programFilled();
    void refusals_data();
    void refusals();
    void splitAt2000Rows();
    void splitRefusedLeavesNothing();
    void templateRowsBelowTheHeadings();
    void cellsEscapedAsBefore_data();
    void cellsEscapedAsBefore();
    void amountsInCents_data();
    void amountsInCents();

    void officialTemplate();
};
