// The link wizard's windows driven headless: the spread grid and the expression editor, and the wizard
// fixtures.
#include "test_links.h"

// The messages of a save, without the questions that ask to save a link the tax system would refuse or
// read out of place.
QStringList TestLinks::savedTexts() const {
    QStringList t;
    for (const RecorderSink::Entry& e : m_sink->entries)
        if (e.kind != RecorderSink::Question) t << e.text;
    return t;
}

void TestLinks::init() {
    m_db = std::make_unique<TestDatabases>();
    m_sink = std::make_unique<RecorderSink>();
    m_db->session.today = QDate(2026, 3, 15);
}

void TestLinks::cleanup() {
    m_sink.reset();
    m_db.reset();
}

std::unique_ptr<LinkWizard> TestLinks::openWizard(int status, const QString& key) {
    auto w = std::make_unique<LinkWizard>(m_db->session);
    w->status = status;
    w->key = key;
    w->inOrOut = 0;
    w->init();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) qWarning("wizard not exposed");
    return w;
}

void TestLinks::toStepTwo(LinkWizard* w, const QString& name, int type) {
    w->txtLinkName->setText(name);
    w->cboType->setCurrentIndex(type);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
}

// Fills rows of a grid as a user does, each "row|tax field|accounting field": an empty tax field is
// not picked; "=formula" ticks the formula box and accepts the formula in the editor, a bare "="
// only ticks the box.
void TestLinks::testFill(LinkWizard* w, bool head, const QStringList& rows) {
    FieldGrid* g = head ? w->fpHead : w->fpBody;
    w->STAB->setCurrentIndex(head ? 0 : 1);
    for (const QString& row : rows) {
        const QStringList p = row.split(u'|');
        const int r = p[0].toInt();
        if (!p[1].isEmpty()) QVERIFY(pick(g, TaxField, r, p[1]));
        if (!p[2].startsWith(u'=')) {
            if (!p[2].isEmpty()) QVERIFY(pick(g, QorField, r, p[2]));
            continue;
        }
        clickCell(g, IsFormula, r);
        if (p[2].size() == 1) continue;
        m_editor = EditorAnswer();
        answerEditor(&m_editor, p[2].mid(1));
        clickCell(g, Formula, r);
        QApplication::processEvents();
        // The button of a row without a tax field opens nothing.
        QCOMPARE(m_editor.opened, !g->text(TaxField, r).trimmed().isEmpty());
        QVERIFY(!m_editor.stillOpenAfterOk);
    }
}

// ---- grid utilities -------------------------------------------------------------------------

void TestLinks::formattedGrid() {
    FieldGrid g;
    formatFpGrid(&g);
    fillFieldLists(m_db->session, &g, true);
    QCOMPARE(g.maxCols(), 7);
    QCOMPARE(g.maxRows(), 50);
    QCOMPARE(g.horizontalHeaderItem(0)->text(), QStringLiteral("序号"));
    QCOMPARE(g.item(49, 0)->text(), QStringLiteral("50"));
    QVERIFY(g.isColumnHidden(TaxID) && g.isColumnHidden(QorID) && !g.isColumnHidden(Formula));
    QVERIFY(g.locked(FieldType, 1) && g.locked(FieldType, 50) && !g.locked(QorField, 1));
    QCOMPARE(g.kind(TaxField, 50), CellType::Combo);
    QCOMPARE(g.kind(IsFormula, 1), CellType::Check);
    QCOMPARE(g.kind(Formula, 1), CellType::Edit);
    QCOMPARE(g.items(TaxField, 1).size(), 12);
    // A column outside the grid changes nothing.
    setComboColumn(&g, 0, QStringLiteral("a\tb\t"));
    setComboColumn(&g, 8, QStringLiteral("a\tb\t"));
    QCOMPARE(g.kind(Formula, 1), CellType::Edit);
    QCOMPARE(g.item(0, 0)->text(), QStringLiteral("1"));
}

void TestLinks::oneRowGridIsNeverEdited_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("delete") << 1;
    QTest::newRow("clear row") << 2;
    QTest::newRow("insert") << 3;
    QTest::newRow("clear all") << 4;
}

void TestLinks::oneRowGridIsNeverEdited() {
    QFETCH(int, operation);
    FieldGrid g;
    initSpreadGrid(&g);
    g.setMaxCols(2);
    g.setMaxRows(1);
    g.setText(1, 1, QStringLiteral("a"));
    g.setActiveRow(1);
    editGridRow(&g, operation);
    QCOMPARE(g.maxRows(), 1);
    QCOMPARE(g.text(1, 1), QStringLiteral("a"));
}

void TestLinks::clearRowKeepsCellKinds() {
    FieldGrid g;
    formatFpGrid(&g);
    fillFieldLists(m_db->session, &g, true);
    g.setText(TaxField, 2, QStringLiteral("x|1|1"));
    g.setText(IsFormula, 2, QStringLiteral("1"));
    setButtonCell(&g, Formula, 2);
    g.setCaption(Formula, 2, QStringLiteral("f"));
    g.setText(TaxField, 3, QStringLiteral("keep"));
    g.setActiveRow(2);
    editGridRow(&g, 2);
    QCOMPARE(g.maxRows(), 50);
    QCOMPARE(g.text(TaxField, 2) + g.text(IsFormula, 2) + g.caption(Formula, 2), QString());
    QCOMPARE(g.kind(Formula, 2), CellType::Button);
    QCOMPARE(g.kind(TaxField, 2), CellType::Combo);
    QCOMPARE(g.text(TaxField, 3), QStringLiteral("keep"));
}

void TestLinks::onlyUserPicksRaiseChange() {
    FieldGrid g;
    formatFpGrid(&g);
    fillFieldLists(m_db->session, &g, false);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QSignalSpy spy(&g, &FieldGrid::change);
    g.setText(TaxField, 1, g.items(TaxField, 1).first());
    g.setText(QorField, 1, QStringLiteral("货物名称"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(pick(&g, TaxField, 4, QStringLiteral("数量")));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0], (QList<QVariant>{TaxField, 4}));
    QCOMPARE(FieldGrid::visibleText(g.text(TaxField, 4)), QStringLiteral("数量"));
    // Leaving a drop-down without a pick changes nothing.
    g.setCurrentIndex(g.model()->index(1, QorField));
    g.setCurrentIndex(g.model()->index(2, TaxField));
    QCOMPARE(g.text(QorField, 2), QString());
    QCOMPARE(spy.count(), 1);
}

// ---- expression editor ----------------------------------------------------------------------

void TestLinks::editorEditingActions() {
    ExpressionDialog d(m_db->session);
    d.isHead = true;
    d.loadData();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.lstFields->count(), 18); // head fields only
    QVERIFY(d.lstFields->findItems(QStringLiteral("21/货物名称"), Qt::MatchExactly).isEmpty());
    for (int i = 6; i < 10; ++i)
        QVERIFY(d.cmdOperator[i]->isHidden());

    // A reference goes in at the caret with one blank after it.
    d.txtExp->setPlainText(QStringLiteral("LEFT(,4)"));
    QTextCursor c = d.txtExp->textCursor();
    c.setPosition(5);
    d.txtExp->setTextCursor(c);
    QListWidgetItem* item = d.lstFields->findItems(QStringLiteral("3/购方名称"), Qt::MatchExactly).first();
    d.lstFields->setCurrentItem(item);
    const QPoint at = d.lstFields->visualItemRect(item).center();
    QTest::mouseClick(d.lstFields->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(d.lstFields->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(d.txtExp->toPlainText(), QStringLiteral("LEFT([3/购方名称] ,4)"));

    // An operator replaces the selection.
    c = d.txtExp->textCursor();
    c.setPosition(14);
    c.setPosition(16, QTextCursor::KeepAnchor);
    d.txtExp->setTextCursor(c);
    QTest::mouseClick(d.cmdOperator[4], Qt::LeftButton);
    QCOMPARE(d.txtExp->toPlainText(), QStringLiteral("LEFT([3/购方名称] *)"));

    // A function goes in with its parentheses and the caret inside them.
    QTest::mouseClick(d.cmdClear, Qt::LeftButton);
    QCOMPARE(d.txtExp->toPlainText(), QString());
    d.cmdOperator[7]->click();
    QCOMPARE(d.txtExp->toPlainText(), QStringLiteral("RIGHT( )"));
    QCOMPARE(d.txtExp->textCursor().position(), 6);
}

void TestLinks::editorOkOnlyAfterVerification() {
    ExpressionDialog d(m_db->session);
    d.isHead = true;
    d.dataType = 3;
    d.loadData();
    d.show();
    d.txtExp->setPlainText(QStringLiteral("[3/购方名称]"));
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("【3/购方名称】为非数值型！")});
    QVERIFY(d.isVisible() && !d.ok());

    // Testing a good formula keeps the window open.
    m_sink->clear();
    d.txtExp->setPlainText(QStringLiteral("  [18/发票价税合计] / 1.13 \n"));
    QTest::mouseClick(d.cmdVerity, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("表达式语法正确！")});
    QVERIFY(d.isVisible() && !d.ok());
    QCOMPARE(d.returnFieldName(), QStringLiteral("FBillAmount / 1.13"));
    QCOMPARE(d.returnFieldDesc(), QString());

    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(d.ok());
    QCOMPARE(d.returnFieldDesc(), QStringLiteral("[18/发票价税合计] / 1.13"));
    QCOMPARE(d.returnFieldName(), QStringLiteral("FBillAmount / 1.13"));
    QCOMPARE(d.returnFieldId(), QStringLiteral("18 / 1.13"));

    ExpressionDialog cancelled(m_db->session);
    cancelled.loadData();
    cancelled.show();
    cancelled.txtExp->setPlainText(QStringLiteral("[1/单据号]"));
    QTest::mouseClick(cancelled.btnCancel, Qt::LeftButton);
    QVERIFY(!cancelled.ok());
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestLinks)
