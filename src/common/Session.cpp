#include "Session.h"

#include "modBasic.h"

ConnectionPtr Session::OpenAcctConnection(Connection::Mode mode) const {
    return Connection::open(ParseConnProps(gsAcctProps, 0), mode);
}

ConnectionPtr Session::OpenConfigConnection() const {
    return Connection::open(gsConfigConnString);
}

void Session::SetEdition(const QString& editionType) {
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
