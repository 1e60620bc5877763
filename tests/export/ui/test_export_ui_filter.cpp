// The export windows headless: the filter window.
#include "test_export_ui.h"

namespace {
const QString kFirstUse =
    QStringLiteral("2026-03-15|2026-03-15||||||||||||"); // two dates, twelve empty values
} // namespace

void TestExportUi::init() {
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Taxferry"), QStringLiteral("QOR"))
        .clear();
    m_db = std::make_unique<TestDatabases>();
    m_db->session.today = QDate(2026, 3, 15);
}

// The condition text at OK, and what the next dialog shows (read through its own OK).
void TestExportUi::filterCondition_data() {
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("reopened");
    const QString typed = QStringLiteral("2026-01-01|2026-03-15|XS'01|||||||||||李复核");
    QTest::newRow("first use: today and twelve empty values") << false << true << kFirstUse << kFirstUse;
    QTest::newRow("typed values are trimmed and remembered") << true << true << typed << typed;
    QTest::newRow("cancel saves nothing") << true << false << QString() << kFirstUse;
}

void TestExportUi::filterCondition() {
    QFETCH(bool, typed);
    QFETCH(bool, ok);
    QFETCH(QString, condition);
    QFETCH(QString, reopened);
    {
        ExportFilterDialog f(m_db->session);
        f.init();
        if (typed) {
            f.dtFrom->setDate(QDate(2026, 1, 1));
            QTest::keyClicks(f.txtItemFrom[0], QStringLiteral("  XS'01 "));
            f.txtItemTo[5]->insert(QStringLiteral(" 李复核"));
        }
        clickButton(&f, ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
        QCOMPARE(f.ok(), ok);
        QCOMPARE(f.returnCondition(), condition);
    }
    ExportFilterDialog again(m_db->session);
    again.init();
    clickButton(&again, QStringLiteral("cmdOK"));
    QCOMPARE(again.returnCondition(), reopened);
}

// A start after the end is refused at OK: the dialog stays open with the start date to correct.
void TestExportUi::filterDateRange_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("one day") << QDate(2026, 3, 1) << QDate(2026, 3, 1) << true;
    QTest::newRow("start before end") << QDate(2025, 12, 31) << QDate(2026, 1, 1) << true;
    QTest::newRow("start a day after end") << QDate(2026, 1, 2) << QDate(2026, 1, 1) << false;
    QTest::newRow("start a year after end") << QDate(2027, 1, 1) << QDate(2026, 1, 1) << false;
}

void TestExportUi::filterDateRange() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(bool, accepted);
    RecorderSink sink;
    ExportFilterDialog f(m_db->session);
    f.init();
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.dtFrom->setDate(from);
    f.dtTo->setDate(to);
    f.cmdCancel->setFocus();
    clickButton(&f, QStringLiteral("cmdOK"));
    QCOMPARE(f.ok(), accepted);
    QCOMPARE(f.isVisible(), !accepted);
    QCOMPARE(sink.texts(), accepted ? QStringList() : QStringList{"开始日期不能晚于结束日期！"});
    if (!accepted) {
        QCOMPARE(QApplication::focusWidget(), f.dtFrom);
        QCOMPARE(f.returnCondition(), QString());
        // Nothing is remembered from a refused range.
        ExportFilterDialog again(m_db->session);
        again.init();
        QCOMPARE(again.dtFrom->date(), m_db->session.runDay());
    }
}

void TestExportUi::filterPickers() {
    QStringList asked;
    QString choice = QStringLiteral("X");
    TestChooser chooser([&](const QString& kind) {
        asked << kind;
        return choice;
    });
    m_db->session.itemChooser = &chooser;
    ExportFilterDialog f(m_db->session);
    f.init();
    for (int i = 0; i < 6; ++i) {
        for (QToolButton* b : {f.cmdItemfrom[i], f.cmdItemto[i]})
            if (b->isEnabled()) QTest::mouseClick(b, Qt::LeftButton);
    }
    // The invoice number has no picker, even when called directly.
    f.cmdItemfrom_Click(0);
    f.cmdItemto_Click(0);
    const QString cust = QStringLiteral("SelCust"), dept = QStringLiteral("SelDepartment"),
                  emp = QStringLiteral("SelBaseEmployee"), user = QStringLiteral("SelLoginUser");
    QCOMPARE(asked, (QStringList{cust, cust, dept, dept, emp, emp, user, user, user, user}));
    // A picker closed without a choice, or failing, leaves the box unchanged.
    choice.clear();
    f.txtItemFrom[1]->setText(QStringLiteral("old"));
    QTest::mouseClick(f.cmdItemfrom[1], Qt::LeftButton);
    RecorderSink sink;
    TestChooser failing(
        [](const QString&) -> QString { throw DbError(ErrNo::General, QStringLiteral("选择组件不可用")); });
    m_db->session.itemChooser = &failing;
    QTest::mouseClick(f.cmdItemto[1], Qt::LeftButton);
    QCOMPARE(sink.texts(), QStringList{"调用(GetItemData)出错!\r\n错误编号:5,错误原因:选择组件不可用"});
    clickButton(&f, QStringLiteral("cmdOK"));
    QCOMPARE(f.returnCondition(), QStringLiteral("2026-03-15|2026-03-15|||old|X|X|X|X|X|X|X|X|X"));
}

QTEST_MAIN(TestExportUi)
