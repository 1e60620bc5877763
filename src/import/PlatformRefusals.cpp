#include "import/PlatformRefusals.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "import/PlatformList.h"
#include <QHash>
#include <QSet>

namespace {
// The template's key column, as the workbook export knows it.
bool isKeyHeading(const QString& heading) {
    return heading == u"发票流水号" || heading == u"流水号";
}

// The template's notes and limits stand above its headings.
constexpr int kHeadingRows = 20;
// The reason as the ledger's column takes it.
constexpr int kReasonLength = 255;

// The column the platform adds to the refused rows (never a column of the template itself, such as
// 放弃享受减按1%征收率原因).
bool isReasonHeading(const QString& heading) {
    static const QSet<QString> reasons{QStringLiteral("导入失败原因"), QStringLiteral("失败原因"),
                                       QStringLiteral("错误原因"), QStringLiteral("导入结果")};
    return reasons.contains(heading);
}

// A heading of a row that heads invoices of some kind: the template's, or the platform's list's.
bool isListHeading(const QString& heading) {
    static const QSet<QString> headings{QStringLiteral("购买方名称"), QStringLiteral("数电发票号码"),
                                        QStringLiteral("全电发票号码"), QStringLiteral("发票号码")};
    return headings.contains(heading);
}

XlsxCaps refusalCaps() {
    XlsxCaps caps;
    caps.maxRows = 100000;
    return caps;
}

struct RefusalSheet {
    const XlsxSheet* sheet = nullptr;
    int row = 0; // the heading row; 0: none
    int key = -1, reason = -1;
};

std::optional<QList<PlatformRefusal>> readRefusals(XlsxReader& reader) {
    // Recognised by the heading rows alone, before any sheet is read whole: a list of issued invoices
    // costs nothing here.
    QList<RefusalSheet> found;
    for (const XlsxSheet& sheet : reader.sheets()) {
        if (sheet.hidden) continue;
        RefusalSheet f;
        f.sheet = &sheet;
        // Down to the sheet's heading row, whatever it heads: a list's sheets are read no further.
        auto isHeading = [&f](const XlsxRow& row) {
            int key = -1, reason = -1;
            bool heading = false;
            for (const XlsxCell& cell : row.cells) {
                const QString text = platformHeading(cell.text);
                if (isKeyHeading(text) && key < 0)
                    key = cell.column;
                else if (isReasonHeading(text) && reason < 0)
                    reason = cell.column;
                heading = heading || isListHeading(text);
            }
            if (key >= 0 && reason >= 0) f = {f.sheet, row.number, key, reason};
            return key >= 0 || heading;
        };
        reader.rows(sheet, XlsxStop{kHeadingRows, isHeading, true});
        if (f.row > 0) found.append(f);
    }
    if (found.isEmpty()) return std::nullopt;
    QList<PlatformRefusal> out;
    QHash<QString, int> at; // 发票流水号 → its entry
    for (const RefusalSheet& f : found)
        for (const XlsxRow& row : reader.rows(*f.sheet)) {
            if (row.number <= f.row) continue;
            const QString key = row.text(f.key).trimmed();
            const QString reason = row.text(f.reason).trimmed();
            if (key.isEmpty() || reason == u"成功") continue;
            const auto known = at.constFind(key);
            if (known == at.constEnd()) {
                at.insert(key, int(out.size()));
                out.append({row.number, key, reason});
            } else if (!reason.isEmpty() && !out[*known].reason.split(u'；').contains(reason)) {
                QString& kept = out[*known].reason;
                kept = kept.isEmpty() ? reason : kept + u'；' + reason;
            }
        }
    return out;
}
} // namespace

std::optional<QList<PlatformRefusal>> readPlatformRefusals(const QString& path) {
    XlsxReader reader(path, refusalCaps());
    return readRefusals(reader);
}

std::optional<QList<PlatformRefusal>> readPlatformRefusals(const QByteArray& bytes,
                                                           const QString& displayName) {
    XlsxReader reader(bytes, displayName, refusalCaps());
    return readRefusals(reader);
}

QStringList PlatformRefusalResult::lines() const {
    QStringList out;
    if (!marked.isEmpty()) {
        out << QStringLiteral("平台退回%1张单据，已可重新引出：").arg(marked.size());
        for (const Line& l : marked)
            out << QStringList{l.docNo, l.reason.isEmpty() ? QStringLiteral("（未注明原因）") : l.reason}
                       .join(u'\t');
        if (already > 0) out << QStringLiteral("另有%1张单据已标记过开具失败。").arg(already);
    } else if (already > 0) {
        // Read again: what it says was marked before.
        out << QStringLiteral("退回明细中的%1张单据都已标记过开具失败。").arg(already);
    } else {
        out << QStringLiteral("没有可重新引出的单据。");
    }
    if (!unhandled.isEmpty()) {
        out << QStringLiteral("%1个发票流水号未处理：").arg(unhandled.size());
        for (const Line& l : unhandled)
            out << QStringList{l.key, l.reason}.join(u'\t');
    }
    return out;
}

namespace {
// One refusal workbook marked in the open transaction.
class RefusalMarks {
public:
    RefusalMarks(Connection& acct, const QDateTime& refusedAt, PlatformRefusalResult& result)
        : m_acct(acct),
          m_refusedAt(refusedAt.isValid() ? refusedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                          : QString()),
          m_res(result) {}
    void mark(const PlatformRefusal& r);

private:
    QStringList documentsOf(const QString& key);
    void notHandled(const PlatformRefusal& r, const QString& docNo, const QString& why) {
        m_res.unhandled.append({r.key, docNo, why});
    }

    Connection& m_acct;
    bool m_longRead = false;
    QHash<QString, QStringList> m_long; // the last 20 characters of a longer 单据号 → those 单据号
    QString m_refusedAt;                // as the ledger writes a time; empty when unknown
    PlatformRefusalResult& m_res;
};

// The documents a 发票流水号 stands for: the 单据号 itself, or a longer one the export cut to its last 20
// characters.
QStringList RefusalMarks::documentsOf(const QString& key) {
    QStringList out;
    if (!m_acct
             .query(QStringLiteral("select 1 from TF_Ledger where FDirection=? and FDocNo=?"),
                    {Ledger::Export, key})
             ->atEnd())
        out << key;
    if (key.size() == 20) {
        // The 单据号 longer than 20 characters, by their last 20: read once for the whole workbook.
        if (!m_longRead) {
            m_longRead = true;
            m_acct.forEachRow(QStringLiteral("select distinct FDocNo from TF_Ledger where FDirection=? and "
                                             "FDocNo like ?"),
                              {Ledger::Export, QString(21, u'_') + u'%'}, nullptr,
                              [this](const QVariantList& row) {
                                  const QString docNo = nullToText(row.value(0));
                                  if (docNo.size() > 20) m_long[docNo.right(20)] << docNo;
                              });
            for (QStringList& docNos : m_long)
                docNos.sort();
        }
        out += m_long.value(key);
    }
    return out;
}

void RefusalMarks::mark(const PlatformRefusal& r) {
    const QStringList docs = documentsOf(r.key);
    if (docs.isEmpty()) return notHandled(r, {}, QStringLiteral("未找到引出的单据"));
    if (docs.size() > 1)
        return notHandled(r, {}, QStringLiteral("对应多张单据（%1）").arg(docs.join(QStringLiteral("、"))));
    const QString docNo = docs.first();
    const RecordsetPtr rs = m_acct.query(
        QStringLiteral("select FState, FTaxCode, FTaxNumber, FIssueState, FTime from TF_Ledger where "
                       "FDirection=? and FDocNo=? order by FTime"),
        {Ledger::Export, docNo});
    QString standing, issued; // the newest standing export, its tax invoice
    // An export before the one that stands (superseded, cancelled or refused): the refusals may be its.
    bool earlier = false, refused = false;
    for (const QVariantList& row : rs->allRows()) {
        const int state = row.value(0).toInt();
        const QString number = nullToText(row.value(2));
        const QString time = nullToText(row.value(4));
        if (state == Ledger::Stands) {
            standing = std::max(standing, time);
            if (!number.isEmpty()) issued = Ledger::numberText(nullToText(row.value(1)), number);
        } else if (state == Ledger::Cancelled && nullToText(row.value(3)) == Ledger::issueRefused()) {
            refused = true;
        }
        if (state != Ledger::Stands) earlier = true;
    }
    if (!issued.isEmpty()) return notHandled(r, docNo, QStringLiteral("单据已开具发票%1").arg(issued));
    if (standing.isEmpty()) {
        if (refused) {
            ++m_res.already;
            return;
        }
        return notHandled(r, docNo, QStringLiteral("单据没有等待开票的引出记录"));
    }
    // Exported again after the platform gave the refusals back: they are the earlier export's.
    if (earlier && (m_refusedAt.isEmpty() || m_refusedAt < standing))
        return notHandled(r, docNo, QStringLiteral("单据已于%1重新引出").arg(standing));
    const int changed = m_acct.exec(
        QStringLiteral("update TF_Ledger set FState=?, FIssueState=?, FIssueReason=? where ") +
            Ledger::documentRows(Ledger::Stands) + QStringLiteral(" and ") + Ledger::withoutInvoice(),
        {Ledger::Cancelled, Ledger::issueRefused(), r.reason.left(kReasonLength), Ledger::Export, docNo});
    if (changed == 0) return notHandled(r, docNo, QStringLiteral("单据没有等待开票的引出记录"));
    m_res.marked.append({r.key, docNo, r.reason});
}
} // namespace

PlatformRefusalWriteBack::PlatformRefusalWriteBack(const Session& session) : m_session(session) {}

bool PlatformRefusalWriteBack::apply(const QList<PlatformRefusal>& refusals, const QDateTime& refusedAt,
                                     bool preview) {
    m_result = {};
    try {
        Connection& acct = m_session.acct();
        // A set that never exported has nothing refused, and no ledger to lock.
        if (!Ledger::exists(acct)) {
            for (const PlatformRefusal& r : refusals)
                m_result.unhandled.append({r.key, {}, QStringLiteral("未找到引出的单据")});
            return true;
        }
        // A preview leaves the set as it was: an older ledger is upgraded inside its transaction, which is
        // rolled back.
        if (!preview) Ledger::ensure(acct);
        // As the export's lock: an export waits, and what is read as waiting for its invoice stays so.
        acct.beginLedgerLock();
        TransactionGuard tx(acct, TransactionGuard::Begun);
        if (preview && !Ledger::current(acct)) Ledger::ensure(acct);
        RefusalMarks marks(acct, refusedAt, m_result);
        for (const PlatformRefusal& r : refusals)
            marks.mark(r);
        if (preview) {
            tx.rollback();
        } else {
            tx.commit();
            Ledger::refreshStatistics(acct, int(m_result.marked.size()));
        }
        return true;
    } catch (const DbError& e) {
        m_result = {};
        showErr(QStringLiteral("PlatformRefusals"), e);
        return false;
    }
}
