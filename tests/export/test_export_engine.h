#pragma once
// The export engine: query building with bound filter values, the six notices, the file layout and the
// atomic replacement of the target.
#include "ExportFixture.h"
#include "PlatformTemplate.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/XlsxReader.h"
#include "export/ExportEngine.h"
#include "export/ExportWriter.h"
#include "export/WorkbookTemplate.h"
#include "links/LinkStore.h"
#include "support/TestSupport.h"
#include "support/XlsxBuilder.h"
#include <QtTest/QtTest>

const QStringList kHead{"FbillNo", "Frows", "FCustName", "fmemo", "FBillDate", "FExpl"};

const QStringList kBody{"FQty", "FAmount", "FNote", "FBillDate"};

inline QString conditions(const QStringList& firstValues) {
    QStringList v = firstValues;
    while (v.size() < 14)
        v << QString();
    return v.join(u'|');
}

const QString kDay = conditions({"2026-01-08", "2026-01-08"});

struct Case {
    QVariant type = 0;
    QString sep = QStringLiteral("~~");
    QStringList head = kHead, body = kBody;
    QString conditions = kDay;
    QString sql = {}; // "config:…" or "acct:…" run before the export; "acct:!" breaks the accounting set
    QString linkId = QStringLiteral("1");
    QString target = QStringLiteral("out.txt");
    QStringList bills = {}; // expected head lines by invoice number
    QStringList lines = {}; // expected file
    QString message = {};   // the one notice of a refused export; "@" is the output folder
};

struct ExportSetup {
    TestDatabases db{false};
    QTemporaryDir out;
    QString path;
    ExportSetup() {
        path = out.filePath(QStringLiteral("out.txt"));
        TransactionGuard configTrans(*db.config);
        TransactionGuard acctTrans(*db.acct);
        useTestTemplates(*db.config);
        makeTestLink(*db.config, 1, 0, QStringLiteral("~~"), kHead, kBody);
        addTestBaseData(*db.acct);
        addInvoice(*db.acct, 1, QStringLiteral("ZP01"), QStringLiteral("2026-01-08"), 80,
                   {{2, 1130.5, QStringLiteral("甲")}, {1, 0.13, QVariant()}}, 1, 1, QStringLiteral("说明"));
        addInvoice(*db.acct, 2, QStringLiteral("ZP02"), QStringLiteral("2026-01-20"), 80,
                   {{3, 30, QStringLiteral("乙")}}, 2, -1);
        addInvoice(*db.acct, 3, QStringLiteral("PT01"), QStringLiteral("2026-01-10"), 86,
                   {{1, 10, QStringLiteral("丙")}});
        addInvoice(*db.acct, 4, QStringLiteral("ZP'03"), QStringLiteral("2026-02-01"), 80,
                   {{1, 5, QStringLiteral("丁")}});
        configTrans.commit();
        acctTrans.commit();
    }
    // Bill numbers of the head lines (lines whose second value is the line count).
    QStringList headBills() const {
        QStringList bills;
        const QStringList lines = readGbkFile(path);
        for (const QString& l : lines.mid(1))
            if (l.startsWith(u'Z') || l.startsWith(u'P')) bills << l.section(QStringLiteral("~~"), 0, 0);
        return bills;
    }
};

Q_DECLARE_METATYPE(Case)

class TestExportEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void testExportFile_data();
    void testExportFile();
    void limitsSplitInvoices_data();
    void limitsSplitInvoices();
    void leftOutCounts_data();
    void leftOutCounts();

    void previewListsTheFirstDocuments_data();
    void previewListsTheFirstDocuments();
    void progressAndCancel_data();
    void progressAndCancel();
    void linesFollowTheirInvoice();
    void templateThatWritesChangesNothing();
    void writerRules_data();
    void writerRules();

    void workbookSplitColumns_data();
    void workbookSplitColumns();
    void workbookInSeveralFiles();
    void workbookReplacesEarlierFiles_data();
    void workbookReplacesEarlierFiles();
    void workbookEarlierFileKept();
    void workbookWithoutTaxCode_data();
    void workbookWithoutTaxCode();
};
