#pragma once
// The main window: menu bar, toolbar and status bar (company, accounting set, user). Its commands
// open the link list for export, the import window, the base-data mapping editor, the help and the
// about box; closing it closes both connections.

#include "clsItemLook.h"
#include <QList>
#include <QMainWindow>
#include <QStyle>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class Session;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The window keeps the session of the run: its connections are closed when the window unloads.
    explicit frmMain(std::unique_ptr<Session> session, QWidget* parent = nullptr);
    ~frmMain() override;
    Session& session() { return *m_session; }

    // Window load: the status bar's company, accounting set and user. Throws DbError when the ledger
    // view cannot tell the company.
    void Form_Load();

    // A clicked tool, by its name (ImpTxtData, ExportData, Exit, …).
    void ToolBar_Click(const QString& toolName);

    // Brings the window to the front in its normal state (a second start of the program).
    void Activate();

    QMenuBar* mnuMain;
    QMenu* mnuSystem;
    QMenu* mnuExchange;
    QMenu* mnuWindow;
    QMenu* mnuHelp;
    QToolBar* MainBar;
    QStatusBar* sb;
    QList<QLabel*> Panels; // Status, Dbname, Company, period
    QMdiArea* mdiArea;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addTool(QWidget* band, const char* name, const char* caption, const char* description,
                     QStyle::StandardPixmap icon = QStyle::SP_CustomBase);
    void ImportTxtToQor();
    void ShowReconcile();
    void ShowPlatformList();
    void ShowExportList();
    void ShowBaseItem();
    void ShowHelp();
    void ShowAbout();
    void LoadSystemProfile();
    void Form_Unload();
    std::unique_ptr<Session> m_session;
    clsItemLook m_itemLook;
    bool m_unloaded = false;
};
