#include "clsSaveData.h"

#include "common/modDefine.h"
#include "common/modFunction.h"
#include <functional>

namespace {

// Link identifiers are bound as numbers; a text that is not a whole number would otherwise match
// nothing and the operation would report success for a link it never touched.
qlonglong LinkNumber(const QVariant& id) {
    bool ok = false;
    const qlonglong n = id.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw DbError(ErrNo::Database, QStringLiteral("关联标识“%1”不是有效的整数。").arg(id.toString()));
    return n;
}

void ExecuteInsert(Connection& conn, const QString& table, const FieldMap& row) {
    const SqlStatement st = BuildInsertSql(table, &row, conn);
    conn.Execute(st.sql, st.values);
}

void DeleteLinkRows(Connection& conn, qlonglong id) {
    conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_BaseInfo")) + QStringLiteral(" where FID=?"),
                 {id});
    conn.Execute(
        conn.dialect().deleteFrom(QStringLiteral("t_Detail")) + QStringLiteral(" where FBaseInfoID=?"), {id});
}

// Runs one complete change in one transaction of the configuration connection (immediate: a new
// identifier is read and used under the same write lock). True after the commit; a failure is rolled
// back and reported under the method's name.
bool RunLinkChange(const char* procName, const std::function<void(Connection&)>& change) {
    try {
        Connection& conn = ConfigConnection();
        TransactionGuard trans(conn, true);
        change(conn);
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QString::fromLatin1(procName), e);
        return false;
    }
}

} // namespace

bool clsSaveData::SaveTaxField(const RecordList& Fields) {
    return RunLinkChange("SaveTaxField", [&](Connection& conn) {
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")));
        for (int i = 1; i <= Fields.Count(); ++i)
            ExecuteInsert(conn, QStringLiteral("t_TaxField"), Fields.Item(i));
    });
}

bool clsSaveData::LoadTaxDefaultField() {
    return RunLinkChange("LoadTaxDefaultField", [](Connection& conn) {
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")));
        conn.Execute(QStringLiteral("Insert into t_TaxField Select * from t_TaxDefaultField"));
    });
}

bool clsSaveData::LoadTaxDefaultDetail() {
    return RunLinkChange("LoadTaxDefaultDetail", [](Connection& conn) {
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_Detail")));
        conn.Execute(QStringLiteral("Insert into t_Detail Select * from t_DefaultDetail"));
    });
}

bool clsSaveData::SaveLink(const RecordList& Records, int IsEdit) {
    return RunLinkChange("SaveLink", [&](Connection& conn) {
        if (Records.Count() < 1) throw DbError(ErrNo::General, QStringLiteral("关联没有表头记录。"));
        FieldMap head = Records.Item(1);
        QString id;
        if (IsEdit != 0) {
            id =
                head.Contains(QStringLiteral("FID")) ? head.Get(QStringLiteral("FID")).toString() : QString();
            DeleteLinkRows(conn, LinkNumber(id));
        } else {
            id = NullToText(GetFieldValue(&conn, QStringLiteral("Select Max(FID) +1 from t_BaseInfo"), 0,
                                          QStringLiteral("1")));
        }
        if (head.Contains(QStringLiteral("FID"))) head.Set(QStringLiteral("FID"), id);
        ExecuteInsert(conn, QStringLiteral("t_BaseInfo"), head);
        for (int i = 2; i <= Records.Count(); ++i) {
            FieldMap row = Records.Item(i);
            row.Set(QStringLiteral("FBaseInfoID"), id);
            ExecuteInsert(conn, QStringLiteral("t_Detail"), row);
        }
    });
}

bool clsSaveData::DeleteLink(const QString& LinkID) {
    return RunLinkChange("DeleteLink", [&](Connection& conn) { DeleteLinkRows(conn, LinkNumber(LinkID)); });
}
