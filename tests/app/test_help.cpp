// The help pages and F1: each window opens the help on its own page, and the pages hold together.
#include "app/ui/AppMain.h"
#include "app/ui/HelpKey.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/LoginDialog.h"
#include "app/ui/MainWindow.h"
#include "common/Session.h"
#include "export/ui/ExportFilterDialog.h"
#include "export/ui/ExportWindow.h"
#include "export/ui/ReconcileWindow.h"
#include "import/ui/ImportWindow.h"
#include "import/ui/PlatformListWindow.h"
#include "links/ui/LinkListWindow.h"
#include "links/ui/LinkWizard.h"
#include "mapping/ui/MappingEditor.h"
#include "support/TestSupport.h"
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QtTest/QtTest>
#include <functional>
#include <memory>

namespace {
using WindowFactory = std::function<QWidget*(Session&)>;

// The windows of the rows, made as their callers make them (without the data they would show).
const QHash<QString, WindowFactory>& windows() {
    static const QHash<QString, WindowFactory> windows{
        {QStringLiteral("LoginDialog"), [](Session&) -> QWidget* { return new LoginDialog; }},
        {QStringLiteral("LinkListWindow"), [](Session& s) -> QWidget* { return new LinkListWindow(s); }},
        {QStringLiteral("LinkWizard"), [](Session& s) -> QWidget* { return new LinkWizard(s); }},
        {QStringLiteral("ExportWindow"), [](Session& s) -> QWidget* { return new ExportWindow(s); }},
        {QStringLiteral("ExportFilterDialog"),
         [](Session& s) -> QWidget* { return new ExportFilterDialog(s); }},
        {QStringLiteral("ImportWindow"), [](Session& s) -> QWidget* { return new ImportWindow(s); }},
        {QStringLiteral("MappingEditor"), [](Session& s) -> QWidget* { return new MappingEditor(s); }},
        {QStringLiteral("ReconcileWindow"), [](Session& s) -> QWidget* { return new ReconcileWindow(s); }},
        {QStringLiteral("PlatformListWindow"),
         [](Session& s) -> QWidget* { return new PlatformListWindow(s); }},
        {QStringLiteral("unknown"),
         [](Session&) -> QWidget* {
             auto* w = new QDialog;
             w->setObjectName(QStringLiteral("dlgSomethingElse"));
             return w;
         }},
    };
    return windows;
}

// Every help window that opens while call runs (and shortly after), by the page it showed; each is closed.
QStringList helpOpenedBy(const std::function<void()>& call) {
    QStringList pages;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* help = qobject_cast<HelpWindow*>(QApplication::activeModalWidget())) {
            pages << help->currentPage() + u'|' + help->txtHelp->documentTitle();
            help->close();
        }
    });
    watch.start();
    call();
    QTest::qWait(300);
    return pages;
}

// The page of the help as a text.
QString pageText(const QString& name) {
    QFile f(QStringLiteral(":/help/%1.html").arg(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString title(const QString& html) {
    return QRegularExpression(QStringLiteral("<title>(.*?)</title>")).match(html).captured(1);
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What the help promises the import says is what it says (ImportEngine::countsText), a number as N.
    void helpQuotesTheImportsCounts_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("text");
        QTest::newRow("written back") << "writeback"
                                      << "回写税控发票N张，其中作废M张。";
        QTest::newRow("cancelled later") << "writeback"
                                         << "更新已作废的发票N张。";
    }
    void helpQuotesTheImportsCounts() {
        QFETCH(QString, page);
        QFETCH(QString, text);
        QVERIFY2(pageText(page).contains(QStringLiteral("“") + text + QStringLiteral("”")), qPrintable(text));
    }

    void init() {
        m_db = std::make_unique<TestDatabases>();
        // The start installs the key itself; the first test sees that it does.
        if (QTest::currentTestFunction() != QByteArrayView("theStartMakesF1OpenTheHelp")) installHelpKey();
    }
    void cleanup() { m_db.reset(); }

    void theStartMakesF1OpenTheHelp();
    void f1OpensTheWindowsPage_data();
    void f1OpensTheWindowsPage();
    void f1InAMessageBoxShowsItsWindowsPage();
    void f1InTheMainWindowOpensTheContentsOnce();
    void f1InTheHelpShowsTheContents();
    void pagesAndAnchorsOfTheWindowsExist();
    void everyPageIsInTheContentsAndEveryLinkResolves();
    void helpWindowShowsPagesAndGoesBack();

private:
    std::unique_ptr<TestDatabases> m_db;
};

// F1 in the login of a start opens the login's page, then the login is cancelled.
void TestHelp::theStartMakesF1OpenTheHelp() {
    QStringList opened;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* help = qobject_cast<HelpWindow*>(QApplication::activeModalWidget())) {
            opened << help->currentPage();
            help->close();
        }
    });
    closer.start();
    QTimer::singleShot(100, [] {
        QWidget* login = QApplication::activeModalWidget();
        if (!login || login->objectName() != u"LoginDialog") return;
        QTest::keyClick(login->focusWidget() ? login->focusWidget() : login, Qt::Key_F1);
        login->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    const StartOptions options{
        m_db->folder(), QStringLiteral("taxferry-help-test-%1").arg(QCoreApplication::applicationPid())};
    QCOMPARE(startApplication(options), nullptr);
    QCOMPARE(opened, QStringList{QStringLiteral("login")});
}

void TestHelp::f1OpensTheWindowsPage_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("title");
    QTest::newRow("login") << "LoginDialog"
                           << "login"
                           << "登录";
    QTest::newRow("link list") << "LinkListWindow"
                               << "links"
                               << "选择关联关系";
    QTest::newRow("link wizard") << "LinkWizard"
                                 << "wizard"
                                 << "关联关系向导";
    QTest::newRow("export") << "ExportWindow"
                            << "export"
                            << "引出发票";
    QTest::newRow("filter") << "ExportFilterDialog"
                            << "export#filter"
                            << "引出发票";
    QTest::newRow("import") << "ImportWindow"
                            << "import"
                            << "引入文本文件发票";
    QTest::newRow("mapping") << "MappingEditor"
                             << "mapping"
                             << "引入基础资料对应";
    QTest::newRow("reconcile") << "ReconcileWindow"
                               << "writeback#reconcile"
                               << "回写与对账";
    QTest::newRow("platform list") << "PlatformListWindow"
                                   << "platform#list"
                                   << "在电子发票平台开票";
    QTest::newRow("unknown window") << "unknown"
                                    << "index"
                                    << "Orvane航天金税接口 使用说明";
}

void TestHelp::f1OpensTheWindowsPage() {
    QFETCH(QString, window);
    QFETCH(QString, page);
    QFETCH(QString, title);
    std::unique_ptr<QWidget> w(windows().value(window)(m_db->session));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QWidget* target = w->focusWidget() ? w->focusWidget() : w.get();
    const QStringList opened = helpOpenedBy([&] { QTest::keyClick(target, Qt::Key_F1); });
    QCOMPARE(opened, QStringList{page + u'|' + title});
}

// A message box has no page: its window's page is shown.
void TestHelp::f1InAMessageBoxShowsItsWindowsPage() {
    ImportWindow window(m_db->session);
    window.show();
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("引入成功!"),
                    QMessageBox::Ok, &window);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QStringList opened = helpOpenedBy([&] { QTest::keyClick(&box, Qt::Key_F1); });
    QCOMPARE(opened, QStringList{QStringLiteral("import|引入文本文件发票")});
}

// The main window's own F1 (帮助主题) opens the contents, and only once.
void TestHelp::f1InTheMainWindowOpensTheContentsOnce() {
    MainWindow window(std::make_unique<Session>(m_db->session));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QStringList opened = helpOpenedBy([&] { QTest::keyClick(&window, Qt::Key_F1); });
    QCOMPARE(opened, QStringList{QStringLiteral("index|Orvane航天金税接口 使用说明")});
}

void TestHelp::f1InTheHelpShowsTheContents() {
    HelpWindow help;
    help.showPage(QStringLiteral("batch"));
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    const QStringList opened = helpOpenedBy([&] { QTest::keyClick(help.txtHelp, Qt::Key_F1); });
    QVERIFY2(opened.isEmpty(), qPrintable(opened.join(u',')));
    QCOMPARE(help.currentPage(), QStringLiteral("index"));
}

// Every window the key knows leads to a page and a place in it that exist.
void TestHelp::pagesAndAnchorsOfTheWindowsExist() {
    const QStringList names{QStringLiteral("LoginDialog"),         QStringLiteral("dlgDbPassword"),
                            QStringLiteral("AccountSetsDialog"),   QStringLiteral("MainWindow"),
                            QStringLiteral("LinkListWindow"),      QStringLiteral("LinkWizard"),
                            QStringLiteral("ExpressionDialog"),    QStringLiteral("ExportWindow"),
                            QStringLiteral("ExportFilterDialog"),  QStringLiteral("BaseDataPicker"),
                            QStringLiteral("ExportPreviewDialog"), QStringLiteral("ReconcileWindow"),
                            QStringLiteral("ImportWindow"),        QStringLiteral("PlatformListWindow"),
                            QStringLiteral("MappingEditor"),       QStringLiteral("CustomerPicker"),
                            QStringLiteral("ProductPicker"),       QStringLiteral("OtherNamePicker")};
    const QStringList pages = HelpWindow::pageNames();
    for (const QString& name : names) {
        QWidget w;
        w.setObjectName(name);
        const QString page = helpPageFor(&w);
        QVERIFY2(page != u"index", qPrintable(name));
        const QString file = page.section(u'#', 0, 0), anchor = page.section(u'#', 1);
        QVERIFY2(pages.contains(file), qPrintable(name + u':' + page));
        if (!anchor.isEmpty())
            QVERIFY2(pageText(file).contains(QStringLiteral("name=\"%1\"").arg(anchor)), qPrintable(page));
    }
}

// The contents reach every page, and no link of any page leads nowhere.
void TestHelp::everyPageIsInTheContentsAndEveryLinkResolves() {
    const QStringList pages = HelpWindow::pageNames();
    QVERIFY(pages.size() >= 18);
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    QSet<QString> linkedFromContents;
    for (const QString& page : pages) {
        const QString html = pageText(page);
        QVERIFY2(!title(html).isEmpty(), qPrintable(page));
        // Long preformatted lines would need a horizontal scroll bar.
        QVERIFY2(!html.contains(QStringLiteral("<pre")), qPrintable(page));
        if (page != u"index")
            QVERIFY2(html.contains(QStringLiteral("href=\"index.html\"")), qPrintable(page));
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            const QString file = target.section(u'#', 0, 0), anchor = target.section(u'#', 1);
            const QString name = file.isEmpty() ? page : file.chopped(5);
            QVERIFY2(file.isEmpty() || file.endsWith(QStringLiteral(".html")),
                     qPrintable(page + u':' + target));
            QVERIFY2(pages.contains(name), qPrintable(page + u':' + target));
            if (!anchor.isEmpty())
                QVERIFY2(pageText(name).contains(QStringLiteral("name=\"%1\"").arg(anchor)),
                         qPrintable(page + u':' + target));
            if (page == u"index") linkedFromContents.insert(name);
        }
    }
    for (const QString& page : pages)
        QVERIFY2(page == u"index" || linkedFromContents.contains(page), qPrintable(page));
}

void TestHelp::helpWindowShowsPagesAndGoesBack() {
    HelpWindow help;
    help.init(1);
    QCOMPARE(help.currentPage(), QStringLiteral("index"));
    QVERIFY(!help.cmdBack->isEnabled());
    help.showPage(QStringLiteral("ledger#preview"));
    QCOMPARE(help.currentPage(), QStringLiteral("ledger#preview"));
    QCOMPARE(help.windowTitle(), QStringLiteral("帮助主题 - 引出记录与预览"));
    QVERIFY(help.txtHelp->toPlainText().contains(QStringLiteral("包括已引出的发票")));
    QVERIFY(help.cmdBack->isEnabled());
    help.cmdBack->click();
    QCOMPARE(help.currentPage(), QStringLiteral("index"));
    QVERIFY(help.cmdForward->isEnabled());
    help.cmdForward->click();
    QCOMPARE(help.currentPage(), QStringLiteral("ledger#preview"));
    // An unknown page shows the contents.
    help.showPage(QStringLiteral("nosuchpage#x"));
    QCOMPARE(help.currentPage(), QStringLiteral("index"));
    // Text wraps at the window's width: nothing needs a horizontal scroll bar.
    help.showPage(QStringLiteral("batch"));
    help.resize(420, 400);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QCOMPARE(help.txtHelp->lineWrapMode(), QTextEdit::WidgetWidth);
    QVERIFY(!help.txtHelp->horizontalScrollBar()->isVisible());
    QCOMPARE(help.txtHelp->horizontalScrollBar()->maximum(), 0);
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
