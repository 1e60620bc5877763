#pragma once
// Keyed record and ordered list of records: rows travel in them from the windows to the stores and
// to buildInsertSql. Keys keep the case they were first set with but are compared without regard to case.

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

class FieldMap {
public:
    void set(const QString& key, const QVariant& value);
    QVariant get(const QString& key) const; // invalid QVariant when missing
    QVariant operator[](const QString& key) const { return get(key); }
    bool contains(const QString& key) const;
    void remove(const QString& key);
    int count() const { return m_keys.size(); }
    const QStringList& keys() const { return m_keys; } // in order of first setting

private:
    QStringList m_keys;
    QList<QVariant> m_values;
    QHash<QString, int> m_index; // case-folded key -> position
    int indexOf(const QString& key) const;
};

class RecordList {
public:
    void add(const FieldMap& item) { m_items.append(item); }
    int count() const { return m_items.size(); }
    // 1-based, as the accounting product's list object.
    FieldMap& item(int index) { return m_items[index - 1]; }
    const FieldMap& item(int index) const { return m_items[index - 1]; }

private:
    QList<FieldMap> m_items;
};
