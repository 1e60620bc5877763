#include "common/Session.h"

#include "common/ConfigUpgrade.h"
#include "common/LoginProps.h"
#include <QHash>
#include <QSet>

ConnectionPtr Session::openAcctConnection(Connection::Mode mode) const {
    return Connection::open(parseConnProps(gsAcctProps, 0), mode);
}

ConnectionPtr Session::openConfigConnection() const {
    ConnectionPtr config = Connection::open(gsConfigConnString);
    upgradeConfigSchema(*config);
    return config;
}

namespace {
// Tables added to Taxlink.db since a file may have been made: created empty, with their indexes, as
// data/config_schema.sql makes them.
void addMissingConfigTables(Connection& config, bool isOurs) {
    if (!isOurs) return; // a file that is no Taxlink.db of ours gets nothing
    struct Added {
        const char* table;
        const char* statements; // separated by ";"
    };
    static const Added added[] = {
        {"t_TaxCode",
         "CREATE TABLE IF NOT EXISTS t_TaxCode (FItemID INTEGER NOT NULL, FItemNumber TEXT, FItemName TEXT, "
         "FTaxCode TEXT, "
         "FShortName TEXT, FOwnCode TEXT, FPreferential INTEGER, FPreferentialText TEXT, FZeroRate TEXT);"
         "CREATE UNIQUE INDEX IF NOT EXISTS ux_TaxCode_Item ON t_TaxCode (FItemID)"},
        {"t_PlatformTemplate", "CREATE TABLE IF NOT EXISTS t_PlatformTemplate (FName TEXT, FFileName TEXT, "
                               "FContent BLOB, FTime TEXT)"},
    };
    for (const Added& a : added) {
        try {
            config.tableColumns(QString::fromLatin1(a.table));
            continue; // there already
        } catch (const DbError&) {
        }
        runSqlScript(config, QString::fromLatin1(a.statements));
    }
}
} // namespace

void upgradeConfigSchema(Connection& config) {
    // Columns added to the program's own tables since a Taxlink.db may have been made: added in place,
    // every row kept, the new values empty (a link without limits).
    struct Added {
        const char* table;
        const char* column;
        const char* type;
    };
    static const Added added[] = {
        {"t_BaseInfo", "FMaxLines", "INTEGER"},        {"t_BaseInfo", "FMaxAmount", "REAL"},
        {"t_BaseInfo", "FUseList", "INTEGER"},         {"t_BaseInfo", "FFormat", "TEXT"},
        {"t_BaseInfo", "FPrefixShortName", "INTEGER"}, {"t_TaxField", "FFormat", "TEXT"},
        {"t_BaseInfo", "FMergeBuyer", "INTEGER"},      {"t_BaseInfo", "FMergeLines", "INTEGER"},
        {"t_BaseInfo", "FDocNoInRemark", "INTEGER"},
    };
    QHash<QString, QSet<QString>> known;
    for (const Added& a : added) {
        const QString table = QString::fromLatin1(a.table);
        if (!known.contains(table)) {
            QSet<QString> names;
            try {
                for (const FieldInfo& f : config.tableColumns(table))
                    names.insert(f.name.toCaseFolded());
            } catch (const DbError&) {
                // A file without the table is no Taxlink.db of ours; what is missing is said where it is
                // read.
            }
            known.insert(table, names);
        }
        if (known[table].isEmpty() || known[table].contains(QString::fromLatin1(a.column).toCaseFolded()))
            continue;
        try {
            config.exec(QStringLiteral("alter table %1 add column %2 %3")
                            .arg(table, QString::fromLatin1(a.column), QString::fromLatin1(a.type)));
        } catch (const DbError&) {
            // Another copy of the program added it in the meantime; anything else is still missing.
            config.exec(
                QStringLiteral("select %1 from %2 where 1=0").arg(QString::fromLatin1(a.column), table));
        }
        known[table].insert(QString::fromLatin1(a.column).toCaseFolded());
        // The platform's links already there write the 单据号 into 备注 from now on; the others do not.
        if (qstrcmp(a.column, "FDocNoInRemark") == 0)
            config.exec(QStringLiteral("update t_BaseInfo set FDocNoInRemark=case when FFormat='xlsx' "
                                       "then 1 else 0 end"));
    }
    const bool isOurs = !known.value(QStringLiteral("t_BaseInfo")).isEmpty();
    addMissingConfigTables(config, isOurs);
    if (isOurs) {
        upgradeImportLayout(config);
        addMissingSettings(config);
    }
}

void Session::setEdition(const QString& editionType) {
    if (editionType.compare(u"INDUSTRY", Qt::CaseInsensitive) == 0) {
        giIndustry = 1;
        gsCustomerView = QStringLiteral("vwClientForBase");
        gsSupplierView = QStringLiteral("vwSupplyForBase");
        gsItemView = QStringLiteral("vwICItemForBase");
    } else {
        giIndustry = 0;
        gsCustomerView = QStringLiteral("VW_COM_Customer");
        gsSupplierView = QStringLiteral("VW_COM_Supplier");
        gsItemView = QStringLiteral("VW_COM_Item_ALL");
    }
    gsSystemLabel = QStringLiteral("QOR系");
}
