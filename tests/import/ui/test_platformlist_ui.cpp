// The window of the platform's list: what writing it back would do first, then written back on request,
// the invoices it could not place listed and saved as CSV.
#include "common/DbProcedures.h"
#include "export/ExportEngine.h"
#include "import/PlatformListBook.h"
#include "import/ui/PlatformListWindow.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QtTest>

class TestPlatformListUi : public QObject {
    Q_OBJECT

    QString ledger(TestDatabases& db) {
        QStringList out;
        const RecordsetPtr rs = db.acct->query(QStringLiteral(
            "select FDocNo || '=' || FTaxNumber from TF_Ledger where FTaxNumber<>'' order by 1"));
        for (const QVariantList& row : rs->allRows())
            out << row.value(0).toString();
        return out.join(u',');
    }
    QStringList gridRows(QTableWidget* g) {
        QStringList rows;
        for (int r = 0; r < g->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < g->columnCount(); ++c)
                cells << (g->item(r, c) ? g->item(r, c)->text() : QString());
            rows << cells.join(u'|');
        }
        return rows;
    }

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }

    // The list is chosen before the window shows: the file dialog opens over the window that opened it,
    // not in the screen's corner.
    void fileDialogOverItsWindow() {
        TestDatabases db;
        QWidget opener;
        opener.setGeometry(300, 200, 400, 300);
        opener.show();
        QVERIFY(QTest::qWaitForWindowExposed(&opener));
        PlatformListWindow w(db.session, &opener);
        QPoint centre;
        whenModal([&](QWidget* d) {
            centre = d->frameGeometry().center();
            qobject_cast<QDialog*>(d)->reject();
        });
        QVERIFY(!w.chooseList());
        // Over its opener (a hidden window would put it in the screen's corner).
        const QPoint off = centre - opener.frameGeometry().center();
        QVERIFY2(off.manhattanLength() < 40, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    }

    void previewThenWriteBack() {
        TestDatabases db;
        RecorderSink rec;
        ExportEngine e(db.session);
        e.setPreview(true);
        QVERIFY(
            e.exportFile(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1")));
        QVERIFY(ExportEngine(db.session)
                    .exportFile(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'),
                                QStringLiteral("1")));
        ExportDoc first = e.preview().first();
        QList<ListRow> rows{issuedRow(N(1), first.amount, first.tax, "", "", first.docNo + " 三月"),
                            issuedRow(N(2), 1234.5, 160.49, "", "某某公司")};
        rows << issuedRow(N(3), 1, 0.13, "", "");
        rows.last()["销方识别号"] = "913300000000000000";
        const QString list = db.folder() + QStringLiteral("/清单.xlsx");
        writeFile(list, listWorkbook(kHeadings, rows));

        PlatformListWindow w(db.session);
        w.show();
        QVERIFY(!w.cmdWriteBack->isEnabled() && !w.cmdSave->isEnabled());
        QVERIFY(w.openList(list));
        QCOMPARE(w.lblSummary->text(),
                 QStringLiteral(
                     "预览（尚未回写）：回写数电发票1张（按单据号1张，按购方和金额0张），"
                     "红冲0张。1张发票的销方识别号不是本账套的税号，未处理。1张发票未找到引出的单据。"));
        // Every invoice it writes back is shown with its document, under those it cannot place.
        const QLocale cn(QLocale::Chinese, QLocale::China);
        const QStringList grid{QStringLiteral("未找到引出的单据|") + N(2) +
                                   QStringLiteral("|某某公司|1,234.50|160.49|"),
                               QStringLiteral("回写到单据（按单据号）|") + N(1) + QStringLiteral("||") +
                                   cn.toString(first.amount, 'f', 2) + u'|' + cn.toString(first.tax, 'f', 2) +
                                   u'|' + first.docNo};
        QCOMPARE(gridRows(w.grdInvoices), grid);
        QCOMPARE(ledger(db), QString());
        QVERIFY(w.cmdWriteBack->isEnabled());

        QTest::mouseClick(w.cmdWriteBack, Qt::LeftButton);
        QCOMPARE(rec.texts(), QStringList());
        QVERIFY(w.lblSummary->text().startsWith(QStringLiteral("已回写：回写数电发票1张（按单据号1张")));
        QCOMPARE(gridRows(w.grdInvoices), grid);
        QCOMPARE(ledger(db), first.docNo + u'=' + N(1));
        QVERIFY(!w.cmdWriteBack->isEnabled());

        const QString csv = db.folder() + QStringLiteral("/结果.csv");
        QVERIFY(w.saveCsv(csv));
        // UTF-8 with a BOM, as a spreadsheet program opens it.
        QCOMPARE(readFile(csv),
                 QByteArray("\xEF\xBB\xBF") +
                     (QStringLiteral("结果,数电发票号码,购买方名称,金额,税额,候选单据\r\n未找到引出的单据,") +
                      N(2) + QStringLiteral(",某某公司,1234.50,160.49,\r\n"))
                         .toUtf8());

        // Read again: nothing left to write.
        QVERIFY(w.openList(list));
        QVERIFY(
            w.lblSummary->text().startsWith(QStringLiteral("预览（尚未回写）：清单中的1张发票都已回写过。")));
        QVERIFY(!w.cmdWriteBack->isEnabled());

        // Not the platform's list: said, and nothing listed.
        rec.clear();
        const QString other = db.folder() + QStringLiteral("/other.xlsx");
        writeFile(other, listWorkbook({"单据号", "金额"}, {}));
        QVERIFY(!w.openList(other));
        QCOMPARE(rec.texts(), QStringList{"不是平台导出的发票清单：找不到列“购买方名称”"});
        QCOMPARE(w.grdInvoices->rowCount(), 0);
        QVERIFY(!w.cmdWriteBack->isEnabled() && !w.cmdSave->isEnabled());
    }
};

QTEST_MAIN(TestPlatformListUi)
#include "test_platformlist_ui.moc"
