#pragma once
// The platform's refusals of an uploaded batch workbook (…下载失败明细….xlsx): the template's head sheet
// with the refused rows and a column of reasons. Each 发票流水号 is the 单据号 the export wrote (its last 20
// characters where it was longer); the export rows of that document, still waiting for a tax invoice, are
// marked 开具失败 with the reason and the document may go out again. All in one transaction under the
// ledger's lock.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class Session;

// A refused row: its 发票流水号 and the platform's reason (the reasons of its rows on several sheets
// joined).
struct PlatformRefusal {
    int row = 0; // on the first sheet that names it, 1-based
    QString key;
    QString reason;
};

// The refusals when the workbook is the platform's refusal workbook (a sheet headed 发票流水号 and a reason:
// 导入失败原因, 失败原因, 错误原因 or 导入结果), without the rows whose reason reads 成功; nothing when it
// is some other workbook. Throws DbError (not a workbook, damaged, past the reader's caps).
std::optional<QList<PlatformRefusal>> readPlatformRefusals(const QString& path);
std::optional<QList<PlatformRefusal>> readPlatformRefusals(const QByteArray& bytes,
                                                           const QString& displayName);

struct PlatformRefusalResult {
    struct Line {
        QString key;    // 发票流水号
        QString docNo;  // the document it stands for, where one was found
        QString reason; // marked: the platform's reason; not handled: why not
    };
    QList<Line> marked;    // documents marked 开具失败: exportable again
    QList<Line> unhandled; // 发票流水号 not marked
    int already = 0;       // documents marked by an earlier reading of the same refusals

    // What happened, as stdout and the window say it, one text per line.
    QStringList lines() const;
};

class PlatformRefusalWriteBack {
public:
    explicit PlatformRefusalWriteBack(const Session& session);
    // Marks the documents refused (preview: works it out and writes nothing). refusedAt: when the platform
    // gave the refusals back (the file's time); a document exported again after it is not marked. False
    // after a failure, which is shown.
    bool apply(const QList<PlatformRefusal>& refusals, const QDateTime& refusedAt, bool preview);
    const PlatformRefusalResult& result() const { return m_result; }

private:
    const Session& m_session;
    PlatformRefusalResult m_result;
};
