#include "app/AppStore.h"

#include "common/DbProcedures.h"

#include "common/Values.h"
#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

QString hashPassword(const QString& password, const QByteArray& salt) {
    return QString::fromLatin1(
        QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, 20000, 32)
            .toHex());
}

QByteArray newPasswordSalt() {
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    return salt.toHex();
}

std::optional<LoginUser> findLoginUser(Connection& acct, const QString& name) {
    const RecordsetPtr rs = acct.query(
        QStringLiteral("select FUserID,FForbidden,FPasswordHash,FSalt from t_User where FName=?"), {name});
    if (rs->atEnd() || !isListedUser(rs->value(QStringLiteral("FUserID")).toLongLong())) return std::nullopt;
    LoginUser u;
    u.id = rs->value(QStringLiteral("FUserID"));
    u.forbidden = isTrueValue(rs->value(QStringLiteral("FForbidden")));
    u.hash = nullToText(rs->value(QStringLiteral("FPasswordHash")));
    u.salt = nullToText(rs->value(QStringLiteral("FSalt")));
    return u;
}

bool passwordMatches(const LoginUser& user, const QString& password) {
    if (user.hash.isEmpty()) return password.isEmpty();
    return hashPassword(password, user.salt.toLatin1()) == user.hash;
}

void changePassword(Connection& acct, const LoginUser& user, const QString& newPassword) {
    const QByteArray salt = newPasswordSalt();
    const QString hash = newPassword.isEmpty() ? QString() : hashPassword(newPassword, salt);
    acct.exec(QStringLiteral("update t_User set FPasswordHash=?, FSalt=? where FUserID=?"),
              {hash, hash.isEmpty() ? QString() : QString::fromLatin1(salt), user.id});
}

QString readProfileValue(Connection& acct, const QString& section, const QString& key) {
    const RecordsetPtr rs = acct.query(
        QStringLiteral("select FValue from t_SystemProfile where FCategory=? and FKey=?"), {section, key});
    return rs->atEnd() ? QString() : rs->value(0).toString();
}

std::optional<ItemLookKind> itemLookKindOf(const QString& kind) {
    if (kind == u"SelCust")
        return ItemLookKind{QStringLiteral("选择客户"), QStringLiteral("客户代码"),
                            QStringLiteral("客户名称"),
                            QStringLiteral("select FNumber,FName from t_Organization order by FNumber")};
    if (kind == u"SelDepartment")
        return ItemLookKind{QStringLiteral("选择部门"), QStringLiteral("部门代码"),
                            QStringLiteral("部门名称"),
                            QStringLiteral("select FNumber,FName from t_Department order by FNumber")};
    if (kind == u"SelBaseEmployee")
        return ItemLookKind{QStringLiteral("选择职员"), QStringLiteral("职员代码"),
                            QStringLiteral("职员名称"),
                            QStringLiteral("select FNumber,FName from t_Emp order by FNumber")};
    if (kind == u"SelLoginUser")
        return ItemLookKind{QStringLiteral("选择用户"), QStringLiteral("用户名"), QStringLiteral("说明"),
                            QStringLiteral("select FName,FDescription from t_User where FUserID>") +
                                QString::number(kLastSystemUser) + QStringLiteral(" order by FUserID")};
    return std::nullopt;
}

RecordsetPtr itemLookRows(Connection& acct, const ItemLookKind& kind) {
    return acct.query(kind.sql);
}
