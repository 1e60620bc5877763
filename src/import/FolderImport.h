#pragma once
// The import of several issued-invoice files, a month that arrives as a folder: each file in its own
// transaction through the import engine, one after the other. A file whose invoices all came in before
// is skipped, a failed one is told with its reason and the others go on. The batch tool and the import
// window both run it; it shows no message itself, it hands each file's result to its caller.

#include "import/ImportEngine.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class FolderImport {
public:
    enum class State { Imported, Skipped, Failed, Cancelled };
    struct FileResult {
        QString file; // as handed to run
        State state = State::Failed;
        QString counts; // what was done, on one line (the engine's counts)
        QString reason; // why it failed: the messages the engine showed, on one line
    };

    explicit FolderImport(ImportEngine& engine);

    // The files a path stands for: a file itself; of a folder its .txt files (not those of its
    // subfolders) in name order.
    static QStringList filesOf(const QString& path);

    // Told after each file, in order.
    void setFileDone(std::function<void(const FileResult&)> done) { m_done = std::move(done); }
    // Reported to over all files (bytes of all of them, invoices so far); when it asks to stop, the file
    // under way is rolled back whole and the rest are not started.
    void setProgress(ProgressSink* progress) { m_progress = progress; }

    // Imports the files in order; true when none failed (and it was not stopped). skipImported: the
    // invoices imported before are left out of any file, as for one file.
    bool run(const QStringList& files, bool skipImported = false);

    const QList<FileResult>& results() const { return m_results; }
    int count(State state) const;
    bool cancelled() const { return m_cancelled; }
    // 引入N个文件：成功A个，跳过B个（均已引入过），失败C个。 over the files finished.
    QString summaryText() const;
    // The word for a state in a list of results.
    static QString stateText(State state);

private:
    ImportEngine& m_engine;
    std::function<void(const FileResult&)> m_done;
    ProgressSink* m_progress = nullptr;
    QList<FileResult> m_results;
    bool m_cancelled = false;
};
