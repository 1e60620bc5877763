#pragma once
// The e-invoice platform's batch-issuance workbook (.xlsx): a head sheet with one row per document and
// a detail sheet with one row per line, tied by 发票流水号. The platform publishes the template itself, so
// the sheet names, the header rows and the headings are learnt from its file (LearnWorkbookLayout) and
// kept with the link as JSON.

#include "export/DocumentSink.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// What fills a column: a tax field name of SinkDocument (a detail column looks in the line, then in the
// head), one of the values below, or empty for a column left blank.
namespace WorkbookValue {
inline const QString DocKey = QStringLiteral("发票流水号"); // the document's docNo
inline const QString LineNo = QStringLiteral("序号");       // the line's number in its document, from 1
inline const QString Address = QStringLiteral("购方地址");  // 购方地址电话 without the phone number
inline const QString Phone = QStringLiteral("购方电话"); // the phone number at the end of 购方地址电话
inline const QString Bank = QStringLiteral("购方开户银行"); // 购方银行帐号 without the account number
inline const QString Account = QStringLiteral("购方账号"); // the account number at the end of 购方银行帐号
} // namespace WorkbookValue

struct WorkbookColumn {
    QString heading; // as the template writes it
    QString value;   // see WorkbookValue
    bool operator==(const WorkbookColumn&) const = default;
};

struct WorkbookSheetLayout {
    QString name;
    int headerRow = 1; // 1-based; the data rows follow it
    QList<WorkbookColumn> columns;
    bool operator==(const WorkbookSheetLayout&) const = default;
};

struct WorkbookLayout {
    WorkbookSheetLayout head, detail;
    bool detailFirst = false; // the template's sheet order
    bool operator==(const WorkbookLayout&) const = default;

    QString ToJson() const;
    // Nothing when the text is no layout (not JSON, a sheet without name or columns).
    static std::optional<WorkbookLayout> FromJson(const QString& json);
};

// Reads the platform's template: the head sheet (headings 发票流水号 and a buyer name) and the detail
// sheet (发票流水号 and a goods name), their first non-empty row as headings, each heading mapped by its
// known names (an unknown heading stays, with an empty value). Throws DbError when the file is no
// workbook or lacks one of the two sheets.
WorkbookLayout LearnWorkbookLayout(const QString& xlsxPath);

// The value a known heading stands for (LearnWorkbookLayout's table); empty for an unknown heading.
QString WorkbookValueOfHeading(const QString& heading);

// A cell as read back from a workbook.
struct WorkbookCell {
    QString text;        // a number as the file holds it ("1130.5")
    bool number = false; // a number cell, not text
};
// The sheet names of a workbook in order. Throws DbError when the file is no workbook.
QStringList WorkbookSheetNames(const QString& xlsxPath);
// The cells of one sheet: index 0 is row 1, each row up to its last cell (missing cells empty).
// Throws DbError when the file is no workbook or has no such sheet.
QList<QList<WorkbookCell>> ReadWorkbookSheet(const QString& xlsxPath, const QString& sheet);

class WorkbookDocumentSink : public DocumentSink {
public:
    WorkbookDocumentSink(const QString& path, const WorkbookLayout& layout);
    ~WorkbookDocumentSink() override;
    void Begin(int documents) override;
    // Throws ExportRefused for a document over the platform's limits: two 发票流水号 alike (a 单据号 keeps
    // its last 20 characters), a buyer name, address with phone, or bank with account over 100 GBK bytes.
    void Add(const SinkDocument& doc) override;
    void Check(const SinkDocument& doc) override;
    // Writes the workbook to a temporary file beside the target and renames it over the target.
    // Throws DbError.
    void Commit() override;

private:
    // The document as the platform takes it (its key cut to 20 characters) after the checks; keys holds
    // the keys so far. Throws ExportRefused.
    static SinkDocument Checked(const SinkDocument& whole, const QHash<QString, QString>& keys);
    struct Impl;
    std::unique_ptr<Impl> d;
};
