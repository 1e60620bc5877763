#pragma once
// "文本文件引入": the user picks an issued-invoice file and starts the import. The window owns the
// import engine (and with it the t_ItemMap mappings it has loaded) and only shows its results.

#include "common/Connection.h"
#include <QDialog>
#include <memory>

class QFileDialog;
class QGroupBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QToolButton;
class ImportEngine;

class Session;

class frmImportTxt : public QDialog {
    Q_OBJECT
public:
    // On the program's two connections.
    explicit frmImportTxt(Session& session, QWidget* parent = nullptr);
    ~frmImportTxt() override;

    // The next bill number of a bill type (see BillNumbering).
    QString GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText);

    ImportEngine& Engine() { return *m_engine; }

    // The dialog that shows an import's progress over the window, with 取消; and one state of it.
    static QProgressDialog* MakeProgressDialog(QWidget* parent);
    static void ShowProgress(QProgressDialog* dialog, qint64 done, qint64 total, int invoices);

    QGroupBox* fraTable = nullptr;
    QLabel* lblLabels = nullptr;
    QLineEdit* txtAIS = nullptr;
    QToolButton* cmdOpen = nullptr;
    QCheckBox* chkSkipImported = nullptr; // 跳过已引入的发票
    QLabel* lblStatus = nullptr;          // what the last import did
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdExit = nullptr;
    QFileDialog* dlgX = nullptr;

    // While an import runs: closing the window asks it to stop.
    bool cancelRequested() const { return m_cancelRequested; }
    bool isRunning() const { return m_running; }
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool CheckData();
    void cmdOpen_Click();
    void cmdOK_Click();
    void cmdExit_Click();

    std::unique_ptr<ImportEngine> m_engine;
    QString mstrFilePath;
    bool m_running = false;
    bool m_cancelRequested = false;
};
