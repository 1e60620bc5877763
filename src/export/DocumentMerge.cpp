#include "export/DocumentMerge.h"

#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Messages.h"
#include "common/Values.h"
#include <QMap>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace {
// The tax system's longest 单据号.
constexpr int kDocNoBytes = 20;

int gbkBytes(const QString& text) {
    QByteArray bytes;
    return encodeGbk(text, bytes) ? int(bytes.size()) : int(text.toUtf8().size());
}

int fieldIndex(const QList<FieldInfo>& fields, const QString& name) {
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QString text(const QVariantList& row, int column) {
    if (column < 0) return {};
    const QVariant v = row.value(column);
    if (!v.isValid() || v.isNull()) return {};
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) return numberText(v.toDouble());
    return v.toString();
}

double number(const QVariantList& row, int column) {
    return column < 0 ? 0.0 : leadingNumber(text(row, column));
}
} // namespace

QString mergedDocNo(const QString& smallestBill, int otherMembers, int pieceSuffixBytes,
                    const std::function<bool(const QString&)>& taken) {
    const QString tail = u'+' + QString::number(otherMembers);
    for (int attempt = 1;; ++attempt) {
        const QString again = attempt == 1 ? QString() : QStringLiteral("(%1)").arg(attempt);
        QString bill = smallestBill;
        while (!bill.isEmpty() && gbkBytes(bill + tail + again) + pieceSuffixBytes > kDocNoBytes)
            bill.remove(0, 1);
        const QString docNo = bill + tail + again;
        if (!taken || !taken(docNo)) return docNo;
    }
}

MergedDocuments::MergedDocuments(Connection::Cursor& head, const BodyRowSource& body,
                                 const MergeSettings& s) {
    // Every head and line of the selection: a buyer's invoices may lie anywhere in it.
    const QList<FieldInfo> headFields = head.fields();
    const int headBill = fieldIndex(headFields, QStringLiteral("FbillNo"));
    const int rowsCount = fieldIndex(headFields, QStringLiteral("RowsCount"));
    if (headBill < 0)
        throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: FbillNo"));
    QList<QVariantList> heads;
    QHash<QString, int> headOf; // the first head row of each invoice
    for (QVariantList row; head.next(row);) {
        const QString bill = text(row, headBill);
        if (!headOf.contains(bill)) headOf.insert(bill, int(heads.size()));
        heads.append(row);
    }
    int bodyBill = -1;
    QHash<QString, QList<QVariantList>> linesOf;
    QStringList bodyOrder; // invoices in the order their lines came
    body(
        [&](const QList<FieldInfo>& cols) {
            m_bodyFields = cols;
            bodyBill = fieldIndex(cols, QStringLiteral("FbillNo"));
            if (bodyBill < 0)
                throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: FbillNo"));
        },
        [&](const QVariantList& row) {
            const QString bill = text(row, bodyBill);
            auto it = linesOf.find(bill);
            if (it == linesOf.end()) {
                bodyOrder << bill;
                it = linesOf.insert(bill, {});
            }
            it->append(row);
        });

    // The groups: one buyer (name and tax number) and one kind of invoice; a red invoice names its own
    // blue one in 备注 and is never merged.
    auto redInvoice = [&](const QString& bill) {
        if (s.bodyAmount < 0) return false;
        qint64 sum = 0;
        for (const QVariantList& line : linesOf.value(bill))
            sum += centsOf(number(line, s.bodyAmount));
        return sum < 0;
    };
    QMap<QString, QStringList> groups; // by buyer, the members in bill order
    QHash<QString, QString> groupOf;
    if (s.headCustomer >= 0)
        for (const QString& bill : bodyOrder) {
            if (!headOf.contains(bill) || redInvoice(bill)) continue;
            const QVariantList& h = heads[headOf.value(bill)];
            if (text(h, s.headCustomer).trimmed().isEmpty()) continue;
            const QString key = QStringList{text(h, s.headCustomer).trimmed(),
                                            text(h, s.headTaxNumber).trimmed(), text(h, s.headKind).trimmed()}
                                    .join(QChar(0x1f));
            groups[key].append(bill);
            groupOf.insert(bill, key);
        }
    for (QStringList& members : groups)
        std::sort(members.begin(), members.end());

    QList<QVariantList> outHeads;
    QSet<QString> written;
    QSet<QString> headsWritten;
    auto writeAlone = [&](const QString& bill) {
        for (const QVariantList& line : linesOf.value(bill))
            m_lines.append(line);
        written.insert(bill);
    };
    // Documents in the order of their first invoice; heads without lines stay where they were.
    for (int h = 0; h < heads.size(); ++h) {
        const QString bill = text(heads[h], headBill);
        if (written.contains(bill)) continue;
        const QStringList members = groups.value(groupOf.value(bill));
        if (members.size() < 2 || !groupOf.contains(bill)) {
            outHeads.append(heads[h]);
            // Every head row of the invoice is written before its lines (as the queries deliver them).
            if (h + 1 < heads.size() && text(heads[h + 1], headBill) == bill) continue;
            writeAlone(bill);
            continue;
        }
        // A merged document: the head of its smallest member, its own 单据号 and the members' 备注.
        const QString docNo = mergedDocNo(
            members.first(), int(members.size()) - 1, s.pieceSuffixBytes, [&](const QString& candidate) {
                return headOf.contains(candidate) || m_shares.contains(candidate) ||
                       (s.docNoTaken && s.docNoTaken(candidate));
            });
        QVariantList merged = heads[headOf.value(members.first())];
        merged[headBill] = docNo;
        if (s.headDocNo >= 0) merged[s.headDocNo] = docNo;
        if (s.headRemark >= 0) {
            QStringList remarks;
            for (const QString& m : members) {
                const QString r = text(heads[headOf.value(m)], s.headRemark).trimmed();
                if (!r.isEmpty() && !remarks.contains(r)) remarks << r;
            }
            const QString remark = remarks.join(QStringLiteral("；"));
            const int size = s.remarkLimitInBytes ? gbkBytes(remark) : int(remark.size());
            if (s.remarkLimit > 0 && size > s.remarkLimit)
                throw ExportRefused(
                    QStringLiteral("合并后的单据“%1”（%2）的备注有%3%4，超过了%5%4的限制，引出失败！")
                        .arg(docNo, members.join(u','))
                        .arg(size)
                        .arg(s.remarkLimitInBytes ? QStringLiteral("字节") : QStringLiteral("个字"))
                        .arg(s.remarkLimit));
            merged[s.headRemark] = remark;
        }
        // The lines: each member's in bill order; alike lines as one where asked.
        QList<QVariantList> lines;
        QList<QList<Share>> shares;
        QHash<QString, int> alike; // line key -> index in lines
        for (const QString& m : members) {
            for (QVariantList line : linesOf.value(m)) {
                const double amount = number(line, s.bodyAmount), tax = number(line, s.bodyTax);
                line[bodyBill] = docNo;
                const bool discounted = s.bodyDiscount >= 0 && number(line, s.bodyDiscount) != 0;
                QString key;
                if (s.mergeLines && !discounted) {
                    QStringList parts;
                    for (int c :
                         {s.bodyItemNumber, s.bodyName, s.bodySpec, s.bodyUnit, s.bodyPrice, s.bodyRate})
                        parts << text(line, c).trimmed();
                    key = parts.join(QChar(0x1f));
                }
                const auto found = key.isEmpty() ? alike.constEnd() : alike.constFind(key);
                if (found != alike.constEnd()) {
                    // Quantity, amount and tax are added in cents; the tax is not computed again.
                    QVariantList& into = lines[*found];
                    if (s.bodyQuantity >= 0)
                        into[s.bodyQuantity] =
                            round15(number(into, s.bodyQuantity) + number(line, s.bodyQuantity));
                    if (s.bodyAmount >= 0)
                        into[s.bodyAmount] =
                            amountOfCents(centsOf(number(into, s.bodyAmount)) + centsOf(amount));
                    if (s.bodyTax >= 0)
                        into[s.bodyTax] = amountOfCents(centsOf(number(into, s.bodyTax)) + centsOf(tax));
                    shares[*found].append(Share{m, amount, tax});
                    continue;
                }
                if (!key.isEmpty()) alike.insert(key, int(lines.size()));
                lines.append(line);
                shares.append({Share{m, amount, tax}});
            }
            written.insert(m);
        }
        if (rowsCount >= 0) merged[rowsCount] = int(lines.size());
        outHeads.append(merged);
        m_lines.append(lines);
        m_shares.insert(docNo, shares);
        ++m_merged;
        m_members += int(members.size());
    }
    // Lines whose invoice has no head go last, where the writer says so.
    for (const QString& bill : bodyOrder)
        if (!written.contains(bill)) writeAlone(bill);
    m_heads = Recordset(headFields, outHeads);
    m_headCursor = cursorOf(m_heads);
}

MergedDocuments::~MergedDocuments() = default;

Connection::Cursor& MergedDocuments::heads() {
    return *m_headCursor;
}

BodyRowSource MergedDocuments::lines() const {
    return [this](const std::function<void(const QList<FieldInfo>&)>& onColumns,
                  const std::function<void(const QVariantList&)>& onRow) {
        onColumns(m_bodyFields);
        for (const QVariantList& row : m_lines)
            onRow(row);
    };
}

QList<ExportMember> MergedDocuments::members(const QString& docKey, const QList<int>& lineIndexes) const {
    const auto found = m_shares.constFind(docKey);
    if (found == m_shares.constEnd()) return {};
    QMap<QString, std::pair<qint64, qint64>> cents; // in bill order
    for (int i : lineIndexes)
        for (const Share& s : found->value(i)) {
            auto& c = cents[s.billNo];
            c.first += centsOf(s.amount);
            c.second += centsOf(s.tax);
        }
    QList<ExportMember> out;
    for (auto it = cents.constBegin(); it != cents.constEnd(); ++it)
        out.append(ExportMember{it.key(), amountOfCents(it->first), amountOfCents(it->second)});
    return out;
}
