#pragma once
// The desktop's keychain (Secret Service, KWallet) as the password store of the accounting sets, through
// QtKeychain. Each call waits for its job: the login needs the password before it can go on.

#include "AcctSets.h"

class KeychainPasswordStore : public PasswordStore {
public:
    std::optional<QString> Read(const QString& name) override;
    bool Write(const QString& name, const QString& password) override;
    void Remove(const QString& name) override;
};
