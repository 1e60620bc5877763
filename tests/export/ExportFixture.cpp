#include "ExportFixture.h"

#include <QFile>

QString testTemplate1() {
    QString where;
    for (int i = 0; i < 14; ++i)
        where += (i ? QStringLiteral(" and {filter%1}") : QStringLiteral("{filter%1}")).arg(i);
    return QStringLiteral(
               "select t1.FBillNo as FbillNo, t1.FDate as FBillDate, t5.FName as FCustName, '' as fmemo, "
               "t1.FExplanation as FExpl, t2.FQty as FQty, t2.FAmount as FAmount, t2.FNote as FNote "
               "from ICSale t1 join ICSaleEntry t2 on t2.FInterID=t1.FInterID "
               "join ICTransType t9 on t9.FID=t1.FTranType "
               "left join t_Organization t5 on t5.FItemID=t1.FCustID "
               "left join t_Department t4 on t4.FItemID=t1.FDeptID "
               "left join t_Emp t6 on t6.FItemID=t1.FEmpID "
               "left join t_User t10 on t10.FUserID=t1.FBillerID "
               "left join t_User t11 on t11.FUserID=t1.FCheckerID where ") +
           where;
}

void useTestTemplates(Connection& config, const QString& tbl1) {
    config.exec(QStringLiteral("delete from t_OtherInfo"));
    config.exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('tbl1', ?)"),
                {tbl1.isEmpty() ? testTemplate1() : tbl1});
    config.exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values ('tbl2', ?)"),
                {QStringLiteral("select 0 as Frows, 'SELLER' as FSeller")});
}

void makeTestLink(Connection& config, int id, const QVariant& invoiceType, const QString& sep,
                  const QStringList& head, const QStringList& body, const QStringList& taxNames) {
    config.exec(QStringLiteral("delete from t_BaseInfo"));
    config.exec(QStringLiteral("delete from t_Detail"));
    config.exec(QStringLiteral(
                    "insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FMemo, FDate, FInOrOut) "
                    "values (?, '测试关联', ?, ?, '', '2026-01-01', '0')"),
                {id, invoiceType, sep});
    int tax = 0;
    for (int part = 0; part < 2; ++part) {
        for (const QString& f : part == 0 ? head : body) {
            ++tax;
            const int named = tax;
            if (!taxNames.isEmpty())
                tax = config
                          .query(QStringLiteral("select Fid from t_TaxField where Fname=?"),
                                 {taxNames[named - 1]})
                          ->value(0)
                          .toInt();
            const bool formula = f.startsWith(u'=');
            QString qor = f;
            if (formula) {
                qor = QStringLiteral("x|") + f.mid(1) + QStringLiteral("|[公式]");
            } else {
                config.exec(QStringLiteral(
                                "insert or ignore into t_QorField (FID, FFieldName, FFieldType, FFieldDesc, "
                                "FisHead, forder) values (?, ?, '1', ?, ?, 0)"),
                            {QStringLiteral("T_") + f, f, f, part == 0});
                qor = QStringLiteral("T_") + f;
            }
            config.exec(
                QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) "
                               "values (?, ?, ?, ?, ?)"),
                {id, tax, formula, qor, part == 0});
            tax = named;
        }
    }
}

void addTestBaseData(Connection& acct) {
    acct.exec(QStringLiteral("insert into ICTransType (FID, FName) values (80, '专用'), (86, '普通')"));
    acct.exec(
        QStringLiteral("insert into t_Organization (FItemID, FNumber, FName) values (1, 'C01', '客户甲'), "
                       "(2, 'C02', '客户乙')"));
}

void addInvoice(Connection& acct, int interId, const QString& billNo, const QString& date, int tranType,
                const QList<TestLine>& lines, int custId, int rob, const QVariant& explanation) {
    acct.exec(QStringLiteral(
                  "insert into ICSale (FInterID, FBillNo, FTranType, FDate, FCustID, FROB, FExplanation) "
                  "values (?, ?, ?, ?, ?, ?, ?)"),
              {interId, billNo, tranType, date, custId, rob, explanation});
    int entry = 0;
    for (const TestLine& l : lines)
        acct.exec(QStringLiteral("insert into ICSaleEntry (FInterID, FEntryID, FQty, FAmount, FNote) "
                                 "values (?, ?, ?, ?, ?)"),
                  {interId, ++entry, l.qty, l.amount, l.note});
}

void addTestTaxCodes(Connection& config, const QStringList& names) {
    int id = 900;
    for (const QString& name : names) {
        ++id;
        config.exec(
            QStringLiteral("insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, "
                           "FPreferential, FZeroRate) values (?, ?, ?, '1090511030000000000', 0, '')"),
            {id, QStringLiteral("9.%1").arg(id), name});
    }
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeOld(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write("OLD\r\n");
}
