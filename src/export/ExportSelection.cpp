// The selection of the export engine: the head and body queries over the link and the two templates,
// and the invoices they leave out because they crossed over before.
#include "export/ExportSelection.h"
#include "export/ExportEngine.h"

#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "links/WizardGrid.h"
#include <QRegularExpression>

using namespace ExportSelection;

namespace {

// A text or number literal: the same value on every row.
bool isConstantExpression(const QString& item) {
    static const QRegularExpression constant(
        QStringLiteral("^\\s*(?:'(?:[^']|'')*'|[+-]?(?:\\d+\\.?\\d*|\\.\\d+)|null)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return constant.match(item).hasMatch();
}

// Whether the main template delivers FEntryID, the position of a line within its invoice.
bool hasLineOrderColumn(const QString& templateSql) {
    static const QRegularExpression column(QStringLiteral("\\bas\\s+FEntryID\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// Whether the main template delivers FItemNumber, the product number of a line.
bool hasItemNumberColumn(const QString& templateSql) {
    static const QRegularExpression column(QStringLiteral("\\bas\\s+FItemNumber\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// Whether the main template delivers the column name (as "... as name").
bool hasOutputColumn(const QString& templateSql, const QString& name) {
    const QRegularExpression column(QStringLiteral("\\bas\\s+%1\\b").arg(QRegularExpression::escape(name)),
                                    QRegularExpression::CaseInsensitiveOption);
    return column.match(templateSql).hasMatch();
}

// A ledger row that holds a valid tax invoice for its sale: issued, neither cancelled nor wholly flushed red
// (those rows no longer stand).
QString validInvoiceRow() {
    return QStringLiteral("l.FDirection=%1 and l.FState=%2 and l.FTaxNumber is not null and l.FTaxNumber<>''")
        .arg(Ledger::Export)
        .arg(Ledger::Stands);
}

// What an export leaves out of the selection: every invoice that crossed over before (exported, or
// imported from the tax system), or, exporting again, only those that hold a valid tax invoice.
QString leaveOutClause(const QString& ledger, bool includeExported) {
    return QStringLiteral(" where not exists (select 1 from %1 l where l.FBillNo=cc.FbillNo and %2)")
        .arg(ledger, includeExported ? validInvoiceRow() : QStringLiteral("l.FState=0"));
}

const QString kRedMemo =
    QStringLiteral("CASE t1.Frob WHEN -1 THEN '对应正数发票代码1111111111号码11111111' ELSE '' END as fmemo");

} // namespace

bool ExportEngine::buildRsQuery(const QString& linkId, bool isHead, const TemplateQuery& headSql,
                                const QString& bodySql, TemplateQuery& out) {
    try {
        const RecordsetPtr rs = m_session.config().query(
            QStringLiteral(
                "Select b.FFieldName,b.FFieldType,a.FisFormula,a.FQORField,c.Fname as FTaxName from "
                "(t_Detail a "
                "left join t_QorField b on a.FQORField=b.FID) left join t_TaxField c on a.FTaxID=c.Fid "
                "Where  a.FBaseInfoID=? and a.FisHead=? Order by a.FID"),
            {parseLinkKey(linkId).value_or(0), isHead});
        if (rs->atEnd()) {
            showMsg(isHead ? QStringLiteral("关联信息表头为空，引出失败！")
                           : QStringLiteral("关联信息表体为空，引出失败！"));
            return false;
        }
        QStringList items;
        QStringList& taxNames = isHead ? m_headTaxNames : m_bodyTaxNames;
        taxNames.clear();
        if (isHead) m_headQorIds.clear();
        for (rs->first(); !rs->atEnd(); rs->next()) {
            taxNames << nullToText(rs->value(QStringLiteral("FTaxName")));
            const bool formula = isTrueValue(rs->value(QStringLiteral("FisFormula")));
            if (!formula)
                items << nullToText(rs->value(QStringLiteral("FFieldName")), QStringLiteral("''"));
            else
                items << splitItem(nullToText(rs->value(QStringLiteral("FQORField"))), QStringLiteral("|"),
                                   1);
            if (isHead)
                m_headQorIds << (formula ? QString() : nullToText(rs->value(QStringLiteral("FQORField"))));
        }
        // The workbook splits address and phone, bank and account out of the accounting set's joined
        // fields also where the link maps neither: they come first, so that a column the link maps under
        // the same name is the one that counts.
        if (isHead && m_readJoinedFields) {
            for (auto it = std::rbegin(kJoinedFields); it != std::rend(kJoinedFields); ++it) {
                const QString name =
                    getFieldValue(&m_session.config(),
                                  QStringLiteral("Select FFieldName from t_QorField where FID=?"), 0,
                                  QString(), {QString::fromLatin1(it->qorId)})
                        .toString()
                        .trimmed();
                if (name.isEmpty() || !hasOutputColumn(headSql.sql, name)) continue;
                items.prepend(name);
                taxNames.prepend(it->key);
                m_headQorIds.prepend(QString());
            }
        }
        const QString F = items.join(u',');
        QString source = templateSource(headSql.sql, bodySql);
        source += m_leaveOut;
        // Servers refuse a constant in GROUP BY (the '' of an unmapped field): a constant is the same on
        // every row, so leaving it out groups alike.
        QStringList groups;
        for (const QString& item : items)
            if (!isConstantExpression(item)) groups << item;
        QString Q;
        if (isHead) {
            Q = QStringLiteral("select count(*) as RowsCount , ") + F + source;
            if (!groups.isEmpty()) Q += QStringLiteral(" Group by ") + groups.join(u',');
            Q += QStringLiteral(" Order by FbillNo");
        } else {
            // The lines of one invoice keep their order on every server when the template names it.
            // The product number of each line, for the tax-code catalogue, where the template has it.
            const QString number = m_wantItemNumber && hasItemNumberColumn(headSql.sql)
                                       ? QStringLiteral(",FItemNumber as ") + itemNumberColumn()
                                       : QString();
            Q = QStringLiteral("select  FbillNo,") + F + number + source +
                QStringLiteral(" Order by FbillNo") +
                (hasLineOrderColumn(headSql.sql) ? QStringLiteral(",FEntryID") : QString());
        }
        // A red invoice must carry the reference to its blue invoice in the memo.
        Q.replace(QStringLiteral("'' as fmemo"), kRedMemo, Qt::CaseInsensitive);
        out.sql = Q;
        out.params = headSql.params;
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("GetRs"), e);
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

std::unique_ptr<Connection::Cursor> ExportEngine::getRs(ConnectionPtr& acct, const QString& linkId,
                                                        const TemplateQuery& headSql,
                                                        const QString& bodySql) {
    try {
        TemplateQuery q;
        m_leaveOut.clear();
        if (!buildRsQuery(linkId, true, headSql, bodySql, q)) return nullptr;
        // Template formulas are written by users: the export reads through a connection that cannot write.
        if (!acct) acct = m_session.openAcctConnection(Connection::Mode::ReadOnly);
        std::unique_ptr<Connection::Cursor> cursor;
        QVariantList first;
        try {
            const QString source = templateSource(headSql.sql, bodySql);
            m_leaveOut.clear();
            m_validInvoices.clear();
            if (Ledger::exists(*acct)) {
                // A preview only reads: an older ledger is read as the upgrade would leave it.
                const QString ledger = Ledger::readSource(*acct);
                if (m_includeExported)
                    selectValidInvoices(*acct, ledger, source, headSql.params);
                else
                    selectLeftOut(*acct, ledger, source, headSql.params);
                m_leaveOut = leaveOutClause(ledger, m_includeExported);
                if (!buildRsQuery(linkId, true, headSql, bodySql, q)) return nullptr;
            }
            // The lines of all invoices, for the progress the export reports.
            if (m_progress)
                m_totalLines =
                    acct->query(QStringLiteral("select count(*)") + source + m_leaveOut, headSql.params)
                        ->value(0)
                        .toLongLong();
            // The heads are read while the lines are. A server's driver streams one result at a time on a
            // connection, so there the heads come through a second one; an SQLite file reads both on one.
            m_headConnection = acct->dialect().kind == DbKind::SQLite
                                   ? acct
                                   : m_session.openAcctConnection(Connection::Mode::ReadOnly);
            cursor = m_headConnection->openCursor(q.sql, q.params);
            if (!cursor->next(first)) {
                // Everything selected crossed over before: say so, and how many of each.
                // Exporting again, the sales that hold a valid tax invoice are listed first.
                showMsg(m_counts.leftOut == 0 ? QStringLiteral("引出的表头数据为空，引出失败！")
                        : m_includeExported   ? validInvoicesText() + u'\n' + nothingLeftText()
                                              : nothingLeftText());
                return nullptr;
            }
        } catch (const DbError& e) {
            showMsg(QStringLiteral("语法错误，引出失败！"));
            reportCause(QStringLiteral("GetRs"), e);
            return nullptr;
        }
        return std::make_unique<PrefetchedCursor>(std::move(cursor), std::move(first));
    } catch (const std::exception& e) {
        showErr(QStringLiteral("GetRs"), e);
        return nullptr;
    }
}

void ExportEngine::selectLeftOut(Connection& acct, const QString& ledger, const QString& source,
                                 const QVariantList& params) {
    // Left out, and of those the ones that only ever came in from the tax system.
    const RecordsetPtr left = acct.query(
        QStringLiteral(
            "select count(distinct FbillNo), count(distinct case when not exists (select 1 from %1 l "
            "where l.FBillNo=cc.FbillNo and l.FState=0 and l.FDirection=%2) then FbillNo end)")
                .arg(ledger)
                .arg(Ledger::Export) +
            source +
            QStringLiteral(" where exists (select 1 from %1 l where l.FBillNo=cc.FbillNo and l.FState=0)")
                .arg(ledger),
        params);
    m_counts.leftOut = left->value(0).toInt();
    m_counts.leftOutImported = left->value(1).toInt();
    m_leftOutBills.clear();
    if (!m_preview || m_counts.leftOut == 0) return;
    // Why each was left out: imported from the tax system, issued, or exported and not issued yet.
    const RecordsetPtr why = acct.query(
        QStringLiteral("select distinct FbillNo, (select min(l.FDirection) from %1 l where l.FState=0 and "
                       "l.FBillNo=cc.FbillNo) as FDirection, (select count(*) from %1 l where "
                       "l.FBillNo=cc.FbillNo and %2) as FIssued")
                .arg(ledger, validInvoiceRow()) +
            source +
            QStringLiteral(
                " where exists (select 1 from %1 l where l.FState=0 and l.FBillNo=cc.FbillNo) order by "
                "FbillNo")
                .arg(ledger),
        params);
    for (const QVariantList& row : why->allRows()) {
        if (m_leftOutBills.size() >= m_previewLimit) break;
        const QString reason = row.value(1).toInt() == Ledger::Import ? QStringLiteral("由税控系统引入")
                               : row.value(2).toInt() > 0             ? QStringLiteral("已开票")
                                                                      : QStringLiteral("已引出");
        m_leftOutBills.append(LeftOut{nullToText(row.value(0)), reason});
    }
}

void ExportEngine::selectValidInvoices(Connection& acct, const QString& ledger, const QString& source,
                                       const QVariantList& params) {
    // Exported again, a sale goes out once more unless it holds a valid tax invoice: a second one would be
    // issued for it.
    const RecordsetPtr rs = acct.query(
        QStringLiteral(
            "select l.FBillNo, l.FTaxCode, l.FTaxNumber from %1 l where %2 and l.FBillNo in (select "
            "FbillNo")
                .arg(ledger, validInvoiceRow()) +
            source + QStringLiteral(") order by l.FBillNo, l.FDocNo"),
        params);
    for (const QVariantList& row : rs->allRows()) {
        const QString bill = nullToText(row.value(0));
        const QString number = Ledger::numberText(nullToText(row.value(1)), nullToText(row.value(2)));
        if (!m_validInvoices.isEmpty() && m_validInvoices.last().billNo == bill) {
            if (!m_validInvoices.last().numbers.contains(number)) m_validInvoices.last().numbers << number;
        } else {
            m_validInvoices.append({bill, {number}});
        }
    }
    m_counts.leftOut = int(m_validInvoices.size());
    m_counts.leftOutImported = 0;
    m_leftOutBills.clear();
    for (const ValidInvoice& v : std::as_const(m_validInvoices))
        if (m_preview && m_leftOutBills.size() < m_previewLimit)
            m_leftOutBills.append(LeftOut{v.billNo, QStringLiteral("已开票")});
}
