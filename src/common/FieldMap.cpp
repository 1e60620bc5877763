#include "common/FieldMap.h"

int FieldMap::indexOf(const QString& key) const {
    return m_index.value(key.toCaseFolded(), -1);
}

void FieldMap::set(const QString& key, const QVariant& value) {
    const int i = indexOf(key);
    if (i >= 0) {
        m_values[i] = value;
        return;
    }
    m_index.insert(key.toCaseFolded(), m_keys.size());
    m_keys.append(key);
    m_values.append(value);
}

QVariant FieldMap::get(const QString& key) const {
    const int i = indexOf(key);
    return i >= 0 ? m_values[i] : QVariant();
}

bool FieldMap::contains(const QString& key) const {
    return indexOf(key) >= 0;
}

void FieldMap::remove(const QString& key) {
    const int i = indexOf(key);
    if (i < 0) return;
    m_keys.removeAt(i);
    m_values.removeAt(i);
    m_index.clear();
    for (int k = 0; k < m_keys.size(); ++k)
        m_index.insert(m_keys[k].toCaseFolded(), k);
}
