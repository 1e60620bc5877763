// The writing of the export engine: the selected heads and lines through the file writer into the link's
// format, recorded in the ledger once the file is in place.
#include "export/ExportEngine.h"

#include "common/DbLog.h"
#include "common/DbProcedures.h"
#include "common/Ledger.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RowBatch.h"
#include "common/Session.h"
#include "common/Values.h"
#include "export/DocumentMerge.h"
#include "export/ExportLedger.h"
#include "export/ExportSelection.h"
#include "export/ExportWriter.h"
#include "export/WorkbookDocumentSink.h"
#include "export/WorkbookTemplate.h"
#include "export/XmlDocumentSink.h"
#include "links/WizardGrid.h"
#include "mapping/TaxCodeStore.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

using namespace ExportSelection;

namespace {
constexpr long FileAccessError = 75; // path/file access error
} // namespace

QString ExportEngine::fileNames(const QStringList& files) {
    QStringList names;
    for (const QString& f : files)
        names << QFileInfo(f).fileName();
    return names.join(QStringLiteral("、"));
}

QString ExportEngine::countsText() const {
    return QStringLiteral("引出发票%1张，商品行%2行。").arg(m_counts.invoices).arg(m_counts.lines);
}

QString ExportEngine::layoutGapText() const {
    if (m_layoutGaps.isEmpty()) return QString();
    return QStringLiteral("关联%1，税控系统会把其后的字段读到错误的位置。请在关联设置中补上这些字段。")
        .arg(m_layoutGaps.join(QStringLiteral("；")));
}

QString ExportEngine::validInvoicesText() const {
    QStringList lines{QStringLiteral("%1张发票已开具有效的税控发票，未引出（需先作废或红冲）：")
                          .arg(m_validInvoices.size())};
    for (const ValidInvoice& v : m_validInvoices)
        lines << v.billNo + u'\t' + v.numbers.join(u',');
    return lines.join(u'\n');
}

QString ExportEngine::leftOutText() const {
    if (m_includeExported) return m_validInvoices.isEmpty() ? QString() : validInvoicesText();
    const int imported = m_counts.leftOutImported;
    const int exported = m_counts.leftOut - imported;
    if (m_counts.leftOut <= 0) return QString();
    if (imported == 0) return QStringLiteral("已有%1张发票引出过，本次未引出。").arg(exported);
    if (exported == 0) return QStringLiteral("已有%1张发票由税控系统引入，本次未引出。").arg(imported);
    return QStringLiteral("已有%1张发票引出过、%2张发票由税控系统引入，本次未引出。")
        .arg(exported)
        .arg(imported);
}

QString ExportEngine::nothingLeftText() const {
    const int imported = m_counts.leftOutImported;
    const int exported = m_counts.leftOut - imported;
    if (imported == 0) return QStringLiteral("所选的%1张发票均已引出过，本次未引出。").arg(exported);
    if (exported == 0) return QStringLiteral("所选的%1张发票均由税控系统引入，本次未引出。").arg(imported);
    return QStringLiteral("所选的%1张发票均未引出：%2张已引出过，%3张由税控系统引入。")
        .arg(m_counts.leftOut)
        .arg(exported)
        .arg(imported);
}

void ExportEngine::PreviewTotals::add(const ExportDoc& doc) {
    ++documents;
    lines += doc.lines;
    // Summed in cents: the total is the sum of the amounts the lines above it show.
    amount = amountOfCents(centsOf(amount) + centsOf(doc.amount));
    tax = amountOfCents(centsOf(tax) + centsOf(doc.tax));
    if (!doc.members.isEmpty())
        ++merged;
    else if (doc.docNo != doc.billNo)
        ++pieces;
}

QStringList ExportEngine::earlierFilesOf(Connection& writer, const QString& target,
                                         const QStringList& written) {
    QStringList out;
    if (!Ledger::exists(writer)) return out;
    // Each earlier export's files of this name, by the time it recorded them.
    QMap<QString, QStringList> byExport;
    const RecordsetPtr rs =
        writer.query(QStringLiteral("select distinct FFileName, FTime from TF_Ledger where FDirection=?"),
                     {Ledger::Export});
    for (const QVariantList& row : rs->allRows()) {
        const QString file = nullToText(row.value(0));
        if (!file.isEmpty() && WorkbookDocumentSink::isFileOf(target, file))
            byExport[nullToText(row.value(1))] << QFileInfo(file).absoluteFilePath();
    }
    const QString whole = QFileInfo(target).absoluteFilePath();
    const auto same = [](const QString& a, const QString& b) { return a.compare(b, fileNameCase()) == 0; };
    for (const QStringList& files : std::as_const(byExport)) {
        // NAME-1.xlsx alone is an export to that name of its own, not a part of one to NAME.
        const bool inParts =
            std::count_if(files.begin(), files.end(), [&](const QString& f) { return !same(f, whole); }) > 1;
        for (const QString& path : files) {
            if (!inParts && !same(path, whole)) continue;
            const bool rewritten = std::any_of(written.begin(), written.end(), [&](const QString& w) {
                return same(QFileInfo(w).absoluteFilePath(), path);
            });
            if (!rewritten && QFileInfo::exists(path) && !out.contains(path, fileNameCase())) out << path;
        }
    }
    // In the order of their parts: NAME, NAME-1, NAME-2, … NAME-10.
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return out;
}

void ExportEngine::removeEarlierFiles(const QStringList& files) {
    QStringList removed;
    for (const QString& path : files) {
        QFile file(path);
        if (file.remove()) {
            removed << path;
            continue;
        }
        // The export stands: only the old file is left, which the user can remove.
        showMsg(QStringLiteral("此前引出的文件%1未能删除（可能正被其他程序打开），请手工删除，以免重复导入。")
                    .arg(QDir::toNativeSeparators(path)));
        reportCause(QStringLiteral("RemoveEarlierFiles"),
                    DbError(FileAccessError, QStringLiteral("删除文件失败：%1").arg(path), file.errorString(),
                            QString()));
    }
    if (!removed.isEmpty())
        showMsg(QStringLiteral("已删除此前引出到同一文件名的旧文件：%1。").arg(fileNames(removed)));
}

namespace {
// The caller's progress sink, watched: a request to stop is what ended the export.
struct CancelWatch : ProgressSink {
    ProgressSink* inner = nullptr;
    bool& stopped;
    explicit CancelWatch(bool& s) : stopped(s) {}
    bool report(qint64 done, qint64 total, int invoices) override {
        if (!inner->report(done, total, invoices)) stopped = true;
        return !stopped;
    }
};
} // namespace

void ExportEngine::startRun() {
    m_counts = Counts{};
    m_layoutGaps.clear();
    m_leftOutBills.clear();
    m_validInvoices.clear();
    m_docs.clear();
    m_previewTotals = PreviewTotals{};
    m_cancelled = false;
    m_writtenFiles.clear();
}

ConnectionPtr ExportEngine::ledgerConnection(std::optional<TransactionGuard>& locked) {
    // The export's own connection, which records its documents in the ledger. It takes the ledger's lock
    // before anything is read: a second export at the same time waits until this one has recorded what
    // it sent, and then leaves that out. An older ledger gains its new columns first (the reading
    // connection cannot).
    ConnectionPtr writer = m_session.gcnAcct && m_session.gcnAcct->state() == 1
                               ? m_session.gcnAcct
                               : m_session.openAcctConnection();
    // A preview only reads: it leaves an older ledger as it is.
    if (!m_preview) {
        Ledger::ensure(*writer);
        writer->beginLedgerLock();
        locked.emplace(*writer, TransactionGuard::Begun);
    }
    return writer;
}

void ExportEngine::noteLayoutGaps(Connection& config) {
    // A text link saved with a field left out before one it keeps still exports as it always did; the
    // result names the gap, since the tax system reads the later fields in the wrong place.
    auto names = [&config](bool isHead) {
        QStringList out;
        for (const LayoutField& f : textFileLayout(config, isHead))
            out << f.name;
        return out;
    };
    const QStringList headGaps = layoutGaps(names(true), m_headTaxNames);
    const QStringList bodyGaps = layoutGaps(names(false), m_bodyTaxNames);
    if (!headGaps.isEmpty())
        m_layoutGaps << QStringLiteral("表头缺少%1").arg(headGaps.join(QStringLiteral("、")));
    if (!bodyGaps.isEmpty())
        m_layoutGaps << QStringLiteral("表体缺少%1").arg(bodyGaps.join(QStringLiteral("、")));
}

BodyRowSource ExportEngine::bodyRows(ConnectionPtr& acct, const TemplateQuery& body) {
    return [&acct, &body](const std::function<void(const QList<FieldInfo>&)>& onColumns,
                          const std::function<void(const QVariantList&)>& onRow) {
        // A failure of the query itself, also one that arises while its rows are read, is the failed
        // trial of the body query; failures of the writer pass through as they are.
        bool inWriter = false;
        try {
            acct->forEachRow(
                body.sql, body.params,
                [&](const QList<FieldInfo>& cols) {
                    inWriter = true;
                    onColumns(cols);
                    inWriter = false;
                },
                [&](const QVariantList& row) {
                    inWriter = true;
                    onRow(row);
                    inWriter = false;
                });
        } catch (const DbError& e) {
            if (!inWriter) throw ExportRefused{QStringLiteral("语法错误，引出失败！"), e};
            throw;
        }
    };
}

std::optional<InstalledTemplate> ExportEngine::workbookTemplate(Connection& config) {
    std::optional<InstalledTemplate> installed = installedWorkbookTemplate(config);
    if (!installed) {
        showMsg(QStringLiteral("尚未读取电子发票平台模板，请先在关联设置中读取平台模板，引出失败！"));
        return std::nullopt;
    }
    // The workbook is a copy of the template file, which an earlier version did not keep.
    if (installed->file.isEmpty()) {
        showMsg(QStringLiteral("已读取的电子发票平台模板没有保存模板文件，请在关联设置中重新读取平台"
                               "模板（读取平台模板），引出失败！"));
        return std::nullopt;
    }
    return installed;
}

void ExportEngine::mapWorkbookHeadings(WorkbookLayout& workbook, QStringList& headNames,
                                       QStringList& bodyNames) const {
    // A workbook link maps the template's headings: each stands for what the heading means (the value
    // learnt with the template), or for itself when that is not known.
    QHash<QString, QString> meaning;
    for (WorkbookSheetLayout* sheet : {&workbook.head, &workbook.detail})
        for (WorkbookColumn& c : sheet->columns) {
            if (c.value.isEmpty()) c.value = c.heading;
            meaning.insert(c.heading, c.value);
        }
    for (QString& n : headNames)
        n = meaning.value(n, n);
    for (QString& n : bodyNames)
        n = meaning.value(n, n);
    // A split column mapped to the joined accounting field takes its part of it, as an unmapped one
    // does; mapped to anything else it is filled as mapped.
    namespace V = WorkbookValue;
    for (qsizetype i = 0; i < headNames.size() && i < m_headQorIds.size(); ++i) {
        const QString& n = headNames[i];
        const QString joined = n == V::Address || n == V::Phone              ? QStringLiteral("5")
                               : n == V::Bank || n == V::Account             ? QStringLiteral("6")
                               : n == V::SellerBank || n == V::SellerAccount ? QStringLiteral("12")
                                                                             : QString();
        if (joined.isEmpty() || m_headQorIds[i] != joined) continue;
        for (const JoinedField& f : kJoinedFields)
            if (joined == QLatin1String(f.qorId)) headNames[i] = f.key;
    }
}

ExportLayout ExportEngine::exportLayout(const Recordset& link, const QString& format,
                                        const WorkbookLayout* workbook, const QStringList& headNames,
                                        const QStringList& bodyNames) const {
    ExportLayout layout;
    layout.headDocNo = columnOf(headNames, QStringLiteral("单据号"));
    // A workbook link's 发票流水号 is its 单据号.
    if (layout.headDocNo < 0 && workbook) layout.headDocNo = columnOf(headNames, WorkbookValue::DocKey);
    layout.headCustomer = columnOf(headNames, QStringLiteral("购方名称"));
    layout.headListName = columnOf(headNames, QStringLiteral("清单行商品名称"));
    layout.bodyAmount = columnOf(bodyNames, QStringLiteral("不含税金额"));
    layout.bodyTax = columnOf(bodyNames, QStringLiteral("税额"));
    layout.bodyDiscount = columnOf(bodyNames, QStringLiteral("折扣金额"));
    layout.maxLines = std::max(0, nullToValue(link.value(QStringLiteral("FMaxLines")), 0).toInt());
    layout.maxAmount = std::max(0.0, nullToValue(link.value(QStringLiteral("FMaxAmount")), 0).toDouble());
    layout.useList = isTrueValue(link.value(QStringLiteral("FUseList")));
    layout.dryRun = m_preview;
    layout.prefixShortName = isTrueValue(link.value(QStringLiteral("FPrefixShortName")));
    layout.headRemark = columnOf(headNames, QStringLiteral("备注"));
    layout.docNoInRemark = isTrueValue(link.value(QStringLiteral("FDocNoInRemark")));
    // The column's limit: the template's for the platform, the file layout's otherwise.
    layout.remarkLimitInBytes = !workbook;
    layout.remarkLimit = format == u"xml" ? 240 : 160;
    if (workbook)
        for (const WorkbookColumn& c : workbook->head.columns)
            if (c.value == u"备注") layout.remarkLimit = c.limit;
    layout.platformTax = workbook != nullptr;
    layout.bodyGoodsName = columnOf(bodyNames, QStringLiteral("货物名称"));
    layout.invoiceKind = nullToText(link.value(QStringLiteral("FInvioceType"))).trimmed() == u"0"
                             ? QStringLiteral("增值税专用发票")
                             : QStringLiteral("普通发票");
    layout.headNames = headNames;
    layout.bodyNames = bodyNames;
    return layout;
}

void ExportEngine::addTaxCodes(ExportLayout& layout, bool hasItemNumber) const {
    // The catalogue, by the product number the template delivers, else by the product's name.
    if (hasItemNumber) layout.bodyItemNumber = 1 + int(m_bodyTaxNames.size());
    TaxCodeStore store(m_session);
    for (const TaxCodeRow& r : store.load()) {
        QHash<QString, QString> v;
        v.insert(QStringLiteral("税收分类编码"), r.taxCode);
        v.insert(QStringLiteral("简称"), r.shortName);
        v.insert(QStringLiteral("企业自编码"), r.ownCode);
        v.insert(QStringLiteral("优惠政策标识"), r.preferential ? QStringLiteral("1") : QStringLiteral("0"));
        v.insert(QStringLiteral("优惠政策说明"), r.preferentialText);
        v.insert(QStringLiteral("零税率标识"), r.zeroRate);
        if (hasItemNumber)
            layout.codes.insert(r.itemNumber.trimmed(), v);
        else
            layout.codesByName[r.itemName.trimmed()].append({r.itemNumber.trimmed(), v});
    }
    layout.codeVersion = store.version();
    layout.checkZeroRate = true;
    layout.bodyRate = columnOf(layout.bodyNames, QStringLiteral("税率"));
}

MergeSettings ExportEngine::mergeSettings(const Recordset& link, const ExportLayout& layout,
                                          bool workbook) const {
    MergeSettings ms;
    ms.mergeLines = m_mergeLines.value_or(isTrueValue(link.value(QStringLiteral("FMergeLines"))));
    ms.headCustomer = layout.headCustomer;
    ms.headTaxNumber = columnOf(layout.headNames, QStringLiteral("购方税号"));
    ms.headKind = workbook ? columnOf(layout.headNames, WorkbookValue::InvoiceKind) : -1;
    ms.headDocNo = layout.headDocNo;
    ms.headRemark = layout.headRemark;
    ms.bodyAmount = layout.bodyAmount;
    ms.bodyTax = layout.bodyTax;
    ms.bodyDiscount = layout.bodyDiscount;
    ms.bodyQuantity = columnOf(layout.bodyNames, QStringLiteral("数量"));
    ms.bodyName = layout.bodyGoodsName;
    ms.bodySpec = columnOf(layout.bodyNames, QStringLiteral("规格"));
    ms.bodyUnit = columnOf(layout.bodyNames, QStringLiteral("计量单位"));
    ms.bodyPrice = columnOf(layout.bodyNames, QStringLiteral("单价"));
    ms.bodyRate = columnOf(layout.bodyNames, QStringLiteral("税率"));
    ms.bodyItemNumber = layout.bodyItemNumber;
    ms.remarkLimit = layout.remarkLimit;
    ms.remarkLimitInBytes = layout.remarkLimitInBytes;
    const bool cut = (layout.maxLines > 0 && !layout.useList) || layout.maxAmount > 0;
    ms.pieceSuffixBytes = cut ? 3 : 0;
    return ms;
}

QSet<QString> ExportEngine::mergedDocNosTaken(Connection& writer) {
    // The 单据号 the ledger knows of that a merged one could take (each holds a "+"), read once; a piece's
    // "-N" stands for its document too.
    QSet<QString> known;
    if (!Ledger::exists(writer)) return known;
    static const QRegularExpression piece(QStringLiteral("-\\d+$"));
    const RecordsetPtr rs = writer.query(
        QStringLiteral("select distinct FDocNo from %1 l where FDirection=? and FDocNo like ?")
            .arg(Ledger::readSource(writer)),
        {Ledger::Export, QStringLiteral("%+%")});
    for (const QVariantList& row : rs->allRows()) {
        const QString docNo = nullToText(row.value(0));
        known.insert(docNo);
        known.insert(QString(docNo).remove(piece));
    }
    return known;
}

void ExportEngine::showDone(const QStringList& earlierFiles) {
    if (m_counts.leftOut > 0) showMsg(leftOutText());
    if (m_counts.merged > 0)
        showMsg(QStringLiteral("%1张销售发票合并为%2张单据。").arg(m_counts.members).arg(m_counts.merged));
    if (!m_layoutGaps.isEmpty()) showMsg(layoutGapText());
    if (m_writtenFiles.size() > 1)
        showMsg(QStringLiteral("电子发票平台每个工作簿最多导入%1行明细，已分为%2个文件：%3。")
                    .arg(WorkbookDocumentSink::kMaxDetailRows)
                    .arg(m_writtenFiles.size())
                    .arg(fileNames(m_writtenFiles)));
    removeEarlierFiles(earlierFiles);
}

bool ExportEngine::exportFile(const QString& filePath, const QString& conditions, const QString& linkId) {
    startRun();
    try {
        Connection& config = m_session.config();
        const RecordsetPtr link = loadLink(config, linkId);
        if (link->atEnd()) {
            showMsg(QStringLiteral("关联不存在，引出失败！"));
            return false;
        }
        const QString sep = nullToText(link->value(QStringLiteral("FSeperator")));
        const QString invType = nullToText(link->value(QStringLiteral("FInvioceType")));
        const TemplateQuery head =
            mainTemplateQuery(readTemplate(config, QStringLiteral("tbl1")), conditions, invType);
        const QString B = readTemplate(config, QStringLiteral("tbl2"));

        std::optional<TransactionGuard> locked;
        ConnectionPtr writer = ledgerConnection(locked);
        ConnectionPtr acct;
        m_totalLines = 0;
        // The reading connections end with the export, whatever the way out: a reader left open would keep
        // the next export's writer of an SQLite file waiting.
        const std::shared_ptr<void> endReading(nullptr, [this, &acct](void*) {
            m_headConnection.reset();
            if (acct) acct->close();
        });

        // The queries: the heads (run now), the lines (run while the file is written).
        const QString format = linkFormat(link->value(QStringLiteral("FFormat")));
        m_readJoinedFields = format == u"xlsx";
        const std::unique_ptr<Connection::Cursor> RH = getRs(acct, linkId, head, B);
        if (!RH) return false;
        m_wantItemNumber = format != u"txt" || isTrueValue(link->value(QStringLiteral("FPrefixShortName")));
        TemplateQuery body;
        if (!buildRsQuery(linkId, false, head, B, body)) return false;
        const bool hasItemNumber = body.sql.contains(itemNumberColumn());
        m_layoutGaps.clear();
        if (format == u"txt") noteLayoutGaps(config);
        const BodyRowSource RB = bodyRows(acct, body);

        // Where each field of the link stands, and what the format asks of the file.
        std::optional<InstalledTemplate> workbook;
        QStringList headNames = m_headTaxNames, bodyNames = m_bodyTaxNames;
        if (format == u"xlsx") {
            workbook = workbookTemplate(config);
            if (!workbook) return false;
            mapWorkbookHeadings(workbook->layout, headNames, bodyNames);
        }
        ExportLayout layout =
            exportLayout(*link, format, workbook ? &workbook->layout : nullptr, headNames, bodyNames);
        if (m_wantItemNumber) addTaxCodes(layout, hasItemNumber);
        std::unique_ptr<DocumentSink> sink;
        if (format == u"xml")
            sink = std::make_unique<XmlDocumentSink>(filePath);
        else if (workbook)
            sink = std::make_unique<WorkbookDocumentSink>(filePath, workbook->layout, workbook->file);
        layout.sink = sink.get();
        CancelWatch watch(m_cancelled);
        watch.inner = m_progress;
        if (m_progress) layout.progress = &watch;
        if (layout.useList && layout.maxLines > 0 && layout.headListName < 0) {
            showMsg(QStringLiteral("关联的表头没有“清单行商品名称”字段，不能开具销货清单，引出失败！"));
            return false;
        }
        layout.totalLines = m_totalLines;

        // What goes out is recorded: in the ledger for an export, in the preview's lists for a preview.
        const QString user =
            m_session.gsUserName.isEmpty() ? qEnvironmentVariable("USER") : m_session.gsUserName;
        ExportLedger ledger(linkId, filePath, user, m_includeExported);
        // The ledger's rows go in before the file takes the target's place: a ledger that cannot be written
        // leaves the earlier file as it was, and the invoices are not taken for exported.
        layout.beforeCommit = [&] {
            // The reading connections end first: an SQLite file takes no writer's commit while a reader
            // holds it.
            acct->close();
            m_headConnection.reset();
            try {
                if (sink) ledger.setPartFiles(sink->plannedFiles());
                ledger.write(*writer);
            } catch (const DbError& e) {
                throw ExportRefused(
                    QStringLiteral("未能在账套中记下这些发票已经引出，引出失败，引出文件没有改变。"), e,
                    QStringLiteral("WriteLedger"));
            }
        };
        const auto onDoc = [&](const ExportDoc& d) {
            ++m_counts.invoices;
            m_counts.lines += d.lines;

            // A preview shows the documents; an export records them.
            if (m_preview) {
                m_previewTotals.add(d);
                if (m_docs.size() < m_previewLimit) m_docs.append(d);
            } else
                ledger.add(d);
        };

        // Merged documents: every head and line of the selection is read first.
        std::unique_ptr<MergedDocuments> merged;
        if (m_merge.value_or(isTrueValue(link->value(QStringLiteral("FMergeBuyer"))))) {
            MergeSettings ms = mergeSettings(*link, layout, workbook.has_value());
            const QSet<QString> known = mergedDocNosTaken(*writer);
            ms.docNoTaken = [&known](const QString& docNo) { return known.contains(docNo); };
            try {
                merged = std::make_unique<MergedDocuments>(*RH, RB, ms);
            } catch (const ExportRefused& r) {
                showMsg(r.description());
                if (r.failedQuery()) reportCause(r.procedure(), *r.failedQuery());
                return false;
            }
            layout.membersOf = [&merged](const QString& docKey, const QList<int>& lines) {
                return merged->members(docKey, lines);
            };
        }

        if (!writeTextFile(filePath, merged ? merged->heads() : *RH, merged ? merged->lines() : RB, sep,
                           layout, onDoc))
            return false;
        if (merged && merged->mergedDocuments() > 0) {
            m_counts.merged = merged->mergedDocuments();
            m_counts.members = merged->memberInvoices();
        }
        if (sink && sink->writtenFiles().size() > 1) m_writtenFiles = sink->writtenFiles();
        // A preview shows what it left out beside what it would write.
        if (m_preview) return true;
        // The files an earlier export to this name wrote go once the new ones are in place: a workbook
        // of January in parts must not lie beside February's single one.
        const QStringList earlier =
            workbook ? earlierFilesOf(*writer, filePath, sink->writtenFiles()) : QStringList();
        try {
            locked->commit();
        } catch (const DbError& e) {
            showMsg(QStringLiteral(
                "引出文件已经写好，但未能在账套中记下这些发票已经引出，下次引出时它们还会引出，"
                "引出失败！"));
            reportCause(QStringLiteral("WriteLedger"), e);
            return false;
        }
        // The write-back of these documents finds them by the planner's statistics: gathered when the
        // ledger held no 单据号, they would make each lookup a scan of the standing rows.
        Ledger::refreshStatistics(*writer, m_counts.invoices + m_counts.members);
        showDone(earlier);
        return true;
    } catch (const std::exception& e) {
        showErr(QStringLiteral("ExportToTxT"), e);
        return false;
    }
}
