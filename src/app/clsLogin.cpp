#include "clsLogin.h"

#include "common/modBasic.h"
#include "frmLogin.h"
#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

QString HashPassword(const QString& password, const QByteArray& salt) {
    return QString::fromLatin1(
        QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, 20000, 32)
            .toHex());
}

QByteArray NewPasswordSalt() {
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    return salt.toHex();
}

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
