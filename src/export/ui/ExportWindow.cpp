#include "export/ui/ExportWindow.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "export/ExportEngine.h"
#include "export/WorkbookTemplate.h"
#include "export/ui/ExportFilterDialog.h"
#include "export/ui/ExportPreviewDialog.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

ExportWindow::ExportWindow(const Session& session, QWidget* parent) : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("ExportWindow"));
    setWindowTitle(QStringLiteral("引出发票到文本文件"));

    fraStep = new QGroupBox(QStringLiteral("引出关系描述"), this);
    fraStep->setObjectName(QStringLiteral("fraStep"));
    label3 = new QLabel(QStringLiteral("关联名称："), fraStep);
    label3->setObjectName(QStringLiteral("Label3"));
    txtLinkName = new QLineEdit(QStringLiteral("（无）"), fraStep);
    txtLinkName->setObjectName(QStringLiteral("txtLinkName"));
    label10 = new QLabel(QStringLiteral("说明："), fraStep);
    label10->setObjectName(QStringLiteral("Label10"));
    txtNote = new QLineEdit(QStringLiteral("（无）"), fraStep);
    txtNote->setObjectName(QStringLiteral("txtNote"));
    for (QLineEdit* e : {txtLinkName, txtNote})
        e->setReadOnly(true);
    label1 = new QLabel(QStringLiteral("引出文本文件路径："), fraStep);
    label1->setObjectName(QStringLiteral("Label1"));
    txtTxtFile = new QLineEdit(fraStep);
    txtTxtFile->setObjectName(QStringLiteral("txtTxtFile"));
    btnOpenFile = new QToolButton(fraStep);
    btnOpenFile->setObjectName(QStringLiteral("btnOpenFile"));
    btnOpenFile->setText(QStringLiteral("…"));
    auto* grid = new QGridLayout(fraStep);
    grid->addWidget(label3, 0, 0);
    grid->addWidget(txtLinkName, 0, 1, 1, 2);
    grid->addWidget(label10, 1, 0);
    grid->addWidget(txtNote, 1, 1, 1, 2);
    grid->addWidget(label1, 2, 0);
    grid->addWidget(txtTxtFile, 2, 1);
    grid->addWidget(btnOpenFile, 2, 2);
    grid->setColumnStretch(1, 1);

    // Kept from the accounting product's layout; the export does not depend on the choice.
    frame2 = new QGroupBox(QStringLiteral("引出发票的系统"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* systems = new QHBoxLayout(frame2);
    const QStringList names{QStringLiteral("应收应付"), QStringLiteral("商业"), QStringLiteral("购销存")};
    for (int i = 0; i < names.size(); ++i) {
        auto* opt = new QRadioButton(names[i], frame2);
        opt->setObjectName(QStringLiteral("OptSys_%1").arg(i));
        optSys << opt;
        systems->addWidget(opt);
    }
    optSys.first()->setChecked(true);
    systems->addStretch();

    lblProcess = new QLabel(QStringLiteral("引出过程："), this);
    lblProcess->setObjectName(QStringLiteral("lblProcess"));
    pBar = new QProgressBar(this);
    pBar->setObjectName(QStringLiteral("PBar"));
    pBar->setValue(0);
    pBar->setTextVisible(false);
    auto* process = new QHBoxLayout;
    process->addWidget(lblProcess);
    process->addWidget(pBar, 1);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line2"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    btnOK = new QPushButton(QStringLiteral("引出(&O)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnExit = new QPushButton(QStringLiteral("退出(&X)"), this);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnExit);

    chkIncludeExported = new QCheckBox(QStringLiteral("包括已引出的发票(&I)"), this);
    chkIncludeExported->setObjectName(QStringLiteral("chkIncludeExported"));
    chkIncludeExported->setToolTip(QStringLiteral("已经引出过的发票和从税控系统引入的发票也引出"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto* main = new QVBoxLayout(this);
    main->addWidget(fraStep);
    main->addWidget(frame2);
    main->addWidget(chkIncludeExported);
    main->addWidget(lblStatus);
    main->addLayout(process);
    main->addWidget(line);
    main->addLayout(buttons);
    resize(540, sizeHint().height());

    connect(btnOpenFile, &QToolButton::clicked, this, &ExportWindow::btnOpenFile_Click);
    connect(btnOK, &QPushButton::clicked, this, &ExportWindow::btnOK_Click);
    connect(btnExit, &QPushButton::clicked, this, &ExportWindow::btnExit_Click);
}

void ExportWindow::showFor(const Session& session, const QString& key, const QString& name,
                           const QString& memo, QWidget* parent) {
    ExportWindow exportWindow(session, parent);
    exportWindow.txtLinkName->setText(name);
    exportWindow.txtNote->setText(memo);
    exportWindow.setKey(key);
    exportWindow.exec();
}

void ExportWindow::setKey(const QString& value) {
    m_Key = value;
    m_format = QStringLiteral("txt");
    try {
        const RecordsetPtr link = loadLink(m_session.config(), m_Key);
        if (!link->atEnd()) m_format = linkFormat(link->value(QStringLiteral("FFormat")));
    } catch (const DbError&) {
        // The export itself reports a link it cannot read.
    }
    const QString name = formatName(m_format);
    setWindowTitle(QStringLiteral("引出发票到") + name);
    label1->setText(QStringLiteral("引出%1路径：").arg(name));
}

void ExportWindow::btnOpenFile_Click() {
    QFileDialog dlgOpen(this, QStringLiteral("保存引出文件"));
    dlgOpen.setObjectName(QStringLiteral("dlgOpen"));
    // The export creates the file: a save dialog, whose filter matches .TXT as well.
    dlgOpen.setAcceptMode(QFileDialog::AcceptSave);
    // The link's format decides the kind of file.
    dlgOpen.setNameFilter(formatFileFilter(m_format));
    dlgOpen.setDefaultSuffix(formatSuffix(m_format));
    dlgOpen.setFileMode(QFileDialog::AnyFile);
    // 确定 asks before replacing a file, once the path is final.
    dlgOpen.setOption(QFileDialog::DontConfirmOverwrite);
    dlgOpen.setOption(QFileDialog::DontUseNativeDialog);
    if (dlgOpen.exec() != QDialog::Accepted) return;
    const QStringList files = dlgOpen.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return;
    txtTxtFile->setText(files.first());
    // The next key is 引出's.
    btnOK->setFocus();
}

namespace {
// The export's progress on the window's own bar, a few updates a second.
class BarProgress : public ProgressSink {
public:
    explicit BarProgress(ExportWindow& w, bool preview = false) : m_w(w) { m_w.beginRun(preview); }
    ~BarProgress() override { m_w.endRun(); }
    bool report(qint64 done, qint64 total, int invoices) override {
        if (m_shown.isValid() && m_shown.elapsed() < 50 && done < total) return !m_w.cancelRequested();
        m_shown.start();
        m_w.showProgress(done, total, invoices);
        QCoreApplication::processEvents();
        return !m_w.cancelRequested();
    }

private:
    ExportWindow& m_w;
    QElapsedTimer m_shown;
};
} // namespace

void ExportWindow::beginRun(bool preview) {
    // Until the first lines are read the bar only says that work is under way.
    pBar->setRange(0, 0);
    pBar->setValue(0);
    btnExit->setText(QStringLiteral("取消(&C)"));
    for (QWidget* c : std::initializer_list<QWidget*>{fraStep, frame2, chkIncludeExported, btnOK})
        c->setEnabled(false);
    m_cancelRequested = false;
    m_running = true;
    m_previewing = preview;
    lblStatus->setText(preview ? QStringLiteral("正在读取发票，生成引出预览…")
                               : QStringLiteral("正在读取发票…"));
    // The selection's queries take a while on a big set: the window is painted before they start, not
    // left blank where the dialog before it closed.
    if (isVisible()) {
        repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void ExportWindow::showProgress(qint64 done, qint64 total, int invoices) {
    if (pBar->maximum() == 0) pBar->setRange(0, 1000);
    pBar->setValue(total > 0 ? int(done * 1000 / total) : 0);
    lblStatus->setText(m_previewing ? QStringLiteral("正在生成引出预览…已读取%1张").arg(invoices)
                                    : QStringLiteral("正在引出…已写入%1张").arg(invoices));
}

void ExportWindow::endRun() {
    m_running = false;
    m_previewing = false;
    pBar->setRange(0, 1000);
    btnExit->setText(QStringLiteral("退出(&X)"));
    for (QWidget* c : std::initializer_list<QWidget*>{fraStep, frame2, chkIncludeExported, btnOK})
        c->setEnabled(true);
}

void ExportWindow::btnOK_Click() {
    try {
        const QString path = txtTxtFile->text().trimmed();
        if (path.isEmpty()) {
            showMsg(QStringLiteral("未输入引出%1路径！").arg(formatName(m_format)));
            txtTxtFile->setFocus();
            return;
        }
        // The earlier file is replaced only when the new one is complete.
        if (QFileInfo::exists(path) &&
            !askYesNo(QStringLiteral("引出%1已存在，是否覆盖？").arg(formatName(m_format))))
            return;
        ExportFilterDialog filter(m_session, this);
        filter.init();
        filter.exec();
        if (!filter.ok()) return;
        lblStatus->clear();
        // Proof first: the same queries and the same writer, without the file; it shows its progress and
        // 取消 stops it as it does the export.
        ExportEngine proof(m_session);
        proof.setIncludeExported(chkIncludeExported->isChecked());
        proof.setPreview(true);
        bool proved = false;
        {
            BarProgress progress(*this, true);
            proof.setProgress(&progress);
            proved = proof.exportFile(path, filter.returnCondition(), m_Key);
        }
        pBar->setValue(0);
        if (proof.cancelled()) {
            lblStatus->setText(QStringLiteral("预览已取消，未引出。"));
            return;
        }
        if (!proved) {
            lblStatus->clear();
            return;
        }
        lblStatus->clear();
        ExportPreviewDialog preview(proof, this);
        if (preview.exec() != QDialog::Accepted) {
            lblStatus->setText(QStringLiteral("已取消，未引出。"));
            return;
        }
        ExportEngine exporter(m_session);
        exporter.setIncludeExported(chkIncludeExported->isChecked());
        bool ok = false;
        {
            BarProgress progress(*this);
            exporter.setProgress(&progress);
            ok = exporter.exportFile(path, filter.returnCondition(), m_Key);
        }
        // The bar showed the run, which is over whichever way it ended.
        pBar->setValue(0);
        if (exporter.cancelled()) {
            lblStatus->setText(QStringLiteral("引出已取消，引出文件没有改变。"));
        } else if (ok) {
            lblStatus->setText(exporter.countsText());
            showMsg(QStringLiteral("引出成功！"));
        } else {
            lblStatus->clear();
        }
    } catch (const std::exception& e) {
        showErr(QStringLiteral("btnOK_Click"), e);
    }
}

void ExportWindow::btnExit_Click() {
    // While an export runs the button is 取消: the export stops at its next line and writes nothing.
    if (m_running) {
        m_cancelRequested = true;
        return;
    }
    close();
}

void ExportWindow::closeEvent(QCloseEvent* event) {
    // Closing the window during an export stops the export first.
    if (m_running) {
        m_cancelRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ExportWindow::reject() {
    if (m_running) {
        m_cancelRequested = true;
        return;
    }
    QDialog::reject();
}
