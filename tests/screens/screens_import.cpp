// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "export/clsSaveDataExport.h"
#include "import/PlatformListBook.h"
#include "import/PlatformListUi.h"
#include "import/frmImportTxt.h"
#include "support/XlsxBuilder.h"
#include <QLineEdit>
#include <QProgressDialog>

static ScreenRegistrar s1("frmImportTxt", [](TestDatabases& db) -> QWidget* {
    auto* w = new frmImportTxt(db.session);
    w->txtAIS->setText(SamplesDir() + QStringLiteral("/issued_plain.txt"));
    return w;
});

// An import under way: the dialog over the window, part of the file read.
static ScreenRegistrar s2("frmImportTxt_progress", [](TestDatabases&) -> QWidget* {
    QProgressDialog* d = frmImportTxt::MakeProgressDialog(nullptr);
    frmImportTxt::ShowProgress(d, 4200, 10000, 1268);
    return d;
});

// The platform's list read: one invoice found by its 单据号, one with two candidates, one without a document.
static ScreenRegistrar s3("PlatformListWindow", [](TestDatabases& db) -> QWidget* {
    clsSaveDataExport exporter(db.session);
    exporter.ExportToTxT(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
    db.acct->Execute(
        QStringLiteral("update TF_Ledger set FAmount=100, FTax=13 where FDocNo in ('ZP000003', 'ZP000005')"));
    db.acct->Execute(QStringLiteral("update ICSale set FCustID=104 where FBillNo='ZP000005'"));
    const ExportDoc first = exporter.Preview().value(0);
    const QString name = db.acct->Query(QStringLiteral("select FName from t_Organization where FItemID=104"))
                             ->value(0)
                             .toString();
    const QString list = db.folder() + QStringLiteral("/发票查询统计.xlsx");
    WriteFile(list, ListWorkbook(kHeadings, {Issued(N(1), first.amount, first.tax, "", "", first.docNo),
                                             Issued(N(2), 100, 13, "", name),
                                             Issued(N(3), 1234.5, 160.49, "", QStringLiteral("某某公司"))}));
    auto* w = new PlatformListWindow(db.session);
    w->openList(list);
    return w;
});
