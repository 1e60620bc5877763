#pragma once
// The login dialog of the login component: accounting set, user name and password, and optionally a
// new password for the user.

#include <QDialog>
#include <QList>
#include <QPair>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmLogin : public QDialog {
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);
    // Lists the remembered accounting sets (and the demo set of the program folder) and fills the user.
    void Init(const QString& programFolder, const QString& user, const QString& password);
    // Checks what the controls hold; true after a successful login (results below are then set).
    bool TryLogin();

    QString PropsString() const { return m_props; }
    QString UserName() const { return m_userName; }
    QString AcctName() const { return m_acctName; }

    QComboBox* cboAcct;
    QPushButton* cmdBrowse;
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
    // Display name and connection string of what cboAcct holds; empty connection when unusable.
    QPair<QString, QString> chosenAcct() const;
    void rememberAcct(const QString& name, const QString& conn);

    QList<QPair<QString, QString>> m_sets; // display name, connection string
    QString m_props;
    QString m_userName;
    QString m_acctName;
};
