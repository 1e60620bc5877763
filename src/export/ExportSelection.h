#pragma once
// What the export engine's selection and its writing both know of the queries' columns.

#include <QString>
#include <QStringList>

namespace ExportSelection {

// The accounting fields that join two of the workbook's columns, by t_QorField FID, under the name the
// workbook sink splits them from.
struct JoinedField {
    const char* qorId;
    QString key;
};
inline const JoinedField kJoinedFields[] = {{"5", QStringLiteral("购方地址电话")},
                                            {"6", QStringLiteral("购方银行帐号")},
                                            {"12", QStringLiteral("销方银行账号")}};

// The column of a result that carries a tax field: after the first column (RowsCount or FbillNo).
inline int columnOf(const QStringList& taxNames, const QString& name) {
    const qsizetype i = taxNames.indexOf(name);
    return i < 0 ? -1 : int(i) + 1;
}

} // namespace ExportSelection
