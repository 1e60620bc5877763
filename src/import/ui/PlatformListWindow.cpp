#include "import/ui/PlatformListWindow.h"

#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString money(double value) {
    return QLocale(QLocale::Chinese, QLocale::China).toString(value, 'f', 2);
}

QTableWidgetItem* cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// The grid's headings: a list's invoices, or the refused rows of a batch workbook.
QStringList headings(bool refusals) {
    return {QStringLiteral("结果"),
            refusals ? QStringLiteral("发票流水号") : QStringLiteral("数电发票号码"),
            QStringLiteral("购买方名称"),
            QStringLiteral("金额"),
            QStringLiteral("税额"),
            QStringLiteral("单据")};
}

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

PlatformListWindow::PlatformListWindow(Session& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("PlatformListWindow"));
    setWindowTitle(QStringLiteral("引入平台开票清单"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* caption = new QLabel(QStringLiteral("电子发票平台“发票查询统计”导出的发票清单：按备注开头的单据号，"
                                              "或按购方、金额和税额找到引出的单据，回写数电发票号码。"
                                              "平台退回的批量开票失败明细：把失败的单据标记为开具失败，"
                                              "以便重新引出。"),
                               this);
    caption->setObjectName(QStringLiteral("lblCaption"));
    caption->setWordWrap(true);
    lblFile = new QLabel(QStringLiteral("尚未选择清单。"), this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setWordWrap(true);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grdInvoices = new QTableWidget(0, 6, this);
    grdInvoices->setObjectName(QStringLiteral("grdInvoices"));
    grdInvoices->setHorizontalHeaderLabels(headings(false));
    grdInvoices->verticalHeader()->setVisible(false);
    grdInvoices->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdInvoices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdInvoices->setAlternatingRowColors(true);
    cmdOpen = button("cmdOpen", QStringLiteral("选择清单(&O)…"), this);
    cmdWriteBack = button("cmdWriteBack", QStringLiteral("回写(&W)"), this);
    cmdSave = button("cmdSave", QStringLiteral("保存为CSV(&S)…"), this);
    cmdClose = button("cmdClose", QStringLiteral("关闭(&C)"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOpen);
    buttons->addStretch(1);
    buttons->addWidget(cmdWriteBack);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(lblFile);
    layout->addWidget(lblSummary);
    layout->addWidget(grdInvoices, 1);
    layout->addLayout(buttons);
    resize(780, 480);

    connect(cmdOpen, &QPushButton::clicked, this, &PlatformListWindow::chooseList);
    connect(cmdWriteBack, &QPushButton::clicked, this, &PlatformListWindow::writeBack);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdSave, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, QStringLiteral("保存清单的回写结果"));
        dialog.setObjectName(QStringLiteral("dlgSave"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("CSV文件(*.csv)"));
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(QStringLiteral("平台开票清单回写.csv"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            saveCsv(dialog.selectedFiles().first());
    });
    cmdWriteBack->setEnabled(false);
    cmdSave->setEnabled(false);
}

bool PlatformListWindow::chooseList() {
    // Chosen before the window shows: over the window that opens it, not where a hidden one would be.
    QFileDialog dialog(isVisible() || !parentWidget() ? this : parentWidget(),
                       QStringLiteral("选择平台导出的发票清单"));
    dialog.setObjectName(QStringLiteral("dlgOpen"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Excel工作簿(*.xlsx)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    openList(dialog.selectedFiles().first());
    return true;
}

bool PlatformListWindow::openList(const QString& path) {
    m_invoices.clear();
    m_result = {};
    m_refusals.reset();
    grdInvoices->setRowCount(0);
    lblSummary->clear();
    cmdWriteBack->setEnabled(false);
    cmdSave->setEnabled(false);
    lblFile->setText(QStringLiteral("清单：") + QDir::toNativeSeparators(path));
    try {
        // The platform's refusals of a batch workbook, else its list of issued invoices.
        m_refusals = readPlatformRefusals(path);
        if (!m_refusals) m_invoices = readPlatformList(path);
    } catch (const DbError& e) {
        showMsg(e.description());
        lblFile->setText(QStringLiteral("未能读入清单：") + QDir::toNativeSeparators(path));
        return false;
    }
    if (m_refusals) {
        lblFile->setText(QStringLiteral("平台退回的失败明细：") + QDir::toNativeSeparators(path));
        m_refusedAt = QFileInfo(path).lastModified();
        PlatformRefusalWriteBack engine(m_session);
        if (!engine.apply(*m_refusals, m_refusedAt, true)) return false;
        fill(engine.result(), true);
        return true;
    }
    PlatformWriteBack engine(m_session);
    if (!engine.apply(m_invoices, true)) return false;
    fill(engine.result(), true);
    return true;
}

bool PlatformListWindow::writeBack() {
    if (m_refusals) {
        PlatformRefusalWriteBack engine(m_session);
        if (!engine.apply(*m_refusals, m_refusedAt, false)) return false;
        fill(engine.result(), false);
        return true;
    }
    PlatformWriteBack engine(m_session);
    if (!engine.apply(m_invoices, false)) return false;
    fill(engine.result(), false);
    return true;
}

void PlatformListWindow::showSummary(const QStringList& lines, bool preview) {
    // The summary and its counts; the invoices follow in the grid.
    QStringList summary;
    for (const QString& l : lines)
        if (!l.contains(u'\t')) summary << (l.endsWith(u'：') ? l.chopped(1) + u'。' : l);
    lblSummary->setText((preview ? QStringLiteral("预览（尚未回写）：") : QStringLiteral("已回写：")) +
                        summary.join(QString()));
    grdInvoices->setRowCount(0);
}

void PlatformListWindow::fill(const PlatformRefusalResult& result, bool preview) {
    m_result = {};
    showSummary(result.lines(), preview);
    grdInvoices->setHorizontalHeaderLabels(headings(true));
    auto add = [this](const QString& what, const PlatformRefusalResult::Line& l) {
        const int r = grdInvoices->rowCount();
        grdInvoices->insertRow(r);
        grdInvoices->setItem(r, 0, cell(what));
        grdInvoices->setItem(r, 1, cell(l.key));
        for (int c = 2; c < 5; ++c)
            grdInvoices->setItem(r, c, cell(QString()));
        grdInvoices->setItem(r, 5, cell(l.docNo));
        grdInvoices->item(r, 0)->setToolTip(l.reason);
    };
    for (const PlatformRefusalResult::Line& l : result.marked)
        add(QStringLiteral("开具失败：") + (l.reason.isEmpty() ? QStringLiteral("未注明原因") : l.reason), l);
    for (const PlatformRefusalResult::Line& l : result.unhandled)
        add(QStringLiteral("未处理：") + l.reason, l);
    grdInvoices->resizeColumnsToContents();
    grdInvoices->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    cmdWriteBack->setEnabled(preview && !result.marked.isEmpty());
    cmdSave->setEnabled(false);
    if (cmdWriteBack->isEnabled())
        cmdWriteBack->setFocus();
    else
        grdInvoices->setFocus();
}

void PlatformListWindow::fill(const PlatformWriteBackResult& result, bool preview) {
    m_result = result;
    showSummary(result.lines(), preview);
    grdInvoices->setHorizontalHeaderLabels(headings(false));
    auto add = [this](const QString& what, const PlatformWriteBackResult::Unmatched& u) {
        const int r = grdInvoices->rowCount();
        grdInvoices->insertRow(r);
        grdInvoices->setItem(r, 0, cell(what));
        grdInvoices->setItem(r, 1, cell(u.invoice.numberText()));
        grdInvoices->setItem(r, 2, cell(u.invoice.buyerName));
        grdInvoices->setItem(r, 3, cell(money(u.invoice.amount), true));
        grdInvoices->setItem(r, 4, cell(money(u.invoice.tax), true));
        grdInvoices->setItem(r, 5, cell(u.candidates.join(u',')));
    };
    for (const auto& [what, u] : result.listed())
        add(what, u);
    // What is (or would be) written, and how it was found: a wrong match by buyer and amounts shows here.
    for (const PlatformWriteBackResult::Placed& p : result.placed) {
        add(QStringLiteral("回写到单据（%1）").arg(PlatformWriteBackResult::howText(p.how)),
            {result.invoice(p), {p.docNo}, {}});
    }
    grdInvoices->resizeColumnsToContents();
    grdInvoices->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    // Something to write: written back, or a state to record.
    cmdWriteBack->setEnabled(preview &&
                             (result.written > 0 || result.flushed > 0 || result.partlyFlushed > 0));
    cmdSave->setEnabled(!m_invoices.isEmpty());
    // After the proof the next key is 回写's; after the write-back, the list is there to read.
    if (cmdWriteBack->isEnabled())
        cmdWriteBack->setFocus();
    else
        grdInvoices->setFocus();
}

bool PlatformListWindow::saveCsv(const QString& path) {
    QSaveFile file(path);
    const QByteArray bytes = m_result.csv();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showMsg(QStringLiteral("保存文件失败：%1").arg(file.errorString()));
        return false;
    }
    showMsg(QStringLiteral("清单的回写结果已保存到%1。").arg(QDir::toNativeSeparators(path)));
    return true;
}
