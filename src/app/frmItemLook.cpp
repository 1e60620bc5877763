#include "frmItemLook.h"

#include "common/modFunction.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
struct PickerKind {
    const char* kind;
    const char* caption;
    const char* codeTitle;
    const char* nameTitle;
    const char* sql;
};
// Users up to 16383 are the product's own accounts and are never listed.
const PickerKind kKinds[] = {
    {"SelCust", "选择客户", "客户代码", "客户名称",
     "select FNumber,FName from t_Organization order by FNumber"},
    {"SelDepartment", "选择部门", "部门代码", "部门名称",
     "select FNumber,FName from t_Department order by FNumber"},
    {"SelBaseEmployee", "选择职员", "职员代码", "职员名称",
     "select FNumber,FName from t_Emp order by FNumber"},
    {"SelLoginUser", "选择用户", "用户名", "说明",
     "select FName,FDescription from t_User where FUserID>16383 order by FUserID"},
};
} // namespace

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
    cmdOK = new QPushButton(QStringLiteral("确定"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
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
    const PickerKind* k = nullptr;
    for (const PickerKind& candidate : kKinds)
        if (kind == QLatin1String(candidate.kind)) k = &candidate;
    if (!k) throw DbError(ErrNo::General, QStringLiteral("无效的选择类型: ") + kind);
    setWindowTitle(QString::fromUtf8(k->caption));
    lsvItems->setHeaderLabels({QString::fromUtf8(k->codeTitle), QString::fromUtf8(k->nameTitle)});
    lsvItems->clear();
    RecordsetPtr rs = acct.Query(QString::fromUtf8(k->sql));
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
