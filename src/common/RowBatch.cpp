#include "common/RowBatch.h"

#include "common/DbProcedures.h"

#include "common/Messages.h"
#include <algorithm>

RowBatch::RowBatch(Connection& conn, QString table)
    : m_conn(conn), m_table(std::move(table)), m_columns(conn.tableColumns(m_table)) {
    for (int i = 0; i < m_columns.size(); ++i)
        m_index.insert(m_columns[i].name.toCaseFolded(), i);
}

int RowBatch::column(const QString& name) const {
    return m_index.value(name.toCaseFolded(), -1);
}

RowBatch::Row RowBatch::emptyRow() const {
    Row r;
    r.values.resize(m_columns.size());
    r.set.resize(int(m_columns.size()));
    return r;
}

RowBatch::Row* RowBatch::find(int col, const QVariant& value) {
    if (col < 0) return nullptr;
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (it->set.testBit(col) && it->values[col] == value) return &*it;
    return nullptr;
}

void RowBatch::flush() {
    if (m_rows.isEmpty()) return;
    // One statement per set of columns (and per what the server binds at once): rows of a few shapes that
    // alternate (checked and unchecked heads, lines with and without a discount) would otherwise cost a
    // round trip each.
    const int limit = m_conn.dialect().maxParameters();
    QList<QList<const Row*>> groups;
    for (const Row& row : m_rows) {
        auto same = std::find_if(groups.begin(), groups.end(),
                                 [&](const QList<const Row*>& g) { return g.first()->set == row.set; });
        if (same == groups.end())
            groups.append({&row});
        else
            same->append(&row);
    }
    for (const QList<const Row*>& group : groups) {
        const QBitArray& set = group.first()->set;
        const int count = set.count(true);
        if (count == 0)
            throw DbError(ErrNo::General, QStringLiteral("表“%1”中没有可写入的字段。").arg(m_table));
        QStringList columns;
        for (int c = 0; c < m_columns.size(); ++c)
            if (set.testBit(c)) columns << m_columns[c].name;
        const bool copy = m_conn.canCopyIn();
        if (copy || m_conn.runsDirectly()) {
            QList<int> at; // the row's positions of the group's columns
            for (int c = 0; c < m_columns.size(); ++c)
                if (set.testBit(c)) at << c;
            const auto value = [&](qsizetype r, int c) -> const QVariant& { return group[r]->values[at[c]]; };
            if (copy)
                m_conn.copyIn(m_table, columns, group.size(), value);
            else
                m_conn.insertRows(m_table, columns, group.size(), value);
            continue;
        }
        const QString one = u'(' + QStringList(count, QStringLiteral("?")).join(u',') + u')';
        const QString head = QStringLiteral("Insert Into ") + m_table + QStringLiteral(" (") +
                             columns.join(u',') + QStringLiteral(") values ");
        const int perStatement = std::max(1, limit / count);
        for (qsizetype from = 0; from < group.size(); from += perStatement) {
            const qsizetype rows = std::min<qsizetype>(perStatement, group.size() - from);
            QVariantList values;
            values.reserve(rows * count);
            for (qsizetype r = from; r < from + rows; ++r)
                for (int c = 0; c < m_columns.size(); ++c)
                    if (set.testBit(c)) values << group[r]->values[c];
            m_conn.exec(head + QStringList(rows, one).join(u','), values);
        }
    }
    m_rows.clear();
}

BoundRowBatch::BoundRowBatch(Connection& conn, QString table)
    : m_conn(conn), m_plain(conn, std::move(table)) {}

BoundRowBatch::Row BoundRowBatch::emptyRow() {
    if (m_spare.empty()) return Row(size_t(m_plain.columns().size()));
    Row row = std::move(m_spare.back());
    m_spare.pop_back();
    return row;
}

BoundRowBatch::Value BoundRowBatch::fromVariant(const QVariant& value) {
    if (!value.isNull()) {
        switch (value.typeId()) {
        case QMetaType::LongLong:
            return qint64(*static_cast<const qlonglong*>(value.constData()));
        case QMetaType::Double:
            return *static_cast<const double*>(value.constData());
        case QMetaType::QString:
            return *static_cast<const QString*>(value.constData());
        default:
            break;
        }
    }
    return value;
}

QVariant BoundRowBatch::toVariant(const Value& value) {
    switch (value.index()) {
    case 1:
        return QVariant(qlonglong(*std::get_if<qint64>(&value)));
    case 2:
        return QVariant(*std::get_if<double>(&value));
    case 3:
        return QVariant(*std::get_if<QString>(&value));
    case 4:
        return *std::get_if<QVariant>(&value);
    default:
        return QVariant();
    }
}

BoundRowBatch::Row* BoundRowBatch::find(int col, const Value& value) {
    if (col < 0) return nullptr;
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it) {
        const Value& v = (*it)[size_t(col)];
        if (v.index() == 0) continue;
        if (v.index() == value.index() && v.index() != 4 ? v == value : toVariant(v) == toVariant(value))
            return &*it;
    }
    return nullptr;
}

void BoundRowBatch::flush() {
    if (m_rows.empty()) return;
    const QList<FieldInfo>& columns = m_plain.columns();
    if (m_conn.canCopyIn() || !m_conn.runsDirectly()) {
        for (const Row& row : m_rows) {
            RowBatch::Row plain = m_plain.emptyRow();
            for (int c = 0; c < int(row.size()); ++c)
                if (row[size_t(c)].index() != 0) RowBatch::set(plain, c, toVariant(row[size_t(c)]));
            m_plain.add(std::move(plain));
        }
        m_rows.clear();
        m_plain.flush();
        return;
    }
    // Grouped by the columns set, as RowBatch groups its rows; the first 64 columns compared at once.
    const auto firstColumns = [](const Row& row) {
        quint64 set = 0;
        for (size_t c = 0; c < row.size() && c < 64; ++c)
            if (row[c].index() != 0) set |= quint64(1) << c;
        return set;
    };
    const auto sameColumns = [](const Row& a, const Row& b) {
        for (size_t c = 64; c < a.size(); ++c)
            if ((a[c].index() == 0) != (b[c].index() == 0)) return false;
        return true;
    };
    std::vector<std::pair<quint64, std::vector<const Row*>>> shaped;
    for (const Row& row : m_rows) {
        const quint64 set = firstColumns(row);
        auto same = std::find_if(shaped.begin(), shaped.end(), [&](const auto& g) {
            return g.first == set && sameColumns(*g.second.front(), row);
        });
        if (same == shaped.end())
            shaped.push_back({set, {&row}});
        else
            same->second.push_back(&row);
    }
    std::vector<std::vector<const Row*>> groups;
    groups.reserve(shaped.size());
    for (auto& g : shaped)
        groups.push_back(std::move(g.second));
    for (const std::vector<const Row*>& group : groups) {
        QStringList names;
        QList<int> at;
        for (int c = 0; c < columns.size(); ++c)
            if ((*group.front())[size_t(c)].index() != 0) {
                names << columns[c].name;
                at << c;
            }
        if (at.isEmpty())
            throw DbError(ErrNo::General, QStringLiteral("表“%1”中没有可写入的字段。").arg(m_plain.table()));
        m_conn.insertRows(m_plain.table(), names, at, qsizetype(group.size()),
                          [&](qsizetype r) { return group[size_t(r)]->data(); });
    }
    for (Row& row : m_rows) {
        for (Value& value : row)
            value = std::monostate();
        m_spare.push_back(std::move(row));
    }
    m_rows.clear();
}
