#pragma once
// Bill numbers from the accounting set's numbering rules and internal identifiers from its counter.
// Both run on the import's transaction, so a failed import gives its numbers back.

#include "common/Connection.h"
#include <QString>

// The next bill number of a bill type: the prefix row (kind 1) and the running number (kind 3) padded
// to its length. With doUpdate every running number of the rule is advanced afterwards, written back as
// the value the column takes (the rows are the import's own from the lock it took at its start). The
// empty text when the type has no rule or anything fails; a failure of the database is handed to
// failure when one is given.
QString GetNewBillID(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText,
                     DbError* failure = nullptr);

// The next internal identifier of ICSale (GetICMaxNum). Throws DbError.
QString GetNewInterID(Connection& conn);

// A running number formatted with a mask of "0"s: leading zeros up to the length, longer numbers whole.
QString FormatRunningNumber(double number, int length);
