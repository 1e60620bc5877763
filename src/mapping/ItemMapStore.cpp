#include "mapping/ItemMapStore.h"

#include "common/DbProcedures.h"

#include "common/Messages.h"

namespace {
struct Kind {
    const char16_t* fieldName;
    const char16_t* table;
};
constexpr Kind kKinds[ItemMapKindCount] = {{u"customer", u"QORHead"},
                                           {u"prod", u"QORBody"},
                                           {u"unit", u"QORBody"},
                                           {u"user", u"QORHead"},
                                           {u"model", u"QORBody"}};

const Kind& kindAt(int kgIndex) {
    if (kgIndex < 0 || kgIndex >= ItemMapKindCount)
        throw DbError(ErrNo::General, QStringLiteral("基础资料类别无效: ") + QString::number(kgIndex));
    return kKinds[kgIndex];
}
} // namespace

QString itemMapFieldName(int kgIndex) {
    return QString::fromUtf16(kindAt(kgIndex).fieldName);
}
QString itemMapTable(int kgIndex) {
    return QString::fromUtf16(kindAt(kgIndex).table);
}

QString trimSpaces(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

RecordsetPtr loadItemMap(Connection& conn, int linkID, int kgIndex) {
    return conn.query(QStringLiteral("Select * From t_ItemMap Where FLinkID=? And FFieldName=?"),
                      {linkID, itemMapFieldName(kgIndex)});
}

bool saveItemMap(Connection* conn, int linkID, const QList<QList<ItemMapPair>>& kinds) {
    try {
        if (!conn) throw DbError(3709, QStringLiteral("连接已关闭，不能执行此操作。"));
        TransactionGuard trans(*conn);
        conn->exec(QStringLiteral("Delete From t_ItemMap Where FLinkID = ?"), {linkID});
        const QString insert = QStringLiteral("Insert Into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, "
                                              "FQorDataID, FTaxData) Values (?, ?, ?, ?, ?, ?)");
        for (int k = 0; k < kinds.size() && k < ItemMapKindCount; ++k) {
            const QString fieldName = itemMapFieldName(k);
            const QString table = itemMapTable(k);
            for (const ItemMapPair& p : kinds[k]) {
                const QString a = trimSpaces(p.qorData);
                const QString b = trimSpaces(p.taxData);
                if (a.isEmpty() || b.isEmpty()) continue;
                // A typed name has no identifier: stored as empty text, not as Null.
                QString id = trimSpaces(p.qorDataID);
                if (id.isNull()) id = QStringLiteral("");
                conn->exec(insert, {linkID, table, fieldName, a, id, b});
            }
        }
        trans.commit();
        return true;
    } catch (const std::exception&) {
        // The guard has rolled the delete back: the table is exactly as before.
        showMsg(QStringLiteral("保存失败。对每种基础资料，不得定义相同的税控系统基础资料名称！"));
        return false;
    }
}
