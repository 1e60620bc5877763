// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "export/clsSaveDataExport.h"
#include "import/PlatformListBook.h"
#include "import/PlatformListUi.h"
#include "import/frmImportTxt.h"
#include "support/XlsxBuilder.h"
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

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

// A month's folder imported: one row per file with its result, the counts below.
static ScreenRegistrar s3("frmImportTxt_folder", [](TestDatabases& db) -> QWidget* {
    const QString folder = db.folder() + QStringLiteral("/2026-03");
    QDir().mkpath(folder);
    QFile::copy(SamplesDir() + QStringLiteral("/issued_plain.txt"),
                folder + QStringLiteral("/01-issued.txt"));
    QFile::copy(SamplesDir() + QStringLiteral("/issued_plain.txt"),
                folder + QStringLiteral("/02-issued-again.txt"));
    WriteGbkFile(folder + QStringLiteral("/03-cut-short.txt"),
                 {QStringLiteral("SJJK0201~~已开发票传出"), QStringLiteral("5~~20260301~~20260331")});
    auto* w = new frmImportTxt(db.session);
    w->setFolder(folder);
    w->cmdOK->click();
    return w;
});

// The platform's list read: one invoice found by its 单据号, one with two candidates, one without a document.
static ScreenRegistrar s4("PlatformListWindow", [](TestDatabases& db) -> QWidget* {
    // The documents as the preview shows them, then the export that records them.
    clsSaveDataExport exporter(db.session);
    exporter.SetPreview(true);
    exporter.ExportToTxT(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
    clsSaveDataExport(db.session)
        .ExportToTxT(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
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
