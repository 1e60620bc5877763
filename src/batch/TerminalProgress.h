#pragma once
// The batch tool's progress: one line on stderr, rewritten in place, only when stderr is a terminal (a
// log file or a pipe gets the messages and nothing else).

#include "common/Progress.h"
#include <QElapsedTimer>
#include <QString>

class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(QString verb);
    ~TerminalProgress() override;
    // The sink to hand an engine: this one on a terminal, none elsewhere.
    ProgressSink* ifTerminal() { return m_terminal ? this : nullptr; }
    bool report(qint64 done, qint64 total, int invoices) override;
    // Takes the line away, so that a message can stand on its own; the next report draws it again.
    void clearLine();

private:
    QString m_verb;
    bool m_terminal = false;
    bool m_drawn = false;
    QElapsedTimer m_shown;
};
