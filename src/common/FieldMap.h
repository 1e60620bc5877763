#pragma once
// Keyed record and ordered list of records: rows travel in them from the windows to the stores and
// to BuildInsertSql. Keys keep the case they were first set with but are compared without regard to case.

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

class FieldMap {
public:
    void Set(const QString& key, const QVariant& value);
    QVariant Get(const QString& key) const; // invalid QVariant when missing
    QVariant operator[](const QString& key) const { return Get(key); }
    bool Contains(const QString& key) const;
    void Remove(const QString& key);
    int Count() const { return m_keys.size(); }
    const QStringList& Keys() const { return m_keys; } // in order of first setting

private:
    QStringList m_keys;
    QList<QVariant> m_values;
    QHash<QString, int> m_index; // case-folded key -> position
    int indexOf(const QString& key) const;
};

class RecordList {
public:
    void Add(const FieldMap& item) { m_items.append(item); }
    int Count() const { return m_items.size(); }
    // 1-based, as the accounting product's list object.
    FieldMap& Item(int index) { return m_items[index - 1]; }
    const FieldMap& Item(int index) const { return m_items[index - 1]; }

private:
    QList<FieldMap> m_items;
};
