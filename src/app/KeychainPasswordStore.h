#pragma once
// The desktop's keychain as the password store of the accounting sets: Secret Service or KWallet through
// QtKeychain, Windows' Credential Manager on Windows. Each call waits for its answer: the login needs the
// password before it can go on.

#include "app/AccountSets.h"

class KeychainPasswordStore : public PasswordStore {
public:
    std::optional<QString> read(const QString& name) override;
    bool write(const QString& name, const QString& password) override;
    void remove(const QString& name) override;
};
