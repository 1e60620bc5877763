#pragma once
// The ADO type codes of fields and a materialised result set read row by row, as the platform's
// recordset is read.

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

// Type codes of fields, as ADO numbers them (the program's own rules are written against them).
namespace AdoType {
constexpr int SmallInt = 2, Integer = 3, Single = 4, Double = 5, Currency = 6, Boolean = 11,
              UnsignedTinyInt = 17, BigInt = 20, Numeric = 131, Date = 7, DBDate = 133, DBTimeStamp = 135,
              VarChar = 200, VarWChar = 202, LongVarWChar = 203, Binary = 128, LongVarBinary = 205;
} // namespace AdoType

struct FieldInfo {
    QString name;
    int type = AdoType::VarWChar; // ADO type code
    int length = 0;               // characters a text column holds, as the database declares it; 0 unknown
};

class Recordset {
public:
    Recordset() = default;
    Recordset(QList<FieldInfo> fields, QList<QVariantList> rows);

    int fieldCount() const { return m_fields.size(); }
    QString fieldName(int i) const { return m_fields.value(i).name; }
    int fieldType(int i) const { return m_fields.value(i).type; }
    int fieldIndex(const QString& name) const; // -1 when missing; case-insensitive
    const QList<FieldInfo>& fields() const { return m_fields; }

    // Cursor over the rows that pass the filter.
    bool atEnd() const { return m_pos >= m_view.size(); }
    bool isEmpty() const { return m_view.isEmpty(); }
    void first() { m_pos = 0; }
    void next() {
        if (m_pos < m_view.size()) ++m_pos;
    }
    void last() { m_pos = m_view.isEmpty() ? 0 : m_view.size() - 1; }
    int recordCount() const { return m_view.size(); }

    // Value of the current row; throws DbError past the last row or for an unknown field.
    QVariant value(const QString& name) const;
    QVariant value(int index) const;
    QVariant operator[](const QString& name) const { return value(name); }
    // Value of a given row of the filtered view (no cursor move).
    QVariant valueAt(int row, int index) const;

    // Client-side filter: only rows whose fields equal the given values (exact, case-sensitive text
    // compare) stay visible. An empty list clears the filter. The cursor goes to the first row.
    void setFilter(const QList<QPair<QString, QVariant>>& equals);
    void setFilter(std::function<bool(const QVariantList&)> predicate);
    void clearFilter();

    const QList<QVariantList>& allRows() const { return m_rows; }

private:
    QList<FieldInfo> m_fields;
    QList<QVariantList> m_rows;
    QList<int> m_view; // indexes into m_rows
    int m_pos = 0;
    const QVariantList& current() const;
};

using RecordsetPtr = std::shared_ptr<Recordset>;
