#pragma once
// The import of an issued-invoice file into the accounting set: reads the file line by line and
// writes all its invoices in one transaction, or nothing. The import window owns one engine; the
// t_ItemMap mappings it loads stay with it, so a second import from the same window reuses them.

#include "common/Connection.h"
#include "common/Progress.h"
#include "import/ImportLedger.h"
#include "import/ImportRules.h"
#include "import/InvoiceWriter.h"
#include "import/IssuedWriteBack.h"
#include <QString>

class GbkLineReader;
class Session;

class ImportEngine {
public:
    // Works on the session's two connections; the running invoice kind is kept in it.
    explicit ImportEngine(Session& session);

    // True only after the whole file was read and committed; otherwise the engine's own message has
    // been shown and nothing of the file is left in the accounting set. An invoice of the tax system that
    // was imported before (or that the file holds twice) refuses the whole file, unless skipImported:
    // then the ones imported before are left out and the rest imported.
    bool importToQor(const QString& filePath, bool skipImported = false);

    // What an invoice imported before does to its file. SkipWholeFile: a file whose invoices all came in
    // before is no failure (nothing of it is written again, a later cancellation is applied); one that
    // also holds something new is refused as with Refuse, naming the first invoice imported before.
    enum class Repeats { Refuse, Skip, SkipWholeFile };
    bool importToQor(const QString& filePath, Repeats repeats);

    // What the last import did.
    struct Counts {
        int invoices = 0, lines = 0, skipped = 0;
        // Issued from documents this set exported: written back onto them (of them cancelled); with a
        // 销售单据编号 of no document of the set; cancellations of invoices that came in before.
        int writtenBack = 0, writtenBackCancelled = 0, foreign = 0, cancellations = 0;
        // False when t_ImportField names no 类别代码 or 发票号码: nothing could be checked for an earlier
        // import.
        bool guarded = true;
    };
    const Counts& lastCounts() const { return m_counts; }
    // The line that says what was done (and whether invoices imported before could be told).
    QString countsText() const;
    // The message after an import that succeeded: "引入成功!", or, when every invoice of the file was
    // skipped as imported before and nothing else changed, that nothing new came in.
    QString doneText() const;
    bool nothingNew() const;

    // Reported to as the file is read (bytes of the file, invoices so far); when it asks to stop, the
    // import rolls back whole and says so.
    void setProgress(ProgressSink* progress) { m_progress = progress; }
    // Whether the last import stopped because it was asked to.
    bool cancelled() const { return m_cancelled; }

    ImportRules& rules() { return m_rules; }
    InvoiceWriter& writer() { return m_writer; }

private:
    // Reads and writes the invoices of the file; false when one fails, with notice holding the engine's
    // own message (the checks show theirs themselves). Throws for the error report.
    bool readFile(GbkLineReader& reader, const QString& filePath, Repeats repeats, QString& notice);
    // Writes the invoices in memory and their ledger rows. Throws DbError.
    void flush();
    // Reads the body lines of an invoice that is not written, checking they are body lines.
    bool skipBodyLines(GbkLineReader& reader, qint32 count, qint32& lineNumber, const QString& shown,
                       QString& notice);
    // The issued invoice of a checked head line; false after a message for a number that is none.
    bool issuedFromHead(const ImportLine& head, qint32 lineNumber, IssuedInvoice& out);
    Session& m_session;
    ConnectionPtr m_acct;
    ImportRules m_rules;
    InvoiceWriter m_writer;
    Counts m_counts;
    std::optional<ImportLedger> m_ledger;
    std::optional<IssuedWriteBack> m_writeBack;
    ProgressSink* m_progress = nullptr;
    bool m_cancelled = false;
};

// The number of invoices the second line of the tax software's file declares (张数~~起日~~止日), or
// nothing when the line is not of that form.
std::optional<int> declaredInvoiceCount(const QString& line);

// The body line count of a head: the leading number of the text, rounded; 32-bit. Throws DbError
// (overflow) when it does not fit.
qint32 bodyLineCount(const QString& text);
