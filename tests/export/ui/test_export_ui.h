#pragma once
// The export windows driven headless: the link list, the export window and the filter dialog.
#include "export/ExportFixture.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "export/ExportEngine.h"
#include "export/ui/ExportFilterDialog.h"
#include "export/ui/ExportPreviewDialog.h"
#include "export/ui/ExportWindow.h"
#include "export/ui/ReconcileWindow.h"
#include "links/ui/LinkListWindow.h"
#include "support/TestSupport.h"
#include <QDateEdit>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QtTest>

inline void clickButton(QWidget* w, const QString& name) {
    auto* b = w->findChild<QAbstractButton*>(name);
    QVERIFY2(b, qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton);
}

class TestExportUi : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> m_db;

private Q_SLOTS:
    void init();
    void cleanup() { m_db.reset(); }

    // ---- filter dialog ----------------------------------------------------------------------

    void filterCondition_data();
    void filterCondition();
    void filterDateRange_data();
    void filterDateRange();
    void filterPickers();

    // ---- export window ----------------------------------------------------------------------

    void windowsNameTheFormat_data();
    void windowsNameTheFormat();
    void exportButton_data();
    void exportButton();
    void previewOfABigMonth_data();
    void previewOfABigMonth();
    void exitDuringExportCancels();
    void openFileDialogFillsPath_data();
    void openFileDialogFillsPath();

    // ---- link list --------------------------------------------------------------------------

    void listShowsLinksOfOneDirection();
    void listButtons_data();
    void listButtons();
    void journeyFromListToFile();

    // ---- 对账 -----------------------------------------------------------------------------

    void reconcileWindow();
    void reconcileFilterOverItsWindow();
};
