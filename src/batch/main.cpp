// taxferry-batch: export and import without windows, for scripts and nightly jobs. Every message the
// engines show goes to stderr, one per line; the exit status is 0 after success, 1 otherwise.
#include "batch/Batch.h"
#include "common/Connection.h"
#include "common/DbProcedures.h"
#include "common/LoginProps.h"
#include "common/Paths.h"
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {
// The messages are written in UTF-8, as on Linux: a console shows them in that code page while the tool
// runs, and gets its own back afterwards (it belongs to the command prompt). Files and pipes get the bytes.
class ConsoleUtf8 {
public:
    ConsoleUtf8() : m_was(GetConsoleOutputCP()) {
        if (m_was != 0 && m_was != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
    }
    ~ConsoleUtf8() {
        if (m_was != 0 && m_was != CP_UTF8) SetConsoleOutputCP(m_was);
    }
    ConsoleUtf8(const ConsoleUtf8&) = delete;
    ConsoleUtf8& operator=(const ConsoleUtf8&) = delete;

private:
    UINT m_was;
};
} // namespace
#endif

static const char* kUsage =
    "usage:\n"
    "  taxferry-batch export --acct CONN [--config Taxlink.db] --link ID --out FILE [--filter "
    "\"v0|v1|...|v13\"] [--include-exported] [--preview]\n"
    "  taxferry-batch import --acct CONN [--config Taxlink.db] [--skip-imported] PATH...\n"
    "  taxferry-batch template FILE.xlsx [--format NAME] [--config Taxlink.db]\n"
    "  taxferry-batch codes import FILE.csv --acct CONN [--code-version TEXT] [--config Taxlink.db]\n"
    "  taxferry-batch codes export FILE.csv [--config Taxlink.db]\n"
    "  taxferry-batch reconcile --acct CONN [--config Taxlink.db] [--filter \"v0|v1|...|v13\"]\n"
    "  taxferry-batch writeback FILE.xlsx --acct CONN [--config Taxlink.db] [--preview]\n"
    "  taxferry-batch --version | --help\n"
    "\n"
    "CONN is an accounting connection string, e.g. \"Provider=SQLite;Data Source=/path/acct.db\".\n"
    "--config defaults to Taxlink.db in the program's folder (in the per-user data folder, "
    "~/.local/share/Taxferry,\n"
    "for an installed program). --filter holds the fourteen filter values\n"
    "(dates yyyy-mm-dd) joined by \"|\"; omitted, nothing is filtered.\n"
    "Invoices exported before, or imported from the tax system, are left out unless --include-exported.\n"
    "--preview writes no file: one line per invoice (单据号, 商品行数, 不含税金额, 税额) and a total on "
    "stdout.\n"
    "--skip-imported leaves out the invoices imported before instead of refusing the file.\n"
    "import takes several files or a folder (its .txt files, in name order): each file is imported on its "
    "own,\n"
    "a file whose invoices were all imported before is skipped, a failed one named on stderr; the last line\n"
    "on stdout counts them, and the exit status is 0 only when none failed.\n"
    "template installs the e-invoice platform's template workbook under NAME for the links whose format is\n"
    "the platform's workbook; its sheets and headings go to stdout.\n"
    "codes import reads the tax-code catalogue from CSV "
    "(商品编码,税收分类编码,简称,企业自编码,优惠政策标识,\n"
    "优惠政策说明,零税率标识), all lines or none, the products found by number in the accounting set;\n"
    "--code-version sets the catalogue's 编码版本号. codes export writes the catalogue in the same form.\n"
    "reconcile lists every exported document of the filter with its state (已开票, 未开票, 已作废, "
    "金额不符,\n"
    "已红冲, 部分红冲): 单据号, 状态, 发票代码-发票号码, 引出不含税金额, 开票不含税金额; then a total per "
    "state.\n"
    "writeback reads the e-invoice platform's list of issued invoices (发票查询统计, exported as .xlsx) and\n"
    "writes their 数电发票号码 back onto the documents exported to the platform, found by the 单据号 at the\n"
    "start of 备注, else by buyer, 金额 and 税额; invoices flushed red in full or cancelled make their "
    "documents\n"
    "exportable again. What was written, and the invoices not found or with several candidates, go to "
    "stdout;\n"
    "--preview prints the same and writes nothing. Exit status 0 once the list was read, 1 when it was "
    "refused.\n"
    "Messages go to stderr, one per line; what was done goes to stdout. Exit status: 0 on success, 1 "
    "otherwise,\n"
    "2 for an option a command does not take or an option without its value.\n";

const char* batchConditions(const QString& filter, QString& conditions) {
    constexpr int kConditionCount = 14;
    // The condition text of the filter dialog: omitted values are empty, so nothing is filtered on them.
    QStringList values = filter.isEmpty() ? QStringList() : filter.split(u'|');
    if (values.size() > kConditionCount) return "--filter 最多有14个值（以“|”分隔）。";
    while (values.size() < kConditionCount)
        values << QString();
    for (int i = 0; i < 2; ++i)
        if (!values[i].isEmpty() && !QDate::fromString(values[i], QStringLiteral("yyyy-MM-dd")).isValid())
            return "--filter 的前两个值是日期，应写作 yyyy-mm-dd。";
    conditions = values.join(u'|');
    return nullptr;
}

QString batchConfigConnString(const QString& config) {
    return config.isEmpty() ? configConnStringFor(programDataFolder())
                            : QStringLiteral("Provider=SQLite;Data Source=") + config;
}

BatchSession::BatchSession(const QString& config, const QString& acct) : m_config(config) {
    if (!acct.isEmpty()) m_session.gsAcctProps = loginPropsText(acct);
}

BatchSession::~BatchSession() {
    closeConnection(m_session.gcnAcct);
    closeConnection(m_session.gcnConfig);
}

void BatchSession::openConfig() {
    // Without --config an installed program makes its per-user Taxlink.db here, which may fail.
    m_session.gsConfigConnString = batchConfigConnString(m_config);
    m_session.gcnConfig = m_session.openConfigConnection();
}

void BatchSession::openAcct() {
    m_session.gcnAcct = m_session.openAcctConnection();
}

QString batchHelp() {
    return QString::fromUtf8(kUsage);
}

CommandLine batchCommandLine(const char* usage) {
    return CommandLine(QString::fromUtf8(usage), batchHelp());
}

// The drivers' own warnings ("QODBCResult::exec: Unable to execute statement…") are not messages of the
// program: stderr carries the system's messages and their 详细信息 lines only.
static void quietDrivers(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", hidePasswords(text).toUtf8().constData());
}

// For the benchmark: the process's own peak memory (VmHWM, which starts anew at exec, unlike the
// rusage figure that also counts the forking parent's pages) written to the file TAXFERRY_PEAK_MEMORY
// names, at exit.
static void writePeakMemory() {
    const QByteArray target = qgetenv("TAXFERRY_PEAK_MEMORY");
    if (target.isEmpty()) return;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) {
            QFile out(QFile::decodeName(target));
            if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(line.mid(6).trimmed());
        }
}

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    const ConsoleUtf8 console;
    // The same bytes as on Linux: lines end in LF, not in the CR LF that the C runtime's text mode makes.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    std::atexit(writePeakMemory);
    qInstallMessageHandler(quietDrivers);
    QCoreApplication app(argc, argv);
    // The same per-user folder (and failure log) as the program's.
    QCoreApplication::setApplicationName(QStringLiteral("Taxferry"));
    // The options before the command are the tool's own; each command reads the rest itself.
    CommandLine line(batchHelp());
    line.stopAtFirstArgument();
    if (const std::optional<int> status = line.parse(app.arguments().mid(1))) return *status;
    const QStringList args = line.positionalArguments();
    const QString command = args.value(0);
    if (command == u"export") return runBatchExport(args.mid(1));
    if (command == u"import") return runBatchImport(args.mid(1));
    if (command == u"template") return runBatchTemplate(args.mid(1));
    if (command == u"codes") return runBatchCodes(args.mid(1));
    if (command == u"reconcile") return runBatchReconcile(args.mid(1));
    if (command == u"writeback") return runBatchWriteBack(args.mid(1));
    std::fputs(kUsage, stderr);
    return 1;
}
