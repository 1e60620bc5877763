#include "batch/TerminalProgress.h"

#include <cstdio>
#include <unistd.h>

TerminalProgress::TerminalProgress(QString verb)
    : m_verb(std::move(verb)), m_terminal(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
    // The messages that follow start on a line of their own.
    clearLine();
}

void TerminalProgress::clearLine() {
    if (!m_drawn) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_drawn = false;
    m_shown.invalidate();
}

bool TerminalProgress::report(qint64 done, qint64 total, int invoices) {
    if (m_shown.isValid() && m_shown.elapsed() < 200 && done < total) return true;
    m_shown.start();
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    std::fprintf(stderr, "\r%s %d%%，发票%d张", m_verb.toUtf8().constData(), percent, invoices);
    std::fflush(stderr);
    m_drawn = true;
    return true;
}
