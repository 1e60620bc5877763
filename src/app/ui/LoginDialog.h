#pragma once
// The login dialog of the login component: accounting set, user name and password, and optionally a
// new password for the user.

#include <QDialog>
#include <QList>
#include <QPair>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PasswordStore;

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // passwords: where the passwords of server sets are kept; none: the desktop's keychain.
    explicit LoginDialog(QWidget* parent = nullptr, PasswordStore* passwords = nullptr);
    ~LoginDialog() override;
    // Lists the remembered accounting sets (and the demo set of the program folder) and fills the user.
    void init(const QString& programFolder, const QString& user, const QString& password);
    // Checks what the controls hold; true after a successful login (results below are then set).
    bool tryLogin();

    QString propsString() const { return m_props; }
    QString userName() const { return m_userName; }
    QString acctName() const { return m_acctName; }

    QComboBox* cboAcct;
    QPushButton* cmdBrowse;
    QPushButton* cmdAcctSets;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QCheckBox* chkNewPassword;
    QLineEdit* txtNewPassword;
    QLineEdit* txtConfirm;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void cmdOK_Click();
    void cmdBrowse_Click();
    void cmdAcctSets_Click();
    void fillSets(const QString& current);
    // The set's password from the store, or asked; nothing when the user cancels.
    std::optional<QString> databasePassword(const QString& name);
    // Display name and connection string of what cboAcct holds; empty connection when unusable.
    QPair<QString, QString> chosenAcct() const;

    std::unique_ptr<PasswordStore> m_ownPasswords;
    PasswordStore* m_passwords;
    QString m_folder;
    QList<QPair<QString, QString>> m_sets; // display name, connection string (no password)
    QString m_props;
    QString m_userName;
    QString m_acctName;
};
