// The link wizard's windows driven headless: the spread grid, the expression editor and frmNew.
#include "common/modFunction.h"
#include "links/WizardGridUi.h"
#include "links/frmEditExpression.h"
#include "links/frmList.h"
#include "links/frmNew.h"
#include "links/modGridUi.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QtTest>

using namespace GridCol;

namespace {

// The user opens the drop-down of a cell and picks the item whose visible text is name.
bool pick(FpGrid* g, int col, int row, const QString& name) {
    const QStringList items = g->Items(col, row);
    int index = -1;
    for (int i = 0; i < items.size(); ++i)
        if (FpGrid::VisibleText(items[i]) == name) index = i;
    if (index < 0) return false;
    const QModelIndex at = g->model()->index(row - 1, col);
    g->setCurrentIndex(at);
    if (!g->indexWidget(at)) g->edit(at);
    auto* cb = qobject_cast<QComboBox*>(g->indexWidget(at));
    if (!cb) return false;
    cb->setCurrentIndex(index);
    Q_EMIT cb->activated(index);
    QApplication::processEvents();
    return true;
}

// The user clicks a cell (a check box or a button).
void clickCell(FpGrid* g, int col, int row) {
    const QModelIndex at = g->model()->index(row - 1, col);
    g->scrollTo(at);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(at).center());
    QApplication::processEvents();
}

// What the expression editor opened by the next action showed, answered with a text and OK or Cancel.
struct EditorAnswer {
    QString shown;
    int dataType = -1;
    bool opened = false;
    bool stillOpenAfterOk = false;
};

void answerEditor(EditorAnswer* answer, const QString& text, bool ok = true) {
    QTimer::singleShot(0, [answer, text, ok] {
        auto* d = qobject_cast<frmEditExpression*>(QApplication::activeModalWidget());
        if (!d) return;
        answer->opened = true;
        answer->shown = d->txtExp->toPlainText();
        answer->dataType = d->DataType;
        d->txtExp->setPlainText(text);
        QTest::mouseClick(ok ? d->btnOK : d->btnCancel, Qt::LeftButton);
        if (d->isVisible()) {
            answer->stillOpenAfterOk = true;
            d->reject();
        }
    });
}

// The FID of the link named name, as text.
QString SavedLinkKey(Connection& c, const QString& name) {
    return c.Query(QStringLiteral("select FID from t_BaseInfo where FName=?"), {name})->value(0).toString();
}

int count(Connection& c, const QString& sql) {
    return c.Query(sql)->value(0).toInt();
}

// The rows of a query, each as its values joined by ";".
QStringList rowsOf(Connection& c, const QString& sql) {
    QStringList out;
    const RecordsetPtr rs = c.Query(sql);
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        QStringList values;
        for (int i = 0; i < rs->FieldCount(); ++i)
            values << rs->value(i).toString();
        out << values.join(u';');
    }
    return out;
}

const QString kBillNo = QStringLiteral("1|单据号|单据号");
const QString kItem = QStringLiteral("1|货物名称|货物名称");
// A stored row that keeps a field of the text layout empty (FTaxID, FisFormula, FQORField, FisHead).
const QString kEmptyHead = QStringLiteral("%1;1;''|''|'';1");
const QString kEmptyBody = QStringLiteral("%1;1;''|''|'';0");

} // namespace

class TestLinks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    // grid utilities
    void formattedGrid();
    void oneRowGridIsNeverEdited_data();
    void oneRowGridIsNeverEdited();
    void clearRowKeepsCellKinds();
    void onlyUserPicksRaiseChange();

    // expression editor
    void editorEditingActions();
    void editorOkOnlyAfterVerification();

    // wizard
    void firstStepChecks_data();
    void firstStepChecks();
    void newLinkSavedWithHeadBodyAndFormula();
    void editKeepsFidAndRewritesRows();
    void workbookFormatMapsTheHeadings();
    void editUnknownKeyOpensEmpty_data();
    void editUnknownKeyOpensEmpty();
    void finishMessages_data();
    void finishMessages();
    void previousNextKeepGridsAndCancelSavesNothing();
    void gapsRemovedOnReload();
    void insertAndDeleteKeepFiftyRows();
    void insertRefusedWhenLastRowMapped();
    void untickingFormulaDropsStaleFormula();
    void longFieldNameKeepsItsIdentifiers();
    void layoutGapAskedBeforeSaving_data();
    void layoutGapAskedBeforeSaving();
    void savedGapLinkExportsAndNamesTheGap();

    // link list and export
    void listNewAndEditOpenTheWizard();
    void listReadyForTheKeyboard_data();
    void listReadyForTheKeyboard();
    void wizardLinkExportsAsItsGridsSay();

private:
    std::unique_ptr<frmNew> openWizard(int status = 0, const QString& key = QString());
    void toStepTwo(frmNew* w, const QString& name = QStringLiteral("测试关联"), int type = 0);
    void fill(frmNew* w, bool head, const QStringList& rows);

    QStringList SavedTexts() const;
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
    EditorAnswer m_editor; // the last editor opened by fill
};

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

// ---- wizard ---------------------------------------------------------------------------------

void TestLinks::firstStepChecks_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const auto add = [](const char* row, const QString& name, int type, const QString& separator,
                        const QString& message, const QString& focus) {
        QTest::newRow(row) << name << type << separator << message << focus;
    };
    add("no name", "", 0, "~~", "请输入关联名称！", "txtLinkName");
    add("name of blanks", "   ", 0, "~~", "请输入关联名称！", "txtLinkName");
    add("no invoice type", "a", -1, "~~", "请选择发票类型！", "cboType");
    add("separator of blanks", "a", 1, "  ", "请输入分隔符！", "txtCompartChar");
    add("complete", "a", 1, ",", "", "");
}

void TestLinks::firstStepChecks() {
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, separator);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    auto w = openWizard();
    // A new link opens on step 1, empty but for the proposed separator.
    QCOMPARE(w->txtCompartChar->text(), QStringLiteral("~~"));
    QCOMPARE(w->txtLinkName->text() + w->txtNote->toPlainText(), QString());
    QCOMPARE(w->cboType->currentIndex(), -1);
    QVERIFY(w->fraStep[0]->isVisible() && !w->fraStep[1]->isVisible());
    QVERIFY(!w->cmdPrevious->isEnabled() && w->cmdNext->isEnabled() && !w->cmdFinish->isEnabled());

    w->activateWindow();
    w->txtLinkName->setText(name);
    w->cboType->setCurrentIndex(type);
    w->txtCompartChar->setText(separator);
    w->cmdNext->setFocus();
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(w->Step(), message.isEmpty() ? 1 : 0);
    if (!focus.isEmpty()) {
        QVERIFY(w->focusWidget());
        QCOMPARE(w->focusWidget()->objectName(), focus);
    } else {
        QVERIFY(w->fraStep[1]->isVisible() && !w->fraStep[0]->isVisible());
        QVERIFY(w->cmdPrevious->isEnabled() && !w->cmdNext->isEnabled() && w->cmdFinish->isEnabled());
    }
}

void TestLinks::newLinkSavedWithHeadBodyAndFormula() {
    auto w = openWizard();
    w->txtNote->setPlainText(QStringLiteral("  月末引出  "));
    w->txtCompartChar->setText(QStringLiteral(" ## "));
    toStepTwo(w.get(), QStringLiteral("  普通票引出 "), 1);
    QCOMPARE(w->Step(), 1);

    FpGrid* h = w->fpHead;
    fill(w.get(), true, {kBillNo});
    QCOMPARE(h->Text(FieldType, 1), QStringLiteral("文本"));
    QCOMPARE(h->Text(TaxID, 1), QStringLiteral("1"));
    QCOMPARE(h->Text(QorID, 1), QStringLiteral("1"));
    // Row 2: a formula.
    QVERIFY(pick(h, TaxField, 2, QStringLiteral("备注")));
    QCOMPARE(h->Text(TaxID, 2), QStringLiteral("7"));
    clickCell(h, IsFormula, 2);
    QCOMPARE(h->Text(IsFormula, 2), QStringLiteral("1"));
    QCOMPARE(h->Kind(Formula, 2), CellType::Button);
    QVERIFY(h->Locked(QorField, 2));
    EditorAnswer answer;
    answerEditor(&answer, QStringLiteral("upper([3/购方名称])"));
    clickCell(h, Formula, 2);
    QVERIFY(answer.opened && !answer.stillOpenAfterOk);
    QCOMPARE(answer.shown, QString());
    QCOMPARE(answer.dataType, 1);
    QCOMPARE(h->Caption(Formula, 2), QStringLiteral("upper([3/购方名称])"));
    QCOMPARE(h->Text(QorID, 2), QStringLiteral("upper(3)|upper(FCustName)|upper([3/购方名称])"));

    // Body: a field row and a numeric formula, which the editor checks as numeric.
    fill(w.get(), false, {kItem, QStringLiteral("2|数量|=[24/数量] * 2")});
    QCOMPARE(m_editor.dataType, 3);

    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(SavedTexts(), QStringList{QStringLiteral("保存成功!")});
    QCOMPARE(w->result(), int(QDialog::Accepted));
    QVERIFY(!w->isVisible());

    Connection& c = *m_db->config;
    QCOMPARE(rowsOf(c, QStringLiteral("select FName, FInvioceType, FSeperator, FMemo, FDate, FInOrOut "
                                      "from t_BaseInfo where FID=2")),
             QStringList{QStringLiteral("普通票引出;1;##;月末引出;2026-03-15;0")});
    QCOMPARE(rowsOf(c, QStringLiteral("select FTaxID, FisFormula, FQORField, FisHead from t_Detail "
                                      "where FBaseInfoID=2 order by FID")),
             (QStringList{QStringLiteral("1;0;1;1"), kEmptyHead.arg(2), kEmptyHead.arg(3), kEmptyHead.arg(4),
                          kEmptyHead.arg(5), kEmptyHead.arg(6),
                          QStringLiteral("7;1;upper(3)|upper(FCustName)|upper([3/购方名称]);1"),
                          QStringLiteral("13;0;21;0"), kEmptyBody.arg(14), kEmptyBody.arg(15),
                          QStringLiteral("16;1;24 * 2|FQty * 2|[24/数量] * 2;0")}));
}

// A workbook link maps the platform template's headings: choosing the format lists them, and what was
// mapped for the other format is cleared only when the user agrees.
void TestLinks::workbookFormatMapsTheHeadings() {
    Connection& c = *m_db->config;
    c.Execute(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) values "
                             "(1001, '*购买方名称', '1', 1, 'xlsx'), (1002, '项目名称', '1', 0, 'xlsx'), "
                             "(1003, '*发票流水号', '1', 1, 'xlsx')"));
    auto w = openWizard();
    w->txtLinkName->setText(QStringLiteral("数电票"));
    w->cboType->setCurrentIndex(0);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    fill(w.get(), true, {QStringLiteral("1|单据号|单据号")});
    QVERIFY(!w->fpHead->Items(TaxField, 2).contains(QStringLiteral("*购买方名称|1001|1")));
    QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
    QVERIFY(!w->chkDocNoInRemark->isChecked());
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(QStringLiteral("xlsx")));
    // A platform link writes the 单据号 into 备注 unless the user says otherwise.
    QVERIFY(w->chkDocNoInRemark->isChecked());
    m_sink->answers << false; // keep the mapping: stay on the first step
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->Step(), 0);
    m_sink->answers << true;
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->Step(), 1);
    QCOMPARE(w->fpHead->Text(TaxField, 1), QString());
    QStringList headings;
    for (const QString& item : w->fpHead->Items(TaxField, 1))
        headings << FpGrid::VisibleText(item);
    headings.removeAll(QString());
    QCOMPARE(headings, (QStringList{"*购买方名称", "*发票流水号"}));
    fill(w.get(), true, {QStringLiteral("1|*购买方名称|购方名称"), QStringLiteral("2|*发票流水号|单据号")});
    fill(w.get(), false, {QStringLiteral("1|项目名称|货物名称")});
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    const QString ask = QStringLiteral("改变引出格式后需要重新设置字段对应，是否清空已设置的字段对应？");
    QCOMPARE(m_sink->texts(), (QStringList{ask, ask, QStringLiteral("保存成功!")}));
    QCOMPARE(rowsOf(c, QStringLiteral("select FFormat || ';' || FDocNoInRemark from t_BaseInfo where "
                                      "FName='数电票'")),
             QStringList{"xlsx;1"});
    QCOMPARE(
        rowsOf(c, QStringLiteral("select FTaxID from t_Detail where FBaseInfoID=(select FID from t_BaseInfo "
                                 "where FName='数电票') order by FID")),
        (QStringList{"1001", "1003", "1002"}));
}

void TestLinks::editKeepsFidAndRewritesRows() {
    Connection& c = *m_db->config;
    // Texts longer than the boxes take from the user come back whole.
    const QString memo = QString(120, QChar(u'说'));
    c.Execute(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FMemo, FDate, "
                       "FInOrOut, FMaxLines, FMaxAmount) values (5, '旧关联', 1, '@@@@@@', ?, '2020-01-01', "
                       "'0', 8, 99999.99)"),
        {memo});
    c.Execute(
        QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                       "(5, 7, 1, 'upper(3)|upper(FCustName)|upper([3/购方名称])', 1), (5, 1, 0, '1', 1),"
                       "(5, 13, 0, '21', 0)"));
    const QStringList otherRows = rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=1"));

    auto w = openWizard(1, QStringLiteral("5"));
    QCOMPARE(w->txtLinkName->text(), QStringLiteral("旧关联"));
    QCOMPARE(w->txtCompartChar->text(), QStringLiteral("@@@@@@"));
    QCOMPARE(w->cboType->currentIndex(), 1);
    QCOMPARE(w->txtNote->toPlainText(), memo);
    QCOMPARE(w->spnMaxLines->value(), 8);
    QCOMPARE(w->spnMaxAmount->value(), 99999.99);
    QVERIFY(!w->chkUseList->isChecked()); // empty: no sales list
    QVERIFY(!w->chkDocNoInRemark->isChecked());
    QCOMPARE(w->Step(), 0);
    FpGrid* h = w->fpHead;
    QCOMPARE(h->Text(TaxField, 1), QStringLiteral("备注"));
    QCOMPARE(h->Text(IsFormula, 1), QStringLiteral("1"));
    QCOMPARE(h->Kind(Formula, 1), CellType::Button);
    QCOMPARE(h->Caption(Formula, 1), QStringLiteral("upper([3/购方名称])"));
    QVERIFY(h->Locked(QorField, 1));
    QCOMPARE(h->Text(TaxField, 2), QStringLiteral("单据号"));
    QCOMPARE(h->Text(QorField, 2), QStringLiteral("单据号"));
    QCOMPARE(h->Text(TaxID, 2), QStringLiteral("1")); // program fills raise no cell change
    QCOMPARE(h->Text(TaxField, 3), QString());

    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    // The formula button opens the editor on the row's formula; cancelling changes nothing.
    EditorAnswer cancelled;
    answerEditor(&cancelled, QStringLiteral("lower([3/购方名称])"), false);
    clickCell(h, Formula, 1);
    QCOMPARE(cancelled.shown, QStringLiteral("upper([3/购方名称])"));
    QCOMPARE(h->Caption(Formula, 1), QStringLiteral("upper([3/购方名称])"));

    w->txtLinkName->setText(QStringLiteral("新关联"));
    w->spnMaxAmount->setValue(0);
    w->chkUseList->setChecked(true);
    fill(w.get(), false, {QStringLiteral("2|数量|数量")});
    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(SavedTexts(), QStringList{QStringLiteral("保存成功!")});

    QCOMPARE(count(c, QStringLiteral("select count(*) from t_BaseInfo")), 2);
    QCOMPARE(
        rowsOf(c, QStringLiteral("select FName, FSeperator, FMemo, FDate, FMaxLines, FMaxAmount, FUseList "
                                 "from t_BaseInfo where FID=5")),
        QStringList{QStringLiteral("新关联;@@@@@@;") + memo + QStringLiteral(";2026-03-15;8;0;1")});
    QCOMPARE(rowsOf(c, QStringLiteral("select FTaxID, FQORField, FisHead from t_Detail where FBaseInfoID=5 "
                                      "order by FID")),
             (QStringList{
                 QStringLiteral("1;1;1"), "2;''|''|'';1", "3;''|''|'';1", "4;''|''|'';1", "5;''|''|'';1",
                 "6;''|''|'';1", QStringLiteral("7;upper(3)|upper(FCustName)|upper([3/购方名称]);1"),
                 QStringLiteral("13;21;0"), "14;''|''|'';0", "15;''|''|'';0", QStringLiteral("16;24;0")}));
    QCOMPARE(rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=1")), otherRows);
}

void TestLinks::editUnknownKeyOpensEmpty_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("no such link") << QStringLiteral("77");
    QTest::newRow("not a number") << QStringLiteral("1 or 1=1");
}

void TestLinks::editUnknownKeyOpensEmpty() {
    QFETCH(QString, key);
    auto w = openWizard(1, key);
    QCOMPARE(w->txtLinkName->text() + w->txtCompartChar->text(), QString());
    QCOMPARE(w->cboType->currentIndex(), -1);
    for (int r = 1; r <= 50; ++r)
        QCOMPARE(w->fpHead->Text(TaxField, r) + w->fpBody->Text(TaxField, r), QString());
    QVERIFY(m_sink->entries.isEmpty());
}

void TestLinks::finishMessages_data() {
    QTest::addColumn<QStringList>("head");
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QString>("message");
    const QString incomplete = QStringLiteral("数据输入不完整!");
    const QString noBillNo = QStringLiteral("表头必须选择设置发票号码字段的关联!");
    // Row 5 has no tax field: its formula button opens nothing and the row is not checked.
    QTest::newRow("nothing mapped") << QStringList{QStringLiteral("5||=[1/单据号]")} << QStringList{}
                                    << incomplete;
    QTest::newRow("head mapped, body empty") << QStringList{kBillNo} << QStringList{} << incomplete;
    QTest::newRow("formula not accepted") << QStringList{kBillNo, QStringLiteral("2|备注|=")}
                                          << QStringList{kItem} << QStringLiteral("第2行,QOR公式列为空!");
    QTest::newRow("head checked before body")
        << QStringList{kBillNo, QStringLiteral("3|购方名称|")} << QStringList{QStringLiteral("2|数量|")}
        << QStringLiteral("第3行,QOR字段列为空!");
    QTest::newRow("body field missing")
        << QStringList{kBillNo} << QStringList{kItem, QStringLiteral("4|数量|")}
        << QStringLiteral("第4行,QOR字段列为空!");
    QTest::newRow("head without invoice number")
        << QStringList{QStringLiteral("1|单据号|购方名称")} << QStringList{kItem} << noBillNo;
    QTest::newRow("head formula in place of invoice number")
        << QStringList{QStringLiteral("1|单据号|=[1/单据号]")} << QStringList{kItem} << noBillNo;
}

void TestLinks::finishMessages() {
    QFETCH(QStringList, head);
    QFETCH(QStringList, body);
    QFETCH(QString, message);
    auto w = openWizard();
    toStepTwo(w.get());
    fill(w.get(), true, head);
    fill(w.get(), false, body);
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{message});
    QVERIFY(w->isVisible());
    QCOMPARE(count(*m_db->config, QStringLiteral("select count(*) from t_BaseInfo")), 1);
}

void TestLinks::previousNextKeepGridsAndCancelSavesNothing() {
    auto w = openWizard();
    toStepTwo(w.get());
    fill(w.get(), true, {QStringLiteral("3|单据号|单据号")});
    fill(w.get(), false, {kItem});
    QTest::mouseClick(w->cmdPrevious, Qt::LeftButton);
    QCOMPARE(w->Step(), 0);
    QVERIFY(w->fraStep[0]->isVisible() && !w->fraStep[1]->isVisible());
    QVERIFY(!w->cmdPrevious->isEnabled() && w->cmdNext->isEnabled() && !w->cmdFinish->isEnabled());
    // Next checks the first step again.
    w->txtLinkName->clear();
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("请输入关联名称！")});
    QCOMPARE(w->Step(), 0);
    w->txtLinkName->setText(QStringLiteral("b"));
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->Step(), 1);
    QCOMPARE(FpGrid::VisibleText(w->fpHead->Text(TaxField, 3)), QStringLiteral("单据号"));
    QCOMPARE(w->fpHead->Text(QorID, 3), QStringLiteral("1"));

    QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
    QCOMPARE(w->result(), int(QDialog::Rejected));
    QCOMPARE(count(*m_db->config, QStringLiteral("select count(*) from t_BaseInfo")), 1);
    QCOMPARE(m_sink->entries.size(), 1);
}

void TestLinks::gapsRemovedOnReload() {
    auto w = openWizard();
    toStepTwo(w.get());
    fill(w.get(), true, {kBillNo, QStringLiteral("3|商品行数|商品行数")});
    fill(w.get(), false, {QStringLiteral("4|货物名称|货物名称")});
    m_sink->answers << true; // save although the tax system needs more fields
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(SavedTexts(), QStringList{QStringLiteral("保存成功!")});

    auto again = openWizard(1, QStringLiteral("2"));
    QCOMPARE(again->fpHead->Text(TaxField, 1), QStringLiteral("单据号"));
    QCOMPARE(again->fpHead->Text(TaxField, 2), QStringLiteral("商品行数"));
    QCOMPARE(again->fpHead->Text(QorField, 2), QStringLiteral("商品行数"));
    QCOMPARE(again->fpHead->Text(TaxField, 3), QString());
    QCOMPARE(again->fpBody->Text(TaxField, 1), QStringLiteral("货物名称"));
}

void TestLinks::insertAndDeleteKeepFiftyRows() {
    auto w = openWizard();
    toStepTwo(w.get());
    fill(w.get(), true, {kBillNo});
    fill(w.get(), false,
         {QStringLiteral("1|货物名称|"), QStringLiteral("2|计量单位|"), QStringLiteral("3|规格|")});
    FpGrid* b = w->fpBody;
    b->SetActiveRow(2);
    QTest::mouseClick(w->cmdInsert, Qt::LeftButton);
    QCOMPARE(b->MaxRows(), 50);
    QCOMPARE(b->Text(TaxField, 2), QString());
    QCOMPARE(FpGrid::VisibleText(b->Text(TaxField, 3)), QStringLiteral("计量单位"));
    QCOMPARE(FpGrid::VisibleText(b->Text(TaxField, 4)), QStringLiteral("规格"));
    QCOMPARE(b->Kind(TaxField, 2), CellType::Combo);
    QCOMPARE(b->Kind(IsFormula, 2), CellType::Check);
    QCOMPARE(b->item(49, 0)->text(), QStringLiteral("50"));
    // The head grid is left alone.
    QCOMPARE(FpGrid::VisibleText(w->fpHead->Text(TaxField, 1)), QStringLiteral("单据号"));

    b->SetActiveRow(1);
    QTest::mouseClick(w->cmdDelete, Qt::LeftButton);
    QTest::mouseClick(w->cmdDelete, Qt::LeftButton);
    QCOMPARE(b->MaxRows(), 50);
    QCOMPARE(FpGrid::VisibleText(b->Text(TaxField, 1)), QStringLiteral("计量单位"));
    QCOMPARE(FpGrid::VisibleText(b->Text(TaxField, 2)), QStringLiteral("规格"));
    QCOMPARE(b->Kind(TaxField, 50), CellType::Combo);
    QVERIFY(b->Locked(FieldType, 50));
    QVERIFY(m_sink->entries.isEmpty());
}

void TestLinks::insertRefusedWhenLastRowMapped() {
    auto w = openWizard();
    toStepTwo(w.get());
    FpGrid* h = w->fpHead;
    h->SetText(TaxField, 50, h->Items(TaxField, 50).first());
    h->SetText(TaxField, 1, QStringLiteral("first"));
    h->SetActiveRow(1);
    QTest::mouseClick(w->cmdInsert, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("最后一行已有字段对应，不能再插入行！")});
    QCOMPARE(h->Text(TaxField, 1), QStringLiteral("first"));
    QCOMPARE(FpGrid::VisibleText(h->Text(TaxField, 50)), QStringLiteral("单据号"));
}

void TestLinks::untickingFormulaDropsStaleFormula() {
    auto w = openWizard();
    toStepTwo(w.get());
    FpGrid* h = w->fpHead;
    fill(w.get(), false, {kItem});
    fill(w.get(), true,
         {kBillNo, QStringLiteral("2|购方名称|购方名称"), QStringLiteral("2||=upper([3/购方名称])")});
    QCOMPARE(h->Text(QorID, 2), QStringLiteral("upper(3)|upper(FCustName)|upper([3/购方名称])"));
    clickCell(h, IsFormula, 2);
    QCOMPARE(h->Text(IsFormula, 2), QStringLiteral("0"));
    QCOMPARE(h->Kind(Formula, 2), CellType::Edit);
    QVERIFY(!h->Locked(QorField, 2));
    QCOMPARE(h->Text(QorID, 2), QString());
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("第2行,QOR字段列为空!")});
}

void TestLinks::longFieldNameKeepsItsIdentifiers() {
    const QString name = QString(60, QChar(u'长'));
    m_db->config->Execute(
        QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead) values (40, ?, '3', 1)"),
        {name});
    auto w = openWizard();
    toStepTwo(w.get());
    QVERIFY(pick(w->fpHead, TaxField, 1, name));
    QCOMPARE(w->fpHead->Text(TaxID, 1), QStringLiteral("40"));
    QCOMPARE(w->fpHead->Text(FieldType, 1), QStringLiteral("数字"));
}

// A text link that leaves out a field before one it keeps is not saved as it is: the tax system reads by
// position. 否 goes back to editing, 是 fills the gaps with empty fields and saves; an XML link names its
// elements and is saved as mapped.
void TestLinks::layoutGapAskedBeforeSaving_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("fill");
    QTest::newRow("text, back to editing") << "txt" << false;
    QTest::newRow("text, gaps filled") << "txt" << true;
    QTest::newRow("xml is read by name") << "xml" << false;
}

void TestLinks::layoutGapAskedBeforeSaving() {
    QFETCH(QString, format);
    QFETCH(bool, fill);
    auto w = openWizard();
    w->cboFormat->setCurrentIndex(w->cboFormat->findData(format));
    toStepTwo(w.get(), QStringLiteral("缺字段"));
    this->fill(w.get(), true,
               {kBillNo, QStringLiteral("2|商品行数|商品行数"), QStringLiteral("3|购方名称|购方名称"),
                QStringLiteral("4|购方税号|购方税号"), QStringLiteral("5|单据日期|单据日期")});
    this->fill(w.get(), false,
               {kItem, QStringLiteral("2|数量|数量"), QStringLiteral("3|不含税金额|不含税金额"),
                QStringLiteral("4|税率|税率"), QStringLiteral("5|税额|税额")});
    m_sink->answers << fill;
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    const QString ask = QStringLiteral(
        "表头缺少购方地址电话、购方银行帐号、备注、复核人、收款人、清单行商品名称；表体缺少计量单位、"
        "规格、商品税目、折扣金额。\n税控系统按位置读取文本文件的字段，缺少的字段会使其后的字段错位。\n"
        "是否把缺少的字段作为空字段加入并保存？选“否”返回修改。");
    Connection& c = *m_db->config;
    const QString saved =
        QStringLiteral("select FTaxID, FisFormula, FQORField, FisHead from t_Detail where "
                       "FBaseInfoID=(select FID from t_BaseInfo where FName='缺字段') order by FID");
    if (format == u"xml") {
        QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("保存成功!")});
        QCOMPARE(rowsOf(c, saved).size(), 10);
        return;
    }
    if (!fill) {
        QCOMPARE(m_sink->texts(), QStringList{ask});
        QVERIFY(w->isVisible());
        QCOMPARE(w->Step(), 1);
        QCOMPARE(w->STAB->currentIndex(), 0);
        QCOMPARE(FpGrid::VisibleText(w->fpHead->Text(TaxField, 5)), QStringLiteral("单据日期"));
        QCOMPARE(count(c, QStringLiteral("select count(*) from t_BaseInfo")), 1);
        return;
    }
    QCOMPARE(m_sink->texts(), (QStringList{ask, QStringLiteral("保存成功!")}));
    QCOMPARE(rowsOf(c, saved),
             (QStringList{"1;0;1;1",          "2;0;2;1",          "3;0;3;1",          "4;0;4;1",
                          kEmptyHead.arg(5),  kEmptyHead.arg(6),  kEmptyHead.arg(7),  kEmptyHead.arg(8),
                          kEmptyHead.arg(9),  kEmptyHead.arg(10), "11;0;11;1",        "13;0;21;0",
                          kEmptyBody.arg(14), kEmptyBody.arg(15), "16;0;24;0",        "17;0;25;0",
                          "18;0;26;0",        kEmptyBody.arg(19), kEmptyBody.arg(20), "21;0;29;0"}));
    // Opened again, the empty fields show as empty texts and the link saves without a question.
    auto again = openWizard(1, SavedLinkKey(c, QStringLiteral("缺字段")));
    QCOMPARE(again->fpHead->Text(TaxField, 5), QStringLiteral("购方地址电话"));
    QCOMPARE(again->fpHead->Caption(Formula, 5), QStringLiteral("''"));
    QCOMPARE(again->fpHead->Text(IsFormula, 5), QStringLiteral("1"));
    QCOMPARE(again->fpHead->Text(TaxField, 11), QStringLiteral("单据日期"));
    m_sink->clear();
    QTest::mouseClick(again->cmdNext, Qt::LeftButton);
    QTest::mouseClick(again->cmdFinish, Qt::LeftButton);
    QCOMPARE(m_sink->texts(), QStringList{QStringLiteral("保存成功!")});
}

// A link saved with a gap before the check existed stays as it was and still exports; the result names
// the gap.
void TestLinks::savedGapLinkExportsAndNamesTheGap() {
    Connection& c = *m_db->config;
    c.Execute(QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FDate, FInOrOut) "
                             "values (6, '旧缺字段', 0, '~~', '2020-01-01', '0')"));
    c.Execute(
        QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) values "
                       "(6, 1, 0, '1', 1), (6, 2, 0, '2', 1), (6, 3, 0, '3', 1), (6, 11, 0, '11', 1), "
                       "(6, 13, 0, '21', 0), (6, 21, 0, '29', 0)"));
    const QStringList before = rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=6"));
    const QString out = m_db->folder() + QStringLiteral("/gap.txt");
    QProcess batch;
    batch.start(QStringLiteral(TAXFERRY_BATCH),
                {QStringLiteral("export"), QStringLiteral("--acct"), m_db->acctConnString(),
                 QStringLiteral("--config"), m_db->configPath, QStringLiteral("--link"), QStringLiteral("6"),
                 QStringLiteral("--out"), out});
    QVERIFY(batch.waitForFinished(60000));
    const QString err = QString::fromUtf8(batch.readAllStandardError());
    QCOMPARE(batch.exitCode(), 0);
    QVERIFY2(
        err.contains(QStringLiteral(
            "关联表头缺少购方税号、购方地址电话、购方银行帐号、备注、复核人、收款人、清单行商品名称；表体缺少"
            "计量单位、规格、数量、不含税金额、税率、商品税目、折扣金额，税控系统会把其后的字段读到错误的位置"
            "。"
            "请在关联设置中补上这些字段。")),
        qPrintable(err));
    // Written as mapped: four head fields, two body fields.
    const QStringList lines = ReadGbkFile(out);
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines[1].split(QStringLiteral("~~")).size(), 4);
    QCOMPARE(rowsOf(c, QStringLiteral("select * from t_Detail where FBaseInfoID=6")), before);
}

// ---- link list and export -------------------------------------------------------------------

void TestLinks::listNewAndEditOpenTheWizard() {
    frmList list(m_db->session);
    list.ExportOrImport = 0;
    list.Init();
    list.show();
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 1);

    // New: the wizard opens empty with the proposed separator; the user saves a link.
    struct Seen {
        int status = -1;
        QString key, text;
        bool picked = false;
    } seenNew, seenEdit;
    QTimer::singleShot(0, [&seenNew] {
        auto* w = qobject_cast<frmNew*>(QApplication::activeModalWidget());
        if (!w) return;
        seenNew = {w->Status, w->Key, w->txtCompartChar->text()};
        w->txtLinkName->setText(QStringLiteral("列表新建"));
        w->cboType->setCurrentIndex(0);
        w->cmdNext->click();
        seenNew.picked = pick(w->fpHead, TaxField, 1, QStringLiteral("单据号")) &&
                         pick(w->fpHead, QorField, 1, QStringLiteral("单据号")) &&
                         pick(w->fpBody, TaxField, 1, QStringLiteral("货物名称")) &&
                         pick(w->fpBody, QorField, 1, QStringLiteral("货物名称"));
        w->cmdFinish->click();
        if (w->isVisible()) w->reject();
    });
    m_sink->answers << true; // save although the tax system needs more fields
    QTest::mouseClick(list.cmdNew, Qt::LeftButton);
    QCOMPARE(seenNew.status, 0);
    QCOMPARE(seenNew.key, QString());
    QCOMPARE(seenNew.text, QStringLiteral("~~"));
    QVERIFY(seenNew.picked);
    QCOMPARE(SavedTexts(), QStringList{QStringLiteral("保存成功!")});
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 2);

    // Edit: the selected link is loaded; cancelling still reloads the list.
    QTreeWidgetItem* row = list.lsvSelect->topLevelItem(1);
    QCOMPARE(row->text(0), QStringLiteral("列表新建"));
    list.lsvSelect->setCurrentItem(row);
    m_db->config->Execute(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (9, '别处新增', '0')"));
    QTimer::singleShot(0, [&seenEdit] {
        auto* w = qobject_cast<frmNew*>(QApplication::activeModalWidget());
        if (!w) return;
        seenEdit = {w->Status, w->Key, w->txtLinkName->text()};
        w->cmdCancel->click();
    });
    QTest::mouseClick(list.cmdEdit, Qt::LeftButton);
    QCOMPARE(seenEdit.status, 1);
    QCOMPARE(seenEdit.key, QStringLiteral("2"));
    QCOMPARE(seenEdit.text, QStringLiteral("列表新建"));
    QCOMPARE(list.lsvSelect->topLevelItemCount(), 3);

    // Edit without a selection opens nothing.
    list.lsvSelect->clearSelection();
    list.lsvSelect->setCurrentItem(nullptr);
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (auto* w = qobject_cast<frmNew*>(QApplication::activeModalWidget())) {
            opened = true;
            w->reject();
        }
    });
    QTest::mouseClick(list.cmdEdit, Qt::LeftButton);
    QApplication::processEvents();
    QVERIFY(!opened);

    // A failure while the wizard is made ready is reported by the list's button.
    m_sink->clear();
    m_db->config->Execute(QStringLiteral("drop table t_TaxField"));
    QTest::mouseClick(list.cmdNew, Qt::LeftButton);
    QCOMPARE(m_sink->entries.size(), 1);
    QVERIFY2(m_sink->last().startsWith(QStringLiteral("调用(cmdNew_Click)出错!\r\n错误编号:")),
             qPrintable(m_sink->last()));
}

// The first link is current and selected whenever the list (re)loads, so Enter, 确定 and a double-click
// hand a link to the export without a click on the list first.
void TestLinks::listReadyForTheKeyboard_data() {
    QTest::addColumn<QString>("before"); // what the user did first: "", "delete" or "format"
    QTest::addColumn<QString>("how");    // "enter", "ok" or "double-click" (on the second row)
    QTest::addColumn<QString>("name");   // the link handed to the export
    QTest::newRow("Enter as the list opens") << ""
                                             << "enter"
                                             << "航天金税默认格式";
    QTest::newRow("确定 as the list opens") << ""
                                            << "ok"
                                            << "航天金税默认格式";
    QTest::newRow("double-click on another link") << ""
                                                  << "double-click"
                                                  << "第二";
    QTest::newRow("Enter after the first link was deleted") << "delete"
                                                            << "enter"
                                                            << "第二";
    QTest::newRow("Enter after the default format was loaded") << "format"
                                                               << "enter"
                                                               << "航天金税默认格式";
}

void TestLinks::listReadyForTheKeyboard() {
    QFETCH(QString, before);
    QFETCH(QString, how);
    QFETCH(QString, name);
    m_db->config->Execute(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInOrOut) values (7, '第二', '0')"));
    frmList list(m_db->session);
    QStringList handed;
    list.OpenExport = [&handed](const QString& key, const QString& linkName, const QString&) {
        handed << key << linkName;
    };
    list.Init();
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    m_sink->answers << true;
    if (before == u"delete") list.cmdDelete->click();
    if (before == u"format") list.cmdAttrReference->click();
    QCOMPARE(list.SelectedLinkID().isEmpty(), false);
    QTreeWidgetItem* first = list.lsvSelect->topLevelItem(0);
    QCOMPARE(list.lsvSelect->currentItem(), first);
    QVERIFY(first->isSelected());
    list.lsvSelect->setFocus();
    if (how == u"enter") {
        QTest::keyClick(list.lsvSelect, Qt::Key_Return);
    } else if (how == u"ok") {
        QTest::mouseClick(list.cmdOK, Qt::LeftButton);
    } else {
        const QRect r = list.lsvSelect->visualItemRect(list.lsvSelect->topLevelItem(1));
        // As a mouse sends it: the first click, then the second press that makes it a double-click.
        QTest::mouseClick(list.lsvSelect->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list.lsvSelect->viewport(), Qt::LeftButton, {}, r.center());
    }
    QCOMPARE(handed.value(1), name);
    QCOMPARE(handed.size(), 2); // once, not once for the key and again for the default button
    QCOMPARE(list.result(), int(QDialog::Accepted));
}

void TestLinks::wizardLinkExportsAsItsGridsSay() {
    auto w = openWizard();
    w->txtCompartChar->setText(QStringLiteral("##"));
    toStepTwo(w.get(), QStringLiteral("往返"), 0);
    fill(w.get(), true, {kBillNo, QStringLiteral("2|购方名称|=upper([3/购方名称])")});
    fill(w.get(), false, {QStringLiteral("1|数量|=[24/数量] * 2"), QStringLiteral("2|货物名称|货物名称")});
    m_sink->answers << true << true; // save although the tax system needs more fields; fill the gaps
    QTest::mouseClick(w->cmdFinish, Qt::LeftButton);
    QCOMPARE(SavedTexts(), QStringList{QStringLiteral("保存成功!")});

    const QString out = m_db->folder() + QStringLiteral("/out.txt");
    QProcess batch;
    batch.start(QStringLiteral(TAXFERRY_BATCH),
                {QStringLiteral("export"), QStringLiteral("--acct"), m_db->acctConnString(),
                 QStringLiteral("--config"), m_db->configPath, QStringLiteral("--link"), QStringLiteral("2"),
                 QStringLiteral("--out"), out});
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 0);
    const QStringList lines = ReadGbkFile(out);

    // What the grids say, read straight from the demo accounting set: special invoices, head
    // "bill number ## (empty 商品行数) ## upper(customer)", body "item name ## ## ## quantity * 2" per line:
    // the gaps were filled with empty fields and the rows put in the tax system's order.
    QStringList expected{QStringLiteral("SJJK0101##销售单据传入")};
    const RecordsetPtr heads = m_db->acct->Query(QStringLiteral(
        "select s.FBillNo, upper(o.FName), s.FInterID from ICSale s left join t_Organization o on "
        "o.FItemID=s.FCustID where s.FTranType=80 order by s.FBillNo"));
    QVERIFY(heads->RecordCount() > 0);
    for (heads->MoveFirst(); !heads->EOF_(); heads->MoveNext()) {
        expected << heads->value(0).toString() + QStringLiteral("####") + heads->value(1).toString();
        const RecordsetPtr body = m_db->acct->Query(
            QStringLiteral(
                "select e.FQty * 2, i.FName from ICSaleEntry e left join t_IcItem i on i.FItemID=e.FItemID "
                "where e.FInterID=? order by e.FEntryID"),
            {heads->value(2)});
        for (body->MoveFirst(); !body->EOF_(); body->MoveNext())
            expected << body->value(1).toString() + QStringLiteral("######") +
                            NumberText(body->value(0).toDouble());
    }
    QVERIFY(expected.size() > heads->RecordCount() + 1); // the invoices have lines
    QCOMPARE(lines, expected);
}

QTEST_MAIN(TestLinks)
#include "test_links.moc"
