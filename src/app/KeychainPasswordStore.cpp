#include "KeychainPasswordStore.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace {
const QString kService = QStringLiteral("Taxferry");

// Runs a job to its end; true when it succeeded.
bool Run(QKeychain::Job& job, const QString& name) {
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

std::optional<QString> KeychainPasswordStore::Read(const QString& name) {
    QKeychain::ReadPasswordJob job(kService);
    if (!Run(job, name)) return std::nullopt;
    return job.textData();
}

bool KeychainPasswordStore::Write(const QString& name, const QString& password) {
    QKeychain::WritePasswordJob job(kService);
    job.setTextData(password);
    return Run(job, name);
}

void KeychainPasswordStore::Remove(const QString& name) {
    QKeychain::DeletePasswordJob job(kService);
    Run(job, name);
}
