#pragma once
// Lists of issued invoices made as the tax bureau platform exports them (发票查询统计), for the tests.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The set's own tax number (the demo set's profile).
extern const QString kOwnTaxNo;

// A row of the list, by heading; a value starting with "#" is written as a number cell, "@" as a date cell
// (the day number with a date format).
using ListRow = QHash<QString, QString>;

// The list as the platform writes it: a title row above the headings, the columns in the order given.
QByteArray listWorkbook(const QStringList& headings, const QList<ListRow>& rows);

// A sheet of the platform's export: headings on row 1, then the rows (as listWorkbook writes them).
struct ListSheet {
    ListSheet(const QString& name, const QStringList& headings, const QList<ListRow>& rows = {},
              bool hidden = false, const QString& after = {})
        : name(name), headings(headings), rows(rows), hidden(hidden), after(after) {}
    QString name;
    QStringList headings;
    QList<ListRow> rows;
    bool hidden = false;
    QString after; // rows XML added below (a damaged row: the sheet must not be read that far)
};
// The export as 导出全部 writes it: several sheets in the order given.
QByteArray exportWorkbook(const QList<ListSheet>& sheets);
// The headings of 发票基础信息 and of 信息汇总表 (a row per goods line), in the platform's order.
extern const QStringList kInvoiceHeadings, kGoodsHeadings;

// The platform's columns, not in its order.
extern const QStringList kHeadings;

// An issued invoice of the set's own, blue or (a negative amount) red, issued on 2026-04-12.
ListRow issuedRow(const QString& number, double amount, double tax, const QString& buyerTaxNo,
                  const QString& buyerName, const QString& remark = {}, const QString& state = "正常");

// A 数电发票号码 (20 digits) numbered i.
QString N(int i);
