#pragma once
// Values and texts: Null and yes/no values, numbers read and written, CSV lines, dates in texts.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// A yes/no value as databases deliver it: true/false, 1/0, -1 or their texts; Null is no.
bool isTrueValue(const QVariant& value);
// Null, an invalid value or the empty text give def; anything else is returned unchanged.
QVariant nullToValue(const QVariant& value, const QVariant& def = QString());
QString nullToText(const QVariant& value, const QString& def = QString());
// The piece with the 0-based index after splitting at every delimiter; "" when there is none.
QString splitItem(const QString& text, const QString& delimiter, int index);

// Leading decimal number of a text ("." decimal point, blanks skipped, 0 when none). Never fails.
double leadingNumber(const QString& text);
// Whole text must be a number (blanks around it allowed); false otherwise.
bool strictNumber(QStringView text, double& out);
// Shortest general form with at most 15 significant digits and "." (0.17*100 gives "17").
QString numberText(double value);
// The value with a fixed count of decimals, "." and no grouping, rounded half up (away from zero) in decimal
// from the 15 significant digits numberText writes: 1.005 gives "1.01", where binary rounding gives "1.00".
QString decimalText(double value, int decimals);
// An amount in whole cents, rounded as decimalText rounds (half up in decimal: 1.005 gives 101, -1.005
// gives -101). Every sum of money is a sum of these, so that totals and their parts agree to the cent.
qint64 centsOf(double amount);
// Cents as an amount again.
inline double amountOfCents(qint64 cents) {
    return double(cents) / 100.0;
}
// One line of a CSV file with its CR LF: a field is quoted when it holds a comma, a quote, a line break or
// blanks at its ends.
QString csvLine(const QStringList& fields);
// A CSV file's bytes: UTF-8 after a BOM, which tells a spreadsheet program the encoding.
QByteArray csvFileBytes(const QString& text);
// The value numberText writes, as a number again: a computed value as the database receives it.
double round15(double value);
// True when the text is numeric ("12", " -3.5 ", "1e3").
bool isNumericText(const QString& text);
// A value that is a date, or a text that reads as a date; false otherwise.
bool tryDateValue(const QVariant& value, QDate& out);
// A day written yyyy-MM-dd in ASCII digits, as the tax files write it, read without the general date
// parser (a month's files hold a hundred thousand): the day, invalid when it names none (2026-02-30);
// nullopt when the text has another form.
std::optional<QDate> isoDay(QStringView text);
