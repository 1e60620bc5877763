#pragma once
// The export engine: the link and the two templates become one head query (one row per invoice) and one
// body query (one row per invoice line), which feed the file writer. The selection (the queries and what
// they leave out) is in ExportSelection.cpp, the writing in ExportEngine.cpp.

#include "export/DocumentMerge.h"
#include "export/ExportWriter.h"
#include "export/WorkbookTemplate.h"
#include "links/LinkStore.h"
#include "links/TemplateQuery.h"
#include <QSet>
#include <QString>
#include <optional>

class ExportEngine {
public:
    explicit ExportEngine(const Session& session) : m_session(session), m_links(session) {}

    // The link store over the same session.
    LinkStore& links() { return m_links; }

    // Writes the sales-document import file of the tax system for the invoices that the condition text
    // (fourteen values joined by "|") selects, following the link. True only when the file is complete.
    // Invoices exported before, and invoices that came in by import (both in the ledger TF_Ledger), are
    // left out unless includeExported; the exported ones are recorded in the ledger once the file is in
    // place.
    bool exportFile(const QString& filePath, const QString& conditions, const QString& linkId);
    void setIncludeExported(bool include) { m_includeExported = include; }
    // For one export, instead of the link's settings: the invoices of one buyer as one document, and
    // alike lines of a merged document as one line.
    void setMerge(std::optional<bool> merge) { m_merge = merge; }
    void setMergeLines(std::optional<bool> mergeLines) { m_mergeLines = mergeLines; }
    // Proof mode: the export runs its queries but writes no file and no ledger rows; preview() then holds
    // what it would have written.
    void setPreview(bool preview) { m_preview = preview; }
    // Reported to as the lines are read; when it asks to stop, no file is written and the export says so.
    void setProgress(ProgressSink* progress) { m_progress = progress; }
    // Whether the last export stopped because it was asked to.
    bool cancelled() const { return m_cancelled; }
    // Per document: 单据号 (of a piece, when the invoice is over the link's limits), customer, lines, the
    // sums of their 不含税金额 and 税额; the first previewLimit() documents only, so that a month of a big
    // set stays quick to show.
    const QList<ExportDoc>& preview() const { return m_docs; }
    int previewLimit() const { return m_previewLimit; }
    void setPreviewLimit(int limit) { m_previewLimit = limit; }
    // In proof mode, the totals of every document, shown or not.
    struct PreviewTotals {
        int documents = 0, lines = 0;
        double amount = 0, tax = 0;
        int pieces = 0, merged = 0; // documents cut from an invoice over the limits; merged documents
        void add(const ExportDoc& doc);
    };
    const PreviewTotals& previewTotals() const { return m_previewTotals; }
    // In proof mode, the invoices left out because they crossed over before, with the reason (the first
    // previewLimit() of them; lastCounts().leftOut counts all).
    struct LeftOut {
        QString billNo;
        QString reason; // 已引出 or 由税控系统引入
    };
    const QList<LeftOut>& leftOutBills() const { return m_leftOutBills; }

    // What the last export wrote.
    struct Counts {
        int invoices = 0, lines = 0;
        int leftOut = 0;             // selected but left out: crossed over before
        int leftOutImported = 0;     // of those, the ones that came in from the tax system only
        int merged = 0, members = 0; // merged documents and the sales invoices in them
    };
    const Counts& lastCounts() const { return m_counts; }
    QString countsText() const;
    // For a text link that leaves out fields of the tax system's layout before fields it keeps: what is
    // missing, as the export's result says it; empty otherwise.
    QString layoutGapText() const;
    // What the last export left out, 引出过 and 由税控系统引入 apart; empty when nothing.
    QString leftOutText() const;
    // The message when everything selected was left out.
    QString nothingLeftText() const;
    // Exporting again: the sales left out because they hold a valid tax invoice, each with its invoices
    // (发票代码-发票号码).
    struct ValidInvoice {
        QString billNo;
        QStringList numbers;
    };
    const QList<ValidInvoice>& validInvoices() const { return m_validInvoices; }
    // Their list as the export says it: a heading, then a line per sale "单据号\t发票代码-发票号码".
    QString validInvoicesText() const;
    // The files the last export wrote where they are others than its target (a workbook over the
    // platform's rows in parts); empty otherwise.
    const QStringList& writtenFiles() const { return m_writtenFiles; }
    // The names of files without their folder, joined with "、".
    static QString fileNames(const QStringList& files);

private:
    const Session& m_session;
    LinkStore m_links;

    // The steps of exportFile, in their order.
    // What the last run reported is cleared.
    void startRun();
    // The connection that writes the ledger; an export holds the ledger's lock on it from here on
    // (locked), a preview does not. Throws DbError.
    ConnectionPtr ledgerConnection(std::optional<TransactionGuard>& locked);
    // A text link's fields of the tax system's layout left out before ones it keeps (m_layoutGaps).
    void noteLayoutGaps(Connection& config);
    // The lines as the body query delivers them on acct (opened by then) while the file is written.
    static BodyRowSource bodyRows(ConnectionPtr& acct, const TemplateQuery& body);
    // The platform's template, installed with its file; nothing after a message saying what is missing.
    static std::optional<InstalledTemplate> workbookTemplate(Connection& config);
    // The template's headings of a workbook link's fields, as what they mean.
    void mapWorkbookHeadings(WorkbookLayout& workbook, QStringList& headNames, QStringList& bodyNames) const;
    // Where the writer finds each field, and the limits and rules of the link and its format.
    ExportLayout exportLayout(const Recordset& link, const QString& format, const WorkbookLayout* workbook,
                              const QStringList& headNames, const QStringList& bodyNames) const;
    // The tax-code catalogue, for links that read it. Throws DbError.
    void addTaxCodes(ExportLayout& layout, bool hasItemNumber) const;
    // How a buyer's invoices become one document (the link's settings, or this export's).
    MergeSettings mergeSettings(const Recordset& link, const ExportLayout& layout, bool workbook) const;
    // The merged documents' 单据号 the ledger holds already. Throws DbError.
    static QSet<QString> mergedDocNosTaken(Connection& writer);
    // What the export says once its file is in place and recorded.
    void showDone(const QStringList& earlierFiles);

    // The files of the ledger's export rows that an export to target wrote before (NAME.xlsx, NAME-N.xlsx),
    // that are still there and that the new export did not write again. Throws DbError.
    static QStringList earlierFilesOf(Connection& writer, const QString& target, const QStringList& written);
    // Removes them, saying which; one that cannot be removed is named in a warning.
    static void removeEarlierFiles(const QStringList& files);

    // Builds the head or body query of the link over the two templates; false after a reported
    // "empty link" message.
    bool buildRsQuery(const QString& linkId, bool isHead, const TemplateQuery& headSql,
                      const QString& bodySql, TemplateQuery& out);
    // Builds and runs the head query (materialised: one row per invoice); opens the read-only accounting
    // connection into acct once the link's head fields are known.
    std::unique_ptr<Connection::Cursor> getRs(ConnectionPtr& acct, const QString& linkId,
                                              const TemplateQuery& headSql, const QString& bodySql);
    // What the ledger (read as ledger) leaves out of the selection (source, with its params): counted, and
    // in a preview listed with the reason; exporting again, the sales that hold a valid tax invoice.
    void selectLeftOut(Connection& acct, const QString& ledger, const QString& source,
                       const QVariantList& params);
    void selectValidInvoices(Connection& acct, const QString& ledger, const QString& source,
                             const QVariantList& params);

    bool m_includeExported = false;
    std::optional<bool> m_merge, m_mergeLines;
    bool m_preview = false;
    bool m_wantItemNumber = false; // the body query also reads each line's product number
    ProgressSink* m_progress = nullptr;
    bool m_cancelled = false;
    QList<ExportDoc> m_docs; // what the last preview would have written, the first documents
    int m_previewLimit = 1000;
    PreviewTotals m_previewTotals;
    ConnectionPtr m_headConnection; // where the head rows are read from while the export runs
    qint64 m_totalLines = 0;
    QList<LeftOut> m_leftOutBills;
    QList<ValidInvoice> m_validInvoices;
    QStringList m_headTaxNames;      // the tax field of each head column after RowsCount
    QStringList m_bodyTaxNames;      // the tax field of each body column after FbillNo
    QStringList m_headQorIds;        // per head column the accounting field's FID, empty for a formula
    bool m_readJoinedFields = false; // the head query also reads the joined address and bank fields
    QString m_leaveOut;              // the WHERE that leaves out what crossed over before, or empty
    Counts m_counts;
    QStringList m_layoutGaps; // per side, the layout fields the link leaves out before one it keeps
    QStringList m_writtenFiles;
};
