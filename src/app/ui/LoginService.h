#pragma once
// Stands in for "QORLogin.clsLogin": lets the user log in to an accounting set. login returns -1 after a
// successful login; propsString is then "{" connection string "};UserName=…;AcctName=…".

#include <QByteArray>
#include <QString>

class QWidget;

class LoginService {
public:
    // programFolder: where the demo accounting set QORDemo.db is looked for.
    explicit LoginService(const QString& programFolder = QString());

    // user and password fill the dialog; showDialog false tries them on the last accounting set without
    // asking. -1 after a successful login, 0 otherwise.
    int login(const QString& user, const QString& password, bool showDialog, QWidget* parent = nullptr);

    QString propsString() const { return m_props; }
    QString userName() const { return m_userName; }
    QString acctName() const { return m_acctName; }

private:
    QString m_folder;
    QString m_props;
    QString m_userName;
    QString m_acctName;
};

#include "app/AppStore.h"
