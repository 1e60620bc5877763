#pragma once
// Small, fully known export set-ups on the temporary databases: test templates, links and invoices.

#include "common/Connection.h"
#include <QStringList>
#include <QVariant>

struct TestLine {
    double qty;
    double amount;
    QVariant note; // Null when invalid
};

// Replaces tbl1/tbl2 by templates over ICSale/ICSaleEntry with the aliases the filter names. tbl1 puts
// out FbillNo, FBillDate, FCustName, fmemo, FExpl, FQty, FAmount, FNote; tbl2 Frows and FSeller.
void useTestTemplates(Connection& config, const QString& tbl1 = QString());
QString testTemplate1();

// Replaces every link by one link with the given head and body fields. A field is an output column
// name, or "=sql" for a stored formula with that SQL form. The fields fill the tax fields in their
// numbering order, or those that taxNames names (head fields first).
void makeTestLink(Connection& config, int id, const QVariant& invoiceType, const QString& sep,
                  const QStringList& head, const QStringList& body, const QStringList& taxNames = {});

// Customers 1 "客户甲" (code C01) and 2 "客户乙" (code C02) and the two invoice types.
void addTestBaseData(Connection& acct);
void addInvoice(Connection& acct, int interId, const QString& billNo, const QString& date, int tranType,
                const QList<TestLine>& lines, int custId = 1, int rob = 1,
                const QVariant& explanation = QVariant());

// The tax-code catalogue: an entry for each product name (the test templates give no product number).
void addTestTaxCodes(Connection& config, const QStringList& names);

QByteArray fileBytes(const QString& path);
// An earlier file at path holding "OLD" CR LF.
void writeOld(const QString& path);
