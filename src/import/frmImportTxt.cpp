#include "frmImportTxt.h"

#include "BillNumbering.h"
#include "ImportEngine.h"
#include "common/modFunction.h"
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

frmImportTxt::frmImportTxt(Session& session, QWidget* parent)
    : QDialog(parent), m_engine(std::make_unique<ImportEngine>(session)) {
    setObjectName(QStringLiteral("frmImportTxt"));
    setWindowTitle(QStringLiteral("文本文件引入"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    fraTable = new QGroupBox(QStringLiteral("请选择引入文件路径"), this);
    fraTable->setObjectName(QStringLiteral("fraTable"));
    lblLabels = new QLabel(QStringLiteral("引入文件路径(&P):"), fraTable);
    lblLabels->setObjectName(QStringLiteral("lblLabels"));
    txtAIS = new QLineEdit(fraTable);
    txtAIS->setObjectName(QStringLiteral("txtAIS"));
    txtAIS->setMinimumWidth(300);
    lblLabels->setBuddy(txtAIS);
    cmdOpen = new QToolButton(fraTable);
    cmdOpen->setObjectName(QStringLiteral("cmdOpen"));
    cmdOpen->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdOpen->setToolTip(QStringLiteral("浏览"));

    auto* pathRow = new QHBoxLayout(fraTable);
    pathRow->setContentsMargins(12, 12, 12, 12);
    pathRow->addWidget(lblLabels);
    pathRow->addWidget(txtAIS, 1);
    pathRow->addWidget(cmdOpen);

    chkSkipImported = new QCheckBox(QStringLiteral("跳过已引入的发票(&S)"), this);
    chkSkipImported->setObjectName(QStringLiteral("chkSkipImported"));
    chkSkipImported->setToolTip(QStringLiteral("文件中已经引入过的发票不再引入，其余照常引入"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setVisible(false);

    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdExit = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdExit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraTable);
    layout->addWidget(chkSkipImported);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    dlgX = new QFileDialog(this);
    dlgX->setObjectName(QStringLiteral("dlgX"));
    dlgX->setOption(QFileDialog::DontUseNativeDialog, true);
    dlgX->setFileMode(QFileDialog::ExistingFile);
    dlgX->setAcceptMode(QFileDialog::AcceptOpen);

    connect(cmdOpen, &QToolButton::clicked, this, &frmImportTxt::cmdOpen_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmImportTxt::cmdOK_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmImportTxt::cmdExit_Click);
}

frmImportTxt::~frmImportTxt() = default;

QString frmImportTxt::GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate,
                                   const QString& defaultText) {
    return ::GetNewBillID(conn, billTypeID, doUpdate, defaultText);
}

void frmImportTxt::cmdOpen_Click() {
    dlgX->setWindowTitle(QStringLiteral("Orvane"));
    dlgX->setNameFilter(QStringLiteral("文本文件(*.txt)"));
    dlgX->selectFile(QString());
    if (dlgX->exec() != QDialog::Accepted) return;
    const QStringList files = dlgX->selectedFiles();
    if (files.isEmpty() || !QFileInfo(files.first()).isFile()) return;
    txtAIS->setText(files.first().trimmed());
}

bool frmImportTxt::CheckData() {
    const QString path = txtAIS->text().trimmed();
    if (path.isEmpty()) {
        ShowMsg(QStringLiteral("引入文件路径不可为空！"));
        txtAIS->setFocus();
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        ShowMsg(QStringLiteral("选定的引入文件不存在！"));
        txtAIS->setFocus();
        return false;
    }
    return true;
}

void frmImportTxt::cmdOK_Click() {
    try {
        if (!CheckData()) return;
        mstrFilePath = txtAIS->text().trimmed();
        setCursor(Qt::WaitCursor);
        const bool ok = m_engine->ImportToQor(mstrFilePath, chkSkipImported->isChecked());
        unsetCursor();
        lblStatus->setText(m_engine->CountsText());
        lblStatus->setVisible(ok || !m_engine->LastCounts().guarded);
        if (ok) {
            ShowMsg(QStringLiteral("引入成功!"));
            accept();
        } else {
            ShowMsg(QStringLiteral("引入失败!"));
        }
    } catch (const std::exception& e) {
        unsetCursor();
        ShowErr(QStringLiteral("cmdOK_Click"), e);
    }
}

void frmImportTxt::cmdExit_Click() {
    reject();
}
