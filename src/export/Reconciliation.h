#pragma once
// The reconciliation of exported invoices with the tax invoices written back onto them: every document
// an export wrote for the invoices of a filter, with its state — 已开票 (with the tax invoice's code and
// number), 未开票, 已作废, 金额不符 (the tax invoice's totals differ from the document's by more than 0.01),
// 已红冲, 部分红冲 or 开具失败 (the platform refused it, with its reason) — read from the ledger of the
// accounting set.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Session;

struct ReconcileMember {
    QString billNo;
    std::optional<double> amount; // its 不含税金额 in the document (unknown for exports of older versions)
};

struct ReconcileDocument {
    QString docNo;
    QString state;
    QString number;                 // 发票代码-发票号码, or the number alone; empty when not issued
    std::optional<double> exported; // 不含税金额 as written (the sum of its members)
    std::optional<double> exportedTax;       // 税额 as written
    std::optional<double> issued, issuedTax; // the tax invoice's totals
    QList<ReconcileMember> members;          // the sales invoices in it; more than one for a merged document
    QString reason;                          // 开具失败: why the platform refused it
    QString confirmNo; // the 红字发票信息确认单编号 of its red invoice, or of the one that flushed it
    // What the line says beside its amounts: the reason, the confirmation; empty when neither.
    QString note() const;
};

struct ReconcileTotal {
    QString state;
    int documents = 0;
    double exported = 0, issued = 0;
};

class Reconciliation {
public:
    explicit Reconciliation(const Session& session);
    // The documents of the invoices the condition text selects (up to fourteen values joined by "|", as
    // the export filter gives them; values left out or empty filter nothing), in bill-number order.
    // Throws DbError.
    QList<ReconcileDocument> run(const QString& conditions);
    // The same documents handed to visit one at a time, each whole, in the same order: a month's
    // reconciliation is printed as it is read, never held. Throws DbError.
    void forEachDocument(const QString& conditions,
                         const std::function<void(const ReconcileDocument&)>& visit);

    // One total per state that occurs, in the order of states().
    static QList<ReconcileTotal> totals(const QList<ReconcileDocument>& documents);
    // The same totals added up document by document.
    class Totals {
    public:
        void add(const ReconcileDocument& d);
        QList<ReconcileTotal> list() const;

    private:
        struct Sum {
            int documents = 0;
            qint64 exported = 0, issued = 0; // cents
        };
        QList<Sum> m_sums = QList<Sum>(Reconciliation::states().size());
    };
    static QStringList states();
    // The report as the batch tool prints it: per document
    // "单据号\t状态\t号码\t引出不含税金额\t开票不含税金额" (the issued amount empty when there is none; a
    // fifth tab and note() where the document has one), its
    // members' lines "\t成员\t单据号\t引出不含税金额" for a merged document, then
    // "合计\t状态\tN张\t引出不含税金额\t开票不含税金额" per state.
    static QStringList reportLines(const QList<ReconcileDocument>& documents);
    // Its parts: one document's lines, and the totals' lines.
    static QStringList documentLines(const ReconcileDocument& d);
    static QStringList totalLines(const QList<ReconcileTotal>& totals);
    // The same as CSV with a title line (UTF-8 with a BOM).
    static QByteArray csv(const QList<ReconcileDocument>& documents);

private:
    const Session& m_session;
};
