#pragma once
// "账套管理": the accounting sets the login offers, kept per user: a file of its own, a PostgreSQL
// database or an ODBC source, each with a name. Passwords go to the password store, never the settings.

#include "app/AccountSets.h"
#include <QDialog>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class AccountSetsDialog : public QDialog {
    Q_OBJECT
public:
    explicit AccountSetsDialog(PasswordStore& passwords, QWidget* parent = nullptr);
    // Lists the stored sets and shows the first.
    void init();

    QListWidget* lstSets;
    QLineEdit* txtName;
    QComboBox* cboKind; // 本地账套文件, PostgreSQL 服务器, ODBC 数据源 (AcctKind order)
    QLineEdit* txtFile;
    QPushButton* cmdBrowse;
    QLineEdit* txtHost;
    QLineEdit* txtPort;
    QLineEdit* txtDatabase;
    QLineEdit* txtSource;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QLabel* lblPasswordNote;
    QPushButton* cmdTest;
    QPushButton* cmdNew;
    QPushButton* cmdSave;
    QPushButton* cmdDelete;
    QPushButton* cmdClose;

    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdTest_Click();
    void cmdBrowse_Click();

private:
    AccountSet readControls() const;
    // Shows what keeps the set from being stored or tried, with the box to correct in focus.
    bool refused(const AccountSet& set);
    void showSet(const AccountSet& set, const QString& password);
    void showKind();
    void fillList(const QString& current);
    void lstSets_Changed();

    PasswordStore& m_passwords;
    AcctSetList m_sets;
    QString m_editing; // name of the stored set the controls show; empty for a new one
    QFormLayout* m_form = nullptr;
};
