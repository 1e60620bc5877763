#include "export/ui/ExportFilterDialog.h"

#include "common/ItemChooser.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/SettingsStore.h"
#include "common/Values.h"
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QString kApp = QStringLiteral("QOR");
const QString kSection = QStringLiteral("QORInterface_HT");
// Dates are kept and handed on as yyyy-mm-dd: the only form every database reads the same way.
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

QDate savedDate(const QString& key, const QDate& today) {
    QDate d;
    if (tryDateValue(getSetting(kApp, kSection, key, today.toString(kDateFormat)), d)) return d;
    return today;
}
} // namespace

ExportFilterDialog::ExportFilterDialog(const Session& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("ExportFilterDialog"));
    setWindowTitle(QStringLiteral("过滤条件"));

    ssTab1 = new QTabWidget(this);
    ssTab1->setObjectName(QStringLiteral("SSTab1"));
    auto* page = new QWidget;
    ssTab1->addTab(page, QStringLiteral("条件"));

    frame1 = new QGroupBox(page);
    frame1->setObjectName(QStringLiteral("Frame1"));
    label1 = new QLabel(QStringLiteral("起始日期:"), frame1);
    label1->setObjectName(QStringLiteral("Label1"));
    dtFrom = new QDateEdit(frame1);
    dtFrom->setObjectName(QStringLiteral("dtFrom"));
    label2 = new QLabel(QStringLiteral("截至日期:"), frame1);
    label2->setObjectName(QStringLiteral("Label2"));
    dtTo = new QDateEdit(frame1);
    dtTo->setObjectName(QStringLiteral("dtTo"));
    for (QDateEdit* d : {dtFrom, dtTo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(kDateFormat);
        d->setMinimumWidth(120);
    }
    auto* dates = new QHBoxLayout(frame1);
    dates->addWidget(label1);
    dates->addWidget(dtFrom);
    dates->addSpacing(24);
    dates->addWidget(label2);
    dates->addWidget(dtTo);
    dates->addStretch();

    fraItem = new QGroupBox(page);
    fraItem->setObjectName(QStringLiteral("fraItem"));
    auto* grid = new QGridLayout(fraItem);
    const QStringList captions{QStringLiteral("发票号码:"), QStringLiteral("客户代码:"),
                               QStringLiteral("部门代码:"), QStringLiteral("业务员代码:"),
                               QStringLiteral("开票人:"),   QStringLiteral("审核人:")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* cap = new QLabel(captions[i], fraItem);
        cap->setObjectName(QStringLiteral("lblcap_%1").arg(i));
        auto* from = new QLineEdit(fraItem);
        from->setObjectName(QStringLiteral("txtItemFrom_%1").arg(i));
        auto* pickFrom = new QToolButton(fraItem);
        pickFrom->setObjectName(QStringLiteral("cmdItemfrom_%1").arg(i));
        auto* to = new QLabel(QStringLiteral("至:"), fraItem);
        to->setObjectName(QStringLiteral("lblcapt_%1").arg(i));
        auto* toBox = new QLineEdit(fraItem);
        toBox->setObjectName(QStringLiteral("txtItemTo_%1").arg(i));
        auto* pickTo = new QToolButton(fraItem);
        pickTo->setObjectName(QStringLiteral("cmdItemto_%1").arg(i));
        for (QToolButton* b : {pickFrom, pickTo}) {
            b->setText(QStringLiteral("…"));
            // The invoice number has no picker.
            b->setEnabled(!pickerKind(i).isEmpty());
        }
        lblcap << cap;
        txtItemFrom << from;
        cmdItemfrom << pickFrom;
        lblcapt << to;
        txtItemTo << toBox;
        cmdItemto << pickTo;
        grid->addWidget(cap, i, 0);
        grid->addWidget(from, i, 1);
        grid->addWidget(pickFrom, i, 2);
        grid->addWidget(to, i, 3);
        grid->addWidget(toBox, i, 4);
        grid->addWidget(pickTo, i, 5);
        connect(pickFrom, &QToolButton::clicked, this, [this, i] { cmdItemfrom_Click(i); });
        connect(pickTo, &QToolButton::clicked, this, [this, i] { cmdItemto_Click(i); });
    }
    label6 = new QLabel(QStringLiteral("物料类别代码:"), fraItem);
    label6->setObjectName(QStringLiteral("Label6"));
    txtItemClass = new QLineEdit(fraItem);
    txtItemClass->setObjectName(QStringLiteral("txtItemClass"));
    cmdItemClass = new QToolButton(fraItem);
    cmdItemClass->setObjectName(QStringLiteral("cmdItemClass"));
    cmdItemClass->setText(QStringLiteral("…"));
    const int last = captions.size();
    grid->addWidget(label6, last, 0);
    grid->addWidget(txtItemClass, last, 1);
    grid->addWidget(cmdItemClass, last, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    grid->setColumnMinimumWidth(1, 150);
    grid->setColumnMinimumWidth(4, 150);

    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(frame1);
    pageLayout->addWidget(fraItem);

    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&E)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &ExportFilterDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &ExportFilterDialog::cmdCancel_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* main = new QVBoxLayout(this);
    main->addWidget(ssTab1);
    main->addLayout(buttons);
    resize(560, 380);
}

QString ExportFilterDialog::pickerKind(int index) {
    switch (index) {
    case 1:
        return QStringLiteral("SelCust");
    case 2:
        return QStringLiteral("SelDepartment");
    case 3:
        return QStringLiteral("SelBaseEmployee");
    case 4:
    case 5:
        return QStringLiteral("SelLoginUser");
    default:
        return {};
    }
}

bool ExportFilterDialog::init() {
    loadCondition();
    return false;
}

void ExportFilterDialog::loadCondition() {
    dtFrom->setDate(savedDate(QStringLiteral("DateFrom"), m_session.runDay()));
    dtTo->setDate(savedDate(QStringLiteral("DateTo"), m_session.runDay()));
    for (int i = 0; i < txtItemFrom.size(); ++i) {
        txtItemFrom[i]->setText(getSetting(kApp, kSection, QStringLiteral("ItemFrom%1").arg(i)));
        txtItemTo[i]->setText(getSetting(kApp, kSection, QStringLiteral("ItemTo%1").arg(i)));
    }
}

QString ExportFilterDialog::saveCondition() {
    const QString from = dtFrom->date().toString(kDateFormat);
    const QString to = dtTo->date().toString(kDateFormat);
    saveSetting(kApp, kSection, QStringLiteral("DateFrom"), from);
    saveSetting(kApp, kSection, QStringLiteral("DateTo"), to);
    QStringList values{from, to};
    for (int i = 0; i < txtItemFrom.size(); ++i) {
        const QString f = txtItemFrom[i]->text().trimmed();
        const QString t = txtItemTo[i]->text().trimmed();
        saveSetting(kApp, kSection, QStringLiteral("ItemFrom%1").arg(i), f);
        saveSetting(kApp, kSection, QStringLiteral("ItemTo%1").arg(i), t);
        values << f << t;
    }
    return values.join(u'|');
}

void ExportFilterDialog::cmdOK_Click() {
    // A reversed range would export nothing without saying why.
    if (dtFrom->date() > dtTo->date()) {
        showMsg(QStringLiteral("开始日期不能晚于结束日期！"));
        dtFrom->setFocus();
        return;
    }
    m_condition = saveCondition();
    m_bOK = true;
    accept();
}

void ExportFilterDialog::cmdCancel_Click() {
    m_bOK = false;
    reject();
}

bool ExportFilterDialog::getItemData(const QString& kind, QString& result) {
    result.clear();
    try {
        if (m_session.itemChooser) result = m_session.itemChooser->choose(kind, this);
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("GetItemData"), e);
        return false;
    }
}

void ExportFilterDialog::cmdItemfrom_Click(int index) {
    try {
        const QString kind = pickerKind(index);
        if (kind.isEmpty() || index >= txtItemFrom.size()) return;
        QString value;
        if (getItemData(kind, value) && !value.isEmpty()) txtItemFrom[index]->setText(value);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdItemfrom_Click"), e);
    }
}

void ExportFilterDialog::cmdItemto_Click(int index) {
    try {
        const QString kind = pickerKind(index);
        if (kind.isEmpty() || index >= txtItemTo.size()) return;
        QString value;
        if (getItemData(kind, value) && !value.isEmpty()) txtItemTo[index]->setText(value);
    } catch (const std::exception& e) {
        showErr(QStringLiteral("cmdItemto_Click"), e);
    }
}
