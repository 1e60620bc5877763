#include "frmItemLook.h"

#include "AppStore.h"

#include "common/modFunction.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmItemLook::frmItemLook(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmItemLook"));
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setPlaceholderText(QStringLiteral("输入代码或名称的一部分"));
    txtFind->setClearButtonEnabled(true);
    lsvItems = new QTreeWidget(this);
    lsvItems->setObjectName(QStringLiteral("lsvItems"));
    lsvItems->setRootIsDecorated(false);
    lsvItems->setAlternatingRowColors(true);
    lsvItems->setUniformRowHeights(true);
    lsvItems->setColumnCount(2);
    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto* find = new QHBoxLayout;
    find->addWidget(new QLabel(QStringLiteral("查找:"), this));
    find->addWidget(txtFind, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(find);
    layout->addWidget(lsvItems, 1);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmItemLook::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lsvItems, &QTreeWidget::itemDoubleClicked, this, &frmItemLook::cmdOK_Click);
    connect(txtFind, &QLineEdit::textChanged, this, &frmItemLook::txtFind_Change);
    resize(460, 420);
}

void frmItemLook::Init(const QString& kind, Connection& acct) {
    const std::optional<ItemLookKind> k = ItemLookKindOf(kind);
    if (!k) throw DbError(ErrNo::General, QStringLiteral("无效的选择类型: ") + kind);
    setWindowTitle(k->caption);
    lsvItems->setHeaderLabels({k->codeTitle, k->nameTitle});
    lsvItems->clear();
    RecordsetPtr rs = ItemLookRows(acct, *k);
    QList<QTreeWidgetItem*> items;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        items << new QTreeWidgetItem(QStringList{NullToText(rs->value(0)), NullToText(rs->value(1))});
    lsvItems->addTopLevelItems(items);
    lsvItems->header()->resizeSection(0, 130);
    if (!items.isEmpty()) lsvItems->setCurrentItem(items.first());
}

void frmItemLook::txtFind_Change() {
    const QString t = txtFind->text().trimmed();
    QTreeWidgetItem* firstShown = nullptr;
    for (int i = 0; i < lsvItems->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = lsvItems->topLevelItem(i);
        const bool show = t.isEmpty() || it->text(0).contains(t, Qt::CaseInsensitive) ||
                          it->text(1).contains(t, Qt::CaseInsensitive);
        it->setHidden(!show);
        if (show && !firstShown) firstShown = it;
    }
    if (lsvItems->currentItem() == nullptr || lsvItems->currentItem()->isHidden())
        lsvItems->setCurrentItem(firstShown);
}

void frmItemLook::cmdOK_Click() {
    QTreeWidgetItem* it = lsvItems->currentItem();
    if (!it || it->isHidden()) {
        ShowMsg(QStringLiteral("请选择一条记录!"));
        return;
    }
    m_returnValue = it->text(0);
    accept();
}
