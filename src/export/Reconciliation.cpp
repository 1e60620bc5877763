#include "export/Reconciliation.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Session.h"
#include "common/Values.h"
#include "links/TemplateQuery.h"
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
std::optional<double> amountOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toDouble();
}

QString money(const std::optional<double>& v) {
    return v ? decimalText(*v, 2) : QString();
}

// A cent either way is the tax system's rounding of a line, not another amount.
bool differs(const std::optional<double>& a, const std::optional<double>& b) {
    return a && b && std::llabs(centsOf(*a) - centsOf(*b)) > 1;
}

std::optional<double> plus(const std::optional<double>& sum, const std::optional<double>& v) {
    if (!sum || !v) return std::nullopt;
    return amountOfCents(centsOf(*sum) + centsOf(*v));
}
} // namespace

Reconciliation::Reconciliation(const Session& session) : m_session(session) {}

QStringList Reconciliation::states() {
    return {QStringLiteral("已开票"), QStringLiteral("金额不符"), QStringLiteral("未开票"),
            QStringLiteral("已作废"), QStringLiteral("已红冲"),   QStringLiteral("部分红冲"),
            Ledger::issueRefused()};
}

QString ReconcileDocument::note() const {
    QStringList parts;
    if (!reason.isEmpty()) parts << reason;
    if (!confirmNo.isEmpty()) parts << QStringLiteral("红字发票信息确认单编号：") + confirmNo;
    return parts.join(QStringLiteral("；"));
}

QList<ReconcileDocument> Reconciliation::run(const QString& conditions) {
    QList<ReconcileDocument> out;
    forEachDocument(conditions, [&out](const ReconcileDocument& d) { out.append(d); });
    return out;
}

void Reconciliation::forEachDocument(const QString& conditions,
                                     const std::function<void(const ReconcileDocument&)>& visit) {
    Connection& acct = m_session.acct();
    if (!Ledger::exists(acct)) return;
    // A reconciliation only reads: an older ledger is read as the upgrade would leave it, not upgraded.
    const QString ledger = Ledger::readSource(acct);
    // Fourteen values, as the export filter gives them: the ones left out filter nothing.
    QStringList values = conditions.split(u'|');
    while (values.size() < 14)
        values << QString();
    const TemplateQuery bills =
        filteredTemplateQuery(readTemplate(m_session.config(), QStringLiteral("tbl1")), values.join(u'|'));
    // A document is shown whole, every member of it, when the filter selects any of them: first the
    // exports (单据号 and time) of the selected sales invoices, then the ledger's rows, kept when their
    // export is one of those. Two plain reads: a test of each row against the others was planned as a
    // scan per row on a ledger whose statistics were gathered before it held any 单据号.
    const auto exportKey = [](const QVariant& docNo, const QVariant& time) {
        return (nullToText(docNo) + QChar(0x1f) + nullToText(time)).toUtf8();
    };
    QSet<QByteArray> selected;
    QVariantList keyParams{Ledger::Export};
    keyParams.append(bills.params);
    acct.forEachRow(QStringLiteral("select m.FDocNo, m.FTime from %1 m where m.FDirection=? and m.FBillNo in "
                                   "(select FbillNo from (")
                            .arg(ledger) +
                        bills.sql + QStringLiteral(") aa)"),
                    keyParams, nullptr,
                    [&](const QVariantList& row) { selected.insert(exportKey(row.value(0), row.value(1))); });
    // A document is what one export wrote under one 单据号 (its members, for a merged one), with one tax
    // invoice written back onto it. Its rows come one after another, the documents in the order of their
    // first member's bill number and the members in theirs, so that each is done when the next begins.
    // Each document's first bill number comes from the documents grouped once and joined to their rows
    // (a window over the rows had SQLite sort them all twice over).
    const QString sql =
        QStringLiteral(
            "select l.FDocNo, l.FBillNo, l.FState, l.FIssueState, l.FTaxCode, l.FTaxNumber, l.FAmount, "
            "l.FTax, l.FIssuedAmount, l.FIssuedTax, l.FTime, l.FIssueReason, l.FRedConfirmNo, g.FFirst "
            "from %1 l join (select coalesce(FDocNo,'') as k1, coalesce(FTime,'') as k2, "
            "coalesce(FTaxCode,'') as k3, coalesce(FTaxNumber,'') as k4, FState as k5, min(FBillNo) as "
            "FFirst from %1 d where FDirection=? and FState in (?, ?) group by coalesce(FDocNo,''), "
            "coalesce(FTime,''), coalesce(FTaxCode,''), coalesce(FTaxNumber,''), FState) g on "
            "g.k1=coalesce(l.FDocNo,'') and g.k2=coalesce(l.FTime,'') and g.k3=coalesce(l.FTaxCode,'') and "
            "g.k4=coalesce(l.FTaxNumber,'') and g.k5=l.FState where l.FDirection=? and l.FState in (?, ?) "
            "order by g.FFirst, g.k1, g.k2, g.k3, g.k4, g.k5, l.FBillNo")
            .arg(ledger);
    ReconcileDocument d;
    QString key;
    const auto finish = [&]() {
        if (key.isNull()) return;
        if (d.state == Ledger::issued() &&
            (differs(d.issued, d.exported) || differs(d.issuedTax, d.exportedTax)))
            d.state = QStringLiteral("金额不符");
        visit(d);
    };
    acct.forEachRow(
        sql,
        {Ledger::Export, Ledger::Stands, Ledger::Cancelled, Ledger::Export, Ledger::Stands,
         Ledger::Cancelled},
        nullptr, [&](const QVariantList& row) {
            if (!selected.contains(exportKey(row.value(0), row.value(10)))) return;
            const QString docNo = nullToText(row.value(0));
            const QString code = nullToText(row.value(4));
            const QString number = nullToText(row.value(5));
            const int state = row.value(2).toInt();
            const QString rowKey =
                QStringList{docNo, nullToText(row.value(10)), code, number, QString::number(state)}.join(
                    QChar(0x1f));
            if (rowKey != key) {
                finish();
                key = rowKey;
                d = ReconcileDocument();
                d.docNo = docNo;
                d.number = number.isEmpty() ? QString() : Ledger::numberText(code, number);
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
            }
            if (d.reason.isEmpty() && d.state == Ledger::issueRefused()) d.reason = nullToText(row.value(11));
            if (d.confirmNo.isEmpty()) d.confirmNo = nullToText(row.value(12));
            const std::optional<double> amount = amountOf(row.value(6));
            const std::optional<double> tax = amountOf(row.value(7));
            d.members.append({nullToText(row.value(1)), amount});
            // Exports of older versions did not record the amounts: nothing to compare then.
            d.exported = plus(d.exported, amount);
            d.exportedTax = plus(d.exportedTax, tax);
        });
    finish();
}

void Reconciliation::Totals::add(const ReconcileDocument& d) {
    const qsizetype i = states().indexOf(d.state);
    if (i < 0) return;
    Sum& s = m_sums[i];
    ++s.documents;
    s.exported += centsOf(d.exported.value_or(0));
    s.issued += centsOf(d.issued.value_or(0));
}

QList<ReconcileTotal> Reconciliation::Totals::list() const {
    QList<ReconcileTotal> out;
    const QStringList names = states();
    for (qsizetype i = 0; i < names.size(); ++i)
        if (m_sums[i].documents > 0)
            out.append({names[i], m_sums[i].documents, amountOfCents(m_sums[i].exported),
                        amountOfCents(m_sums[i].issued)});
    return out;
}

QList<ReconcileTotal> Reconciliation::totals(const QList<ReconcileDocument>& documents) {
    Totals t;
    for (const ReconcileDocument& d : documents)
        t.add(d);
    return t.list();
}

QStringList Reconciliation::documentLines(const ReconcileDocument& d) {
    QStringList fields{d.docNo, d.state, d.number, money(d.exported), money(d.issued)};
    if (!d.note().isEmpty()) fields << d.note();
    QStringList lines{fields.join(u'\t')};
    if (d.members.size() > 1)
        for (const ReconcileMember& m : d.members)
            lines << QStringList{QString(), QStringLiteral("成员"), m.billNo, money(m.amount)}.join(u'\t');
    return lines;
}

QStringList Reconciliation::totalLines(const QList<ReconcileTotal>& totals) {
    QStringList lines;
    for (const ReconcileTotal& t : totals)
        lines << QStringList{QStringLiteral("合计"), t.state, QStringLiteral("%1张").arg(t.documents),
                             decimalText(t.exported, 2), decimalText(t.issued, 2)}
                     .join(u'\t');
    return lines;
}

QStringList Reconciliation::reportLines(const QList<ReconcileDocument>& documents) {
    QStringList lines;
    for (const ReconcileDocument& d : documents)
        lines << documentLines(d);
    return lines << totalLines(totals(documents));
}

QByteArray Reconciliation::csv(const QList<ReconcileDocument>& documents) {
    QString text = QStringLiteral("单据号,状态,发票代码-发票号码,引出不含税金额,开票不含税金额");
    // The notes' column only where a document has one: the report of a set without them stays as it was.
    if (std::any_of(documents.begin(), documents.end(), [](const auto& d) { return !d.note().isEmpty(); }))
        text += QStringLiteral(",说明");
    text += QStringLiteral("\r\n");
    for (const QString& line : reportLines(documents))
        text += csvLine(line.split(u'\t'));
    return csvFileBytes(text);
}
