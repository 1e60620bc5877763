#pragma once
// Every message the program shows goes through one replaceable sink: message boxes in the program,
// stderr lines in the batch tool, a recorder in the tests. Engines never open a message box themselves.

#include <QString>

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Information notice (showMsg).
    virtual void info(const QString& text) = 0;
    // A notice with its cause in the words of whatever gave it: the notice, then the cause.
    virtual void infoWithDetails(const QString& text, const QString& details) {
        info(text);
        detail(details);
    }
    // Error report (showErr): text is already "调用(…)出错!" CR LF message.
    virtual void error(const QString& text) = 0;
    // Yes/No question, No as the default. Returns true for Yes.
    virtual bool question(const QString& text) = 0;
    // The cause behind the message just shown (what the database said): for those who look into it,
    // not a message of its own. Message boxes leave it to the log file.
    virtual void detail(const QString& text) { (void)text; }
};

// The installed sink; the default writes to stderr and answers No.
MessageSink& currentMessageSink();
// Installs a sink (not owned); nullptr restores the default. Returns the previous one.
MessageSink* setMessageSink(MessageSink* sink);

// The title of every message box.
inline QString messageTitle() {
    return QStringLiteral("Orvane提示");
}
