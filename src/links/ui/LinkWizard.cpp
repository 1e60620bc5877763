#include "links/ui/LinkWizard.h"

#include "common/DbProcedures.h"
#include "common/FieldMap.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "export/WorkbookTemplate.h"
#include "links/LinkStore.h"
#include "links/ui/FieldGrid.h"
#include "links/ui/WizardGridView.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The note box takes at most this many characters from the user.
constexpr int kNoteMax = 100;

// A stored text longer than the box takes from the user is shown whole: cut, it would be saved cut.
void setWholeText(QLineEdit* box, const QString& text) {
    box->setMaxLength(qMax(box->maxLength(), int(text.size())));
    box->setText(text);
}

QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setMinimumWidth(84);
    return b;
}

} // namespace

LinkWizard::LinkWizard(const Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("LinkWizard"));
    setWindowTitle(QStringLiteral("关联关系"));
    setModal(true);

    // Step 1: the link's properties.
    auto* step0 = new QGroupBox(QStringLiteral("第一步：关联属性"), this);
    step0->setObjectName(QStringLiteral("fraStep_0"));
    txtLinkName = new QLineEdit(step0);
    txtLinkName->setObjectName(QStringLiteral("txtLinkName"));
    txtLinkName->setMaxLength(50);
    cboType = new QComboBox(step0);
    cboType->setObjectName(QStringLiteral("cboType"));
    cboType->addItems({QStringLiteral("增值税销售发票"), QStringLiteral("普通销售发票")});
    cboType->setCurrentIndex(-1);
    txtCompartChar = new QLineEdit(step0);
    txtCompartChar->setObjectName(QStringLiteral("txtCompartChar"));
    txtCompartChar->setMaxLength(4);
    txtCompartChar->setMaximumWidth(80);
    txtNote = new QPlainTextEdit(step0);
    txtNote->setObjectName(QStringLiteral("txtNote"));
    txtNote->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtNote->setTabChangesFocus(true);
    txtNote->setFixedHeight(72);
    connect(txtNote, &QPlainTextEdit::textChanged, this, [this] {
        const QString t = txtNote->toPlainText();
        if (t.size() > m_intNoteMax) {
            txtNote->setPlainText(t.left(m_intNoteMax));
            txtNote->moveCursor(QTextCursor::End);
        }
    });
    auto* form = new QFormLayout;
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(10);
    form->addRow(QStringLiteral("关联名称："), txtLinkName);
    form->addRow(QStringLiteral("发票类型："), cboType);
    form->addRow(QStringLiteral("分隔符号："), txtCompartChar);
    form->addRow(QStringLiteral("描述说明："), txtNote);

    // The tax-control device's limits of one invoice: an invoice over them goes out in pieces.
    spnMaxLines = new QSpinBox(step0);
    spnMaxLines->setObjectName(QStringLiteral("spnMaxLines"));
    spnMaxLines->setRange(0, 9999);
    spnMaxLines->setSpecialValueText(QStringLiteral("不限"));
    spnMaxLines->setMaximumWidth(120);
    spnMaxAmount = new QDoubleSpinBox(step0);
    spnMaxAmount->setObjectName(QStringLiteral("spnMaxAmount"));
    spnMaxAmount->setRange(0, 99999999.99);
    spnMaxAmount->setDecimals(2);
    spnMaxAmount->setGroupSeparatorShown(true);
    spnMaxAmount->setSpecialValueText(QStringLiteral("不限"));
    spnMaxAmount->setMinimumWidth(160);
    chkUseList = new QCheckBox(QStringLiteral("超过行数时整张开具销货清单（不拆分）"), step0);
    chkUseList->setObjectName(QStringLiteral("chkUseList"));
    auto* linesRow = new QHBoxLayout;
    linesRow->addWidget(spnMaxLines);
    linesRow->addWidget(new QLabel(QStringLiteral("不开销货清单时税控设备通常为8行"), step0));
    linesRow->addStretch(1);
    auto* amountRow = new QHBoxLayout;
    amountRow->addWidget(spnMaxAmount);
    amountRow->addWidget(new QLabel(QStringLiteral("不含税；常用9,999.99、99,999.99、999,999.99"), step0));
    amountRow->addStretch(1);
    form->addRow(QStringLiteral("每张行数上限："), linesRow);
    form->addRow(QStringLiteral("每张金额上限："), amountRow);
    form->addRow(QString(), chkUseList);
    // One tax invoice for a buyer's invoices of the selection (red invoices stay alone).
    chkMergeBuyer = new QCheckBox(QStringLiteral("合并同一购方的发票(&B)"), step0);
    chkMergeBuyer->setObjectName(QStringLiteral("chkMergeBuyer"));
    chkMergeLines = new QCheckBox(QStringLiteral("合并相同商品行(&G)"), step0);
    chkMergeLines->setObjectName(QStringLiteral("chkMergeLines"));
    chkMergeLines->setToolTip(QStringLiteral(
        "商品、名称、规格型号、单位、单价和税率都相同且没有折扣的行合并为一行，数量、金额和税额相加"));
    chkMergeLines->setEnabled(false);
    connect(chkMergeBuyer, &QCheckBox::toggled, chkMergeLines, &QWidget::setEnabled);
    auto* mergeRow = new QHBoxLayout;
    mergeRow->addWidget(chkMergeBuyer);
    mergeRow->addWidget(chkMergeLines);
    mergeRow->addStretch(1);
    form->addRow(QStringLiteral("合并引出："), mergeRow);

    // The file the link writes.
    cboFormat = new QComboBox(step0);
    cboFormat->setObjectName(QStringLiteral("cboFormat"));
    cboFormat->addItem(QStringLiteral("文本文件"), QStringLiteral("txt"));
    cboFormat->addItem(QStringLiteral("XML文件"), QStringLiteral("xml"));
    cboFormat->addItem(QStringLiteral("电子发票平台模板"), QStringLiteral("xlsx"));
    cmdReadTemplate =
        makeButton(QStringLiteral("cmdReadTemplate"), QStringLiteral("读取平台模板(&T)…"), step0);
    lblTemplate = new QLabel(step0);
    lblTemplate->setObjectName(QStringLiteral("lblTemplate"));
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(cboFormat);
    formatRow->addWidget(cmdReadTemplate);
    formatRow->addWidget(lblTemplate, 1);
    chkPrefixShortName =
        new QCheckBox(QStringLiteral("货物名称写成“*简称*名称”（简称取自税收分类编码）"), step0);
    chkPrefixShortName->setObjectName(QStringLiteral("chkPrefixShortName"));
    form->addRow(QStringLiteral("引出格式："), formatRow);
    form->addRow(QString(), chkPrefixShortName);
    chkDocNoInRemark =
        new QCheckBox(QStringLiteral("备注中写入单据号（平台开票清单据此回写发票号码）"), step0);
    chkDocNoInRemark->setObjectName(QStringLiteral("chkDocNoInRemark"));
    chkDocNoInRemark->setChecked(cboFormat->currentData().toString() == u"xlsx");
    form->addRow(QString(), chkDocNoInRemark);
    // A link to the platform writes it by default: the platform's list finds the documents by it.
    connect(cboFormat, &QComboBox::currentIndexChanged, this,
            [this] { chkDocNoInRemark->setChecked(cboFormat->currentData().toString() == u"xlsx"); });
    auto showTemplate = [this] {
        const bool workbook = cboFormat->currentData().toString() == u"xlsx";
        cmdReadTemplate->setVisible(workbook);
        lblTemplate->setVisible(workbook);
        QString name;
        try {
            name = installedWorkbookName(m_session.config());
        } catch (const DbError&) {
        }
        lblTemplate->setText(name.isEmpty() ? QStringLiteral("尚未读取平台模板")
                                            : QStringLiteral("已读取：") + name);
    };
    connect(cboFormat, &QComboBox::currentIndexChanged, this, showTemplate);
    connect(cmdReadTemplate, &QPushButton::clicked, this, [this, showTemplate] {
        cmdReadTemplate_Click();
        showTemplate();
    });
    showTemplate();

    auto* frame2 = new QGroupBox(QStringLiteral("说明"), step0);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* notes = new QVBoxLayout(frame2);
    const QStringList noteTexts{
        QStringLiteral("1、发票类型，指OrvaneQOR系统中的销售发票。"),
        QStringLiteral("2、分割符号，指的是导出的文本文件中,字段与字段间的分隔符号,航天金税接口默认为(~~)。"),
        QStringLiteral("3、超过行数或金额上限的发票，引出时按商品行顺序拆分为“单据号-1”、“单据号-2”……；"
                       "开具销货清单时需在表头对应“清单行商品名称”。")};
    for (int i = 0; i < noteTexts.size(); ++i) {
        auto* l = new QLabel(noteTexts[i], frame2);
        l->setObjectName(QStringLiteral("lblNote_%1").arg(i));
        l->setWordWrap(true);
        notes->addWidget(l);
    }
    auto* step0Layout = new QVBoxLayout(step0);
    step0Layout->setContentsMargins(24, 18, 24, 14);
    step0Layout->addLayout(form);
    step0Layout->addSpacing(8);
    step0Layout->addWidget(frame2);
    step0Layout->addStretch(1);

    // Step 2: the head and body grids.
    auto* step1 = new QGroupBox(QStringLiteral("第二步：设置字段对应关系"), this);
    step1->setObjectName(QStringLiteral("fraStep_1"));
    STAB = new QTabWidget(step1);
    STAB->setObjectName(QStringLiteral("STAB"));
    fpHead = new FieldGrid(STAB);
    fpHead->setObjectName(QStringLiteral("fpHead"));
    fpBody = new FieldGrid(STAB);
    fpBody->setObjectName(QStringLiteral("fpBody"));
    STAB->addTab(fpHead, QStringLiteral("发票头字段对应"));
    STAB->addTab(fpBody, QStringLiteral("发票体字段对应"));
    cmdInsert = makeButton(QStringLiteral("cmdInsert"), QStringLiteral("插入(&I)"), step1);
    cmdDelete = makeButton(QStringLiteral("cmdDelete"), QStringLiteral("删除(&D)"), step1);
    cmdStartFields = makeButton(QStringLiteral("cmdStartFields"), QString(), step1);
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(cmdInsert);
    rowButtons->addWidget(cmdDelete);
    rowButtons->addStretch(1);
    rowButtons->addWidget(cmdStartFields);
    auto* step1Layout = new QVBoxLayout(step1);
    step1Layout->addWidget(STAB, 1);
    step1Layout->addLayout(rowButtons);
    step1->setVisible(false);
    fraStep << step0 << step1;

    cmdPrevious = makeButton(QStringLiteral("cmdPrevious"), QStringLiteral("上一步(&P)"), this);
    cmdNext = makeButton(QStringLiteral("cmdNext"), QStringLiteral("下一步(&N)"), this);
    cmdFinish = makeButton(QStringLiteral("cmdFinish"), QStringLiteral("完成(&F)"), this);
    cmdCancel = makeButton(QStringLiteral("cmdCancel"), QStringLiteral("取消(&C)"), this);
    cmdPrevious->setEnabled(false);
    cmdFinish->setEnabled(false);
    auto* nav = new QHBoxLayout;
    nav->addStretch(1);
    nav->addWidget(cmdPrevious);
    nav->addWidget(cmdNext);
    nav->addWidget(cmdFinish);
    nav->addWidget(cmdCancel);

    // Both steps occupy the same place.
    auto* top = new QGridLayout(this);
    top->addWidget(step0, 0, 0);
    top->addWidget(step1, 0, 0);
    top->addLayout(nav, 1, 0);
    top->setRowStretch(0, 1);
    resize(640, 500);

    connect(cmdNext, &QPushButton::clicked, this, &LinkWizard::cmdNext_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &LinkWizard::cmdPrevious_Click);
    connect(cmdFinish, &QPushButton::clicked, this, &LinkWizard::cmdFinish_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdInsert, &QPushButton::clicked, this, &LinkWizard::cmdInsert_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &LinkWizard::cmdDelete_Click);
    connect(cmdStartFields, &QPushButton::clicked, this, &LinkWizard::cmdStartFields_Click);
    connect(fpHead, &FieldGrid::buttonClicked, this,
            [this](int c, int r) { gridButtonClicked(fpHead, c, r); });
    connect(fpBody, &FieldGrid::buttonClicked, this,
            [this](int c, int r) { gridButtonClicked(fpBody, c, r); });
    connect(fpHead, &FieldGrid::change, this, [this](int c, int r) { gridCellChanged(fpHead, c, r); });
    connect(fpBody, &FieldGrid::change, this, [this](int c, int r) { gridCellChanged(fpBody, c, r); });
}

namespace {
// The fields a link maps: the text and XML files share the tax system's, the workbook has its headings.
QString fieldFamily(const QString& format) {
    return format == u"xlsx" ? format : QStringLiteral("txt");
}
} // namespace

void LinkWizard::fillLists() {
    m_listFormat = fieldFamily(cboFormat->currentData().toString());
    fillFieldLists(m_session, fpHead, true, m_listFormat);
    fillFieldLists(m_session, fpBody, false, m_listFormat);
    showFieldTitles();
}

void LinkWizard::showFieldTitles() {
    for (FieldGrid* g : {fpHead, fpBody})
        setTaxFieldTitle(g, cboFormat->currentData().toString());
    const bool workbook = cboFormat->currentData().toString() == u"xlsx";
    cmdStartFields->setText(workbook ? QStringLiteral("按列标题对应已知字段(&M)")
                                     : QStringLiteral("从出厂关联复制字段(&M)"));
    cmdStartFields->setToolTip(
        workbook ? QStringLiteral("平台模板中程序认识的列（购买方名称、项目名称、数量、金额……）按出厂关联"
                                  "的同名字段对应，其余列留待设置")
                 : QStringLiteral("按出厂关联“航天金税默认格式”的字段对应设置表头和表体"));
}

bool LinkWizard::gridsMapped() const {
    for (const FieldGrid* g : {fpHead, fpBody})
        for (const GridRow& row : readGridRows(g))
            if (row.mapped()) return true;
    return false;
}

void LinkWizard::startGrids() {
    Connection& config = m_session.config();
    const bool workbook = cboFormat->currentData().toString() == u"xlsx";
    setGridRows(fpHead, workbook ? workbookStartRows(config, true) : factoryGridRows(config, true));
    setGridRows(fpBody, workbook ? workbookStartRows(config, false) : factoryGridRows(config, false));
}

void LinkWizard::cmdStartFields_Click() {
    try {
        if (gridsMapped() && !askYesNo(QStringLiteral("表头和表体已设置的字段对应将被替换，是否继续？")))
            return;
        startGrids();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdStartFields_Click"), e);
    }
}

void LinkWizard::init() {
    STAB->setCurrentIndex(0);
    formatFpGrid(fpHead);
    formatFpGrid(fpBody);
    if (status == 1) loadBaseData();
    fillLists();
    m_gridsStarted = status == 1;
    if (status != 1) {
        txtCompartChar->setText(QStringLiteral("~~"));
        return;
    }
    loadDetailData(m_session, fpHead, key, true);
    loadDetailData(m_session, fpBody, key, false);
}

bool LinkWizard::loadBaseData() {
    try {
        const RecordsetPtr rs = loadLink(m_session.config(), key);
        if (!rs->atEnd()) {
            setWholeText(txtLinkName, nullToText(rs->value(QStringLiteral("FName"))));
            setWholeText(txtCompartChar, nullToText(rs->value(QStringLiteral("FSeperator"))));
            const int type = nullToValue(rs->value(QStringLiteral("FInvioceType")), 0).toInt();
            cboType->setCurrentIndex(type >= 0 && type < cboType->count() ? type : -1);
            const QString memo = nullToText(rs->value(QStringLiteral("FMemo")));
            m_intNoteMax = qMax(kNoteMax, int(memo.size()));
            txtNote->setPlainText(memo);
            spnMaxLines->setValue(nullToValue(rs->value(QStringLiteral("FMaxLines")), 0).toInt());
            spnMaxAmount->setValue(nullToValue(rs->value(QStringLiteral("FMaxAmount")), 0).toDouble());
            chkUseList->setChecked(isTrueValue(rs->value(QStringLiteral("FUseList"))));
            chkMergeBuyer->setChecked(isTrueValue(rs->value(QStringLiteral("FMergeBuyer"))));
            chkMergeLines->setChecked(isTrueValue(rs->value(QStringLiteral("FMergeLines"))));
            cboFormat->setCurrentIndex(
                std::max(0, cboFormat->findData(linkFormat(rs->value(QStringLiteral("FFormat"))))));
            chkPrefixShortName->setChecked(isTrueValue(rs->value(QStringLiteral("FPrefixShortName"))));
            chkDocNoInRemark->setChecked(isTrueValue(rs->value(QStringLiteral("FDocNoInRemark"))));
        }
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("LoadBaseData"), e);
        return false;
    }
}

void LinkWizard::showStep() {
    cmdPrevious->setEnabled(m_intStep == 1);
    cmdNext->setEnabled(m_intStep == 0);
    cmdFinish->setEnabled(m_intStep == 1);
    for (int i = 0; i < fraStep.size(); ++i) {
        fraStep[i]->setVisible(i == m_intStep);
        if (i == m_intStep) {
            fraStep[i]->raise();
            fraStep[i]->update();
        }
    }
}

bool LinkWizard::checkFirstStepData() {
    try {
        if (txtLinkName->text().trimmed().isEmpty()) {
            showMsg(QStringLiteral("请输入关联名称！"));
            txtLinkName->setFocus();
            return false;
        }
        if (cboType->currentIndex() < 0) {
            showMsg(QStringLiteral("请选择发票类型！"));
            cboType->setFocus();
            return false;
        }
        if (txtCompartChar->text().trimmed().isEmpty()) {
            showMsg(QStringLiteral("请输入分隔符！"));
            txtCompartChar->setFocus();
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("CheckFirstStepData"), e);
        return false;
    }
}

void LinkWizard::cmdNext_Click() {
    try {
        if (!checkFirstStepData()) return;
        if (fieldFamily(cboFormat->currentData().toString()) != m_listFormat) {
            // The other format maps other fields: what was mapped for the one does not fit the other.
            if (gridsMapped() &&
                !askYesNo(QStringLiteral("改变引出格式后需要重新设置字段对应，是否清空已设置的字段对应？")))
                return;
            for (FieldGrid* g : {fpHead, fpBody}) {
                g->clearAllData();
                formatFpGrid(g);
            }
            fillLists();
            m_gridsStarted = false;
        }
        // A workbook link starts with the columns the program knows; a text link starts empty unless the
        // user copies the factory link's fields.
        if (!m_gridsStarted && cboFormat->currentData().toString() == u"xlsx" && !gridsMapped()) startGrids();
        m_gridsStarted = true;
        // The text file and the XML file share their fields, not their name.
        showFieldTitles();
        m_intStep = 1;
        showStep();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdNext_Click"), e);
    }
}

void LinkWizard::cmdReadTemplate_Click() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("读取电子发票平台模板"), QString(),
                                                      QStringLiteral("Excel工作簿(*.xlsx)"));
    if (path.isEmpty()) return;
    try {
        const WorkbookLayout layout =
            installWorkbookTemplate(m_session.config(), path, QFileInfo(path).completeBaseName());
        showMsg(
            QStringLiteral("平台模板已读取：发票表“%1”%2列，明细表“%3”%4列。")
                .arg(layout.head.name)
                .arg(layout.head.columns.size())
                .arg(layout.detail.name)
                .arg(layout.detail.columns.size()) +
            (layout.version.isEmpty() ? QString() : QStringLiteral("模板版本：%1。").arg(layout.version)));
    } catch (const DbError& e) {
        showMsg(QStringLiteral("读取平台模板失败：") + e.description());
    }
}

void LinkWizard::cmdPrevious_Click() {
    m_intStep = 0;
    showStep();
}

FieldMap LinkWizard::getBaseData() const {
    FieldMap h;
    h.set(QStringLiteral("FID"), key);
    h.set(QStringLiteral("FName"), txtLinkName->text().trimmed());
    h.set(QStringLiteral("FInvioceType"), cboType->currentIndex());
    h.set(QStringLiteral("FSeperator"), txtCompartChar->text().trimmed());
    h.set(QStringLiteral("FMemo"), txtNote->toPlainText().trimmed());
    h.set(QStringLiteral("FDate"), m_session.runDayText());
    h.set(QStringLiteral("FInOrOut"), inOrOut);
    h.set(QStringLiteral("FMaxLines"), spnMaxLines->value());
    h.set(QStringLiteral("FMaxAmount"), spnMaxAmount->value());
    h.set(QStringLiteral("FUseList"), chkUseList->isChecked() ? 1 : 0);
    h.set(QStringLiteral("FMergeBuyer"), chkMergeBuyer->isChecked() ? 1 : 0);
    h.set(QStringLiteral("FMergeLines"), chkMergeLines->isChecked() ? 1 : 0);
    h.set(QStringLiteral("FFormat"), cboFormat->currentData().toString());
    h.set(QStringLiteral("FPrefixShortName"), chkPrefixShortName->isChecked() ? 1 : 0);
    h.set(QStringLiteral("FDocNoInRemark"), chkDocNoInRemark->isChecked() ? 1 : 0);
    return h;
}

void LinkWizard::cmdFinish_Click() {
    try {
        // A refusal shows the grid it is about.
        for (FieldGrid* g : {fpHead, fpBody})
            if (!checkGridData(g, g == fpHead)) {
                STAB->setCurrentWidget(g);
                return;
            }
        // The tax system's own files need their first fields.
        const QStringList missing = missingRequiredFields(readGridRows(fpHead), readGridRows(fpBody),
                                                          cboFormat->currentData().toString());
        if (!missing.isEmpty() &&
            !askYesNo(QStringLiteral(
                          "关联没有对应税控系统必需的字段：%1。税控系统将拒绝这样引出的文件，是否仍然保存？")
                          .arg(missing.join(QStringLiteral("、")))))
            return;
        if (!checkLayoutGaps()) return;
        RecordList list;
        list.add(getBaseData());
        getDetailData(fpHead, list, true);
        getDetailData(fpBody, list, false);
        if (!LinkStore(m_session).saveLink(list, status)) return;
        showMsg(QStringLiteral("保存成功!"));
        accept();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdFinish_Click"), e);
    }
}

bool LinkWizard::checkLayoutGaps() {
    // Only the text file is read by position; XML elements and workbook columns carry their names.
    if (cboFormat->currentData().toString() != u"txt") return true;
    Connection& config = m_session.config();
    const QList<LayoutField> headLayout = textFileLayout(config, true);
    const QList<LayoutField> bodyLayout = textFileLayout(config, false);
    const QStringList headGaps = layoutGaps(headLayout, readGridRows(fpHead));
    const QStringList bodyGaps = layoutGaps(bodyLayout, readGridRows(fpBody));
    if (headGaps.isEmpty() && bodyGaps.isEmpty()) return true;
    if (!askYesNo(layoutGapQuestion(headGaps, bodyGaps))) {
        STAB->setCurrentIndex(headGaps.isEmpty() ? 1 : 0);
        currentGrid()->setFocus();
        return false;
    }
    setGridRows(fpHead, fillLayoutGaps(readGridRows(fpHead), headLayout));
    setGridRows(fpBody, fillLayoutGaps(readGridRows(fpBody), bodyLayout));
    return true;
}

FieldGrid* LinkWizard::currentGrid() const {
    return STAB->currentIndex() == 0 ? fpHead : fpBody;
}

void LinkWizard::cmdInsert_Click() {
    FieldGrid* grid = currentGrid();
    // Inserting would push the last row out of the grid: a mapping there would be lost without a word.
    if (!grid->text(1, grid->maxRows()).trimmed().isEmpty()) {
        showMsg(QStringLiteral("最后一行已有字段对应，不能再插入行！"));
        return;
    }
    editGridRow(grid, 3);
}

void LinkWizard::cmdDelete_Click() {
    editGridRow(currentGrid(), 1);
}

void LinkWizard::gridButtonClicked(FieldGrid* grid, int col, int row) {
    try {
        setFormulaState(grid, col, row);
        editFormula(m_session, grid, col, row, grid == fpHead);
    } catch (const std::exception& e) {
        showErr(grid == fpHead ? QStringLiteral("fpHead_ButtonClicked")
                               : QStringLiteral("fpBody_ButtonClicked"),
                e);
    }
}
