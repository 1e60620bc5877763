// Rows streamed into a PostgreSQL table with COPY on the driver's own connection; the outcome is taken
// before whatever runs next.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"

#if TAXFERRY_HAVE_LIBPQ
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <libpq-fe.h>
#include <utility>

using namespace ConnectionPrivate;

namespace {
// A value in COPY's text format, as the driver would have spelt it for an INSERT; numbers through
// to_chars (shortest text that reads back as the same double).
void appendCopyValue(QByteArray& out, const QVariant& v) {
    char buf[64];
    const auto appendChars = [&](std::to_chars_result r) { out.append(buf, r.ptr - buf); };
    const bool null = v.isNull();
    switch (v.typeId()) {
    case QMetaType::QString:
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
        if (!null) return appendChars(std::to_chars(buf, buf + sizeof buf, v.toLongLong()));
        break;
    case QMetaType::Bool:
        if (!null) {
            out += v.toBool() ? 't' : 'f';
            return;
        }
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        if (!null) {
            const double d = v.toDouble();
            if (std::isnan(d))
                out += "NaN";
            else if (std::isinf(d))
                out += d > 0 ? "Infinity" : "-Infinity";
            else
                appendChars(std::to_chars(buf, buf + sizeof buf, d));
            return;
        }
        break;
    case QMetaType::QDate:
        if (!null) {
            out += v.toDate().toString(Qt::ISODate).toLatin1();
            return;
        }
        break;
    case QMetaType::QDateTime:
        if (!null) {
            out += v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
            return;
        }
        break;
    default:
        break;
    }
    if (null && v.typeId() != QMetaType::QString) {
        out += "\\N";
        return;
    }
    // Texts (a null text is written empty, as bound) and whatever else the driver would bind as text.
    const QByteArray text = v.toString().toUtf8();
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return c == '\\' || c == '\n' || c == '\r' || c == '\t'; })) {
        out += text;
        return;
    }
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
}

PGconn* pgHandle(const QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type as the compiler saw it: "PGconn*" or the struct behind it, "pg_conn*".
    if (!h.isValid() || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(h.constData());
}
} // namespace

bool Connection::canCopyIn() const {
    return m_dialect.kind == DbKind::PostgreSQL && !isReadOnly() && pgHandle(database()) != nullptr;
}

namespace {
// The server's refusal of a COPY; the connection is left ready for the driver's next statement.
DbError copyFailure(PGconn* pg, PGresult* res, const QString& sql) {
    const QString text = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(pg)).trimmed();
    const QString state = res ? QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : QString();
    if (res) PQclear(res);
    while (PGresult* rest = PQgetResult(pg))
        PQclear(rest);
    return sqlError(QSqlError(text, text, QSqlError::StatementError, state), sql);
}
} // namespace

void Connection::copyIn(const QString& table, const QStringList& columns, qsizetype rowCount,
                        const std::function<const QVariant&(qsizetype row, int column)>& value) {
    settleCopy();
    const QString sql = QStringLiteral("COPY ") + table + QStringLiteral(" (") + columns.join(u',') +
                        QStringLiteral(") FROM STDIN");
    QSqlDatabase db = database();
    requireOpen(db);
    PGconn* pg = pgHandle(db);
    if (!pg || isReadOnly())
        throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(), sql);
    PGresult* res = PQexec(pg, sql.toUtf8().constData());
    if (PQresultStatus(res) != PGRES_COPY_IN) throw copyFailure(pg, res, sql);
    PQclear(res);
    QByteArray chunk;
    chunk.reserve((1 << 16) + 4096);
    bool sent = true;
    const int columnCount = int(columns.size());
    for (qsizetype r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columnCount; ++c) {
            if (c > 0) chunk += '\t';
            appendCopyValue(chunk, value(r, c));
        }
        chunk += '\n';
        if (chunk.size() >= (1 << 16)) {
            sent = PQputCopyData(pg, chunk.constData(), int(chunk.size())) == 1;
            chunk.clear();
            if (!sent) break;
        }
    }
    if (sent && !chunk.isEmpty()) sent = PQputCopyData(pg, chunk.constData(), int(chunk.size())) == 1;
    if (PQputCopyEnd(pg, sent ? nullptr : "aborted") != 1) throw copyFailure(pg, nullptr, sql);
    // The server works through the rows while the caller prepares the next ones; whatever runs next on
    // the connection first takes the outcome (settleCopy).
    m_copyPending = sql;
}

void Connection::settleCopy() {
    if (m_copyPending.isEmpty()) return;
    const QString sql = std::exchange(m_copyPending, QString());
    PGconn* pg = pgHandle(database());
    if (!pg) return;
    PGresult* res = PQgetResult(pg);
    if (PQresultStatus(res) != PGRES_COMMAND_OK) throw copyFailure(pg, res, sql);
    PQclear(res);
    while (PGresult* rest = PQgetResult(pg))
        PQclear(rest);
}

void Connection::dropCopy() noexcept {
    try {
        settleCopy();
    } catch (const DbError&) {
        // Whatever was refused is rolled back with the transaction.
    }
}

#else
// Built without libpq (the Windows build): no connection streams rows; they are inserted instead.
bool Connection::canCopyIn() const {
    return false;
}

void Connection::copyIn(const QString& table, const QStringList& columns, qsizetype,
                        const std::function<const QVariant&(qsizetype row, int column)>&) {
    throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(),
                  QStringLiteral("COPY ") + table + QStringLiteral(" (") + columns.join(u',') +
                      QStringLiteral(") FROM STDIN"));
}

void Connection::settleCopy() {}

void Connection::dropCopy() noexcept {}
#endif
