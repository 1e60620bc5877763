// The messages an accountant meets most after an import or export, in the program's own box.
#include "ScreenRegistry.h"
#include "app/ui/MessageBoxSink.h"
#include <QAbstractButton>

namespace {
QWidget* box(QMessageBox::Icon icon, const QString& text, const QString& details = {}) {
    std::unique_ptr<QMessageBox> box =
        MessageBoxSink::makeBox(icon, text, QMessageBox::Ok, QMessageBox::Ok, details);
    if (!details.isEmpty()) {
        box->show();
        // The driver's own words opened under 详细信息.
        for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == QMessageBox::ActionRole) b->click();
    }
    return box.release();
}
} // namespace

static ScreenRegistrar sNothingLeft("msg_export_nothing_left", [](TestDatabases&) {
    return box(QMessageBox::Information,
               QStringLiteral("所选的12张发票均未引出：9张已引出过，3张由税控系统引入。"));
});

static ScreenRegistrar sLeftOut("msg_export_left_out", [](TestDatabases&) {
    return box(QMessageBox::Information,
               QStringLiteral("已有9张发票引出过、3张发票由税控系统引入，本次未引出。"));
});

static ScreenRegistrar sNothingNew("msg_import_nothing_new", [](TestDatabases&) {
    return box(QMessageBox::Information, QStringLiteral("文件中的25张发票都已引入过，本次没有引入新发票。"));
});

static ScreenRegistrar sWrongPassword("msg_connect_wrong_password", [](TestDatabases&) {
    return box(QMessageBox::Information, QStringLiteral("连接服务器失败：密码错误"),
               QStringLiteral("connection to server at \"192.168.1.20\", port 5432 failed: FATAL:  password "
                              "authentication failed for user \"kj\""));
});
