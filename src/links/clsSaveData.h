#pragma once
// The only writer of the link tables. Each method is one complete operation on the configuration
// connection; the class keeps no state between calls, so callers make one per use. Every method
// reports its own failure (ShowMsg/ShowErr) and then returns false. The export engine
// (clsSaveDataExport) holds one.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QString>
#include <optional>

class Session;

class clsSaveData {
public:
    explicit clsSaveData(const Session& session) : m_session(session) {}

    // Replaces t_TaxField by the given rows.
    bool SaveTaxField(const RecordList& Fields);
    // Restores t_TaxField from its factory copy.
    bool LoadTaxDefaultField();
    // Restores the factory mappings of the links that t_DefaultDetail holds mappings for; every other
    // link keeps its own.
    bool LoadTaxDefaultDetail();
    // Item 1 is the t_BaseInfo row, items 2… its t_Detail rows (head rows first). IsEdit non-zero
    // rewrites the link named by item 1's FID; otherwise the link gets the largest FID + 1.
    bool SaveLink(const RecordList& Records, int IsEdit);
    // Removes a link and its mappings.
    bool DeleteLink(const QString& LinkID);

protected:
    const Session& m_session;
};

// A link's key as the number it is; nothing when the text is no whole number (it names no link).
std::optional<qlonglong> ParseLinkKey(const QString& key);

// The links of one direction ("0" export), in FID order. Throws DbError.
RecordsetPtr LoadLinks(Connection& config, const QString& direction);
// The names of the links whose mappings the factory format restores. Throws DbError.
QStringList FactoryLinkNames(Connection& config);
// The t_BaseInfo row of a link; empty when there is none. Throws DbError.
RecordsetPtr LoadLink(Connection& config, const QString& key);
