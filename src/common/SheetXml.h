#pragma once
// The XML of a workbook's sheets and shared strings as the workbook reader takes them: rows cell by cell,
// string items one by one. A part in UTF-8 without a document type (what every spreadsheet program writes) is
// scanned straight from its bytes, several times faster than the general parser, which a month's list of
// invoices spent most of its reading in; any other part goes through the general parser. From well-formed XML
// both give the same rows and strings. Broken XML both refuse where it breaks what is read (tags that do not
// match, a part cut short, an unknown reference, a bad attribute); the scanner passes over faults only a full
// parser sees (a namespace prefix never declared, a malformed processing instruction).

#include <QString>
#include <memory>

class QIODevice;

// A cell as the sheet writes it, before the reader makes it a cell of its own.
struct SheetCell {
    QString ref, type; // its r and t attributes
    int style = 0;     // its s attribute
    QString v, inlineText;
    bool hasValue = false; // it has a <v> or an <is>
};

class SheetXml {
public:
    virtual ~SheetXml() = default;
    // The next row (its r attribute, empty where it has none); false at the end of the sheet's data, or
    // when the XML is broken (error()).
    virtual bool nextRow(QString& r) = 0;
    // The next cell of the row; false at the row's end, or when the XML is broken.
    virtual bool nextCell(SheetCell& c) = 0;
    // The next string item (<si>) of a shared-strings part; false at its end, or when the XML is broken.
    virtual bool nextString(QString& text) = 0;
    // What the parser found wrong, once it stopped; empty when nothing.
    virtual QString error() const = 0;

    // The scanner on the sheet's bytes, or nullptr where it does not read this sheet (another encoding, a
    // document type): the caller then opens the sheet again for parse(). Reads the device's first bytes.
    static std::unique_ptr<SheetXml> scan(QIODevice& device);
    static std::unique_ptr<SheetXml> parse(QIODevice& device);
};
