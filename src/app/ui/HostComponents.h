#pragma once
// The accounting product's components that the program calls: the system profile, the ledger
// view's company data, the help and the about box. Each one raises DbError when it cannot do its work.

#include <QString>

class QWidget;
class QCoreApplication;

// Stands in for "QORBase.SystemProfile": values of the accounting set's profile (t_SystemProfile).
class SystemProfile {
public:
    // The value of section/key in the accounting set that props (a login propsString) names; empty
    // when the profile has no such value.
    QString getProfile(const QString& props, const QString& section, const QString& key);
};

// Stands in for "QORGLView.GLData": the ledger view's data of the logged-in accounting set.
class LedgerViewData {
public:
    struct Profile {
        QString companyName;
    };
    // props: the login's propsString of the logged-in set.
    explicit LedgerViewData(const QString& props);
    Profile systemProfile();

private:
    QString m_props;
};

// Stands in for "QORHelpTool.ClsCHMHelp": the help of the program.
class HelpService {
public:
    void showToolHelp(short topic, QWidget* owner);
};

// Stands in for the accounting product's "QORAboutLib.About": the about box.
class AboutBox {
public:
    void show(QCoreApplication* application, QWidget* owner = nullptr);
};
