#include "HelpKey.h"

#include "frmHelp.h"
#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>

namespace {

// Window → page. The windows are dialogs of their own, each named after its class.
const QHash<QString, QString>& Pages() {
    static const QHash<QString, QString> pages{
        {QStringLiteral("frmLogin"), QStringLiteral("login")},
        {QStringLiteral("dlgDbPassword"), QStringLiteral("login#password")},
        {QStringLiteral("frmAcctSets"), QStringLiteral("acctsets")},
        {QStringLiteral("frmMain"), QStringLiteral("main")},
        {QStringLiteral("frmList"), QStringLiteral("links")},
        {QStringLiteral("frmNew"), QStringLiteral("wizard")},
        {QStringLiteral("frmEditExpression"), QStringLiteral("wizard#formula")},
        {QStringLiteral("frmExportTxt"), QStringLiteral("export")},
        {QStringLiteral("frmFilter"), QStringLiteral("export#filter")},
        {QStringLiteral("frmItemLook"), QStringLiteral("export#filter")},
        {QStringLiteral("frmExportPreview"), QStringLiteral("ledger#preview")},
        {QStringLiteral("ReconcileWindow"), QStringLiteral("writeback#reconcile")},
        {QStringLiteral("frmImportTxt"), QStringLiteral("import")},
        {QStringLiteral("PlatformListWindow"), QStringLiteral("platform#list")},
        {QStringLiteral("frmItem"), QStringLiteral("mapping")},
        {QStringLiteral("frmListClient"), QStringLiteral("mapping#pick")},
        {QStringLiteral("frmListItem"), QStringLiteral("mapping#pick")},
        {QStringLiteral("frmListOtherID"), QStringLiteral("mapping#pick")},
    };
    return pages;
}

class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
        QWidget* window = static_cast<QWidget*>(watched)->window();
        // In the help itself F1 leads back to the contents.
        if (auto* help = qobject_cast<frmHelp*>(window)) {
            help->Init(1);
            return true;
        }
        const QString page = HelpPageFor(window);
        frmHelp help(window);
        help.showPage(page);
        help.exec();
        return true;
    }
};

QPointer<HelpKeyFilter> gFilter;

} // namespace

QString HelpPageFor(const QWidget* window) {
    for (const QWidget* w = window ? window->window() : nullptr; w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        const auto it = Pages().constFind(w->objectName());
        if (it != Pages().constEnd()) return *it;
    }
    return QStringLiteral("index");
}

void InstallHelpKey() {
    if (gFilter || !qApp) return;
    gFilter = new HelpKeyFilter(qApp);
    qApp->installEventFilter(gFilter);
}
