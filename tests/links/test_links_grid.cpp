// The link wizard's windows driven headless: the spread grid and the expression editor, and the wizard
// fixtures.
#include "test_links.h"

// The messages of a save, without the questions that ask to save a link the tax system would refuse or
// read out of place.
QStringList TestLinks::SavedTexts() const {
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

std::unique_ptr<frmNew> TestLinks::openWizard(int status, const QString& key) {
    auto w = std::make_unique<frmNew>(m_db->session);
    w->Status = status;
    w->Key = key;
    w->InOrOut = 0;
    w->Init();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) qWarning("wizard not exposed");
    return w;
}

void TestLinks::toStepTwo(frmNew* w, const QString& name, int type) {
    w->txtLinkName->setText(name);
    w->cboType->setCurrentIndex(type);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
}

// Fills rows of a grid as a user does, each "row|tax field|accounting field": an empty tax field is
// not picked; "=formula" ticks the formula box and accepts the formula in the editor, a bare "="
// only ticks the box.
void TestLinks::fill(frmNew* w, bool head, const QStringList& rows) {
    FpGrid* g = head ? w->fpHead : w->fpBody;
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
        QCOMPARE(m_editor.opened, !g->Text(TaxField, r).trimmed().isEmpty());
        QVERIFY(!m_editor.stillOpenAfterOk);
    }
}

// ---- grid utilities -------------------------------------------------------------------------

void TestLinks::formattedGrid() {
    FpGrid g;
    FormatFpGrid(&g);
    FillFieldLists(m_db->session, &g, true);
    QCOMPARE(g.MaxCols(), 7);
    QCOMPARE(g.MaxRows(), 50);
    QCOMPARE(g.horizontalHeaderItem(0)->text(), QStringLiteral("序号"));
    QCOMPARE(g.item(49, 0)->text(), QStringLiteral("50"));
    QVERIFY(g.isColumnHidden(TaxID) && g.isColumnHidden(QorID) && !g.isColumnHidden(Formula));
    QVERIFY(g.Locked(FieldType, 1) && g.Locked(FieldType, 50) && !g.Locked(QorField, 1));
    QCOMPARE(g.Kind(TaxField, 50), CellType::Combo);
    QCOMPARE(g.Kind(IsFormula, 1), CellType::Check);
    QCOMPARE(g.Kind(Formula, 1), CellType::Edit);
    QCOMPARE(g.Items(TaxField, 1).size(), 12);
    // A column outside the grid changes nothing.
    SetComboColumn(&g, 0, QStringLiteral("a\tb\t"));
    SetComboColumn(&g, 8, QStringLiteral("a\tb\t"));
    QCOMPARE(g.Kind(Formula, 1), CellType::Edit);
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
    FpGrid g;
    InitSpreadGrid(&g);
    g.SetMaxCols(2);
    g.SetMaxRows(1);
    g.SetText(1, 1, QStringLiteral("a"));
    g.SetActiveRow(1);
    EditGridRow(&g, operation);
    QCOMPARE(g.MaxRows(), 1);
    QCOMPARE(g.Text(1, 1), QStringLiteral("a"));
}

void TestLinks::clearRowKeepsCellKinds() {
    FpGrid g;
    FormatFpGrid(&g);
    FillFieldLists(m_db->session, &g, true);
    g.SetText(TaxField, 2, QStringLiteral("x|1|1"));
    g.SetText(IsFormula, 2, QStringLiteral("1"));
    SetButtonCell(&g, Formula, 2);
    g.SetCaption(Formula, 2, QStringLiteral("f"));
    g.SetText(TaxField, 3, QStringLiteral("keep"));
    g.SetActiveRow(2);
    EditGridRow(&g, 2);
    QCOMPARE(g.MaxRows(), 50);
    QCOMPARE(g.Text(TaxField, 2) + g.Text(IsFormula, 2) + g.Caption(Formula, 2), QString());
    QCOMPARE(g.Kind(Formula, 2), CellType::Button);
    QCOMPARE(g.Kind(TaxField, 2), CellType::Combo);
    QCOMPARE(g.Text(TaxField, 3), QStringLiteral("keep"));
}

void TestLinks::onlyUserPicksRaiseChange() {
    FpGrid g;
    FormatFpGrid(&g);
    FillFieldLists(m_db->session, &g, false);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QSignalSpy spy(&g, &FpGrid::Change);
    g.SetText(TaxField, 1, g.Items(TaxField, 1).first());
    g.SetText(QorField, 1, QStringLiteral("货物名称"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(pick(&g, TaxField, 4, QStringLiteral("数量")));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0], (QList<QVariant>{TaxField, 4}));
    QCOMPARE(FpGrid::VisibleText(g.Text(TaxField, 4)), QStringLiteral("数量"));
    // Leaving a drop-down without a pick changes nothing.
    g.setCurrentIndex(g.model()->index(1, QorField));
    g.setCurrentIndex(g.model()->index(2, TaxField));
    QCOMPARE(g.Text(QorField, 2), QString());
    QCOMPARE(spy.count(), 1);
}

// ---- expression editor ----------------------------------------------------------------------

void TestLinks::editorEditingActions() {
    frmEditExpression d(m_db->session);
    d.isHead = true;
    d.LoadData();
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
    frmEditExpression d(m_db->session);
    d.isHead = true;
    d.DataType = 3;
    d.LoadData();
    d.show();
    d.txtExp->setPlainText(QStringLiteral("[3/购方名称]"));
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("【3/购方名称】为非数值型！")});
    QVERIFY(d.isVisible() && !d.Ok());

    // Testing a good formula keeps the window open.
    m_sink->clear();
    d.txtExp->setPlainText(QStringLiteral("  [18/发票价税合计] / 1.13 \n"));
    QTest::mouseClick(d.CmdVerity, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("表达式语法正确！")});
    QVERIFY(d.isVisible() && !d.Ok());
    QCOMPARE(d.ReturnFieldName(), QStringLiteral("FBillAmount / 1.13"));
    QCOMPARE(d.ReturnFieldDesc(), QString());

    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(d.Ok());
    QCOMPARE(d.ReturnFieldDesc(), QStringLiteral("[18/发票价税合计] / 1.13"));
    QCOMPARE(d.ReturnFieldName(), QStringLiteral("FBillAmount / 1.13"));
    QCOMPARE(d.ReturnFieldID(), QStringLiteral("18 / 1.13"));

    frmEditExpression cancelled(m_db->session);
    cancelled.LoadData();
    cancelled.show();
    cancelled.txtExp->setPlainText(QStringLiteral("[1/单据号]"));
    QTest::mouseClick(cancelled.btnCancel, Qt::LeftButton);
    QVERIFY(!cancelled.Ok());
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestLinks)
