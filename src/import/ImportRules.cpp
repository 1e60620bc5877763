#include "ImportRules.h"

#include "ImportReader.h"
#include "common/modFunction.h"

namespace {
QString Key(const QString& a, const QString& b) {
    return a + QChar(0x1f) + b;
}

} // namespace

ImportRules::ImportRules(ConnectionPtr acct, ConnectionPtr config)
    : m_acct(std::move(acct)), m_config(std::move(config)) {}

void ImportRules::BeginImport() {
    m_headRules.reset();
    m_bodyRules.reset();
    m_headDefaults.reset();
    m_lookups.clear();
    m_lookupCount = 0;
}

const QList<ImportRules::FieldRule>& ImportRules::FieldRules(bool isHead) {
    std::optional<QList<FieldRule>>& rules = isHead ? m_headRules : m_bodyRules;
    if (rules) return *rules;
    const RecordsetPtr rs =
        RequireConnection(m_config.get())
            .Query(QStringLiteral("Select * from t_ImportField where FisHead=") +
                   m_config->dialect().boolLiteral(isHead) + QStringLiteral(" order by Forder"));
    QList<FieldRule> list;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        FieldRule r;
        r.name = NullToText(rs->value(QStringLiteral("FFieldDesc")));
        r.needValid = IsTrueValue(rs->value(QStringLiteral("FisNeedValid")));
        r.validType = NullToText(rs->value(QStringLiteral("FValidType")));
        r.validValue = NullToText(rs->value(QStringLiteral("FValidValue")));
        list.append(r);
    }
    rules = std::move(list);
    return *rules;
}

int ImportRules::BodyFieldCount() {
    return int(FieldRules(false).size());
}

bool ImportRules::InValueList(const QString& value, const QString& list) {
    if (list.isEmpty()) return false;
    return list.split(u',', Qt::KeepEmptyParts, Qt::CaseSensitive).contains(value, Qt::CaseSensitive);
}

QString ImportRules::MapTaxName(const QString& kind, const QString& taxName) {
    if (!m_itemMapLoaded) {
        const RecordsetPtr rs =
            RequireConnection(m_config.get()).Query(QStringLiteral("Select * from t_ItemMap"));
        const int fieldName = rs->FieldIndex(QStringLiteral("FFieldName"));
        const int taxData = rs->FieldIndex(QStringLiteral("FTaxData"));
        const int qorData = rs->FieldIndex(QStringLiteral("FQorData"));
        const int qorDataID = rs->FieldIndex(QStringLiteral("FQorDataID"));
        if (fieldName < 0 || taxData < 0 || qorData < 0 || qorDataID < 0)
            throw DbError(3265, QStringLiteral("t_ItemMap 缺少对照字段。"));
        QHash<QString, ItemMapEntry> map;
        for (const QVariantList& row : rs->allRows()) {
            if (row.value(fieldName).isNull() || row.value(taxData).isNull()) continue;
            ItemMapEntry& e = map[Key(row.value(fieldName).toString(), row.value(taxData).toString())];
            if (++e.count == 1) {
                e.qorData = NullToText(row.value(qorData));
                e.qorDataID = NullToText(row.value(qorDataID));
            }
        }
        m_itemMap = std::move(map);
        m_itemMapLoaded = true;
    }
    const bool wantsID = kind == u"unitID";
    const auto it = m_itemMap.constFind(Key(wantsID ? QStringLiteral("unit") : kind, taxName));
    // No mapping, or an ambiguous one: the name is looked up as it stands.
    if (it == m_itemMap.constEnd() || it->count != 1) return taxName;
    return wantsID ? it->qorDataID : it->qorData;
}

std::optional<FieldMap> ImportRules::LoadHeadDefaults(bool isHead) {
    if (!m_config) return std::nullopt;
    if (isHead && m_headDefaults) return m_headDefaults;
    FieldMap map;
    const RecordsetPtr rs = m_config->Query(QStringLiteral("Select * from t_qorDefault where FisHead=") +
                                            m_config->dialect().boolLiteral(isHead));
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        map.Set(NullToText(rs->value(QStringLiteral("FFieldName"))), rs->value(QStringLiteral("FDefault")));
    if (isHead) m_headDefaults = map;
    return map;
}

bool ImportRules::Lookup(const QString& sql, const QVariantList& params, LookupResult& result) {
    QString key = sql;
    for (const QVariant& p : params)
        key += QChar(0x1f) + p.toString();
    const auto it = m_lookups.constFind(key);
    if (it != m_lookups.constEnd()) {
        result = *it;
        return true;
    }
    ++m_lookupCount;
    const RecordsetPtr rs = OpenRs(m_acct.get(), sql, params);
    if (!rs) return false;
    result.rows = rs->RecordCount();
    result.first = result.rows > 0 ? NullToValue(rs->valueAt(0, 0)) : QVariant();
    m_lookups.insert(key, result);
    return true;
}

bool ImportRules::ParseInvoiceLine(const QString& line, bool isHead, FieldMap& values) {
    if (!m_config) return false;
    try {
        const QList<FieldRule>& rules = FieldRules(isHead);
        const QStringList pieces = CutFields(line);
        if (pieces.size() != rules.size()) {
            ShowMsg(isHead ? QStringLiteral("发票头字段数不正确!") : QStringLiteral("发票体字段数不正确!"));
            return false;
        }
        FieldMap v;
        for (int i = 0; i < pieces.size(); ++i) {
            const FieldRule& r = rules[i];
            v.Set(r.name, pieces[i]);
            if (r.needValid && !pieces[i].isEmpty() && r.validType == u"2" &&
                !InValueList(pieces[i], r.validValue)) {
                ShowMsg(r.name + u'[' + pieces[i] + QStringLiteral("]不在预设范围内!"));
                return false;
            }
        }
        if (!(isHead ? ResolveHead(v) : ResolveBody(v))) return false;
        values = v;
        return true;
    } catch (const DbError&) {
        return false;
    }
}

bool ImportRules::ResolveUser(FieldMap& values, const QString& key) {
    const QString name = values.Get(key).toString();
    LookupResult r;
    if (!Lookup(QStringLiteral("Select FUserID from t_User where fname=?"),
                {MapTaxName(QStringLiteral("user"), name)}, r))
        return false;
    if (r.rows != 1) {
        ShowMsg(key + u'[' + name + QStringLiteral("]不存在或存在相同的记录!"));
        return false;
    }
    values.Set(key, r.first);
    return true;
}

bool ImportRules::ResolveHead(FieldMap& values) {
    const QString customer = values.Get(QStringLiteral("购方名称")).toString();
    LookupResult r;
    if (!Lookup(QStringLiteral("Select FItemID from t_Organization where  fname=?"),
                {MapTaxName(QStringLiteral("customer"), customer)}, r))
        return false;
    if (r.rows != 1) {
        ShowMsg(QStringLiteral("购方名称[") + customer + QStringLiteral("]不存在或存在相同的记录!"));
        return false;
    }
    values.Set(QStringLiteral("购方名称"), r.first);
    if (!ResolveUser(values, QStringLiteral("开票人"))) return false;
    // An invoice need not have been checked: an empty checker stays empty.
    if (!values.Get(QStringLiteral("复核人")).toString().isEmpty() &&
        !ResolveUser(values, QStringLiteral("复核人")))
        return false;
    return true;
}

bool ImportRules::ResolveBody(FieldMap& values) {
    const QString unit = values.Get(QStringLiteral("计量单位")).toString();
    LookupResult r;
    if (!Lookup(QStringLiteral("Select FMeasureUnitID from t_MeasureUnit where fname=?"),
                {MapTaxName(QStringLiteral("unit"), unit)}, r))
        return false;
    // A unit name used in several unit groups needs the mapping's identifier to tell them apart. Without
    // one the name itself would be compared with the identifier column: no unit has a name for its
    // identifier, and a server refuses the comparison outright.
    if (r.rows > 1) {
        bool isNumber = false;
        const qlonglong id = MapTaxName(QStringLiteral("unitID"), unit).trimmed().toLongLong(&isNumber);
        if (!isNumber)
            r = LookupResult{};
        else if (!Lookup(QStringLiteral("Select FMeasureUnitID from t_MeasureUnit where FMeasureUnitID=?"),
                         {id}, r))
            return false;
    }
    if (r.rows == 0) {
        ShowMsg(QStringLiteral("计量单位[") + unit + QStringLiteral("]不存在!"));
        return false;
    }
    const QVariant unitID = r.first;

    const QString goods = values.Get(QStringLiteral("货物名称")).toString();
    const QString model = values.Get(QStringLiteral("规格型号")).toString();
    QString sql =
        QStringLiteral("Select FItemID from t_icitem where fname=? and FUnitGroupID =(Select FUnitGroupID "
                       "from t_MeasureUnit where FMeasureUnitID=?)");
    QVariantList params{MapTaxName(QStringLiteral("prod"), goods), unitID};
    if (!model.isEmpty()) {
        sql += QStringLiteral(" And Fmodel = ?");
        params << MapTaxName(QStringLiteral("model"), model);
    }
    if (!Lookup(sql, params, r)) return false;
    if (r.rows != 1) {
        ShowMsg(QStringLiteral("货物名称[") + goods + QStringLiteral("]不存在或者和其规格型号[") + model +
                QStringLiteral("],计量单位[") + unit + QStringLiteral("]不匹配!"));
        return false;
    }
    values.Set(QStringLiteral("计量单位"), unitID);
    values.Set(QStringLiteral("货物名称"), r.first);
    return true;
}
