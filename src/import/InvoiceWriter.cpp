#include "InvoiceWriter.h"

#include "BillNumbering.h"
#include "ImportReader.h"
#include "ImportRules.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include <QLocale>
#include <cmath>

namespace {
// Type mismatch: a text that should have been a date.
constexpr long kTypeMismatch = 13;

QString Text(const FieldMap& v, const QString& key) {
    return v.Get(key).toString();
}
double Number(const FieldMap& v, const QString& key) {
    return LeadingNumber(Text(v, key));
}

// A computed value as the database receives it: the shortest form with 15 significant digits.
QVariant Stored(double value) {
    return QLocale::c().toDouble(NumberText(value));
}
} // namespace

bool InvoiceDateText(const QString& fileDate, QString& out) {
    const QString cut = fileDate.left(4) + u'-' + fileDate.mid(4, 2) + u'-' + fileDate.right(2);
    const QDate d = QDate::fromString(cut, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid()) return false;
    out = d.toString(QStringLiteral("yyyy-MM-dd"));
    return true;
}

InvoiceWriter::InvoiceWriter(Session& session, ImportRules& rules)
    : m_session(session), m_acct(session.gcnAcct), m_rules(rules),
      m_heads(RequireConnection(m_acct.get()), QStringLiteral("ICSALE")),
      m_entries(*m_acct, QStringLiteral("ICSALEENTRY")) {}

void InvoiceWriter::BeginImport() {
    m_today = m_session.TodayText();
    m_special.reset();
    m_ordinary.reset();
    m_period.reset();
    m_periodRead = false;
    m_heads.Clear();
    m_entries.Clear();
}

void InvoiceWriter::FlushIfFull() {
    // Enough rows for a few statements, little enough memory however long the file.
    if (m_entries.Pending() + m_heads.Pending() < 1000) return;
    m_heads.Flush();
    m_entries.Flush();
}

void InvoiceWriter::EndImport() {
    m_heads.Flush();
    m_entries.Flush();
    if (m_special) m_special->WriteBack(*m_acct);
    if (m_ordinary) m_ordinary->WriteBack(*m_acct);
}

BillNumberRule& InvoiceWriter::Rule(qint32 billTypeID) {
    std::optional<BillNumberRule>& rule = billTypeID == 80 ? m_special : m_ordinary;
    if (!rule) {
        BillNumberRule r;
        r.Load(*m_acct, billTypeID);
        rule = std::move(r);
    }
    return *rule;
}

bool InvoiceWriter::MapHeadFields(FieldMap& map, const FieldMap& v) {
    const QString kind = Text(v, QStringLiteral("发票种类"));
    int tranType = 0;
    QString classType;
    if (kind == u"0") {
        tranType = 80;
        classType = QStringLiteral("1000002");
        m_session.giInvoiceKind = 0;
    } else if (kind == u"2") {
        tranType = 86;
        classType = QStringLiteral("1000000");
        m_session.giInvoiceKind = 2;
    } else {
        ShowMsg(QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!"));
        return false;
    }
    DbError failure(0, QString());
    QString billNo;
    try {
        billNo = Rule(tranType).Next(QString());
    } catch (const DbError& e) {
        failure = e;
    }
    map.Set(QStringLiteral("FBillNo"), billNo);
    map.Set(QStringLiteral("FTranType"), tranType);
    map.Set(QStringLiteral("FClassTypeID"), classType);
    if (map.Get(QStringLiteral("FBillNo")).toString().isEmpty()) {
        ShowMsg(QStringLiteral("生成发票号失败!"));
        if (failure.number() != 0) ReportCause(QStringLiteral("GetNewBillID"), failure);
        return false;
    }
    const QString cancelled = Text(v, QStringLiteral("作废标识"));
    map.Set(QStringLiteral("FCancellation"), cancelled);
    // Only an invoice that stands counts as checked.
    if (cancelled == u"0" && !Text(v, QStringLiteral("复核人")).isEmpty()) {
        map.Set(QStringLiteral("FCheckerID"), v.Get(QStringLiteral("复核人")));
        map.Set(QStringLiteral("FCheckDate"), m_today);
        map.Set(QStringLiteral("fstatus"), QStringLiteral("1"));
    }
    map.Set(QStringLiteral("FCustID"), v.Get(QStringLiteral("购方名称")));
    map.Set(QStringLiteral("FBillerID"), v.Get(QStringLiteral("开票人")));
    const QString amount =
        NumberText(Number(v, QStringLiteral("不含税金额")) + Number(v, QStringLiteral("税额")));
    map.Set(QStringLiteral("FInvoiceAmount"), amount);
    map.Set(QStringLiteral("FInvoiceAmountFor"), amount);
    map.Set(QStringLiteral("FUnReceiveAmountFor"), amount);
    return true;
}

bool InvoiceWriter::WriteHead(const QString& line, FieldMap& values) {
    FieldMap v;
    if (!m_rules.ParseInvoiceLine(line, true, v)) return false;
    values = v;
    std::optional<FieldMap> defaults = m_rules.LoadHeadDefaults(true);
    if (!defaults) {
        ShowMsg(QStringLiteral("取发票头字段默认值出错!"));
        return false;
    }
    FieldMap map = *defaults;
    if (!MapHeadFields(map, v)) {
        ShowMsg(QStringLiteral("取发票头字段对应值出错!"));
        return false;
    }
    m_interID = GetNewInterID(*m_acct);
    map.Set(QStringLiteral("FInterID"), m_interID);
    QString date;
    // A date the database cannot hold is refused instead of being stored as it came.
    if (!InvoiceDateText(Text(v, QStringLiteral("开票日期")), date))
        throw DbError(kTypeMismatch, QStringLiteral("开票日期[") + Text(v, QStringLiteral("开票日期")) +
                                         QStringLiteral("]不是有效的日期。"));
    map.Set(QStringLiteral("FDate"), date);
    map.Set(QStringLiteral("FSaleStyle"), QStringLiteral("101"));
    map.Set(QStringLiteral("fyearperiod"), QString());
    if (!m_periodRead) {
        QString year, period;
        if (GetPeriod(year, period, *m_acct, m_session.Today())) m_period = std::make_pair(year.trimmed(), period.trimmed());
        m_periodRead = true;
    }
    if (!m_period) return false;
    map.Set(QStringLiteral("FYear"), m_period->first);
    map.Set(QStringLiteral("FPeriod"), m_period->second);
    map.Set(QStringLiteral("FFincDate"), m_today);
    map.Set(QStringLiteral("FPayDate"), m_today);
    m_heads.Add(map);
    return true;
}

bool InvoiceWriter::MapBodyFields(FieldMap& map, const FieldMap& v) {
    const double P = Number(v, QStringLiteral("单价"));
    const double Q = Number(v, QStringLiteral("数量"));
    const double R = Number(v, QStringLiteral("税率"));
    const double A = Number(v, QStringLiteral("金额"));
    const double T = Number(v, QStringLiteral("税额"));
    bool ok = true;
    // Each computed value goes into the map as text at once; later values read it back from there.
    auto put = [&](const QString& key, double value) {
        if (!std::isfinite(value)) ok = false;
        map.Set(key, NumberText(value));
    };
    auto stored = [&](const QString& key) { return Number(map, key); };

    map.Set(QStringLiteral("FItemID"), v.Get(QStringLiteral("货物名称")));
    map.Set(QStringLiteral("FQty"), v.Get(QStringLiteral("数量")));
    put(QStringLiteral("FTaxRate"), R * 100);
    map.Set(QStringLiteral("FTaxAmount"), v.Get(QStringLiteral("税额")));
    map.Set(QStringLiteral("FUnitID"), v.Get(QStringLiteral("计量单位")));

    const bool excludesTax = Text(v, QStringLiteral("单价价格方式")) == u"0";
    if (m_session.giInvoiceKind == 0) {
        if (excludesTax) {
            map.Set(QStringLiteral("FPrice"), v.Get(QStringLiteral("单价")));
            put(QStringLiteral("FAmount"), Q * P);
            put(QStringLiteral("FTaxPrice"), P * (R + 1));
        } else {
            put(QStringLiteral("FTaxPrice"), P);
            put(QStringLiteral("FPrice"), P / (R + 1));
            put(QStringLiteral("FAmount"), Q * stored(QStringLiteral("FPrice")));
        }
        put(QStringLiteral("FAmountincludetax"), A + T);
        map.Set(QStringLiteral("FAllAmount"), map.Get(QStringLiteral("FAmountincludetax")));
    } else {
        if (excludesTax) {
            put(QStringLiteral("FTaxPrice"), P * (R + 1));
            map.Set(QStringLiteral("FPrice"), map.Get(QStringLiteral("FTaxPrice")));
            put(QStringLiteral("FAmount"), Q * P * (R + 1));
            put(QStringLiteral("FAmountincludetax"), A);
        } else {
            map.Set(QStringLiteral("FPrice"), v.Get(QStringLiteral("单价")));
            put(QStringLiteral("FTaxPrice"), P);
            put(QStringLiteral("FAmount"), Q * P);
            put(QStringLiteral("FAmountincludetax"), stored(QStringLiteral("FAmount")) / (R + 1));
        }
        map.Set(QStringLiteral("FAllAmount"), 0);
    }
    if (!ok) return false;

    map.Set(QStringLiteral("FAuxPrice"), map.Get(QStringLiteral("FPrice")));
    map.Set(QStringLiteral("FAuxQty"), map.Get(QStringLiteral("FQty")));
    map.Set(QStringLiteral("FStdAmount"), map.Get(QStringLiteral("FAmount")));
    map.Set(QStringLiteral("FStdTaxAmount"), map.Get(QStringLiteral("FTaxAmount")));
    map.Set(QStringLiteral("FAuxTaxPrice"), map.Get(QStringLiteral("FTaxPrice")));
    map.Set(QStringLiteral("FStdAmountincludetax"), map.Get(QStringLiteral("FAmountincludetax")));
    map.Set(QStringLiteral("FPriceDiscount"), map.Get(QStringLiteral("FTaxPrice")));
    map.Set(QStringLiteral("FAuxPriceDiscount"), map.Get(QStringLiteral("FTaxPrice")));
    return true;
}

bool InvoiceWriter::WriteGoodsLine(const QString& line, qint32 entryID) {
    FieldMap v;
    if (!m_rules.ParseInvoiceLine(line, false, v)) return false;
    FieldMap map;
    if (!MapBodyFields(map, v)) {
        ShowMsg(QStringLiteral("取发票体字段对应值出错!"));
        return false;
    }
    map.Set(QStringLiteral("FInterID"), m_interID);
    map.Set(QStringLiteral("FEntryID"), entryID);
    map.Set(QStringLiteral("Fnote"), QString());
    map.Set(QStringLiteral("FBatchNo"), QString());
    m_entries.Add(map);
    return true;
}

std::optional<FieldMap> InvoiceWriter::BuildDiscountUpdate(const QString& line, const QString& prevLine) {
    try {
        const QStringList d = CutFields(line);
        if (d.size() != m_rules.BodyFieldCount()) return std::nullopt;
        const QStringList prev = CutFields(prevLine);
        if (prev.size() < 10) return std::nullopt;
        double q = 0, a = 0, r = 0, p = 0, rate = 0;
        if (!StrictNumber(prev[4], q) || !StrictNumber(prev[5], a) || !StrictNumber(prev[6], r) ||
            !StrictNumber(prev[8], p) || !DiscountRate(d[1], rate))
            return std::nullopt;
        const bool includesTax = prev[9] == u"1";
        const double amt = includesTax ? q * p * (1 - rate) : a * (1 - rate);
        const double tax = includesTax ? r * (amt / (1 + r)) : r * amt;
        QList<QPair<QString, double>> set{
            {QStringLiteral("FAmount"), amt},
            {QStringLiteral("FStdAmount"), amt},
            {QStringLiteral("FDiscountRate"), rate * 100},
            {QStringLiteral("FTaxAmount"), tax},
            {QStringLiteral("FStdTaxAmount"), tax},
            {QStringLiteral("FAmountincludetax"), includesTax ? amt - tax : amt + tax},
            {QStringLiteral("FStdAmountincludetax"), includesTax ? amt - tax : amt + tax},
        };
        if (!includesTax) set.append({QStringLiteral("FAllAmount"), amt + tax});
        const double amtDiscount = includesTax ? q * p * rate : a * (1 + r) * rate;
        const double priceDiscount = includesTax ? p * (1 - rate) : p * (1 + r) * (1 - rate);
        set.append({QStringLiteral("FAmtDiscount"), amtDiscount});
        set.append({QStringLiteral("FStdAmtDiscount"), amtDiscount});
        set.append({QStringLiteral("FPriceDiscount"), priceDiscount});
        set.append({QStringLiteral("FAuxPriceDiscount"), priceDiscount});

        FieldMap changes;
        for (const auto& [column, value] : set) {
            if (!std::isfinite(value)) return std::nullopt;
            changes.Set(column, Stored(value));
        }
        return changes;
    } catch (const DbError&) {
        return std::nullopt;
    }
}

bool InvoiceWriter::WriteDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine) {
    // The line before is the invoice's own and still in memory (the reader refuses a discount that
    // follows no goods line of its invoice).
    FieldMap* target = m_entries.Find(QStringLiteral("FEntryID"), prevEntryID);
    const std::optional<FieldMap> changes =
        target && target->Get(QStringLiteral("FInterID")) == QVariant(m_interID)
            ? BuildDiscountUpdate(line, prevLine)
            : std::nullopt;
    if (!changes) {
        ShowMsg(QStringLiteral("取折扣行发票体字段出错!"));
        return false;
    }
    for (const QString& key : changes->Keys())
        target->Set(key, changes->Get(key));
    return true;
}
