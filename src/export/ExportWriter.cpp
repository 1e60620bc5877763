#include "export/ExportWriter.h"

#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/GbkCodec.h"
#include "common/Messages.h"
#include "common/Values.h"
#include "export/XmlDocumentSink.h"
#include "mapping/TaxCodeStore.h"
#include <QSaveFile>
#include <cmath>
#include <numeric>
#include <optional>

namespace {

constexpr long FileAccessError = 75; // path/file access error

QString plainText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(v.toDouble());
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.time() == QTime(0, 0)) return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default:
        return v.toString();
    }
}

// The tax system reads head dates only as eight digits.
QString headText(const QVariant& v) {
    QDate d;
    if (tryDateValue(v, d)) return d.toString(QStringLiteral("yyyyMMdd"));
    return plainText(v);
}

bool isName(const QString& name, const char16_t* wanted) {
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

int indexOf(const QList<FieldInfo>& fields, const char16_t* name) {
    for (int i = 0; i < fields.size(); ++i)
        if (isName(fields[i].name, name)) return i;
    return -1;
}

QString billNoOf(const QList<FieldInfo>& fields, const QVariantList& row) {
    const int i = indexOf(fields, u"FbillNo");
    return i < 0 ? QString() : nullToText(row.value(i));
}

// The values that a row puts on its line, in column order.
QStringList lineValues(const QList<FieldInfo>& fields, const QVariantList& row, bool isHead) {
    QStringList values;
    values.reserve(fields.size());
    const int rowsCount = isHead ? indexOf(fields, u"RowsCount") : -1;
    for (int i = 0; i < fields.size(); ++i) {
        const QString& name = fields[i].name;
        if (isHead && isName(name, u"RowsCount")) continue;
        if (!isHead && (isName(name, u"FbillNo") || isName(name, u"TF_ItemNumber"))) continue;
        if (isHead && isName(name, u"Frows")) {
            if (rowsCount < 0)
                throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: RowsCount"));
            values << plainText(row.value(rowsCount));
        } else {
            values << (isHead ? headText(row.value(i)) : plainText(row.value(i)));
        }
    }
    return values;
}

QString visible(QString value) {
    value.replace(u'\r', QStringLiteral("\\r"));
    value.replace(u'\n', QStringLiteral("\\n"));
    return value;
}

// Encodes a line; a character GBK cannot hold stops the export naming the invoice and the value.
QByteArray encodeLine(GbkEncoder& gbk, const QString& line, const QList<FieldInfo>& fields,
                      const QVariantList& row, bool isHead) {
    QByteArray bytes;
    if (gbk.encode(line, bytes)) return bytes + "\r\n";
    QString culprit = line;
    QByteArray probe;
    for (const QString& v : lineValues(fields, row, isHead))
        if (!gbk.encode(v, probe)) {
            culprit = v;
            break;
        }
    throw ExportRefused(QStringLiteral("发票“%1”的值“%2”含有GBK编码不能表示的字符，引出失败！")
                            .arg(billNoOf(fields, row), culprit));
}

class LineFile {
public:
    explicit LineFile(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly))
            throw DbError(FileAccessError,
                          QStringLiteral("路径/文件访问错误：%1（%2）").arg(path, m_file.errorString()));
    }
    void write(const QByteArray& bytes) {
        if (m_file.write(bytes) != bytes.size())
            throw DbError(FileAccessError, QStringLiteral("写入文件失败：%1").arg(m_file.errorString()));
    }
    // Replaces the target only now; until then an earlier file stays as it was.
    void commit() {
        if (!m_file.commit())
            throw DbError(FileAccessError, QStringLiteral("保存文件失败：%1").arg(m_file.errorString()));
    }

private:
    QSaveFile m_file;
};

} // namespace

QString getTxtLine(const QList<FieldInfo>& fields, const QVariantList& row, const QString& sep, bool isHead) {
    const QStringList values = lineValues(fields, row, isHead);
    // A value holding the separator or a line break would shift every later field of the file.
    for (const QString& v : values) {
        if (!sep.isEmpty() && v.contains(sep))
            throw ExportRefused(QStringLiteral("发票“%1”的值“%2”含有分隔符“%3”，引出失败！")
                                    .arg(billNoOf(fields, row), v, sep));
        if (v.contains(u'\r') || v.contains(u'\n'))
            throw ExportRefused(QStringLiteral("发票“%1”的值“%2”含有换行符，引出失败！")
                                    .arg(billNoOf(fields, row), visible(v)));
    }
    return values.join(sep);
}

std::unique_ptr<Connection::Cursor> cursorOf(const Recordset& rows) {
    class RecordsetCursor : public Connection::Cursor {
    public:
        explicit RecordsetCursor(const Recordset& rs) : m_rs(rs) {}
        const QList<FieldInfo>& fields() const override { return m_rs.fields(); }
        bool next(QVariantList& row) override {
            if (m_at >= m_rs.allRows().size()) return false;
            row = m_rs.allRows()[m_at++];
            return true;
        }

    private:
        const Recordset& m_rs;
        qsizetype m_at = 0;
    };
    return std::make_unique<RecordsetCursor>(rows);
}

BodyRowSource bodyRowsOf(const Recordset& body) {
    return [&body](const std::function<void(const QList<FieldInfo>&)>& onColumns,
                   const std::function<void(const QVariantList&)>& onRow) {
        onColumns(body.fields());
        for (const QVariantList& row : body.allRows())
            onRow(row);
    };
}

namespace {
// The lines of one invoice in the order written, with what the limits look at.
struct RunLine {
    QByteArray bytes;
    double amount = 0, tax = 0;
    bool discounted = false;        // 折扣金额 not zero
    QHash<QString, QString> values; // by tax field, for a sink
    double platformTax = 0;         // the tax the platform computes for the line
};

// The invoice's lines cut into documents in line order, each within both limits; nothing when a single
// line is over the amount limit (its index in over). With a sales list the line limit cuts nothing.
QList<QList<int>> cutPieces(const QList<RunLine>& lines, const ExportLayout& layout, int& over) {
    const int maxLines = layout.useList ? 0 : layout.maxLines;
    QList<QList<int>> pieces{{}};
    double sum = 0;
    int used = 0; // invoice lines of the piece so far
    // A cent of rounding is no reason to cut an invoice.
    const double limit = layout.maxAmount + 0.005;
    for (int i = 0; i < lines.size(); ++i) {
        const double a = lines[i].amount;
        if (layout.maxAmount > 0 && std::fabs(a) > limit) {
            over = i;
            return {};
        }
        // A line with a discount becomes two lines of the invoice (the goods and the discount), which stay
        // together.
        const int rows = lines[i].discounted ? 2 : 1;
        QList<int>& piece = pieces.last();
        const bool tooMany = maxLines > 0 && !piece.isEmpty() && used + rows > maxLines;
        const bool tooMuch = layout.maxAmount > 0 && !piece.isEmpty() && std::fabs(sum + a) > limit;
        if (tooMany || tooMuch) {
            pieces.append(QList<int>());
            sum = 0;
            used = 0;
        }
        pieces.last().append(i);
        sum += a;
        used += rows;
    }
    return pieces;
}

double amountOf(const QVariantList& row, int column) {
    return column < 0 ? 0.0 : leadingNumber(plainText(row.value(column)));
}
} // namespace

void shareTax(QList<ExportMember>& members, qint64 tax) {
    qint64 own = 0, base = 0;
    for (const ExportMember& m : members) {
        own += centsOf(m.tax);
        base += centsOf(m.amount);
    }
    if (members.isEmpty() || own == tax) return;
    if (base == 0) {
        // Nothing to share by: the first member carries it.
        for (ExportMember& m : members)
            m.tax = 0;
        members.first().tax = amountOfCents(tax);
        return;
    }
    const qint64 sign = base < 0 ? -1 : 1;
    struct Part {
        qint64 cents, remainder;
    };
    QList<Part> parts;
    qint64 given = 0;
    for (const ExportMember& m : members) {
        // tax × amount / base, rounded down; the remainder kept to hand out the cents left over.
        const __int128 p = __int128(tax) * (centsOf(m.amount) * sign);
        const qint64 b = base * sign;
        __int128 q = p / b, r = p % b;
        if (r < 0) {
            --q;
            r += b;
        }
        parts.append({qint64(q), qint64(r)});
        given += qint64(q);
    }
    QList<int> order(members.size());
    std::iota(order.begin(), order.end(), 0);
    // Largest remainder first; members are in bill order, so a tie goes to the earlier bill.
    std::stable_sort(order.begin(), order.end(),
                     [&parts](int a, int b) { return parts[a].remainder > parts[b].remainder; });
    for (qint64 left = tax - given, i = 0; left > 0; --left, ++i)
        ++parts[order[int(i % order.size())]].cents;
    for (int i = 0; i < members.size(); ++i)
        members[i].tax = amountOfCents(parts[i].cents);
}

QString platformTaxNote(const ExportDoc& doc) {
    if (!doc.ownTax) return {};
    return QStringLiteral("平台按每行金额×税率计算的税额为%1，与销售发票的税额%2不同")
        .arg(decimalText(doc.tax, 2), decimalText(*doc.ownTax, 2));
}

bool writeTextFile(const QString& filePath, Connection::Cursor& head, const BodyRowSource& body,
                   const QString& sep, const ExportLayout& layout,
                   const std::function<void(const ExportDoc&)>& onDoc) {
    try {
        GbkEncoder gbk;
        QByteArray first;
        if (!gbk.encode(QStringLiteral("SJJK0101") + sep + QStringLiteral("销售单据传入"), first))
            throw ExportRefused(QStringLiteral("分隔符“%1”含有GBK编码不能表示的字符，引出失败！").arg(sep));
        // Opened with the first line to write, so that a failing or empty body query is reported before a
        // target that cannot be written, as when both queries ran before the file was opened.
        std::optional<LineFile> target;
        auto write = [&](const QByteArray& bytes) {
            if (layout.dryRun) return;
            if (!target) {
                target.emplace(filePath);
                target->write(first + "\r\n");
            }
            target->write(bytes);
        };
        bool sinkBegun = false;
        // A document for a sink goes to it as soon as it is whole; nothing of it is kept here.
        auto toSink = [&](const SinkDocument& d) {
            if (layout.dryRun) {
                layout.sink->check(d);
                return;
            }
            if (!sinkBegun) {
                layout.sink->begin(-1);
                sinkBegun = true;
            }
            layout.sink->add(d);
        };

        const QList<FieldInfo> headFields = head.fields();
        const int headBill = indexOf(headFields, u"FbillNo");
        if (headBill < 0)
            throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: FbillNo"));
        QVariantList headRow;
        bool haveHead = head.next(headRow);
        const int rowsCount = indexOf(headFields, u"RowsCount");
        int documents = 0;
        QString remark; // 备注 of the current head as the query gave it, before a piece wrote into it
        // Values of a row under their tax fields, for a sink.
        auto named = [&](const QList<FieldInfo>& fields, const QVariantList& row, bool isHead,
                         const QStringList& names) {
            QHash<QString, QString> out;
            const QStringList values = lineValues(fields, row, isHead);
            for (int i = 0; i < values.size() && i < names.size(); ++i)
                if (!names[i].isEmpty()) out.insert(names[i], values[i]);
            return out;
        };
        // A piece carries its own 单据号 and 商品行数; a whole invoice its head row as the query gave it.
        auto writeDoc = [&](const QString& bill, const QString& docNo, int lines, double amount, double tax,
                            bool list, bool piece, const QList<QHash<QString, QString>>& sinkLines,
                            const QByteArray& bodyBytes, QList<ExportMember> members,
                            std::optional<double> ownTax = std::nullopt) {
            if (piece && layout.headDocNo >= 0) headRow[layout.headDocNo] = docNo;
            QString docRemark;
            // A link that maps no 备注 still has it written into a workbook or XML file.
            if (layout.docNoInRemark && (layout.headRemark >= 0 || layout.sink)) {
                docRemark = remark.isEmpty() ? docNo : docNo + u' ' + remark;
                QByteArray bytes;
                const qsizetype size =
                    layout.remarkLimitInBytes
                        ? (gbk.encode(docRemark, bytes) ? bytes.size() : docRemark.size() * 2)
                        : docRemark.size();
                if (layout.remarkLimit > 0 && size > layout.remarkLimit)
                    throw ExportRefused(
                        QStringLiteral("单据“%1”的备注加上单据号后是“%2”，超过%3个%4的限制，引出失败！")
                            .arg(docNo, docRemark)
                            .arg(layout.remarkLimit)
                            .arg(layout.remarkLimitInBytes ? QStringLiteral("字节")
                                                           : QStringLiteral("字符")));
                if (layout.headRemark >= 0) headRow[layout.headRemark] = docRemark;
            }
            if (piece && rowsCount >= 0) headRow[rowsCount] = lines;
            if (list && layout.headListName >= 0) headRow[layout.headListName] = salesListName();
            if (layout.sink) {
                SinkDocument d;
                d.docNo = docNo;
                d.invoiceKind = layout.invoiceKind;
                d.head = named(headFields, headRow, true, layout.headNames);
                if (!layout.codeVersion.isEmpty())
                    d.head.insert(QStringLiteral("编码版本号"), layout.codeVersion);
                if (!docRemark.isEmpty()) d.head.insert(QStringLiteral("备注"), docRemark);
                d.lines = sinkLines;
                toSink(d);
            } else {
                write(encodeLine(gbk, getTxtLine(headFields, headRow, sep, true), headFields, headRow, true));
                write(bodyBytes);
            }
            ++documents;
            if (onDoc)
                onDoc(ExportDoc{bill, docNo,
                                layout.headCustomer < 0 ? QString()
                                                        : nullToText(headRow.value(layout.headCustomer)),
                                lines, amount, tax, std::move(members), docRemark, ownTax,
                                layout.sink && !layout.dryRun ? layout.sink->part() : 0});
        };
        // A head without lines of its own.
        auto writeHead = [&]() {
            remark = layout.headRemark >= 0 ? nullToText(headRow.value(layout.headRemark)) : QString();
            const QString bill = nullToText(headRow.value(headBill));
            writeDoc(bill, layout.headDocNo >= 0 ? nullToText(headRow.value(layout.headDocNo)) : bill,
                     rowsCount >= 0 ? headRow.value(rowsCount).toInt() : 0, 0, 0, false, false, {}, {}, {});
        };
        auto writeRun = [&](const QList<RunLine>& lines) {
            remark = layout.headRemark >= 0 ? nullToText(headRow.value(layout.headRemark)) : QString();
            const QString bill = nullToText(headRow.value(headBill));
            const QString docNo = layout.headDocNo >= 0 ? nullToText(headRow.value(layout.headDocNo)) : bill;
            int over = -1;
            const QList<QList<int>> pieces = cutPieces(lines, layout, over);
            if (over >= 0)
                throw ExportRefused(
                    QStringLiteral("发票“%1”第%2行的不含税金额%3超过每张发票的限额%4，引出失败！")
                        .arg(bill)
                        .arg(over + 1)
                        .arg(numberText(lines[over].amount), numberText(layout.maxAmount)));
            for (int p = 0; p < pieces.size(); ++p) {
                qint64 amount = 0, tax = 0, platformTax = 0; // cents
                QByteArray bytes;
                QList<QHash<QString, QString>> sinkLines;
                for (int i : pieces[p]) {
                    amount += centsOf(lines[i].amount);
                    tax += centsOf(lines[i].tax);
                    platformTax += centsOf(lines[i].platformTax);
                    if (layout.sink)
                        sinkLines.append(lines[i].values);
                    else
                        bytes += lines[i].bytes;
                }
                std::optional<double> ownTax;
                if (layout.platformTax && layout.bodyRate >= 0) {
                    if (platformTax != tax) ownTax = amountOfCents(tax);
                    tax = platformTax;
                }
                QList<ExportMember> members =
                    layout.membersOf ? layout.membersOf(bill, pieces[p]) : QList<ExportMember>();
                // The members' taxes add up to what the document records (the platform's own tax).
                shareTax(members, tax);
                const QString pieceNo = pieces.size() == 1 ? docNo : docNo + u'-' + QString::number(p + 1);
                int rows = 0;
                for (int i : pieces[p])
                    rows += lines[i].discounted ? 2 : 1;
                const bool list = layout.useList && layout.maxLines > 0 && rows > layout.maxLines;
                writeDoc(bill, pieceNo, int(pieces[p].size()), amountOfCents(amount), amountOfCents(tax),
                         list, pieces.size() > 1, sinkLines, bytes, std::move(members), ownTax);
            }
        };

        // Both results are ordered by invoice number: the lines of one invoice are collected while they
        // arrive and written after every head row of that invoice; heads without lines are written alone.
        QList<FieldInfo> bodyFields;
        int bodyBill = -1;
        QList<RunLine> runLines;
        QString runKey;
        bool inRun = false;
        long bodyRows = 0;
        auto flushRun = [&]() {
            bool matched = false;
            while (haveHead) {
                if (nullToText(headRow.value(headBill)) == runKey) {
                    writeRun(runLines);
                    matched = true;
                } else if (matched) {
                    break;
                } else {
                    writeHead();
                }
                haveHead = head.next(headRow);
            }
            if (!matched)
                throw DbError(ErrNo::General,
                              QStringLiteral("表体的发票“%1”在表头中没有对应的行（两个结果的顺序不一致）。")
                                  .arg(runKey));
            runLines.clear();
        };
        body(
            [&](const QList<FieldInfo>& cols) {
                bodyFields = cols;
                bodyBill = indexOf(bodyFields, u"FbillNo");
                if (bodyBill < 0)
                    throw DbError(3265, QStringLiteral("在对应所需名称或序数的集合中，未找到项目: FbillNo"));
            },
            [&](const QVariantList& row) {
                const QString key = nullToText(row.value(bodyBill));
                if (inRun && key != runKey) flushRun();
                runKey = key;
                inRun = true;
                ++bodyRows;
                if (layout.progress && !layout.progress->report(bodyRows, layout.totalLines, documents))
                    throw ExportRefused(layout.dryRun ? QStringLiteral("预览已取消，未引出。")
                                                      : QStringLiteral("引出已取消，引出文件没有改变。"));
                // The product's entry of the tax-code catalogue, and the goods name with its short name.
                const QHash<QString, QString>* code = nullptr;
                const int lineNo = int(runLines.size()) + 1;
                if (layout.bodyItemNumber >= 0 && !layout.codes.isEmpty()) {
                    const auto found =
                        layout.codes.constFind(nullToText(row.value(layout.bodyItemNumber)).trimmed());
                    if (found != layout.codes.constEnd()) code = &*found;
                } else if (layout.bodyGoodsName >= 0 && !layout.codesByName.isEmpty()) {
                    const QString name = plainText(row.value(layout.bodyGoodsName)).trimmed();
                    const auto found = layout.codesByName.constFind(name);
                    if (found != layout.codesByName.constEnd()) {
                        if (found->size() > 1)
                            throw ExportRefused(
                                QStringLiteral(
                                    "发票“%1”第%2行的商品“%3”在税收分类编码中有两个同名的商品（%4和%5），"
                                    "无法确定其编码，引出失败！")
                                    .arg(key)
                                    .arg(lineNo)
                                    .arg(name, found->at(0).first, found->at(1).first));
                        code = &found->first().second;
                    }
                }
                if (layout.checkZeroRate && layout.bodyRate >= 0) {
                    double rate = 0;
                    const QString rateText = taxRateFraction(plainText(row.value(layout.bodyRate)));
                    if (strictNumber(rateText, rate)) {
                        const QString problem = zeroRateProblem(
                            code ? code->value(QStringLiteral("零税率标识")) : QString(), rate);
                        if (!problem.isEmpty())
                            throw ExportRefused(QStringLiteral("发票“%1”第%2行的商品“%3”%4，引出失败！")
                                                    .arg(key)
                                                    .arg(lineNo)
                                                    .arg(layout.bodyGoodsName >= 0
                                                             ? plainText(row.value(layout.bodyGoodsName))
                                                             : QString(),
                                                         problem));
                    }
                }
                const QVariantList* line = &row;
                QVariantList renamed;
                if (layout.prefixShortName && code && layout.bodyGoodsName >= 0 &&
                    !code->value(QStringLiteral("简称")).isEmpty()) {
                    renamed = row;
                    renamed[layout.bodyGoodsName] = u'*' + code->value(QStringLiteral("简称")) + u'*' +
                                                    plainText(row.value(layout.bodyGoodsName));
                    line = &renamed;
                }
                RunLine r{QByteArray(),
                          amountOf(*line, layout.bodyAmount),
                          amountOf(*line, layout.bodyTax),
                          amountOf(*line, layout.bodyDiscount) != 0,
                          {},
                          0};
                if (layout.platformTax && layout.bodyRate >= 0) {
                    // The goods line at its amount before the discount, the discount line apart.
                    // A rate that is no number leaves the line's own tax (the platform refuses the line).
                    double rate = 0;
                    const double discount = amountOf(*line, layout.bodyDiscount);
                    r.platformTax =
                        strictNumber(taxRateFraction(plainText(line->value(layout.bodyRate))), rate)
                            ? amountOfCents(centsOf((r.amount + discount) * rate) - centsOf(discount * rate))
                            : r.tax;
                }
                if (layout.sink) {
                    r.values = named(bodyFields, *line, false, layout.bodyNames);
                    // The catalogue fills what the link does not map itself.
                    if (code)
                        for (auto it = code->constBegin(); it != code->constEnd(); ++it)
                            if (r.values.value(it.key()).isEmpty()) r.values.insert(it.key(), it.value());
                } else {
                    r.bytes =
                        encodeLine(gbk, getTxtLine(bodyFields, *line, sep, false), bodyFields, *line, false);
                }
                runLines.append(std::move(r));
            });
        if (bodyRows == 0) throw ExportRefused(QStringLiteral("引出的表体数据为空，引出失败！"));
        flushRun();
        for (; haveHead; haveHead = head.next(headRow))
            writeHead();
        if (layout.dryRun) return true;
        // What the export records of its documents, before the file takes the target's place.
        if (layout.beforeCommit) layout.beforeCommit();
        if (layout.sink) {
            if (!sinkBegun) layout.sink->begin(0);
            layout.sink->commit();
        } else {
            // A real one has at least the first line.
            if (!target) write(QByteArray());
            target->commit();
        }
        return true;
    } catch (const ExportRefused& r) {
        showMsg(r.description());
        if (r.failedQuery()) reportCause(r.procedure(), *r.failedQuery());
        return false;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("WriteToTxT"), e);
        return false;
    }
}
