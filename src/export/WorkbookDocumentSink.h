#pragma once
// The e-invoice platform's batch-issuance workbook, written as the installed template filled in: a copy of
// the template file with one row per document below the head sheet's headings and one row per line below
// the detail sheet's. Every other part of the file stays as the template has it, byte for byte.

#include "export/DocumentSink.h"
#include "export/WorkbookLayout.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class WorkbookDocumentSink : public DocumentSink {
public:
    // The template's own warning: more detail rows than this in one workbook may fail on the platform.
    static constexpr int kMaxDetailRows = 2000;

    // templateFile: the template the layout was learnt from (as installed in Taxlink.db).
    WorkbookDocumentSink(const QString& path, const WorkbookLayout& layout, const QByteArray& templateFile);
    ~WorkbookDocumentSink() override;
    void begin(int documents) override;
    // Throws ExportRefused for a document the platform would not take: two 发票流水号 alike (a 单据号 keeps
    // its last 20 characters), a value over its column's limit of characters, a value not in its column's
    // drop-down list (the 优惠政策类型 of a product), a control character.
    void add(const SinkDocument& doc) override;
    void check(const SinkDocument& doc) override;
    // Writes the workbooks beside their targets and puts them in place when all are complete: one at the
    // target, or, over kMaxDetailRows rows, NAME-1.xlsx, NAME-2.xlsx, … each with whole documents (a
    // document over the limit alone in its file). Throws DbError.
    void commit() override;
    // After Commit: every workbook written, in order.
    QStringList writtenFiles() const override;
    int part() const override;
    QStringList plannedFiles() const override;
    // The files an export to path writes or wrote before: path itself and NAME-N.xlsx beside it.
    static bool isFileOf(const QString& path, const QString& file);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
