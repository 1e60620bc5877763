#include "app/ui/HelpKey.h"

#include "app/ui/HelpWindow.h"
#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>

namespace {

// Window → page. The windows are dialogs of their own, each named after its class.
const QHash<QString, QString>& pages() {
    static const QHash<QString, QString> pages{
        {QStringLiteral("LoginDialog"), QStringLiteral("login")},
        {QStringLiteral("dlgDbPassword"), QStringLiteral("login#password")},
        {QStringLiteral("AccountSetsDialog"), QStringLiteral("acctsets")},
        {QStringLiteral("MainWindow"), QStringLiteral("main")},
        {QStringLiteral("LinkListWindow"), QStringLiteral("links")},
        {QStringLiteral("LinkWizard"), QStringLiteral("wizard")},
        {QStringLiteral("ExpressionDialog"), QStringLiteral("wizard#formula")},
        {QStringLiteral("ExportWindow"), QStringLiteral("export")},
        {QStringLiteral("ExportFilterDialog"), QStringLiteral("export#filter")},
        {QStringLiteral("BaseDataPicker"), QStringLiteral("export#filter")},
        {QStringLiteral("ExportPreviewDialog"), QStringLiteral("ledger#preview")},
        {QStringLiteral("ReconcileWindow"), QStringLiteral("writeback#reconcile")},
        {QStringLiteral("ImportWindow"), QStringLiteral("import")},
        {QStringLiteral("PlatformListWindow"), QStringLiteral("platform#list")},
        {QStringLiteral("MappingEditor"), QStringLiteral("mapping")},
        {QStringLiteral("CustomerPicker"), QStringLiteral("mapping#pick")},
        {QStringLiteral("ProductPicker"), QStringLiteral("mapping#pick")},
        {QStringLiteral("OtherNamePicker"), QStringLiteral("mapping#pick")},
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
        if (auto* help = qobject_cast<HelpWindow*>(window)) {
            help->init(1);
            return true;
        }
        const QString page = helpPageFor(window);
        HelpWindow help(window);
        help.showPage(page);
        help.exec();
        return true;
    }
};

QPointer<HelpKeyFilter> gFilter;

} // namespace

QString helpPageFor(const QWidget* window) {
    for (const QWidget* w = window ? window->window() : nullptr; w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        const auto it = pages().constFind(w->objectName());
        if (it != pages().constEnd()) return *it;
    }
    return QStringLiteral("index");
}

void installHelpKey() {
    if (gFilter || !qApp) return;
    gFilter = new HelpKeyFilter(qApp);
    qApp->installEventFilter(gFilter);
}
