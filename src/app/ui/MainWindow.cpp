#include "app/ui/MainWindow.h"

#include "app/ui/AppMain.h"
#include "app/ui/HostComponents.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "export/ui/ExportWindow.h"
#include "export/ui/ReconcileWindow.h"
#include "import/ui/ImportWindow.h"
#include "import/ui/PlatformListWindow.h"
#include "links/ui/LinkListWindow.h"
#include "mapping/ui/MappingEditor.h"
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kNotOffered = QStringLiteral("本版本不提供此功能");
} // namespace

MainWindow::MainWindow(std::unique_ptr<Session> session, QWidget* parent)
    : QMainWindow(parent), m_session(std::move(session)), m_itemLook(m_session->gcnAcct) {
    m_session->itemChooser = &m_itemLook;
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Orvane航天金税接口"));
    setWindowIcon(programIcon());

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(QColor(171, 171, 171));
    setCentralWidget(mdiArea);

    mnuMain = menuBar();
    mnuMain->setObjectName(QStringLiteral("mnuMain"));
    mnuMain->setWindowTitle(QStringLiteral("主菜单"));
    auto menu = [this](const char* name, const char* caption) {
        QMenu* m = mnuMain->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QString::fromUtf8(name));
        return m;
    };
    mnuSystem = menu("mnuSystem", "系统(&S)");
    addTool(mnuSystem, "Version", "版本选择(&V)", "版本选择");
    mnuSystem->addSeparator();
    addTool(mnuSystem, "Exit", "退出(&X)", "退出(Ctrl+X)", QStyle::SP_DialogCloseButton)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuExchange = menu("mnuExchange", "数据交换(&E)");
    addTool(mnuExchange, "ImpTxtData", "引入文本文件发票(&I)", "从金税文本文件中引入发票",
            QStyle::SP_ArrowDown);
    addTool(mnuExchange, "ImpPlatformList", "引入平台开票清单(&P)",
            "引入电子发票平台导出的发票清单，回写数电发票号码", QStyle::SP_DialogOpenButton);
    addTool(mnuExchange, "ItemMap", "引入基础资料对应(&M)", "引入基础资料对应",
            QStyle::SP_FileDialogContentsView);
    addTool(mnuExchange, "ExportData", "引出文本文件发票(&O)", "从QOR中引出文本文件发票", QStyle::SP_ArrowUp);
    addTool(mnuExchange, "Reconcile", "对账(&R)", "引出的单据与税控系统开具的发票对账",
            QStyle::SP_FileDialogDetailedView);
    mnuExchange->addSeparator();
    addTool(mnuExchange, "Exit", "退出(&X)", "退出", QStyle::SP_DialogCloseButton);
    mnuWindow = menu("mnuWindow", "窗口(&W)");
    addTool(mnuWindow, "Arrange0", "层叠(&C)", "层叠窗口");
    addTool(mnuWindow, "Arrange1", "水平平铺(&H)", "水平平铺窗口");
    addTool(mnuWindow, "Arrange2", "垂直平铺(&V)", "垂直平铺窗口");
    addTool(mnuWindow, "Arrange3", "重排图标(&A)", "重排图标");
    mnuHelp = menu("mnuHelp", "帮助(&H)");
    addTool(mnuHelp, "HelpContents", "帮助主题(&H)", "帮助主题", QStyle::SP_DialogHelpButton)
        ->setShortcut(QKeySequence::HelpContents);
    mnuHelp->addSeparator();
    addTool(mnuHelp, "About", "关于(&A)...", "关于", QStyle::SP_MessageBoxInformation);

    mainBar = addToolBar(QStringLiteral("工具栏"));
    mainBar->setObjectName(QStringLiteral("MainBar"));
    mainBar->setMovable(false);
    mainBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    mainBar->setIconSize(QSize(24, 24));
    addTool(mainBar, "ImpTxtData", "引入文本文件发票", "从金税文本文件中引入发票", QStyle::SP_ArrowDown);
    addTool(mainBar, "ImpDBFData", "引入DBF文件发票", "从DBF文件中引入发票", QStyle::SP_DriveFDIcon);
    addTool(mainBar, "ItemMap", "引入基础资料对应", "引入基础资料对应", QStyle::SP_FileDialogContentsView);
    addTool(mainBar, "ExportData", "引出文本文件发票", "从QOR中引出文本文件发票", QStyle::SP_ArrowUp);
    addTool(mainBar, "ExpDBFData", "引出DBF文件发票", "从QOR中引出DBF文件发票", QStyle::SP_DriveFDIcon);
    mainBar->addSeparator();
    addTool(mainBar, "Version", "版本选择", "版本选择", QStyle::SP_ComputerIcon);
    addTool(mainBar, "HelpContents", "帮助主题", "帮助主题", QStyle::SP_DialogHelpButton);
    addTool(mainBar, "Exit", "退出", "退出", QStyle::SP_DialogCloseButton);

    sb = statusBar();
    sb->setObjectName(QStringLiteral("sb"));
    sb->setSizeGripEnabled(true);
    const char* keys[] = {"Status", "Dbname", "Company", "period"};
    const char* texts[] = {"就绪", "公司", "帐套", ""};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(QString::fromUtf8(texts[i]), sb);
        panel->setObjectName(QString::fromUtf8(keys[i]));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(i == 0 ? 80 : 150);
        panel->setContentsMargins(4, 0, 4, 0);
        sb->addWidget(panel, i == 1 ? 2 : 1);
        panels.append(panel);
    }
    // The DBF tools and the edition choice have no function in this version: shown greyed, saying so,
    // rather than doing nothing when clicked.
    for (QAction* tool : findChildren<QAction*>()) {
        const QString name = tool->objectName();
        if (name == u"ImpDBFData" || name == u"ExpDBFData" || name == u"Version") {
            tool->setEnabled(false);
            tool->setToolTip(kNotOffered);
            tool->setStatusTip(kNotOffered);
        }
    }
    resize(900, 600);
}

QAction* MainWindow::addTool(QWidget* band, const char* name, const char* caption, const char* description,
                             QStyle::StandardPixmap icon) {
    auto* tool = new QAction(QString::fromUtf8(caption), band);
    tool->setObjectName(QString::fromUtf8(name));
    tool->setStatusTip(QString::fromUtf8(description));
    tool->setToolTip(QString::fromUtf8(description));
    if (icon != QStyle::SP_CustomBase) tool->setIcon(style()->standardIcon(icon));
    band->addAction(tool);
    const QString key = tool->objectName();
    connect(tool, &QAction::triggered, this, [this, key] { toolBarClick(key); });
    return tool;
}

MainWindow::~MainWindow() {
    m_session->itemChooser = nullptr;
}

void MainWindow::formLoad() {
    LedgerViewData glView(m_session->gsAcctProps);
    panels[1]->setText(glView.systemProfile().companyName);
    panels[3]->setText(QStringLiteral("用户:") + m_session->gsUserName);
    panels[2]->setText(QStringLiteral("账套:") + m_session->gsAcctName);
}

void MainWindow::toolBarClick(const QString& toolName) {
    try {
        const QString key = toolName.toLower();
        if (key == u"exportdata")
            showExportList();
        else if (key == u"itemmap")
            showBaseItem();
        else if (key == u"imptxtdata")
            importTxtToQor();
        else if (key == u"reconcile")
            showReconcile();
        else if (key == u"impplatformlist")
            showPlatformList();
        else if (key == u"helpcontents")
            showHelp();
        else if (key == u"about")
            showAbout();
        else if (key == u"exit")
            close();
        // The window arrangements have no action (the windows are modal dialogs, not MDI children).
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ToolBar_Click"), e);
    }
    // A closed dialog leaves no window active on some desktops: the main window takes it back so that
    // its menu keys and shortcuts work again without a click.
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

void MainWindow::showExportList() {
    try {
        LinkListWindow list(*m_session, this);
        list.exportOrImport = 0; // export links
        list.openExport = [this](const QString& key, const QString& name, const QString& memo) {
            ExportWindow::showFor(*m_session, key, name, memo, this);
        };
        list.init();
        list.exec();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ShowExportList"), e);
    }
}

void MainWindow::importTxtToQor() {
    try {
        ImportWindow import(*m_session, this);
        import.exec();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ImportTxtToQor"), e);
    }
}

void MainWindow::showReconcile() {
    try {
        ReconcileWindow window(*m_session, this);
        if (!window.chooseFilter()) return;
        window.exec();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ShowReconcile"), e);
    }
}

void MainWindow::showPlatformList() {
    try {
        PlatformListWindow window(*m_session, this);
        if (!window.chooseList()) return;
        window.exec();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ShowPlatformList"), e);
    }
}

void MainWindow::showBaseItem() {
    try {
        MappingEditor editor(*m_session, this);
        editor.linkId = 1;
        loadSystemProfile();
        editor.init();
        editor.exec();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ShowBaseItem"), e);
    }
}

void MainWindow::showHelp() {
    try {
        HelpService help;
        help.showToolHelp(1, this);
    } catch (...) {
        // The help is a convenience: when it cannot be shown, nothing else is affected.
    }
}

void MainWindow::showAbout() {
    AboutBox about;
    about.show(QCoreApplication::instance(), this);
}

void MainWindow::loadSystemProfile() {
    SystemProfile profile;
    m_session->setEdition(
        profile.getProfile(m_session->gsAcctProps, QStringLiteral("Base"), QStringLiteral("Type")));
}

void MainWindow::activate() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    formUnload();
    QMainWindow::closeEvent(event);
}

void MainWindow::formUnload() {
    if (m_unloaded) return;
    m_unloaded = true;
    closeConnection(m_session->gcnConfig);
    closeConnection(m_session->gcnAcct);
}
