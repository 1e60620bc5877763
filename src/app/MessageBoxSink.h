#pragma once
// The program's message sink: modal message boxes titled "Orvane提示" over the active window.

#include "common/MessageSink.h"

class MessageBoxSink : public MessageSink {
public:
    void info(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
};
