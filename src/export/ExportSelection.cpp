// The selection of the export engine: the head and body queries over the link and the two templates,
// and the invoices they leave out because they crossed over before.
#include "ExportSelection.h"
#include "clsSaveDataExport.h"

#include "common/DbLog.h"
#include "common/Ledger.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include "links/WizardGrid.h"
#include <QRegularExpression>

using namespace ExportSelection;

namespace {

// A text or number literal: the same value on every row.
bool IsConstantExpression(const QString& item) {
    static const QRegularExpression constant(
        QStringLiteral("^\\s*(?:'(?:[^']|'')*'|[+-]?(?:\\d+\\.?\\d*|\\.\\d+)|null)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return constant.match(item).hasMatch();
}

// Whether the main template delivers FEntryID, the position of a line within its invoice.
bool HasLineOrderColumn(const QString& templateSql) {
    static const QRegularExpression column(QStringLiteral("\\bas\\s+FEntryID\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// Whether the main template delivers FItemNumber, the product number of a line.
bool HasItemNumberColumn(const QString& templateSql) {
    static const QRegularExpression column(QStringLiteral("\\bas\\s+FItemNumber\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// Whether the main template delivers the column name (as "... as name").
bool HasOutputColumn(const QString& templateSql, const QString& name) {
    const QRegularExpression column(QStringLiteral("\\bas\\s+%1\\b").arg(QRegularExpression::escape(name)),
                                    QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// Invoices that crossed over before: exported, or imported from the tax system.
const QString kLeaveOutLedger =
    QStringLiteral(" where not exists (select 1 from TF_Ledger l where l.FBillNo=cc.FbillNo and l.FState=0)");

const QString kRedMemo =
    QStringLiteral("CASE t1.Frob WHEN -1 THEN '对应正数发票代码1111111111号码11111111' ELSE '' END as fmemo");

} // namespace

bool clsSaveDataExport::BuildRsQuery(const QString& LinkID, bool IsHead, const TemplateQuery& HeadSql,
                                     const QString& BodySql, TemplateQuery& out) {
    try {
        const RecordsetPtr rs = m_session.Config().Query(
            QStringLiteral(
                "Select b.FFieldName,b.FFieldType,a.FisFormula,a.FQORField,c.Fname as FTaxName from "
                "(t_Detail a "
                "left join t_QorField b on a.FQORField=b.FID) left join t_TaxField c on a.FTaxID=c.Fid "
                "Where  a.FBaseInfoID=? and a.FisHead=? Order by a.FID"),
            {ParseLinkKey(LinkID).value_or(0), IsHead});
        if (rs->EOF_()) {
            ShowMsg(IsHead ? QStringLiteral("关联信息表头为空，引出失败！")
                           : QStringLiteral("关联信息表体为空，引出失败！"));
            return false;
        }
        QStringList items;
        QStringList& taxNames = IsHead ? m_headTaxNames : m_bodyTaxNames;
        taxNames.clear();
        if (IsHead) m_headQorIds.clear();
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
            taxNames << NullToText(rs->value(QStringLiteral("FTaxName")));
            const bool formula = IsTrueValue(rs->value(QStringLiteral("FisFormula")));
            if (!formula)
                items << NullToText(rs->value(QStringLiteral("FFieldName")), QStringLiteral("''"));
            else
                items << SplitItem(NullToText(rs->value(QStringLiteral("FQORField"))), QStringLiteral("|"),
                                   1);
            if (IsHead)
                m_headQorIds << (formula ? QString() : NullToText(rs->value(QStringLiteral("FQORField"))));
        }
        // The workbook splits address and phone, bank and account out of the accounting set's joined
        // fields also where the link maps neither: they come first, so that a column the link maps under
        // the same name is the one that counts.
        if (IsHead && m_readJoinedFields) {
            for (auto it = std::rbegin(kJoinedFields); it != std::rend(kJoinedFields); ++it) {
                const QString name =
                    GetFieldValue(&m_session.Config(),
                                  QStringLiteral("Select FFieldName from t_QorField where FID=?"), 0,
                                  QString(), {QString::fromLatin1(it->qorId)})
                        .toString()
                        .trimmed();
                if (name.isEmpty() || !HasOutputColumn(HeadSql.sql, name)) continue;
                items.prepend(name);
                taxNames.prepend(it->key);
                m_headQorIds.prepend(QString());
            }
        }
        const QString F = items.join(u',');
        QString source = TemplateSource(HeadSql.sql, BodySql);
        if (m_leaveOutLedger) source += kLeaveOutLedger;
        // Servers refuse a constant in GROUP BY (the '' of an unmapped field): a constant is the same on
        // every row, so leaving it out groups alike.
        QStringList groups;
        for (const QString& item : items)
            if (!IsConstantExpression(item)) groups << item;
        QString Q;
        if (IsHead) {
            Q = QStringLiteral("select count(*) as RowsCount , ") + F + source;
            if (!groups.isEmpty()) Q += QStringLiteral(" Group by ") + groups.join(u',');
            Q += QStringLiteral(" Order by FbillNo");
        } else {
            // The lines of one invoice keep their order on every server when the template names it.
            // The product number of each line, for the tax-code catalogue, where the template has it.
            const QString number = m_wantItemNumber && HasItemNumberColumn(HeadSql.sql)
                                       ? QStringLiteral(",FItemNumber as ") + ItemNumberColumn()
                                       : QString();
            Q = QStringLiteral("select  FbillNo,") + F + number + source +
                QStringLiteral(" Order by FbillNo") +
                (HasLineOrderColumn(HeadSql.sql) ? QStringLiteral(",FEntryID") : QString());
        }
        // A red invoice must carry the reference to its blue invoice in the memo.
        Q.replace(QStringLiteral("'' as fmemo"), kRedMemo, Qt::CaseInsensitive);
        out.sql = Q;
        out.params = HeadSql.params;
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("GetRs"), e);
        return false;
    }
}

namespace {
// The head query's cursor with its first row read already: an export without heads says so before anything
// else is done.
class PrefetchedCursor : public Connection::Cursor {
public:
    PrefetchedCursor(std::unique_ptr<Connection::Cursor> inner, QVariantList first)
        : m_inner(std::move(inner)), m_first(std::move(first)) {}
    const QList<FieldInfo>& fields() const override { return m_inner->fields(); }
    bool next(QVariantList& row) override {
        if (m_haveFirst) {
            m_haveFirst = false;
            row = std::move(m_first);
            return true;
        }
        return m_inner->next(row);
    }

private:
    std::unique_ptr<Connection::Cursor> m_inner;
    QVariantList m_first;
    bool m_haveFirst = true;
};
} // namespace

std::unique_ptr<Connection::Cursor> clsSaveDataExport::GetRs(ConnectionPtr& acct, const QString& LinkID,
                                                             const TemplateQuery& HeadSql,
                                                             const QString& BodySql) {
    try {
        TemplateQuery q;
        m_leaveOutLedger = false;
        if (!BuildRsQuery(LinkID, true, HeadSql, BodySql, q)) return nullptr;
        // Template formulas are written by users: the export reads through a connection that cannot write.
        if (!acct) acct = m_session.OpenAcctConnection(Connection::Mode::ReadOnly);
        std::unique_ptr<Connection::Cursor> cursor;
        QVariantList first;
        try {
            const QString source = TemplateSource(HeadSql.sql, BodySql);
            if (!m_includeExported && Ledger::Exists(*acct)) {
                // Left out, and of those the ones that only ever came in from the tax system.
                const RecordsetPtr left = acct->Query(
                    QStringLiteral("select count(distinct FbillNo), count(distinct case when not exists "
                                   "(select 1 from TF_Ledger l where l.FBillNo=cc.FbillNo and l.FState=0 and "
                                   "l.FDirection=%1) then FbillNo end)")
                            .arg(Ledger::Export) +
                        source +
                        QStringLiteral(
                            " where exists (select 1 from TF_Ledger l where l.FBillNo=cc.FbillNo and "
                            "l.FState=0)"),
                    HeadSql.params);
                m_counts.leftOut = left->value(0).toInt();
                m_counts.leftOutImported = left->value(1).toInt();
                m_leaveOutLedger = true;
                m_leftOutBills.clear();
                if (m_preview && m_counts.leftOut > 0) {
                    const RecordsetPtr left = acct->Query(
                        QStringLiteral("select distinct FbillNo, (select min(l.FDirection) from TF_Ledger l "
                                       "where l.FState=0 and "
                                       "l.FBillNo=cc.FbillNo) as FDirection") +
                            source +
                            QStringLiteral(" where exists (select 1 from TF_Ledger l where l.FState=0 and "
                                           "l.FBillNo=cc.FbillNo) order by FbillNo"),
                        HeadSql.params);
                    for (const QVariantList& row : left->allRows()) {
                        if (m_leftOutBills.size() >= m_previewLimit) break;
                        m_leftOutBills.append(
                            LeftOut{NullToText(row.value(0)), row.value(1).toInt() == Ledger::Import
                                                                  ? QStringLiteral("由税控系统引入")
                                                                  : QStringLiteral("已引出")});
                    }
                }
                if (!BuildRsQuery(LinkID, true, HeadSql, BodySql, q)) return nullptr;
            }
            // The lines of all invoices, for the progress the export reports.
            if (m_progress)
                m_totalLines = acct->Query(QStringLiteral("select count(*)") + source +
                                               (m_leaveOutLedger ? kLeaveOutLedger : QString()),
                                           HeadSql.params)
                                   ->value(0)
                                   .toLongLong();
            // The heads are read while the lines are. A server's driver streams one result at a time on a
            // connection, so there the heads come through a second one; an SQLite file reads both on one.
            m_headConnection = acct->dialect().kind == DbKind::SQLite
                                   ? acct
                                   : m_session.OpenAcctConnection(Connection::Mode::ReadOnly);
            cursor = m_headConnection->OpenCursor(q.sql, q.params);
            if (!cursor->next(first)) {
                // Everything selected crossed over before: say so, and how many of each.
                ShowMsg(m_counts.leftOut > 0 ? NothingLeftText()
                                             : QStringLiteral("引出的表头数据为空，引出失败！"));
                return nullptr;
            }
        } catch (const DbError& e) {
            ShowMsg(QStringLiteral("语法错误，引出失败！"));
            ReportCause(QStringLiteral("GetRs"), e);
            return nullptr;
        }
        return std::make_unique<PrefetchedCursor>(std::move(cursor), std::move(first));
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("GetRs"), e);
        return nullptr;
    }
}
