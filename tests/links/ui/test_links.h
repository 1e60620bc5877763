#pragma once
// The link wizard's windows driven headless: the spread grid, the expression editor and LinkWizard.
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "links/ui/ExpressionDialog.h"
#include "links/ui/FieldGrid.h"
#include "links/ui/LinkListWindow.h"
#include "links/ui/LinkWizard.h"
#include "links/ui/WizardGridView.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
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

// The user opens the drop-down of a cell and picks the item whose visible text is name.
inline bool pick(FieldGrid* g, int col, int row, const QString& name) {
    const QStringList items = g->items(col, row);
    int index = -1;
    for (int i = 0; i < items.size(); ++i)
        if (FieldGrid::visibleText(items[i]) == name) index = i;
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
inline void clickCell(FieldGrid* g, int col, int row) {
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

inline void answerEditor(EditorAnswer* answer, const QString& text, bool ok = true) {
    QTimer::singleShot(0, [answer, text, ok] {
        auto* d = qobject_cast<ExpressionDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        answer->opened = true;
        answer->shown = d->txtExp->toPlainText();
        answer->dataType = d->dataType;
        d->txtExp->setPlainText(text);
        QTest::mouseClick(ok ? d->btnOK : d->btnCancel, Qt::LeftButton);
        if (d->isVisible()) {
            answer->stillOpenAfterOk = true;
            d->reject();
        }
    });
}

inline int count(Connection& c, const QString& sql) {
    return c.query(sql)->value(0).toInt();
}

// The rows of a query, each as its values joined by ";".
inline QStringList rowsOf(Connection& c, const QString& sql) {
    QStringList out;
    const RecordsetPtr rs = c.query(sql);
    for (rs->first(); !rs->atEnd(); rs->next()) {
        QStringList values;
        for (int i = 0; i < rs->fieldCount(); ++i)
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
    void linkStartsFromTheFactoryFields_data();
    void linkStartsFromTheFactoryFields();
    void editUnknownKeyOpensEmpty_data();
    void editUnknownKeyOpensEmpty();
    void finishMessages_data();
    void finishMessages();
    void fieldTitlesFollowTheFormat_data();
    void fieldTitlesFollowTheFormat();
    void mergeBoxesHaveMnemonics();
    void gridTitlesWholeWithALargeFont();
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
    std::unique_ptr<LinkWizard> openWizard(int status = 0, const QString& key = QString());
    void toStepTwo(LinkWizard* w, const QString& name = QStringLiteral("测试关联"), int type = 0);
    void testFill(LinkWizard* w, bool head, const QStringList& rows);

    QStringList savedTexts() const;
    std::unique_ptr<TestDatabases> m_db;
    std::unique_ptr<RecorderSink> m_sink;
    EditorAnswer m_editor; // the last editor opened by fill
};
