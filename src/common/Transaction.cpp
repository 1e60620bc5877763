// Transactions of a connection: begun, committed and rolled back; the ledger's and the import's locks;
// the guard that rolls back whatever was not committed.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"
#include <QSqlDatabase>
#include <QSqlError>

using namespace ConnectionPrivate;

void Connection::begin(bool immediate) {
    settleCopy();
    QSqlDatabase db = database();
    requireOpen(db);
    if (m_inTrans) throw DbError(3251, QStringLiteral("连接上已有打开的事务。"));
    if (m_dialect.kind == DbKind::SQLite) {
        exec(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    } else if (!db.transaction()) {
        throw sqlError(db.lastError(), QStringLiteral("BEGIN"));
    }
    m_inTrans = true;
}

void Connection::lockForImport() {
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    const QString sql = m_dialect.importLockSql();
    if (sql.isEmpty()) return;
    if (sql.startsWith(u"select"))
        query(sql);
    else
        exec(sql);
}

void Connection::commit() {
    settleCopy();
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        exec(QStringLiteral("COMMIT"));
    } else if (!db.commit()) {
        throw sqlError(db.lastError(), QStringLiteral("COMMIT"));
    }
    m_inTrans = false;
}

void Connection::rollback() {
    dropCopy();
    if (!m_inTrans) return;
    m_inTrans = false;
    QSqlDatabase db = database();
    if (m_dialect.kind == DbKind::SQLite) {
        exec(QStringLiteral("ROLLBACK"));
    } else if (!db.rollback()) {
        throw sqlError(db.lastError(), QStringLiteral("ROLLBACK"));
    }
}

void Connection::beginLedgerLock(int waitSeconds) {
    if (m_dialect.kind == DbKind::SQLite) {
        // The write lock of the file is the ledger's: a second export waits for the first longer than a
        // statement normally would.
        exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(qint64(waitSeconds) * 1000));
        try {
            begin(true);
        } catch (const DbError&) {
            exec(QStringLiteral("PRAGMA busy_timeout=15000"));
            throw;
        }
        exec(QStringLiteral("PRAGMA busy_timeout=15000"));
        return;
    }
    begin(false);
    try {
        lockLedger();
    } catch (const DbError&) {
        rollback();
        throw;
    }
}

void Connection::lockLedger() {
    if (!m_inTrans) throw DbError(3251, QStringLiteral("没有打开的事务。"));
    const QString sql = m_dialect.ledgerLockSql();
    if (sql.startsWith(u"select"))
        query(sql);
    else if (!sql.isEmpty())
        exec(sql);
}

TransactionGuard::TransactionGuard(Connection& conn, bool immediate) : m_conn(conn) {
    m_conn.begin(immediate);
    m_active = true;
}

TransactionGuard::~TransactionGuard() {
    if (!m_active) return;
    try {
        m_conn.rollback();
    } catch (...) {
    }
}

void TransactionGuard::commit() {
    m_conn.commit();
    m_active = false;
}

void TransactionGuard::rollback() {
    if (!m_active) return;
    m_active = false;
    m_conn.rollback();
}
