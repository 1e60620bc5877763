#pragma once
// "引出发票到文本文件": the user chooses the target file of one export link; the export asks for the
// filter and writes the tax system's import file.

#include <QDialog>
#include <QList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class Session;

class ExportWindow : public QDialog {
    Q_OBJECT

public:
    explicit ExportWindow(const Session& session, QWidget* parent = nullptr);

    // Shows the export window of a link modally: what the link list's 确定 opens.
    static void showFor(const Session& session, const QString& key, const QString& name, const QString& memo,
                        QWidget* parent);

    // The link's FID as text.
    QString key() const { return m_Key; }
    // The link to export; the window's title and path label name its format.
    void setKey(const QString& value);

    QGroupBox* fraStep;
    QLabel* label3;
    QLineEdit* txtLinkName;
    QLabel* label10;
    QLineEdit* txtNote;
    QLabel* label1;
    QLineEdit* txtTxtFile;
    QToolButton* btnOpenFile;
    QGroupBox* frame2;
    QList<QRadioButton*> optSys;
    QCheckBox* chkIncludeExported; // 包括已引出的发票
    QLabel* lblStatus;             // what the last export wrote
    QLabel* lblProcess;
    QProgressBar* pBar;
    QPushButton* btnOK;
    QPushButton* btnExit;

    void btnOpenFile_Click();
    void btnOK_Click();
    void btnExit_Click();

    // While an export runs the window waits, its bar moves and 退出 is 取消, which asks the export to stop.
    // preview: the run is the proof before the export.
    void beginRun(bool preview = false);
    void showProgress(qint64 done, qint64 total, int invoices);
    void endRun();
    bool cancelRequested() const { return m_cancelRequested; }
    bool isRunning() const { return m_running; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_running = false;
    bool m_previewing = false;
    bool m_cancelRequested = false;
    const Session& m_session;
    QString m_Key;
    QString m_format = QStringLiteral("txt"); // of the link m_Key
};
