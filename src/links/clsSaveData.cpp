#include "clsSaveData.h"

#include "common/Session.h"
#include "common/modFunction.h"
#include <functional>

std::optional<qlonglong> ParseLinkKey(const QString& key) {
    bool ok = false;
    const qlonglong n = key.trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return n;
}

RecordsetPtr LoadLinks(Connection& config, const QString& direction) {
    return config.Query(QStringLiteral("Select * from t_BaseInfo where FInOrOut=? Order by FID"),
                        {direction});
}

QStringList FactoryLinkNames(Connection& config) {
    const RecordsetPtr rs = config.Query(QStringLiteral(
        "select FName from t_BaseInfo where FID in (select FBaseInfoID from t_DefaultDetail) order by FID"));
    QStringList names;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        names << NullToText(rs->value(0));
    return names;
}

RecordsetPtr LoadLink(Connection& config, const QString& key) {
    const std::optional<qlonglong> id = ParseLinkKey(key);
    if (!id) return std::make_shared<Recordset>();
    return config.Query(QStringLiteral("Select * from t_BaseInfo Where FID=?"), {*id});
}

namespace {

// Link identifiers are bound as numbers; a text that is not a whole number would otherwise match
// nothing and the operation would report success for a link it never touched.
qlonglong LinkNumber(const QVariant& id) {
    const std::optional<qlonglong> n = ParseLinkKey(id.toString());
    if (!n) throw DbError(ErrNo::Database, QStringLiteral("关联标识“%1”不是有效的整数。").arg(id.toString()));
    return *n;
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
bool RunLinkChange(const Session& session, const char* procName,
                   const std::function<void(Connection&)>& change) {
    try {
        Connection& conn = session.Config();
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

// The fields of the text file; the headings of an installed platform template stay.
const QString kTextFields = QStringLiteral(" where FFormat is null or FFormat=''");

bool clsSaveData::SaveTaxField(const RecordList& Fields) {
    return RunLinkChange(m_session, "SaveTaxField", [&](Connection& conn) {
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")) + kTextFields);
        for (int i = 1; i <= Fields.Count(); ++i)
            ExecuteInsert(conn, QStringLiteral("t_TaxField"), Fields.Item(i));
    });
}

bool clsSaveData::LoadTaxDefaultField() {
    return RunLinkChange(m_session, "LoadTaxDefaultField", [](Connection& conn) {
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")) + kTextFields);
        conn.Execute(QStringLiteral("Insert into t_TaxField (Fid,Fname,FFieldType,FisHead) Select "
                                    "Fid,Fname,FFieldType,FisHead from t_TaxDefaultField"));
    });
}

bool clsSaveData::LoadTaxDefaultDetail() {
    return RunLinkChange(m_session, "LoadTaxDefaultDetail", [](Connection& conn) {
        // Only the links the factory has mappings for get them back: the user's own links keep theirs.
        conn.Execute(conn.dialect().deleteFrom(QStringLiteral("t_Detail")) +
                     QStringLiteral(" where FBaseInfoID in (select FBaseInfoID from t_DefaultDetail)"));
        const bool idsFree =
            conn.Query(QStringLiteral(
                           "select count(*) from t_Detail where FID in (select FID from t_DefaultDetail)"))
                ->value(0)
                .toLongLong() == 0;
        if (idsFree) {
            conn.Execute(QStringLiteral("Insert into t_Detail Select * from t_DefaultDetail"));
        } else {
            // A user's mapping holds a factory number: the factory rows are numbered anew, in their order.
            conn.Execute(
                QStringLiteral("Insert into t_Detail (FBaseInfoID,FTaxID,FisFormula,FQORField,FisHead) "
                               "Select FBaseInfoID,FTaxID,FisFormula,FQORField,FisHead from "
                               "t_DefaultDetail order by FID"));
        }
    });
}

bool clsSaveData::SaveLink(const RecordList& Records, int IsEdit) {
    return RunLinkChange(m_session, "SaveLink", [&](Connection& conn) {
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
    return RunLinkChange(m_session, "DeleteLink",
                         [&](Connection& conn) { DeleteLinkRows(conn, LinkNumber(LinkID)); });
}
