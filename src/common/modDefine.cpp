#include "modDefine.h"

ConnectionPtr gcnAcct;
ConnectionPtr gcnConfig;
QString gsAcctProps;
QString gsConfigConnString;
QString gsUserName;
QString gsAcctName;
QString gsCustomerView;
QString gsSupplierView;
QString gsItemView;
QString gsSystemLabel = QStringLiteral("QOR系");
int giIndustry = 0;
int giInvoiceKind = 0;
