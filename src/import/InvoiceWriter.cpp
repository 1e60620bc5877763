#include "InvoiceWriter.h"

#include "ImportReader.h"
#include "common/DbLog.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include <cmath>

namespace {
// Type mismatch: a text that should have been a date.
constexpr long kTypeMismatch = 13;

// BindNumber's value, bound as it is.
BoundRowBatch::Value BoundNumber(int fieldType, double value) {
    if (IsNumericAdoType(fieldType)) {
        if (isIntegerAdoTypeCode(fieldType) && value == std::floor(value) && std::fabs(value) < 9e15)
            return qint64(value);
        return value;
    }
    return BoundRowBatch::FromVariant(SqlBindValue(fieldType, QVariant(value)));
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
    : m_session(session), m_acct(session.gcnAcct), m_rules(rules) {}

void InvoiceWriter::BeginImport() {
    m_today = m_session.TodayText();
    m_dates.clear();
    m_fixedHead.reset();
    m_special.reset();
    m_ordinary.reset();
    m_period.reset();
    m_periodRead = false;
    m_headDefaults.reset();
    m_headTexts.clear();
    m_entryTexts.clear();
    Connection& acct = RequireConnection(m_acct.get());
    m_enough = acct.CanCopyIn() ? 5000 : 1000;
    m_heads.emplace(acct, QStringLiteral("ICSALE"));
    m_entries.emplace(acct, QStringLiteral("ICSALEENTRY"));
    // Keys are matched with the columns without regard to case, as the record of a row was.
    const BoundRowBatch& h = *m_heads;
    m_h = {h.Column(QStringLiteral("FInterID")),
           h.Column(QStringLiteral("FBillNo")),
           h.Column(QStringLiteral("FTranType")),
           h.Column(QStringLiteral("FClassTypeID")),
           h.Column(QStringLiteral("FDate")),
           h.Column(QStringLiteral("FSaleStyle")),
           h.Column(QStringLiteral("fyearperiod")),
           h.Column(QStringLiteral("FYear")),
           h.Column(QStringLiteral("FPeriod")),
           h.Column(QStringLiteral("FFincDate")),
           h.Column(QStringLiteral("FPayDate")),
           h.Column(QStringLiteral("FCancellation")),
           h.Column(QStringLiteral("FCheckerID")),
           h.Column(QStringLiteral("FCheckDate")),
           h.Column(QStringLiteral("fstatus")),
           h.Column(QStringLiteral("FCustID")),
           h.Column(QStringLiteral("FBillerID")),
           h.Column(QStringLiteral("FInvoiceAmount")),
           h.Column(QStringLiteral("FInvoiceAmountFor")),
           h.Column(QStringLiteral("FUnReceiveAmountFor"))};
    const BoundRowBatch& e = *m_entries;
    m_e = {e.Column(QStringLiteral("FInterID")),
           e.Column(QStringLiteral("FEntryID")),
           e.Column(QStringLiteral("FItemID")),
           e.Column(QStringLiteral("FQty")),
           e.Column(QStringLiteral("FAuxQty")),
           e.Column(QStringLiteral("FUnitID")),
           e.Column(QStringLiteral("FTaxRate")),
           e.Column(QStringLiteral("FTaxAmount")),
           e.Column(QStringLiteral("FStdTaxAmount")),
           e.Column(QStringLiteral("FPrice")),
           e.Column(QStringLiteral("FAuxPrice")),
           e.Column(QStringLiteral("FTaxPrice")),
           e.Column(QStringLiteral("FAuxTaxPrice")),
           e.Column(QStringLiteral("FPriceDiscount")),
           e.Column(QStringLiteral("FAuxPriceDiscount")),
           e.Column(QStringLiteral("FAmount")),
           e.Column(QStringLiteral("FStdAmount")),
           e.Column(QStringLiteral("FAmountincludetax")),
           e.Column(QStringLiteral("FStdAmountincludetax")),
           e.Column(QStringLiteral("FAllAmount")),
           e.Column(QStringLiteral("Fnote")),
           e.Column(QStringLiteral("FBatchNo")),
           e.Column(QStringLiteral("FDiscountRate")),
           e.Column(QStringLiteral("FAmtDiscount")),
           e.Column(QStringLiteral("FStdAmtDiscount"))};
    m_hf = {m_rules.FieldPosition(true, QStringLiteral("发票种类")),
            m_rules.FieldPosition(true, QStringLiteral("开票日期")),
            m_rules.FieldPosition(true, QStringLiteral("作废标识")),
            m_rules.FieldPosition(true, QStringLiteral("复核人")),
            m_rules.FieldPosition(true, QStringLiteral("不含税金额")),
            m_rules.FieldPosition(true, QStringLiteral("税额"))};
    m_bf = {m_rules.FieldPosition(false, QStringLiteral("数量")),
            m_rules.FieldPosition(false, QStringLiteral("单价")),
            m_rules.FieldPosition(false, QStringLiteral("单价价格方式")),
            m_rules.FieldPosition(false, QStringLiteral("金额")),
            m_rules.FieldPosition(false, QStringLiteral("税率")),
            m_rules.FieldPosition(false, QStringLiteral("税额"))};
}

bool InvoiceWriter::IsFull() const {
    // Enough rows for a few statements (on a server that takes them streamed, for one), little enough
    // memory however long the file.
    return m_entries->Pending() + m_heads->Pending() >= m_enough;
}

QStringList InvoiceWriter::Flush(const std::function<void(const QStringList&)>& beforeLines) {
    BoundRowBatch& h = *m_heads;
    BoundRowBatch& e = *m_entries;
    const int count = h.Pending();
    const QList<qint64> ids = GetNewInterIDs(*m_acct, count);
    QStringList texts;
    texts.reserve(count);
    for (qint64 id : ids)
        texts.append(QString::number(id));
    auto place = [](const BoundRowBatch::Value& standIn) {
        const qint64* at = std::get_if<qint64>(&standIn);
        return int(-(at ? *at : BoundRowBatch::ToVariant(standIn).toLongLong())) - 1;
    };
    if (m_h.interID >= 0)
        for (int i = 0; i < count; ++i)
            BoundRowBatch::Set(
                h.At(i), m_h.interID,
                BoundRowBatch::FromVariant(SqlBindValue(h.Columns()[m_h.interID].type, texts[i])));
    if (m_e.interID >= 0) {
        // Converted once per invoice, not once per line.
        QList<BoundRowBatch::Value> bound;
        bound.reserve(texts.size());
        for (const QString& text : std::as_const(texts))
            bound.append(BoundRowBatch::FromVariant(SqlBindValue(e.Columns()[m_e.interID].type, text)));
        for (int i = 0; i < e.Pending(); ++i) {
            BoundRowBatch::Row& row = e.At(i);
            const int at = place(row[size_t(m_e.interID)]);
            if (at < 0 || at >= texts.size())
                throw DbError(ErrNo::General, QStringLiteral("商品行没有对应的发票。"));
            row[size_t(m_e.interID)] = bound[at];
        }
    }
    h.Flush();
    if (beforeLines) beforeLines(texts);
    // The lines last: on a server that streams them, it loads them while the next invoices are read.
    e.Flush();
    return texts;
}

void InvoiceWriter::EndImport() {
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

// Values go into a row as their column takes them, as an INSERT of the record's text would have had
// them; texts are trimmed, numbers written without a detour through text.
void InvoiceWriter::SetText(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QString& text) {
    if (col < 0) return;
    const int type = batch.Columns()[col].type;
    if (IsNumericAdoType(type) || type == AdoType::Boolean || type == AdoType::Date ||
        type == AdoType::DBDate || type == AdoType::DBTimeStamp) {
        // A few texts (a kind, a flag, a date) for thousands of rows: each converted once.
        std::vector<LastText>& texts = &batch == &*m_heads ? m_headTexts : m_entryTexts;
        if (texts.size() != size_t(batch.Columns().size()))
            texts.assign(size_t(batch.Columns().size()), LastText());
        LastText& last = texts[size_t(col)];
        if (last.bound.index() == 0 || last.text.isNull() != text.isNull() || last.text != text) {
            BoundRowBatch::Row one = batch.EmptyRow();
            SetValue(batch, one, col, QVariant(text));
            last = {text, one[size_t(col)]};
        }
        BoundRowBatch::Set(row, col, last.bound);
        return;
    }
    // A text column takes the trimmed text as it is (an empty one, never Null): what SetValue gives,
    // without its conversions, for the many texts of every row.
    const QString trimmed = text.trimmed();
    BoundRowBatch::Set(row, col, trimmed.isNull() ? QStringLiteral("") : trimmed);
}

void InvoiceWriter::SetValue(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QVariant& value) {
    if (col < 0) return;
    const int type = batch.Columns()[col].type;
    const int id = value.typeId();
    if ((id == QMetaType::LongLong || id == QMetaType::Int) && !value.isNull() && IsNumericAdoType(type)) {
        // An identifier: SqlBindValue's whole number, without its QVariants.
        const qlonglong n = id == QMetaType::LongLong ? *static_cast<const qlonglong*>(value.constData())
                                                      : *static_cast<const int*>(value.constData());
        if (std::llabs(n) < 9'000'000'000'000'000LL) {
            if (isIntegerAdoTypeCode(type))
                BoundRowBatch::Set(row, col, qint64(n));
            else
                BoundRowBatch::Set(row, col, double(n));
            return;
        }
    }
    QVariant v = value;
    if (v.typeId() == QMetaType::QString) v = v.toString().trimmed();
    BoundRowBatch::Set(row, col, BoundRowBatch::FromVariant(SqlBindValue(batch.Columns()[col].type, v)));
}

void InvoiceWriter::SetNumber(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, double value) {
    if (col < 0) return;
    BoundRowBatch::Set(row, col, BoundNumber(batch.Columns()[col].type, value));
}

bool InvoiceWriter::LineNumber(const ImportLine& line, int position, const QString& field, qint32 lineNumber,
                               double& out) {
    const QStringView text = line.FieldView(position);
    out = 0;
    if (text.trimmed().isEmpty()) return true;
    if (StrictNumber(text, out)) return true;
    // A quantity "1x" read as 1 would make an invoice that is silently wrong.
    ShowMsg(QStringLiteral("第%1行%2[%3]不是有效的数字!").arg(lineNumber).arg(field, text.toString()));
    return false;
}

bool InvoiceWriter::MapHeadFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber) {
    BoundRowBatch& h = *m_heads;
    const QStringView kind = v.FieldView(m_hf.kind);
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
    double net = 0, tax = 0;
    if (!LineNumber(v, m_hf.net, QStringLiteral("不含税金额"), lineNumber, net) ||
        !LineNumber(v, m_hf.tax, QStringLiteral("税额"), lineNumber, tax))
        return false;
    DbError failure(0, QString());
    QString billNo;
    try {
        billNo = Rule(tranType).Next(QString());
    } catch (const DbError& e) {
        failure = e;
    }
    m_billNo = billNo;
    SetText(h, row, m_h.billNo, billNo);
    SetNumber(h, row, m_h.tranType, tranType);
    SetText(h, row, m_h.classType, classType);
    if (billNo.isEmpty()) {
        ShowMsg(QStringLiteral("生成发票号失败!"));
        if (failure.number() != 0) ReportCause(QStringLiteral("GetNewBillID"), failure);
        return false;
    }
    const QString cancelled = v.Field(m_hf.cancelled);
    SetText(h, row, m_h.cancellation, cancelled);
    // Only an invoice that stands counts as checked.
    if (cancelled == u"0" && !v.FieldView(m_hf.checker).isEmpty()) {
        SetValue(h, row, m_h.checker, v.checker);
        SetText(h, row, m_h.checkDate, m_today);
        SetText(h, row, m_h.status, QStringLiteral("1"));
    }
    SetValue(h, row, m_h.customer, v.customer);
    SetValue(h, row, m_h.biller, v.biller);
    const double amount = Round15(net + tax);
    SetNumber(h, row, m_h.amount, amount);
    SetNumber(h, row, m_h.amountFor, amount);
    SetNumber(h, row, m_h.unreceived, amount);
    return true;
}

bool InvoiceWriter::WriteHead(const QString& line, qint32 lineNumber, ImportLine& v) {
    if (!m_rules.ParseInvoiceLine(line, true, v)) return false;
    if (!m_headDefaults) {
        const std::optional<FieldMap> defaults = m_rules.LoadHeadDefaults(true);
        if (!defaults) {
            ShowMsg(QStringLiteral("取发票头字段默认值出错!"));
            return false;
        }
        // The defaults as their columns take them, once per import; keys that are no column are ignored.
        BoundRowBatch::Row d = m_heads->EmptyRow();
        for (const QString& key : defaults->Keys())
            SetValue(*m_heads, d, m_heads->Column(key), defaults->Get(key));
        m_headDefaults = std::move(d);
    }
    BoundRowBatch::Row row = m_heads->EmptyRow();
    row = *m_headDefaults;
    if (!MapHeadFields(row, v, lineNumber)) {
        ShowMsg(QStringLiteral("取发票头字段对应值出错!"));
        return false;
    }
    BoundRowBatch& h = *m_heads;
    m_interID = qint64(-qlonglong(h.Pending()) - 1);
    const QString fileDate = v.Field(m_hf.date);
    auto known = m_dates.constFind(fileDate);
    if (known == m_dates.constEnd()) {
        QString date;
        // A date the database cannot hold is refused instead of being stored as it came.
        if (!InvoiceDateText(fileDate, date))
            throw DbError(kTypeMismatch,
                          QStringLiteral("开票日期[") + fileDate + QStringLiteral("]不是有效的日期。"));
        BoundRowBatch::Row one = h.EmptyRow();
        SetText(h, one, m_h.date, date);
        known = m_dates.insert(fileDate, m_h.date >= 0 ? one[size_t(m_h.date)] : BoundRowBatch::Value());
    }
    BoundRowBatch::Set(row, m_h.date, *known);
    if (!m_periodRead) {
        QString year, period;
        if (GetPeriod(year, period, *m_acct, m_session.Today()))
            m_period = std::make_pair(year.trimmed(), period.trimmed());
        m_periodRead = true;
    }
    if (!m_period) return false;
    if (!m_fixedHead) {
        // The same for every invoice of the import: converted for their columns once.
        BoundRowBatch::Row fixed = h.EmptyRow();
        SetText(h, fixed, m_h.saleStyle, QStringLiteral("101"));
        SetText(h, fixed, m_h.yearPeriod, QString());
        SetText(h, fixed, m_h.year, m_period->first);
        SetText(h, fixed, m_h.period, m_period->second);
        SetText(h, fixed, m_h.fincDate, m_today);
        SetText(h, fixed, m_h.payDate, m_today);
        m_fixedHead.emplace();
        for (int col = 0; col < int(fixed.size()); ++col)
            if (BoundRowBatch::IsSet(fixed, col)) m_fixedHead->append({col, fixed[size_t(col)]});
    }
    for (const auto& [col, value] : std::as_const(*m_fixedHead))
        BoundRowBatch::Set(row, col, value);
    h.Add(std::move(row));
    return true;
}

bool InvoiceWriter::MapBodyFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber,
                                  bool& computed) {
    double P = 0, Q = 0, R = 0, A = 0, T = 0;
    if (!LineNumber(v, m_bf.price, QStringLiteral("单价"), lineNumber, P) ||
        !LineNumber(v, m_bf.qty, QStringLiteral("数量"), lineNumber, Q) ||
        !LineNumber(v, m_bf.rate, QStringLiteral("税率"), lineNumber, R) ||
        !LineNumber(v, m_bf.amount, QStringLiteral("金额"), lineNumber, A) ||
        !LineNumber(v, m_bf.tax, QStringLiteral("税额"), lineNumber, T))
        return false;
    // Computed values are kept as the database receives their text: 15 significant digits. Values taken
    // from the file unchanged keep theirs.
    const double taxRate = Round15(R * 100);
    double price = 0, taxPrice = 0, amount = 0, includeTax = 0, all = 0;
    const bool excludesTax = v.FieldView(m_bf.priceMode) == u"0";
    if (m_session.giInvoiceKind == 0) {
        if (excludesTax) {
            price = P;
            amount = Round15(Q * P);
            taxPrice = Round15(P * (R + 1));
        } else {
            taxPrice = Round15(P);
            price = Round15(P / (R + 1));
            amount = Round15(Q * price);
        }
        includeTax = Round15(A + T);
        all = includeTax;
    } else {
        if (excludesTax) {
            taxPrice = Round15(P * (R + 1));
            price = taxPrice;
            amount = Round15(Q * P * (R + 1));
            includeTax = Round15(A);
        } else {
            price = P;
            taxPrice = Round15(P);
            amount = Round15(Q * P);
            includeTax = Round15(amount / (R + 1));
        }
        all = 0;
    }
    computed = std::isfinite(taxRate) && std::isfinite(price) && std::isfinite(taxPrice) &&
               std::isfinite(amount) && std::isfinite(includeTax);
    if (!computed) return true;
    BoundRowBatch& e = *m_entries;
    SetValue(e, row, m_e.item, v.item);
    SetNumber(e, row, m_e.qty, Q);
    SetNumber(e, row, m_e.auxQty, Q);
    SetNumber(e, row, m_e.taxRate, taxRate);
    SetNumber(e, row, m_e.taxAmount, T);
    SetNumber(e, row, m_e.stdTaxAmount, T);
    SetValue(e, row, m_e.unit, v.unit);
    SetNumber(e, row, m_e.price, price);
    SetNumber(e, row, m_e.auxPrice, price);
    SetNumber(e, row, m_e.taxPrice, taxPrice);
    SetNumber(e, row, m_e.auxTaxPrice, taxPrice);
    SetNumber(e, row, m_e.priceDiscount, taxPrice);
    SetNumber(e, row, m_e.auxPriceDiscount, taxPrice);
    SetNumber(e, row, m_e.amount, amount);
    SetNumber(e, row, m_e.stdAmount, amount);
    SetNumber(e, row, m_e.amountIncludeTax, includeTax);
    SetNumber(e, row, m_e.stdAmountIncludeTax, includeTax);
    SetNumber(e, row, m_e.allAmount, all);
    return true;
}

bool InvoiceWriter::WriteGoodsLine(const QString& line, qint32 lineNumber, qint32 entryID) {
    ImportLine& v = m_goods;
    if (!m_rules.ParseInvoiceLine(line, false, v)) return false;
    BoundRowBatch& e = *m_entries;
    BoundRowBatch::Row row = e.EmptyRow();
    bool computed = false;
    if (!MapBodyFields(row, v, lineNumber, computed)) return false;
    if (!computed) {
        ShowMsg(QStringLiteral("取发票体字段对应值出错!"));
        return false;
    }
    BoundRowBatch::Set(row, m_e.interID, m_interID);
    SetNumber(e, row, m_e.entryID, entryID);
    SetText(e, row, m_e.note, QString());
    SetText(e, row, m_e.batchNo, QString());
    e.Add(std::move(row));
    return true;
}

std::optional<QList<QPair<int, double>>> InvoiceWriter::BuildDiscountUpdate(const QString& line,
                                                                            const QString& prevLine) {
    try {
        // Trailing empty fields may be left out, as on any line of the file.
        const QStringList d = CutFields(line);
        if (d.size() > m_rules.BodyFieldCount()) return std::nullopt;
        const QStringList prev = CutFields(prevLine);
        // An empty number is 0, as on the goods line itself (the tax software leaves 数量 and 单价 empty
        // then).
        auto number = [&prev](int i, double& out) {
            out = 0;
            return prev.value(i).trimmed().isEmpty() || StrictNumber(prev.value(i), out);
        };
        double q = 0, a = 0, r = 0, p = 0, rate = 0;
        if (!number(4, q) || !number(5, a) || !number(6, r) || !number(8, p) ||
            !DiscountRate(d.value(1), rate))
            return std::nullopt;
        const bool includesTax = prev.value(9) == u"1";
        const double amt = includesTax ? q * p * (1 - rate) : a * (1 - rate);
        const double tax = includesTax ? r * (amt / (1 + r)) : r * amt;
        QList<QPair<int, double>> set{
            {m_e.amount, amt},
            {m_e.stdAmount, amt},
            {m_e.discountRate, rate * 100},
            {m_e.taxAmount, tax},
            {m_e.stdTaxAmount, tax},
            {m_e.amountIncludeTax, includesTax ? amt - tax : amt + tax},
            {m_e.stdAmountIncludeTax, includesTax ? amt - tax : amt + tax},
        };
        if (!includesTax) set.append({m_e.allAmount, amt + tax});
        const double amtDiscount = includesTax ? q * p * rate : a * (1 + r) * rate;
        const double priceDiscount = includesTax ? p * (1 - rate) : p * (1 + r) * (1 - rate);
        set.append({m_e.amtDiscount, amtDiscount});
        set.append({m_e.stdAmtDiscount, amtDiscount});
        set.append({m_e.priceDiscount, priceDiscount});
        set.append({m_e.auxPriceDiscount, priceDiscount});
        for (auto& [column, value] : set) {
            if (!std::isfinite(value)) return std::nullopt;
            value = Round15(value);
        }
        return set;
    } catch (const DbError&) {
        return std::nullopt;
    }
}

bool InvoiceWriter::WriteDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine) {
    // The line before is the invoice's own and still in memory (the reader refuses a discount that
    // follows no goods line of its invoice).
    BoundRowBatch& e = *m_entries;
    BoundRowBatch::Row* target =
        e.Find(m_e.entryID, BoundNumber(e.Columns().value(m_e.entryID).type, prevEntryID));
    const bool ofThisInvoice = target && (m_e.interID < 0 || (*target)[size_t(m_e.interID)] == m_interID);
    const auto changes = ofThisInvoice ? BuildDiscountUpdate(line, prevLine) : std::nullopt;
    if (!changes) {
        ShowMsg(QStringLiteral("取折扣行发票体字段出错!"));
        return false;
    }
    for (const auto& [column, value] : *changes)
        SetNumber(e, *target, column, value);
    return true;
}
