// The export windows on the demo data.
#include "ScreenRegistry.h"
#include "export/ui/ExportFilterDialog.h"
#include "export/ui/ExportPreviewDialog.h"
#include "export/ui/ExportWindow.h"
#include "export/ui/ReconcileWindow.h"
#include "links/ui/LinkListWindow.h"
#include <QLineEdit>
#include <QTreeWidget>

static ScreenRegistrar s1("LinkListWindow", [](TestDatabases& db) -> QWidget* {
    // One link of each format.
    db.config->exec(
        QStringLiteral("insert into t_BaseInfo (FID, FName, FInvioceType, FDate, FInOrOut, FFormat) values "
                       "(7, '开票软件XML（带税收分类编码）', 0, '2026-03-01', '0', 'xml'), "
                       "(8, '数电票批量开具', 1, '2026-03-02', '0', 'xlsx')"));
    auto* w = new LinkListWindow(db.session);
    w->exportOrImport = 0;
    w->init();
    if (w->lsvSelect->topLevelItemCount() > 0) w->lsvSelect->setCurrentItem(w->lsvSelect->topLevelItem(0));
    return w;
});

static ScreenRegistrar s2("ExportWindow", [](TestDatabases& db) -> QWidget* {
    auto* w = new ExportWindow(db.session);
    w->txtLinkName->setText(QStringLiteral("航天金税默认格式"));
    w->txtNote->setText(QStringLiteral("销售专用发票"));
    w->setKey(QStringLiteral("1"));
    w->txtTxtFile->setText(db.folder() + QStringLiteral("/发票2026年1月.TXT"));
    return w;
});

// An export under way: the bar moving, 取消 in place of 退出, the rest waiting.
// The export window of a workbook link.
static ScreenRegistrar s2x("ExportWindow_workbook", [](TestDatabases& db) -> QWidget* {
    db.config->exec(QStringLiteral("update t_BaseInfo set FFormat='xlsx' where FID=1"));
    auto* w = new ExportWindow(db.session);
    w->txtLinkName->setText(QStringLiteral("数电票批量开具"));
    w->txtNote->setText(QStringLiteral("销售普通发票"));
    w->setKey(QStringLiteral("1"));
    w->txtTxtFile->setText(db.folder() + QStringLiteral("/发票2026年1月.xlsx"));
    return w;
});

static ScreenRegistrar s2b("ExportWindow_progress", [](TestDatabases& db) -> QWidget* {
    auto* w = new ExportWindow(db.session);
    w->txtLinkName->setText(QStringLiteral("航天金税默认格式"));
    w->txtNote->setText(QStringLiteral("销售专用发票"));
    w->txtTxtFile->setText(db.folder() + QStringLiteral("/发票2026年1月.TXT"));
    w->beginRun();
    w->showProgress(5800, 10000, 1932);
    return w;
});

static ScreenRegistrar s3("ExportFilterDialog", [](TestDatabases& db) -> QWidget* {
    auto* w = new ExportFilterDialog(db.session);
    w->init();
    w->txtItemFrom[1]->setText(QStringLiteral("01.001"));
    w->txtItemTo[1]->setText(QStringLiteral("01.004"));
    w->txtItemFrom[4]->setText(QStringLiteral("张会计"));
    return w;
});

// The proof of an export: one invoice over the amount limit in two pieces, one left out.
static ScreenRegistrar s4("ExportPreviewDialog", [](TestDatabases&) -> QWidget* {
    const QList<ExportDoc> docs{{QStringLiteral("ZP000001"),
                                 QStringLiteral("ZP000001"),
                                 QStringLiteral("北京华远信息技术有限公司"),
                                 2,
                                 9950,
                                 1293.5,
                                 {}},
                                {QStringLiteral("ZP000002"),
                                 QStringLiteral("ZP000002-1"),
                                 QStringLiteral("南京金陵职业培训学校"),
                                 8,
                                 99800,
                                 12974,
                                 {}},
                                {QStringLiteral("ZP000002"),
                                 QStringLiteral("ZP000002-2"),
                                 QStringLiteral("南京金陵职业培训学校"),
                                 3,
                                 35200,
                                 4576,
                                 {}},
                                {QStringLiteral("ZP000004+2"),
                                 QStringLiteral("ZP000004+2"),
                                 QStringLiteral("杭州西溪电子商务有限公司"),
                                 3,
                                 3750,
                                 487.5,
                                 {{QStringLiteral("ZP000004"), 1250, 162.5},
                                  {QStringLiteral("ZP000005"), 1250, 162.5},
                                  {QStringLiteral("ZP000007"), 1250, 162.5}}}};
    const QList<ExportEngine::LeftOut> left{{QStringLiteral("ZP000003"), QStringLiteral("已引出")}};
    ExportEngine::PreviewTotals totals;
    for (const ExportDoc& d : docs)
        totals.add(d);
    return new ExportPreviewDialog(docs, totals, left, int(left.size()));
});

// A month of a big set: the first documents listed, the totals of all.
static ScreenRegistrar s4b("ExportPreviewDialog_big", [](TestDatabases&) -> QWidget* {
    QList<ExportDoc> docs;
    ExportEngine::PreviewTotals totals;
    for (int i = 1; i <= 120005; ++i) {
        const ExportDoc d{QStringLiteral("XS%1").arg(i, 6, 10, QLatin1Char('0')),
                          QStringLiteral("XS%1").arg(i, 6, 10, QLatin1Char('0')),
                          i % 2 ? QStringLiteral("北京华远信息技术有限公司")
                                : QStringLiteral("南京金陵职业培训学校"),
                          5,
                          1000.0 + i % 97,
                          130.0 + i % 13,
                          {}};
        totals.add(d);
        if (docs.size() < 1000) docs.append(d);
    }
    QList<ExportEngine::LeftOut> left;
    for (int i = 1; i <= 1000; ++i)
        left.append({QStringLiteral("XT%1").arg(i, 6, 10, QLatin1Char('0')), QStringLiteral("已引出")});
    return new ExportPreviewDialog(docs, totals, left, 2310);
});

// 对账 after a month's tax invoices came back: issued, an amount that differs, one the platform refused.
static ScreenRegistrar s5("ReconcileWindow", [](TestDatabases& db) -> QWidget* {
    ExportEngine exporter(db.session);
    exporter.exportFile(db.folder() + QStringLiteral("/out.txt"), QString(13, u'|'), QStringLiteral("1"));
    db.acct->exec(
        QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', FTaxNumber="
                       "'0001200' || substr(FDocNo, 8, 1), FIssueState='已开票', FIssuedAmount=FAmount, "
                       "FIssuedTax=FTax where FDocNo in ('ZP000001', 'ZP000003', 'ZP000004')"));
    db.acct->exec(
        QStringLiteral("update TF_Ledger set FInvoiceKind='0', FTaxCode='3300061130', FTaxNumber="
                       "'00012002', FIssueState='已开票', FIssuedAmount=FAmount-100, FIssuedTax=FTax "
                       "where FDocNo='ZP000002'"));
    db.acct->exec(
        QStringLiteral("update TF_Ledger set FState=1, FIssueState='开具失败', FIssueReason="
                       "'2-发票明细信息：第1行的商品和服务税收分类编码不存在' where FDocNo='ZP000005'"));
    auto* w = new ReconcileWindow(db.session);
    w->showDocuments(QString(13, u'|'));
    return w;
});
