#pragma once
// The issued-invoice file as the import reads it: the tag line, comment lines, fields cut at "~~" and
// the discount rate that a discount line carries in its goods name.

#include <QString>
#include <QStringList>

// The first line of every issued-invoice file.
QString importTagLine();

// Cuts a line at every "~~": no quoting, no trimming; two separators in a row give an empty field.
// expected: the number of fields the line should have, room for them taken at once.
QStringList cutFields(const QString& line, qsizetype expected = 0);
// The same pieces, in place in the line.
void cutFields(QStringView line, QList<QStringView>& out);

// False for a blank line, and for line 1 when it is not the tag line (blanks around it allowed).
bool checkFileLine(qint32 lineNumber, const QString& line);

// A comment line announces an invoice: the line after it is the invoice's head line.
bool isCommentLine(const QString& line);

// The rate of a discount line as a fraction: the text between the first "(" and the first ")"
// without its last character (the percent sign), divided by 100. False when there is no such number.
bool discountRate(const QString& goodsName, double& rate);
