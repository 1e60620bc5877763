#include "ItemMapStore.h"

#include "common/modFunction.h"

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

QString ItemMapFieldName(int kgIndex) {
    return QString::fromUtf16(kindAt(kgIndex).fieldName);
}
QString ItemMapTable(int kgIndex) {
    return QString::fromUtf16(kindAt(kgIndex).table);
}

QString TrimSpaces(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

RecordsetPtr LoadItemMap(Connection& conn, int linkID, int kgIndex) {
    return conn.Query(QStringLiteral("Select * From t_ItemMap Where FLinkID=? And FFieldName=?"),
                      {linkID, ItemMapFieldName(kgIndex)});
}

bool SaveItemMap(Connection* conn, int linkID, const QList<QList<ItemMapPair>>& kinds) {
    try {
        if (!conn) throw DbError(3709, QStringLiteral("连接已关闭，不能执行此操作。"));
        TransactionGuard trans(*conn);
        conn->Execute(QStringLiteral("Delete From t_ItemMap Where FLinkID = ?"), {linkID});
        const QString insert = QStringLiteral("Insert Into t_ItemMap (FLinkID, FTable, FFieldName, FQorData, "
                                              "FQorDataID, FTaxData) Values (?, ?, ?, ?, ?, ?)");
        for (int k = 0; k < kinds.size() && k < ItemMapKindCount; ++k) {
            const QString fieldName = ItemMapFieldName(k);
            const QString table = ItemMapTable(k);
            for (const ItemMapPair& p : kinds[k]) {
                const QString a = TrimSpaces(p.qorData);
                const QString b = TrimSpaces(p.taxData);
                if (a.isEmpty() || b.isEmpty()) continue;
                // A typed name has no identifier: stored as empty text, not as Null.
                QString id = TrimSpaces(p.qorDataID);
                if (id.isNull()) id = QStringLiteral("");
                conn->Execute(insert, {linkID, table, fieldName, a, id, b});
            }
        }
        trans.commit();
        return true;
    } catch (const std::exception&) {
        // The guard has rolled the delete back: the table is exactly as before.
        ShowMsg(QStringLiteral("保存失败。对每种基础资料，不得定义相同的税控系统基础资料名称！"));
        return false;
    }
}
