#pragma once
// The proof of an export before it is written: the documents the file would hold (an invoice over the
// link's limits as its pieces), their totals, and the invoices left out and why. 引出 confirms.

#include "export/ExportEngine.h"
#include "export/ExportWriter.h"
#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

class ExportPreviewDialog : public QDialog {
    Q_OBJECT

public:
    // docs: the documents shown, the first of totals.documents; leftOut: the invoices left out shown, the
    // first of leftOutCount.
    ExportPreviewDialog(const QList<ExportDoc>& docs, const ExportEngine::PreviewTotals& totals,
                        const QList<ExportEngine::LeftOut>& leftOut, int leftOutCount,
                        QWidget* parent = nullptr);
    // What a proof run found.
    explicit ExportPreviewDialog(const ExportEngine& proof, QWidget* parent = nullptr);

    QTableWidget* grdDocs;
    QLabel* lblTotal;
    QLabel* lblShown;         // hidden when every document is shown
    QTableWidget* grdLeftOut; // hidden when nothing was left out
    QLabel* lblLeftOut;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
