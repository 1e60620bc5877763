#pragma once
// Reads Excel workbooks (.xlsx) as they come from outside: the platform's template, its list of issued
// invoices. Such a file may be large or made to hurt, so every use sets caps on what it reads (rows,
// columns, the unpacked size of a part, shared strings) and a file past one is refused with a message
// naming the file and the cap. Rows are read from the top up to a stop, and only the cells that hold a
// value are kept.

#include "common/ZipArchive.h"
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

struct XlsxCaps {
    int maxRows = 100000;                  // the highest row number read
    int maxColumns = 1024;                 // a cell beyond this column is refused
    qint64 maxPartSize = 64 * 1024 * 1024; // unpacked bytes of one part (a sheet, the shared strings)
    int maxSharedStrings = 1000000;
};

struct XlsxSheet {
    QString name;
    bool hidden = false; // hidden or very hidden
    QString part;        // its member in the zip file ("xl/worksheets/sheet1.xml")
};

struct XlsxCell {
    int column = 0; // 0-based (A is 0)
    // A text as it is; a number as the file writes it ("1130.5"; one with an exponent in the shortest
    // plain form); a boolean 1 or 0; an error as its code.
    QString text;
    bool number = false;
    // A number whose format is a date or a time (or a cell of the ISO date type): dateTime holds it as
    // written, without a time zone (UTC).
    bool date = false;
    QDateTime dateTime;
};

struct XlsxRow {
    int number = 0;        // 1-based
    QList<XlsxCell> cells; // in the file's order, only those with a value
    const XlsxCell* cell(int column) const;
    QString text(int column) const; // empty when the cell has no value
};

// Where reading a sheet stops (besides its end): after row lastRow (0: no such stop), or after the first
// row that after accepts. Rows past the caps before a stop refuse the file.
struct XlsxStop {
    int lastRow = 0;
    std::function<bool(const XlsxRow&)> after;
    // Only the top of the sheet is wanted (its heading row): the part is held to the size cap for what is
    // unpacked before the stop, not for its whole size, so a large sheet beside the one read costs nothing.
    bool topOnly = false;
};

// A drop-down list of a sheet: the cells it applies to and its values when the list is written in the
// rule itself ("是,否"); a list taken from a range of cells has no values here.
struct XlsxListRule {
    struct Range {
        int firstColumn = 0, lastColumn = 0; // 0-based
        int firstRow = 0, lastRow = 0;       // 1-based
    };
    QList<Range> ranges;
    QStringList values;
    bool inlineList = false;
};

class XlsxReader {
public:
    // Opens the workbook and reads its sheets. Throws DbError (not a workbook, damaged, past a cap).
    explicit XlsxReader(const QString& path, const XlsxCaps& caps = {});
    XlsxReader(const QByteArray& bytes, const QString& displayName, const XlsxCaps& caps = {});
    ~XlsxReader();

    const ZipArchive& archive() const { return *m_zip; }
    QString displayName() const { return m_displayName; }
    const QList<XlsxSheet>& sheets() const { return m_sheets; }
    const XlsxSheet* sheet(const QString& name) const;

    // The rows of the sheet from the top until stop, the end of the sheet or the caps. Rows without a
    // value are left out. Throws DbError.
    QList<XlsxRow> rows(const XlsxSheet& sheet, const XlsxStop& stop = {});
    // The same rows handed to visit one at a time as the sheet is unpacked, for a sheet too large to be
    // held whole (a month of the platform's list). Throws DbError.
    void readRows(const XlsxSheet& sheet, const XlsxStop& stop,
                  const std::function<void(const XlsxRow&)>& visit);
    // The sheet's drop-down lists. Throws DbError.
    QList<XlsxListRule> listRules(const XlsxSheet& sheet);

private:
    void readWorkbook();
    // The shared string i, read from the part as far as it is wanted: the top of a sheet needs the first
    // few of hundreds of thousands. False where the part has no such string.
    bool sharedString(qsizetype i, QString& out);
    void openSharedStrings();
    void readStyles();
    [[noreturn]] void damaged(const QString& part, const QString& why) const;

    std::unique_ptr<ZipArchive> m_zip;
    QString m_displayName;
    XlsxCaps m_caps;
    QList<XlsxSheet> m_sheets;
    QString m_stringsPart, m_stylesPart;
    bool m_date1904 = false;
    bool m_stringsOpened = false, m_stringsDone = false, m_stylesRead = false;
    std::unique_ptr<ZipArchive::Stream> m_stringsStream;
    std::unique_ptr<class SheetXml> m_stringsXml;
    // The shared strings one after another in one text, each found by where it starts: a month's list
    // holds hundreds of thousands of short ones, and one string object each would cost several times
    // their text.
    QString m_stringText;
    QList<qsizetype> m_stringStarts; // and the end of the last one
    QList<bool> m_dateStyles;        // by style index: the number format is a date
};

// "AB" of "AB12" → 27; -1 without letters or past column XFD.
int xlsxColumnOf(QStringView reference);
// 0 → "A", 27 → "AB".
QString xlsxColumnName(int column);
// Whether an Excel number format shows a date or time: built-in ids 14–22, 27–36, 45–47, 50–58, or a
// code with y, m, d or h outside quotes and brackets.
bool xlsxIsDateFormat(int id, const QString& code);
