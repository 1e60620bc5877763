// The month close: generated sales invoices exported half to the tax software's text file and half to the
// platform's workbook, both systems' answers made up as they would give them (issued, cancelled, issued
// with other amounts, never; flushed red; matched only by buyer and amounts; a few that cannot be told
// apart), read back and reconciled. Each step is timed against its floor; the reconciliation must give
// every document the state the month gave it.
#include "InvoiceLines.h"
#include "PlatformListBook.h"
#include "PlatformTemplate.h"
#include "batch/Bench.h"
#include "common/Values.h"
#include "common/ZipArchive.h"
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

namespace Bench {
namespace {

const int kLines = 2; // goods lines of each generated invoice

// What the month did with a document, and so what the reconciliation must say of it.
enum class Fate { Never, Issued, OtherAmounts, Cancelled, Flushed, PartlyFlushed, ByBuyer, Ambiguous };

QString stateOf(Fate f) {
    switch (f) {
    case Fate::Never:
    case Fate::Ambiguous:
        return QStringLiteral("未开票");
    case Fate::Issued:
    case Fate::ByBuyer:
        return QStringLiteral("已开票");
    case Fate::OtherAmounts:
        return QStringLiteral("金额不符");
    case Fate::Cancelled:
        return QStringLiteral("已作废");
    case Fate::Flushed:
        return QStringLiteral("已红冲");
    case Fate::PartlyFlushed:
        return QStringLiteral("部分红冲");
    }
    return {};
}

struct Document {
    QString docNo;
    qlonglong interID = 0;
    qint64 amount = 0, tax = 0; // cents, as the export recorded them
    QString buyer, buyerTaxNo;
    Fate fate = Fate::Issued;
};

// The text file's half: most issued, some never, some cancelled, some issued with other amounts.
Fate textFate(int i) {
    switch (i % 20) {
    case 0:
        return Fate::Never;
    case 1:
        return Fate::Cancelled;
    case 2:
        return Fate::OtherAmounts;
    default:
        return Fate::Issued;
    }
}

// The workbook's half: the same, and flushed red wholly or in part, known by buyer and amounts only,
// and pairs of documents with the same buyer and amounts that the list cannot tell apart.
Fate workbookFate(int j) {
    if (j % 100 == 7 || j % 100 == 8) return Fate::Ambiguous;
    switch (j % 20) {
    case 0:
        return Fate::Never;
    case 1:
        return Fate::Cancelled;
    case 2:
        return Fate::Flushed;
    case 3:
        return Fate::PartlyFlushed;
    case 4:
    case 5:
        return Fate::ByBuyer;
    case 6:
        return Fate::OtherAmounts;
    default:
        return Fate::Issued;
    }
}

struct Step {
    QString name;
    double seconds = 0, floor = 0;
    qlonglong peakKb = 0;
};

qlonglong peakOf(const QString& file) {
    QFile peak(file);
    return peak.open(QIODevice::ReadOnly) ? peak.readAll().split(' ').value(0).toLongLong() : 0;
}

// A child of the month, timed, with its peak memory.
Step runStep(const QString& name, const QStringList& args, const QString& dir) {
    const QString peakFile = dir + QStringLiteral("/peak-memory");
    QFile::remove(peakFile);
    const ChildRun r = runBatch(args, dir, peakFile);
    requireOk(r, QStringLiteral("taxferry-batch ") + args.value(0) + QStringLiteral(" (") + name + u')');
    return Step{name, r.seconds, 0, peakOf(peakFile)};
}

// The set: the generated invoices as ordinary sales of the month (no ledger, no tax invoice), every one a
// special invoice whose amounts no other document has, but for the pairs the month makes alike.
void makeSales(const QString& acct, const QString& config, const QString& dir, int invoices) {
    {
        ConnectionPtr c = Connection::open(acct);
        c->exec(QStringLiteral("delete from ICSaleEntry"));
        c->exec(QStringLiteral("delete from ICSale"));
    }
    const QString file = dir + QStringLiteral("/month_sales.txt");
    writeIssuedFile(file, generatedFile(invoices, kLines));
    requireOk(runBatch({QStringLiteral("import"), QStringLiteral("--acct"), acct, QStringLiteral("--config"),
                        config, file},
                       dir),
              QStringLiteral("taxferry-batch import of the month's sales"));
    ConnectionPtr c = Connection::open(acct);
    c->begin();
    c->exec(QStringLiteral("delete from TF_Ledger"));
    c->exec(QStringLiteral("update ICSale set FTaxInvoiceNo=null, FTranType=80"));
    c->exec(QStringLiteral(
        "update ICSaleEntry set FQty=1, FTaxRate=13, FAmount=FInterID+FEntryID, FPrice=FInterID+FEntryID, "
        "FTaxAmount=(FInterID+FEntryID)*13/100.0, FAmountincludetax=(FInterID+FEntryID)*113/100.0, "
        "FTaxPrice=(FInterID+FEntryID)*113/100.0, FAmtDiscount=0, FDiscountRate=0"));
    c->exec(QStringLiteral("update ICSale set FInvoiceAmount=(select sum(e.FAmountincludetax) from "
                           "ICSaleEntry e where e.FInterID=ICSale.FInterID)"));
    c->commit();
}

// The tax codes of every product (the workbook needs one on every line), the platform's template and link 2
// to it: link 1's fields with the buyer's name and 备注 on their headings, the 单据号 at the start of 备注.
void makeWorkbookLink(const QString& acct, const QString& config, const QString& dir) {
    ConnectionPtr a = Connection::open(acct, Connection::Mode::ReadOnly);
    ConnectionPtr c = Connection::open(sqliteConn(config));
    addCatalogueCodes(*a, *c);
    c->close();
    const QString templ = dir + QStringLiteral("/template.xlsx");
    QFile f(templ);
    if (!f.open(QIODevice::WriteOnly) || f.write(buildPlatformTemplate()) < 0)
        throw Failure{QStringLiteral("cannot write ") + templ};
    f.close();
    requireOk(runBatch({QStringLiteral("template"), templ, QStringLiteral("--format"),
                        QStringLiteral("电子发票平台"), QStringLiteral("--config"), config},
                       dir),
              QStringLiteral("taxferry-batch template"));
    c = Connection::open(sqliteConn(config));
    const auto heading = [&](const char* name) {
        const RecordsetPtr rs = c->query(
            QStringLiteral("select Fid from t_TaxField where FFormat='xlsx' and FisHead=1 and Fname=?"),
            {QString::fromUtf8(name)});
        if (rs->atEnd())
            throw Failure{QStringLiteral("the template has no heading ") + QString::fromUtf8(name)};
        return rs->value(0);
    };
    c->begin();
    c->exec(QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FSeperator, FMemo, FDate, "
                           "FInOrOut, FFormat, FDocNoInRemark) select 2, '平台', FInvioceType, FSeperator, "
                           "'', FDate, FInOrOut, 'xlsx', 1 from t_BaseInfo where FID=1"));
    c->exec(
        QStringLiteral("insert into t_Detail (FBaseInfoID, FTaxID, FisFormula, FQORField, FisHead) select "
                       "2, FTaxID, FisFormula, FQORField, FisHead from t_Detail where FBaseInfoID=1"));
    c->exec(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=2 and FTaxID=3"),
            {heading("购买方名称")});
    c->exec(QStringLiteral("update t_Detail set FTaxID=? where FBaseInfoID=2 and FTaxID=7"),
            {heading("备注")});
    c->commit();
}

// Two documents of the workbook's half that the list cannot tell apart: the second gets the first's buyer
// and its lines' amounts, line by line.
void makeAlike(Connection& c, qlonglong first, qlonglong second) {
    c.exec(QStringLiteral("update ICSale set FCustID=(select FCustID from ICSale where FInterID=?) where "
                          "FInterID=?"),
           {first, second});
    const auto lines = [&](qlonglong id) {
        return c.query(QStringLiteral("select FEntryID, FAmount, FTaxAmount, FAmountincludetax from "
                                      "ICSaleEntry where FInterID=? order by FEntryID"),
                       {id});
    };
    const RecordsetPtr from = lines(first), to = lines(second);
    const QList<QVariantList>& a = from->allRows();
    const QList<QVariantList>& b = to->allRows();
    for (qsizetype k = 0; k < std::min(a.size(), b.size()); ++k)
        c.exec(
            QStringLiteral("update ICSaleEntry set FAmount=?, FPrice=?, FTaxAmount=?, FAmountincludetax=?, "
                           "FTaxPrice=? where FInterID=? and FEntryID=?"),
            {a[k][1], a[k][1], a[k][2], a[k][3], a[k][3], second, b[k][0]});
}

// The documents an export wrote, in 单据号 order, with what the ledger recorded of them.
QList<Document> exportedDocuments(const QString& acct) {
    ConnectionPtr c = Connection::open(acct, Connection::Mode::ReadOnly);
    QList<Document> docs;
    c->forEachRow(
        QStringLiteral("select l.FDocNo, l.FInterID, l.FAmount, l.FTax, o.FName, o.FTaxNum from TF_Ledger l "
                       "join ICSale s on s.FInterID=l.FInterID left join t_Organization o on "
                       "o.FItemID=s.FCustID where l.FDirection=0 and l.FState=0 order by l.FDocNo"),
        {}, nullptr, [&](const QVariantList& row) {
            docs.append({row[0].toString(), row[1].toLongLong(), centsOf(row[2].toDouble()),
                         centsOf(row[3].toDouble()), row[4].toString(), row[5].toString(), Fate::Issued});
        });
    return docs;
}

QString money(qint64 cents) {
    return decimalText(amountOfCents(cents), 2);
}

// The tax software's file of the month: the text half's documents issued as their fates say.
QStringList issuedFileOf(const QList<Document>& docs) {
    QList<QStringList> invoices;
    int number = 0;
    for (const Document& d : docs) {
        if (d.fate == Fate::Never) continue;
        const qint64 amount = d.amount + (d.fate == Fate::OtherAmounts ? 100 : 0);
        HeadFields h;
        h.customer = d.buyer;
        h.docNo = d.docNo;
        h.number = QStringLiteral("%1").arg(++number, 8, 10, QChar(u'0'));
        h.net = money(amount);
        h.tax = money(d.tax);
        h.cancelled = d.fate == Fate::Cancelled ? QStringLiteral("1") : QStringLiteral("0");
        invoices << invoice(h, {goodsLine({.qty = QStringLiteral("1"),
                                           .amount = money(amount),
                                           .rate = QStringLiteral("0.13"),
                                           .tax = money(d.tax),
                                           .price = money(amount)})});
    }
    return issuedFile(invoices);
}

// The platform's export of the month (发票基础信息 and 信息汇总表, as Excel keeps its texts): the workbook
// half's documents issued as their fates say.
void writePlatformList(const QString& path, const QList<Document>& docs) {
    QList<ListInvoice> rows;
    int number = 0;
    const auto digital = [&] { return QStringLiteral("2644200000%1").arg(++number, 10, 10, QChar(u'0')); };
    const QDateTime issued(QDate(2026, 4, 12), QTime(10, 21, 33));
    const auto row = [&](const Document& d, qint64 amount, qint64 tax, const QString& remark,
                         const QString& state = QStringLiteral("正常")) {
        ListInvoice inv;
        inv.digitalNumber = digital();
        inv.buyerTaxNo = d.buyerTaxNo;
        inv.buyerName = d.buyer;
        inv.issued = issued;
        inv.amountCents = amount;
        inv.taxCents = tax;
        inv.state = state;
        inv.red = amount < 0;
        inv.remark = remark;
        rows << inv;
        return inv.digitalNumber;
    };
    for (const Document& d : docs) {
        switch (d.fate) {
        case Fate::Never:
            break;
        case Fate::Issued:
            row(d, d.amount, d.tax, d.docNo);
            break;
        case Fate::OtherAmounts:
            row(d, d.amount + 100, d.tax, d.docNo);
            break;
        case Fate::ByBuyer:
        case Fate::Ambiguous:
            row(d, d.amount, d.tax, {});
            break;
        case Fate::Cancelled:
            row(d, d.amount, d.tax, d.docNo, QStringLiteral("已作废"));
            break;
        case Fate::Flushed:
        case Fate::PartlyFlushed: {
            const bool whole = d.fate == Fate::Flushed;
            const QString blue = row(d, d.amount, d.tax, d.docNo,
                                     whole ? QStringLiteral("已红冲-全额") : QStringLiteral("已红冲-部分"));
            row(d, whole ? -d.amount : -100, whole ? -d.tax : -13,
                QStringLiteral("被红冲蓝字数电发票号码：%1 红字发票信息确认单编号：%2")
                    .arg(blue)
                    .arg(4403000000000000LL + number));
            break;
        }
        }
    }
    writeRealShapeList(path, rows, kLines, ListSeller{kOwnTaxNo, QStringLiteral("杭州明远商贸有限公司")});
}

// What the write-back left on the documents' export rows and sales invoices, as update statements that
// write it again: the floor of a write-back.
QList<Statements> writeBackStatements(const QString& acct, const QList<Document>& docs) {
    QSet<QString> wanted;
    for (const Document& d : docs)
        wanted.insert(d.docNo);
    ConnectionPtr c = Connection::open(acct, Connection::Mode::ReadOnly);
    Statements ledger{QStringLiteral("update TF_Ledger set FInvoiceKind=?, FTaxCode=?, FTaxNumber=?, "
                                     "FIssueDate=?, FIssuedAmount=?, FIssuedTax=?, FIssueState=?, FState=? "
                                     "where FDirection=0 and FDocNo=? and FTaxNumber=?"),
                      {}};
    Statements sales{QStringLiteral("update ICSale set FTaxInvoiceNo=? where FInterID=?"), {}};
    QSet<qlonglong> seen;
    c->forEachRow(QStringLiteral("select FInvoiceKind, FTaxCode, FTaxNumber, FIssueDate, FIssuedAmount, "
                                 "FIssuedTax, FIssueState, FState, FDocNo, FInterID from TF_Ledger where "
                                 "FDirection=0 and FTaxNumber is not null and FTaxNumber<>''"),
                  {}, nullptr, [&](const QVariantList& row) {
                      if (!wanted.contains(row[8].toString())) return;
                      ledger.rows << (row.mid(0, 9) << row[2]);
                      const qlonglong id = row[9].toLongLong();
                      if (!seen.contains(id)) {
                          seen.insert(id);
                          sales.rows << QVariantList{row[2], id};
                      }
                  });
    // The sales invoices' values as they stand.
    QHash<qlonglong, QVariant> column;
    c->forEachRow(QStringLiteral("select FInterID, FTaxInvoiceNo from ICSale"), {}, nullptr,
                  [&](const QVariantList& row) { column.insert(row[0].toLongLong(), row[1]); });
    for (QVariantList& row : sales.rows)
        row[0] = column.value(row[1].toLongLong());
    return {ledger, sales};
}

double updateFloor(const AcctSets& sets, const QString& acct, const QList<Statements>& statements) {
    return sets.onServer() ? preparedFloor(acct, statements)
                           : sqlitePreparedFloor(sets.filePath(acct), statements);
}

// Every row of the query fetched: through SQLite's own interface on a file, Qt SQL on a server.
double readFloor(const AcctSets& sets, const QString& acct, const QString& sql) {
    QElapsedTimer timer;
    if (sets.onServer()) {
        ConnectionPtr c = Connection::open(acct, Connection::Mode::ReadOnly);
        qlonglong n = 0;
        timer.start();
        c->forEachRow(sql, {}, nullptr, [&](const QVariantList&) { ++n; });
        return double(timer.nsecsElapsed()) / 1e9;
    }
    sqlite3* db = nullptr;
    const QByteArray path = QFile::encodeName(sets.filePath(acct)), text = sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        throw Failure{QStringLiteral("cannot read %1: %2").arg(sql, why)};
    }
    timer.start();
    qint64 bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        for (int k = 0; k < sqlite3_column_count(st); ++k)
            bytes += sqlite3_column_bytes(st, k);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return seconds;
}

// The least a reader of the list does: its members unpacked.
double unpackFloor(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    ZipArchive zip(path);
    qint64 bytes = 0;
    for (const ZipArchive::Member& m : zip.members())
        bytes += zip.read(m.name, m.size + 1).size();
    return bytes >= 0 ? double(timer.nsecsElapsed()) / 1e9 : 0;
}

void printLine(const QString& name, int invoices, double seconds, double floor, qlonglong peakKb) {
    std::printf("%-22s %7d  %8.2f s   floor %7.2f s  %6.1fx   peak %6.1f MB\n", qPrintable(name), invoices,
                seconds, floor, floor > 0 ? seconds / floor : 0.0, double(peakKb) / 1024.0);
    std::fflush(stdout);
}

void printStep(const Step& s, int invoices) {
    printLine(s.name, invoices, s.seconds, s.floor, s.peakKb);
}

} // namespace

int measureMonth(AcctSets& sets, const QString& config, const QString& dir, int invoices) {
    const QString acct = sets.make(QStringLiteral("month"), true);
    makeSales(acct, config, dir, invoices);
    makeWorkbookLink(acct, config, dir);

    // The halves by bill number; the workbook's half gets its alike pairs before anything goes out.
    QStringList bills;
    QList<qlonglong> ids;
    {
        ConnectionPtr c = Connection::open(acct);
        const RecordsetPtr sales =
            c->query(QStringLiteral("select FBillNo, FInterID from ICSale order by FBillNo"));
        for (const QVariantList& row : sales->allRows()) {
            bills << row[0].toString();
            ids << row[1].toLongLong();
        }
        if (bills.size() != invoices)
            throw Failure{QStringLiteral("the set holds %1 sales, not %2").arg(bills.size()).arg(invoices)};
        const int half = invoices / 2;
        c->begin();
        for (int j = 0; half + j + 1 < invoices; ++j)
            if (workbookFate(j) == Fate::Ambiguous && workbookFate(j + 1) == Fate::Ambiguous)
                makeAlike(*c, ids[half + j], ids[half + j + 1]);
        c->commit();
    }
    const int half = invoices / 2;
    const QString textFirst = bills.first(), textLast = bills[half - 1], bookFirst = bills[half],
                  bookLast = bills.last();
    const auto filter = [](const QString& first, const QString& last) {
        return QStringLiteral("||%1|%2").arg(first, last);
    };
    const QStringList common{QStringLiteral("--acct"), acct, QStringLiteral("--config"), config};
    QList<Step> steps;

    // The exports, each against its query fetched and written.
    const auto exportStep = [&](const QString& name, const QString& link, const QString& file,
                                const QString& first, const QString& last, int count) {
        Step step = runStep(name,
                            QStringList{QStringLiteral("export")} + common +
                                QStringList{QStringLiteral("--link"), link, QStringLiteral("--out"), file,
                                            QStringLiteral("--filter"), filter(first, last)},
                            dir);
        step.floor = exportFloor(acct, config, dir + QStringLiteral("/floor.txt"), first, last).seconds;
        steps << step;
        printStep(step, count);
    };
    exportStep(QStringLiteral("export, text file"), QStringLiteral("1"), dir + QStringLiteral("/month.txt"),
               textFirst, textLast, half);
    exportStep(QStringLiteral("export, workbook"), QStringLiteral("2"), dir + QStringLiteral("/month.xlsx"),
               bookFirst, bookLast, invoices - half);

    // The month's answers, made up from what the exports recorded.
    QList<Document> textDocs, bookDocs;
    for (Document& d : exportedDocuments(acct)) {
        if (d.docNo <= textLast) {
            d.fate = textFate(int(textDocs.size()));
            textDocs << d;
        } else {
            d.fate = workbookFate(int(bookDocs.size()));
            bookDocs << d;
        }
    }
    if (textDocs.size() != half || bookDocs.size() != invoices - half)
        throw Failure{QStringLiteral("the exports recorded %1 and %2 documents, not %3 and %4")
                          .arg(textDocs.size())
                          .arg(bookDocs.size())
                          .arg(half)
                          .arg(invoices - half)};
    const QString issuedPath = dir + QStringLiteral("/month_issued.txt");
    writeIssuedFile(issuedPath, issuedFileOf(textDocs));
    const QString listPath = dir + QStringLiteral("/month_list.xlsx");
    writePlatformList(listPath, bookDocs);

    // The write-backs, each against the same updates prepared once (and the list's members unpacked).
    Step issued = runStep(QStringLiteral("write-back, text file"),
                          QStringList{QStringLiteral("import")} + common + QStringList{issuedPath}, dir);
    issued.floor = updateFloor(sets, acct, writeBackStatements(acct, textDocs));
    steps << issued;
    printStep(issued, half);
    Step list = runStep(QStringLiteral("write-back, list"),
                        QStringList{QStringLiteral("writeback"), listPath} + common, dir);
    list.floor = updateFloor(sets, acct, writeBackStatements(acct, bookDocs)) + unpackFloor(listPath);
    steps << list;
    printStep(list, invoices - half);

    // The reconciliation, against the ledger and the sales read whole.
    const QString peakFile = dir + QStringLiteral("/peak-memory");
    QFile::remove(peakFile);
    const ChildRun rec = runBatch(QStringList{QStringLiteral("reconcile")} + common, dir, peakFile);
    requireOk(rec, QStringLiteral("taxferry-batch reconcile"));
    Step reconcile{QStringLiteral("reconciliation"), rec.seconds,
                   readFloor(sets, acct, QStringLiteral("select * from TF_Ledger")) +
                       readFloor(sets, acct, QStringLiteral("select * from ICSale")),
                   peakOf(peakFile)};
    steps << reconcile;
    printStep(reconcile, invoices);

    // Every document in the state the month gave it.
    QHash<QString, QString> found;
    for (const QString& line : rec.output.split(u'\n')) {
        const QStringList f = line.split(u'\t');
        if (f.size() >= 2 && !f[0].isEmpty() && f[0] != u"合计") found.insert(f[0], f[1]);
    }
    int differing = 0;
    QStringList shown;
    for (const QList<Document>* half : {&textDocs, &bookDocs})
        for (const Document& d : *half) {
            const QString want = stateOf(d.fate), got = found.value(d.docNo, QStringLiteral("(不在对账中)"));
            if (got == want) continue;
            if (++differing <= 10) shown << QStringLiteral("%1\t%2, not %3").arg(d.docNo, got, want);
        }

    double total = 0, floors = 0;
    qlonglong peak = 0;
    for (const Step& s : steps) {
        total += s.seconds;
        floors += s.floor;
        peak = std::max(peak, s.peakKb);
    }
    printLine(QStringLiteral("the whole month"), invoices, total, floors, peak);
    std::printf("documents not in the state the month gave them: %d\n", differing);
    for (const QString& s : shown)
        std::printf("  %s\n", s.toUtf8().constData());
    std::fflush(stdout);
    return differing;
}

} // namespace Bench
