#pragma once
// The main window: menu bar, toolbar and status bar (company, accounting set, user). Its commands
// open the link list for export, the import window, the base-data mapping editor, the help and the
// about box; closing it closes both connections.

#include "app/ui/BaseDataLookup.h"
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

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window keeps the session of the run: its connections are closed when the window unloads.
    explicit MainWindow(std::unique_ptr<Session> session, QWidget* parent = nullptr);
    ~MainWindow() override;
    Session& session() { return *m_session; }

    // Window load: the status bar's company, accounting set and user. Throws DbError when the ledger
    // view cannot tell the company.
    void formLoad();

    // A clicked tool, by its name (ImpTxtData, ExportData, Exit, …).
    void toolBarClick(const QString& toolName);

    // Brings the window to the front in its normal state (a second start of the program).
    void activate();

    QMenuBar* mnuMain;
    QMenu* mnuSystem;
    QMenu* mnuExchange;
    QMenu* mnuWindow;
    QMenu* mnuHelp;
    QToolBar* mainBar;
    QStatusBar* sb;
    QList<QLabel*> panels; // Status, Dbname, Company, period
    QMdiArea* mdiArea;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addTool(QWidget* band, const char* name, const char* caption, const char* description,
                     QStyle::StandardPixmap icon = QStyle::SP_CustomBase);
    void importTxtToQor();
    void showReconcile();
    void showPlatformList();
    void showExportList();
    void showBaseItem();
    void showHelp();
    void showAbout();
    void loadSystemProfile();
    void formUnload();
    std::unique_ptr<Session> m_session;
    BaseDataLookup m_itemLook;
    bool m_unloaded = false;
};
