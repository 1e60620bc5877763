#include "batch/FuzzSupport.h"

#include "common/LoginProps.h"
#include "common/MessageSink.h"
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {
// Rejected input ends in a message; the fuzzer only cares that it ends.
class SilentSink : public MessageSink {
public:
    void info(const QString&) override {}
    void error(const QString&) override {}
    bool question(const QString&) override { return false; }
};

QTemporaryDir& tempFolder() {
    static QTemporaryDir dir;
    return dir;
}

ConnectionPtr makeDatabase(const QString& path, const QStringList& scripts) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) qFatal("cannot create %s", qPrintable(path));
    }
    ConnectionPtr c = Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    for (const QString& s : scripts)
        runSqlScriptFile(*c, QStringLiteral(TAXFERRY_DATA_DIR "/") + s);
    return c;
}
} // namespace

QString fuzzPath(const QString& name) {
    return tempFolder().filePath(name);
}

Session& fuzzSession() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit the database drivers go first, and a connection closed after them would crash.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    static SilentSink sink;
    static Session& session = *new Session;
    Q_UNUSED(app);
    if (!session.gcnAcct) {
        setMessageSink(&sink);
        const QString acct = fuzzPath(QStringLiteral("acct.db"));
        session.gcnConfig =
            makeDatabase(fuzzPath(QStringLiteral("Taxlink.db")),
                         {QStringLiteral("config_schema.sql"), QStringLiteral("config_factory.sql")});
        session.gcnAcct =
            makeDatabase(acct, {QStringLiteral("acct_schema.sql"), QStringLiteral("acct_demo.sql")});
        session.gsAcctProps =
            loginPropsText(QStringLiteral("Provider=SQLite;Data Source=") + quotedConnectionValue(acct));
    }
    return session;
}
