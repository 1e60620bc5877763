#include "InvoiceLines.h"

namespace {
QString join(const QStringList& fields) {
    return fields.join(QStringLiteral("~~"));
}
} // namespace

QString headLine(const HeadFields& h) {
    // 24 fields, as the tax software writes them.
    return join({h.cancelled,
                 QStringLiteral("0"),
                 h.kind,
                 h.code,
                 h.number,
                 h.count,
                 h.date,
                 h.date.mid(4, 2),
                 h.docNo,
                 h.net,
                 QStringLiteral("0.17"),
                 h.tax,
                 h.customer,
                 QStringLiteral("91110108MA01C7QX2R"),
                 QStringLiteral("北京市海淀区中关村大街27号 010-62561234"),
                 QStringLiteral("中国工商银行北京中关村支行 0200004509200123456"),
                 QStringLiteral("杭州明远商贸有限公司"),
                 QStringLiteral("91330106MA27XK3P5D"),
                 QStringLiteral("杭州市西湖区文三路259号 0571-88251234"),
                 QStringLiteral("中国建设银行杭州文三路支行 33050161622700001234"),
                 h.memo,
                 h.biller,
                 h.checker,
                 QStringLiteral("王出纳")});
}

QString goodsLine(const GoodsFields& g) {
    return join({g.lineKind, g.name, g.model, g.unit, g.qty, g.amount, g.rate, g.tax, g.price, g.mode,
                 QStringLiteral("0101")});
}

QString discountLine(const QString& name) {
    return QStringLiteral("1~~") + name + QStringLiteral("~~~~~~~~-10~~0.17~~-1.7~~~~~~");
}

QStringList invoice(HeadFields h, const QStringList& bodies) {
    static int next = 90000000;
    if (h.count.isEmpty()) h.count = QString::number(bodies.size());
    if (h.number.isEmpty()) h.number = QString::number(++next);
    return QStringList{QStringLiteral("//发票开始"), headLine(h)} + bodies;
}

QStringList issuedFile(const QList<QStringList>& invoices) {
    QStringList lines{QStringLiteral("SJJK0201~~已开发票传出")};
    for (const QStringList& inv : invoices)
        lines << inv;
    return lines;
}

QStringList countedFile(const QList<QStringList>& invoices, int declared) {
    QStringList lines = issuedFile(invoices);
    lines.insert(1, QStringLiteral("%1~~20260301~~20260331").arg(declared < 0 ? invoices.size() : declared));
    return lines;
}

QStringList generatedFile(int invoices, int linesPerInvoice, int firstNumber) {
    struct Product {
        const char *name, *model, *unit;
        double price;
    };
    static const Product products[] = {
        {"激光打印机", "HP-M404dn", "台", 1850}, {"喷墨打印机", "EPS-L3158", "台", 980},
        {"笔记本电脑", "TB-14-G6", "台", 4800},  {"液晶显示器", "P2422H", "台", 1250},
        {"无线键鼠套装", "MK275", "套", 89},     {"A4复印纸", "70g-500张", "箱", 125},
        {"中性笔", "0.5mm黑色", "盒", 18},       {"不锈钢保温杯", "500ml", "个", 45},
        {"超六类网线", "CAT6-UTP", "米", 2.5},   {"打印机碳粉", "TN-散装", "千克", 85},
    };
    static const char* customers[] = {"北京华远信息技术有限公司", "上海浦江电子科技有限公司",
                                      "广州南粤商贸有限公司", "O'Brien贸易有限公司",
                                      "杭州西湖文化传媒有限公司"};
    QStringList lines{QStringLiteral("SJJK0201~~已开发票传出"),
                      QStringLiteral("%1~~20260315~~20260315").arg(invoices)};
    lines.reserve(2 + invoices * (2 + linesPerInvoice));
    for (int i = 0; i < invoices; ++i) {
        QStringList bodies;
        double net = 0, tax = 0;
        for (int j = 0; j < linesPerInvoice; ++j) {
            const Product& p = products[(i + j) % 10];
            const int qty = 1 + (i * 7 + j) % 20;
            const double amount = qty * p.price;
            net += amount;
            tax += amount * 0.13;
            bodies << goodsLine({.name = QString::fromUtf8(p.name),
                                 .model = QString::fromUtf8(p.model),
                                 .unit = QString::fromUtf8(p.unit),
                                 .qty = QString::number(qty),
                                 .amount = QString::number(amount, 'f', 2),
                                 .rate = QStringLiteral("0.13"),
                                 .tax = QString::number(amount * 0.13, 'f', 2),
                                 .price = QString::number(p.price, 'g', 15)});
        }
        lines << invoice({.kind = i % 5 == 4 ? QStringLiteral("2") : QStringLiteral("0"),
                          .customer = QString::fromUtf8(customers[i % 5]),
                          .net = QString::number(net, 'f', 2),
                          .tax = QString::number(tax, 'f', 2),
                          .number = QStringLiteral("%1").arg(firstNumber + i, 8, 10, QChar(u'0'))},
                         bodies);
    }
    return lines;
}
