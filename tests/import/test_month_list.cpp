// A month of the platform's list in one file: the export of 100,000 invoices with their 500,000 goods lines
// read in one go, the list's caps refusing just past them; other workbooks (the template) keep theirs.
#include "MonthList.h"
#include "common/XlsxReader.h"
#include "export/WorkbookLayout.h"
#include "import/PlatformList.h"
#include "support/XlsxBuilder.h"
#include <QtTest/QtTest>

namespace {
// What the list reads, or the refusal.
QString readOutcome(const QString& path, const XlsxCaps& caps, QList<PlatformInvoice>* invoices = nullptr) {
    try {
        const QList<PlatformInvoice> read = readPlatformList(path, caps);
        if (invoices) *invoices = read;
        return QStringLiteral("%1 invoices").arg(read.size());
    } catch (const DbError& e) {
        return e.description();
    }
}

qint64 memberSize(const QString& path, const QString& member) {
    return ZipArchive(path).member(member)->size;
}

// The shared strings a sheet's cells want: up to the highest one they refer to.
int wantedStrings(const QString& path, const QString& sheet) {
    const QByteArray xml = ZipArchive(path).read(sheet, 1 << 30);
    int highest = -1;
    for (qsizetype at = xml.indexOf("t=\"s\""); at >= 0; at = xml.indexOf("t=\"s\"", at + 1)) {
        const qsizetype v = xml.indexOf("<v>", at) + 3;
        highest = std::max(highest, xml.mid(v, xml.indexOf('<', v) - v).toInt());
    }
    return highest + 1;
}

int sharedStrings(const QString& path) {
    const QByteArray sst = ZipArchive(path).read(QStringLiteral("xl/sharedStrings.xml"), 1 << 30);
    const qsizetype at = sst.indexOf("uniqueCount=\"") + 13;
    return sst.mid(at, sst.indexOf('"', at) - at).toInt();
}
} // namespace

class TestMonthList : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString small; // 1,000 invoices of five goods lines

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir.isValid());
        small = dir.filePath(QStringLiteral("small.xlsx"));
        Bench::writeRealShapeList(small, monthInvoices(1000), 5, monthSeller());
    }

    // The month: 100,000 invoices under their headings and over the totals, 500,000 goods lines and their
    // texts beside them, read with the list's own caps; each invoice as it was written.
    void month() {
        const QString path = dir.filePath(QStringLiteral("month.xlsx"));
        const QList<Bench::ListInvoice> written = monthInvoices(100000);
        Bench::writeRealShapeList(path, written, 5, monthSeller());
        // Past the caps a sheet beside the invoices would be held to, were it read.
        QVERIFY(memberSize(path, QStringLiteral("xl/worksheets/sheet2.xml")) > 256 * 1024 * 1024);
        QVERIFY(sharedStrings(path) > 800000);
        QList<PlatformInvoice> read;
        QCOMPARE(readOutcome(path, platformListCaps(), &read), QStringLiteral("100000 invoices"));
        for (const int i : {0, 3, 8, 9, 54321, 99999}) {
            const PlatformInvoice& r = read[i];
            const Bench::ListInvoice& w = written[i];
            QCOMPARE(r.row, i + 2);
            QCOMPARE(r.digitalNumber, w.digitalNumber);
            QCOMPARE(r.buyerName, w.buyerName);
            QCOMPARE(r.buyerTaxNo, w.buyerTaxNo);
            QCOMPARE(r.sellerTaxNo, monthSeller().taxNo);
            QCOMPARE(r.date, w.issued.date().toString(Qt::ISODate));
            QCOMPARE(qRound64(r.amount * 100), w.amountCents);
            QCOMPARE(qRound64(r.tax * 100), w.taxCents);
            QCOMPARE(r.state, w.state);
            QCOMPARE(r.red, w.red);
            QCOMPARE(r.remark, w.remark);
        }
        QCOMPARE(read[9].namedBlue(), monthNumber(8));
    }

    // Each of the list's caps: the file read at it, refused with a message naming it just past it. The
    // size caps are those of the invoices' sheet: the goods lines' larger sheet beside it is not held to
    // them.
    void caps_data() {
        QTest::addColumn<QString>("cap");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("outcome");
        const QString file = QDir::toNativeSeparators(small);
        // The heading, 1,000 invoices, the totals.
        QTest::newRow("rows at the cap") << "rows" << qint64(1002) << "1000 invoices";
        QTest::newRow("rows past the cap")
            << "rows" << qint64(1001)
            << QStringLiteral("文件“%1”的工作表“发票基础信息”超过1001行的限制，不能读取。").arg(file);
        QTest::newRow("columns at the cap") << "columns" << qint64(19) << "1000 invoices";
        QTest::newRow("columns past the cap")
            << "columns" << qint64(18)
            << QStringLiteral(
                   "文件“%1”的工作表“发票基础信息”第1行在第19列（S）有内容，超过18列的限制，不能读取。")
                   .arg(file);
        // Shared strings are read as far as the invoices' cells want them.
        const int strings = wantedStrings(small, QStringLiteral("xl/worksheets/sheet1.xml"));
        QTest::newRow("shared strings at the cap") << "strings" << qint64(strings) << "1000 invoices";
        QTest::newRow("shared strings past the cap")
            << "strings" << qint64(strings - 1)
            << QStringLiteral("文件“%1”的共享字符串超过%2个的限制，不能读取。").arg(file).arg(strings - 1);
        const qint64 invoices = memberSize(small, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(memberSize(small, QStringLiteral("xl/worksheets/sheet2.xml")) > invoices * 2);
        QVERIFY(memberSize(small, QStringLiteral("xl/sharedStrings.xml")) < invoices);
        QTest::newRow("part at the cap, the goods lines' past it") << "part" << invoices << "1000 invoices";
        QTest::newRow("part past the cap")
            << "part" << invoices - 1
            << QStringLiteral(
                   "文件“%1”中的“xl/worksheets/sheet1.xml”解压后有%2 MB，超过%3 MB的限制，不能读取。")
                   .arg(file)
                   .arg(double(invoices) / (1024 * 1024), 0, 'g', 4)
                   .arg(double(invoices - 1) / (1024 * 1024), 0, 'g', 4);
    }
    void caps() {
        QFETCH(QString, cap);
        QFETCH(qint64, value);
        QFETCH(QString, outcome);
        XlsxCaps caps = platformListCaps();
        if (cap == u"rows") caps.maxRows = int(value);
        if (cap == u"columns") caps.maxColumns = int(value);
        if (cap == u"strings") caps.maxSharedStrings = int(value);
        if (cap == u"part") caps.maxPartSize = value;
        QCOMPARE(readOutcome(small, caps), outcome);
    }

    // A template keeps the limits of a workbook from outside: a file of more shared strings than a template
    // has any use for is refused, where the list reads it.
    void templateLimits() {
        QStringList strings = headingTexts();
        strings << monthNumber(1) << QStringLiteral("客户1有限公司") << QStringLiteral("2026-11-02");
        while (strings.size() <= 500000)
            strings << QString::number(strings.size());
        QString head, invoice;
        for (int c = 0; c < 19; ++c)
            head += QStringLiteral("<c r=\"%1\" t=\"s\"><v>%2</v></c>").arg(xlsxColumnName(c) + u'1').arg(c);
        // The last cell wants the last string: read that far, the template's cap is passed.
        invoice = QStringLiteral(
                      "<c r=\"D2\" t=\"s\"><v>19</v></c><c r=\"H2\" t=\"s\"><v>20</v></c>"
                      "<c r=\"I2\" t=\"s\"><v>21</v></c><c r=\"J2\"><v>100</v></c><c r=\"K2\"><v>13</v></c>"
                      "<c r=\"S2\" t=\"s\"><v>%1</v></c>")
                      .arg(strings.size() - 1);
        const QByteArray book = buildXlsx(
            {{QStringLiteral("发票基础信息"),
              sheetXml(QStringLiteral("<row r=\"1\">%1</row><row r=\"2\">%2</row>").arg(head, invoice))}},
            {}, strings);
        try {
            learnWorkbookLayout(book, QStringLiteral("template.xlsx"));
            QFAIL("learnt");
        } catch (const DbError& e) {
            QCOMPARE(e.description(),
                     QStringLiteral("文件“template.xlsx”的共享字符串超过500000个的限制，不能读取。"));
        }
        const QList<PlatformInvoice> read = readPlatformList(book, QStringLiteral("list.xlsx"));
        QCOMPARE(read.size(), 1);
        QCOMPARE(read[0].digitalNumber, monthNumber(1));
        QCOMPARE(read[0].date, QStringLiteral("2026-11-02"));
    }

private:
    static QStringList headingTexts() {
        return {"序号",         "发票代码",     "发票号码",   "数电发票号码", "销方识别号",
                "销方名称",     "购方识别号",   "购买方名称", "开票日期",     "金额",
                "税额",         "价税合计",     "发票来源",   "发票票种",     "发票状态",
                "是否正数发票", "发票风险等级", "开票人",     "备注"};
    }
};

QTEST_MAIN(TestMonthList)
#include "test_month_list.moc"
