#pragma once
// Where the documents of an export go: the tax system's text file, the invoicing software's XML file or
// the e-invoice platform's batch workbook. The export reads the link's queries, cuts invoices over the
// link's limits into pieces and hands each document to the sink in file order; a sink writes a
// temporary file that replaces the target only when Commit succeeds, so a failed or cancelled export
// leaves an earlier file as it was.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One document: its head and its lines, each value under the tax field name of the link's mapping
// (t_TaxField.Fname: 单据号, 购方名称, 购方税号, 购方地址电话, 购方银行帐号, 备注, 复核人, 收款人,
// 清单行商品名称, 单据日期, 销方银行账号; 货物名称, 计量单位, 规格, 数量, 不含税金额, 税率, 税额, 折扣金额,
// 折扣税额, 折扣率, 单价, 价格方式, 商品税目), as text the way the text file writes it (numbers in the C
// locale, head dates as yyyyMMdd). A field the link does not map is absent. Lines also carry the product's
// entry of the tax-code catalogue when it has one, under 税收分类编码, 简称, 企业自编码, 优惠政策标识,
// 优惠政策说明, 零税率标识, and the catalogue's version under the head's 编码版本号.
struct SinkDocument {
    QString docNo; // 单据号 as written (a piece's own number)
    QString invoiceKind; // the link's kind of invoice as the platform names it: 增值税专用发票 or 普通发票
    QHash<QString, QString> head;
    QList<QHash<QString, QString>> lines;
};

class DocumentSink {
public:
    virtual ~DocumentSink() = default;
    // Before the first document: how many documents will follow (-1: not known beforehand). Throws
    // DbError (or ExportRefused).
    virtual void begin(int documents) = 0;
    // Each document in file order. Throws DbError, or ExportRefused for a value the format cannot hold
    // (naming the document and the value).
    virtual void add(const SinkDocument& doc) = 0;
    // Puts the finished file in place of the target. Throws DbError.
    virtual void commit() = 0;
    // What Add would refuse, without writing anything: a preview shows the refusal before the user
    // confirms. Documents checked in one run are checked together (a key used twice).
    virtual void check(const SinkDocument& doc) = 0;
    // After Commit: the files written, where a sink may write others than the target (a workbook split in
    // parts); empty when it wrote the target alone.
    virtual QStringList writtenFiles() const { return {}; }
    // Where a sink may write several files: the one the document last added goes to, 1 for the first of
    // plannedFiles(); 0 for a sink that writes the target alone.
    virtual int part() const { return 0; }
    // Once every document was added, before Commit: the files Commit will write, in order.
    virtual QStringList plannedFiles() const { return {}; }
};
