#pragma once
// Start-up, login, main window and host components, driven as a user drives them.
#include "app/AppMain.h"
#include "app/MessageBoxSink.h"
#include "app/clsItemLook.h"
#include "app/clsLogin.h"
#include "app/frmHelp.h"
#include "app/frmItemLook.h"
#include "app/frmLogin.h"
#include "app/frmMain.h"
#include "common/Session.h"
#include "common/modBasic.h"
#include "common/modFunction.h"
#include "export/frmExportTxt.h"
#include "export/frmFilter.h"
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
inline void OnNextModal(std::function<void(QWidget*)> answer, int tries = 200) {
    QTimer::singleShot(10, [answer, tries] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            answer(w);
        } else if (tries > 0) {
            OnNextModal(answer, tries - 1);
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
