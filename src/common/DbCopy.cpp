#include "common/DbCopy.h"

#include "common/DbProcedures.h"

#include "common/Values.h"
#include <QDate>

QStringList sqliteTables(Connection& sqlite) {
    QStringList out;
    const RecordsetPtr rs = sqlite.query(QStringLiteral(
        "select name from sqlite_master where type='table' and name not like 'sqlite_%' order by rowid"));
    for (rs->first(); !rs->atEnd(); rs->next())
        out << rs->value(0).toString();
    return out;
}

namespace {
QVariant forColumn(const QVariant& v, int type) {
    if (!v.isValid() || v.isNull()) return QVariant();
    switch (type) {
    case AdoType::Boolean:
        if (v.typeId() == QMetaType::QString) {
            const QString t = v.toString().trimmed();
            return QVariant(t.compare(u"true", Qt::CaseInsensitive) == 0 ||
                            (isNumericText(t) && t.toDouble() != 0));
        }
        return QVariant(v.toDouble() != 0);
    case AdoType::Date:
    case AdoType::DBDate:
    case AdoType::DBTimeStamp: {
        if (v.typeId() != QMetaType::QString) return v;
        const QDate d = QDate::fromString(v.toString().trimmed().left(10), QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? QVariant(d) : v;
    }
    default:
        if (isNumericAdoType(type) || v.typeId() == QMetaType::QString) return v;
        if (v.typeId() == QMetaType::Double) return numberText(v.toDouble());
        return v.toString();
    }
}
} // namespace

void copyTableRows(Connection& from, Connection& to, const QStringList& tables) {
    TransactionGuard tx(to);
    for (const QString& table : tables) {
        const QList<FieldInfo> target = to.tableColumns(table);
        const RecordsetPtr rs = from.query(QStringLiteral("select * from ") + table);
        QStringList cols, marks;
        QList<int> source, types;
        for (const FieldInfo& f : target) {
            const int i = rs->fieldIndex(f.name);
            if (i < 0) continue;
            cols << f.name;
            marks << QStringLiteral("?");
            source << i;
            types << f.type;
        }
        if (cols.isEmpty()) continue;
        const QString sql = QStringLiteral("insert into ") + table + QStringLiteral(" (") + cols.join(u',') +
                            QStringLiteral(") values (") + marks.join(u',') + u')';
        for (const QVariantList& row : rs->allRows()) {
            QVariantList values;
            for (int k = 0; k < source.size(); ++k)
                values << forColumn(row.value(source[k]), types[k]);
            to.exec(sql, values);
        }
    }
    tx.commit();
}
