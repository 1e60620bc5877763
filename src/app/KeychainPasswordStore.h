#pragma once
// The desktop's keychain (Secret Service, KWallet) as the password store of the accounting sets, through
// QtKeychain. Each call waits for its job: the login needs the password before it can go on.

#include "app/AccountSets.h"

class KeychainPasswordStore : public PasswordStore {
public:
    std::optional<QString> read(const QString& name) override;
    bool write(const QString& name, const QString& password) override;
    void remove(const QString& name) override;
};
