#pragma once
// 对账: every exported document of a filter with what the tax system made of it (已开票 with its number,
// 未开票, 已作废, 金额不符, 已红冲, 部分红冲), the totals per state, and the list saved as CSV.

#include "export/Reconciliation.h"
#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;
class Session;

class ReconcileWindow : public QDialog {
    Q_OBJECT

public:
    explicit ReconcileWindow(Session& session, QWidget* parent = nullptr);

    // Asks for the filter (the export's 过滤条件) and lists its documents; false when the user cancelled.
    bool chooseFilter();
    // Lists the documents of a condition text (fourteen values joined by "|").
    void showDocuments(const QString& conditions);
    // Writes the list to path as CSV; false after saying why.
    bool saveCsv(const QString& path);

    QTableWidget* grdDocs;
    QLabel* lblTotals;
    QPushButton* cmdFilter;
    QPushButton* cmdSave;
    QPushButton* cmdClose;

private:
    void fill(const QList<ReconcileDocument>& documents);

    Session& m_session;
    QList<ReconcileDocument> m_documents;
};
