#pragma once
// The e-invoice platform's batch-issuance template (.xlsx): a head sheet with one row per document and a
// detail sheet with one row per line, tied by 发票流水号. The platform publishes the template itself and
// changes it now and then, so its sheets, heading rows, headings, the limits of each column and its
// drop-down lists are learnt from the file the user installs (learnWorkbookLayout) and kept as JSON.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
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
inline const QString SellerBank = QStringLiteral("销方开户银行"); // 销方银行账号 without the account number
inline const QString SellerAccount = QStringLiteral("销方账号"); // the account number of 销方银行账号
inline const QString InvoiceKind = QStringLiteral("发票类型"); // 增值税专用发票 or 普通发票, from the link
inline const QString TaxIncluded = QStringLiteral("是否含税"); // 否: the export writes net amounts
inline const QString UsePreferential = QStringLiteral("是否使用优惠政策"); // 是/否 from 优惠政策标识
} // namespace WorkbookValue

struct WorkbookColumn {
    QString heading;     // as the template writes it, on one line (blanks and line breaks as one blank)
    QString value;       // see WorkbookValue
    int limit = 0;       // at most this many characters (the limits row's 限N字符), 0 none
    QStringList choices; // the values of the column's drop-down list, empty without one
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
    QString version;          // the template's version (its sheet excelVersion), empty when it has none
    bool operator==(const WorkbookLayout&) const = default;

    QString toJson() const;
    // Nothing when the text is no layout (not JSON, a sheet without name or columns). A layout stored by
    // an earlier version (without limits, lists or version) loads with those empty.
    static std::optional<WorkbookLayout> fromJson(const QString& json);
};

// The most a template file may have, in bytes: it is kept in Taxlink.db.
constexpr qint64 kMaxTemplateSize = 64 * 1024 * 1024;

// Reads the platform's template. In each visible sheet the heading row is the row that holds 发票流水号
// (rows above it are notes and limits; nothing below it is read); the row above it gives each column's
// limit. The head sheet names a buyer and no goods, the detail sheet names goods; each heading is mapped by
// its known names (an unknown heading stays, with an empty value). Throws DbError when the file is no
// workbook, is past the reader's caps, lacks one of the two sheets, or cannot be filled.
WorkbookLayout learnWorkbookLayout(const QByteArray& file, const QString& displayName);
WorkbookLayout learnWorkbookLayout(const QString& xlsxPath);
// The file's bytes, refused over kMaxTemplateSize. Throws DbError.
QByteArray readTemplateFile(const QString& xlsxPath);

// The value a known heading stands for (learnWorkbookLayout's table); empty for an unknown heading.
QString workbookValueOfHeading(const QString& heading);
