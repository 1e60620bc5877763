#pragma once
// The name pairs of t_ItemMap (configuration database): one list per base-data kind, read and
// written by the mapping editor MappingEditor, read by the import.

#include "common/Connection.h"
#include <QList>
#include <QString>

// The kinds in tab order; the index is also the index of the editor's grid in Kg.
constexpr int ItemMapKindCount = 5;
QString itemMapFieldName(int kgIndex); // "customer", "prod", "unit", "user", "model"
QString itemMapTable(int kgIndex);     // "QORHead" or "QORBody"

// One grid row as the editor holds it: accounting name, its hidden identifier, tax-system name.
struct ItemMapPair {
    QString qorData;
    QString qorDataID;
    QString taxData;
};

// The rows of one kind of one mapping set, in the order the database returns them. Throws DbError.
RecordsetPtr loadItemMap(Connection& conn, int linkID, int kgIndex);

// Replaces every pair of the mapping set with the given rows (kinds[i] holds grid i) in one transaction.
// Names are trimmed; a row with either name empty is skipped. On any failure the table is left as it
// was, the duplicate-name message is shown and the result is false.
bool saveItemMap(Connection* conn, int linkID, const QList<QList<ItemMapPair>>& kinds);

// Removes leading and trailing spaces (only spaces, as the tax files pad with them).
QString trimSpaces(const QString& text);
