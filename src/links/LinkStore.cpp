#include "links/LinkStore.h"

#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include <functional>

std::optional<qlonglong> parseLinkKey(const QString& key) {
    bool ok = false;
    const qlonglong n = key.trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return n;
}

RecordsetPtr loadLinks(Connection& config, const QString& direction) {
    return config.query(QStringLiteral("Select * from t_BaseInfo where FInOrOut=? Order by FID"),
                        {direction});
}

QStringList factoryLinkNames(Connection& config) {
    const RecordsetPtr rs = config.query(QStringLiteral(
        "select FName from t_BaseInfo where FID in (select FBaseInfoID from t_DefaultDetail) order by FID"));
    QStringList names;
    for (rs->first(); !rs->atEnd(); rs->next())
        names << nullToText(rs->value(0));
    return names;
}

RecordsetPtr loadLink(Connection& config, const QString& key) {
    const std::optional<qlonglong> id = parseLinkKey(key);
    if (!id) return std::make_shared<Recordset>();
    return config.query(QStringLiteral("Select * from t_BaseInfo Where FID=?"), {*id});
}

namespace {

// Link identifiers are bound as numbers; a text that is not a whole number would otherwise match
// nothing and the operation would report success for a link it never touched.
qlonglong linkNumber(const QVariant& id) {
    const std::optional<qlonglong> n = parseLinkKey(id.toString());
    if (!n) throw DbError(ErrNo::Database, QStringLiteral("关联标识“%1”不是有效的整数。").arg(id.toString()));
    return *n;
}

void executeInsert(Connection& conn, const QString& table, const FieldMap& row) {
    const SqlStatement st = buildInsertSql(table, &row, conn);
    conn.exec(st.sql, st.values);
}

void deleteLinkRows(Connection& conn, qlonglong id) {
    conn.exec(conn.dialect().deleteFrom(QStringLiteral("t_BaseInfo")) + QStringLiteral(" where FID=?"), {id});
    conn.exec(conn.dialect().deleteFrom(QStringLiteral("t_Detail")) + QStringLiteral(" where FBaseInfoID=?"),
              {id});
}

// Runs one complete change in one transaction of the configuration connection (immediate: a new
// identifier is read and used under the same write lock). True after the commit; a failure is rolled
// back and reported under the method's name.
bool runLinkChange(const Session& session, const char* procName,
                   const std::function<void(Connection&)>& change) {
    try {
        Connection& conn = session.config();
        TransactionGuard trans(conn, true);
        change(conn);
        trans.commit();
        return true;
    } catch (const std::exception& e) {
        showErr(QString::fromLatin1(procName), e);
        return false;
    }
}

} // namespace

// The fields of the text file; the headings of an installed platform template stay.
const QString kTextFields = QStringLiteral(" where FFormat is null or FFormat=''");

bool LinkStore::saveTaxField(const RecordList& fields) {
    return runLinkChange(m_session, "SaveTaxField", [&](Connection& conn) {
        conn.exec(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")) + kTextFields);
        for (int i = 1; i <= fields.count(); ++i)
            executeInsert(conn, QStringLiteral("t_TaxField"), fields.item(i));
    });
}

bool LinkStore::loadTaxDefaultField() {
    return runLinkChange(m_session, "LoadTaxDefaultField", [](Connection& conn) {
        conn.exec(conn.dialect().deleteFrom(QStringLiteral("t_TaxField")) + kTextFields);
        conn.exec(QStringLiteral("Insert into t_TaxField (Fid,Fname,FFieldType,FisHead) Select "
                                 "Fid,Fname,FFieldType,FisHead from t_TaxDefaultField"));
    });
}

bool LinkStore::loadTaxDefaultDetail() {
    return runLinkChange(m_session, "LoadTaxDefaultDetail", [](Connection& conn) {
        // Only the links the factory has mappings for get them back: the user's own links keep theirs.
        conn.exec(conn.dialect().deleteFrom(QStringLiteral("t_Detail")) +
                  QStringLiteral(" where FBaseInfoID in (select FBaseInfoID from t_DefaultDetail)"));
        const bool idsFree =
            conn.query(QStringLiteral(
                           "select count(*) from t_Detail where FID in (select FID from t_DefaultDetail)"))
                ->value(0)
                .toLongLong() == 0;
        if (idsFree) {
            conn.exec(QStringLiteral("Insert into t_Detail Select * from t_DefaultDetail"));
        } else {
            // A user's mapping holds a factory number: the factory rows are numbered anew, in their order.
            conn.exec(QStringLiteral("Insert into t_Detail (FBaseInfoID,FTaxID,FisFormula,FQORField,FisHead) "
                                     "Select FBaseInfoID,FTaxID,FisFormula,FQORField,FisHead from "
                                     "t_DefaultDetail order by FID"));
        }
    });
}

bool LinkStore::saveLink(const RecordList& records, int isEdit) {
    return runLinkChange(m_session, "SaveLink", [&](Connection& conn) {
        if (records.count() < 1) throw DbError(ErrNo::General, QStringLiteral("关联没有表头记录。"));
        FieldMap head = records.item(1);
        QString id;
        if (isEdit != 0) {
            id =
                head.contains(QStringLiteral("FID")) ? head.get(QStringLiteral("FID")).toString() : QString();
            deleteLinkRows(conn, linkNumber(id));
        } else {
            id = nullToText(getFieldValue(&conn, QStringLiteral("Select Max(FID) +1 from t_BaseInfo"), 0,
                                          QStringLiteral("1")));
        }
        if (head.contains(QStringLiteral("FID"))) head.set(QStringLiteral("FID"), id);
        executeInsert(conn, QStringLiteral("t_BaseInfo"), head);
        for (int i = 2; i <= records.count(); ++i) {
            FieldMap row = records.item(i);
            row.set(QStringLiteral("FBaseInfoID"), id);
            executeInsert(conn, QStringLiteral("t_Detail"), row);
        }
    });
}

bool LinkStore::deleteLink(const QString& linkId) {
    return runLinkChange(m_session, "DeleteLink",
                         [&](Connection& conn) { deleteLinkRows(conn, linkNumber(linkId)); });
}
