#include "export/ui/ExportPreviewDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Amounts as an accountant reads them: thousands grouped, two decimals.
QString money(double value) {
    QLocale zh(QLocale::Chinese, QLocale::China);
    return zh.toString(value, 'f', 2);
}

QTableWidgetItem* cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QTableWidget* grid(const QStringList& headings, QWidget* parent, const QString& name) {
    auto* g = new QTableWidget(0, int(headings.size()), parent);
    g->setObjectName(name);
    g->setHorizontalHeaderLabels(headings);
    g->verticalHeader()->setVisible(false);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setAlternatingRowColors(true);
    g->horizontalHeader()->setStretchLastSection(false);
    return g;
}

} // namespace

ExportPreviewDialog::ExportPreviewDialog(const ExportEngine& proof, QWidget* parent)
    : ExportPreviewDialog(proof.preview(), proof.previewTotals(), proof.leftOutBills(),
                          proof.lastCounts().leftOut, parent) {}

ExportPreviewDialog::ExportPreviewDialog(const QList<ExportDoc>& docs,
                                         const ExportEngine::PreviewTotals& totals,
                                         const QList<ExportEngine::LeftOut>& leftOut, int leftOutCount,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ExportPreviewDialog"));
    setWindowTitle(QStringLiteral("引出预览"));

    auto* caption = new QLabel(QStringLiteral("以下单据将写入引出文件，请核对后点击“引出”："), this);
    caption->setObjectName(QStringLiteral("lblCaption"));
    grdDocs = grid({QStringLiteral("单据号"), QStringLiteral("销售发票"), QStringLiteral("购方名称"),
                    QStringLiteral("商品行数"), QStringLiteral("不含税金额"), QStringLiteral("税额"),
                    QStringLiteral("备注"), QStringLiteral("说明")},
                   this, QStringLiteral("grdDocs"));
    grdDocs->setRowCount(int(docs.size()));
    for (int r = 0; r < docs.size(); ++r) {
        const ExportDoc& d = docs[r];
        grdDocs->setItem(r, 0, cell(d.docNo));
        // A merged document lists its sales invoices; a piece names its invoice.
        QStringList members;
        for (const ExportMember& m : d.members)
            members << m.billNo;
        grdDocs->setItem(r, 1,
                         cell(!members.isEmpty()    ? members.join(QStringLiteral("、"))
                              : d.docNo == d.billNo ? QString()
                                                    : d.billNo));
        grdDocs->setItem(r, 2, cell(d.customer));
        grdDocs->setItem(r, 3, cell(QString::number(d.lines), true));
        grdDocs->setItem(r, 4, cell(money(d.amount), true));
        grdDocs->setItem(r, 5, cell(money(d.tax), true));
        grdDocs->setItem(r, 6, cell(d.remark));
        grdDocs->setItem(r, 7, cell(platformTaxNote(d)));
    }
    grdDocs->resizeColumnsToContents();
    grdDocs->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    // Only the first documents are listed; what is said of the file is said of all of them.
    lblShown =
        new QLabel(QStringLiteral("共%1张单据，这里只列出前%2张；下面的合计是全部单据的合计。")
                       .arg(QLocale(QLocale::Chinese, QLocale::China).toString(totals.documents))
                       .arg(QLocale(QLocale::Chinese, QLocale::China).toString(qsizetype(docs.size()))),
                   this);
    lblShown->setObjectName(QStringLiteral("lblShown"));
    lblShown->setWordWrap(true);
    lblShown->setVisible(totals.documents > docs.size());
    QString total = QStringLiteral("合计：单据%1张，商品行%2行，不含税金额%3，税额%4。")
                        .arg(totals.documents)
                        .arg(totals.lines)
                        .arg(money(totals.amount), money(totals.tax));
    if (totals.pieces > 0)
        total += QStringLiteral("其中%1张是超过限额的发票拆分而成（“销售发票”一列为原单据号）。")
                     .arg(totals.pieces);
    if (totals.merged > 0)
        total += QStringLiteral("其中%1张是同一购方的发票合并而成（“销售发票”一列为合并的发票）。")
                     .arg(totals.merged);
    lblTotal = new QLabel(total, this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    lblTotal->setWordWrap(true);

    const int leftOutAll = std::max(leftOutCount, int(leftOut.size()));
    lblLeftOut = new QLabel(
        QStringLiteral(
            "以下%1张发票以前已经引出或由税控系统引入，本次不引出（勾选“包括已引出的发票”可一并引出）")
                .arg(leftOutAll) +
            (leftOutAll > leftOut.size() ? QStringLiteral("，这里只列出前%1张").arg(leftOut.size())
                                         : QString()) +
            QStringLiteral("："),
        this);
    lblLeftOut->setObjectName(QStringLiteral("lblLeftOut"));
    lblLeftOut->setWordWrap(true);
    grdLeftOut = grid({QStringLiteral("单据号"), QStringLiteral("原因")}, this, QStringLiteral("grdLeftOut"));
    grdLeftOut->setRowCount(int(leftOut.size()));
    for (int r = 0; r < leftOut.size(); ++r) {
        grdLeftOut->setItem(r, 0, cell(leftOut[r].billNo));
        grdLeftOut->setItem(r, 1, cell(leftOut[r].reason));
    }
    grdLeftOut->resizeColumnsToContents();
    grdLeftOut->horizontalHeader()->setStretchLastSection(true);
    grdLeftOut->setMaximumHeight(100);
    lblLeftOut->setVisible(!leftOut.isEmpty());
    grdLeftOut->setVisible(!leftOut.isEmpty());

    btnOK = new QPushButton(QStringLiteral("引出(&O)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setEnabled(totals.documents > 0);
    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* main = new QVBoxLayout(this);
    main->addWidget(caption);
    main->addWidget(grdDocs, 1);
    main->addWidget(lblShown);
    main->addWidget(lblTotal);
    main->addWidget(lblLeftOut);
    main->addWidget(grdLeftOut);
    main->addLayout(buttons);
    resize(720, 460);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}
