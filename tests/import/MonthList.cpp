#include "MonthList.h"

QString monthNumber(int i) {
    return QStringLiteral("26332000000%1").arg(i, 9, 10, QChar(u'0'));
}

Bench::ListSeller monthSeller() {
    return {QStringLiteral("91330106MA27XK3P5D"), QStringLiteral("杭州明远商贸有限公司")};
}

QList<Bench::ListInvoice> monthInvoices(int count) {
    QList<Bench::ListInvoice> out;
    out.reserve(count);
    const QDateTime start(QDate(2026, 11, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        Bench::ListInvoice inv;
        inv.digitalNumber = monthNumber(i);
        const int buyer = i % 347;
        inv.buyerName = QStringLiteral("客户%1有限公司").arg(buyer);
        inv.buyerTaxNo = QStringLiteral("91330100MA2%1").arg(buyer, 7, 10, QChar(u'0'));
        inv.issued = start.addSecs(qint64(i) * 25);
        inv.amountCents = 10000 + qint64(i) * 37 % 9000000;
        inv.taxCents = inv.amountCents * 13 / 100;
        inv.remark = QStringLiteral("XS%1").arg(i, 7, 10, QChar(u'0'));
        if (i % 10 == 9) {
            inv.red = true;
            inv.amountCents = -inv.amountCents;
            inv.taxCents = -inv.taxCents;
            inv.remark = QStringLiteral("被红冲蓝字数电发票号码：%1 红字发票信息确认单编号：%2")
                             .arg(monthNumber(i - 1))
                             .arg(i);
        } else if (i % 7 == 3) {
            inv.state = QStringLiteral("已作废");
        }
        out.append(inv);
    }
    return out;
}
