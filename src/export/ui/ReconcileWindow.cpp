#include "export/ui/ReconcileWindow.h"

#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "export/ui/ExportFilterDialog.h"
#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// Amounts as an accountant reads them: thousands grouped, two decimals.
QString money(const std::optional<double>& value) {
    return value ? QLocale(QLocale::Chinese, QLocale::China).toString(*value, 'f', 2) : QString();
}

QTableWidgetItem* cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}
} // namespace

ReconcileWindow::ReconcileWindow(Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("ReconcileWindow"));
    setWindowTitle(QStringLiteral("对账"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* caption =
        new QLabel(QStringLiteral("引出的单据和税控系统开具的发票：已开票、未开票、已作废，开票金"
                                  "额与引出金额相差超过0.01的为金额不符；平台退回的单据为开具失败。"),
                   this);
    caption->setObjectName(QStringLiteral("lblCaption"));
    caption->setWordWrap(true);
    grdDocs = new QTableWidget(0, 6, this);
    grdDocs->setObjectName(QStringLiteral("grdDocs"));
    grdDocs->setHorizontalHeaderLabels({QStringLiteral("单据号"), QStringLiteral("状态"),
                                        QStringLiteral("发票代码-发票号码"), QStringLiteral("引出不含税金额"),
                                        QStringLiteral("开票不含税金额"), QStringLiteral("说明")});
    grdDocs->verticalHeader()->setVisible(false);
    grdDocs->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdDocs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdDocs->setAlternatingRowColors(true);
    lblTotals = new QLabel(this);
    lblTotals->setObjectName(QStringLiteral("lblTotals"));
    lblTotals->setWordWrap(true);
    cmdFilter = new QPushButton(QStringLiteral("过滤(&F)…"), this);
    cmdFilter->setObjectName(QStringLiteral("cmdFilter"));
    cmdSave = new QPushButton(QStringLiteral("保存为CSV(&S)…"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdClose = new QPushButton(QStringLiteral("关闭(&C)"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdFilter);
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(grdDocs, 1);
    layout->addWidget(lblTotals);
    layout->addLayout(buttons);
    resize(760, 480);

    connect(cmdFilter, &QPushButton::clicked, this, &ReconcileWindow::chooseFilter);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdSave, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, QStringLiteral("保存对账结果"));
        dialog.setObjectName(QStringLiteral("dlgSave"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("CSV文件(*.csv)"));
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(QStringLiteral("对账.csv"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            saveCsv(dialog.selectedFiles().first());
    });
    cmdSave->setEnabled(false);
}

bool ReconcileWindow::chooseFilter() {
    // Chosen before the window shows: over the window that opens it, not where a hidden one would be.
    ExportFilterDialog filter(m_session, isVisible() || !parentWidget() ? this : parentWidget());
    filter.init();
    filter.exec();
    if (!filter.ok()) return false;
    showDocuments(filter.returnCondition());
    grdDocs->setFocus();
    return true;
}

void ReconcileWindow::showDocuments(const QString& conditions) {
    try {
        fill(Reconciliation(m_session).run(conditions));
    } catch (const std::exception& e) {
        showErr(QStringLiteral("Reconcile"), e);
    }
}

void ReconcileWindow::fill(const QList<ReconcileDocument>& documents) {
    m_documents = documents;
    grdDocs->setRowCount(0);
    for (const ReconcileDocument& d : documents) {
        const int r = grdDocs->rowCount();
        grdDocs->insertRow(r);
        grdDocs->setItem(r, 0, cell(d.docNo));
        grdDocs->setItem(r, 1, cell(d.state));
        grdDocs->setItem(r, 2, cell(d.number));
        grdDocs->setItem(r, 3, cell(money(d.exported), true));
        grdDocs->setItem(r, 4, cell(money(d.issued), true));
        grdDocs->setItem(r, 5, cell(d.note()));
        if (!d.note().isEmpty())
            for (int c = 0; c < 6; ++c)
                grdDocs->item(r, c)->setToolTip(d.note());
        // A document the platform refused waits for the user: it stands out until it goes out again.
        if (d.state == Ledger::issueRefused()) {
            grdDocs->item(r, 1)->setBackground(QColor(0xf8, 0xd7, 0xda));
            grdDocs->item(r, 1)->setForeground(QColor(0x84, 0x20, 0x29));
        }
        if (d.members.size() > 1)
            for (const ReconcileMember& m : d.members) {
                const int mr = grdDocs->rowCount();
                grdDocs->insertRow(mr);
                grdDocs->setItem(mr, 1, cell(QStringLiteral("成员")));
                grdDocs->setItem(mr, 2, cell(m.billNo));
                grdDocs->setItem(mr, 3, cell(money(m.amount), true));
            }
    }
    grdDocs->resizeColumnsToContents();
    // The notes take what is left; a long one is read whole in its tooltip.
    grdDocs->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
    QStringList totals;
    for (const ReconcileTotal& t : Reconciliation::totals(documents))
        totals << QStringLiteral("%1%2张，引出%3，开票%4")
                      .arg(t.state)
                      .arg(t.documents)
                      .arg(money(t.exported), money(t.issued));
    lblTotals->setText(documents.isEmpty() ? QStringLiteral("所选范围内没有引出过的单据。")
                                           : QStringLiteral("合计：") + totals.join(QStringLiteral("；")) +
                                                 QStringLiteral("。"));
    cmdSave->setEnabled(!documents.isEmpty());
}

bool ReconcileWindow::saveCsv(const QString& path) {
    QSaveFile file(path);
    const QByteArray bytes = Reconciliation::csv(m_documents);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showMsg(QStringLiteral("保存文件失败：%1").arg(file.errorString()));
        return false;
    }
    showMsg(QStringLiteral("对账结果已保存到%1。").arg(QDir::toNativeSeparators(path)));
    return true;
}
