// Binding, stepping and reading SQLite statements.
#include "sqlite/SqliteStatement.h"

#include "base/DaoError.h"
#include "sqlite/SqliteConnection.h"
#include "base/StoredDateTime.h"

#include <sqlite3.h>

void SqliteStatement::release()
{
    if (!mStmt)
        return;
    if (!mCache) {
        sqlite3_finalize(mStmt);
    } else {
        sqlite3_reset(mStmt);
        sqlite3_clear_bindings(mStmt);
        mCache->giveBack(mStmt);
    }
    mStmt = nullptr;
    mHeld.clear();
}

SqliteStatement::~SqliteStatement() { release(); }

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : mDb(other.mDb), mStmt(other.mStmt), mCache(other.mCache), mHeld(std::move(other.mHeld))
{
    other.mStmt = nullptr;
}

SqliteStatement &SqliteStatement::operator=(SqliteStatement &&other) noexcept
{
    if (this != &other) {
        release();
        mDb = other.mDb;
        mStmt = other.mStmt;
        mCache = other.mCache;
        mHeld = std::move(other.mHeld);
        other.mStmt = nullptr;
    }
    return *this;
}

void SqliteStatement::bind(int index, const QVariant &value)
{
    int rc;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(mStmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(mStmt, index, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::Long:
            rc = sqlite3_bind_int64(mStmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(mStmt, index, value.toDouble());
            break;
        case QMetaType::QDateTime:
            rc = bindHeld(index, storedtime::text(value.toDateTime()).toUtf8(), false);
            break;
        case QMetaType::QByteArray:
            rc = bindHeld(index, value.toByteArray(), true);
            break;
        default:
            rc = bindHeld(index, value.toString().toUtf8(), false);
            break;
        }
    }
    if (rc != SQLITE_OK)
        throw DaoError(sqliteErrorMessage(rc, QString::fromUtf8(sqlite3_errmsg(mDb))));
}

int SqliteStatement::bindHeld(int index, QByteArray bytes, bool blob)
{
    // constData() is never null, so empty text stays text, not null.
    const int rc = blob ? sqlite3_bind_blob(mStmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC)
                        : sqlite3_bind_text(mStmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        return rc; // the former binding stands, and the bytes it holds
    if (size_t(index) >= mHeld.size())
        mHeld.resize(size_t(index) + 1);
    mHeld[size_t(index)] = std::move(bytes); // what was held there before is bound over now
    return rc;
}

void SqliteStatement::bindInt64(int index, qint64 value)
{
    sqlite3_bind_int64(mStmt, index, value);
}

void SqliteStatement::bindUtf8(int index, QByteArrayView text)
{
    // A null pointer would bind null: empty text keeps a pointer of its own.
    const int rc = sqlite3_bind_text(mStmt, index, text.data() ? text.data() : "", int(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw DaoError(sqliteErrorMessage(rc, QString::fromUtf8(sqlite3_errmsg(mDb))));
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(mStmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString msg = QString::fromUtf8(sqlite3_errmsg(mDb));
    sqlite3_reset(mStmt);
    // A full disk or an I/O error undoes the whole transaction, as SQLite does itself unless a
    // statement journal (a table with triggers) let it undo the statement alone: the writer
    // always learns its batch is gone the same way.
    if (((rc & 0xff) == SQLITE_IOERR || (rc & 0xff) == SQLITE_FULL) && !sqlite3_get_autocommit(mDb))
        sqlite3_exec(mDb, "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc == SQLITE_INTERRUPT)
        throw Interrupted(sqliteErrorMessage(rc, msg));
    if ((rc & 0xff) == SQLITE_CORRUPT)
        throw FileDamaged(sqliteErrorMessage(rc, msg));
    throw DaoError(sqliteErrorMessage(rc, msg));
}

void SqliteStatement::reset()
{
    sqlite3_reset(mStmt);
    sqlite3_clear_bindings(mStmt);
    mHeld.clear();
}

int SqliteStatement::columnCount() const { return sqlite3_column_count(mStmt); }

QString SqliteStatement::columnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(mStmt, i));
}

QString SqliteStatement::columnDeclType(int i) const
{
    const char *t = sqlite3_column_decltype(mStmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

bool SqliteStatement::columnIsNull(int i) const
{
    return sqlite3_column_type(mStmt, i) == SQLITE_NULL;
}

qint64 SqliteStatement::columnInt64(int i) const { return sqlite3_column_int64(mStmt, i); }

QVariant SqliteStatement::column(int i) const
{
    switch (sqlite3_column_type(mStmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(mStmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(mStmt, i));
    case SQLITE_TEXT: {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(mStmt, i));
        return QVariant(QString::fromUtf8(t, sqlite3_column_bytes(mStmt, i)));
    }
    case SQLITE_BLOB: {
        const auto *b = static_cast<const char *>(sqlite3_column_blob(mStmt, i));
        return QVariant(QByteArray(b, sqlite3_column_bytes(mStmt, i)));
    }
    default:
        return QVariant();
    }
}

QByteArrayView SqliteStatement::columnText(int i) const
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(mStmt, i));
    return t ? QByteArrayView(t, sqlite3_column_bytes(mStmt, i)) : QByteArrayView();
}
