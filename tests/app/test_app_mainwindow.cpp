// The main window: its views, tools, shortcuts, menus and commands.
#include "test_app.h"

namespace {
// The class of the modal window a call opens, which is closed at once; empty when none opened.
QString modalOpenedBy(const std::function<void()>& call) {
    QString opened;
    bool done = false;
    QTimer::singleShot(50, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(w->metaObject()->className());
            w->close();
        }
        done = true;
    });
    call();
    if (!QTest::qWaitFor([&] { return done; }, 5000)) return QStringLiteral("<timeout>");
    return opened;
}

QAction* toolAction(QWidget* band, const QString& name) {
    for (QAction* a : band->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}
} // namespace

// ---- main window ----------------------------------------------------------------------------

void TestApp::editionSelectsViews_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("industry");
    QTest::addColumn<QString>("customerView");
    QTest::addColumn<QString>("supplierView");
    QTest::addColumn<QString>("itemView");
    const QString indC = QStringLiteral("vwClientForBase"), indS = QStringLiteral("vwSupplyForBase"),
                  indI = QStringLiteral("vwICItemForBase");
    const QString comC = QStringLiteral("VW_COM_Customer"), comS = QStringLiteral("VW_COM_Supplier"),
                  comI = QStringLiteral("VW_COM_Item_ALL");
    QTest::newRow("INDUSTRY") << "INDUSTRY" << 1 << indC << indS << indI;
    QTest::newRow("industry in lower case") << "industry" << 1 << indC << indS << indI;
    QTest::newRow("commerce") << "COMMERCE" << 0 << comC << comS << comI;
    QTest::newRow("industry with a trailing blank") << "INDUSTRY " << 0 << comC << comS << comI;
    QTest::newRow("no edition in the profile") << QString() << 0 << comC << comS << comI;
}

void TestApp::editionSelectsViews() {
    QFETCH(QString, type);
    QFETCH(int, industry);
    QFETCH(QString, customerView);
    QFETCH(QString, supplierView);
    QFETCH(QString, itemView);
    if (type.isNull())
        m_db->acct->exec(
            QStringLiteral("delete from t_SystemProfile where FCategory='Base' and FKey='Type'"));
    else
        m_db->acct->exec(
            QStringLiteral("update t_SystemProfile set FValue=? where FCategory='Base' and FKey='Type'"),
            {type});
    auto start = std::make_unique<Session>(m_db->session);
    start->giIndustry = 1 - industry;
    start->gsCustomerView.clear();
    start->gsSystemLabel.clear();
    MainWindow window(std::move(start));
    const Session& session = window.session();
    QString opened;
    int linkId = 0;
    QTimer::singleShot(50, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(w->metaObject()->className());
            linkId = w->property("LinkID").isValid() ? w->property("LinkID").toInt() : -1;
            w->close();
        }
    });
    toolAction(window.mainBar, QStringLiteral("ItemMap"))->trigger();
    QCOMPARE(opened, QStringLiteral("MappingEditor"));
    QCOMPARE(session.giIndustry, industry);
    QCOMPARE(session.gsCustomerView, customerView);
    QCOMPARE(session.gsSupplierView, supplierView);
    QCOMPARE(session.gsItemView, itemView);
    QCOMPARE(session.gsSystemLabel, QStringLiteral("QOR系"));
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::mappingEditorReportsUnreadableProfile() {
    auto start = std::make_unique<Session>(m_db->session);
    start->gsAcctProps =
        QStringLiteral("{Provider=SQLite;Data Source=") + m_db->folder() + QStringLiteral("/gone.db}");
    MainWindow window(std::move(start));
    QCOMPARE(modalOpenedBy([&] { toolAction(window.mnuExchange, QStringLiteral("ItemMap"))->trigger(); }),
             QString());
    QCOMPARE(m_sink->texts(),
             QStringList{QStringLiteral(
                             "调用(ShowBaseItem)出错!\r\n错误编号:-2147467259,错误原因:找不到数据库文件“") +
                         m_db->folder() + QStringLiteral("/gone.db”。")});
}

void TestApp::inertToolsDoNothing_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("offered"); // false: greyed, saying the version has no such function
    QTest::newRow("Version on the System menu") << "mnuSystem"
                                                << "Version" << false;
    QTest::newRow("Version on the toolbar") << "MainBar"
                                            << "Version" << false;
    QTest::newRow("DBF import") << "MainBar"
                                << "ImpDBFData" << false;
    QTest::newRow("DBF export") << "MainBar"
                                << "ExpDBFData" << false;
    for (int i = 0; i < 4; ++i)
        QTest::newRow(qPrintable(QStringLiteral("window arrangement %1").arg(i)))
            << "mnuWindow" << QStringLiteral("Arrange%1").arg(i) << true;
}

void TestApp::inertToolsDoNothing() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    QFETCH(bool, offered);
    MainWindow window(std::make_unique<Session>(m_db->session));
    window.show();
    QAction* action = toolAction(window.findChild<QWidget*>(band), tool);
    QVERIFY(action);
    QCOMPARE(action->isEnabled(), offered);
    if (!offered) {
        QCOMPARE(action->toolTip(), QStringLiteral("本版本不提供此功能"));
        QCOMPARE(action->statusTip(), QStringLiteral("本版本不提供此功能"));
    }
    QCOMPARE(modalOpenedBy([&] { action->trigger(); }), QString());
    QVERIFY(window.isVisible());
    QVERIFY(m_sink->entries.isEmpty());
    QCOMPARE(m_db->acct->state(), 1);
}

// After a dialog of the main window closes, the main window is active again: its shortcut Ctrl+X
// (退出) works without a click.
void TestApp::shortcutsWorkAfterADialogCloses_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::newRow("about") << "mnuHelp"
                           << "About";
    QTest::newRow("link list") << "MainBar"
                               << "ExportData";
    QTest::newRow("help") << "MainBar"
                          << "HelpContents";
}

void TestApp::shortcutsWorkAfterADialogCloses() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    MainWindow window(std::make_unique<Session>(m_db->session));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(!modalOpenedBy([&] { toolAction(window.findChild<QWidget*>(band), tool)->trigger(); }).isEmpty());
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(m_db->acct->state(), 0);
}

// Every menu item is reached from the keyboard: a mnemonic of its own within its menu.
void TestApp::menuItemsHaveMnemonics() {
    MainWindow window(std::make_unique<Session>(m_db->session));
    const QList<QMenu*> menus = window.menuBar()->findChildren<QMenu*>();
    QVERIFY(menus.size() >= 4);
    for (QMenu* menu : menus) {
        QStringList keys;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("&(\\w)")).match(a->text());
            QVERIFY2(m.hasMatch(), qPrintable(menu->objectName() + u':' + a->text()));
            keys << m.captured(1).toUpper();
        }
        const QSet<QString> distinct(keys.begin(), keys.end());
        QVERIFY2(distinct.size() == keys.size(), qPrintable(menu->objectName() + u':' + keys.join(u',')));
    }
}

void TestApp::exitFromEveryBandClosesConnections_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("caption");
    QTest::newRow("System menu") << "mnuSystem"
                                 << "退出(&X)";
    QTest::newRow("Exchange menu") << "mnuExchange"
                                   << "退出(&X)";
    QTest::newRow("toolbar") << "MainBar"
                             << "退出";
}

void TestApp::exitFromEveryBandClosesConnections() {
    QFETCH(QString, band);
    QFETCH(QString, caption);
    MainWindow window(std::make_unique<Session>(m_db->session));
    window.show();
    QAction* exit = toolAction(window.findChild<QWidget*>(band), QStringLiteral("Exit"));
    QVERIFY(exit);
    QCOMPARE(exit->text(), caption);
    exit->trigger();
    QVERIFY(!window.isVisible());
    QCOMPARE(m_db->config->state(), 0);
    QCOMPARE(m_db->acct->state(), 0);
    QVERIFY(m_sink->entries.isEmpty());
}

void TestApp::helpShowsTheShippedGuide() {
    HelpWindow help;
    help.init(1);
    const QString text = help.txtHelp->toPlainText();
    QVERIFY(text.contains(QStringLiteral("使用说明")));
    QVERIFY(text.contains(QStringLiteral("taxferry-batch")));
}

void TestApp::commandsOpenTheirWindows_data() {
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("window");
    QTest::newRow("help from the menu") << "mnuHelp"
                                        << "HelpContents"
                                        << "HelpWindow";
    QTest::newRow("help from the toolbar") << "MainBar"
                                           << "HelpContents"
                                           << "HelpWindow";
    QTest::newRow("about") << "mnuHelp"
                           << "About"
                           << "AboutDialog";
    QTest::newRow("export from the toolbar") << "MainBar"
                                             << "ExportData"
                                             << "LinkListWindow";
    QTest::newRow("export from the menu") << "mnuExchange"
                                          << "ExportData"
                                          << "LinkListWindow";
    QTest::newRow("import") << "MainBar"
                            << "ImpTxtData"
                            << "ImportWindow";
    QTest::newRow("mapping") << "mnuExchange"
                             << "ItemMap"
                             << "MappingEditor";
}

void TestApp::commandsOpenTheirWindows() {
    QFETCH(QString, band);
    QFETCH(QString, tool);
    QFETCH(QString, window);
    MainWindow main(std::make_unique<Session>(m_db->session));
    main.show();
    QCOMPARE(modalOpenedBy([&] { toolAction(main.findChild<QWidget*>(band), tool)->trigger(); }), window);
    QVERIFY(m_sink->entries.isEmpty());
    QVERIFY(main.isVisible());
}
