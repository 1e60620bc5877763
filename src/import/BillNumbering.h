#pragma once
// Bill numbers from the accounting set's numbering rules and internal identifiers from its counter.
// Both run on the import's transaction, so a failed import gives its numbers back.

#include "common/Connection.h"
#include <QList>
#include <QString>

// The numbering rule of one bill type, read once and advanced in memory: an import holds the rule rows
// locked from its start, so nobody else can take a number in between, and writes the running numbers
// back in its own transaction.
class BillNumberRule {
public:
    // Reads the rule rows (in the order the database returns them). Throws DbError.
    void load(Connection& conn, qint32 billTypeID);
    bool isEmpty() const { return m_rows.isEmpty(); }
    // The next bill number: the prefix row (kind 1) and the running number (kind 3) padded to its
    // length; then every running number of the rule counts up by one. The empty text when the rule has
    // no rows.
    QString next(const QString& defaultText);
    // Writes the running numbers that changed, as the value the column takes. Throws DbError.
    void writeBack(Connection& conn);
    // The numbers next() gave since load, in order (worked out again from the rule as it was read).
    QStringList given() const;

private:
    struct Row {
        double kind = 0;
        QString prefix;
        int width = 0;
        QVariant stored;   // fprojectval as read
        double number = 0; // the running number now
        bool isNull = false;
    };
    qint32 m_billTypeID = 0;
    int m_valueType = 0;
    QList<Row> m_rows;
    int m_given = 0;
};

// The next bill number of a bill type (one rule read, advanced and, with doUpdate, written back). The
// empty text when the type has no rule or anything fails; a failure of the database is handed to
// failure when one is given.
QString getNewBillId(Connection& conn, qint32 billTypeID, bool doUpdate, const QString& defaultText,
                     DbError* failure = nullptr);

// The next count internal identifiers of ICSale (GetICMaxNum), ascending. Throws DbError.
QList<qint64> getNewInterIDs(Connection& conn, int count);

// A running number formatted with a mask of "0"s: leading zeros up to the length, longer numbers whole.
QString formatRunningNumber(double number, int length);
