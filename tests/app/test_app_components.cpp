// The host components: the picker and the message boxes, and Qt's own windows in Chinese.
#include "test_app.h"

namespace {
// A button's caption without its mnemonic: "保存(&S)" → "保存".
QString caption(const QAbstractButton* b) {
    return b ? b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&') : QString();
}
} // namespace

// ---- host components ------------------------------------------------------------------------

void TestApp::pickerReturnsCode_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("result");
    QTest::newRow("customer by name") << "SelCust"
                                      << "浦江"
                                      << "选择客户"
                                      << "01.002";
    QTest::newRow("customer with a quote") << "SelCust"
                                           << "O'Brien"
                                           << "选择客户"
                                           << "01.004";
    QTest::newRow("department by code") << "SelDepartment"
                                        << "03"
                                        << "选择部门"
                                        << "03";
    QTest::newRow("employee") << "SelBaseEmployee"
                              << "周强"
                              << "选择职员"
                              << "003";
    QTest::newRow("login user gives the user name") << "SelLoginUser"
                                                    << "复核"
                                                    << "选择用户"
                                                    << "李复核";
    QTest::newRow("system accounts are not listed") << "SelLoginUser"
                                                    << "sync"
                                                    << "选择用户"
                                                    << "";
}

void TestApp::pickerReturnsCode() {
    QFETCH(QString, kind);
    QFETCH(QString, find);
    QFETCH(QString, caption);
    QFETCH(QString, result);
    QString shownCaption;
    onNextModal([&](QWidget* w) {
        shownCaption = w->windowTitle();
        w->findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(find);
        w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        if (QWidget* box = QApplication::activeModalWidget(); box && box != w) box->close();
        if (w->isVisible()) w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    BaseDataLookup look(m_db->acct);
    look.showForm(kind);
    QCOMPARE(shownCaption, caption);
    QCOMPARE(look.returnValue(), result);
    QCOMPARE(m_sink->texts(),
             result.isEmpty() ? QStringList{QStringLiteral("请选择一条记录!")} : QStringList());
    QCOMPARE(m_db->acct->state(), 1); // the connection comes back unchanged
}

void TestApp::pickerCancelAndUnknownKind() {
    onNextModal([](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click(); });
    BaseDataLookup look(m_db->acct);
    look.showForm(QStringLiteral("SelCust"));
    QCOMPARE(look.returnValue(), QString());
    try {
        look.showForm(QStringLiteral("SelSupplier"));
        QFAIL("an unknown kind must raise an error");
    } catch (const DbError& e) {
        QCOMPARE(e.description(), QStringLiteral("无效的选择类型: SelSupplier"));
    }
}

void TestApp::messageBoxes_data() {
    QTest::addColumn<int>("which"); // 0 showMsg, 1 showErr, 2 askYesNo
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("defaultButton");
    QTest::newRow("notice") << 0 << int(QMessageBox::Information) << "引入成功!" << int(QMessageBox::Ok);
    QTest::newRow("error report") << 1 << int(QMessageBox::Warning)
                                  << "调用(SaveLink)出错!\r\n错误编号:13,错误原因:类型不匹配"
                                  << int(QMessageBox::Ok);
    QTest::newRow("question defaults to No")
        << 2 << int(QMessageBox::Question) << "是否覆盖?" << int(QMessageBox::No);
}

void TestApp::messageBoxes() {
    QFETCH(int, which);
    QFETCH(int, icon);
    QFETCH(QString, text);
    QFETCH(int, defaultButton);
    MessageBoxSink boxes;
    MessageSink* previous = setMessageSink(&boxes);
    QString title, shownText;
    int shownIcon = -1, shownDefault = -1, titleRoom = -1;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        title = box->windowTitle();
        shownText = box->text();
        shownIcon = box->icon();
        shownDefault = box->standardButton(box->defaultButton());
        // Wide enough for the title in a bold title font and the title bar's icon and three buttons.
        QFont bold = box->font();
        bold.setBold(true);
        titleRoom = box->width() - QFontMetrics(bold).horizontalAdvance(box->windowTitle());
        QTest::keyClick(box, Qt::Key_Return); // the default button
    });
    bool answer = true;
    if (which == 0)
        showMsg(text);
    else if (which == 1)
        showErr(QStringLiteral("SaveLink"), DbError(13, QStringLiteral("类型不匹配")));
    else
        answer = askYesNo(text);
    setMessageSink(previous);
    QCOMPARE(title, QStringLiteral("Orvane提示"));
    QCOMPARE(shownText, text);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownDefault, defaultButton);
    QVERIFY2(titleRoom >= 140, qPrintable(QString::number(titleRoom)));
    if (which == 2) QVERIFY(!answer);
}

// Qt's own windows speak Chinese: the message boxes' buttons, the save dialog of the export and the
// calendar of the filter's date pickers.
void TestApp::qtTextsInChinese() {
    MessageBoxSink boxes;
    MessageSink* previous = setMessageSink(&boxes);
    QStringList questionButtons, noticeButtons;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        questionButtons << caption(box->button(QMessageBox::Yes)) << caption(box->button(QMessageBox::No));
        box->button(QMessageBox::No)->click();
    });
    askYesNo(QStringLiteral("是否覆盖?"));
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        noticeButtons << caption(box->button(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    showMsg(QStringLiteral("引入成功!"));
    setMessageSink(previous);
    QCOMPARE(questionButtons, (QStringList{"是", "否"}));
    QCOMPARE(noticeButtons, QStringList{"确定"});

    ExportWindow exportWindow(m_db->session);
    QStringList dialogButtons;
    onNextModal([&](QWidget* w) {
        auto* buttons = w ? w->findChild<QDialogButtonBox*>() : nullptr;
        if (buttons)
            for (QAbstractButton* b : buttons->buttons())
                dialogButtons << caption(b);
        if (w) w->close();
    });
    exportWindow.findChild<QAbstractButton*>(QStringLiteral("btnOpenFile"))->click();
    dialogButtons.sort();
    QCOMPARE(dialogButtons, (QStringList{"保存", "取消"}));

    ExportFilterDialog filter(m_db->session);
    filter.init();
    filter.dtFrom->setDate(QDate(2026, 3, 15));
    auto* month =
        filter.dtFrom->calendarWidget()->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    QVERIFY(month);
    QCOMPARE(month->text(), QStringLiteral("三月"));
}
