#include "import/PlatformList.h"

#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "import/IssuedWriteBack.h"
#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <cmath>

namespace {
// The headings the list is found by, and the columns read.
enum Column {
    BuyerName,
    Digital,
    Number,
    Code,
    SellerTaxNo,
    BuyerTaxNo,
    Date,
    Amount,
    Tax,
    Kind,
    State,
    Positive,
    Remark,
    ColumnCount
};
const char16_t* const kHeadings[ColumnCount] = {
    u"购买方名称", u"数电发票号码", u"发票号码", u"发票代码", u"销方识别号",   u"购方识别号", u"开票日期",
    u"金额",       u"税额",         u"发票票种", u"发票状态", u"是否正数发票", u"备注"};

// A heading as the cell holds it: without blanks, line breaks or the asterisk of a required column.
QString headingOf(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (!c.isSpace() && c != u'*') out += c;
    return out;
}

[[noreturn]] void refuse(const QString& text) {
    throw DbError(ErrNo::General, text);
}

QString notTheList(const char16_t* heading) {
    return QStringLiteral("不是平台导出的发票清单：找不到列“%1”").arg(QString::fromUtf16(heading));
}

// Money as a text or a number cell, with or without grouping; the asterisks of a tax-free line are 0.
double money(const XlsxRow& row, int column, const char16_t* heading) {
    QString text = row.text(column).trimmed();
    text.remove(u',').remove(u'¥').remove(u'￥');
    if (text.isEmpty() || text.count(u'*') == text.size()) return 0;
    double value = 0;
    if (!strictNumber(text, value))
        refuse(QStringLiteral("发票清单第%1行的%2“%3”不是数字。")
                   .arg(row.number)
                   .arg(QString::fromUtf16(heading), row.text(column)));
    return value;
}

// 开票日期: a date cell, a text yyyy-MM-dd (with or without a time, or with slashes), or a bare day
// number where the cell lost its date format.
QString dateText(const XlsxRow& row, int column) {
    const XlsxCell* cell = row.cell(column);
    if (!cell) return QString();
    QDate date;
    if (cell->date)
        date = cell->dateTime.date();
    else if (cell->number)
        date = QDate(1899, 12, 30).addDays(qint64(std::floor(cell->text.toDouble())));
    else {
        QString text = cell->text.trimmed().left(10);
        text.replace(u'/', u'-');
        date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) date = QDate::fromString(text, QStringLiteral("yyyy-M-d"));
    }
    if (!date.isValid())
        refuse(QStringLiteral("发票清单第%1行的开票日期“%2”不是日期。").arg(row.number).arg(cell->text));
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QList<PlatformInvoice> readList(XlsxReader& reader) {
    bool sawBuyer = false;
    for (const XlsxSheet& sheet : reader.sheets()) {
        if (sheet.hidden) continue;
        const QList<XlsxRow> rows = reader.rows(sheet);
        qsizetype heading = -1;
        int columns[ColumnCount];
        for (qsizetype r = 0; r < rows.size() && heading < 0; ++r) {
            std::fill(std::begin(columns), std::end(columns), -1);
            for (const XlsxCell& cell : rows[r].cells) {
                const QString h = headingOf(cell.text);
                for (int c = 0; c < ColumnCount; ++c)
                    if (columns[c] < 0 && h == QString::fromUtf16(kHeadings[c])) columns[c] = cell.column;
            }
            if (columns[BuyerName] >= 0) sawBuyer = true;
            if (columns[BuyerName] >= 0 && (columns[Digital] >= 0 || columns[Number] >= 0)) heading = r;
        }
        if (heading < 0) continue;
        for (const Column c : {Date, Amount, Tax})
            if (columns[c] < 0) refuse(notTheList(kHeadings[c]));
        QList<PlatformInvoice> out;
        for (qsizetype r = heading + 1; r < rows.size(); ++r) {
            const XlsxRow& row = rows[r];
            auto text = [&](Column c) { return columns[c] < 0 ? QString() : row.text(columns[c]).trimmed(); };
            PlatformInvoice inv;
            inv.row = row.number;
            inv.digitalNumber = text(Digital);
            inv.code = text(Code);
            inv.number = text(Number);
            // A number cell lost the leading zeros of an eight-digit 发票号码.
            if (columns[Number] >= 0 && row.cell(columns[Number]) && row.cell(columns[Number])->number &&
                !inv.number.isEmpty() && inv.number.size() < 8)
                inv.number = inv.number.rightJustified(8, u'0');
            // A row without any number is no invoice (a totals line under the list).
            if (inv.digitalNumber.isEmpty() && inv.number.isEmpty()) continue;
            inv.sellerTaxNo = text(SellerTaxNo);
            inv.buyerTaxNo = text(BuyerTaxNo);
            inv.buyerName = text(BuyerName);
            inv.date = dateText(row, columns[Date]);
            inv.amount = money(row, columns[Amount], kHeadings[Amount]);
            inv.tax = money(row, columns[Tax], kHeadings[Tax]);
            inv.kind = text(Kind);
            inv.state = text(State);
            inv.remark = columns[Remark] < 0 ? QString() : row.text(columns[Remark]);
            inv.red = text(Positive) == u"否" || inv.amount < 0;
            out.append(inv);
        }
        return out;
    }
    refuse(notTheList(sawBuyer ? kHeadings[Digital] : kHeadings[BuyerName]));
}

XlsxCaps listCaps() {
    XlsxCaps caps;
    caps.maxRows = 100000;
    caps.maxColumns = 256;
    // A hundred thousand rows of eighteen columns, their texts written inline.
    caps.maxPartSize = 256 * 1024 * 1024;
    return caps;
}

qint64 centsOf(double v) {
    return std::llround(round15(v) * 100);
}

QString moneyText(double v) {
    return decimalText(v, 2);
}

// What the 发票状态 says about a blue invoice.
enum class Flush { None, Partly, Wholly, Cancelled };
Flush flushOf(const QString& state) {
    if (state.contains(u"作废")) return Flush::Cancelled;
    if (!state.contains(u"红冲")) return Flush::None;
    return state.contains(u"部分") ? Flush::Partly : Flush::Wholly;
}

QStringList invoiceFields(const PlatformWriteBackResult::Unmatched& u) {
    return {u.invoice.numberText(), u.invoice.buyerName, moneyText(u.invoice.amount),
            moneyText(u.invoice.tax)};
}

// A document exported and not issued yet: its rows summed up.
struct OpenDocument {
    double amount = 0, tax = 0;
    bool amountsKnown = true;
    QString buyerTaxNo, buyerName;
};

// A tax invoice the ledger holds already.
struct WrittenInvoice {
    QString code, number, issueState;
    double issuedAmount = 0;
    bool stands = false; // on export rows that stand (its state can still change)
};
} // namespace

QString PlatformInvoice::numberText() const {
    if (!digitalNumber.isEmpty()) return digitalNumber;
    return code.isEmpty() ? number : code + u'-' + number;
}

QList<PlatformInvoice> readPlatformList(const QString& path) {
    XlsxReader reader(path, listCaps());
    return readList(reader);
}

QList<PlatformInvoice> readPlatformList(const QByteArray& bytes, const QString& displayName) {
    XlsxReader reader(bytes, displayName, listCaps());
    return readList(reader);
}

QStringList PlatformWriteBackResult::lines() const {
    QStringList out;
    // Read again: what it lists was written back before (what matched nothing is still said below).
    if (written == 0 && flushed == 0 && partlyFlushed == 0 && already > 0)
        out << QStringLiteral("清单中的%1张发票都已回写过。").arg(already);
    else
        out << QStringLiteral("回写数电发票%1张（按单据号%2张，按购方和金额%3张），红冲%4张。")
                   .arg(written)
                   .arg(byDocNo)
                   .arg(byBuyer)
                   .arg(flushed);
    if (otherSeller > 0)
        out << QStringLiteral("%1张发票的销方识别号不是本账套的税号，未处理。").arg(otherSeller);
    if (!notFound.isEmpty()) {
        out << QStringLiteral("%1张发票未找到引出的单据：").arg(notFound.size());
        for (const Unmatched& u : notFound)
            out << invoiceFields(u).join(u'\t');
    }
    if (!ambiguous.isEmpty()) {
        out << QStringLiteral("%1张发票有多张候选单据，未回写：").arg(ambiguous.size());
        for (const Unmatched& u : ambiguous)
            out << (invoiceFields(u) << u.candidates.join(u',')).join(u'\t');
    }
    return out;
}

QByteArray PlatformWriteBackResult::csv() const {
    QString text = QStringLiteral("结果,数电发票号码,购买方名称,金额,税额,候选单据\r\n");
    auto add = [&text](const QString& what, const Unmatched& u) {
        text += csvLine(QStringList{what} + invoiceFields(u) << u.candidates.join(u','));
    };
    for (const Unmatched& u : notFound)
        add(QStringLiteral("未找到引出的单据"), u);
    for (const Unmatched& u : ambiguous)
        add(QStringLiteral("有多张候选单据"), u);
    return csvFileBytes(text);
}

PlatformWriteBack::PlatformWriteBack(const Session& session) : m_session(session) {}

bool PlatformWriteBack::run(const QString& path, bool preview) {
    m_result = {};
    QList<PlatformInvoice> invoices;
    try {
        invoices = readPlatformList(path);
    } catch (const DbError& e) {
        showMsg(e.description());
        return false;
    }
    return apply(invoices, preview);
}

bool PlatformWriteBack::apply(const QList<PlatformInvoice>& invoices, bool preview) {
    m_result = {};
    PlatformWriteBackResult& res = m_result;
    try {
        Connection& acct = m_session.acct();
        // The set's own tax number, where its profile has one.
        QString own;
        try {
            const RecordsetPtr rs = acct.query(QStringLiteral(
                "select FValue from t_SystemProfile where FCategory='Base' and FKey='TaxNumber'"));
            if (!rs->atEnd()) own = nullToText(rs->value(0)).trimmed();
        } catch (const DbError&) {
            // A set without a profile: every row counts as its own.
        }
        const bool ledger = Ledger::exists(acct);
        if (ledger) Ledger::ensure(acct);
        IssuedWriteBack writeBack(acct, m_session.config());
        writeBack.begin();
        TransactionGuard tx(acct);

        QHash<QString, WrittenInvoice> written; // by number text
        QHash<QString, OpenDocument> open;      // by 单据号
        QHash<QString, QStringList> byKey;      // buyer and amounts → 单据号
        if (ledger) {
            const RecordsetPtr done = acct.query(
                QStringLiteral("select FTaxCode, FTaxNumber, FState, FIssueState, FIssuedAmount from "
                               "TF_Ledger where FDirection=? and FTaxNumber is not null and FTaxNumber<>''"),
                {Ledger::Export});
            for (const QVariantList& row : done->allRows()) {
                const QString code = nullToText(row.value(0));
                const QString number = nullToText(row.value(1));
                WrittenInvoice& w = written[code.isEmpty() ? number : code + u'-' + number];
                w.code = code;
                w.number = number;
                if (row.value(2).toInt() == Ledger::Stands || w.issueState.isEmpty()) {
                    w.issueState = nullToText(row.value(3));
                    w.issuedAmount = row.value(4).toDouble();
                }
                if (row.value(2).toInt() == Ledger::Stands) w.stands = true;
            }
            const RecordsetPtr docs = acct.query(
                QStringLiteral(
                    "select l.FDocNo, l.FAmount, l.FTax, o.FTaxNum, o.FName from TF_Ledger l left join "
                    "ICSale s on s.FInterID=l.FInterID left join t_Organization o on o.FItemID=s.FCustID "
                    "where l.FDirection=? and l.FState=? and (l.FTaxNumber is null or l.FTaxNumber='') "
                    "order by l.FDocNo"),
                {Ledger::Export, Ledger::Stands});
            for (const QVariantList& row : docs->allRows()) {
                const QString docNo = nullToText(row.value(0));
                if (docNo.isEmpty()) continue;
                OpenDocument& d = open[docNo];
                if (row.value(1).isNull() || row.value(2).isNull()) d.amountsKnown = false;
                d.amount += row.value(1).toDouble();
                d.tax += row.value(2).toDouble();
                if (d.buyerName.isEmpty()) {
                    d.buyerTaxNo = nullToText(row.value(3)).trimmed().toUpper();
                    d.buyerName = nullToText(row.value(4)).trimmed();
                }
            }
        }
        auto amountsKey = [](double amount, double tax) {
            return QStringLiteral("|%1|%2").arg(centsOf(amount)).arg(centsOf(tax));
        };
        for (auto it = open.cbegin(); it != open.cend(); ++it) {
            if (!it->amountsKnown) continue;
            const QString amounts = amountsKey(it->amount, it->tax);
            if (!it->buyerTaxNo.isEmpty()) byKey[u'T' + it->buyerTaxNo + amounts] << it.key();
            if (!it->buyerName.isEmpty()) byKey[u'N' + it->buyerName + amounts] << it.key();
        }
        for (QStringList& docNos : byKey)
            docNos.sort();
        auto close = [&](const QString& docNo) {
            const OpenDocument d = open.take(docNo);
            const QString amounts = amountsKey(d.amount, d.tax);
            byKey[u'T' + d.buyerTaxNo + amounts].removeAll(docNo);
            byKey[u'N' + d.buyerName + amounts].removeAll(docNo);
        };
        // A written-back invoice found flushed or cancelled; false when the ledger says so already.
        auto setState = [&](WrittenInvoice& w, Flush flush) {
            if (flush == Flush::None || !w.stands) return false;
            const QString state = flush == Flush::Cancelled ? Ledger::issueCancelled()
                                  : flush == Flush::Wholly  ? Ledger::issueFlushed()
                                                            : Ledger::issuePartlyFlushed();
            if (w.issueState == state) return false;
            const bool exportable = flush != Flush::Partly;
            writeBack.markIssueState(w.code, w.number, state, exportable);
            w.issueState = state;
            w.stands = !exportable;
            ++(exportable ? res.flushed : res.partlyFlushed);
            return true;
        };
        // The blue invoice a red one flushes, where the platform wrote its number into 备注.
        static const QRegularExpression digital(QStringLiteral("(?<!\\d)\\d{20}(?!\\d)"));
        static const QRegularExpression coded(QStringLiteral("发票代码\\s*(\\d{10,12})\\s*号码\\s*(\\d{8})"));
        auto flushedBlue = [&](const PlatformInvoice& red) -> WrittenInvoice* {
            QStringList numbers;
            for (const QRegularExpressionMatch& m : digital.globalMatch(red.remark))
                numbers << m.captured(0);
            for (const QRegularExpressionMatch& m : coded.globalMatch(red.remark))
                numbers << m.captured(1) + u'-' + m.captured(2);
            for (const QString& n : numbers) {
                auto it = written.find(n);
                if (it != written.end() && n != red.numberText()) return &*it;
            }
            return nullptr;
        };
        auto flushBy = [&](const PlatformInvoice& red, WrittenInvoice& blue) {
            const bool whole = centsOf(std::fabs(red.amount)) >= centsOf(std::fabs(blue.issuedAmount));
            return setState(blue, whole ? Flush::Wholly : Flush::Partly);
        };

        for (const PlatformInvoice& inv : invoices) {
            if (!own.isEmpty() && !inv.sellerTaxNo.isEmpty() &&
                inv.sellerTaxNo.compare(own, Qt::CaseInsensitive) != 0) {
                ++res.otherSeller;
                continue;
            }
            const QString numberText = inv.numberText();
            auto known = written.find(numberText);
            if (known != written.end()) {
                if (inv.red || !setState(*known, flushOf(inv.state))) ++res.already;
                continue;
            }
            // 1. 备注 begins with the 单据号.
            qsizetype end = 0;
            while (end < inv.remark.size() && !inv.remark.at(end).isSpace())
                ++end;
            QString docNo = inv.remark.left(end);
            const bool byRemark = !docNo.isEmpty() && open.contains(docNo);
            QStringList candidates;
            if (!byRemark) {
                // 2. The buyer and the amounts.
                const QString buyer =
                    inv.buyerTaxNo.isEmpty() ? u'N' + inv.buyerName : u'T' + inv.buyerTaxNo.toUpper();
                candidates = byKey.value(buyer + amountsKey(inv.amount, inv.tax));
                docNo = candidates.size() == 1 ? candidates.first() : QString();
            }
            WrittenInvoice* blue = inv.red ? flushedBlue(inv) : nullptr;
            if (docNo.isEmpty()) {
                if (blue) {
                    if (!flushBy(inv, *blue)) ++res.already;
                } else if (candidates.size() > 1) {
                    res.ambiguous.append({inv, candidates});
                } else {
                    res.notFound.append({inv, {}});
                }
                continue;
            }
            IssuedInvoice issued;
            issued.kind = inv.kind.contains(u"专用") ? QStringLiteral("0") : QStringLiteral("2");
            issued.code = inv.digitalNumber.isEmpty() ? inv.code : QString();
            issued.number = inv.digitalNumber.isEmpty() ? inv.number : inv.digitalNumber;
            issued.docNo = docNo;
            issued.date = inv.date;
            issued.amount = inv.amount;
            issued.tax = inv.tax;
            QString notice;
            if (writeBack.apply(issued, notice) == IssuedWriteBack::Outcome::Refused) {
                showMsg(notice);
                return false;
            }
            close(docNo);
            ++res.written;
            ++(byRemark ? res.byDocNo : res.byBuyer);
            if (blue) flushBy(inv, *blue); // before the insert below moves the entries
            WrittenInvoice& w = written[numberText];
            w = {issued.code, issued.number, Ledger::issued(), inv.amount, true};
            if (!inv.red) setState(w, flushOf(inv.state));
        }
        QString notice;
        if (!writeBack.finish(notice)) {
            showMsg(notice);
            return false;
        }
        if (preview)
            tx.rollback();
        else
            tx.commit();
        return true;
    } catch (const DbError& e) {
        m_result = {};
        showErr(QStringLiteral("PlatformWriteBack"), e);
        return false;
    }
}
