#pragma once
// Start-up, login, main window and host components, driven as a user drives them.
#include "app/ui/AppMain.h"
#include "app/ui/BaseDataLookup.h"
#include "app/ui/BaseDataPicker.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/LoginDialog.h"
#include "app/ui/LoginService.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageBoxSink.h"
#include "common/DbProcedures.h"
#include "common/LoginProps.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/Session.h"
#include "common/Values.h"
#include "export/ui/ExportFilterDialog.h"
#include "export/ui/ExportWindow.h"
#include "support/TestSupport.h"
#include <QAbstractButton>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>
#include <functional>

// Runs answer on the next modal window that appears (or gets nullptr when none appears).
inline void onNextModal(std::function<void(QWidget*)> answer, int tries = 200) {
    QTimer::singleShot(10, [answer, tries] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            answer(w);
        } else if (tries > 0) {
            onNextModal(answer, tries - 1);
        } else {
            answer(nullptr);
        }
    });
}

class TestApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loginChecks_data();
    void loginChecks();
    void loginSetsANewPasswordAndChecksIt();
    void loginRemembersTheAccountingSet();

    void mainRefusedLoginEndsSilently();
    void mainWithoutConfigurationDatabaseReportsError();
    void mainShowsWindowAndSecondStartActivatesIt();
    void mainReportsUnreadableCompany();

    void editionSelectsViews_data();
    void editionSelectsViews();
    void mappingEditorReportsUnreadableProfile();
    void inertToolsDoNothing_data();
    void inertToolsDoNothing();
    void shortcutsWorkAfterADialogCloses_data();
    void shortcutsWorkAfterADialogCloses();
    void menuItemsHaveMnemonics();
    void exitFromEveryBandClosesConnections_data();
    void exitFromEveryBandClosesConnections();
    void commandsOpenTheirWindows_data();
    void commandsOpenTheirWindows();
    void helpShowsTheShippedGuide();

    void pickerReturnsCode_data();
    void pickerReturnsCode();
    void pickerCancelAndUnknownKind();

    void messageBoxes_data();
    void messageBoxes();
    void qtTextsInChinese();

private:
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
};
