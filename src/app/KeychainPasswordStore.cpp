#include "app/KeychainPasswordStore.h"

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
