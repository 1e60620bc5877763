// taxferry-batch import --acct CONN [--config PATH] FILE: the import of the import window without it.
#include "Batch.h"
#include "common/modBasic.h"
#include "common/modDefine.h"
#include "common/modFunction.h"
#include "import/ImportEngine.h"
#include <cstdio>

int RunBatchImport(const QStringList& args) {
    const QString acct = BatchOption(args, QStringLiteral("--acct"));
    const QString config = BatchOption(args, QStringLiteral("--config"));
    const QStringList files = BatchPositional(args, {QStringLiteral("--acct"), QStringLiteral("--config")});
    if (acct.isEmpty() || files.size() != 1) {
        std::fputs("usage: taxferry-batch import --acct CONN [--config Taxlink.db] FILE\n", stderr);
        // Only a committed import exits with 0; everything else is a failure.
        return 1;
    }
    try {
        gcnAcct = Connection::open(acct);
        gcnConfig =
            Connection::open(config.isEmpty() ? ConfigConnStringFor(AppFolder())
                                              : QStringLiteral("Provider=SQLite;Data Source=") + config);
    } catch (const DbError& e) {
        ShowMsg(e.description());
        ShowMsg(QStringLiteral("引入失败!"));
        return 1;
    }
    bool ok = false;
    {
        ImportEngine engine(gcnAcct, gcnConfig);
        ok = engine.ImportToQor(files.first());
    }
    ShowMsg(ok ? QStringLiteral("引入成功!") : QStringLiteral("引入失败!"));
    CloseConnection(gcnConfig);
    CloseConnection(gcnAcct);
    gcnConfig.reset();
    gcnAcct.reset();
    return ok ? 0 : 1;
}
