#include "common/ConfigUpgrade.h"

#include "common/Connection.h"
#include "common/DbProcedures.h"
#include "common/Messages.h"
#include "common/Values.h"

namespace {
struct ImportField {
    const char16_t* name;
    int checked; // FisNeedValid
    const char16_t* type;
    const char16_t* values;
};

// The head fields of the first factory layout, in Forder 1…16.
const ImportField kEarlierHead[] = {
    {u"发票种类", 1, u"2", u"0,2"},  {u"类别代码", 0, u"0", u""},     {u"发票号码", 0, u"0", u""},
    {u"开票日期", 0, u"0", u""},     {u"购方名称", 0, u"0", u""},     {u"购方税号", 0, u"0", u""},
    {u"购方地址电话", 0, u"0", u""}, {u"购方银行帐号", 0, u"0", u""}, {u"不含税金额", 0, u"0", u""},
    {u"税额", 0, u"0", u""},         {u"商品明细行数", 0, u"0", u""}, {u"作废标识", 1, u"2", u"0,1"},
    {u"开票人", 0, u"0", u""},       {u"复核人", 0, u"0", u""},       {u"收款人", 0, u"0", u""},
    {u"备注", 0, u"0", u""},
};

// The head line as the tax software writes it (data/config_factory.sql makes the same rows).
const ImportField kHead[] = {
    {u"作废标识", 1, u"2", u"0,1"},  {u"清单标志", 0, u"0", u""},     {u"发票种类", 1, u"2", u"0,2"},
    {u"类别代码", 0, u"0", u""},     {u"发票号码", 0, u"0", u""},     {u"商品明细行数", 0, u"0", u""},
    {u"开票日期", 0, u"0", u""},     {u"月份", 0, u"0", u""},         {u"销售单据编号", 0, u"0", u""},
    {u"不含税金额", 0, u"0", u""},   {u"税率", 0, u"0", u""},         {u"税额", 0, u"0", u""},
    {u"购方名称", 0, u"0", u""},     {u"购方税号", 0, u"0", u""},     {u"购方地址电话", 0, u"0", u""},
    {u"购方银行帐号", 0, u"0", u""}, {u"销方名称", 0, u"0", u""},     {u"销方税号", 0, u"0", u""},
    {u"销方地址电话", 0, u"0", u""}, {u"销方银行账号", 0, u"0", u""}, {u"备注", 0, u"0", u""},
    {u"开票人", 0, u"0", u""},       {u"复核人", 0, u"0", u""},       {u"收款人", 0, u"0", u""},
};
} // namespace

void upgradeImportLayout(Connection& config) {
    try {
        config.tableColumns(QStringLiteral("t_ImportField"));
    } catch (const DbError&) {
        return; // no import layout to switch
    }
    const RecordsetPtr rs = config.query(
        QStringLiteral("select FFieldDesc, Forder, FisNeedValid, FValidType, FValidValue from t_ImportField "
                       "where FisHead=") +
        config.dialect().boolLiteral(true) + QStringLiteral(" order by Forder"));
    const QList<QVariantList>& rows = rs->allRows();
    if (rows.size() != int(std::size(kEarlierHead))) return;
    for (int i = 0; i < rows.size(); ++i) {
        const ImportField& f = kEarlierHead[i];
        const QVariantList& row = rows[i];
        if (nullToText(row.value(0)) != QStringView(f.name) || row.value(1).toInt() != i + 1 ||
            int(isTrueValue(row.value(2))) != f.checked || nullToText(row.value(3)) != QStringView(f.type) ||
            nullToText(row.value(4)) != QStringView(f.values))
            return; // the user's own layout
    }
    TransactionGuard tx(config);
    config.exec(QStringLiteral("delete from t_ImportField where FisHead=") +
                config.dialect().boolLiteral(true));
    int order = 0;
    for (const ImportField& f : kHead)
        config.exec(QStringLiteral("insert into t_ImportField (FFieldDesc, FisHead, Forder, FisNeedValid, "
                                   "FValidType, FValidValue) values (?, ?, ?, ?, ?, ?)"),
                    {QString::fromUtf16(f.name), true, ++order, bool(f.checked), QString::fromUtf16(f.type),
                     QString::fromUtf16(f.values)});
    tx.commit();
}

void addMissingSettings(Connection& config) {
    try {
        config.tableColumns(QStringLiteral("t_OtherInfo"));
    } catch (const DbError&) {
        return;
    }
    static const std::pair<const char*, const char*> settings[] = {{"WriteBackColumn", "FTaxInvoiceNo"}};
    for (const auto& [key, value] : settings) {
        const QString k = QString::fromLatin1(key);
        if (!config.query(QStringLiteral("select Fkey from t_OtherInfo where Fkey=?"), {k})->atEnd())
            continue;
        try {
            config.exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values (?, ?)"),
                        {k, QString::fromLatin1(value)});
        } catch (const DbError&) {
            // Another program added it in the meantime.
        }
    }
}
