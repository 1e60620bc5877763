#include "app/ui/HelpWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString kContents = QStringLiteral("index");

// The pages share one look; the text wraps at the window's width, so commands are paragraphs that wrap too.
const QString kStyle = QStringLiteral("h2 { color: #1f4e79; }"
                                      "h3 { color: #1f4e79; margin-top: 14px; }"
                                      "p.nav { color: #666666; }"
                                      "p.cmd { font-family: monospace; white-space: pre-wrap; "
                                      "background-color: #f2f2f2; margin-left: 12px; }");
} // namespace

// The pages are a resource of a static library: registered before their first use (outside any namespace,
// as the resource's registration function lives in none).
static void registerPages() {
    Q_INIT_RESOURCE(help);
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    registerPages();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("帮助主题"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    txtHelp = new QTextBrowser(this);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    txtHelp->setOpenExternalLinks(false);
    txtHelp->setOpenLinks(true);
    txtHelp->setLineWrapMode(QTextEdit::WidgetWidth);
    txtHelp->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtHelp->document()->setDefaultStyleSheet(kStyle);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdContents = button("cmdContents", QStringLiteral("目录(&T)"));
    cmdBack = button("cmdBack", QStringLiteral("上一页(&P)"));
    cmdForward = button("cmdForward", QStringLiteral("下一页(&N)"));
    cmdClose = button("cmdClose", QStringLiteral("关闭(&C)"));
    cmdClose->setDefault(true);
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);
    connect(cmdContents, &QPushButton::clicked, this, [this] { showPage(kContents); });
    connect(cmdBack, &QPushButton::clicked, txtHelp, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txtHelp, &QTextBrowser::forward);
    connect(txtHelp, &QTextBrowser::backwardAvailable, cmdBack, &QWidget::setEnabled);
    connect(txtHelp, &QTextBrowser::forwardAvailable, cmdForward, &QWidget::setEnabled);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    // The window says which page it shows.
    connect(txtHelp, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = txtHelp->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("帮助主题") : QStringLiteral("帮助主题 - ") + title);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdContents);
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtHelp);
    layout->addLayout(buttons);
    resize(680, 520);
}

void HelpWindow::init(int) {
    showPage(kContents);
}

QUrl HelpWindow::pageUrl(const QString& page) {
    const qsizetype hash = page.indexOf(u'#');
    QString name = hash < 0 ? page : page.left(hash);
    if (name.isEmpty() || !pageNames().contains(name)) name = kContents;
    QUrl url(QStringLiteral("qrc:/help/%1.html").arg(name));
    if (hash >= 0 && name == page.left(hash)) url.setFragment(page.mid(hash + 1));
    return url;
}

void HelpWindow::showPage(const QString& page) {
    txtHelp->setSource(pageUrl(page));
}

QString HelpWindow::currentPage() const {
    const QUrl source = txtHelp->source();
    const QString name = QFileInfo(source.path()).completeBaseName();
    return source.hasFragment() ? name + u'#' + source.fragment() : name;
}

QStringList HelpWindow::pageNames() {
    registerPages();
    QStringList names;
    for (const QFileInfo& f : QDir(QStringLiteral(":/help")).entryInfoList({QStringLiteral("*.html")}))
        names << f.completeBaseName();
    return names;
}
