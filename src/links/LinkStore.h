#pragma once
// The only writer of the link tables. Each method is one complete operation on the configuration
// connection; the class keeps no state between calls, so callers make one per use. Every method
// reports its own failure (showMsg/showErr) and then returns false. The export engine
// (ExportEngine) holds one.

#include "common/Connection.h"
#include "common/FieldMap.h"
#include <QString>
#include <optional>

class Session;

class LinkStore {
public:
    explicit LinkStore(const Session& session) : m_session(session) {}

    // Replaces t_TaxField by the given rows.
    bool saveTaxField(const RecordList& fields);
    // Restores t_TaxField from its factory copy.
    bool loadTaxDefaultField();
    // Restores the factory mappings of the links that t_DefaultDetail holds mappings for; every other
    // link keeps its own.
    bool loadTaxDefaultDetail();
    // Item 1 is the t_BaseInfo row, items 2… its t_Detail rows (head rows first). isEdit non-zero
    // rewrites the link named by item 1's FID; otherwise the link gets the largest FID + 1.
    bool saveLink(const RecordList& records, int isEdit);
    // Removes a link and its mappings.
    bool deleteLink(const QString& linkId);

protected:
    const Session& m_session;
};

// A link's key as the number it is; nothing when the text is no whole number (it names no link).
std::optional<qlonglong> parseLinkKey(const QString& key);

// The links of one direction ("0" export), in FID order. Throws DbError.
RecordsetPtr loadLinks(Connection& config, const QString& direction);
// The names of the links whose mappings the factory format restores. Throws DbError.
QStringList factoryLinkNames(Connection& config);
// The t_BaseInfo row of a link; empty when there is none. Throws DbError.
RecordsetPtr loadLink(Connection& config, const QString& key);
