// The import window as a user sees it, with a sample file's path filled in.
#include "ScreenRegistry.h"
#include "import/frmImportTxt.h"
#include <QLineEdit>

static ScreenRegistrar s1("frmImportTxt", [](TestDatabases& db) -> QWidget* {
    auto* w = new frmImportTxt(db.session);
    w->txtAIS->setText(SamplesDir() + QStringLiteral("/issued_plain.txt"));
    return w;
});
