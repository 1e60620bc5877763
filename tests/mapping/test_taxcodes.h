#pragma once
// The catalogue of 税收分类编码: its checks, its store, the CSV import against the demo accounting set,
// an older Taxlink.db gaining the table, and the editor's tab.
#include "common/GbkCodec.h"
#include "mapping/TaxCodeStore.h"
#include "mapping/ui/MappingEditor.h"
#include "support/TestSupport.h"
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest/QtTest>

const QString Printer = QStringLiteral("1090512990000000000");

const QString Pen = QStringLiteral("1060106010000000000");

const QString Laptop = QStringLiteral("1090511010000000000");

inline TaxCodeRow row(int id, const QString& number, const QString& name, const QString& code) {
    TaxCodeRow r;
    r.itemId = id;
    r.itemNumber = number;
    r.itemName = name;
    r.taxCode = code;
    return r;
}

// The whole catalogue, one "id|number|name|code|short|own|preferential|text|zero" line per product.
inline QStringList dump(Connection& config) {
    QStringList out;
    const RecordsetPtr rs = config.query(QStringLiteral(
        "select FItemID, FItemNumber, FItemName, FTaxCode, FShortName, FOwnCode, FPreferential, "
        "FPreferentialText, FZeroRate from t_TaxCode order by FItemID"));
    for (const QVariantList& row : rs->allRows()) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << v.toString();
        out << cells.join(u'|');
    }
    return out;
}

// The catalogue every import test starts from: the laser printer and the ink-jet printer.
inline void seedCatalogue(Session& session) {
    TaxCodeRow inkjet = row(402, "1.01.002", "喷墨打印机", Printer);
    inkjet.shortName = QStringLiteral("打印机");
    TaxCodeStore(session).save({row(401, "1.01.001", "激光打印机", Printer), inkjet}, QStringLiteral("36.0"));
}

const QStringList Seeded{"401|1.01.001|激光打印机|" + Printer + "|||0||",
                         "402|1.01.002|喷墨打印机|" + Printer + "|打印机||0||"};

class TestTaxCodes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { SKIP_UNLESS_TEST_BACKEND(); }

    void checkRow_data();
    void checkRow();
    void testParseCsv_data();
    void testParseCsv();
    void saveLoadAndLookUp();
    void saveRefusesTheWholeList();
    void importCsv_data();
    void importCsv();
    void importFailingMidwayWritesNothing();
    void oldConfigFileGainsTheTable();
    void editorTab();
    void pickerAddsARow();
    void batchCommand_data();
    void batchCommand();
};
