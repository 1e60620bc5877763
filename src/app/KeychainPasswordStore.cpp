#include "app/KeychainPasswordStore.h"

#ifdef Q_OS_WIN
// Windows keeps them in the user's Credential Manager (generic credentials, one per accounting set).
#include <windows.h>
// after windows.h, whose types it uses
#include <wincred.h>

namespace {
std::wstring target(const QString& name) {
    return (QStringLiteral("Taxferry/acctset/") + name).toStdWString();
}
} // namespace

std::optional<QString> KeychainPasswordStore::read(const QString& name) {
    PCREDENTIALW cred = nullptr;
    if (!CredReadW(target(name).c_str(), CRED_TYPE_GENERIC, 0, &cred)) return std::nullopt;
    QString password = QString::fromUtf16(reinterpret_cast<const char16_t*>(cred->CredentialBlob),
                                          qsizetype(cred->CredentialBlobSize / sizeof(char16_t)));
    CredFree(cred);
    return password;
}

bool KeychainPasswordStore::write(const QString& name, const QString& password) {
    std::wstring key = target(name);
    std::wstring user = QStringLiteral("Taxferry").toStdWString();
    CREDENTIALW cred = {};
    cred.Type = CRED_TYPE_GENERIC;
    cred.TargetName = key.data();
    cred.UserName = user.data();
    cred.CredentialBlobSize = DWORD(password.size() * sizeof(char16_t));
    cred.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<ushort*>(password.utf16()));
    // Kept for the user on this machine, not carried to others with a roaming profile.
    cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&cred, 0) == TRUE;
}

void KeychainPasswordStore::remove(const QString& name) {
    CredDeleteW(target(name).c_str(), CRED_TYPE_GENERIC, 0);
}

#else
#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace {
const QString kService = QStringLiteral("Taxferry");

// Runs a job to its end; true when it succeeded.
bool run(QKeychain::Job& job, const QString& name) {
    job.setAutoDelete(false);
    job.setKey(QStringLiteral("acctset/") + name);
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    job.start();
    if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return job.error() == QKeychain::NoError;
}
} // namespace

std::optional<QString> KeychainPasswordStore::read(const QString& name) {
    QKeychain::ReadPasswordJob job(kService);
    if (!run(job, name)) return std::nullopt;
    return job.textData();
}

bool KeychainPasswordStore::write(const QString& name, const QString& password) {
    QKeychain::WritePasswordJob job(kService);
    job.setTextData(password);
    return run(job, name);
}

void KeychainPasswordStore::remove(const QString& name) {
    QKeychain::DeletePasswordJob job(kService);
    run(job, name);
}
#endif
