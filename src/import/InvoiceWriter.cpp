#include "import/InvoiceWriter.h"

#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "import/ImportReader.h"
#include <QSet>
#include <cmath>

namespace {
// Type mismatch: a text that should have been a date.
constexpr long kTypeMismatch = 13;

// bindNumber's value, bound as it is.
BoundRowBatch::Value boundNumber(int fieldType, double value) {
    if (isNumericAdoType(fieldType)) {
        if (isIntegerAdoTypeCode(fieldType) && value == std::floor(value) && std::fabs(value) < 9e15)
            return qint64(value);
        return value;
    }
    return BoundRowBatch::fromVariant(sqlBindValue(fieldType, QVariant(value)));
}
} // namespace

bool invoiceDateText(const QString& fileDate, QString& out) {
    const QString cut = fileDate.left(4) + u'-' + fileDate.mid(4, 2) + u'-' + fileDate.right(2);
    if (const std::optional<QDate> day = isoDay(cut)) {
        if (!day->isValid()) return false;
        out = cut;
        return true;
    }
    const QDate d = QDate::fromString(cut, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid()) return false;
    out = d.toString(QStringLiteral("yyyy-MM-dd"));
    return true;
}

InvoiceWriter::InvoiceWriter(Session& session, ImportRules& rules)
    : m_session(session), m_acct(session.gcnAcct), m_rules(rules) {}

void InvoiceWriter::beginImport() {
    m_today = m_session.runDayText();
    m_dates.clear();
    m_fixedHead.reset();
    m_special.reset();
    m_ordinary.reset();
    m_period.reset();
    m_periodRead = false;
    m_headDefaults.reset();
    m_headTexts.clear();
    m_entryTexts.clear();
    Connection& acct = requireConnection(m_acct.get());
    m_enough = acct.canCopyIn() ? 5000 : 1000;
    m_heads.emplace(acct, QStringLiteral("ICSALE"));
    m_entries.emplace(acct, QStringLiteral("ICSALEENTRY"));
    // Keys are matched with the columns without regard to case, as the record of a row was.
    const BoundRowBatch& h = *m_heads;
    m_h = {h.column(QStringLiteral("FInterID")),
           h.column(QStringLiteral("FBillNo")),
           h.column(QStringLiteral("FTranType")),
           h.column(QStringLiteral("FClassTypeID")),
           h.column(QStringLiteral("FDate")),
           h.column(QStringLiteral("FSaleStyle")),
           h.column(QStringLiteral("fyearperiod")),
           h.column(QStringLiteral("FYear")),
           h.column(QStringLiteral("FPeriod")),
           h.column(QStringLiteral("FFincDate")),
           h.column(QStringLiteral("FPayDate")),
           h.column(QStringLiteral("FCancellation")),
           h.column(QStringLiteral("FCheckerID")),
           h.column(QStringLiteral("FCheckDate")),
           h.column(QStringLiteral("fstatus")),
           h.column(QStringLiteral("FCustID")),
           h.column(QStringLiteral("FBillerID")),
           h.column(QStringLiteral("FInvoiceAmount")),
           h.column(QStringLiteral("FInvoiceAmountFor")),
           h.column(QStringLiteral("FUnReceiveAmountFor"))};
    const BoundRowBatch& e = *m_entries;
    m_e = {e.column(QStringLiteral("FInterID")),
           e.column(QStringLiteral("FEntryID")),
           e.column(QStringLiteral("FItemID")),
           e.column(QStringLiteral("FQty")),
           e.column(QStringLiteral("FAuxQty")),
           e.column(QStringLiteral("FUnitID")),
           e.column(QStringLiteral("FTaxRate")),
           e.column(QStringLiteral("FTaxAmount")),
           e.column(QStringLiteral("FStdTaxAmount")),
           e.column(QStringLiteral("FPrice")),
           e.column(QStringLiteral("FAuxPrice")),
           e.column(QStringLiteral("FTaxPrice")),
           e.column(QStringLiteral("FAuxTaxPrice")),
           e.column(QStringLiteral("FPriceDiscount")),
           e.column(QStringLiteral("FAuxPriceDiscount")),
           e.column(QStringLiteral("FAmount")),
           e.column(QStringLiteral("FStdAmount")),
           e.column(QStringLiteral("FAmountincludetax")),
           e.column(QStringLiteral("FStdAmountincludetax")),
           e.column(QStringLiteral("FAllAmount")),
           e.column(QStringLiteral("Fnote")),
           e.column(QStringLiteral("FBatchNo")),
           e.column(QStringLiteral("FDiscountRate")),
           e.column(QStringLiteral("FAmtDiscount")),
           e.column(QStringLiteral("FStdAmtDiscount"))};
    m_hf = {m_rules.fieldPosition(true, QStringLiteral("发票种类")),
            m_rules.fieldPosition(true, QStringLiteral("开票日期")),
            m_rules.fieldPosition(true, QStringLiteral("作废标识")),
            m_rules.fieldPosition(true, QStringLiteral("复核人")),
            m_rules.fieldPosition(true, QStringLiteral("不含税金额")),
            m_rules.fieldPosition(true, QStringLiteral("税额"))};
    m_bf = {m_rules.fieldPosition(false, QStringLiteral("数量")),
            m_rules.fieldPosition(false, QStringLiteral("单价")),
            m_rules.fieldPosition(false, QStringLiteral("单价价格方式")),
            m_rules.fieldPosition(false, QStringLiteral("金额")),
            m_rules.fieldPosition(false, QStringLiteral("税率")),
            m_rules.fieldPosition(false, QStringLiteral("税额"))};
}

bool InvoiceWriter::isFull() const {
    // Enough rows for a few statements (on a server that takes them streamed, for one), little enough
    // memory however long the file.
    return m_entries->pending() + m_heads->pending() >= m_enough;
}

QStringList InvoiceWriter::flush(const std::function<void(const QStringList&)>& beforeLines) {
    BoundRowBatch& h = *m_heads;
    BoundRowBatch& e = *m_entries;
    const int count = h.pending();
    const QList<qint64> ids = getNewInterIDs(*m_acct, count);
    QStringList texts;
    texts.reserve(count);
    for (qint64 id : ids)
        texts.append(QString::number(id));
    auto place = [](const BoundRowBatch::Value& standIn) {
        const qint64* at = std::get_if<qint64>(&standIn);
        return int(-(at ? *at : BoundRowBatch::toVariant(standIn).toLongLong())) - 1;
    };
    if (m_h.interID >= 0)
        for (int i = 0; i < count; ++i)
            BoundRowBatch::set(
                h.at(i), m_h.interID,
                BoundRowBatch::fromVariant(sqlBindValue(h.columns()[m_h.interID].type, texts[i])));
    if (m_e.interID >= 0) {
        // Converted once per invoice, not once per line.
        QList<BoundRowBatch::Value> bound;
        bound.reserve(texts.size());
        for (const QString& text : std::as_const(texts))
            bound.append(BoundRowBatch::fromVariant(sqlBindValue(e.columns()[m_e.interID].type, text)));
        for (int i = 0; i < e.pending(); ++i) {
            BoundRowBatch::Row& row = e.at(i);
            const int at = place(row[size_t(m_e.interID)]);
            if (at < 0 || at >= texts.size())
                throw DbError(ErrNo::General, QStringLiteral("商品行没有对应的发票。"));
            row[size_t(m_e.interID)] = bound[at];
        }
    }
    h.flush();
    if (beforeLines) beforeLines(texts);
    // The lines last: on a server that streams them, it loads them while the next invoices are read.
    e.flush();
    return texts;
}

QString InvoiceWriter::takenBillNo() {
    Connection& acct = requireConnection(m_acct.get());
    constexpr int kBatch = 500; // bill numbers to a statement
    for (const std::optional<BillNumberRule>* rule : {&m_special, &m_ordinary}) {
        if (!*rule) continue;
        const QStringList given = (*rule)->given();
        for (qsizetype from = 0; from < given.size(); from += kBatch) {
            QVariantList numbers;
            for (const QString& n : given.mid(from, kBatch))
                numbers << n;
            const RecordsetPtr rs =
                acct.query(QStringLiteral("select FBillNo from ICSale where FBillNo in (") +
                               QStringList(numbers.size(), QStringLiteral("?")).join(u',') + u')',
                           numbers);
            QSet<QString> taken;
            for (const QVariantList& row : rs->allRows())
                taken.insert(nullToText(row.value(0)).toUpper());
            // The first in the order the import gave them (a set may compare without case).
            for (const QVariant& n : std::as_const(numbers))
                if (taken.contains(n.toString().toUpper())) return n.toString();
        }
    }
    return {};
}

void InvoiceWriter::endImport() {
    if (m_special) m_special->writeBack(*m_acct);
    if (m_ordinary) m_ordinary->writeBack(*m_acct);
}

BillNumberRule& InvoiceWriter::rule(qint32 billTypeID) {
    std::optional<BillNumberRule>& rule = billTypeID == 80 ? m_special : m_ordinary;
    if (!rule) {
        BillNumberRule r;
        r.load(*m_acct, billTypeID);
        rule = std::move(r);
    }
    return *rule;
}

// Values go into a row as their column takes them, as an INSERT of the record's text would have had
// them; texts are trimmed, numbers written without a detour through text.
void InvoiceWriter::setText(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QString& text) {
    if (col < 0) return;
    const int type = batch.columns()[col].type;
    if (isNumericAdoType(type) || type == AdoType::Boolean || type == AdoType::Date ||
        type == AdoType::DBDate || type == AdoType::DBTimeStamp) {
        // A few texts (a kind, a flag, a date) for thousands of rows: each converted once.
        std::vector<LastText>& texts = &batch == &*m_heads ? m_headTexts : m_entryTexts;
        if (texts.size() != size_t(batch.columns().size()))
            texts.assign(size_t(batch.columns().size()), LastText());
        LastText& last = texts[size_t(col)];
        if (last.bound.index() == 0 || last.text.isNull() != text.isNull() || last.text != text) {
            BoundRowBatch::Row one = batch.emptyRow();
            setValue(batch, one, col, QVariant(text));
            last = {text, one[size_t(col)]};
        }
        BoundRowBatch::set(row, col, last.bound);
        return;
    }
    // A text column takes the trimmed text as it is (an empty one, never Null): what setValue gives,
    // without its conversions, for the many texts of every row.
    const QString trimmed = text.trimmed();
    BoundRowBatch::set(row, col, trimmed.isNull() ? QStringLiteral("") : trimmed);
}

void InvoiceWriter::setValue(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, const QVariant& value) {
    if (col < 0) return;
    const int type = batch.columns()[col].type;
    const int id = value.typeId();
    if ((id == QMetaType::LongLong || id == QMetaType::Int) && !value.isNull() && isNumericAdoType(type)) {
        // An identifier: sqlBindValue's whole number, without its QVariants.
        const qlonglong n = id == QMetaType::LongLong ? *static_cast<const qlonglong*>(value.constData())
                                                      : *static_cast<const int*>(value.constData());
        if (std::llabs(n) < 9'000'000'000'000'000LL) {
            if (isIntegerAdoTypeCode(type))
                BoundRowBatch::set(row, col, qint64(n));
            else
                BoundRowBatch::set(row, col, double(n));
            return;
        }
    }
    QVariant v = value;
    if (v.typeId() == QMetaType::QString) v = v.toString().trimmed();
    BoundRowBatch::set(row, col, BoundRowBatch::fromVariant(sqlBindValue(batch.columns()[col].type, v)));
}

void InvoiceWriter::setNumber(BoundRowBatch& batch, BoundRowBatch::Row& row, int col, double value) {
    if (col < 0) return;
    BoundRowBatch::set(row, col, boundNumber(batch.columns()[col].type, value));
}

bool InvoiceWriter::parseLineNumber(const ImportLine& line, int position, const QString& field,
                                    qint32 lineNumber, double& out) {
    const QStringView text = line.fieldView(position);
    out = 0;
    if (text.trimmed().isEmpty()) return true;
    if (strictNumber(text, out)) return true;
    // A quantity "1x" read as 1 would make an invoice that is silently wrong.
    showMsg(QStringLiteral("第%1行%2[%3]不是有效的数字!").arg(lineNumber).arg(field, text.toString()));
    return false;
}

bool InvoiceWriter::mapHeadFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber) {
    BoundRowBatch& h = *m_heads;
    const QStringView kind = v.fieldView(m_hf.kind);
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
        showMsg(QStringLiteral("文本文件存在废旧物资发票,QOR系统不允许引入!"));
        return false;
    }
    double net = 0, tax = 0;
    if (!parseLineNumber(v, m_hf.net, QStringLiteral("不含税金额"), lineNumber, net) ||
        !parseLineNumber(v, m_hf.tax, QStringLiteral("税额"), lineNumber, tax))
        return false;
    DbError failure(0, QString());
    QString billNo;
    try {
        billNo = rule(tranType).next(QString());
    } catch (const DbError& e) {
        failure = e;
    }
    m_billNo = billNo;
    setText(h, row, m_h.billNo, billNo);
    setNumber(h, row, m_h.tranType, tranType);
    setText(h, row, m_h.classType, classType);
    if (billNo.isEmpty()) {
        showMsg(QStringLiteral("生成发票号失败!"));
        if (failure.number() != 0) reportCause(QStringLiteral("GetNewBillID"), failure);
        return false;
    }
    const QString cancelled = v.field(m_hf.cancelled);
    setText(h, row, m_h.cancellation, cancelled);
    // Only an invoice that stands counts as checked.
    if (cancelled == u"0" && !v.fieldView(m_hf.checker).isEmpty()) {
        setValue(h, row, m_h.checker, v.checker);
        setText(h, row, m_h.checkDate, m_today);
        setText(h, row, m_h.status, QStringLiteral("1"));
    }
    setValue(h, row, m_h.customer, v.customer);
    setValue(h, row, m_h.biller, v.biller);
    const double amount = round15(net + tax);
    setNumber(h, row, m_h.amount, amount);
    setNumber(h, row, m_h.amountFor, amount);
    setNumber(h, row, m_h.unreceived, amount);
    return true;
}

bool InvoiceWriter::writeHead(const QString& line, qint32 lineNumber, ImportLine& v) {
    if (!m_rules.parseInvoiceLine(line, true, v)) return false;
    if (!m_headDefaults) {
        const std::optional<FieldMap> defaults = m_rules.loadHeadDefaults(true);
        if (!defaults) {
            showMsg(QStringLiteral("取发票头字段默认值出错!"));
            return false;
        }
        // The defaults as their columns take them, once per import; keys that are no column are ignored.
        BoundRowBatch::Row d = m_heads->emptyRow();
        for (const QString& key : defaults->keys())
            setValue(*m_heads, d, m_heads->column(key), defaults->get(key));
        m_headDefaults = std::move(d);
    }
    BoundRowBatch::Row row = m_heads->emptyRow();
    row = *m_headDefaults;
    if (!mapHeadFields(row, v, lineNumber)) {
        showMsg(QStringLiteral("取发票头字段对应值出错!"));
        return false;
    }
    BoundRowBatch& h = *m_heads;
    m_interID = qint64(-qlonglong(h.pending()) - 1);
    const QString fileDate = v.field(m_hf.date);
    auto known = m_dates.constFind(fileDate);
    if (known == m_dates.constEnd()) {
        QString date;
        // A date the database cannot hold is refused instead of being stored as it came.
        if (!invoiceDateText(fileDate, date))
            throw DbError(kTypeMismatch,
                          QStringLiteral("开票日期[") + fileDate + QStringLiteral("]不是有效的日期。"));
        BoundRowBatch::Row one = h.emptyRow();
        setText(h, one, m_h.date, date);
        known = m_dates.insert(fileDate, m_h.date >= 0 ? one[size_t(m_h.date)] : BoundRowBatch::Value());
    }
    BoundRowBatch::set(row, m_h.date, *known);
    if (!m_periodRead) {
        QString year, period;
        if (getPeriod(year, period, *m_acct, m_session.runDay()))
            m_period = std::make_pair(year.trimmed(), period.trimmed());
        m_periodRead = true;
    }
    if (!m_period) return false;
    if (!m_fixedHead) {
        // The same for every invoice of the import: converted for their columns once.
        BoundRowBatch::Row fixed = h.emptyRow();
        setText(h, fixed, m_h.saleStyle, QStringLiteral("101"));
        setText(h, fixed, m_h.yearPeriod, QString());
        setText(h, fixed, m_h.year, m_period->first);
        setText(h, fixed, m_h.period, m_period->second);
        setText(h, fixed, m_h.fincDate, m_today);
        setText(h, fixed, m_h.payDate, m_today);
        m_fixedHead.emplace();
        for (int col = 0; col < int(fixed.size()); ++col)
            if (BoundRowBatch::isSet(fixed, col)) m_fixedHead->append({col, fixed[size_t(col)]});
    }
    for (const auto& [col, value] : std::as_const(*m_fixedHead))
        BoundRowBatch::set(row, col, value);
    h.add(std::move(row));
    return true;
}

bool InvoiceWriter::mapBodyFields(BoundRowBatch::Row& row, const ImportLine& v, qint32 lineNumber,
                                  bool& computed) {
    double P = 0, Q = 0, R = 0, A = 0, T = 0;
    if (!parseLineNumber(v, m_bf.price, QStringLiteral("单价"), lineNumber, P) ||
        !parseLineNumber(v, m_bf.qty, QStringLiteral("数量"), lineNumber, Q) ||
        !parseLineNumber(v, m_bf.rate, QStringLiteral("税率"), lineNumber, R) ||
        !parseLineNumber(v, m_bf.amount, QStringLiteral("金额"), lineNumber, A) ||
        !parseLineNumber(v, m_bf.tax, QStringLiteral("税额"), lineNumber, T))
        return false;
    // Computed values are kept as the database receives their text: 15 significant digits. Values taken
    // from the file unchanged keep theirs.
    const double taxRate = round15(R * 100);
    double price = 0, taxPrice = 0, amount = 0, includeTax = 0, all = 0;
    const bool excludesTax = v.fieldView(m_bf.priceMode) == u"0";
    if (m_session.giInvoiceKind == 0) {
        if (excludesTax) {
            price = P;
            amount = round15(Q * P);
            taxPrice = round15(P * (R + 1));
        } else {
            taxPrice = round15(P);
            price = round15(P / (R + 1));
            amount = round15(Q * price);
        }
        includeTax = round15(A + T);
        all = includeTax;
    } else {
        if (excludesTax) {
            taxPrice = round15(P * (R + 1));
            price = taxPrice;
            amount = round15(Q * P * (R + 1));
            includeTax = round15(A);
        } else {
            price = P;
            taxPrice = round15(P);
            amount = round15(Q * P);
            includeTax = round15(amount / (R + 1));
        }
        all = 0;
    }
    computed = std::isfinite(taxRate) && std::isfinite(price) && std::isfinite(taxPrice) &&
               std::isfinite(amount) && std::isfinite(includeTax);
    if (!computed) return true;
    BoundRowBatch& e = *m_entries;
    setValue(e, row, m_e.item, v.item);
    setNumber(e, row, m_e.qty, Q);
    setNumber(e, row, m_e.auxQty, Q);
    setNumber(e, row, m_e.taxRate, taxRate);
    setNumber(e, row, m_e.taxAmount, T);
    setNumber(e, row, m_e.stdTaxAmount, T);
    setValue(e, row, m_e.unit, v.unit);
    setNumber(e, row, m_e.price, price);
    setNumber(e, row, m_e.auxPrice, price);
    setNumber(e, row, m_e.taxPrice, taxPrice);
    setNumber(e, row, m_e.auxTaxPrice, taxPrice);
    setNumber(e, row, m_e.priceDiscount, taxPrice);
    setNumber(e, row, m_e.auxPriceDiscount, taxPrice);
    setNumber(e, row, m_e.amount, amount);
    setNumber(e, row, m_e.stdAmount, amount);
    setNumber(e, row, m_e.amountIncludeTax, includeTax);
    setNumber(e, row, m_e.stdAmountIncludeTax, includeTax);
    setNumber(e, row, m_e.allAmount, all);
    return true;
}

bool InvoiceWriter::writeGoodsLine(const QString& line, qint32 lineNumber, qint32 entryID) {
    ImportLine& v = m_goods;
    if (!m_rules.parseInvoiceLine(line, false, v)) return false;
    BoundRowBatch& e = *m_entries;
    BoundRowBatch::Row row = e.emptyRow();
    bool computed = false;
    if (!mapBodyFields(row, v, lineNumber, computed)) return false;
    if (!computed) {
        showMsg(QStringLiteral("取发票体字段对应值出错!"));
        return false;
    }
    BoundRowBatch::set(row, m_e.interID, m_interID);
    setNumber(e, row, m_e.entryID, entryID);
    setText(e, row, m_e.note, QString());
    setText(e, row, m_e.batchNo, QString());
    e.add(std::move(row));
    return true;
}

std::optional<QList<QPair<int, double>>> InvoiceWriter::buildDiscountUpdate(const QString& line,
                                                                            const QString& prevLine) {
    try {
        // Trailing empty fields may be left out, as on any line of the file.
        const QStringList d = cutFields(line);
        if (d.size() > m_rules.bodyFieldCount()) return std::nullopt;
        const QStringList prev = cutFields(prevLine);
        // An empty number is 0, as on the goods line itself (the tax software leaves 数量 and 单价 empty
        // then).
        auto number = [&prev](int i, double& out) {
            out = 0;
            return prev.value(i).trimmed().isEmpty() || strictNumber(prev.value(i), out);
        };
        double q = 0, a = 0, r = 0, p = 0, rate = 0;
        if (!number(4, q) || !number(5, a) || !number(6, r) || !number(8, p) ||
            !discountRate(d.value(1), rate))
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
            value = round15(value);
        }
        return set;
    } catch (const DbError&) {
        return std::nullopt;
    }
}

bool InvoiceWriter::writeDiscountLine(const QString& line, qint32 prevEntryID, const QString& prevLine) {
    // The line before is the invoice's own and still in memory (the reader refuses a discount that
    // follows no goods line of its invoice).
    BoundRowBatch& e = *m_entries;
    BoundRowBatch::Row* target =
        e.find(m_e.entryID, boundNumber(e.columns().value(m_e.entryID).type, prevEntryID));
    const bool ofThisInvoice = target && (m_e.interID < 0 || (*target)[size_t(m_e.interID)] == m_interID);
    const auto changes = ofThisInvoice ? buildDiscountUpdate(line, prevLine) : std::nullopt;
    if (!changes) {
        showMsg(QStringLiteral("取折扣行发票体字段出错!"));
        return false;
    }
    for (const auto& [column, value] : *changes)
        setNumber(e, *target, column, value);
    return true;
}
