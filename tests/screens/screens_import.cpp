// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "import/frmImportTxt.h"
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
