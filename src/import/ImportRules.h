#pragma once
// Field rules and name resolution of the import: cutting a head or goods line into the fields named
// by t_ImportField, checking value lists, and turning the tax system's names into accounting
// identifiers, through the name pairs of t_ItemMap where the user has mapped a name. The rules are read
// once per import, and the positions of the fields the import reads are found once from them.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// One head or goods line, cut into its fields, with its names resolved.
struct ImportLine {
    // The line and its fields, pieces of it: a goods line is cut into a dozen fields and reads few of them.
    // The line is never changed, so the pieces stay valid in every copy.
    QString text;
    QList<QStringView> fields;
    // Head: the customer, the biller and (when there is one) the checker; body: the unit and the product.
    QVariant customer, biller, checker;
    QVariant unit, item;
    // The field of a position (-1 or past the end: the null text), as a piece of the line or a text.
    QStringView fieldView(int position) const {
        return position >= 0 && position < fields.size() ? fields[position] : QStringView();
    }
    QString field(int position) const { return fieldView(position).toString(); }
};

class ImportRules {
public:
    ImportRules(ConnectionPtr acct, ConnectionPtr config);

    // Forgets the field rules, defaults and name lookups of the last import; the t_ItemMap rows stay
    // loaded as long as this object (a second import from the same window uses the same mappings).
    void beginImport();

    // True when the line has the right number of fields, passes its value lists and all its names
    // resolve; out then holds the fields and the identifiers.
    bool parseInvoiceLine(const QString& line, bool isHead, ImportLine& out);
    // The same without resolving the names: the number of fields and the value lists.
    bool checkLine(const QString& line, bool isHead, ImportLine& out);
    static bool inValueList(const QString& value, const QString& list);
    // Kind: customer, user, unit, unitID, prod, model. A name without exactly one mapping comes back
    // unchanged. Throws DbError when t_ItemMap cannot be read.
    QString mapTaxName(const QString& kind, const QString& taxName);
    // The fixed ICSale values of t_qorDefault, in the order read; nothing without a configuration
    // connection. Throws DbError when the table cannot be read.
    std::optional<FieldMap> loadHeadDefaults(bool isHead);
    // Number of body fields of t_ImportField. Throws DbError.
    int bodyFieldCount();
    // The position of a named field of the head or body line (the last one of that name, as the last
    // wins when two share a name); -1 when the line has none. Throws DbError.
    int fieldPosition(bool isHead, const QString& name);

    bool itemMapLoaded() const { return m_itemMapLoaded; }
    // Statements run on the accounting set for names since beginImport (repeated names cost none).
    int lookupCount() const { return m_lookupCount; }

private:
    // checkLine into v, a line with nothing set but the room of its fields.
    bool cutLine(const QString& line, bool isHead, ImportLine& v);
    struct FieldRule {
        QString name;
        bool checked = false; // a value list applies
        QStringList validValues;
    };
    struct Rules {
        QList<FieldRule> fields;
        QHash<QString, int> positions;
    };
    struct LookupResult {
        int rows = 0;
        QVariant first;
        QString firstText; // first as text, for the keys of later lookups
    };
    const Rules& fieldRules(bool isHead);
    // Runs a name lookup once per import (cache: the lookup's own key); false when the database refused
    // it (already reported). The statement and its values are made only when the key is new.
    template <typename MakeQuery>
    bool lookup(QHash<QString, LookupResult>& cache, const QString& key, const MakeQuery& makeQuery,
                LookupResult& result);
    bool resolveHead(ImportLine& line);
    bool resolveBody(ImportLine& line);
    bool resolveUser(const QString& field, const QString& name, QVariant& id);

    ConnectionPtr m_acct;
    ConnectionPtr m_config;

    // t_ItemMap by kind and tax-system name: how many rows, and the first one's accounting name and id.
    struct ItemMapEntry {
        int count = 0;
        QString qorData;
        QString qorDataID;
    };
    bool m_itemMapLoaded = false;
    QHash<QString, QHash<QString, ItemMapEntry>> m_itemMap;

    std::optional<Rules> m_headRules;
    std::optional<Rules> m_bodyRules;
    struct HeadPositions {
        int customer = -1, biller = -1, checker = -1;
    };
    struct BodyPositions {
        int unit = -1, goods = -1, model = -1;
    };
    HeadPositions m_head;
    BodyPositions m_body;
    std::optional<FieldMap> m_headDefaults;
    QHash<QString, LookupResult> m_customers, m_users, m_units, m_unitIds, m_products;
    int m_lookupCount = 0;
    QString m_key; // the product lookup's key, built anew for every goods line
    // The unit and product of the goods lines resolved so far, by their unit, goods and model texts: most
    // lines of a file repeat a few products.
    QHash<QString, std::pair<QVariant, QVariant>> m_resolvedBodies;
    // The same for the customer, biller and checker of the heads.
    QHash<QString, std::array<QVariant, 3>> m_resolvedHeads;
    QString m_resolvedKey;
};
