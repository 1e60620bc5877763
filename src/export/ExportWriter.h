#pragma once
// Writer of the tax system's sales-document import file (SJJK0101): the first line, then per invoice
// its head line followed by its body lines.

#include "common/Connection.h"
#include <QString>
#include <functional>
#include <optional>

// Delivers the body rows in invoice-number order, without keeping them: onColumns once, then onRow for
// each row. Throws DbError, or ExportRefused when the export must stop with a notice.
using BodyRowSource = std::function<void(const std::function<void(const QList<FieldInfo>&)>& onColumns,
                                         const std::function<void(const QVariantList&)>& onRow)>;

// A condition under which nothing may be written; its description is shown as a notice (ShowMsg),
// followed by the database's own words where a failed query is the reason.
class ExportRefused : public DbError {
public:
    explicit ExportRefused(const QString& message, std::optional<DbError> cause = std::nullopt)
        : DbError(ErrNo::General, message), m_cause(std::move(cause)) {}
    const std::optional<DbError>& failedQuery() const { return m_cause; }

private:
    std::optional<DbError> m_cause;
};

// The body rows of a materialised recordset (tests, small exports).
BodyRowSource BodyRowsOf(const Recordset& body);

// Writes the file through a temporary file beside FilePath that replaces it only when complete; on
// any failure an earlier file at FilePath stays as it was. Head is ordered by FbillNo, Body delivers
// its rows in the same order. True when the file was written; otherwise the failure has been shown.
bool WriteToTxT(const QString& FilePath, Recordset& Head, const BodyRowSource& Body, const QString& Sep);

// The line of one row: head rows drop RowsCount, write it in place of Frows and write dates as
// YYYYMMDD; body rows drop FbillNo. Throws ExportRefused for a value holding Sep, CR or LF.
QString GetTxtLine(const QList<FieldInfo>& fields, const QVariantList& row, const QString& Sep, bool IsHead);
