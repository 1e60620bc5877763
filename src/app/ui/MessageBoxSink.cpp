#include "app/ui/MessageBoxSink.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QTextEdit>

namespace {
// The window manager's icon and its minimise, maximise and close buttons, with some air.
constexpr int kTitleBarExtras = 160;

int showBox(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton, const QString& details = {}) {
    // Over the active window; one just hidden (a progress dialog put aside for the message) leaves it
    // to the window below.
    QWidget* parent = QApplication::activeWindow();
    while (parent && !parent->isVisible())
        parent = parent->parentWidget() ? parent->parentWidget()->window() : nullptr;
    const std::unique_ptr<QMessageBox> box =
        MessageBoxSink::makeBox(icon, text, buttons, defaultButton, details, parent);
    return box->exec();
}
} // namespace

std::unique_ptr<QMessageBox> MessageBoxSink::makeBox(QMessageBox::Icon icon, const QString& text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton,
                                                     const QString& details, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, messageTitle(), text, buttons, parent);
    box->setObjectName(QStringLiteral("msgBox"));
    // A message box is as narrow as its text; the title bar also needs room for the title in its own
    // (often bold) font and the window manager's icon and buttons, or "Orvane提示" shows as "Orva...".
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + kTitleBarExtras;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    if (!details.isEmpty()) {
        box->setDetailedText(details);
        // The driver's text runs long: as narrow as the message it would be read a few words a line.
        if (auto* edit = box->findChild<QTextEdit*>()) {
            edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 64);
            edit->setLineWrapMode(QTextEdit::WidgetWidth);
        }
    }
    // Enter and Esc both answer: the default button, which for a question is 否.
    box->setDefaultButton(defaultButton);
    box->setEscapeButton(defaultButton);
    return box;
}

void MessageBoxSink::info(const QString& text) {
    showBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxSink::infoWithDetails(const QString& text, const QString& details) {
    showBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok, details);
}

void MessageBoxSink::error(const QString& text) {
    showBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxSink::question(const QString& text) {
    return showBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}
