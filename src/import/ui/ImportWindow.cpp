#include "import/ui/ImportWindow.h"

#include "common/MessageSink.h"
#include "common/Messages.h"
#include "import/BillNumbering.h"
#include "import/FolderImport.h"
#include "import/ImportEngine.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

ImportWindow::ImportWindow(Session& session, QWidget* parent)
    : QDialog(parent), m_engine(std::make_unique<ImportEngine>(session)) {
    setObjectName(QStringLiteral("ImportWindow"));
    setWindowTitle(QStringLiteral("文本文件引入"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    fraTable = new QGroupBox(QStringLiteral("请选择引入文件路径"), this);
    fraTable->setObjectName(QStringLiteral("fraTable"));
    lblLabels = new QLabel(QStringLiteral("引入文件路径(&P):"), fraTable);
    lblLabels->setObjectName(QStringLiteral("lblLabels"));
    txtAIS = new QLineEdit(fraTable);
    txtAIS->setObjectName(QStringLiteral("txtAIS"));
    txtAIS->setMinimumWidth(300);
    lblLabels->setBuddy(txtAIS);
    cmdOpen = new QToolButton(fraTable);
    cmdOpen->setObjectName(QStringLiteral("cmdOpen"));
    cmdOpen->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdOpen->setToolTip(QStringLiteral("浏览"));

    cmdFolder = new QPushButton(QStringLiteral("选择文件夹(&F)"), fraTable);
    cmdFolder->setObjectName(QStringLiteral("cmdFolder"));
    cmdFolder->setToolTip(QStringLiteral("引入一个文件夹中的全部文本文件(*.txt)，每个文件单独引入"));

    auto* pathRow = new QHBoxLayout(fraTable);
    pathRow->setContentsMargins(12, 12, 12, 12);
    pathRow->addWidget(lblLabels);
    pathRow->addWidget(txtAIS, 1);
    pathRow->addWidget(cmdOpen);
    pathRow->addWidget(cmdFolder);

    lvwFiles = new QTreeWidget(this);
    lvwFiles->setObjectName(QStringLiteral("lvwFiles"));
    lvwFiles->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("结果"), QStringLiteral("说明")});
    lvwFiles->setRootIsDecorated(false);
    lvwFiles->setUniformRowHeights(true);
    lvwFiles->setSelectionMode(QAbstractItemView::NoSelection);
    lvwFiles->setMinimumSize(620, 200);
    lvwFiles->header()->setStretchLastSection(true);
    lvwFiles->setColumnWidth(0, 200);
    lvwFiles->setColumnWidth(1, 60);
    lvwFiles->setVisible(false);
    prgFiles = new QProgressBar(this);
    prgFiles->setObjectName(QStringLiteral("prgFiles"));
    prgFiles->setRange(0, 1000);
    prgFiles->setVisible(false);

    chkSkipImported = new QCheckBox(QStringLiteral("跳过已引入的发票(&S)"), this);
    chkSkipImported->setObjectName(QStringLiteral("chkSkipImported"));
    chkSkipImported->setToolTip(QStringLiteral("文件中已经引入过的发票不再引入，其余照常引入"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setVisible(false);

    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdExit = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdExit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraTable);
    layout->addWidget(lvwFiles);
    layout->addWidget(prgFiles);
    layout->addWidget(chkSkipImported);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    dlgX = new QFileDialog(this);
    dlgX->setObjectName(QStringLiteral("dlgX"));
    dlgX->setOption(QFileDialog::DontUseNativeDialog, true);
    // One file, or several imported one after the other as a folder's are.
    dlgX->setFileMode(QFileDialog::ExistingFiles);
    dlgX->setAcceptMode(QFileDialog::AcceptOpen);

    dlgFolder = new QFileDialog(this);
    dlgFolder->setObjectName(QStringLiteral("dlgFolder"));
    dlgFolder->setOption(QFileDialog::DontUseNativeDialog, true);
    dlgFolder->setFileMode(QFileDialog::Directory);
    dlgFolder->setOption(QFileDialog::ShowDirsOnly, true);
    dlgFolder->setWindowTitle(QStringLiteral("选择要引入的文件夹"));
    // Qt's own words for a folder dialog are partly untranslated ("Folder"): the program says them.
    dlgFolder->setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dlgFolder->setLabelText(QFileDialog::FileName, QStringLiteral("文件夹(&N)："));
    dlgFolder->setLabelText(QFileDialog::Accept, QStringLiteral("选择(&S)"));
    dlgFolder->setLabelText(QFileDialog::Reject, QStringLiteral("取消(&C)"));

    connect(cmdOpen, &QToolButton::clicked, this, &ImportWindow::cmdOpen_Click);
    connect(cmdFolder, &QPushButton::clicked, this, &ImportWindow::chooseFolder);
    // A path typed over the chosen folder is a file again.
    connect(txtAIS, &QLineEdit::textChanged, this, &ImportWindow::showFolder);
    connect(cmdOK, &QPushButton::clicked, this, &ImportWindow::cmdOK_Click);
    connect(cmdExit, &QPushButton::clicked, this, &ImportWindow::cmdExit_Click);
}

ImportWindow::~ImportWindow() = default;

QString ImportWindow::getNewBillId(Connection& conn, qint32 billTypeID, bool doUpdate,
                                   const QString& defaultText) {
    return ::getNewBillId(conn, billTypeID, doUpdate, defaultText);
}

void ImportWindow::cmdOpen_Click() {
    dlgX->setWindowTitle(QStringLiteral("选择要引入的税控系统发票文件"));
    dlgX->setNameFilter(QStringLiteral("文本文件(*.txt)"));
    dlgX->selectFile(QString());
    const bool picked = dlgX->exec() == QDialog::Accepted;
    backFromDialog(dlgX);
    if (!picked) return;
    QStringList files;
    for (const QString& f : dlgX->selectedFiles())
        if (QFileInfo(f).isFile()) files << f;
    if (files.isEmpty()) return;
    if (files.size() == 1)
        txtAIS->setText(files.first().trimmed());
    else
        setFiles(files);
    cmdOK->setFocus();
}

void ImportWindow::chooseFolder() {
    if (!m_folder.isEmpty()) dlgFolder->setDirectory(m_folder);
    const bool accepted = dlgFolder->exec() == QDialog::Accepted;
    backFromDialog(dlgFolder);
    if (!accepted) return;
    const QStringList picked = dlgFolder->selectedFiles();
    if (picked.isEmpty() || !QFileInfo(picked.first()).isDir()) return;
    setFolder(picked.first());
    cmdOK->setFocus();
}

void ImportWindow::backFromDialog(QFileDialog* dialog) {
    // A path typed in the dialog leaves its completer's list open after the dialog is gone: drawn over the
    // window, it would take the next key (Alt+O) for itself.
    for (QCompleter* c : dialog->findChildren<QCompleter*>())
        if (c->popup() && c->popup()->isVisible()) c->popup()->hide();
    // The keyboard comes back to the window with the dialog gone: its mnemonics (Alt+O) work at once.
    activateWindow();
    raise();
}

void ImportWindow::setFolder(const QString& folder) {
    m_folder = folder;
    m_files.clear();
    m_chosenText = folder;
    txtAIS->setText(m_chosenText);
    showFolder();
}

void ImportWindow::setFiles(const QStringList& files) {
    m_folder.clear();
    m_files = files;
    // As the file dialog writes several names: each in quotes.
    QStringList names;
    for (const QString& f : files)
        names << u'"' + QFileInfo(f).fileName() + u'"';
    m_chosenText = names.join(u' ');
    txtAIS->setText(m_chosenText);
    showFolder();
}

bool ImportWindow::folderChosen() const {
    return !m_chosenText.isEmpty() && txtAIS->text().trimmed() == m_chosenText;
}

QStringList ImportWindow::chosenFiles() const {
    return m_folder.isEmpty() ? m_files : FolderImport::filesOf(m_folder);
}

void ImportWindow::showFolder() {
    const bool several = folderChosen();
    lblLabels->setText(!several             ? QStringLiteral("引入文件路径(&P):")
                       : m_folder.isEmpty() ? QStringLiteral("引入的文件(&P):")
                                            : QStringLiteral("引入文件夹(&P):"));
    lvwFiles->setVisible(several);
    if (!several) {
        prgFiles->setVisible(false);
        return;
    }
    // The files that will be imported, before their results.
    lvwFiles->clear();
    for (const QString& file : chosenFiles())
        lvwFiles->addTopLevelItem(new QTreeWidgetItem(QStringList{QFileInfo(file).fileName()}));
    lvwFiles->resizeColumnToContents(0);
}

bool ImportWindow::checkData() {
    const QString path = txtAIS->text().trimmed();
    if (path.isEmpty()) {
        showMsg(QStringLiteral("引入文件路径不可为空！"));
        txtAIS->setFocus();
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        showMsg(QStringLiteral("选定的引入文件不存在！"));
        txtAIS->setFocus();
        return false;
    }
    return true;
}

namespace {
// The import's progress in a dialog with 取消 over the window: the window keeps painting while the file
// is read, and 取消 (or closing the window) rolls the import back. The dialog is shown only once the
// import has run a while, never by a timer of its own: a timer would fire inside a message box's event
// loop and put the dialog, window-modal, over the message, which then takes no key and no click. For the
// same reason every message of the import goes through here and is shown with the dialog out of the way.
class DialogProgress : public ProgressSink, public MessageSink {
public:
    DialogProgress(ImportWindow& w, int delay)
        : m_w(w), m_dialog(ImportWindow::makeProgressDialog(&w)), m_delay(delay),
          m_outer(currentMessageSink()) {
        m_previous = setMessageSink(this);
        m_started.start();
    }
    ~DialogProgress() override {
        setMessageSink(m_previous);
        delete m_dialog;
    }
    bool report(qint64 done, qint64 total, int invoices) override {
        // A few updates a second are enough for the eye, and cost the import nothing.
        if (m_shown.isValid() && m_shown.elapsed() < 50 && done < total) return !stopAsked();
        m_shown.start();
        m_finished = done >= total;
        ImportWindow::showProgress(m_dialog, done, total, invoices);
        if (!m_dialog->isVisible() && m_started.elapsed() >= m_delay && done < total) m_dialog->show();
        QCoreApplication::processEvents();
        return !stopAsked();
    }

    void info(const QString& text) override {
        Aside aside(*this);
        m_outer.info(text);
    }
    void infoWithDetails(const QString& text, const QString& details) override {
        Aside aside(*this);
        m_outer.infoWithDetails(text, details);
    }
    void error(const QString& text) override {
        Aside aside(*this);
        m_outer.error(text);
    }
    bool question(const QString& text) override {
        Aside aside(*this);
        return m_outer.question(text);
    }
    void detail(const QString& text) override { m_outer.detail(text); }

private:
    // The dialog hidden while a message is open, and back (when it was there) once it is answered.
    struct Aside {
        explicit Aside(DialogProgress& p) : p(p), wasShown(p.m_dialog->isVisible()) {
            if (wasShown) p.m_dialog->hide();
            // The message goes over the window, which has the keyboard again.
            p.m_w.activateWindow();
        }
        ~Aside() {
            // Once the file is read there is nothing left to show progress of.
            if (wasShown && !p.m_finished) p.m_dialog->show();
        }
        DialogProgress& p;
        bool wasShown;
    };
    bool stopAsked() const { return m_dialog->wasCanceled() || m_w.cancelRequested(); }
    ImportWindow& m_w;
    QProgressDialog* m_dialog;
    int m_delay;
    MessageSink& m_outer;
    MessageSink* m_previous = nullptr;
    QElapsedTimer m_started;
    QElapsedTimer m_shown;
    bool m_finished = false;
};
} // namespace

QProgressDialog* ImportWindow::makeProgressDialog(QWidget* parent) {
    auto* d =
        new QProgressDialog(QStringLiteral("正在引入发票…"), QStringLiteral("取消(&C)"), 0, 1000, parent);
    d->setObjectName(QStringLiteral("dlgProgress"));
    d->setWindowTitle(QStringLiteral("引入发票"));
    d->setWindowModality(Qt::WindowModal);
    // Whoever runs the work shows the dialog; Qt's own timer would show it at any moment.
    d->setMinimumDuration(std::numeric_limits<int>::max());
    d->setAutoClose(false);
    d->setAutoReset(false);
    d->setMinimumWidth(360);
    d->setValue(0);
    d->hide();
    return d;
}

void ImportWindow::showProgress(QProgressDialog* dialog, qint64 done, qint64 total, int invoices) {
    dialog->setLabelText(QStringLiteral("正在引入发票…已读入%1张").arg(invoices));
    dialog->setValue(total > 0 ? int(done * 1000 / total) : 0);
}

namespace {
// A folder's progress in the window's own bar: the list beside it shows the files as they finish.
class BarProgress : public ProgressSink {
public:
    BarProgress(ImportWindow& w, QProgressBar& bar) : m_w(w), m_bar(bar) {}
    bool report(qint64 done, qint64 total, int invoices) override {
        if (m_shown.isValid() && m_shown.elapsed() < 50 && done < total) return !m_w.cancelRequested();
        m_shown.start();
        m_bar.setValue(total > 0 ? int(done * 1000 / total) : 0);
        m_bar.setFormat(QStringLiteral("%p%，已读入发票%1张").arg(invoices));
        QCoreApplication::processEvents();
        return !m_w.cancelRequested();
    }

private:
    ImportWindow& m_w;
    QProgressBar& m_bar;
    QElapsedTimer m_shown;
};
} // namespace

void ImportWindow::importFolder() {
    if (!m_folder.isEmpty() && !QFileInfo(m_folder).isDir()) {
        showMsg(QStringLiteral("选定的文件夹不存在！"));
        txtAIS->setFocus();
        return;
    }
    const QStringList files = chosenFiles();
    if (files.isEmpty()) {
        showMsg(QStringLiteral("选定的文件夹中没有文本文件(*.txt)！"));
        return;
    }
    lvwFiles->clear();
    for (const QString& file : files)
        lvwFiles->addTopLevelItem(new QTreeWidgetItem(QStringList{QFileInfo(file).fileName()}));
    lblStatus->setVisible(false);
    prgFiles->setValue(0);
    prgFiles->setVisible(true);
    // 取消 (and Esc, and closing the window) stays at hand: it stops the file under way.
    const QList<QWidget*> controls{txtAIS, cmdOpen, cmdFolder, chkSkipImported, cmdOK};
    for (QWidget* c : controls)
        c->setEnabled(false);
    m_running = true;
    m_cancelRequested = false;
    setCursor(Qt::BusyCursor);
    BarProgress progress(*this, *prgFiles);
    FolderImport folder(*m_engine);
    folder.setProgress(&progress);
    folder.setFileDone([this, &folder](const FolderImport::FileResult& r) {
        QTreeWidgetItem* row = lvwFiles->topLevelItem(int(folder.results().size()) - 1);
        if (!row) return;
        const QString note =
            r.state == FolderImport::State::Imported || r.state == FolderImport::State::Skipped ? r.counts
                                                                                                : r.reason;
        row->setText(1, FolderImport::stateText(r.state));
        row->setText(2, note);
        row->setToolTip(2, note);
        lvwFiles->resizeColumnToContents(1);
        lvwFiles->scrollToItem(row);
        QCoreApplication::processEvents();
    });
    folder.run(files, chkSkipImported->isChecked());
    m_running = false;
    for (QWidget* c : controls)
        c->setEnabled(true);
    unsetCursor();
    prgFiles->setValue(1000);
    if (folder.cancelled()) {
        prgFiles->setFormat(QStringLiteral("已取消"));
        for (int i = int(folder.results().size()); i < lvwFiles->topLevelItemCount(); ++i)
            lvwFiles->topLevelItem(i)->setText(1, QStringLiteral("未引入"));
    } else {
        prgFiles->setFormat(QStringLiteral("%p%"));
    }
    lblStatus->setText(
        (folder.cancelled() ? QStringLiteral("引入已取消，此前完成的文件保持引入。") : QString()) +
        folder.summaryText());
    lblStatus->setVisible(true);
}

void ImportWindow::cmdOK_Click() {
    // The import lets the window paint while it runs: a second 确定 must not start another one.
    if (m_running) return;
    if (folderChosen()) {
        try {
            importFolder();
        } catch (const std::exception& e) {
            m_running = false;
            unsetCursor();
            showErr(QStringLiteral("cmdOK_Click"), e);
        }
        return;
    }
    try {
        if (!checkData()) return;
        mstrFilePath = txtAIS->text().trimmed();
        setCursor(Qt::WaitCursor);
        bool ok = false;
        {
            // Until the import ends the window's controls wait; closing it asks the import to stop.
            const QList<QWidget*> controls{txtAIS, cmdOpen, cmdFolder, chkSkipImported, cmdOK, cmdExit};
            for (QWidget* c : controls)
                c->setEnabled(false);
            m_running = true;
            m_cancelRequested = false;
            DialogProgress progress(*this, m_progressDelay);
            m_engine->setProgress(&progress);
            struct Done {
                ImportWindow& w;
                const QList<QWidget*>& controls;
                ~Done() {
                    w.m_engine->setProgress(nullptr);
                    w.m_running = false;
                    for (QWidget* c : controls)
                        c->setEnabled(true);
                }
            } done{*this, controls};
            ok = m_engine->importToQor(mstrFilePath, chkSkipImported->isChecked());
        }
        unsetCursor();
        if (m_engine->cancelled()) {
            lblStatus->setText(QStringLiteral("引入已取消。"));
            lblStatus->setVisible(true);
            return;
        }
        lblStatus->setText(m_engine->countsText());
        lblStatus->setVisible(ok || !m_engine->lastCounts().guarded);
        if (ok && m_engine->nothingNew()) {
            // Nothing came in: the window stays for another file.
            showMsg(m_engine->doneText());
            txtAIS->setFocus();
        } else if (ok) {
            showMsg(m_engine->doneText());
            accept();
        } else {
            showMsg(QStringLiteral("引入失败!"));
        }
    } catch (const std::exception& e) {
        unsetCursor();
        showErr(QStringLiteral("cmdOK_Click"), e);
    }
}

void ImportWindow::reject() {
    // Esc or the window's close button during an import: the import stops and rolls back first.
    if (m_running) {
        m_cancelRequested = true;
        return;
    }
    QDialog::reject();
}

void ImportWindow::closeEvent(QCloseEvent* event) {
    if (m_running) {
        m_cancelRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ImportWindow::cmdExit_Click() {
    reject();
}
