#include "mapping/TaxCodeStore.h"

#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Values.h"
#include "mapping/PickerQuery.h"
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

namespace {
const QString VersionKey = QStringLiteral("TaxCodeVersion");
constexpr int CsvColumns = 7;

bool isCode(const QString& text) {
    // 篇 (one digit) and nine levels of two digits each.
    if (text.size() != 19) return false;
    for (const QChar ch : text)
        if (ch < u'0' || ch > u'9') return false;
    return true;
}

// The bytes the tax system counts, or a message when the text does not fit.
QString gbkLengthProblem(const QString& label, const QString& text, int maxBytes) {
    QByteArray bytes;
    if (!encodeGbk(text, bytes)) return QStringLiteral("%1[%2]含有GBK编码不能表示的字符。").arg(label, text);
    if (bytes.size() > maxBytes)
        return QStringLiteral("%1[%2]超过%3个字节（一个汉字占2个字节）。").arg(label, text).arg(maxBytes);
    return {};
}

TaxCodeRow rowOf(const Recordset& rs, int r) {
    TaxCodeRow row;
    row.itemId = rs.valueAt(r, 0).toInt();
    row.itemNumber = nullToText(rs.valueAt(r, 1));
    row.itemName = nullToText(rs.valueAt(r, 2));
    row.taxCode = nullToText(rs.valueAt(r, 3));
    row.shortName = nullToText(rs.valueAt(r, 4));
    row.ownCode = nullToText(rs.valueAt(r, 5));
    row.preferential = rs.valueAt(r, 6).toInt() == 1;
    row.preferentialText = nullToText(rs.valueAt(r, 7));
    row.zeroRate = nullToText(rs.valueAt(r, 8));
    return row;
}

QVariantList valuesOf(const TaxCodeRow& row) {
    // Empty texts are stored as empty texts: the export writes them as they are.
    auto text = [](const QString& s) { return s.isNull() ? QStringLiteral("") : s; };
    return {row.itemId,          text(row.itemNumber), text(row.itemName),       text(row.taxCode),
            text(row.shortName), text(row.ownCode),    row.preferential ? 1 : 0, text(row.preferentialText),
            text(row.zeroRate)};
}

const QString InsertSql = QStringLiteral(
    "insert into t_TaxCode (FItemID, FItemNumber, FItemName, FTaxCode, FShortName, FOwnCode, FPreferential, "
    "FPreferentialText, FZeroRate) values (?, ?, ?, ?, ?, ?, ?, ?, ?)");

// The text of a CSV file: UTF-8 (a BOM is dropped) when it is valid UTF-8, otherwise GBK.
bool decodeCsvFile(const QByteArray& bytes, QString& text) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(bytes.mid(3));
        return !utf8.hasError();
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8(bytes);
    if (!utf8.hasError()) {
        text = asUtf8;
        return true;
    }
    return decodeGbk(bytes, text);
}

bool hasDigit(const QString& text) {
    for (const QChar ch : text)
        if (ch.isDigit()) return true;
    return false;
}

QString trimmed(const QString& s) {
    return s.trimmed();
}

void writeVersion(Connection& config, const QString& version) {
    config.exec(QStringLiteral("delete from t_OtherInfo where Fkey=?"), {VersionKey});
    if (!version.trimmed().isEmpty())
        config.exec(QStringLiteral("insert into t_OtherInfo (Fkey, FSQL) values (?, ?)"),
                    {VersionKey, version.trimmed()});
}

} // namespace

QList<CsvRecord> parseCsv(const QString& text) {
    QList<CsvRecord> out;
    CsvRecord record;
    QString field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the field began with a quote
    int line = 1;
    record.line = 1;
    auto endField = [&] {
        record.fields.append(field);
        field.clear();
        wasQuoted = false;
    };
    auto endRecord = [&] {
        endField();
        bool blank = true;
        for (const QString& f : record.fields)
            if (!f.trimmed().isEmpty()) blank = false;
        if (!blank) out.append(record);
        record = CsvRecord();
        record.line = line;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        const bool newline = ch == u'\n' || ch == u'\r';
        if (newline && ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
        if (quoted) {
            if (ch == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    field.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (newline) ++line;
                field.append(newline ? QChar(u'\n') : ch);
            }
            continue;
        }
        if (ch == u'"' && !wasQuoted && field.trimmed().isEmpty()) {
            field.clear(); // spaces before the opening quote are not part of the value
            quoted = true;
            wasQuoted = true;
        } else if (ch == u',') {
            endField();
        } else if (newline) {
            ++line;
            endRecord();
        } else {
            field.append(ch);
        }
    }
    if (!field.isEmpty() || !record.fields.isEmpty() || wasQuoted) endRecord();
    return out;
}

QString zeroRateName(const QString& flag) {
    if (flag == u"0") return QStringLiteral("0(出口退税)");
    if (flag == u"1") return QStringLiteral("1(免税)");
    if (flag == u"2") return QStringLiteral("2(不征税)");
    if (flag == u"3") return QStringLiteral("3(普通零税率)");
    return flag;
}

QString zeroRateProblem(const QString& zeroRate, double rate) {
    if (!zeroRate.trimmed().isEmpty() && rate != 0)
        return QStringLiteral("有零税率标识%1，税率却不是0").arg(zeroRateName(zeroRate.trimmed()));
    if (zeroRate.trimmed().isEmpty() && rate == 0) return QStringLiteral("税率为0，却没有零税率标识");
    return {};
}

TaxCodeStore::TaxCodeStore(const Session& session) : m_session(session) {}

QString TaxCodeStore::check(const TaxCodeRow& row) {
    if (row.itemId <= 0) return QStringLiteral("未选择商品。");
    if (row.taxCode.isEmpty()) return QStringLiteral("税收分类编码不能为空。");
    if (!isCode(row.taxCode)) return QStringLiteral("税收分类编码[%1]不是19位数字。").arg(row.taxCode);
    // The tax system's combinations: a zero-rate flag goes with a fixed preference; without one a preference
    // is one of the list, never the text of a zero rate.
    static const QHash<QString, QString> zeroRates{{QStringLiteral("0"), QStringLiteral("出口零税")},
                                                   {QStringLiteral("1"), QStringLiteral("免税")},
                                                   {QStringLiteral("2"), QStringLiteral("不征税")},
                                                   {QStringLiteral("3"), QString()}};
    const QString text = row.preferentialText.trimmed();
    if (!row.zeroRate.isEmpty()) {
        const auto it = zeroRates.constFind(row.zeroRate);
        if (it == zeroRates.constEnd())
            return QStringLiteral(
                       "零税率标识[%1]无效，只能为空、0(出口退税)、1(免税)、2(不征税)或3(普通零税率)。")
                .arg(row.zeroRate);
        if (it->isEmpty() && (row.preferential || !text.isEmpty()))
            return QStringLiteral("零税率标识为3(普通零税率)时，优惠政策标识须为0，优惠政策说明须为空。");
        if (!it->isEmpty() && (!row.preferential || text != *it))
            return QStringLiteral("零税率标识为%1时，优惠政策标识须为1，优惠政策说明须为“%2”。")
                .arg(zeroRateName(row.zeroRate), *it);
    } else if (row.preferential) {
        if (text.isEmpty()) return QStringLiteral("优惠政策标识为1时，须填写优惠政策说明。");
        for (auto it = zeroRates.constBegin(); it != zeroRates.constEnd(); ++it)
            if (!it->isEmpty() && text == *it)
                return QStringLiteral("优惠政策说明为“%1”时，零税率标识须为%2。")
                    .arg(text, zeroRateName(it.key()));
    } else if (!text.isEmpty()) {
        return QStringLiteral("优惠政策标识为0时，优惠政策说明须为空。");
    }
    for (const QString& problem :
         {gbkLengthProblem(QStringLiteral("简称"), row.shortName, 40),
          gbkLengthProblem(QStringLiteral("企业自编码"), row.ownCode, 20),
          gbkLengthProblem(QStringLiteral("优惠政策说明"), row.preferentialText, 50)})
        if (!problem.isEmpty()) return problem;
    return {};
}

TaxCodeProblem TaxCodeStore::checkAll(const QList<TaxCodeRow>& rows) {
    QHash<int, int> seen; // product -> first row
    for (int r = 0; r < rows.size(); ++r) {
        const QString message = check(rows[r]);
        if (!message.isEmpty()) return {r, message};
        if (const auto it = seen.constFind(rows[r].itemId); it != seen.constEnd())
            return {r, QStringLiteral("商品[%1]与第%2行重复。").arg(rows[r].itemNumber).arg(*it + 1)};
        seen.insert(rows[r].itemId, r);
    }
    return {};
}

QList<TaxCodeRow> TaxCodeStore::load() const {
    const RecordsetPtr rs = m_session.config().query(QStringLiteral(
        "select FItemID, FItemNumber, FItemName, FTaxCode, FShortName, FOwnCode, FPreferential, "
        "FPreferentialText, FZeroRate from t_TaxCode order by FItemNumber, FItemID"));
    QList<TaxCodeRow> rows;
    rows.reserve(rs->recordCount());
    for (int r = 0; r < rs->recordCount(); ++r)
        rows.append(rowOf(*rs, r));
    return rows;
}

QString TaxCodeStore::version() const {
    const RecordsetPtr rs =
        m_session.config().query(QStringLiteral("select FSQL from t_OtherInfo where Fkey=?"), {VersionKey});
    return rs->isEmpty() ? QString() : nullToText(rs->valueAt(0, 0));
}

void TaxCodeStore::save(const QList<TaxCodeRow>& rows, const QString& version) {
    const TaxCodeProblem problem = checkAll(rows);
    if (problem.row >= 0)
        throw DbError(ErrNo::General, QStringLiteral("第%1行：%2").arg(problem.row + 1).arg(problem.message));
    Connection& config = m_session.config();
    m_byItem.reset();
    TransactionGuard trans(config);
    config.exec(QStringLiteral("delete from t_TaxCode"));
    for (const TaxCodeRow& row : rows)
        config.exec(InsertSql, valuesOf(row));
    writeVersion(config, version);
    trans.commit();
}

std::optional<TaxCodeRow> TaxCodeStore::taxCodeOf(int itemId) const {
    if (!m_byItem) {
        QHash<int, TaxCodeRow> byItem;
        for (const TaxCodeRow& row : load())
            byItem.insert(row.itemId, row);
        m_byItem = std::move(byItem);
    }
    if (const auto it = m_byItem->constFind(itemId); it != m_byItem->constEnd()) return *it;
    return std::nullopt;
}

TaxCodeImportResult TaxCodeStore::importCsv(const QString& path, const std::optional<QString>& version) {
    auto refuse = [](const QString& message) { return TaxCodeImportResult{false, message, 0, 0}; };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse(QStringLiteral("无法打开文件[%1]。").arg(path));
    QString text;
    if (!decodeCsvFile(file.readAll(), text))
        return refuse(QStringLiteral("文件[%1]既不是UTF-8编码也不是GBK编码，无法读取。").arg(path));
    const QList<CsvRecord> records = parseCsv(text);

    // The products as the picker lists them: by number, deleted ones left out.
    struct Product {
        int id;
        QString name;
    };
    QHash<QString, Product> products;
    {
        const RecordsetPtr rs = openPickerList(m_session.acct(), buildItemSql());
        const int id = rs->fieldIndex(QStringLiteral("SMID"));
        const int number = rs->fieldIndex(QStringLiteral("Col1"));
        const int name = rs->fieldIndex(QStringLiteral("Col3"));
        for (int r = 0; r < rs->recordCount(); ++r)
            products.insert(trimmed(nullToText(rs->valueAt(r, number))),
                            {rs->valueAt(r, id).toInt(), nullToText(rs->valueAt(r, name))});
    }

    QHash<int, TaxCodeRow> existing;
    for (const TaxCodeRow& row : load())
        existing.insert(row.itemId, row);

    QList<TaxCodeRow> added, changed;
    QHash<int, int> lineOf; // product -> line it was given on
    for (int i = 0; i < records.size(); ++i) {
        const CsvRecord& rec = records[i];
        QStringList f;
        for (const QString& v : rec.fields)
            f.append(trimmed(v));
        const QString number = f.value(0);
        // A title line: its first cell is a word, not a product number, and its second is no code.
        if (i == 0 && !products.contains(number) && !isCode(f.value(1)) && !hasDigit(number)) continue;
        auto lineError = [&rec, &refuse](const QString& why) {
            return refuse(QStringLiteral("第%1行：%2").arg(rec.line).arg(why));
        };
        for (int c = CsvColumns; c < f.size(); ++c)
            if (!f[c].isEmpty()) return lineError(QStringLiteral("列数多于%1列。").arg(CsvColumns));
        if (number.isEmpty()) return lineError(QStringLiteral("缺少商品编码。"));
        const auto product = products.constFind(number);
        if (product == products.constEnd())
            return lineError(QStringLiteral("商品[%1]在账套中不存在。").arg(number));
        TaxCodeRow row;
        row.itemId = product->id;
        row.itemNumber = number;
        row.itemName = product->name;
        row.taxCode = f.value(1);
        row.shortName = f.value(2);
        row.ownCode = f.value(3);
        const QString flag = f.value(4);
        if (flag != u"" && flag != u"0" && flag != u"1")
            return lineError(QStringLiteral("优惠政策标识[%1]只能为0或1。").arg(flag));
        row.preferential = flag == u"1";
        row.preferentialText = f.value(5);
        row.zeroRate = f.value(6);
        const QString problem = check(row);
        if (!problem.isEmpty()) return lineError(problem);
        if (const auto it = lineOf.constFind(row.itemId); it != lineOf.constEnd())
            return lineError(QStringLiteral("商品[%1]在第%2行已出现。").arg(number).arg(*it));
        lineOf.insert(row.itemId, rec.line);

        const auto old = existing.constFind(row.itemId);
        if (old == existing.constEnd())
            added.append(row);
        else if (!(*old == row))
            changed.append(row);
    }
    if (lineOf.isEmpty()) return refuse(QStringLiteral("文件[%1]中没有税收分类编码。").arg(path));

    Connection& config = m_session.config();
    m_byItem.reset();
    TransactionGuard trans(config);
    if (version) writeVersion(config, *version);
    for (const TaxCodeRow& row : added)
        config.exec(InsertSql, valuesOf(row));
    for (const TaxCodeRow& row : changed) {
        QVariantList values = valuesOf(row).mid(1);
        values.append(row.itemId);
        config.exec(
            QStringLiteral("update t_TaxCode set FItemNumber=?, FItemName=?, FTaxCode=?, FShortName=?, "
                           "FOwnCode=?, FPreferential=?, FPreferentialText=?, FZeroRate=? where "
                           "FItemID=?"),
            values);
    }
    trans.commit();

    TaxCodeImportResult result{true, {}, int(added.size()), int(changed.size())};
    const int same = int(lineOf.size() - added.size() - changed.size());
    result.message =
        QStringLiteral("引入成功：新增%1个商品，修改%2个商品").arg(result.added).arg(result.changed);
    if (same > 0) result.message += QStringLiteral("，%1个商品未变").arg(same);
    result.message += QStringLiteral("。");
    return result;
}

int TaxCodeStore::exportCsv(const QString& path) const {
    const QList<TaxCodeRow> rows = load();
    QString text =
        QStringLiteral("商品编码,税收分类编码,简称,企业自编码,优惠政策标识,优惠政策说明,零税率标识\r\n");
    for (const TaxCodeRow& r : rows)
        text += csvLine({r.itemNumber, r.taxCode, r.shortName, r.ownCode,
                         r.preferential ? QStringLiteral("1") : QStringLiteral("0"), r.preferentialText,
                         r.zeroRate});
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw DbError(ErrNo::FileNotFound,
                      QStringLiteral("无法写入文件[%1]：%2").arg(path, file.errorString()));
    const QByteArray bytes = csvFileBytes(text);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw DbError(ErrNo::FileNotFound,
                      QStringLiteral("无法写入文件[%1]：%2").arg(path, file.errorString()));
    return int(rows.size());
}
