#include "import/FolderImport.h"

#include "common/MessageSink.h"
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace {
// The engine's messages for one file, kept as that file's reason instead of shown one by one: a folder
// of failures would otherwise be a row of message boxes.
class FileMessages : public MessageSink {
public:
    FileMessages() : m_previous(setMessageSink(this)) {}
    ~FileMessages() override { setMessageSink(m_previous); }
    void info(const QString& text) override { add(text); }
    void error(const QString& text) override { add(text); }
    void detail(const QString& text) override { add(QStringLiteral("详细信息:") + text); }
    bool question(const QString& text) override {
        // Not a message about the file: whoever is there answers it.
        setMessageSink(m_previous);
        const bool yes = currentMessageSink().question(text);
        setMessageSink(this);
        return yes;
    }
    QString text() const { return m_texts.join(u' '); }

private:
    void add(QString text) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        m_texts << text.trimmed();
    }
    MessageSink* m_previous;
    QStringList m_texts;
};

// One file's progress as a share of all files'.
class OverallProgress : public ProgressSink {
public:
    OverallProgress(ProgressSink& outer, qint64 total) : m_outer(outer), m_total(total) {}
    void beginFile(qint64 before, int invoicesBefore) {
        m_before = before;
        m_invoicesBefore = invoicesBefore;
    }
    bool report(qint64 done, qint64 total, int invoices) override {
        (void)total;
        return m_outer.report(m_before + done, m_total, m_invoicesBefore + invoices);
    }

private:
    ProgressSink& m_outer;
    qint64 m_total;
    qint64 m_before = 0;
    int m_invoicesBefore = 0;
};
} // namespace

FolderImport::FolderImport(ImportEngine& engine) : m_engine(engine) {}

QStringList FolderImport::filesOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) return {path};
    const QDir dir(path);
    QStringList files;
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")},
                                             QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Name))
        files << dir.filePath(name);
    return files;
}

bool FolderImport::run(const QStringList& files, bool skipImported) {
    m_results.clear();
    m_cancelled = false;
    qint64 total = 0;
    for (const QString& f : files)
        total += QFileInfo(f).size();
    std::optional<OverallProgress> overall;
    if (m_progress) overall.emplace(*m_progress, total);
    m_engine.setProgress(overall ? &*overall : nullptr);
    qint64 before = 0;
    int invoices = 0;
    for (const QString& file : files) {
        if (overall) overall->beginFile(before, invoices);
        FileResult result;
        result.file = file;
        bool ok = false;
        {
            FileMessages messages;
            ok = m_engine.importToQor(file, skipImported ? ImportEngine::Repeats::Skip
                                                         : ImportEngine::Repeats::SkipWholeFile);
            result.reason = messages.text();
        }
        const ImportEngine::Counts& c = m_engine.lastCounts();
        if (m_engine.cancelled()) {
            m_cancelled = true;
            result.state = State::Cancelled;
            result.reason = QStringLiteral("此文件已撤销，其后的文件没有引入。");
        } else if (!ok) {
            result.state = State::Failed;
        } else {
            result.reason.clear();
            result.counts = m_engine.countsText().remove(u'\n');
            // Nothing new in the file: no invoice written, written back or cancelled since.
            const bool repeat =
                c.skipped > 0 && c.invoices == 0 && c.writtenBack == 0 && c.cancellations == 0;
            result.state = repeat ? State::Skipped : State::Imported;
        }
        before += QFileInfo(file).size();
        invoices += ok ? c.invoices : 0;
        m_results << result;
        if (m_done) m_done(result);
        if (m_cancelled) break;
    }
    m_engine.setProgress(nullptr);
    return !m_cancelled && count(State::Failed) == 0;
}

int FolderImport::count(State state) const {
    return int(std::count_if(m_results.cbegin(), m_results.cend(),
                             [state](const FileResult& r) { return r.state == state; }));
}

QString FolderImport::summaryText() const {
    return QStringLiteral("引入%1个文件：成功%2个，跳过%3个（均已引入过），失败%4个。")
        .arg(count(State::Imported) + count(State::Skipped) + count(State::Failed))
        .arg(count(State::Imported))
        .arg(count(State::Skipped))
        .arg(count(State::Failed));
}

QString FolderImport::stateText(State state) {
    switch (state) {
    case State::Imported:
        return QStringLiteral("成功");
    case State::Skipped:
        return QStringLiteral("跳过");
    case State::Failed:
        return QStringLiteral("失败");
    case State::Cancelled:
        return QStringLiteral("已取消");
    }
    return {};
}
