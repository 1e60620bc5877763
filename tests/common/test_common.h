#pragma once
// The shared procedures and the database layer every area builds on.
#include "common/Connection.h"
#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Ledger.h"
#include "common/LoginProps.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RowBatch.h"
#include "common/Session.h"
#include "common/Values.h"
#include "support/TestSupport.h"
#include <QSqlDatabase>
#include <QtTest/QtTest>

inline ConnectionPtr emptyDb(const QTemporaryDir& dir, const QString& name = QStringLiteral("t.db")) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.close();
    return Connection::open(QStringLiteral("Provider=SQLite;Data Source=") + path);
}

class TestCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }
    void showErrFormatsTwoLines();
    void testNullToValue_data();
    void testNullToValue();
    void testSplitItem_data();
    void testSplitItem();
    void testSqlValue_data();
    void testSqlValue();
    void leadingAndStrictNumbers_data();
    void leadingAndStrictNumbers();
    void testNumberText_data();
    void testNumberText();
    void testDecimalText_data();
    void testDecimalText();
    void buildInsertSqlKeepsTableOrderAndBindsValues();
    void buildInsertSqlWithoutMatchingColumnFails();
    void getFieldValueDefaultsAndEmpty();
    void openRsReportsDescriptionOnly();
    void testSqlNeverThrows();
    void getPeriodFindsTodayOrFails();
    void fieldMapKeysIgnoreCase();
    void recordsetFilterAndCursor();
    void transactionGuardRollsBack();
    void readOnlyConnectionCannotWrite();
    void readOnlyAccountingConnectionChangesNothing();
    void serverSchemaMatchesSqliteSchema();
    void dateValues_data();
    void dateValues();
    void isoDays_data();
    void isoDays();
    void connectionStringValues_data();
    void connectionStringValues();
    void connectFailuresInChinese_data();
    void connectFailuresInChinese();
    void missingDatabaseFileIsAnError();
    void interIdCounterAdvancesAndRollsBack();
    void rowBatchWritesValuesAsGiven();
    void boundRowsStoredAsRowBatchStoresThem_data();
    void boundRowsStoredAsRowBatchStoresThem();
    void oldConfigFileGainsTheNewColumns();
    void platformLinksGainTheDocNoInRemark();
    void earlierImportLayoutIsSwitched_data();
    void earlierImportLayoutIsSwitched();
    void olderLedgerIsUpgradedKeepingEveryRow();
    void scriptSplitterHonoursQuotesAndComments();
    void gbkReaderLinesAndRefusal();
    void gbkEdgeCases_data();
    void gbkEdgeCases();
    void testParseConnProps_data();
    void testParseConnProps();
    void loginTextKeepsTheConnection_data();
    void loginTextKeepsTheConnection();
    void passwordsReachTheDatabase_data();
    void passwordsReachTheDatabase();
    void hidePasswords_data();
    void hidePasswords();
    void noPasswordInMessagesOrLog();
    void failureLogIsTheUsersAlone();
    void directRowsStoredAsQtStoresThem_data();
    void directRowsStoredAsQtStoresThem();
    void directRowsKeepEveryText_data();
    void directRowsKeepEveryText();
    void directCursorReadsAsQt_data();
    void directCursorReadsAsQt();
    void directStatementsFailAsQtFails_data();
    void directStatementsFailAsQtFails();
};
