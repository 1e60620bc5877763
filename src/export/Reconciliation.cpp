#include "export/Reconciliation.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Session.h"
#include "common/Values.h"
#include "links/TemplateQuery.h"
#include <QHash>
#include <cmath>

namespace {
std::optional<double> amountOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toDouble();
}

QString money(const std::optional<double>& v) {
    return v ? decimalText(*v, 2) : QString();
}

bool differs(const std::optional<double>& a, const std::optional<double>& b) {
    return a && b && std::fabs(*a - *b) > 0.01 + 1e-9;
}
} // namespace

Reconciliation::Reconciliation(const Session& session) : m_session(session) {}

QStringList Reconciliation::states() {
    return {QStringLiteral("已开票"), QStringLiteral("金额不符"), QStringLiteral("未开票"),
            QStringLiteral("已作废"), QStringLiteral("已红冲"),   QStringLiteral("部分红冲")};
}

QList<ReconcileDocument> Reconciliation::run(const QString& conditions) {
    Connection& acct = m_session.acct();
    if (!Ledger::exists(acct)) return {};
    Ledger::ensure(acct);
    // Fourteen values, as the export filter gives them: the ones left out filter nothing.
    QStringList values = conditions.split(u'|');
    while (values.size() < 14)
        values << QString();
    const TemplateQuery bills =
        filteredTemplateQuery(readTemplate(m_session.config(), QStringLiteral("tbl1")), values.join(u'|'));
    QVariantList params{Ledger::Export, Ledger::Stands, Ledger::Cancelled};
    params.append(bills.params);
    const RecordsetPtr rs = acct.query(
        QStringLiteral(
            "select l.FDocNo, l.FBillNo, l.FState, l.FIssueState, l.FTaxCode, l.FTaxNumber, l.FAmount, "
            "l.FTax, l.FIssuedAmount, l.FIssuedTax, l.FTime from TF_Ledger l where l.FDirection=? and "
            "l.FState in (?, ?) and l.FBillNo in (select FbillNo from (") +
            bills.sql + QStringLiteral(") aa) order by l.FBillNo, l.FDocNo, l.FTime"),
        params);
    // A document is what one export wrote under one 单据号 (its members, for a merged one), with one tax
    // invoice written back onto it.
    QList<ReconcileDocument> out;
    QHash<QString, int> index;
    for (const QVariantList& row : rs->allRows()) {
        const QString docNo = nullToText(row.value(0));
        const QString code = nullToText(row.value(4));
        const QString number = nullToText(row.value(5));
        const int state = row.value(2).toInt();
        const QString key =
            QStringList{docNo, nullToText(row.value(10)), code, number, QString::number(state)}.join(
                QChar(0x1f));
        auto it = index.constFind(key);
        if (it == index.constEnd()) {
            ReconcileDocument d;
            d.docNo = docNo;
            d.number = number.isEmpty() ? QString() : code.isEmpty() ? number : code + u'-' + number;
            d.issued = amountOf(row.value(8));
            d.issuedTax = amountOf(row.value(9));
            const QString issue = nullToText(row.value(3));
            if (state == Ledger::Cancelled)
                d.state = issue.isEmpty() || issue == Ledger::issued() ? Ledger::issueCancelled() : issue;
            else if (number.isEmpty())
                d.state = QStringLiteral("未开票");
            else
                d.state = issue.isEmpty() ? Ledger::issued() : issue;
            d.exported = 0.0;
            d.exportedTax = 0.0;
            it = index.insert(key, int(out.size()));
            out.append(d);
        }
        ReconcileDocument& d = out[*it];
        const std::optional<double> amount = amountOf(row.value(6));
        const std::optional<double> tax = amountOf(row.value(7));
        d.members.append({nullToText(row.value(1)), amount});
        // Exports of older versions did not record the amounts: nothing to compare then.
        d.exported = d.exported && amount ? std::optional<double>(*d.exported + *amount) : std::nullopt;
        d.exportedTax = d.exportedTax && tax ? std::optional<double>(*d.exportedTax + *tax) : std::nullopt;
    }
    for (ReconcileDocument& d : out)
        if (d.state == Ledger::issued() &&
            (differs(d.issued, d.exported) || differs(d.issuedTax, d.exportedTax)))
            d.state = QStringLiteral("金额不符");
    return out;
}

QList<ReconcileTotal> Reconciliation::totals(const QList<ReconcileDocument>& documents) {
    QList<ReconcileTotal> totals;
    for (const QString& state : states()) {
        ReconcileTotal t{state, 0, 0, 0};
        for (const ReconcileDocument& d : documents)
            if (d.state == state) {
                ++t.documents;
                t.exported += d.exported.value_or(0);
                t.issued += d.issued.value_or(0);
            }
        if (t.documents > 0) totals.append(t);
    }
    return totals;
}

QStringList Reconciliation::reportLines(const QList<ReconcileDocument>& documents) {
    QStringList lines;
    for (const ReconcileDocument& d : documents) {
        lines << QStringList{d.docNo, d.state, d.number, money(d.exported), money(d.issued)}.join(u'\t');
        if (d.members.size() > 1)
            for (const ReconcileMember& m : d.members)
                lines << QStringList{QString(), QStringLiteral("成员"), m.billNo, money(m.amount)}.join(
                    u'\t');
    }
    for (const ReconcileTotal& t : totals(documents))
        lines << QStringList{QStringLiteral("合计"), t.state, QStringLiteral("%1张").arg(t.documents),
                             decimalText(t.exported, 2), decimalText(t.issued, 2)}
                     .join(u'\t');
    return lines;
}

QByteArray Reconciliation::csv(const QList<ReconcileDocument>& documents) {
    QString text = QStringLiteral("单据号,状态,发票代码-发票号码,引出不含税金额,开票不含税金额\r\n");
    for (const QString& line : reportLines(documents))
        text += csvLine(line.split(u'\t'));
    return csvFileBytes(text);
}
