#include "import/ImportRules.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "import/ImportReader.h"

namespace {
// The texts of a line that its names resolve from, each after its length, as the key of a line resolved
// before (into a buffer kept from line to line).
void resolvedKey(QString& key, std::initializer_list<QStringView> texts) {
    key.resize(0);
    for (const QStringView t : texts) {
        const auto length = quint32(t.size());
        key += QChar(ushort(length >> 16));
        key += QChar(ushort(length & 0xffff));
        key += t;
    }
}
} // namespace

ImportRules::ImportRules(ConnectionPtr acct, ConnectionPtr config)
    : m_acct(std::move(acct)), m_config(std::move(config)) {}

void ImportRules::beginImport() {
    m_headRules.reset();
    m_bodyRules.reset();
    m_headDefaults.reset();
    m_customers.clear();
    m_users.clear();
    m_units.clear();
    m_unitIds.clear();
    m_products.clear();
    m_resolvedBodies.clear();
    m_resolvedHeads.clear();
    m_lookupCount = 0;
}

const ImportRules::Rules& ImportRules::fieldRules(bool isHead) {
    std::optional<Rules>& rules = isHead ? m_headRules : m_bodyRules;
    if (rules) return *rules;
    const RecordsetPtr rs =
        requireConnection(m_config.get())
            .query(QStringLiteral("Select * from t_ImportField where FisHead=") +
                   m_config->dialect().boolLiteral(isHead) + QStringLiteral(" order by Forder"));
    Rules r;
    for (rs->first(); !rs->atEnd(); rs->next()) {
        FieldRule f;
        f.name = nullToText(rs->value(QStringLiteral("FFieldDesc")));
        const QString validValue = nullToText(rs->value(QStringLiteral("FValidValue")));
        f.checked = isTrueValue(rs->value(QStringLiteral("FisNeedValid"))) &&
                    nullToText(rs->value(QStringLiteral("FValidType"))) == u"2";
        // An empty list has no pieces: every value fails it.
        if (!validValue.isEmpty()) f.validValues = validValue.split(u',', Qt::KeepEmptyParts);
        r.positions.insert(f.name, int(r.fields.size()));
        r.fields.append(f);
    }
    rules = std::move(r);
    if (isHead) {
        m_head.customer = rules->positions.value(QStringLiteral("购方名称"), -1);
        m_head.biller = rules->positions.value(QStringLiteral("开票人"), -1);
        m_head.checker = rules->positions.value(QStringLiteral("复核人"), -1);
    } else {
        m_body.unit = rules->positions.value(QStringLiteral("计量单位"), -1);
        m_body.goods = rules->positions.value(QStringLiteral("货物名称"), -1);
        m_body.model = rules->positions.value(QStringLiteral("规格型号"), -1);
    }
    return *rules;
}

int ImportRules::fieldPosition(bool isHead, const QString& name) {
    return fieldRules(isHead).positions.value(name, -1);
}

int ImportRules::bodyFieldCount() {
    return int(fieldRules(false).fields.size());
}

bool ImportRules::inValueList(const QString& value, const QString& list) {
    if (list.isEmpty()) return false;
    return list.split(u',', Qt::KeepEmptyParts, Qt::CaseSensitive).contains(value, Qt::CaseSensitive);
}

QString ImportRules::mapTaxName(const QString& kind, const QString& taxName) {
    if (!m_itemMapLoaded) {
        const RecordsetPtr rs =
            requireConnection(m_config.get()).query(QStringLiteral("Select * from t_ItemMap"));
        const int fieldName = rs->fieldIndex(QStringLiteral("FFieldName"));
        const int taxData = rs->fieldIndex(QStringLiteral("FTaxData"));
        const int qorData = rs->fieldIndex(QStringLiteral("FQorData"));
        const int qorDataID = rs->fieldIndex(QStringLiteral("FQorDataID"));
        if (fieldName < 0 || taxData < 0 || qorData < 0 || qorDataID < 0)
            throw DbError(3265, QStringLiteral("t_ItemMap 缺少对照字段。"));
        QHash<QString, QHash<QString, ItemMapEntry>> map;
        for (const QVariantList& row : rs->allRows()) {
            if (row.value(fieldName).isNull() || row.value(taxData).isNull()) continue;
            ItemMapEntry& e = map[row.value(fieldName).toString()][row.value(taxData).toString()];
            if (++e.count == 1) {
                e.qorData = nullToText(row.value(qorData));
                e.qorDataID = nullToText(row.value(qorDataID));
            }
        }
        m_itemMap = std::move(map);
        m_itemMapLoaded = true;
    }
    const bool wantsID = kind == u"unitID";
    const auto byKind = m_itemMap.constFind(wantsID ? QStringLiteral("unit") : kind);
    if (byKind == m_itemMap.constEnd()) return taxName;
    const auto it = byKind->constFind(taxName);
    // No mapping, or an ambiguous one: the name is looked up as it stands.
    if (it == byKind->constEnd() || it->count != 1) return taxName;
    return wantsID ? it->qorDataID : it->qorData;
}

std::optional<FieldMap> ImportRules::loadHeadDefaults(bool isHead) {
    if (!m_config) return std::nullopt;
    if (isHead && m_headDefaults) return m_headDefaults;
    FieldMap map;
    const RecordsetPtr rs = m_config->query(QStringLiteral("Select * from t_qorDefault where FisHead=") +
                                            m_config->dialect().boolLiteral(isHead));
    for (rs->first(); !rs->atEnd(); rs->next())
        map.set(nullToText(rs->value(QStringLiteral("FFieldName"))), rs->value(QStringLiteral("FDefault")));
    if (isHead) m_headDefaults = map;
    return map;
}

template <typename MakeQuery>
bool ImportRules::lookup(QHash<QString, LookupResult>& cache, const QString& key, const MakeQuery& makeQuery,
                         LookupResult& result) {
    const auto it = cache.constFind(key);
    if (it != cache.constEnd()) {
        result = *it;
        return true;
    }
    ++m_lookupCount;
    const std::pair<QString, QVariantList> query = makeQuery();
    const RecordsetPtr rs = openRs(m_acct.get(), query.first, query.second);
    if (!rs) return false;
    result.rows = rs->recordCount();
    result.first = result.rows > 0 ? nullToValue(rs->valueAt(0, 0)) : QVariant();
    result.firstText = result.first.toString();
    cache.insert(key, result);
    return true;
}

bool ImportRules::checkLine(const QString& line, bool isHead, ImportLine& out) {
    ImportLine v;
    v.fields.swap(out.fields); // the room of the line before, reused
    if (!cutLine(line, isHead, v)) return false;
    out = std::move(v);
    return true;
}

bool ImportRules::cutLine(const QString& line, bool isHead, ImportLine& v) {
    if (!m_config) return false;
    try {
        const Rules& rules = fieldRules(isHead);
        v.text = line;
        v.fields.reserve(rules.fields.size());
        cutFields(QStringView(v.text), v.fields);
        // The tax software leaves out trailing empty fields together with their separators.
        while (v.fields.size() < rules.fields.size())
            v.fields.append(QStringView());
        if (v.fields.size() != rules.fields.size()) {
            showMsg(isHead ? QStringLiteral("发票头字段数不正确!") : QStringLiteral("发票体字段数不正确!"));
            return false;
        }
        for (int i = 0; i < v.fields.size(); ++i) {
            const FieldRule& r = rules.fields[i];
            const QStringView piece = v.fields[i];
            if (r.checked && !piece.isEmpty() && !r.validValues.contains(piece)) {
                showMsg(r.name + u'[' + piece.toString() + QStringLiteral("]不在预设范围内!"));
                return false;
            }
        }
        return true;
    } catch (const DbError&) {
        return false;
    }
}

bool ImportRules::parseInvoiceLine(const QString& line, bool isHead, ImportLine& out) {
    ImportLine v;
    v.fields.swap(out.fields);
    if (!cutLine(line, isHead, v)) return false;
    try {
        if (!(isHead ? resolveHead(v) : resolveBody(v))) return false;
        out = std::move(v);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

bool ImportRules::resolveUser(const QString& field, const QString& name, QVariant& id) {
    const QString mapped = mapTaxName(QStringLiteral("user"), name);
    LookupResult r;
    const auto query = [&] {
        return std::pair{QStringLiteral("Select FUserID from t_User where fname=?"), QVariantList{mapped}};
    };
    if (!lookup(m_users, mapped, query, r)) return false;
    if (r.rows != 1) {
        showMsg(field + u'[' + name + QStringLiteral("]不存在或存在相同的记录!"));
        return false;
    }
    id = r.first;
    return true;
}

bool ImportRules::resolveHead(ImportLine& v) {
    resolvedKey(m_resolvedKey,
                {v.fieldView(m_head.customer), v.fieldView(m_head.biller), v.fieldView(m_head.checker)});
    const auto resolved = m_resolvedHeads.constFind(m_resolvedKey);
    if (resolved != m_resolvedHeads.constEnd()) {
        v.customer = (*resolved)[0];
        v.biller = (*resolved)[1];
        v.checker = (*resolved)[2];
        return true;
    }
    const QString customer = v.field(m_head.customer);
    const QString mapped = mapTaxName(QStringLiteral("customer"), customer);
    LookupResult r;
    const auto query = [&] {
        return std::pair{QStringLiteral("Select FItemID from t_Organization where  fname=?"),
                         QVariantList{mapped}};
    };
    if (!lookup(m_customers, mapped, query, r)) return false;
    if (r.rows != 1) {
        showMsg(QStringLiteral("购方名称[") + customer + QStringLiteral("]不存在或存在相同的记录!"));
        return false;
    }
    v.customer = r.first;
    if (!resolveUser(QStringLiteral("开票人"), v.field(m_head.biller), v.biller)) return false;
    // An invoice need not have been checked: an empty checker stays empty.
    const QString checker = v.field(m_head.checker);
    if (!checker.isEmpty() && !resolveUser(QStringLiteral("复核人"), checker, v.checker)) return false;
    m_resolvedHeads.insert(m_resolvedKey, {v.customer, v.biller, v.checker});
    return true;
}

bool ImportRules::resolveBody(ImportLine& v) {
    resolvedKey(m_resolvedKey,
                {v.fieldView(m_body.unit), v.fieldView(m_body.goods), v.fieldView(m_body.model)});
    const auto resolved = m_resolvedBodies.constFind(m_resolvedKey);
    if (resolved != m_resolvedBodies.constEnd()) {
        v.unit = resolved->first;
        v.item = resolved->second;
        return true;
    }
    const QString unit = v.field(m_body.unit);
    const QString mappedUnit = mapTaxName(QStringLiteral("unit"), unit);
    LookupResult r;
    const auto unitQuery = [&] {
        return std::pair{QStringLiteral("Select FMeasureUnitID from t_MeasureUnit where fname=?"),
                         QVariantList{mappedUnit}};
    };
    if (!lookup(m_units, mappedUnit, unitQuery, r)) return false;
    // A unit name used in several unit groups needs the mapping's identifier to tell them apart. Without
    // one the name itself would be compared with the identifier column: no unit has a name for its
    // identifier, and a server refuses the comparison outright.
    if (r.rows > 1) {
        bool isNumber = false;
        const QString mappedId = mapTaxName(QStringLiteral("unitID"), unit);
        const qlonglong id = mappedId.trimmed().toLongLong(&isNumber);
        const auto idQuery = [&] {
            return std::pair{
                QStringLiteral("Select FMeasureUnitID from t_MeasureUnit where FMeasureUnitID=?"),
                QVariantList{id}};
        };
        if (!isNumber)
            r = LookupResult{};
        else if (!lookup(m_unitIds, mappedId, idQuery, r))
            return false;
    }
    if (r.rows == 0) {
        showMsg(QStringLiteral("计量单位[") + unit + QStringLiteral("]不存在!"));
        return false;
    }
    const QVariant unitID = r.first;

    const QString goods = v.field(m_body.goods);
    const QString model = v.field(m_body.model);
    const QString mappedGoods = mapTaxName(QStringLiteral("prod"), goods);
    const QString mappedModel = model.isEmpty() ? QString() : mapTaxName(QStringLiteral("model"), model);
    // Every goods line asks again: the key is put together in a buffer that is kept.
    m_key.resize(0);
    m_key += mappedGoods;
    m_key += QChar(0x1f);
    m_key += r.firstText;
    if (!model.isEmpty()) {
        m_key += QChar(0x1f);
        m_key += mappedModel;
    }
    const auto productQuery = [&] {
        QString sql = QStringLiteral(
            "Select FItemID from t_icitem where fname=? and FUnitGroupID =(Select FUnitGroupID "
            "from t_MeasureUnit where FMeasureUnitID=?)");
        QVariantList params{mappedGoods, unitID};
        if (!model.isEmpty()) {
            sql += QStringLiteral(" And Fmodel = ?");
            params << mappedModel;
        }
        return std::pair{sql, params};
    };
    if (!lookup(m_products, m_key, productQuery, r)) return false;
    if (r.rows != 1) {
        showMsg(QStringLiteral("货物名称[") + goods + QStringLiteral("]不存在或者和其规格型号[") + model +
                QStringLiteral("],计量单位[") + unit + QStringLiteral("]不匹配!"));
        return false;
    }
    v.unit = unitID;
    v.item = r.first;
    m_resolvedBodies.insert(m_resolvedKey, {v.unit, v.item});
    return true;
}
