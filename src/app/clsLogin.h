#pragma once
// "QORLogin.clsLogin": lets the user log in to an accounting set. Login returns -1 after a
// successful login; PropsString is then "{" connection string "};UserName=…;AcctName=…".

#include <QByteArray>
#include <QString>

class QWidget;

class clsLogin {
public:
    // programFolder: where the demo accounting set QORDemo.db is looked for.
    explicit clsLogin(const QString& programFolder = QString());

    // user and password fill the dialog; showDialog false tries them on the last accounting set without
    // asking. -1 after a successful login, 0 otherwise.
    int Login(const QString& user, const QString& password, bool showDialog, QWidget* parent = nullptr);

    QString PropsString() const { return m_props; }
    QString UserName() const { return m_userName; }
    QString AcctName() const { return m_acctName; }

private:
    QString m_folder;
    QString m_props;
    QString m_userName;
    QString m_acctName;
};

#include "AppStore.h"
