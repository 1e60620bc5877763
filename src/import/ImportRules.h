#pragma once
// Field rules and name resolution of the import: cutting a head or goods line into the fields named
// by t_ImportField, checking value lists, and turning the tax system's names into accounting
// identifiers, through the name pairs of t_ItemMap where the user has mapped a name.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QHash>
#include <QString>
#include <optional>

class ImportRules {
public:
    ImportRules(ConnectionPtr acct, ConnectionPtr config);

    // Forgets the field rules, defaults and name lookups of the last import; the t_ItemMap rows stay
    // loaded as long as this object (a second import from the same window uses the same mappings).
    void BeginImport();

    // True when the line has the right number of fields, passes its value lists and all its names
    // resolve; values then holds the fields by name, names replaced by identifiers.
    bool ParseInvoiceLine(const QString& line, bool isHead, FieldMap& values);
    static bool InValueList(const QString& value, const QString& list);
    // Kind: customer, user, unit, unitID, prod, model. A name without exactly one mapping comes back
    // unchanged. Throws DbError when t_ItemMap cannot be read.
    QString MapTaxName(const QString& kind, const QString& taxName);
    // The fixed ICSale values of t_qorDefault; nothing without a configuration connection.
    // Throws DbError when the table cannot be read.
    std::optional<FieldMap> LoadHeadDefaults(bool isHead);
    // Number of body fields of t_ImportField. Throws DbError.
    int BodyFieldCount();

    bool ItemMapLoaded() const { return m_itemMapLoaded; }
    // Statements run on the accounting set for names since BeginImport (repeated names cost none).
    int LookupCount() const { return m_lookupCount; }

private:
    struct FieldRule {
        QString name;
        bool needValid = false;
        QString validType;
        QString validValue;
    };
    struct LookupResult {
        int rows = 0;
        QVariant first;
    };
    const QList<FieldRule>& FieldRules(bool isHead);
    // Runs a name lookup once per import; false when the database refused it (already reported).
    bool Lookup(const QString& sql, const QVariantList& params, LookupResult& result);
    bool ResolveHead(FieldMap& values);
    bool ResolveBody(FieldMap& values);
    bool ResolveUser(FieldMap& values, const QString& key);

    ConnectionPtr m_acct;
    ConnectionPtr m_config;

    // t_ItemMap by kind and tax-system name: how many rows, and the first one's accounting name and id.
    struct ItemMapEntry {
        int count = 0;
        QString qorData;
        QString qorDataID;
    };
    bool m_itemMapLoaded = false;
    QHash<QString, ItemMapEntry> m_itemMap;

    std::optional<QList<FieldRule>> m_headRules;
    std::optional<QList<FieldRule>> m_bodyRules;
    std::optional<FieldMap> m_headDefaults;
    QHash<QString, LookupResult> m_lookups;
    int m_lookupCount = 0;
};
