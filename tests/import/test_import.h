#pragma once
// The import engine on temporary accounting sets: reading, rules and names, numbering and the writer.
#include "InvoiceLines.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "import/BillNumbering.h"
#include "import/ImportEngine.h"
#include "import/ImportReader.h"
#include "support/TestSupport.h"
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest/QtTest>
#include <atomic>
#include <thread>

using Sql = QStringList;

const QString kErr = QStringLiteral("调用(ImportToQor)出错!\r\n错误编号:");

// The demo set holds invoices up to FInterID 1008; the first imported one is 1009.
const QString kHeads = QStringLiteral("select count(*) from ICSale where FInterID>1008");

// "rows:" checks join the first column of every row with ",".
const QString kEntryIDs = QStringLiteral("rows:select FInterID || ':' || FEntryID from ICSaleEntry where "
                                         "FInterID>1008 order by FInterID, FEntryID");

// The values of the first row as text, numbers in their shortest form, Null as "<null>"; for a query
// written "rows:…", the first value of every row joined by ",".
inline QString val(Connection& c, const QString& sql) {
    if (sql.startsWith(u"rows:")) {
        const RecordsetPtr rs = c.query(sql.mid(5));
        QStringList out;
        for (rs->first(); !rs->atEnd(); rs->next())
            out << rs->value(0).toString();
        return out.join(u',');
    }
    const RecordsetPtr rs = c.query(sql);
    if (rs->atEnd()) return QStringLiteral("<none>");
    QStringList out;
    for (int i = 0; i < rs->fieldCount(); ++i) {
        const QVariant v = rs->value(i);
        // A yes/no column reads 1/0 on every backend (boolean on a server, an integer in SQLite).
        out << (v.isNull()                        ? QStringLiteral("<null>")
                : v.typeId() == QMetaType::Double ? numberText(v.toDouble())
                : v.typeId() == QMetaType::Bool   ? QString::number(int(v.toBool()))
                                                  : v.toString());
    }
    return out.join(u' ');
}

template <typename... T> void addRow(const char* name, const T&... values) {
    (QTest::newRow(name) << ... << values);
}

inline QStringList oneInvoiceFile(const HeadFields& h = {}, const GoodsFields& g = {}) {
    return issuedFile({invoice(h, {goodsLine(g)})});
}

inline QStringList bodies(const QStringList& bodies, const HeadFields& h = {}) {
    return issuedFile({invoice(h, bodies)});
}

class TestImport : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabases> db;
    std::unique_ptr<RecorderSink> rec;
    QString file;

    bool importLines(const QStringList& lines, ImportEngine* engine = nullptr);
    QString acctValue(const QString& sql) { return val(*db->acct, sql); }
    void addSampleMappings();
    QString acctState();

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void init();
    void cleanup();
    void files_data();
    void files();
    void amounts_data();
    void amounts();
    void headColumns();
    void billNumber_data();
    void billNumber();
    void importThroughOdbcToSqlite();
    void deadlockIsRolledBackAndReported();
    void importedOnce_data();
    void importedOnce();
    void skippedLinesAreBodyLines_data();
    void skippedLinesAreBodyLines();
    void billNumberRowChangedMeanwhile();
    void progressAndCancel_data();
    void progressAndCancel();
    void sameInvoiceTwiceInAFile();
    void periodFromToday();
    void noPeriodFailsWithoutMessage();
    void notGbkLine();
    void lookupsOncePerImport();
    void itemMapLivesWithEngine();
    void samplesImport_data();
    void samplesImport();
    void rowsAsBefore_data();
    void rowsAsBefore();
};
