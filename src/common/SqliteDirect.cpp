// Statements on an SQLite file run through SQLite's own library, on the handle of Qt's driver: rows
// written with a statement prepared once per table and columns, statements with values run from a
// statement prepared once, and rows read one at a time, every value bound and read as Qt's driver binds
// and reads it. Qt SQL's bookkeeping per bound value and per row read cost more than SQLite's own work.
#include "common/Connection.h"

#include "common/ConnectionPrivate.h"
#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
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

// A value of a row as Qt's driver reads it (with the connection's precision policy, LowPrecisionDouble):
// whole numbers as 64-bit integers, reals as doubles, texts through SQLite's UTF-16, a Null as a null
// text, bytes as they are.
QVariant columnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return sqlite3_column_double(st, i);
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    default:
        return QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(st, i)),
                       sqlite3_column_bytes16(st, i) / qsizetype(sizeof(QChar)));
    }
}

// Prepares one statement as Qt's driver does: from its UTF-16 text, and refused when more follows it (a
// second statement is never run, nor silently left out).
sqlite3_stmt* prepareOne(sqlite3* db, const QString& sql) {
    sqlite3_stmt* st = nullptr;
    const void* tail = nullptr;
    const int rc = sqlite3_prepare16_v2(db, sql.utf16(), int((sql.size() + 1) * sizeof(QChar)), &st, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        throw sqliteFailure(db, rc, sql);
    }
    if (tail && !QString(static_cast<const QChar*>(tail)).trimmed().isEmpty()) {
        sqlite3_finalize(st);
        const QString text = QStringLiteral("Unable to execute multiple statements at a time");
        throw sqlError(QSqlError(text, text, QSqlError::StatementError, QString::number(SQLITE_MISUSE)), sql);
    }
    return st;
}

// Binds a statement's values, its texts in texts' room (kept until the statement has run). Throws as
// Qt's driver refuses a count of values that differs from the statement's placeholders.
void bindAll(sqlite3_stmt* st, const QString& sql, const QVariantList& params, Utf8Texts& texts) {
    if (sqlite3_bind_parameter_count(st) != params.size()) {
        const QString text = QStringLiteral("Parameter count mismatch");
        throw sqlError(QSqlError(text, text, QSqlError::StatementError), sql);
    }
    qsizetype room = 0;
    for (const QVariant& v : params)
        room += Utf8Texts::room(v);
    texts.startRow(room);
    for (int i = 0; i < params.size(); ++i)
        if (const int rc = bindSqliteValue(st, i + 1, params[i], texts); rc != SQLITE_OK)
            throw sqliteFailure(sqlite3_db_handle(st), rc, sql);
}

// A column's type as Qt's driver gives it: from the type the column is declared with, else from the
// storage class of the first row's value (none for an empty result).
QMetaType::Type columnType(sqlite3_stmt* st, int i, bool empty) {
    const auto* declared = static_cast<const QChar*>(sqlite3_column_decltype16(st, i));
    const QString decl = QString(declared).toLower();
    if (!decl.isEmpty()) {
        if (decl == u"integer" || decl == u"int") return QMetaType::Int;
        if (decl == u"double" || decl == u"float" || decl == u"real" || decl.startsWith(u"numeric"))
            return QMetaType::Double;
        if (decl == u"blob") return QMetaType::QByteArray;
        if (decl == u"boolean" || decl == u"bool") return QMetaType::Bool;
        return QMetaType::QString;
    }
    switch (empty ? -1 : sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QMetaType::Int;
    case SQLITE_FLOAT:
        return QMetaType::Double;
    case SQLITE_BLOB:
        return QMetaType::QByteArray;
    case SQLITE_TEXT:
        return QMetaType::QString;
    default:
        return QMetaType::UnknownType;
    }
}

QList<FieldInfo> resultFields(sqlite3_stmt* st, bool empty) {
    QSqlRecord record;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const QString name = QString(static_cast<const QChar*>(sqlite3_column_name16(st, i))).remove(u'"');
        const QString table =
            QString(static_cast<const QChar*>(sqlite3_column_table_name16(st, i))).remove(u'"');
        record.append(QSqlField(name, QMetaType(columnType(st, i, empty)), table));
    }
    return fieldsOf(record);
}

void finalizeAll(QHash<QString, void*>& statements) noexcept {
    for (void* st : std::as_const(statements))
        sqlite3_finalize(static_cast<sqlite3_stmt*>(st));
    statements.clear();
}

// The connection's statement for the text, prepared the first time it runs (at most 64 kept).
sqlite3_stmt* cachedStatement(QHash<QString, void*>& statements, sqlite3* db, const QString& sql) {
    if (auto* st = static_cast<sqlite3_stmt*>(statements.value(sql))) return st;
    if (statements.size() >= 64) finalizeAll(statements);
    sqlite3_stmt* st = prepareOne(db, sql);
    statements.insert(sql, st);
    return st;
}

// Finalizes a statement read row by row, however the reading ends.
struct OwnedStatement {
    sqlite3_stmt* st = nullptr;
    ~OwnedStatement() { sqlite3_finalize(st); }
};
} // namespace

bool Connection::runsDirectly() const {
    return m_dialect.kind == DbKind::SQLite && sqliteHandle(database()) != nullptr;
}

void Connection::finalizeDirect() noexcept {
    finalizeAll(m_direct);
}

void* Connection::directStatement(const QString& table, const QStringList& columns, QString& sql) {
    settleCopy();
    sql = QStringLiteral("Insert Into ") + table + QStringLiteral(" (") + columns.join(u',') +
          QStringLiteral(") values (") + QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
    QSqlDatabase db = database();
    requireOpen(db);
    sqlite3* handle = sqliteHandle(db);
    if (!handle) throw DbError(ErrNo::General, QStringLiteral("此连接不能成批写入。"), QString(), sql);
    return cachedStatement(m_direct, handle, sql);
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

int Connection::execDirect(const QString& sql, const QVariantList& params) {
    sqlite3* handle = sqliteHandle(database());
    sqlite3_stmt* st = nullptr;
    Utf8Texts texts;
    try {
        st = cachedStatement(m_direct, handle, sql);
        bindAll(st, sql, params, texts);
        const int rc = sqlite3_step(st);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw sqliteFailure(handle, rc, sql);
    } catch (const DbError&) {
        if (st) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
        recoverReadOnly();
        throw;
    }
    const int changed = sqlite3_changes(handle);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return changed;
}

namespace {
// A query's rows one at a time through SQLite's own library. Its first row is taken when it opens, as Qt's
// driver takes it, so that its columns' types are known as the driver knows them; every later one when it
// is asked for.
class DirectCursor : public Connection::Cursor {
public:
    DirectCursor(sqlite3* db, const QString& sql, const QVariantList& params) : m_sql(sql) {
        m_statement.st = prepareOne(db, sql);
        bindAll(m_statement.st, sql, params, m_texts);
        step();
        m_fields = resultFields(m_statement.st, !m_hasRow);
    }
    const QList<FieldInfo>& fields() const override { return m_fields; }
    bool next(QVariantList& row) override {
        if (m_hasRow && m_handedOut) step();
        if (!m_hasRow) return false; // never stepped again: SQLite would run a finished query anew
        row.clear();
        for (int i = 0; i < m_fields.size(); ++i)
            row.append(columnValue(m_statement.st, i));
        m_handedOut = true;
        return true;
    }

private:
    // A failed step leaves the statement reset, so that a rollback after it is not held up.
    void step() {
        const int rc = sqlite3_step(m_statement.st);
        m_hasRow = rc == SQLITE_ROW;
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) return;
        const DbError e = sqliteFailure(sqlite3_db_handle(m_statement.st), rc, m_sql);
        sqlite3_reset(m_statement.st);
        throw e;
    }
    QString m_sql;
    Utf8Texts m_texts; // outlives the statement that binds its room
    OwnedStatement m_statement;
    QList<FieldInfo> m_fields;
    bool m_hasRow = false, m_handedOut = false;
};
} // namespace

std::unique_ptr<Connection::Cursor> Connection::openCursorDirect(const QString& sql,
                                                                 const QVariantList& params) {
    try {
        return std::make_unique<DirectCursor>(sqliteHandle(database()), sql, params);
    } catch (const DbError&) {
        recoverReadOnly();
        throw;
    }
}
