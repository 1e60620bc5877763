#include "batch/TerminalProgress.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {
// A console that takes the escape which clears the line (Windows 10 and later, once it is asked to).
bool stderrIsTerminal() {
    const HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
} // namespace
#else
#include <unistd.h>

namespace {
bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
} // namespace
#endif

TerminalProgress::TerminalProgress(QString verb) : m_verb(std::move(verb)), m_terminal(stderrIsTerminal()) {}

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
