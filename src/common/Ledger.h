#pragma once
// What crossed over between the accounting set and the tax system, kept in a table of the program's own
// in the accounting database (TF_Ledger, created when missing): every imported invoice with its kind,
// code and number in the tax system and the sales invoice it became; every exported invoice with the
// link and the file. Rows are written in the same transaction as what they record.
//
//   FDirection   1 import, 0 export
//   FInvoiceKind, FTaxCode, FTaxNumber   the tax system's 发票种类, 类别代码, 发票号码 (imports)
//   FInterID, FBillNo                    the sales invoice
//   FLinkID                              the export's link (exports)
//   FDocNo                               exports: the document's 单据号 in the file (the bill number, or
//                                        that of a piece of an invoice written in several); imports: the
//                                        销售单据编号 the tax system gives the invoice
//   FFileName, FTime (yyyy-MM-dd HH:mm:ss), FUserName

#include "Connection.h"
#include <QString>

namespace Ledger {
inline QString Table() {
    return QStringLiteral("TF_Ledger");
}
constexpr int Export = 0;
constexpr int Import = 1;
// Whether the accounting database has the table (a read-only connection may ask).
bool Exists(Connection& acct);
// Creates the table when the accounting database has none. Throws DbError.
void Ensure(Connection& acct);
// The time a ledger row carries.
QString Now();
} // namespace Ledger
