// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "export/ExportEngine.h"
#include "import/PlatformListBook.h"
#include "import/ui/ImportWindow.h"
#include "import/ui/PlatformListWindow.h"
#include "support/XlsxBuilder.h"
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

static ScreenRegistrar s1("ImportWindow", [](TestDatabases& db) -> QWidget* {
    auto* w = new ImportWindow(db.session);
    w->txtAIS->setText(samplesDir() + QStringLiteral("/issued_plain.txt"));
    return w;
});

// An import under way: the dialog over the window, part of the file read.
static ScreenRegistrar s2("ImportWindow_progress", [](TestDatabases&) -> QWidget* {
    QProgressDialog* d = ImportWindow::makeProgressDialog(nullptr);
    ImportWindow::showProgress(d, 4200, 10000, 1268);
    return d;
});

// A month's folder imported: one row per file with its result, the counts below.
static ScreenRegistrar s3("ImportWindow_folder", [](TestDatabases& db) -> QWidget* {
    const QString folder = db.folder() + QStringLiteral("/2026-03");
    QDir().mkpath(folder);
    QFile::copy(samplesDir() + QStringLiteral("/issued_plain.txt"),
                folder + QStringLiteral("/01-issued.txt"));
    QFile::copy(samplesDir() + QStringLiteral("/issued_plain.txt"),
                folder + QStringLiteral("/02-issued-again.txt"));
    writeGbkFile(folder + QStringLiteral("/03-cut-short.txt"),
                 {QStringLiteral("SJJK0201~~已开发票传出"), QStringLiteral("5~~20260301~~20260331")});
    auto* w = new ImportWindow(db.session);
    w->setFolder(folder);
    w->cmdOK->click();
    return w;
});

// Several files chosen together in the file dialog, listed before 确定.
static ScreenRegistrar s3b("ImportWindow_files", [](TestDatabases& db) -> QWidget* {
    QStringList files;
    for (const char* name : {"/03-01.txt", "/03-15.txt"}) {
        files << db.folder() + QString::fromLatin1(name);
        QFile::copy(samplesDir() + QStringLiteral("/issued_plain.txt"), files.last());
    }
    auto* w = new ImportWindow(db.session);
    w->setFiles(files);
    return w;
});

// The platform's list read: one invoice found by its 单据号, one with two candidates, one without a document.
static ScreenRegistrar s4("PlatformListWindow", [](TestDatabases& db) -> QWidget* {
    // The documents as the preview shows them, then the export that records them.
    ExportEngine exporter(db.session);
    exporter.setPreview(true);
    exporter.exportFile(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
    ExportEngine(db.session)
        .exportFile(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
    db.acct->exec(
        QStringLiteral("update TF_Ledger set FAmount=100, FTax=13 where FDocNo in ('ZP000003', 'ZP000005')"));
    db.acct->exec(QStringLiteral("update ICSale set FCustID=104 where FBillNo='ZP000005'"));
    const ExportDoc first = exporter.preview().value(0);
    const QString name = db.acct->query(QStringLiteral("select FName from t_Organization where FItemID=104"))
                             ->value(0)
                             .toString();
    const QString list = db.folder() + QStringLiteral("/发票查询统计.xlsx");
    writeFile(list,
              listWorkbook(kHeadings, {issuedRow(N(1), first.amount, first.tax, "", "", first.docNo),
                                       issuedRow(N(2), 100, 13, "", name),
                                       issuedRow(N(3), 1234.5, 160.49, "", QStringLiteral("某某公司"))}));
    auto* w = new PlatformListWindow(db.session);
    w->openList(list);
    return w;
});
