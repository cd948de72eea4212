// RAII over the SQLite C API and the Bulgarian texts of engine failures.
#include "SqliteConnection.h"

#include "DaoError.h"

#include <QDateTime>
#include <sqlite3.h>

QString sqliteErrorMessage(int code, const QString &engineMessage)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("Базата е заета от друг потребител. Опитайте отново след малко.");
    case SQLITE_READONLY:
        return QStringLiteral("Базата е само за четене: промените не могат да бъдат записани.");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return QStringLiteral("Файлът не е база данни на Velostok или е повреден.");
    case SQLITE_CANTOPEN:
        return QStringLiteral("Файлът на базата не може да бъде отворен.");
    case SQLITE_FULL:
        return QStringLiteral("Дискът е пълен: промените не могат да бъдат записани.");
    case SQLITE_IOERR:
        return QStringLiteral("Грешка при четене или запис на файла на базата (%1).").arg(engineMessage);
    case SQLITE_CONSTRAINT:
        return QStringLiteral("Стойността не е допустима за базата: %1").arg(engineMessage);
    default:
        return QStringLiteral("Грешка в базата данни: %1").arg(engineMessage);
    }
}

QString storedDateTimeText(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseStoredDateTime(const QString &text)
{
    static const QString formats[] = {
        QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd")};
    for (const QString &f : formats) {
        QDateTime d = QDateTime::fromString(text, f);
        if (d.isValid())
            return d;
    }
    return {};
}

// ---- statements

SqliteStatement::~SqliteStatement()
{
    if (mStmt)
        sqlite3_finalize(mStmt);
}

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : mDb(other.mDb), mStmt(other.mStmt)
{
    other.mStmt = nullptr;
}

SqliteStatement &SqliteStatement::operator=(SqliteStatement &&other) noexcept
{
    if (this != &other) {
        if (mStmt)
            sqlite3_finalize(mStmt);
        mDb = other.mDb;
        mStmt = other.mStmt;
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
        case QMetaType::QDateTime: {
            const QByteArray t = storedDateTimeText(value.toDateTime()).toUtf8();
            rc = sqlite3_bind_text(mStmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray b = value.toByteArray();
            rc = sqlite3_bind_blob(mStmt, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray t = value.toString().toUtf8();
            rc = sqlite3_bind_text(mStmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        throw DaoError(sqliteErrorMessage(rc, QString::fromUtf8(sqlite3_errmsg(mDb))));
}

void SqliteStatement::bindAll(const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
}

void SqliteStatement::bindInt64(int index, qint64 value)
{
    sqlite3_bind_int64(mStmt, index, value);
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
    throw DaoError(sqliteErrorMessage(rc, msg));
}

void SqliteStatement::reset()
{
    sqlite3_reset(mStmt);
    sqlite3_clear_bindings(mStmt);
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

// ---- connection

SqliteConnection::~SqliteConnection() { close(); }

void SqliteConnection::open(const QString &path, bool create)
{
    close();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
        sqlite3_close_v2(db);
        throw DaoError(sqliteErrorMessage(rc, msg));
    }
    sqlite3_extended_result_codes(db, 1);
    mDb = db;
}

void SqliteConnection::close()
{
    if (mDb) {
        sqlite3_close_v2(mDb);
        mDb = nullptr;
    }
}

SqliteStatement SqliteConnection::prepare(const QString &sql) const
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(mDb, utf8.constData(), int(utf8.size()), &stmt, &tail);
    if (rc != SQLITE_OK)
        raise(rc);
    if (!stmt)
        throw DaoError(QStringLiteral("Празна SQL заявка."));
    if (tail && *tail) {
        // One statement only: a trailing second statement would run unseen.
        QByteArray rest(tail);
        if (!rest.trimmed().isEmpty() && rest.trimmed() != ";") {
            sqlite3_finalize(stmt);
            throw DaoError(QStringLiteral("SQL заявката съдържа повече от една команда."));
        }
    }
    return SqliteStatement(mDb, stmt);
}

void SqliteConnection::exec(const QString &sql) const
{
    char *err = nullptr;
    const int rc = sqlite3_exec(mDb, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = err ? QString::fromUtf8(err) : QString();
        sqlite3_free(err);
        throw DaoError(sqliteErrorMessage(rc, msg));
    }
}

QVariant SqliteConnection::scalar(const QString &sql) const
{
    SqliteStatement st = prepare(sql);
    return st.step() ? st.column(0) : QVariant();
}

int SqliteConnection::changes() const { return sqlite3_changes(mDb); }

qint64 SqliteConnection::lastInsertId() const { return sqlite3_last_insert_rowid(mDb); }

void SqliteConnection::raise(int code) const
{
    throw DaoError(sqliteErrorMessage(code, QString::fromUtf8(sqlite3_errmsg(mDb))));
}
