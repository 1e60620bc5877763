#pragma once
// "文本文件引入": the user picks an issued-invoice file, or a folder of them, and starts the import. The
// window owns the import engine (and with it the t_ItemMap mappings it has loaded) and only shows its
// results: for a folder one row per file, filled as each file finishes.

#include "common/Connection.h"
#include <QDialog>
#include <memory>

class QFileDialog;
class QGroupBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QProgressDialog;
class QTreeWidget;
class QPushButton;
class QToolButton;
class ImportEngine;

class Session;

class ImportWindow : public QDialog {
    Q_OBJECT
public:
    // On the program's two connections.
    explicit ImportWindow(Session& session, QWidget* parent = nullptr);
    ~ImportWindow() override;

    // The next bill number of a bill type (see BillNumbering).
    QString getNewBillId(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText);

    ImportEngine& engine() { return *m_engine; }
    // A folder to import, as 选择文件夹 takes it: its files are listed.
    void setFolder(const QString& folder);
    // Several files to import, as the file dialog takes them: listed, and imported as a folder's are.
    void setFiles(const QStringList& files);

    // The dialog that shows an import's progress over the window, with 取消; and one state of it.
    static QProgressDialog* makeProgressDialog(QWidget* parent);
    static void showProgress(QProgressDialog* dialog, qint64 done, qint64 total, int invoices);

    QGroupBox* fraTable = nullptr;
    QLabel* lblLabels = nullptr;
    QLineEdit* txtAIS = nullptr;
    QToolButton* cmdOpen = nullptr;
    QPushButton* cmdFolder = nullptr;     // 选择文件夹
    QTreeWidget* lvwFiles = nullptr;      // a folder's files: 文件, 结果, 说明
    QProgressBar* prgFiles = nullptr;     // over all files of a folder
    QCheckBox* chkSkipImported = nullptr; // 跳过已引入的发票
    QLabel* lblStatus = nullptr;          // what the last import did
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdExit = nullptr;
    QFileDialog* dlgX = nullptr;
    QFileDialog* dlgFolder = nullptr;

    // While an import runs: closing the window asks it to stop.
    bool cancelRequested() const { return m_cancelRequested; }
    bool isRunning() const { return m_running; }
    // How long an import of one file runs before its progress dialog appears (small files never show it).
    void setProgressDelay(int ms) { m_progressDelay = ms; }
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool checkData();
    void cmdOpen_Click();
    void chooseFolder();
    void backFromDialog(QFileDialog* dialog);
    // Whether the path is the folder chosen with 选择文件夹, or the files chosen together (a path typed by
    // hand is a file, as always).
    bool folderChosen() const;
    QStringList chosenFiles() const;
    void showFolder();
    void importFolder();
    void cmdOK_Click();
    void cmdExit_Click();

    std::unique_ptr<ImportEngine> m_engine;
    QString mstrFilePath;
    QString m_folder;
    QStringList m_files;  // chosen together, without a folder
    QString m_chosenText; // what the path shows for the folder or the files
    bool m_running = false;
    bool m_cancelRequested = false;
    int m_progressDelay = 300;
};
