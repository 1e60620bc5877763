#pragma once
// taxferry-batch export: exit status, messages on stderr, filter handling.
#include "InvoiceLines.h"
#include "PlatformTemplate.h"
#include "common/Connection.h"
#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "common/XlsxReader.h"
#include "import/PlatformListBook.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QProcess>
#include <QXmlStreamReader>
#include <QtTest/QtTest>

// taxferry-batch export of link 1 to out, with the extra arguments.
struct BatchRun {
    QString exitCode, err, out;
};

inline BatchRun exportLink1(TestDatabases& db, const QString& out, const QStringList& extra) {
    QProcess p;
    p.start(QStringLiteral(TAXFERRY_BATCH), QStringList{"export", "--acct", db.acctConnString(), "--config",
                                                        db.configPath, "--link", "1", "--out", out} +
                                                extra);
    p.waitForFinished(120000);
    return {QString::number(p.exitCode()), QString::fromUtf8(p.readAllStandardError()),
            QString::fromUtf8(p.readAllStandardOutput())};
}

// A tax code for every product of the set (the platform's workbook requires one on every line).
inline void addTaxCodes(TestDatabases& db) {
    addCatalogueCodes(*db.acct, *db.config);
}

// Installs a template built as the official one with taxferry-batch template, and maps the buyer's name of
// link 1 to its heading.
inline void installPlatformTemplate(TestDatabases& db) {
    // A template built as the official one.
    const QString templ = db.folder() + QStringLiteral("/template.xlsx");
    writeFile(templ, buildPlatformTemplate());
    QProcess t;
    t.start(QStringLiteral(TAXFERRY_BATCH),
            {"template", templ, "--format", "电子发票平台", "--config", db.configPath});
    QVERIFY(t.waitForFinished(120000));
    QCOMPARE(QString::fromUtf8(t.readAllStandardError()), QString());
    QCOMPARE(t.exitCode(), 0);
    QVERIFY(QString::fromUtf8(t.readAllStandardOutput())
                .startsWith(QStringLiteral("1-发票基本信息\t发票流水号,发票类型,")));
    // The headings are the fields a workbook link maps; the buyer's name is mapped to its heading.
    const auto headings = [&](int isHead) {
        QStringList out;
        const RecordsetPtr rs = db.config->query(
            QStringLiteral(
                "select Fid, Fname from t_TaxField where FFormat='xlsx' and FisHead=? order by Fid"),
            {isHead});
        for (const QVariantList& r : rs->allRows())
            out << r[0].toString() + u'=' + r[1].toString();
        return out;
    };
    const QStringList head = headings(1);
    QCOMPARE(head.size(), 39);
    QVERIFY(head[5].endsWith(QStringLiteral("=购买方名称")));
    QCOMPARE(headings(0).size(), 14);
    db.config->exec(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=1 and FTaxID=3"),
                    {head[5].section(u'=', 0, 0).toInt()});
}

class TestExportBatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void exportCommand_data();
    void exportCommand();
    void passwordOnTheCommandLine_data();
    void passwordOnTheCommandLine();
    void unknownProviderHidesThePassword();
    void connectionForms();

    void exportedOnce();
    void leftOutFromTheTaxSystem();
    void twoExportsAtOnce();
    void refusedLedgerWrite();
    void previewWritesNothing();

    void otherFormats_data();
    void otherFormats();
    void catalogueAtExport_data();
    void catalogueAtExport();

    void workbookInSeveralFiles();
    void workbookWithoutTemplateFile();
    void templateWithEntities();

    void previewRefusesWhatTheFormatWould();

    void databaseCauseFollowsTheMessage();

    void platformRemarkAndTax();
};
