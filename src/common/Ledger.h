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
//   FState       0 stands; 1 cancelled (the tax invoice was cancelled or wholly flushed red: the sales
//                invoice may go out again); 2 superseded (the invoice was exported again)
//   FAmount, FTax                        exports: the document's 不含税金额 and 税额 as written
//   FIssueState  the tax invoice written back onto an export row: empty (not issued yet), 已开票, 已作废,
//                已红冲, 部分红冲 or 开具失败; an import row: 已开票 or 已作废
//   FIssueDate (yyyy-MM-dd), FIssuedAmount, FIssuedTax   the tax invoice's date and totals
//   FRedConfirmNo  the 红字发票信息确认单编号 of a red invoice: on its own document's rows, or on the rows of
//                  the blue invoice it flushes where it has no document of its own
//   FIssueReason   why the platform refused the document (FIssueState 开具失败, FState 1: it may go out
//                  again)
// With a written-back tax invoice an export row's FInvoiceKind, FTaxCode and FTaxNumber are its 发票种类,
// 发票代码 and 发票号码 (a fully digital e-invoice: its number, the code empty).

#include "common/Connection.h"
#include <QString>

namespace Ledger {
inline QString table() {
    return QStringLiteral("TF_Ledger");
}
constexpr int Export = 0;
constexpr int Import = 1;
// FState
constexpr int Stands = 0;
constexpr int Cancelled = 1;
constexpr int Superseded = 2;
// FIssueState
inline QString issued() {
    return QStringLiteral("已开票");
}
inline QString issueCancelled() {
    return QStringLiteral("已作废");
}
inline QString issueFlushed() {
    return QStringLiteral("已红冲");
}
inline QString issuePartlyFlushed() {
    return QStringLiteral("部分红冲");
}
inline QString issueRefused() {
    return QStringLiteral("开具失败");
}
// Whether the accounting database has the table (a read-only connection may ask).
bool exists(Connection& acct);
// Creates the table when the accounting database has none, and adds the columns an older one lacks.
// Throws DbError.
void ensure(Connection& acct);
// A tax invoice as the ledger, the write-back column and every message name it: 发票代码-发票号码, or the
// number alone where there is no code (a fully digital e-invoice).
inline QString numberText(const QString& code, const QString& number) {
    return code.isEmpty() ? number : code + u'-' + number;
}
// Whether the ledger has every column and index of this version (no upgrade is due).
bool current(Connection& acct);
// The ledger as a command that only reads names it in its FROM: the table when it is current; for an
// older one, which such a command leaves as it is, the table with what the upgrade would add filled in.
// Throws DbError.
QString readSource(Connection& acct);
// The write-back's lookups of export rows, each led by a column that an index of the ledger holds first:
// a document's rows (direction, 单据号), a tax invoice's rows (direction, 发票代码 or empty, 发票号码), a
// sales invoice's rows with a tax invoice (direction, then FInterID in a list appended by the caller), in
// the given state. The state is written into the statement, not bound: SQLite plans a bound state anew on
// every run (it could decide whether the ledger's partial index of standing rows applies), a parse for
// each invoice written back.
inline QString documentRows(int state) {
    return QStringLiteral("FDirection=? and FDocNo=? and FState=%1").arg(state);
}
inline QString invoiceRows(int state) {
    return QStringLiteral("FDirection=? and coalesce(FTaxCode,'')=? and FTaxNumber=? and FState=%1")
        .arg(state);
}
inline QString salesRows(int state) {
    return QStringLiteral("FDirection=? and FState=%1 and coalesce(FTaxNumber,'')<>'' and FInterID in ")
        .arg(state);
}
// Rows that hold no tax invoice yet. Written so that no index of the number can serve it: statistics
// gathered on a ledger of imported invoices (a number each, no 单据号) make "FTaxNumber is null" look rare
// and the 单据号 useless, and a planner that took the number's index would visit every open row of the
// ledger for each invoice written back.
inline QString withoutInvoice() {
    return QStringLiteral("coalesce(FTaxNumber,'')=''");
}
// After a command that changed at least this many ledger rows, the planner's statistics are refreshed:
// the next reconciliation on a set just written finds the ledger's indexes.
constexpr int kStatisticsAfter = 2000;
// Refreshes them (ANALYZE) when rowsChanged reaches kStatisticsAfter, outside any transaction; a failure
// leaves the estimates as they were.
void refreshStatistics(Connection& acct, int rowsChanged);
// The time a ledger row carries.
QString now();
} // namespace Ledger
