#pragma once
// What one run of the program knows about its user: the two connections, what the login reported, the
// edition's settings and view names, and the invoice kind of a running import. Main and the batch tool
// make one; engines and windows are handed it and never look anywhere else. The members carry the
// names the system gives them.

#include "common/Connection.h"
#include <QDate>
#include <QString>

class ItemChooser;

class Session {
public:
    ConnectionPtr gcnAcct;   // the accounting connection
    ConnectionPtr gcnConfig; // the configuration connection (Taxlink.db)
    QString gsAcctProps;     // the login's propsString, unchanged
    QString gsConfigConnString;
    QString gsUserName;
    QString gsAcctName;
    // The edition: set from the system profile each time the mapping editor opens.
    QString gsCustomerView;
    QString gsSupplierView;
    QString gsItemView;
    QString gsSystemLabel = QStringLiteral("QOR系");
    int giIndustry = 0;    // 1 for the industry edition
    int giInvoiceKind = 0; // 0 special VAT invoice, 2 ordinary invoice (the import)
    // The day of the run: the real one, unless a test pins it.
    QDate today;
    QDate runDay() const { return today.isValid() ? today : QDate::currentDate(); }
    QString runDayText() const { return runDay().toString(QStringLiteral("yyyy-MM-dd")); }
    // The base-data picker the export filter offers (not owned); none: the filter's pickers do nothing.
    ItemChooser* itemChooser = nullptr;

    // The two connections, or the "object not set" error when they are not open.
    Connection& acct() const { return requireConnection(gcnAcct.get()); }
    Connection& config() const { return requireConnection(gcnConfig.get()); }

    // A new connection to the accounting set the login named (the export's and the formula check's
    // read-only ones).
    ConnectionPtr openAcctConnection(Connection::Mode mode = Connection::Mode::ReadWrite) const;
    // A new connection to the configuration database.
    ConnectionPtr openConfigConnection() const;

    // The edition type of the system profile ("INDUSTRY" in any case, or anything else) decides the
    // view names and giIndustry.
    void setEdition(const QString& editionType);
};

// Adds the columns the program's own tables of Taxlink.db have gained since the file was made, keeping
// every row. Throws DbError.
void upgradeConfigSchema(Connection& config);
