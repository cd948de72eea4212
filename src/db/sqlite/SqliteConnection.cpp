// The raw SQLite connection, its statement cache, and the Bulgarian texts of engine failures.
#include "sqlite/SqliteConnection.h"

#include "base/DaoError.h"

#include <mutex>
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

// ---- connection

SqliteConnection::~SqliteConnection() { close(); }

void SqliteConnection::configureLibrary()
{
    static std::once_flag once;
    // Refused (harmlessly) when the library is in use already.
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

void SqliteConnection::open(const QString &path, bool create, bool readOnly)
{
    configureLibrary();
    close();
    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
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
    // Others' locks are waited for a while, as every program sharing the file should.
    sqlite3_busy_timeout(db, 5000);
    mDb = db;
}

void SqliteConnection::close()
{
    for (sqlite3_stmt *st : std::as_const(mCache))
        sqlite3_finalize(st);
    mCache.clear();
    if (mDb) {
        sqlite3_close_v2(mDb);
        mDb = nullptr;
    }
}

sqlite3_stmt *SqliteConnection::compile(const QString &sql) const
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
        const QByteArray rest = QByteArray(tail).trimmed();
        if (!rest.isEmpty() && rest != ";") {
            sqlite3_finalize(stmt);
            throw DaoError(QStringLiteral("SQL заявката съдържа повече от една команда."));
        }
    }
    return stmt;
}

SqliteStatement SqliteConnection::prepare(const QString &sql) const
{
    return SqliteStatement(mDb, compile(sql));
}

SqliteStatement SqliteConnection::cached(const QString &sql) const
{
    auto it = mCache.constFind(sql);
    if (it != mCache.constEnd()) {
        if (mInUse.contains(*it))
            return prepare(sql);
        mInUse.insert(*it);
        return SqliteStatement(mDb, *it, this);
    }
    if (mCache.size() >= 200) {
        for (auto i = mCache.begin(); i != mCache.end();) {
            if (!mInUse.contains(*i)) {
                sqlite3_finalize(*i);
                i = mCache.erase(i);
            } else {
                ++i;
            }
        }
    }
    sqlite3_stmt *stmt = compile(sql);
    mCache.insert(sql, stmt);
    mInUse.insert(stmt);
    return SqliteStatement(mDb, stmt, this);
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
    if ((code & 0xff) == SQLITE_CORRUPT)
        throw FileDamaged(sqliteErrorMessage(code, QString::fromUtf8(sqlite3_errmsg(mDb))));
    throw DaoError(sqliteErrorMessage(code, QString::fromUtf8(sqlite3_errmsg(mDb))));
}
