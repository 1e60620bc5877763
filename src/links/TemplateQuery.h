#pragma once
// The two SQL templates of the export (t_OtherInfo, keys tbl1 and tbl2) and the query over them: the
// export builds its head and body queries on it and the formula check tries a formula against it, so
// both read the templates alike.

#include "common/Connection.h"
#include <QString>
#include <QStringList>
#include <QVariantList>

struct TemplateQuery {
    QString sql;
    QVariantList params; // bound to the "?" of sql, in order
};

// The text of template key ("tbl1", "tbl2"); empty when it is missing. Throws DbError.
QString readTemplate(Connection& config, const QString& key);

// Condition of filter value i ("?" stands for the bound value); "" beyond 13.
QString getFilterItem(int i);

// tbl1 with each "{filterN}" (in any case) turned into its condition with the value bound, or 1=1 for an
// empty value, and the invoice type appended: " and t9.FID=80" for type "0", else 86. The rest of the
// template keeps its case.
TemplateQuery mainTemplateQuery(const QString& tbl1, const QString& conditions, const QString& invoiceType);
// The same for invoices of both kinds: nothing appended.
TemplateQuery filteredTemplateQuery(const QString& tbl1, const QString& conditions);

// tbl1 up to its first "where": a valid query by itself, without the filters. Throws DbError when the
// template has no where.
QString templateWithoutConditions(const QString& tbl1);

// " from (select * from (" head ") aa,(" body ") bb) cc": every row of tbl1 with the one row of tbl2.
QString templateSource(const QString& headSql, const QString& bodySql);
