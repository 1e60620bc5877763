#pragma once
// The accounting product's components that the program calls: the system profile, the ledger
// view's company data, the help and the about box. Each one raises DbError when it cannot do its work.

#include <QString>

class QWidget;
class QCoreApplication;

// "QORBase.SystemProfile": values of the accounting set's profile (t_SystemProfile).
class SystemProfile {
public:
    // The value of section/key in the accounting set that props (a login PropsString) names; empty
    // when the profile has no such value.
    QString GetProfile(const QString& props, const QString& section, const QString& key);
};

// "QORGLView.GLData": the ledger view's data of the logged-in accounting set.
class GLData {
public:
    struct Profile {
        QString CompanyName;
    };
    // props: the login's PropsString of the logged-in set.
    explicit GLData(const QString& props);
    Profile SystemProfile();

private:
    QString m_props;
};

// "QORHelpTool.ClsCHMHelp": the help of the program.
class ClsCHMHelp {
public:
    void ShowToolHelp(short topic, QWidget* owner);
};

// "QORAboutLib.About": the about box.
class About {
public:
    void Show(QCoreApplication* application, QWidget* owner = nullptr);
};
