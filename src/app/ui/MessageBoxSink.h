#pragma once
// The program's message sink: modal message boxes titled "Orvane提示" over the active window.

#include "common/MessageSink.h"
#include <QMessageBox>
#include <memory>

class MessageBoxSink : public MessageSink {
public:
    void info(const QString& text) override;
    // The details under the box's 详细信息 button.
    void infoWithDetails(const QString& text, const QString& details) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;

    // The box every message is shown in, not shown yet.
    static std::unique_ptr<QMessageBox> makeBox(QMessageBox::Icon icon, const QString& text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton,
                                                const QString& details = {}, QWidget* parent = nullptr);
};
