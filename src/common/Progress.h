#pragma once
// How a long piece of work tells how far it is, and learns that the user wants it stopped. Engines call
// Report as they go (as often as they like: a sink decides how often to show it); windows show a
// progress bar with 取消, the batch tool a line on a terminal.

#include <QtGlobal>

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // done of total in units of the worker's choosing (bytes of a file, rows of a result), and the
    // invoices handled so far. False when the user asked to stop: the worker then undoes what it began.
    virtual bool report(qint64 done, qint64 total, int invoices) = 0;
};
