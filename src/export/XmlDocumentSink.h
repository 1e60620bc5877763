#pragma once
// The invoicing software's XML import file: GBK, one Fp per document with one Sph per line; a line
// with a discount is written as the discounted line followed by its discount line.

#include "export/DocumentSink.h"
#include <QString>
#include <memory>

class XmlDocumentSink : public DocumentSink {
public:
    explicit XmlDocumentSink(const QString& path);
    ~XmlDocumentSink() override;
    // Opens a temporary file beside the target; documents < 0 when their number is not known beforehand.
    // Throws DbError when it cannot be written.
    void begin(int documents) override;
    // Throws ExportRefused for a value GBK or XML cannot hold and for a line without 税收分类编码.
    void add(const SinkDocument& doc) override;
    // Throws DbError when fewer or more documents came than Begin announced, or the file cannot be saved.
    void commit() override;
    void check(const SinkDocument& doc) override;

private:
    // The document's Fp element, GBK; throws what Add throws.
    QByteArray render(const SinkDocument& doc);
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The tax rate as the XML file and the workbook want it, a fraction ("13" and "13%" give "0.13");
// a text that is no number is returned as it is.
QString taxRateFraction(const QString& rate);
