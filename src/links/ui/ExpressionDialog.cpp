#include "links/ui/ExpressionDialog.h"

#include "common/Session.h"

#include "common/Messages.h"
#include "links/ExpressionVerifier.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

ExpressionDialog::ExpressionDialog(const Session& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("ExpressionDialog"));
    setWindowTitle(QStringLiteral("编辑公式"));
    setModal(true);

    auto* lblFields = new QLabel(QStringLiteral("可选用的字段："), this);
    lstFields = new QListWidget(this);
    lstFields->setObjectName(QStringLiteral("lstFields"));
    lstFields->setMinimumWidth(170);
    lblFields->setBuddy(lstFields);

    auto* lblExp = new QLabel(QStringLiteral("公式："), this);
    txtExp = new QPlainTextEdit(this);
    txtExp->setObjectName(QStringLiteral("txtExp"));
    txtExp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtExp->setTabChangesFocus(true);
    lblExp->setBuddy(txtExp);

    const QStringList captions{QStringLiteral("("),    QStringLiteral(")"),     QStringLiteral("+"),
                               QStringLiteral("-"),    QStringLiteral("*"),     QStringLiteral("/"),
                               QStringLiteral("LEFT"), QStringLiteral("RIGHT"), QStringLiteral("TRIM"),
                               QStringLiteral("MID")};
    const QStringList tips{QStringLiteral("左括号"),
                           QStringLiteral("右括号"),
                           QStringLiteral("加"),
                           QStringLiteral("减"),
                           QStringLiteral("乘"),
                           QStringLiteral("除"),
                           QStringLiteral("取字段的左边几位字符，如Left([单据号],4)"),
                           QStringLiteral("取字段的右边几位字符，如Right([单据号],4)"),
                           QStringLiteral("去掉字段前后空格符，如Trim([单据号])"),
                           QStringLiteral("取字段中间的几位字符，如Substr([单据号]，1，5)")};
    auto* operators = new QHBoxLayout;
    operators->setSpacing(4);
    for (int i = 0; i < captions.size(); ++i) {
        auto* b = new QPushButton(captions[i], this);
        b->setObjectName(QStringLiteral("cmdOperator_%1").arg(i));
        b->setToolTip(tips[i]);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        if (i < 6) b->setFixedWidth(34);
        b->setVisible(i < 6);
        connect(b, &QPushButton::clicked, this, [this, i] { cmdOperator_Click(i); });
        cmdOperator.append(b);
        operators->addWidget(b);
    }
    operators->addStretch(1);
    cmdClear = new QPushButton(QStringLiteral("清空(&L)"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdClear->setAutoDefault(false);
    operators->addWidget(cmdClear);

    cmdVerity = new QPushButton(QStringLiteral("测试(&T)"), this);
    cmdVerity->setObjectName(QStringLiteral("CmdVerity"));
    cmdVerity->setToolTip(QStringLiteral("测试公式"));
    cmdVerity->setAutoDefault(false);
    cmdSyntax = new QPushButton(QStringLiteral("语法说明(&S)"), this);
    cmdSyntax->setObjectName(QStringLiteral("CmdSyntax"));
    cmdSyntax->setVisible(false);
    btnOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setAutoDefault(false);
    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(lblFields);
    left->addWidget(lstFields, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(lblExp);
    right->addWidget(txtExp, 1);
    right->addLayout(operators);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 2);
    body->addLayout(right, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdVerity);
    buttons->addWidget(cmdSyntax);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(body, 1);
    top->addLayout(buttons);
    resize(560, 340);

    connect(lstFields, &QListWidget::itemDoubleClicked, this, &ExpressionDialog::lstFields_DblClick);
    connect(cmdClear, &QPushButton::clicked, this, [this] { txtExp->clear(); });
    connect(cmdVerity, &QPushButton::clicked, this, &ExpressionDialog::cmdVerityClick);
    connect(btnOK, &QPushButton::clicked, this, &ExpressionDialog::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &ExpressionDialog::btnCancel_Click);
}

void ExpressionDialog::loadData() {
    try {
        const QStringList items = ExpressionVerifier::loadFieldItems(m_session.config(), isHead);
        lstFields->clear();
        lstFields->addItems(items);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("LoadData"), e);
    }
}

void ExpressionDialog::insertAtCaret(const QString& text, int caretBack) {
    QTextCursor c = txtExp->textCursor();
    c.insertText(text); // replaces the selection
    if (caretBack > 0) c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::MoveAnchor, caretBack);
    txtExp->setTextCursor(c);
    txtExp->setFocus();
}

void ExpressionDialog::lstFields_DblClick(QListWidgetItem* item) {
    if (!item) return;
    insertAtCaret(u'[' + item->text() + QStringLiteral("] "));
}

void ExpressionDialog::cmdOperator_Click(int index) {
    const QString caption = cmdOperator.value(index) ? cmdOperator[index]->text() : QString();
    if (index < 6)
        insertAtCaret(caption);
    else
        insertAtCaret(caption + QStringLiteral("( )"), 2);
}

bool ExpressionDialog::verifyExpression() {
    ExpressionVerifier v(m_session);
    v.expression = txtExp->toPlainText();
    v.dataType = dataType;
    // Kept as they were when the check stops before the references are resolved.
    v.returnFieldName = m_ReturnFieldName;
    v.returnFieldId = m_ReturnFieldID;
    for (int i = 0; i < lstFields->count(); ++i)
        v.fieldItems << lstFields->item(i)->text();
    const bool ok = v.verifyExpression();
    m_ReturnFieldName = v.returnFieldName;
    m_ReturnFieldID = v.returnFieldId;
    return ok;
}

void ExpressionDialog::cmdVerityClick() {
    if (verifyExpression()) showMsg(QStringLiteral("表达式语法正确！"));
}

void ExpressionDialog::btnOK_Click() {
    if (!verifyExpression()) return;
    m_bOK = true;
    m_ReturnFieldDesc = txtExp->toPlainText().trimmed();
    accept();
}

void ExpressionDialog::btnCancel_Click() {
    m_bOK = false;
    reject();
}
