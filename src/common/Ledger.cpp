#include "Ledger.h"

#include <QDateTime>
#include <QSet>

namespace {
// Columns the ledger gained after it was first made: added to a user's ledger in place, every row kept.
struct Added {
    const char* name;
    const char* type;
};
constexpr Added kAdded[] = {
    {"FDocNo", "varchar(80)"},     {"FState", "integer"},      {"FIssueState", "varchar(20)"},
    {"FIssueDate", "varchar(10)"}, {"FIssuedAmount", "float"}, {"FIssuedTax", "float"},
    {"FAmount", "float"},          {"FTax", "float"},
};

QSet<QString> ColumnNames(Connection& acct) {
    QSet<QString> names;
    for (const FieldInfo& f : acct.TableColumns(Ledger::Table()))
        names.insert(f.name.toCaseFolded());
    return names;
}
} // namespace

bool Ledger::Exists(Connection& acct) {
    try {
        acct.TableColumns(Table());
        return true;
    } catch (const DbError&) {
        return false;
    }
}

void Ledger::Ensure(Connection& acct) {
    if (!Exists(acct)) {
        try {
            // Types every database takes alike.
            TransactionGuard tx(acct);
            acct.Execute(QStringLiteral(
                "create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), FTaxCode varchar(40), "
                "FTaxNumber varchar(40), FInterID integer, FBillNo varchar(80), FLinkID integer, "
                "FFileName varchar(255), FTime varchar(20), FUserName varchar(80), FDocNo varchar(80), "
                "FState integer default 0, FIssueState varchar(20), FIssueDate varchar(10), FIssuedAmount "
                "float, "
                "FIssuedTax float, FAmount float, FTax float)"));
            acct.Execute(QStringLiteral("create index ix_TF_Ledger_Tax on TF_Ledger (FTaxCode, FTaxNumber)"));
            acct.Execute(QStringLiteral("create index ix_TF_Ledger_Bill on TF_Ledger (FBillNo)"));
            acct.Execute(QStringLiteral("create index ix_TF_Ledger_Doc on TF_Ledger (FDocNo)"));
            tx.commit();
            return;
        } catch (const DbError&) {
            // Another program made it in the meantime.
            if (!Exists(acct)) throw;
        }
    }
    QSet<QString> names = ColumnNames(acct);
    bool addedState = false;
    for (const Added& a : kAdded) {
        const QString name = QString::fromLatin1(a.name);
        if (names.contains(name.toCaseFolded())) continue;
        try {
            acct.Execute(
                QStringLiteral("alter table TF_Ledger add %1 %2").arg(name, QString::fromLatin1(a.type)));
            if (name == u"FState") addedState = true;
            if (name == u"FDocNo")
                acct.Execute(QStringLiteral("create index ix_TF_Ledger_Doc on TF_Ledger (FDocNo)"));
        } catch (const DbError&) {
            // Another program added it in the meantime; anything else is still missing.
            acct.Execute(QStringLiteral("select %1 from TF_Ledger where 1=0").arg(name));
        }
    }
    // Every row recorded before the ledger knew states stands.
    if (addedState) acct.Execute(QStringLiteral("update TF_Ledger set FState=0 where FState is null"));
}

QString Ledger::Now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
