#pragma once
// The catalogue of the tax system's 商品和服务税收分类编码 (t_TaxCode of the configuration database):
// one row per product of the accounting set, kept by the mapping editor, read by the export for every
// invoice line. Its version of the code table (编码版本号) is the row TaxCodeVersion of t_OtherInfo.

#include "common/Connection.h"
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

class Session;

struct TaxCodeRow {
    int itemId = 0; // t_IcItem.FItemID
    QString itemNumber;
    QString itemName;
    QString taxCode;   // 19 digits
    QString shortName; // 简称
    QString ownCode;   // 企业自编码
    bool preferential = false;
    QString preferentialText;
    QString zeroRate; // "" ordinary rate, "0" 出口退税, "1" 免税, "2" 不征税, "3" 普通零税率

    bool operator==(const TaxCodeRow&) const = default;
};

// What is wrong with a list of rows: the first bad row (0-based) and why, or row -1.
struct TaxCodeProblem {
    int row = -1;
    QString message;
};

// The outcome of a CSV import: the reason of a refusal (naming the line), or what was written.
struct TaxCodeImportResult {
    bool ok = false;
    QString message;
    int added = 0;
    int changed = 0;
};

// A zero-rate flag as the tax system names it ("1(免税)").
QString zeroRateName(const QString& flag);
// Why a line of the rate (a fraction) cannot carry the flag: a zero-rate flag belongs to a line at rate 0,
// and a line at rate 0 needs one. Empty when it can.
QString zeroRateProblem(const QString& zeroRate, double rate);

class TaxCodeStore {
public:
    explicit TaxCodeStore(const Session& session);

    // Why the row cannot go to the tax system (empty: it can): its code, its texts' lengths and the
    // combination of zero-rate flag, preference flag and preference text the tax system accepts. Only the
    // row's own values are checked.
    static QString check(const TaxCodeRow& row);
    // Check of every row, and a product chosen once at most.
    static TaxCodeProblem checkAll(const QList<TaxCodeRow>& rows);

    // Every row, by product number. Throws DbError.
    QList<TaxCodeRow> load() const;
    QString version() const;
    // Replaces the catalogue and its version in one transaction; rows that checkAll refuses are not
    // written (DbError naming the row). Throws DbError; the catalogue is then as it was.
    void save(const QList<TaxCodeRow>& rows, const QString& version);

    // The row of a product, or nothing. The catalogue is read at the first call and kept: an export asks
    // once per invoice line. Throws DbError.
    std::optional<TaxCodeRow> taxCodeOf(int itemId) const;

    // Adds or changes the rows of a CSV file (UTF-8 with or without BOM, or GBK) of lines
    // 商品编码,税收分类编码,简称,企业自编码,优惠政策标识,优惠政策说明,零税率标识, the products found by
    // number in the accounting set as the product picker lists them. All lines or none; a refusal names the
    // line. Throws DbError when a database fails.
    // version, when given, becomes the catalogue's 编码版本号 in the same transaction.
    TaxCodeImportResult importCsv(const QString& path, const std::optional<QString>& version = std::nullopt);
    // Writes the catalogue as importCsv reads it (UTF-8 with a BOM, a title line, by product number); the
    // file is replaced only when complete. Returns the number of products. Throws DbError.
    int exportCsv(const QString& path) const;

private:
    const Session& m_session;
    mutable std::optional<QHash<int, TaxCodeRow>> m_byItem;
};

// The fields of one CSV record each, with the number of the line the record starts on. Quoted fields may
// hold commas, line breaks and doubled quotes; blank lines are left out.
struct CsvRecord {
    int line = 0;
    QStringList fields;
};
QList<CsvRecord> parseCsv(const QString& text);
