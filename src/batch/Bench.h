#pragma once
// What the measurements of taxferry-bench share: the accounting sets of a run, the children it starts,
// the rows it reads back and the floors it sets the times against.

#include "common/Connection.h"
#include <QDateTime>
#include <QList>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Bench {

// Anything that ends the run before both figures are printed.
struct Failure {
    QString text;
};

QString dataFile(const QString& name);
QString sqliteConn(const QString& path);
// The connection string with one value replaced (or added), the other pairs as they were written.
QString withValue(const QString& conn, const QString& key, const QString& value);
QString quoteIdent(const QString& name);
void makeSqliteFile(const QString& path, const QStringList& scripts);
void copyFile(const QString& from, const QString& to);
// An issued-invoice file as the tax system writes it: GBK, CR LF.
void writeIssuedFile(const QString& path, const QStringList& lines);

// The accounting sets of a run, each a fresh copy of the demo set, on the backend --acct names. The set
// of the timed import is the one --acct names itself; the others are made beside it and removed at the
// end, and the named one is left as it was found (absent or empty).
class AcctSets {
public:
    AcctSets(const QString& acct, const QString& dir);
    ~AcctSets();

    AcctSets(const AcctSets&) = delete;
    AcctSets& operator=(const AcctSets&) = delete;

    QString label() const { return m_label; }
    bool onServer() const { return m_backend == Backend::PostgreSQL || m_backend == Backend::OdbcServer; }
    // The floor of an import on a server reached by Qt's own driver is COPY.
    bool copiesRows() const { return m_backend == Backend::PostgreSQL; }
    QString demoPath() const { return m_source; }
    QString acct() const { return m_acct; }
    // The file of a set that make gave (not on a server).
    QString filePath(const QString& conn) const;
    void keep() { m_keep = true; }
    QStringList keptDatabases() const;

    // A fresh demo set; the role names its file or database. Returns its connection string.
    QString make(const QString& role, bool named);

private:
    enum class Backend { SqliteFile, OdbcFile, PostgreSQL, OdbcServer };

    // The named file must hold nothing: the run writes a set into it and empties it again at the end.
    void checkFile();
    void checkServer();

    QString m_acct;
    QString m_dir;
    QString m_source;
    QString m_label;
    Backend m_backend = Backend::SqliteFile;
    QString m_given; // the file or database --acct names
    bool m_givenIsEmpty = false;
    bool m_usedGiven = false;
    bool m_keep = false;
    ConnectionPtr m_admin;
    QStringList m_createdDbs;
};

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    QString output;
};

ChildRun runChild(const QString& program, const QStringList& args, const QString& workDir,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
QString batchProgram();
ChildRun runBatch(const QStringList& args, const QString& workDir, const QString& peakMemoryFile = {});
void requireOk(const ChildRun& r, const QString& what);

// The rows of a table, as read back from a set.
struct TableRows {
    QString table;
    QList<FieldInfo> columns;
    QList<QVariantList> rows;
};

int columnIndex(const QList<FieldInfo>& columns, const QString& name);
QSet<qlonglong> interIds(Connection& c, const QString& table);
// The rows of the table whose FInterID was not in the demo set: what the import wrote.
TableRows rowsAdded(Connection& c, const QString& table, const QSet<qlonglong>& before);
qlonglong countRows(Connection& c, const QString& table);

// A statement and the values it is run with, row after row.
struct Statements {
    QString sql;
    QList<QVariantList> rows;
};

// The rows inserted by one prepared statement per table, one row at a time, in one transaction.
double insertFloor(const QString& conn, const QList<TableRows>& tables);
// The physical floor of an SQLite file: the same rows through SQLite's own interface.
double sqliteFloor(const QString& path, const QList<TableRows>& tables);
// Statements prepared once and run for each of their rows, in one transaction: through Qt SQL, and
// through SQLite's own interface on a file.
double preparedFloor(const QString& conn, const QList<Statements>& statements);
double sqlitePreparedFloor(const QString& path, const QList<Statements>& statements);
// The rows loaded with COPY … FROM STDIN (psql's \copy) in one transaction; only psql's run is timed.
double copyFloor(const QString& conn, const QList<TableRows>& tables, const QString& dir);

// The time, the floor it is set against and the ratio; a second floor (the same rows through Qt SQL,
// where the first is the database's own interface) on a line of its own.
void printTime(const char* what, int invoices, int lines, double seconds, double floor, const char* floorName,
               double qtFloor = 0);

// The timed import against its floors, printed; returns the import's peak memory in kilobytes.
qlonglong measureImport(AcctSets& sets, const QString& config, const QString& dir, int invoices, int rounds);
// The timed export against its floor, printed.
void measureExport(AcctSets& sets, const QString& config, const QString& dir, int invoices, int rounds);

// The floor of an export: the two templates' query (special invoices, bill numbers from first to last,
// both empty: all) fetched and written as GBK lines.
struct ExportFloor {
    double seconds = 0;
    qlonglong rows = 0;
    QSet<QByteArray> billNos; // GBK, as they stand at the start of a head line
};
ExportFloor exportFloor(const QString& acct, const QString& configPath, const QString& outPath,
                        const QString& firstBill = {}, const QString& lastBill = {});

// A month closed: half the invoices exported to the text file and half to the platform's workbook, the
// tax software's issued file and the platform's list read back, the reconciliation; each step against its
// floor. Returns the number of documents whose final state is not the one the month gave them.
int measureMonth(AcctSets& sets, const QString& config, const QString& dir, int invoices);

// An invoice of the platform's list (发票基础信息), as the month close invents it.
struct ListInvoice {
    QString digitalNumber; // 数电发票号码, 20 digits
    QString buyerTaxNo, buyerName;
    QDateTime issued;                     // 开票日期, written as text yyyy-MM-dd HH:mm:ss
    qint64 amountCents = 0, taxCents = 0; // 金额, 税额; negative on a red invoice
    QString state = QStringLiteral("正常"); // 发票状态: 正常, 已作废, 已红冲-全额, 已红冲-部分
    bool red = false;                       // 是否正数发票 否
    QString remark;                         // 备注: the 单据号 first, where the link writes it there
    QString kind = QStringLiteral("数电发票（增值税专用发票）"); // 发票票种
};

// The seller whose list it is (销方识别号, 销方名称) and who issued it (开票人).
struct ListSeller {
    QString taxNo, name;
    QString drawer = QStringLiteral("张敏");
};

// The platform's export of a month as 导出全部 writes it: 发票基础信息 (headings on row 1, an invoice a
// row, a totals row last) and 信息汇总表 (goodsLinesPerInvoice goods lines an invoice, the invoice's columns
// repeated on each, its amounts shared out over them), every text in the shared strings as Excel keeps
// them. Written as it goes: memory does not grow with the goods lines. Throws Failure.
void writeRealShapeList(const QString& path, const QList<ListInvoice>& invoices, int goodsLinesPerInvoice,
                        const ListSeller& seller);

} // namespace Bench
