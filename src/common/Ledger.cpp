#include "common/Ledger.h"

#include <QDateTime>
#include <QSet>
#include <optional>

namespace {
// Columns the ledger gained after it was first made: added to a user's ledger in place, every row kept.
struct Added {
    const char* name;
    const char* type;
};
constexpr Added kAdded[] = {
    {"FDocNo", "varchar(80)"},
    {"FState", "integer default 0"},
    {"FIssueState", "varchar(20)"},
    {"FIssueDate", "varchar(10)"},
    {"FIssuedAmount", "float"},
    {"FIssuedTax", "float"},
    {"FAmount", "float"},
    {"FTax", "float"},
    {"FRedConfirmNo", "varchar(40)"},
    {"FIssueReason", "varchar(255)"},
};

// One row that stands per document of an invoice and direction: two exports at once cannot both record the
// same invoice.
QString liveIndexSql() {
    return QStringLiteral(
        "create unique index ux_TF_Ledger_Live on TF_Ledger (FDirection, FBillNo, FDocNo) where FState=0");
}

// The indexes of the loop's lookups, each led by the column that selects: a document's rows by its 单据号
// (the write-back), a tax invoice's rows by its number (a later cancellation or red flush), a sales
// invoice's rows by FInterID (the write-back column) and by its bill number (what an export leaves out).
struct Index {
    const char* name;
    const char* columns;
};
constexpr Index kIndexes[] = {
    {"ix_TF_Ledger_Tax", "FTaxCode, FTaxNumber"},
    {"ix_TF_Ledger_Bill", "FBillNo"},
    {"ix_TF_Ledger_DocState", "FDocNo, FDirection, FState"},
    {"ix_TF_Ledger_Number", "FTaxNumber"},
    {"ix_TF_Ledger_Inter", "FInterID"},
};

bool indexExists(Connection& acct, const QString& name) {
    QString sql;
    switch (acct.dialect().server) {
    case DbServer::SQLite:
        sql = QStringLiteral("select 1 from sqlite_master where type='index' and name=?");
        break;
    case DbServer::PostgreSQL:
        sql = QStringLiteral("select 1 from pg_indexes where indexname=lower(?)");
        break;
    case DbServer::SqlServer:
        sql = QStringLiteral("select 1 from sys.indexes where name=?");
        break;
    case DbServer::Other:
        return false;
    }
    return !acct.query(sql, {name})->atEnd();
}

bool liveIndexExists(Connection& acct) {
    return indexExists(acct, QStringLiteral("ux_TF_Ledger_Live"));
}

bool lookupIndexesExist(Connection& acct) {
    for (const Index& i : kIndexes)
        if (!indexExists(acct, QString::fromLatin1(i.name))) return false;
    return true;
}

QString createIndexSql(const Index& i) {
    return QStringLiteral("create index %1 on TF_Ledger (%2)")
        .arg(QString::fromLatin1(i.name), QString::fromLatin1(i.columns));
}

// The lookup indexes a ledger of an earlier version lacks; the single-column index on FDocNo gives way to
// the one that also holds the direction and the state.
void ensureLookupIndexes(Connection& acct) {
    if (acct.dialect().server == DbServer::Other) return;
    for (const Index& i : kIndexes)
        if (!indexExists(acct, QString::fromLatin1(i.name))) {
            try {
                acct.exec(createIndexSql(i));
            } catch (const DbError&) {
                // Made by another program meanwhile; anything else shows in the next lookup's plan only.
                if (acct.inTransaction()) throw;
            }
        }
    if (indexExists(acct, QStringLiteral("ix_TF_Ledger_Doc"))) {
        if (acct.dialect().server == DbServer::SqlServer)
            acct.exec(QStringLiteral("drop index ix_TF_Ledger_Doc on TF_Ledger"));
        else
            acct.exec(QStringLiteral("drop index ix_TF_Ledger_Doc"));
    }
}

// Rows that stand twice (two exports at once, before the index) are kept and marked superseded, all but
// the newest of each document, so that the index can be made without losing a row.
void supersedeDuplicates(Connection& acct) {
    const RecordsetPtr groups = acct.query(QStringLiteral(
        "select FDirection, FBillNo, FDocNo from TF_Ledger where FState=0 group by FDirection, "
        "FBillNo, FDocNo having count(*)>1"));
    const QString position = acct.dialect().rowPosition();
    for (const QVariantList& g : groups->allRows()) {
        const QString where =
            QStringLiteral(" from TF_Ledger where FState=0 and FDirection=? and FBillNo=? and ") +
            (g.value(2).isNull() ? QStringLiteral("FDocNo is null") : QStringLiteral("FDocNo=?"));
        QVariantList params{g.value(0), g.value(1)};
        if (!g.value(2).isNull()) params << g.value(2);
        if (!position.isEmpty()) {
            const RecordsetPtr rows = acct.query(QStringLiteral("select ") + position + where +
                                                     QStringLiteral(" order by FTime desc"),
                                                 params);
            for (int r = 1; r < rows->recordCount(); ++r)
                acct.exec(QStringLiteral("update TF_Ledger set FState=? where ") +
                              acct.dialect().rowPositionMatch(),
                          {Ledger::Superseded, rows->valueAt(r, 0).toString()});
            continue;
        }
        // No position to tell the rows apart: all are superseded by a copy of the newest.
        const RecordsetPtr newest =
            acct.query(QStringLiteral("select *") + where + QStringLiteral(" order by FTime desc"), params);
        QVariantList update{Ledger::Superseded};
        update.append(params);
        acct.exec(QStringLiteral("update TF_Ledger set FState=?") +
                      where.mid(QStringLiteral(" from TF_Ledger").size()),
                  update);
        QStringList columns;
        for (const FieldInfo& f : newest->fields())
            columns << f.name;
        acct.exec(QStringLiteral("insert into TF_Ledger (%1) values (%2)")
                      .arg(columns.join(u','), QStringList(columns.size(), QStringLiteral("?")).join(u',')),
                  newest->allRows().first());
    }
}

void ensureLiveIndex(Connection& acct) {
    if (liveIndexExists(acct)) return;
    try {
        // Inside a caller's transaction (a preview, rolled back) the upgrade is part of it.
        std::optional<TransactionGuard> own;
        if (!acct.inTransaction()) own.emplace(acct);
        // Exports recorded before documents had numbers of their own wrote each invoice whole.
        acct.exec(QStringLiteral("update TF_Ledger set FDocNo=FBillNo where FDirection=? and FDocNo is null"),
                  {Ledger::Export});
        supersedeDuplicates(acct);
        acct.exec(liveIndexSql());
        if (own) own->commit();
    } catch (const DbError&) {
        // Another program made it in the meantime, or a database without partial indexes: the export's lock
        // still keeps two exports apart.
    }
}

QSet<QString> columnNames(Connection& acct) {
    QSet<QString> names;
    for (const FieldInfo& f : acct.tableColumns(Ledger::table()))
        names.insert(f.name.toCaseFolded());
    return names;
}
} // namespace

bool Ledger::exists(Connection& acct) {
    try {
        acct.tableColumns(table());
        return true;
    } catch (const DbError&) {
        return false;
    }
}

void Ledger::ensure(Connection& acct) {
    if (!exists(acct)) {
        try {
            // Types every database takes alike.
            std::optional<TransactionGuard> own;
            if (!acct.inTransaction()) own.emplace(acct);
            acct.exec(QStringLiteral(
                "create table TF_Ledger (FDirection integer, FInvoiceKind varchar(10), FTaxCode varchar(40), "
                "FTaxNumber varchar(40), FInterID integer, FBillNo varchar(80), FLinkID integer, "
                "FFileName varchar(255), FTime varchar(20), FUserName varchar(80), FDocNo varchar(80), "
                "FState integer default 0, FIssueState varchar(20), FIssueDate varchar(10), FIssuedAmount "
                "float, "
                "FIssuedTax float, FAmount float, FTax float, FRedConfirmNo varchar(40), FIssueReason "
                "varchar(255))"));
            for (const Index& i : kIndexes)
                acct.exec(createIndexSql(i));
            acct.exec(liveIndexSql());
            if (own) own->commit();
            return;
        } catch (const DbError&) {
            // Another program made it in the meantime.
            if (!exists(acct)) throw;
        }
    }
    QSet<QString> names = columnNames(acct);
    bool addedState = false;
    for (const Added& a : kAdded) {
        const QString name = QString::fromLatin1(a.name);
        if (names.contains(name.toCaseFolded())) continue;
        try {
            acct.exec(
                QStringLiteral("alter table TF_Ledger add %1 %2").arg(name, QString::fromLatin1(a.type)));
            if (name == u"FState") addedState = true;
        } catch (const DbError&) {
            // Another program added it in the meantime; anything else is still missing.
            acct.exec(QStringLiteral("select %1 from TF_Ledger where 1=0").arg(name));
        }
    }
    // Every row recorded before the ledger knew states stands.
    if (addedState) acct.exec(QStringLiteral("update TF_Ledger set FState=0 where FState is null"));
    ensureLiveIndex(acct);
    ensureLookupIndexes(acct);
}

void Ledger::refreshStatistics(Connection& acct, int rowsChanged) {
    if (rowsChanged < kStatisticsAfter || acct.inTransaction()) return;
    try {
        switch (acct.dialect().server) {
        case DbServer::SQLite:
        case DbServer::PostgreSQL:
            acct.exec(QStringLiteral("analyze TF_Ledger"));
            break;
        case DbServer::SqlServer:
            acct.exec(QStringLiteral("update statistics TF_Ledger"));
            break;
        case DbServer::Other:
            break;
        }
    } catch (const DbError&) {
        // What was written stands; only the planner's estimates stay as they were.
    }
}

bool Ledger::current(Connection& acct) {
    const QSet<QString> names = columnNames(acct);
    for (const Added& a : kAdded)
        if (!names.contains(QString::fromLatin1(a.name).toCaseFolded())) return false;
    return liveIndexExists(acct) && (acct.dialect().server == DbServer::Other || lookupIndexesExist(acct));
}

QString Ledger::readSource(Connection& acct) {
    if (current(acct)) return table();
    const QSet<QString> names = columnNames(acct);
    const bool indexed = liveIndexExists(acct);
    QStringList columns{QStringLiteral("FDirection"), QStringLiteral("FInvoiceKind"),
                        QStringLiteral("FTaxCode"),   QStringLiteral("FTaxNumber"),
                        QStringLiteral("FInterID"),   QStringLiteral("FBillNo"),
                        QStringLiteral("FLinkID"),    QStringLiteral("FFileName"),
                        QStringLiteral("FTime"),      QStringLiteral("FUserName")};
    // What the upgrade would fill in: an export's document is its invoice, every row stands.
    const QString ownDocument = QStringLiteral("case when FDirection=0 then FBillNo end");
    for (const Added& a : kAdded) {
        const QString name = QString::fromLatin1(a.name);
        const bool has = names.contains(name.toCaseFolded());
        if (name == u"FDocNo")
            columns << (has ? (indexed ? name : QStringLiteral("coalesce(FDocNo, %1)").arg(ownDocument))
                            : ownDocument) +
                           QStringLiteral(" as FDocNo");
        else if (name == u"FState")
            columns << (has ? QStringLiteral("coalesce(FState, 0)") : QStringLiteral("0")) +
                           QStringLiteral(" as FState");
        else if (has)
            columns << name;
        else if (QByteArray(a.type).startsWith("float"))
            columns << QStringLiteral("cast(null as float) as ") + name;
        else
            columns << QStringLiteral("cast(null as varchar(20)) as ") + name;
    }
    return QStringLiteral("(select %1 from TF_Ledger)").arg(columns.join(QStringLiteral(", ")));
}

QString Ledger::now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
