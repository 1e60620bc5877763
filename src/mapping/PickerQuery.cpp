#include "mapping/PickerQuery.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"

// Yes/no columns are boolean on some servers and bit or integer on others: "cast(… as integer) <> 1"
// reads them alike everywhere (and, as "<> 1" does, leaves out a row whose flag is Null).

QString buildClientSql(const Session& session, int fType) {
    QString sql;
    if (fType == 0) {
        if (session.giIndustry == 1)
            sql = QStringLiteral(" Select FItemID as FItemID, FClientNumber ,Fname as FName, ") +
                  QStringLiteral("        FTaxNum,Fbank,FAddress ") + QStringLiteral(" From ") +
                  session.gsCustomerView + QStringLiteral(" Where cast(FDeleted as integer) <> 1") +
                  QStringLiteral(" Order By FItemID");
        else
            sql = QStringLiteral("SELECT t_Item.FItemID, t_Item.FNumber,t_Item.FName,t_Organization.FTaxNum, "
                                 "t_Organization.FBank,t_Organization.FAddress  FROM t_Item LEFT OUTER JOIN "
                                 "t_Organization ON t_Organization.FItemID = t_Item.FItemID Where "
                                 "(t_Item.FItemClassID = 1) And cast(t_Item.FDeleted as integer) <> 1 Order "
                                 "By t_Item.FItemID");
    } else if (session.giIndustry == 1) {
        sql = QStringLiteral(
                  "select FItemID as FItemID,FNumber as FNumber,Fname as FName,FTaxNum,Fbank ,FAddress  "
                  "from ") +
              session.gsSupplierView + QStringLiteral("  order by FItemID");
    } else {
        sql = QStringLiteral("select FSupplierID as FItemID,FSupplierNumber as FNumber,FSupplierName as "
                             "FName,FTaxNum,Fbank,FAddress  from ") +
              session.gsSupplierView + QStringLiteral("  order by FSupplierID");
    }
    return sql;
}

PickerLayout clientLayout(int fType) {
    PickerLayout l;
    l.caption = QStringLiteral("选择QOR系统中的客户");
    l.titles = fType == 0 ? QStringLiteral("内 码|客户编码|客户名称|税务登记号|开户银行|客户地址")
                          : QStringLiteral("内 码|供应商编码|供应商名称|税务登记号|开户银行|供应商地址");
    l.widthsTwips = {0, 800, 1080, 1365, 1290, 1365};
    l.idColumn = 0;
    l.nameColumn = 2;
    return l;
}

QString buildItemSql() {
    return QStringLiteral(
        "Select FItemID as SMID,FNumber as Col1,FShortNumber as Col2, FName as Col3,FModel as "
        "Col4  From t_IcItem Where cast(FDeleted as integer) <> 1  Order By FNumber");
}

PickerLayout itemLayout(const Session& session) {
    PickerLayout l;
    l.caption = QStringLiteral("选择") + session.gsSystemLabel + QStringLiteral("中的物料");
    l.titles = QStringLiteral("内码|产品长代码|产品短代码|物料名称|规格型号");
    l.widthsTwips = {0, session.giIndustry == 1 ? 1200 : 0, 1000, 2000, 1000};
    l.idColumn = 0;
    l.nameColumn = 3;
    return l;
}

QString buildOtherSql(int intType) {
    switch (intType) {
    case 2:
        return QStringLiteral(
            "Select FItemID as FID,FNumber as FCode,FName  From t_MeasureUnit  Where FItemID > 0 "
            "And cast(FDeleted as integer) <> 1 Order By FCode ");
    case 3:
        return QStringLiteral("Select FUserID as FID, FName, FDescription  From t_User  Where FUserID > ") +
               QString::number(kLastSystemUser) +
               QStringLiteral(" And cast(FForbidden as integer) <> 1  Order By FID ");
    case 4:
        return QStringLiteral(
            "select distinct(FModel) from t_IcItem where LTrim(FModel)<>'' order by fModel");
    default:
        return {};
    }
}

QString otherCaption(const Session& session, int intType) {
    QString what;
    switch (intType) {
    case 2:
        what = QStringLiteral("计量单位信息");
        break;
    case 3:
        what = QStringLiteral("经手人信息");
        break;
    case 4:
        what = QStringLiteral("规格型号信息");
        break;
    default:
        what = QStringLiteral("其它信息");
        break;
    }
    return QStringLiteral("选择") + session.gsSystemLabel + QStringLiteral("中的") + what;
}

PickerLayout otherLayout(const Session& session, int intType) {
    PickerLayout l;
    l.caption = otherCaption(session, intType);
    switch (intType) {
    case 2:
        l.titles = QStringLiteral("内   码 |代    码|  名    称");
        l.widthsTwips = {0, 2500, 2500};
        l.idColumn = 0;
        l.nameColumn = 2;
        break;
    case 3:
        l.titles = QStringLiteral("内   码 |名    称|  说    明");
        l.widthsTwips = {0, 2500, 2500};
        l.idColumn = 0;
        l.nameColumn = 1;
        break;
    case 4:
        l.titles = QStringLiteral("规格型号名称|");
        l.widthsTwips = {5000, 0};
        l.idColumn = -1;
        l.nameColumn = 0;
        l.centreTitles = false;
        break;
    default:
        break;
    }
    return l;
}

RecordsetPtr openPickerList(Connection& acct, const QString& sql) {
    // A list type without a query must not reach the database as an empty statement.
    if (sql.trimmed().isEmpty()) throw DbError(3709, QStringLiteral("命令文本未被设置为命令对象。"));
    return acct.query(sql);
}

int pickerIdFromText(const QString& text) {
    bool ok = false;
    const int id = text.trimmed().toInt(&ok);
    return ok ? id : -1;
}
