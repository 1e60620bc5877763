// Rows written through SQLite's own library: a statement prepared once per table and columns, every
// value bound as Qt's driver binds it.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringEncoder>
#include <QTime>
#include <sqlite3.h>
#include <vector>

using namespace ConnectionPrivate;

namespace {
sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}

// SQLite's refusal, in the form the driver gives it (its text, the result code as the number).
DbError sqliteFailure(sqlite3* db, int rc, const QString& sql) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    return sqlError(QSqlError(text, text, QSqlError::StatementError, QString::number(rc)), sql);
}

int bindText16(sqlite3_stmt* st, int at, const QString& text, void (*lifetime)(void*)) {
    return sqlite3_bind_text16(st, at, text.unicode(), int(text.size() * sizeof(QChar)), lifetime);
}

// A value bound as Qt's SQLite driver binds it (the same calls for the same types), so that the row
// stored is the same: Null for a Null, whole numbers and yes/no as integers, doubles as reals, a date and
// time as ISO text with milliseconds, texts as they are (a Null text as an empty one, as Execute binds
// it), anything else as its text.
// Texts of a row as UTF-8, what the database keeps: SQLite would otherwise convert each one itself, in
// memory of its own. The room is taken once for the whole row, before any text of it is bound.
class Utf8Texts {
public:
    void startRow(qsizetype room) {
        // Never without room: a null pointer would bind an empty text as Null.
        if (qsizetype(m_bytes.size()) < room + 1) m_bytes.resize(size_t(room + 1));
        m_free = m_bytes.data();
    }
    static qsizetype room(const QVariant& v) {
        return v.typeId() == QMetaType::QString ? static_cast<const QString*>(v.constData())->size() * 3 : 0;
    }
    // Binds the text (it stays in place until the row has run).
    int bind(sqlite3_stmt* st, int at, const QString& text) {
        char* const from = m_free;
        char* const end = m_utf8.appendToBuffer(from, text);
        if (m_utf8.hasError()) {
            // A lone surrogate: SQLite's own conversion, as the text always was bound.
            m_utf8.resetState();
            return bindText16(st, at, text, SQLITE_STATIC);
        }
        m_free = end;
        return sqlite3_bind_text(st, at, from, int(end - from), SQLITE_STATIC);
    }

private:
    QStringEncoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    std::vector<char> m_bytes;
    char* m_free = nullptr;
};

int bindSqliteValue(sqlite3_stmt* st, int at, const QVariant& v, Utf8Texts& texts) {
    const int type = v.typeId();
    if (type == QMetaType::QString) {
        const auto* text = static_cast<const QString*>(v.constData());
        if (text->isNull()) return bindText16(st, at, bindable(v).toString(), SQLITE_TRANSIENT);
        return texts.bind(st, at, *text);
    }
    bool null = v.isNull();
    // The numbers of every row first, read in place.
    if (!null && type == QMetaType::Double)
        return sqlite3_bind_double(st, at, *static_cast<const double*>(v.constData()));
    if (!null && type == QMetaType::LongLong)
        return sqlite3_bind_int64(st, at, *static_cast<const qlonglong*>(v.constData()));
    if (!null) {
        switch (type) {
        case QMetaType::QByteArray:
            null = static_cast<const QByteArray*>(v.constData())->isNull();
            break;
        case QMetaType::QDateTime:
            null = !static_cast<const QDateTime*>(v.constData())->isValid();
            break;
        case QMetaType::QDate:
            null = !static_cast<const QDate*>(v.constData())->isValid();
            break;
        case QMetaType::QTime:
            null = !static_cast<const QTime*>(v.constData())->isValid();
            break;
        default:
            break;
        }
    }
    if (null) return sqlite3_bind_null(st, at);
    switch (type) {
    case QMetaType::QByteArray: {
        const auto* bytes = static_cast<const QByteArray*>(v.constData());
        return sqlite3_bind_blob(st, at, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(st, at, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(st, at, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(st, at, v.toLongLong());
    case QMetaType::QDateTime:
        return bindText16(st, at, v.toDateTime().toString(Qt::ISODateWithMs), SQLITE_TRANSIENT);
    case QMetaType::QTime:
        return bindText16(st, at, v.toTime().toString(u"hh:mm:ss.zzz"), SQLITE_TRANSIENT);
    default:
        return bindText16(st, at, v.toString(), SQLITE_TRANSIENT);
    }
}
} // namespace

bool Connection::canInsertDirectly() const {
    return m_dialect.kind == DbKind::SQLite && sqliteHandle(database()) != nullptr;
}

void Connection::finalizeDirect() noexcept {
    for (void* st : std::as_const(m_direct))
        sqlite3_finalize(static_cast<sqlite3_stmt*>(st));
    m_direct.clear();
}

void* Connection::directStatement(const QString& table, const QStringList& columns, QString& sql) {
    settleCopy();
    sql = QStringLiteral("Insert Into ") + table + QStringLiteral(" (") + columns.join(u',') +
          QStringLiteral(") values (") + QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
    QSqlDatabase db = database();
    requireOpen(db);
    sqlite3* handle = sqliteHandle(db);
    if (!handle) throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(), sql);
    auto* st = static_cast<sqlite3_stmt*>(m_direct.value(sql));
    if (!st) {
        if (m_direct.size() >= 64) finalizeDirect();
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &st, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(st);
            throw sqliteFailure(handle, rc, sql);
        }
        m_direct.insert(sql, st);
    }
    return st;
}

namespace {
// Runs the statement for each row; bindRow(r, texts) binds row r and returns SQLite's code.
template <typename Bind>
void runDirect(sqlite3_stmt* st, const QString& sql, qsizetype rowCount, Bind&& bindRow) {
    Utf8Texts texts;
    for (qsizetype r = 0; r < rowCount; ++r) {
        int rc = bindRow(r, texts);
        if (rc == SQLITE_OK) rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            sqlite3* handle = sqlite3_db_handle(st);
            const DbError e = sqliteFailure(handle, rc, sql);
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            throw e;
        }
        sqlite3_reset(st);
    }
    // No text of the caller's stays bound once its rows are gone.
    sqlite3_clear_bindings(st);
}

qsizetype boundRoom(const Connection::BoundValue& v) {
    if (const auto* text = std::get_if<QString>(&v)) return text->size() * 3;
    if (const auto* other = std::get_if<QVariant>(&v)) return Utf8Texts::room(*other);
    return 0;
}

int bindBoundValue(sqlite3_stmt* st, int at, const Connection::BoundValue& v, Utf8Texts& texts) {
    switch (v.index()) {
    case 1:
        return sqlite3_bind_int64(st, at, *std::get_if<qint64>(&v));
    case 2:
        return sqlite3_bind_double(st, at, *std::get_if<double>(&v));
    case 3: {
        const QString& text = *std::get_if<QString>(&v);
        if (text.isNull()) return bindSqliteValue(st, at, QVariant(text), texts);
        return texts.bind(st, at, text);
    }
    case 4:
        return bindSqliteValue(st, at, *std::get_if<QVariant>(&v), texts);
    default:
        return sqlite3_bind_null(st, at);
    }
}
} // namespace

void Connection::insertRows(const QString& table, const QStringList& columns, qsizetype rowCount,
                            const std::function<const QVariant&(qsizetype row, int column)>& value) {
    QString sql;
    auto* st = static_cast<sqlite3_stmt*>(directStatement(table, columns, sql));
    const int columnCount = int(columns.size());
    std::vector<const QVariant*> row(size_t(columnCount), nullptr);
    runDirect(st, sql, rowCount, [&](qsizetype r, Utf8Texts& texts) {
        qsizetype room = 0;
        for (int c = 0; c < columnCount; ++c) {
            row[size_t(c)] = &value(r, c);
            room += Utf8Texts::room(*row[size_t(c)]);
        }
        texts.startRow(room);
        int rc = SQLITE_OK;
        for (int c = 0; c < columnCount && rc == SQLITE_OK; ++c)
            rc = bindSqliteValue(st, c + 1, *row[size_t(c)], texts);
        return rc;
    });
}

void Connection::insertRows(const QString& table, const QStringList& columns, const QList<int>& at,
                            qsizetype rowCount,
                            const std::function<const BoundValue*(qsizetype row)>& values) {
    QString sql;
    auto* st = static_cast<sqlite3_stmt*>(directStatement(table, columns, sql));
    const int columnCount = int(columns.size());
    runDirect(st, sql, rowCount, [&](qsizetype r, Utf8Texts& texts) {
        const BoundValue* row = values(r);
        qsizetype room = 0;
        for (int c = 0; c < columnCount; ++c)
            room += boundRoom(row[at[c]]);
        texts.startRow(room);
        int rc = SQLITE_OK;
        for (int c = 0; c < columnCount && rc == SQLITE_OK; ++c)
            rc = bindBoundValue(st, c + 1, row[at[c]], texts);
        return rc;
    });
}
