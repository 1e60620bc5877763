#include "app/ui/AboutDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("关于"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
    lblTitle = new QLabel(QStringLiteral("Orvane航天金税接口"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont f = lblTitle->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    lblTitle->setFont(f);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblNote = new QLabel(QStringLiteral("在QOR账套与航天金税防伪开票系统之间引出、引入销售发票，\n"
                                        "并维护两个系统之间的基础资料对应。"),
                         this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblNote);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(420, 180)));
}

void AboutDialog::init(QCoreApplication* application) {
    QString version = application ? application->applicationVersion() : QString();
    if (version.isEmpty()) version = QStringLiteral(TAXFERRY_VERSION);
    lblVersion->setText(QStringLiteral("版本 ") + version);
}
