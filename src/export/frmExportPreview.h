#pragma once
// The proof of an export before it is written: the documents the file would hold (an invoice over the
// link's limits as its pieces), their totals, and the invoices left out and why. 引出 confirms.

#include "ExportWriter.h"
#include "clsSaveDataExport.h"
#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

class frmExportPreview : public QDialog {
    Q_OBJECT

public:
    frmExportPreview(const QList<ExportDoc>& docs, const QList<clsSaveDataExport::LeftOut>& leftOut,
                     QWidget* parent = nullptr);

    QTableWidget* grdDocs;
    QLabel* lblTotal;
    QTableWidget* grdLeftOut; // hidden when nothing was left out
    QLabel* lblLeftOut;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
