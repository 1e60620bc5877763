#include "MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>

namespace {
int showBox(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, MessageTitle(), text, buttons, QApplication::activeWindow());
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(defaultButton);
    return box.exec();
}
} // namespace

void MessageBoxSink::info(const QString& text) {
    showBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxSink::error(const QString& text) {
    showBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxSink::question(const QString& text) {
    return showBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}
