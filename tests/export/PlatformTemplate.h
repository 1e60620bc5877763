#pragma once
// A template of the e-invoice platform built as the official one is (version V260401): eleven sheets, six
// of them hidden (excelVersion among them), every data column formatted as text through <cols>, row 1 the
// merged filling notes, row 2 the limits ("必填\n(限20字符)" with its brackets and stray blanks), row 3 the
// headings, drop-down lists on rows 4 to 1001, inline strings.

#include <QByteArray>
#include <QString>
#include <QStringList>

class Connection;

// A code of the tax catalogue for every product of the accounting set (the platform's workbook requires one
// on every line), in config's t_TaxCode.
void addCatalogueCodes(Connection& acct, Connection& config);

struct PlatformColumn {
    QString heading;
    QString limits; // the limits row's text
    QString list;   // formula1 of a drop-down list ("\"是,否\"" or "sfzjlx!$A$1:$A$44"), empty without one
};

QList<PlatformColumn> officialHeadColumns();
QList<PlatformColumn> officialDetailColumns();
// The style <cols> gives column c (0-based) of the head and detail sheets.
int headColumnStyle(int column);
int detailColumnStyle(int column);

// The template; extraDetailRows: rows the detail sheet has below its headings (an example).
QByteArray buildPlatformTemplate(const QList<PlatformColumn>& head = officialHeadColumns(),
                                 const QList<PlatformColumn>& detail = officialDetailColumns(),
                                 const QString& extraDetailRows = {});

inline const QString kHeadSheetName = QStringLiteral("1-发票基本信息");
inline const QString kDetailSheetName = QStringLiteral("2-发票明细信息");
// Members of the two sheets in the built template.
inline const QString kHeadPart = QStringLiteral("xl/worksheets/sheet1.xml");
inline const QString kDetailPart = QStringLiteral("xl/worksheets/sheet6.xml");
