// The writing of the export engine: the selected heads and lines through the file writer into the link's
// format, recorded in the ledger once the file is in place.
#include "clsSaveDataExport.h"

#include "DocumentMerge.h"
#include "ExportLedger.h"
#include "ExportSelection.h"
#include "ExportWriter.h"
#include "WorkbookDocumentSink.h"
#include "WorkbookTemplate.h"
#include "XmlDocumentSink.h"
#include "common/DbLog.h"
#include "common/Ledger.h"
#include "common/RowBatch.h"
#include "common/Session.h"
#include "common/modFunction.h"
#include "links/WizardGrid.h"
#include "mapping/TaxCodeStore.h"
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

using namespace ExportSelection;

QString clsSaveDataExport::FileNames(const QStringList& files) {
    QStringList names;
    for (const QString& f : files)
        names << QFileInfo(f).fileName();
    return names.join(QStringLiteral("、"));
}

QString clsSaveDataExport::CountsText() const {
    return QStringLiteral("引出发票%1张，商品行%2行。").arg(m_counts.invoices).arg(m_counts.lines);
}

QString clsSaveDataExport::LayoutGapText() const {
    if (m_layoutGaps.isEmpty()) return QString();
    return QStringLiteral("关联%1，税控系统会把其后的字段读到错误的位置。请在关联设置中补上这些字段。")
        .arg(m_layoutGaps.join(QStringLiteral("；")));
}

QString clsSaveDataExport::LeftOutText() const {
    const int imported = m_counts.leftOutImported;
    const int exported = m_counts.leftOut - imported;
    if (m_counts.leftOut <= 0) return QString();
    if (imported == 0) return QStringLiteral("已有%1张发票引出过，本次未引出。").arg(exported);
    if (exported == 0) return QStringLiteral("已有%1张发票由税控系统引入，本次未引出。").arg(imported);
    return QStringLiteral("已有%1张发票引出过、%2张发票由税控系统引入，本次未引出。")
        .arg(exported)
        .arg(imported);
}

QString clsSaveDataExport::NothingLeftText() const {
    const int imported = m_counts.leftOutImported;
    const int exported = m_counts.leftOut - imported;
    if (imported == 0) return QStringLiteral("所选的%1张发票均已引出过，本次未引出。").arg(exported);
    if (exported == 0) return QStringLiteral("所选的%1张发票均由税控系统引入，本次未引出。").arg(imported);
    return QStringLiteral("所选的%1张发票均未引出：%2张已引出过，%3张由税控系统引入。")
        .arg(m_counts.leftOut)
        .arg(exported)
        .arg(imported);
}

void clsSaveDataExport::PreviewTotals::add(const ExportDoc& doc) {
    ++documents;
    lines += doc.lines;
    amount += doc.amount;
    tax += doc.tax;
    if (!doc.members.isEmpty())
        ++merged;
    else if (doc.docNo != doc.billNo)
        ++pieces;
}

bool clsSaveDataExport::ExportToTxT(const QString& FilePath, const QString& Conditions,
                                    const QString& LinkID) {
    m_counts = Counts{};
    m_layoutGaps.clear();
    m_leftOutBills.clear();
    m_docs.clear();
    m_previewTotals = PreviewTotals{};
    m_cancelled = false;
    try {
        Connection& config = m_session.Config();
        const RecordsetPtr link = LoadLink(config, LinkID);
        if (link->EOF_()) {
            ShowMsg(QStringLiteral("关联不存在，引出失败！"));
            return false;
        }
        const QString Sep = NullToText(link->value(QStringLiteral("FSeperator")));
        const QString InvType = NullToText(link->value(QStringLiteral("FInvioceType")));
        const TemplateQuery head =
            MainTemplateQuery(ReadTemplate(config, QStringLiteral("tbl1")), Conditions, InvType);
        const QString B = ReadTemplate(config, QStringLiteral("tbl2"));

        // The export's own connection, which records its documents in the ledger. It takes the ledger's
        // lock before anything is read: a second export at the same time waits until this one has recorded
        // what it sent, and then leaves that out. An older ledger gains its new columns first (the reading
        // connection cannot).
        ConnectionPtr writer = m_session.gcnAcct && m_session.gcnAcct->State() == 1
                                   ? m_session.gcnAcct
                                   : m_session.OpenAcctConnection();
        std::optional<TransactionGuard> locked;
        if (m_preview) {
            if (Ledger::Exists(*writer)) Ledger::Ensure(*writer);
        } else {
            Ledger::Ensure(*writer);
            writer->BeginLedgerLock();
            locked.emplace(*writer, TransactionGuard::Begun);
        }
        ConnectionPtr acct;
        m_totalLines = 0;
        // The reading connections end with the export, whatever the way out: a reader left open would keep
        // the next export's writer of an SQLite file waiting.
        const std::shared_ptr<void> endReading(nullptr, [this, &acct](void*) {
            m_headConnection.reset();
            if (acct) acct->Close();
        });
        const QString format = LinkFormat(link->value(QStringLiteral("FFormat")));
        m_readJoinedFields = format == u"xlsx";
        const std::unique_ptr<Connection::Cursor> RH = GetRs(acct, LinkID, head, B);
        if (!RH) return false;
        const bool prefixShortName = IsTrueValue(link->value(QStringLiteral("FPrefixShortName")));
        m_wantItemNumber = format != u"txt" || prefixShortName;
        TemplateQuery body;
        if (!BuildRsQuery(LinkID, false, head, B, body)) return false;
        const bool hasItemNumber = body.sql.contains(ItemNumberColumn());
        // A text link saved with a field left out before one it keeps still exports as it always did;
        // the result names the gap, since the tax system reads the later fields in the wrong place.
        m_layoutGaps.clear();
        if (format == u"txt") {
            auto names = [&config](bool isHead) {
                QStringList out;
                for (const LayoutField& f : TextFileLayout(config, isHead))
                    out << f.name;
                return out;
            };
            const QStringList headGaps = LayoutGaps(names(true), m_headTaxNames);
            const QStringList bodyGaps = LayoutGaps(names(false), m_bodyTaxNames);
            if (!headGaps.isEmpty())
                m_layoutGaps << QStringLiteral("表头缺少%1").arg(headGaps.join(QStringLiteral("、")));
            if (!bodyGaps.isEmpty())
                m_layoutGaps << QStringLiteral("表体缺少%1").arg(bodyGaps.join(QStringLiteral("、")));
        }
        const BodyRowSource RB = [&](const std::function<void(const QList<FieldInfo>&)>& onColumns,
                                     const std::function<void(const QVariantList&)>& onRow) {
            // A failure of the query itself, also one that arises while its rows are read, is the failed
            // trial of the body query; failures of the writer pass through as they are.
            bool inWriter = false;
            try {
                acct->ForEachRow(
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
        // A workbook link maps the template's headings: each stands for what the heading means (the value
        // learnt with the template), or for itself when that is not known.
        std::optional<WorkbookLayout> workbook;
        QByteArray templateFile;
        QStringList headNames = m_headTaxNames, bodyNames = m_bodyTaxNames;
        if (format == u"xlsx") {
            std::optional<InstalledTemplate> installed = InstalledWorkbookTemplate(config);
            if (!installed) {
                ShowMsg(QStringLiteral("尚未读取电子发票平台模板，请先在关联设置中读取平台模板，引出失败！"));
                return false;
            }
            // The workbook is a copy of the template file, which an earlier version did not keep.
            if (installed->file.isEmpty()) {
                ShowMsg(QStringLiteral("已读取的电子发票平台模板没有保存模板文件，请在关联设置中重新读取平台"
                                       "模板（读取平台模板），引出失败！"));
                return false;
            }
            workbook = installed->layout;
            templateFile = installed->file;
            QHash<QString, QString> meaning;
            for (WorkbookSheetLayout* sheet : {&workbook->head, &workbook->detail})
                for (WorkbookColumn& c : sheet->columns) {
                    if (c.value.isEmpty()) c.value = c.heading;
                    meaning.insert(c.heading, c.value);
                }
            for (QString& n : headNames)
                n = meaning.value(n, n);
            for (QString& n : bodyNames)
                n = meaning.value(n, n);
            // A split column mapped to the joined accounting field takes its part of it, as an unmapped
            // one does; mapped to anything else it is filled as mapped.
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
        ExportLayout layout;
        layout.headDocNo = ColumnOf(headNames, QStringLiteral("单据号"));
        // A workbook link's 发票流水号 is its 单据号.
        if (layout.headDocNo < 0 && workbook) layout.headDocNo = ColumnOf(headNames, WorkbookValue::DocKey);
        layout.headCustomer = ColumnOf(headNames, QStringLiteral("购方名称"));
        layout.headListName = ColumnOf(headNames, QStringLiteral("清单行商品名称"));
        layout.bodyAmount = ColumnOf(bodyNames, QStringLiteral("不含税金额"));
        layout.bodyTax = ColumnOf(bodyNames, QStringLiteral("税额"));
        layout.bodyDiscount = ColumnOf(bodyNames, QStringLiteral("折扣金额"));
        layout.maxLines = std::max(0, NullToValue(link->value(QStringLiteral("FMaxLines")), 0).toInt());
        layout.maxAmount =
            std::max(0.0, NullToValue(link->value(QStringLiteral("FMaxAmount")), 0).toDouble());
        layout.useList = IsTrueValue(link->value(QStringLiteral("FUseList")));
        layout.dryRun = m_preview;
        layout.prefixShortName = prefixShortName;
        layout.headRemark = ColumnOf(headNames, QStringLiteral("备注"));
        layout.docNoInRemark = IsTrueValue(link->value(QStringLiteral("FDocNoInRemark")));
        // The column's limit: the template's for the platform, the file layout's otherwise.
        layout.remarkLimitInBytes = !workbook;
        layout.remarkLimit = format == u"xml" ? 240 : 160;
        if (workbook)
            for (const WorkbookColumn& c : workbook->head.columns)
                if (c.value == u"备注") layout.remarkLimit = c.limit;
        layout.platformTax = workbook.has_value();
        layout.bodyGoodsName = ColumnOf(bodyNames, QStringLiteral("货物名称"));
        // The catalogue, by the product number the template delivers, else by the product's name.
        if (m_wantItemNumber) {
            if (hasItemNumber) layout.bodyItemNumber = 1 + int(m_bodyTaxNames.size());
            TaxCodeStore store(m_session);
            for (const TaxCodeRow& r : store.Load()) {
                QHash<QString, QString> v;
                v.insert(QStringLiteral("税收分类编码"), r.taxCode);
                v.insert(QStringLiteral("简称"), r.shortName);
                v.insert(QStringLiteral("企业自编码"), r.ownCode);
                v.insert(QStringLiteral("优惠政策标识"),
                         r.preferential ? QStringLiteral("1") : QStringLiteral("0"));
                v.insert(QStringLiteral("优惠政策说明"), r.preferentialText);
                v.insert(QStringLiteral("零税率标识"), r.zeroRate);
                if (hasItemNumber)
                    layout.codes.insert(r.itemNumber.trimmed(), v);
                else
                    layout.codesByName[r.itemName.trimmed()].append({r.itemNumber.trimmed(), v});
            }
            layout.codeVersion = store.Version();
            layout.checkZeroRate = true;
            layout.bodyRate = ColumnOf(bodyNames, QStringLiteral("税率"));
        }
        std::unique_ptr<DocumentSink> sink;
        if (format == u"xml") {
            sink = std::make_unique<XmlDocumentSink>(FilePath);
        } else if (workbook) {
            sink = std::make_unique<WorkbookDocumentSink>(FilePath, *workbook, templateFile);
        }
        layout.sink = sink.get();
        layout.invoiceKind =
            InvType.trimmed() == u"0" ? QStringLiteral("增值税专用发票") : QStringLiteral("普通发票");
        layout.headNames = headNames;
        layout.bodyNames = bodyNames;
        // The caller's sink, watched: a request to stop is what ended the export.
        struct Watch : ProgressSink {
            ProgressSink* inner = nullptr;
            bool& stopped;
            explicit Watch(bool& s) : stopped(s) {}
            bool Report(qint64 done, qint64 total, int invoices) override {
                if (!inner->Report(done, total, invoices)) stopped = true;
                return !stopped;
            }
        } watch(m_cancelled);
        watch.inner = m_progress;
        if (m_progress) layout.progress = &watch;
        if (layout.useList && layout.maxLines > 0 && layout.headListName < 0) {
            ShowMsg(QStringLiteral("关联的表头没有“清单行商品名称”字段，不能开具销货清单，引出失败！"));
            return false;
        }
        layout.totalLines = m_totalLines;
        m_writtenFiles.clear();
        const QString user =
            m_session.gsUserName.isEmpty() ? qEnvironmentVariable("USER") : m_session.gsUserName;
        ExportLedger ledger(LinkID, FilePath, user, m_includeExported);
        // The ledger's rows go in before the file takes the target's place: a ledger that cannot be written
        // leaves the earlier file as it was, and the invoices are not taken for exported.
        layout.beforeCommit = [&] {
            // The reading connections end first: an SQLite file takes no writer's commit while a reader
            // holds it.
            acct->Close();
            m_headConnection.reset();
            try {
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
        if (m_merge.value_or(IsTrueValue(link->value(QStringLiteral("FMergeBuyer"))))) {
            MergeSettings ms;
            ms.mergeLines = m_mergeLines.value_or(IsTrueValue(link->value(QStringLiteral("FMergeLines"))));
            ms.headCustomer = layout.headCustomer;
            ms.headTaxNumber = ColumnOf(headNames, QStringLiteral("购方税号"));
            ms.headKind = workbook ? ColumnOf(headNames, WorkbookValue::InvoiceKind) : -1;
            ms.headDocNo = layout.headDocNo;
            ms.headRemark = layout.headRemark;
            ms.bodyAmount = layout.bodyAmount;
            ms.bodyTax = layout.bodyTax;
            ms.bodyDiscount = layout.bodyDiscount;
            ms.bodyQuantity = ColumnOf(bodyNames, QStringLiteral("数量"));
            ms.bodyName = layout.bodyGoodsName;
            ms.bodySpec = ColumnOf(bodyNames, QStringLiteral("规格"));
            ms.bodyUnit = ColumnOf(bodyNames, QStringLiteral("计量单位"));
            ms.bodyPrice = ColumnOf(bodyNames, QStringLiteral("单价"));
            ms.bodyRate = ColumnOf(bodyNames, QStringLiteral("税率"));
            ms.bodyItemNumber = layout.bodyItemNumber;
            ms.remarkLimit = layout.remarkLimit;
            ms.remarkLimitInBytes = layout.remarkLimitInBytes;
            const bool cut = (layout.maxLines > 0 && !layout.useList) || layout.maxAmount > 0;
            ms.pieceSuffixBytes = cut ? 3 : 0;
            // The 单据号 the ledger knows of that a merged one could take (each holds a "+"), read once; a
            // piece's "-N" stands for its document too.
            QSet<QString> known;
            if (Ledger::Exists(*writer)) {
                static const QRegularExpression piece(QStringLiteral("-\\d+$"));
                const RecordsetPtr rs = writer->Query(
                    QStringLiteral(
                        "select distinct FDocNo from TF_Ledger where FDirection=? and FDocNo like ?"),
                    {Ledger::Export, QStringLiteral("%+%")});
                for (const QVariantList& row : rs->allRows()) {
                    const QString docNo = NullToText(row.value(0));
                    known.insert(docNo);
                    known.insert(QString(docNo).remove(piece));
                }
            }
            ms.docNoTaken = [&known](const QString& docNo) { return known.contains(docNo); };
            try {
                merged = std::make_unique<MergedDocuments>(*RH, RB, ms);
            } catch (const ExportRefused& r) {
                ShowMsg(r.description());
                if (r.failedQuery()) ReportCause(r.procedure(), *r.failedQuery());
                return false;
            }
            layout.membersOf = [&merged](const QString& docKey, const QList<int>& lines) {
                return merged->members(docKey, lines);
            };
        }
        if (!WriteToTxT(FilePath, merged ? merged->heads() : *RH, merged ? merged->lines() : RB, Sep, layout,
                        onDoc))
            return false;
        if (merged && merged->mergedDocuments() > 0) {
            m_counts.merged = merged->mergedDocuments();
            m_counts.members = merged->memberInvoices();
        }
        if (sink && sink->WrittenFiles().size() > 1) m_writtenFiles = sink->WrittenFiles();
        // A preview shows what it left out beside what it would write.
        if (m_preview) return true;
        try {
            locked->commit();
        } catch (const DbError& e) {
            ShowMsg(QStringLiteral(
                "引出文件已经写好，但未能在账套中记下这些发票已经引出，下次引出时它们还会引出，"
                "引出失败！"));
            ReportCause(QStringLiteral("WriteLedger"), e);
            return false;
        }
        if (m_counts.leftOut > 0) ShowMsg(LeftOutText());
        if (m_counts.merged > 0)
            ShowMsg(
                QStringLiteral("%1张销售发票合并为%2张单据。").arg(m_counts.members).arg(m_counts.merged));
        if (!m_layoutGaps.isEmpty()) ShowMsg(LayoutGapText());
        if (m_writtenFiles.size() > 1)
            ShowMsg(QStringLiteral("电子发票平台每个工作簿最多导入%1行明细，已分为%2个文件：%3。")
                        .arg(WorkbookDocumentSink::kMaxDetailRows)
                        .arg(m_writtenFiles.size())
                        .arg(FileNames(m_writtenFiles)));
        return true;
    } catch (const std::exception& e) {
        ShowErr(QStringLiteral("ExportToTxT"), e);
        return false;
    }
}
