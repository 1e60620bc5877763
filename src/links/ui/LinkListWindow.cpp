#include "links/ui/LinkListWindow.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "export/WorkbookTemplate.h"
#include "links/LinkStore.h"
#include "links/ui/LinkWizard.h"
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int TagRole = Qt::UserRole;
constexpr int KeyRole = Qt::UserRole + 1;
} // namespace

LinkListWindow::LinkListWindow(const Session& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("LinkListWindow"));
    setWindowTitle(QStringLiteral("选择关联关系"));

    fraSelect = new QGroupBox(QStringLiteral("请选择关联"), this);
    fraSelect->setObjectName(QStringLiteral("fraSelect"));
    lsvSelect = new QTreeWidget(fraSelect);
    lsvSelect->setObjectName(QStringLiteral("lsvSelect"));
    lsvSelect->setColumnCount(4);
    lsvSelect->setHeaderLabels({QStringLiteral("关联名称"), QStringLiteral("票据类型"),
                                QStringLiteral("文件类型"), QStringLiteral("创建日期")});
    lsvSelect->setRootIsDecorated(false);
    lsvSelect->setAllColumnsShowFocus(true);
    lsvSelect->setSelectionMode(QAbstractItemView::SingleSelection);
    lsvSelect->header()->setStretchLastSection(false);
    lsvSelect->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* frame = new QVBoxLayout(fraSelect);
    frame->addWidget(lsvSelect);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdOK = button("cmdOK", QStringLiteral("确定(&O)"));
    cmdOK->setDefault(true);
    cmdCancel = button("cmdCancel", QStringLiteral("取消(&C)"));
    cmdNew = button("cmdNew", QStringLiteral("新建(&N)"));
    cmdEdit = button("cmdEdit", QStringLiteral("修改(&E)"));
    cmdDelete = button("cmdDelete", QStringLiteral("删除(&D)"));
    cmdAttrReference = button("cmdAttrReference", QStringLiteral("格式引入(&R)"));
    cmdAttrImp = button("cmdAttrImp", QStringLiteral("格式引入(&I)"));
    cmdAttrExp = button("cmdAttrExp", QStringLiteral("格式引出(&X)"));
    cmdAttrImp->hide();
    cmdAttrExp->hide();

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {cmdOK, cmdCancel})
        side->addWidget(b);
    side->addSpacing(16);
    for (QPushButton* b : {cmdNew, cmdEdit, cmdDelete})
        side->addWidget(b);
    side->addSpacing(16);
    side->addWidget(cmdAttrReference);
    side->addStretch();
    auto* main = new QHBoxLayout(this);
    main->addWidget(fraSelect, 1);
    main->addLayout(side);
    resize(680, 340);

    connect(cmdOK, &QPushButton::clicked, this, &LinkListWindow::cmdOK_Click);
    connect(lsvSelect, &QTreeWidget::itemDoubleClicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &LinkListWindow::cmdCancel_Click);
    connect(cmdNew, &QPushButton::clicked, this, &LinkListWindow::cmdNew_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &LinkListWindow::cmdEdit_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &LinkListWindow::cmdDelete_Click);
    connect(cmdAttrReference, &QPushButton::clicked, this, &LinkListWindow::cmdAttrReference_Click);
}

void LinkListWindow::init() {
    try {
        lsvSelect->clear();
        const RecordsetPtr rs = loadLinks(m_session.config(), QString::number(exportOrImport));
        const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
        for (rs->first(); !rs->atEnd(); rs->next()) {
            const QString fid = nullToText(rs->value(QStringLiteral("FID")));
            auto* item = new QTreeWidgetItem(lsvSelect);
            item->setIcon(0, icon);
            item->setText(0, nullToText(rs->value(QStringLiteral("FName"))));
            const QVariant type = nullToValue(rs->value(QStringLiteral("FInvioceType")), 0);
            item->setText(1, type.toString() == u"0" ? QStringLiteral("销售专用发票")
                                                     : QStringLiteral("销售普通发票"));
            item->setText(2, formatName(linkFormat(rs->value(QStringLiteral("FFormat")))));
            item->setText(3, nullToText(rs->value(QStringLiteral("FDate"))));
            item->setData(0, TagRole, QStringLiteral("ID") + fid);
            item->setData(0, KeyRole, QStringLiteral("KEY") + fid);
        }
        // The type, format and date columns as wide as what they show, with room between them; the name
        // takes the rest.
        for (int c = 1; c <= 3; ++c) {
            lsvSelect->resizeColumnToContents(c);
            lsvSelect->setColumnWidth(c, lsvSelect->columnWidth(c) + 16);
        }
        // The first link is ready for 确定 and the arrow keys without a click.
        if (QTreeWidgetItem* first = lsvSelect->topLevelItem(0)) {
            lsvSelect->setCurrentItem(first);
            first->setSelected(true);
        }
    } catch (const std::exception& e) {
        showErr(QStringLiteral("Init"), e);
    }
}

QString LinkListWindow::selectedLinkId() const {
    const QTreeWidgetItem* item = lsvSelect->currentItem();
    if (!item || !item->isSelected()) return {};
    return item->data(0, TagRole).toString().mid(2);
}

void LinkListWindow::cmdOK_Click() {
    try {
        const QTreeWidgetItem* item = lsvSelect->currentItem();
        if (!item || !item->isSelected()) return;
        const QString key = selectedLinkId(), name = item->text(0), memo = item->text(1);
        accept();
        if (openExport) openExport(key, name, memo);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdOK_Click"), e);
    }
}

void LinkListWindow::cmdCancel_Click() {
    reject();
}

void LinkListWindow::cmdNew_Click() {
    try {
        {
            LinkWizard wizard(m_session, this);
            wizard.status = 0;
            wizard.inOrOut = exportOrImport;
            wizard.init();
            wizard.exec();
        }
        init();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdNew_Click"), e);
    }
}

void LinkListWindow::cmdEdit_Click() {
    try {
        const QString id = selectedLinkId();
        if (id.isEmpty()) return;
        {
            LinkWizard wizard(m_session, this);
            wizard.status = 1;
            wizard.inOrOut = exportOrImport;
            wizard.key = id;
            wizard.init();
            wizard.exec();
        }
        init();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdEdit_Click"), e);
    }
}

void LinkListWindow::cmdDelete_Click() {
    try {
        const QString id = selectedLinkId();
        if (id.isEmpty()) return;
        if (!askYesNo(QStringLiteral("你确定要删除所选关联吗？"))) return;
        if (LinkStore(m_session).deleteLink(id)) {
            showMsg(QStringLiteral("删除成功!"));
            init();
        }
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdDelete_Click"), e);
    }
}

void LinkListWindow::cmdAttrReference_Click() {
    try {
        // Say which links get their factory mappings back: the others keep theirs.
        const QStringList names = factoryLinkNames(m_session.config());
        QString question = QStringLiteral("是否确定引入航天金税默认的发票格式设置?");
        if (!names.isEmpty())
            question += QStringLiteral("\r\n将恢复关联“%1”的字段对应，其他关联保持不变。")
                            .arg(names.join(QStringLiteral("”、“")));
        if (!askYesNo(question)) return;
        if (LinkStore(m_session).loadTaxDefaultDetail()) init();
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdAttrReference_Click"), e);
    }
}
