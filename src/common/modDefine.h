#pragma once
// Globals of the running program: what the login reported, the two connections and the edition.

#include "Connection.h"
#include <QString>

extern ConnectionPtr gcnAcct;   // the accounting connection
extern ConnectionPtr gcnConfig; // the configuration connection (Taxlink.db)
extern QString gsAcctProps;     // the login's PropsString, unchanged
extern QString gsConfigConnString;
extern QString gsUserName;
extern QString gsAcctName;
extern QString gsCustomerView;
extern QString gsSupplierView;
extern QString gsItemView;
extern QString gsSystemLabel;
extern int giIndustry;    // 1 for the industry edition
extern int giInvoiceKind; // 0 special VAT invoice, 2 ordinary invoice (the import)

// The two connections, or an error when the program has not opened them.
inline Connection& AcctConnection() {
    return RequireConnection(gcnAcct.get());
}
inline Connection& ConfigConnection() {
    return RequireConnection(gcnConfig.get());
}
