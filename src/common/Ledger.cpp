#include "Ledger.h"

#include <QDateTime>

bool Ledger::Exists(Connection& acct) {
    try {
        acct.TableColumns(Table());
        return true;
    } catch (const DbError&) {
        return false;
    }
}

void Ledger::Ensure(Connection& acct) {
    if (Exists(acct)) return;
    try {
        // Types every database takes alike.
        TransactionGuard tx(acct);
        acct.Execute(QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), "
                                    "FTaxCode varchar(40), FTaxNumber varchar(40), FInterID integer, "
                                    "FBillNo varchar(80), FLinkID integer, FFileName varchar(255), "
                                    "FTime varchar(20), FUserName varchar(80))"));
        acct.Execute(QStringLiteral("create index ix_TF_Ledger_Tax on TF_Ledger (FTaxCode, FTaxNumber)"));
        acct.Execute(QStringLiteral("create index ix_TF_Ledger_Bill on TF_Ledger (FBillNo)"));
        tx.commit();
    } catch (const DbError&) {
        // Another program made it in the meantime.
        if (!Exists(acct)) throw;
    }
}

QString Ledger::Now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
