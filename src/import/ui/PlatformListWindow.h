#pragma once
// 引入平台开票清单: the platform's list of issued invoices read and matched first (nothing written), then
// written back on request; what was found, every invoice with the document it matched, and the invoices
// without a document or with several, listed and saved as CSV. The platform's refusals of a batch
// workbook are taken here too: the documents refused listed, then marked on request.

#include "import/PlatformList.h"
#include "import/PlatformRefusals.h"
#include <QDateTime>
#include <QDialog>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;
class Session;

class PlatformListWindow : public QDialog {
    Q_OBJECT

public:
    explicit PlatformListWindow(Session& session, QWidget* parent = nullptr);

    // Asks for the list and reads it; false when the user cancelled.
    bool chooseList();
    // Reads the list and shows what writing it back would do; false after a refusal, which was shown.
    bool openList(const QString& path);
    // Writes the list read back; false after a failure, which was shown.
    bool writeBack();
    // Writes what is listed to path as CSV; false after saying why.
    bool saveCsv(const QString& path);

    QLabel* lblFile;
    QLabel* lblSummary;
    QTableWidget* grdInvoices;
    QPushButton* cmdOpen;
    QPushButton* cmdWriteBack;
    QPushButton* cmdSave;
    QPushButton* cmdClose;

private:
    void fill(const PlatformWriteBackResult& result, bool preview);
    void fill(const PlatformRefusalResult& result, bool preview);
    void showSummary(const QStringList& lines, bool preview);

    Session& m_session;
    QList<PlatformInvoice> m_invoices;
    PlatformWriteBackResult m_result;
    // The file read was the platform's refusals.
    std::optional<QList<PlatformRefusal>> m_refusals;
    QDateTime m_refusedAt;
};
