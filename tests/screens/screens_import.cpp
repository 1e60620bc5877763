// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "import/frmImportTxt.h"
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
