// The link wizard's two steps and the expression editor on the demo data.
#include "ScreenRegistry.h"
#include "common/MessageSink.h"
#include "links/WizardGrid.h"
#include "links/ui/ExpressionDialog.h"
#include "links/ui/LinkWizard.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

static ScreenRegistrar sStep1("LinkWizard_step1", [](TestDatabases& db) {
    auto* w = new LinkWizard(db.session);
    w->status = 0;
    w->init();
    w->txtLinkName->setText(QStringLiteral("增值税专用发票引出"));
    w->cboType->setCurrentIndex(0);
    w->txtNote->setPlainText(QStringLiteral("每月月末引出已审核的专用发票"));
    return static_cast<QWidget*>(w);
});

// A link that writes the e-invoice platform's workbook, limits set, before its template is read.
static ScreenRegistrar sStep1b("LinkWizard_step1_workbook", [](TestDatabases& db) {
    auto* w = new LinkWizard(db.session);
    w->status = 0;
    w->init();
    w->txtLinkName->setText(QStringLiteral("数电票批量开具"));
    w->cboType->setCurrentIndex(1);
    w->spnMaxLines->setValue(8);
    w->spnMaxAmount->setValue(99999.99);
    w->cboFormat->setCurrentIndex(2);
    w->chkPrefixShortName->setChecked(true);
    return static_cast<QWidget*>(w);
});

// The factory link opened for a change, on its head fields, with a formula in one row.
static ScreenRegistrar sStep2("LinkWizard_step2", [](TestDatabases& db) {
    db.config->exec(
        QStringLiteral("update t_Detail set FisFormula=1, FQORField=? where FBaseInfoID=1 and FTaxID=7"),
        {QStringLiteral("upper(17)|upper(FExplanation)|upper([17/摘要])")});
    auto* w = new LinkWizard(db.session);
    w->status = 1;
    w->key = QStringLiteral("1");
    w->init();
    w->cmdNext->click();
    w->STAB->setCurrentIndex(0);
    return static_cast<QWidget*>(w);
});

// A new workbook link: its second step starts with the columns the program knows mapped; the platform's
// long column names are not cut off.
static QWidget* workbookStepTwo(TestDatabases& db, int tab) {
    // The columns of the platform's template as reading it records them.
    int id = 5000;
    for (const char* name :
         {"发票流水号", "发票类型", "特定业务类型", "是否含税", "受票方自然人标识", "购买方名称",
          "购买方纳税人识别号", "购买方地址", "购买方电话", "购买方开户银行", "购买方银行账号", "备注"})
        db.config->exec(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) "
                                       "values (?, ?, '1', 1, 'xlsx')"),
                        {++id, QString::fromUtf8(name)});
    for (const char* name : {"发票流水号", "项目名称", "商品和服务税收编码", "规格型号", "单位", "数量",
                             "单价", "金额", "税率", "折扣金额", "是否使用优惠政策", "优惠政策类型"})
        db.config->exec(QStringLiteral("insert into t_TaxField (Fid, Fname, FFieldType, FisHead, FFormat) "
                                       "values (?, ?, '1', 0, 'xlsx')"),
                        {++id, QString::fromUtf8(name)});
    auto* w = new LinkWizard(db.session);
    w->status = 0;
    w->init();
    w->txtLinkName->setText(QStringLiteral("数电票批量开具"));
    w->cboType->setCurrentIndex(1);
    w->cboFormat->setCurrentIndex(2);
    w->cmdNext->click();
    w->STAB->setCurrentIndex(tab);
    return w;
}
static ScreenRegistrar sStep2b("LinkWizard_step2_workbook",
                               [](TestDatabases& db) { return workbookStepTwo(db, 0); });
static ScreenRegistrar sStep2c("LinkWizard_step2_workbook_detail",
                               [](TestDatabases& db) { return workbookStepTwo(db, 1); });

// A new text link on its second step, the factory link's fields copied on the user's request.
static ScreenRegistrar sStep2d("LinkWizard_step2_factory", [](TestDatabases& db) {
    auto* w = new LinkWizard(db.session);
    w->status = 0;
    w->init();
    w->txtLinkName->setText(QStringLiteral("专用发票引出"));
    w->cboType->setCurrentIndex(0);
    w->cmdNext->click();
    w->cmdStartFields->click();
    w->STAB->setCurrentIndex(0);
    return static_cast<QWidget*>(w);
});

static ScreenRegistrar sExpression("ExpressionDialog", [](TestDatabases& db) {
    auto* w = new ExpressionDialog(db.session);
    w->dataType = 3;
    w->txtExp->setPlainText(QStringLiteral("[24/数量] * [32/单价]"));
    w->isHead = false;
    w->loadData();
    return static_cast<QWidget*>(w);
});

// The question of a text link that leaves out fields before ones it keeps, as the message box shows it.
static ScreenRegistrar sGap("msg_layoutGap", [](TestDatabases&) {
    auto* box = new QMessageBox(QMessageBox::Question, messageTitle(),
                                layoutGapQuestion({QStringLiteral("购方地址电话"),
                                                   QStringLiteral("购方银行帐号"), QStringLiteral("备注")},
                                                  {QStringLiteral("计量单位"), QStringLiteral("规格")}),
                                QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    return static_cast<QWidget*>(box);
});
