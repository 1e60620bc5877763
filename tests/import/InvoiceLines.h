#pragma once
// Lines of issued-invoice files for the tests, in the layout the tax software writes (the factory layout of
// t_ImportField), with names of the demo accounting set.

#include <QString>
#include <QStringList>

struct HeadFields {
    QString kind = QStringLiteral("0");
    QString date = QStringLiteral("20260315");
    QString customer = QStringLiteral("北京华远信息技术有限公司");
    QString net = QStringLiteral("30");
    QString tax = QStringLiteral("5.1");
    QString count = QString(); // empty: the number of body lines given to invoice()
    QString cancelled = QStringLiteral("0");
    QString biller = QStringLiteral("张会计");
    QString checker = QStringLiteral("李复核");
    QString number = QString(); // empty: the next number of the run, so no two invoices are the same
    QString code = QStringLiteral("3300061130");
    QString docNo = QString(); // 销售单据编号
    QString memo = QString();
};

struct GoodsFields {
    QString name = QStringLiteral("激光打印机");
    QString model = QStringLiteral("HP-M404dn");
    QString unit = QStringLiteral("台");
    QString qty = QStringLiteral("3");
    QString amount = QStringLiteral("30");
    QString rate = QStringLiteral("0.17");
    QString tax = QStringLiteral("5.1");
    QString price = QStringLiteral("10");
    QString mode = QStringLiteral("0");
    QString lineKind = QStringLiteral("0");
};

QString headLine(const HeadFields& h);
QString goodsLine(const GoodsFields& g);
// A discount line whose goods name carries the rate, e.g. 折扣(10%).
QString discountLine(const QString& name = QStringLiteral("折扣(10%)"));
// A comment line, the head and its body lines.
QStringList invoice(HeadFields h, const QStringList& bodies);
// A whole file: the tag line and the invoices.
QStringList issuedFile(const QList<QStringList>& invoices);
// The same with the second line the tax software writes, 张数~~起日~~止日 (declared < 0: the real count).
QStringList countedFile(const QList<QStringList>& invoices, int declared = -1);

// A file of `invoices` invoices with `linesPerInvoice` goods lines each over the demo set's customers
// and products, numbered from firstNumber on; every fifth invoice is an ordinary one.
QStringList generatedFile(int invoices, int linesPerInvoice, int firstNumber = 1);
