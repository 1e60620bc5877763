#include "clsSaveData.h"

#include "common/modDefine.h"
#include "common/modFunction.h"

namespace {

Connection& ConfigConnection() {
    if (!gcnConfig) throw DbError(91, QStringLiteral("对象变量或 With 块变量未设置"));
    return *gcnConfig;
}

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

} // namespace

bool clsSaveData::SaveTaxField(const RecordList& Fields) {
    try {
        Connection& conn = ConfigConnection();
        TransactionGuard trans(conn, true);
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")));
        for (int i = 1; i <= Fields.Count(); ++i)
            ExecuteInsert(conn, QStringLiteral("t_TaxField"), Fields.Item(i));
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("SaveTaxField"), e);
        return false;
    }
}

bool clsSaveData::LoadTaxDefaultField() {
    try {
        Connection& conn = ConfigConnection();
        TransactionGuard trans(conn, true);
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")));
        conn.Execute(QStringLiteral("Insert into t_TaxField Select * from t_TaxDefaultField"));
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("LoadTaxDefaultField"), e);
        return false;
    }
}

bool clsSaveData::LoadTaxDefaultDetail() {
    try {
        Connection& conn = ConfigConnection();
        TransactionGuard trans(conn, true);
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_Detail")));
        conn.Execute(QStringLiteral("Insert into t_Detail Select * from t_DefaultDetail"));
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("LoadTaxDefaultDetail"), e);
        return false;
    }
}

bool clsSaveData::SaveLink(const RecordList& Records, int IsEdit) {
    try {
        Connection& conn = ConfigConnection();
        if (Records.Count() < 1) throw DbError(ErrNo::General, QStringLiteral("关联没有表头记录。"));
        // Immediate: the new identifier is read and used under the same write lock.
        TransactionGuard trans(conn, true);
        FieldMap head = Records.Item(1);
        QString id;
        if (IsEdit != 0) {
            id =
                head.Contains(QStringLiteral("FID")) ? head.Get(QStringLiteral("FID")).toString() : QString();
            const qlonglong n = LinkNumber(id);
            conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_BaseInfo")) +
                             QStringLiteral(" where FID=?"),
                         {n});
            conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_Detail")) +
                             QStringLiteral(" where FBaseInfoID=?"),
                         {n});
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
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("SaveLink"), e);
        return false;
    }
}

bool clsSaveData::DeleteLink(const QString& LinkID) {
    try {
        Connection& conn = ConfigConnection();
        const qlonglong n = LinkNumber(LinkID);
        TransactionGuard trans(conn, true);
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_BaseInfo")) + QStringLiteral(" where FID=?"),
                     {n});
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_Detail")) +
                         QStringLiteral(" where FBaseInfoID=?"),
                     {n});
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("DeleteLink"), e);
        return false;
    }
}
