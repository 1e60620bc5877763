#include "app/ui/LoginService.h"

#include "common/LoginProps.h"

#include "app/ui/LoginDialog.h"
#include "common/Paths.h"

LoginService::LoginService(const QString& programFolder)
    : m_folder(programFolder.isEmpty() ? appFolder() : programFolder) {}

int LoginService::login(const QString& user, const QString& password, bool showDialog, QWidget* parent) {
    LoginDialog dialog(parent);
    dialog.init(m_folder, user, password);
    if (showDialog) {
        if (dialog.exec() != QDialog::Accepted) return 0;
    } else if (!dialog.tryLogin()) {
        return 0;
    }
    m_props = dialog.propsString();
    m_userName = dialog.userName();
    m_acctName = dialog.acctName();
    return -1;
}
