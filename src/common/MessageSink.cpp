#include "common/MessageSink.h"

#include <cstdio>

namespace {
class StderrSink : public MessageSink {
public:
    void info(const QString& text) override { write(text); }
    void error(const QString& text) override { write(text); }
    bool question(const QString& text) override {
        write(text);
        return false;
    }
    void detail(const QString& text) override { write(QStringLiteral("详细信息:") + text); }

private:
    static void write(const QString& text) {
        QString t = text;
        t.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        std::fprintf(stderr, "%s\n", t.toUtf8().constData());
        std::fflush(stderr);
    }
};

StderrSink g_default;
MessageSink* g_sink = nullptr;
} // namespace

MessageSink& currentMessageSink() {
    return g_sink ? *g_sink : g_default;
}

MessageSink* setMessageSink(MessageSink* sink) {
    MessageSink* old = g_sink;
    g_sink = sink;
    return old;
}
