// The export methods of clsSaveData: the link and the two templates become one head query (one row per
// invoice) and one body query (one row per invoice line), which feed the file writer.
#include "ExportWriter.h"
#include "common/DbLog.h"
#include "common/modBasic.h"
#include "common/modDefine.h"
#include "common/modFunction.h"
#include "links/clsSaveData.h"
#include <QRegularExpression>

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

const QString kRedMemo =
    QStringLiteral("CASE t1.Frob WHEN -1 THEN '对应正数发票代码1111111111号码11111111' ELSE '' END as fmemo");

} // namespace

QString clsSaveData::GetFilterItem(int i) {
    static const char16_t* const items[] = {
        u"t1.Fdate>=?",   u"t1.Fdate<=?",   u"t1.FBillNo>=?", u"t1.FBillNo<=?", u"t5.FNumber>=?",
        u"t5.FNumber<=?", u"t4.FNumber>=?", u"t4.FNumber<=?", u"t6.FNumber>=?", u"t6.FNumber<=?",
        u"t10.fname>=?",  u"t10.fname<=?",  u"t11.fname>=?",  u"t11.fname<=?"};
    if (i < 0 || i >= int(std::size(items))) return {};
    return QString::fromUtf16(items[i]);
}

bool clsSaveData::BuildRsQuery(const QString& LinkID, bool IsHead, const ExportQuery& HeadSql,
                               const QString& BodySql, ExportQuery& out) {
    try {
        const RecordsetPtr rs = ConfigConnection().Query(
            QStringLiteral(
                "Select b.FFieldName,b.FFieldType,a.FisFormula,a.FQORField from (t_Detail a left join "
                "t_QorField b on a.FQORField=b.FID) Where  a.FBaseInfoID=? and a.FisHead=? Order by a.FID"),
            {LinkID.trimmed().toLongLong(), IsHead});
        if (rs->EOF_()) {
            ShowMsg(IsHead ? QStringLiteral("关联信息表头为空，引出失败！")
                           : QStringLiteral("关联信息表体为空，引出失败！"));
            return false;
        }
        QStringList items;
        for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
            if (!rs->value(QStringLiteral("FisFormula")).toBool())
                items << NullToText(rs->value(QStringLiteral("FFieldName")), QStringLiteral("''"));
            else
                items << SplitItem(NullToText(rs->value(QStringLiteral("FQORField"))), QStringLiteral("|"),
                                   1);
        }
        const QString F = items.join(u',');
        const QString source = QStringLiteral(" from (select * from (") + HeadSql.sql +
                               QStringLiteral(") aa,(") + BodySql + QStringLiteral(") bb) cc");
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
            Q = QStringLiteral("select  FbillNo,") + F + source + QStringLiteral(" Order by FbillNo") +
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

RecordsetPtr clsSaveData::GetRs(ConnectionPtr& acct, const QString& LinkID, const ExportQuery& HeadSql,
                                const QString& BodySql) {
    try {
        ExportQuery q;
        if (!BuildRsQuery(LinkID, true, HeadSql, BodySql, q)) return nullptr;
        // Template formulas are written by users: the export reads through a connection that cannot write.
        if (!acct) acct = OpenAcctConnection(Connection::Mode::ReadOnly);
        RecordsetPtr rs;
        try {
            rs = acct->Query(q.sql, q.params);
        } catch (const DbError& e) {
            ShowMsg(QStringLiteral("语法错误，引出失败！"));
            ReportCause(QStringLiteral("GetRs"), e);
            return nullptr;
        }
        if (rs->EOF_()) {
            ShowMsg(QStringLiteral("引出的表头数据为空，引出失败！"));
            return nullptr;
        }
        return rs;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("GetRs"), e);
        return nullptr;
    }
}

bool clsSaveData::ExportToTxT(const QString& FilePath, const QString& Conditions, const QString& LinkID) {
    try {
        Connection& config = ConfigConnection();
        bool isNumber = false;
        const qlonglong linkNo = LinkID.trimmed().toLongLong(&isNumber);
        const RecordsetPtr link =
            isNumber ? config.Query(QStringLiteral("Select * from t_BaseInfo Where FID=?"), {linkNo})
                     : nullptr;
        if (!link || link->EOF_()) {
            ShowMsg(QStringLiteral("关联不存在，引出失败！"));
            return false;
        }
        const QString Sep = NullToText(link->value(QStringLiteral("FSeperator")));
        const QString InvType = NullToText(link->value(QStringLiteral("FInvioceType")));

        // Each "{filterN}" becomes its condition with the value bound, or 1=1 for an empty value; the rest
        // of the template keeps its case.
        const QString H = NullToText(
            GetFieldValue(&config, QStringLiteral("Select FSQL from t_OtherInfo Where Fkey='tbl1'"), 0));
        const QStringList values = Conditions.isEmpty() ? QStringList() : Conditions.split(u'|');
        static const QRegularExpression placeholder(QStringLiteral("\\{filter(\\d+)\\}"),
                                                    QRegularExpression::CaseInsensitiveOption);
        ExportQuery head;
        qsizetype done = 0;
        for (auto it = placeholder.globalMatch(H); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const int i = m.captured(1).toInt();
            if (QString::number(i) != m.captured(1) || i >= values.size()) continue;
            head.sql += H.mid(done, m.capturedStart() - done);
            done = m.capturedEnd();
            if (values[i].isEmpty()) {
                head.sql += QStringLiteral("1=1");
            } else {
                const QString c = GetFilterItem(i);
                head.sql += c;
                if (c.contains(u'?')) head.params << values[i];
            }
        }
        head.sql += H.mid(done);
        head.sql += InvType == u"0" ? QStringLiteral(" and t9.FID=80") : QStringLiteral(" and t9.FID=86");
        const QString B = NullToText(
            GetFieldValue(&config, QStringLiteral("Select FSQL from t_OtherInfo Where Fkey='tbl2'"), 0));

        ConnectionPtr acct;
        const RecordsetPtr RH = GetRs(acct, LinkID, head, B);
        if (!RH) return false;
        ExportQuery body;
        if (!BuildRsQuery(LinkID, false, head, B, body)) return false;
        const BodyRowSource RB = [&](const std::function<void(const QList<FieldInfo>&)>& onColumns,
                                     const std::function<void(const QVariantList&)>& onRow) {
            // A failure of the query itself, also one that arises while its rows are read, is the failed
            // trial of the body query; failures of the writer pass through as they are.
            bool inWriter = false;
            try {
                acct->ForEachRow(
                    body.sql, body.params,
                    [&](const QList<FieldInfo>& cols) {
                        inWriter = true;
                        onColumns(cols);
                        inWriter = false;
                    },
                    [&](const QVariantList& row) {
                        inWriter = true;
                        onRow(row);
                        inWriter = false;
                    });
            } catch (const DbError& e) {
                if (!inWriter) throw ExportRefused{QStringLiteral("语法错误，引出失败！"), e};
                throw;
            }
        };
        return WriteToTxT(FilePath, *RH, RB, Sep);
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("ExportToTxT"), e);
        return false;
    }
}
