// The official template file learnt and filled.
#include "test_workbook.h"

namespace {
// The styles the official file's <cols> give its columns.
int officialHeadStyle(int column) {
    return column < 37 ? 2 + column : -1;
}

int officialDetailStyle(int column) {
    return 118 + column;
}

QString officialPath() {
    return QStringLiteral(TAXFERRY_SHARED_DATA "/platform-template-V260401.xlsx");
}
} // namespace

// The official template itself, where the shared data folder is at hand.
void TestWorkbook::officialTemplate() {
    if (!QFile::exists(officialPath()))
        QSKIP("the official template is not at hand (../shared/data beside the repository)");
    const QByteArray templ = readFile(officialPath());
    const WorkbookLayout layout = learn(templ);
    QCOMPARE(layout.head.name, kHeadSheetName);
    QCOMPARE(layout.detail.name, kDetailSheetName);
    QCOMPARE(layout.head.headerRow, 3);
    QCOMPARE(layout.detail.headerRow, 3);
    QCOMPARE(layout.head.columns.size(), 39);
    QCOMPARE(layout.detail.columns.size(), 14);
    QCOMPARE(layout.version, QStringLiteral("pt:20260401"));
    const QList<PlatformColumn> head = officialHeadColumns(), detail = officialDetailColumns();
    // The region's four columns under one heading are told apart by their column (L to O).
    for (int c = 0; c < head.size(); ++c)
        QCOMPARE(layout.head.columns[c].heading,
                 head[c].heading.simplified() +
                     (c >= 11 && c <= 14 ? QStringLiteral("（%1列）").arg(xlsxColumnName(c)) : QString()));
    for (int c = 0; c < detail.size(); ++c)
        QCOMPARE(layout.detail.columns[c].heading, detail[c].heading.simplified());
    QCOMPARE(columnAt(layout.head, "Y")->heading, QStringLiteral("每千克煤炭 发热量"));
    QCOMPARE(columnAt(layout.head, "A")->limit, 20);
    QCOMPARE(columnAt(layout.head, "F")->limit, 100);
    QCOMPARE(columnAt(layout.head, "W")->limit, 230);
    QCOMPARE(columnAt(layout.head, "B")->choices, (QStringList{"增值税专用发票", "普通发票"}));
    QCOMPARE(columnAt(layout.detail, "I")->limit, 8);
    QCOMPARE(columnAt(layout.detail, "L")->choices.size(), 20);
    QVERIFY(columnAt(layout.detail, "L")->choices.contains(QStringLiteral("即征即退50%")));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    WorkbookDocumentSink sink(path, layout, templ);
    runExport(sink, {makeDoc(QStringLiteral("ZP01"),
                             {goods(QStringLiteral("电脑"), "2", "1130.5", "2261", "293.93"),
                              with(goods(QStringLiteral("服务"), "2", "50", "90", "5.4", "6"),
                                   QStringLiteral("折扣金额"), "10")})});
    compareWithTemplate(templ, readFile(path),
                        {{kHeadPart, officialHeadStyle}, {kDetailPart, officialDetailStyle}});
    if (QTest::currentTestFailed()) return;
    QCOMPARE(zipEntries(readFile(path), false).size(), 19);
    QCOMPARE(columns(dataRows(path, kHeadSheetName).value(0), {"A", "B", "D", "F"}),
             QStringLiteral("ZP01|增值税专用发票|否|甲公司"));
    QCOMPARE(dataRows(path, kDetailSheetName).value(1),
             QStringLiteral("A=ZP01|B=服务|C=%1|E=台|F=2|G=50|H=100.00|I=0.06|J=10.00|K=否").arg(kCode));
    XlsxReader reader(path);
    QCOMPARE(reader.rows(*reader.sheet(QStringLiteral("excelVersion"))).last().text(0),
             QStringLiteral("pt:20260401"));
}
