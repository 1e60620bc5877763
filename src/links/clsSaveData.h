#pragma once
// The only writer of the link tables, and the export engine. Each method is one complete operation on
// the configuration connection; the class keeps no state between calls, so callers make one per use.
// Every method reports its own failure (ShowMsg/ShowErr) and then returns false.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QString>

class clsSaveData {
public:
    // Replaces t_TaxField by the given rows.
    bool SaveTaxField(const RecordList& Fields);
    // Restores t_TaxField from its factory copy.
    bool LoadTaxDefaultField();
    // Replaces the mappings of every link (all of t_Detail) by the factory mappings.
    bool LoadTaxDefaultDetail();
    // Item 1 is the t_BaseInfo row, items 2… its t_Detail rows (head rows first). IsEdit non-zero
    // rewrites the link named by item 1's FID; otherwise the link gets the largest FID + 1.
    bool SaveLink(const RecordList& Records, int IsEdit);
    // Removes a link and its mappings.
    bool DeleteLink(const QString& LinkID);

    // Writes the sales-document import file of the tax system for the invoices that the condition text
    // (fourteen values joined by "|") selects, following the link. True only when the file is complete.
    bool ExportToTxT(const QString& FilePath, const QString& Conditions, const QString& LinkID);

    // Condition template of filter value i ("?" stands for the bound value); "" beyond 13.
    static QString GetFilterItem(int i);

private:
    struct ExportQuery {
        QString sql;
        QVariantList params;
    };
    // Builds the head or body query of the link over the two templates; false after a reported
    // "empty link" message.
    bool BuildRsQuery(const QString& LinkID, bool IsHead, const ExportQuery& HeadSql, const QString& BodySql,
                      ExportQuery& out);
    // Builds and runs the head query (materialised: one row per invoice); opens the read-only accounting
    // connection into acct once the link's head fields are known.
    RecordsetPtr GetRs(ConnectionPtr& acct, const QString& LinkID, const ExportQuery& HeadSql,
                       const QString& BodySql);
};
