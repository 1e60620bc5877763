#pragma once
// What the program's own host components read and write in the accounting set, without windows: the
// login's users and passwords, the system profile, and the lists of the base-data picker.

#include "common/Connection.h"
#include <QByteArray>
#include <QString>
#include <optional>

// ---- login ------------------------------------------------------------------------------------------
// Password hashes of t_User: PBKDF2 (SHA-256) over the password with a per-user random salt, in hex.
QString hashPassword(const QString& password, const QByteArray& salt);
QByteArray newPasswordSalt();

struct LoginUser {
    QVariant id;
    bool forbidden = false;
    QString hash; // empty: the user has no password yet
    QString salt;
};
// A user who may log in (the product's own accounts, up to 16383, never may); nothing when there is none.
// Throws DbError.
std::optional<LoginUser> findLoginUser(Connection& acct, const QString& name);
// True when the password is the user's (an empty one for a user without a password).
bool passwordMatches(const LoginUser& user, const QString& password);
// Stores a new password (empty: none) with a new salt. Throws DbError.
void changePassword(Connection& acct, const LoginUser& user, const QString& newPassword);

// ---- system profile ---------------------------------------------------------------------------------
// The value of section/key in t_SystemProfile; empty when there is none. Throws DbError.
QString readProfileValue(Connection& acct, const QString& section, const QString& key);

// ---- base-data picker -------------------------------------------------------------------------------
struct ItemLookKind {
    QString caption, codeTitle, nameTitle;
    QString sql; // code and name of every item, in list order
};
// The list of a picker kind ("SelCust", "SelDepartment", "SelBaseEmployee", "SelLoginUser"); nothing for
// an unknown kind.
std::optional<ItemLookKind> itemLookKindOf(const QString& kind);
// The code and name of every item of the kind, in list order. Throws DbError.
RecordsetPtr itemLookRows(Connection& acct, const ItemLookKind& kind);
