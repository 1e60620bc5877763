#include "clsLogin.h"

#include "common/modBasic.h"
#include "frmLogin.h"

clsLogin::clsLogin(const QString& programFolder)
    : m_folder(programFolder.isEmpty() ? AppFolder() : programFolder) {}

int clsLogin::Login(const QString& user, const QString& password, bool showDialog, QWidget* parent) {
    frmLogin dialog(parent);
    dialog.Init(m_folder, user, password);
    if (showDialog) {
        if (dialog.exec() != QDialog::Accepted) return 0;
    } else if (!dialog.TryLogin()) {
        return 0;
    }
    m_props = dialog.PropsString();
    m_userName = dialog.UserName();
    m_acctName = dialog.AcctName();
    return -1;
}
