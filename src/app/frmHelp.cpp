#include "frmHelp.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
const char* kHelpText = R"(<h2>Orvane航天金税接口</h2>
<p>本程序在QOR账套与航天金税防伪开票系统之间传递销售发票：把QOR的销售发票引出为金税系统可以引入的文本文件，
再把金税系统开具的发票引入QOR，生成销售发票。</p>
<h3>引出文本文件发票</h3>
<p>选择一个关联关系(引出方案)后按“确定”，输入目标文件并按“引出”，再在过滤条件中限定日期、发票号码、客户、部门、业务员和制单人。
引出的文件(SJJK0101 销售单据传入)可在金税系统中直接引入。</p>
<p>关联关系规定金税字段取QOR的哪个字段或哪个公式；可以新建、修改、删除，也可以引入金税系统的默认格式。</p>
<h3>引入文本文件发票</h3>
<p>选择金税系统导出的已开发票文件(SJJK0201 已开发票传出)并按“确定”。文件中的全部发票在一个事务中写入QOR：
只要有一张发票不能引入，就一张也不写入，并提示原因。</p>
<h3>引入基础资料对应</h3>
<p>金税系统中的客户、商品、计量单位、开票人和规格型号的名称与QOR中的名称不同时，在这里维护两者的对应关系。
在QOR名称列中按F7或双击，可以从QOR的基础资料中选择。</p>
<h3>退出</h3>
<p>关闭主窗口即退出程序，并关闭两个数据库连接。</p>)";
} // namespace

frmHelp::frmHelp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("帮助主题"));
    txtHelp = new QTextBrowser(this);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    txtHelp->setOpenExternalLinks(false);
    cmdClose = new QPushButton(QStringLiteral("关闭"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtHelp);
    layout->addLayout(buttons);
    resize(560, 460);
}

void frmHelp::Init(int) {
    txtHelp->setHtml(QString::fromUtf8(kHelpText));
}
