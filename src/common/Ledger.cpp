#include "Ledger.h"

#include <algorithm>

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
    if (Exists(acct)) {
        // A ledger made before documents were split records none of their numbers yet.
        const QList<FieldInfo> columns = acct.TableColumns(Table());
        const bool hasDocNo = std::any_of(columns.begin(), columns.end(), [](const FieldInfo& f) {
            return f.name.compare(u"FDocNo", Qt::CaseInsensitive) == 0;
        });
        if (!hasDocNo) {
            try {
                acct.Execute(QStringLiteral("alter table TF_Ledger add FDocNo varchar(80)"));
            } catch (const DbError&) {
                // Another program added it in the meantime.
                acct.Execute(QStringLiteral("select FDocNo from TF_Ledger where 1=0"));
            }
        }
        return;
    }
    try {
        // Types every database takes alike.
        TransactionGuard tx(acct);
        acct.Execute(QStringLiteral("create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), "
                                    "FTaxCode varchar(40), FTaxNumber varchar(40), FInterID integer, "
                                    "FBillNo varchar(80), FLinkID integer, FFileName varchar(255), "
                                    "FTime varchar(20), FUserName varchar(80), FDocNo varchar(80))"));
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
