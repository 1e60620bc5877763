#include "app/ui/BaseDataPicker.h"

#include "app/AppStore.h"

#include "common/DbProcedures.h"

#include "common/Messages.h"

#include "common/Values.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

BaseDataPicker::BaseDataPicker(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BaseDataPicker"));
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

    connect(cmdOK, &QPushButton::clicked, this, &BaseDataPicker::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lsvItems, &QTreeWidget::itemDoubleClicked, this, &BaseDataPicker::cmdOK_Click);
    connect(txtFind, &QLineEdit::textChanged, this, &BaseDataPicker::txtFind_Change);
    resize(460, 420);
}

void BaseDataPicker::init(const QString& kind, Connection& acct) {
    const std::optional<ItemLookKind> k = itemLookKindOf(kind);
    if (!k) throw DbError(ErrNo::General, QStringLiteral("无效的选择类型: ") + kind);
    setWindowTitle(k->caption);
    lsvItems->setHeaderLabels({k->codeTitle, k->nameTitle});
    lsvItems->clear();
    RecordsetPtr rs = itemLookRows(acct, *k);
    QList<QTreeWidgetItem*> items;
    for (rs->first(); !rs->atEnd(); rs->next())
        items << new QTreeWidgetItem(QStringList{nullToText(rs->value(0)), nullToText(rs->value(1))});
    lsvItems->addTopLevelItems(items);
    lsvItems->header()->resizeSection(0, 130);
    if (!items.isEmpty()) lsvItems->setCurrentItem(items.first());
}

void BaseDataPicker::txtFind_Change() {
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

void BaseDataPicker::cmdOK_Click() {
    QTreeWidgetItem* it = lsvItems->currentItem();
    if (!it || it->isHidden()) {
        showMsg(QStringLiteral("请选择一条记录!"));
        return;
    }
    m_returnValue = it->text(0);
    accept();
}
