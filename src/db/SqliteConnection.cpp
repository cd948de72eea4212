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

// The stored form is read for every date cell shown: parse it by hand, not through a format.
static bool parseIsoFast(const QString &t, QDateTime *out)
{
    if (t.size() < 10)
        return false;
    auto digits = [&](int at, int n, int *v) {
        int r = 0;
        for (int i = at; i < at + n; ++i) {
            const char16_t c = t.at(i).unicode();
            if (c < u'0' || c > u'9')
                return false;
            r = r * 10 + (c - u'0');
        }
        *v = r;
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (!digits(0, 4, &y) || t.at(4) != u'-' || !digits(5, 2, &mo) || t.at(7) != u'-' || !digits(8, 2, &d))
        return false;
    if (t.size() > 10) {
        if (t.size() < 19 || (t.at(10) != u' ' && t.at(10) != u'T') || !digits(11, 2, &h) || t.at(13) != u':'
            || !digits(14, 2, &mi) || t.at(16) != u':' || !digits(17, 2, &se) || t.size() != 19)
            return false;
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, se);
    if (!date.isValid() || !time.isValid())
        return false;
    *out = QDateTime(date, time);
    return true;
}

QDateTime parseStoredDateTime(const QString &text)
{
    QDateTime fast;
    if (parseIsoFast(text, &fast))
        return fast;
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

void SqliteStatement::release()
{
    if (!mStmt)
        return;
    if (!mCache) {
        sqlite3_finalize(mStmt);
    } else {
        sqlite3_reset(mStmt);
        sqlite3_clear_bindings(mStmt);
        mCache->mInUse.remove(mStmt);
    }
    mStmt = nullptr;
}

SqliteStatement::~SqliteStatement() { release(); }

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : mDb(other.mDb), mStmt(other.mStmt), mCache(other.mCache)
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

namespace {
int collectReads(void *user, int action, const char *a, const char *b, const char *, const char *)
{
    if (action == SQLITE_READ && a) {
        auto *reads = static_cast<QList<QPair<QString, QString>> *>(user);
        const QPair<QString, QString> r(QString::fromUtf8(a), b ? QString::fromUtf8(b) : QString());
        if (!reads->contains(r))
            reads->append(r);
    }
    return SQLITE_OK;
}
} // namespace

QList<QPair<QString, QString>> SqliteConnection::readsOf(const QString &sql) const
{
    QList<QPair<QString, QString>> reads;
    sqlite3_set_authorizer(mDb, collectReads, &reads);
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(mDb, utf8.constData(), int(utf8.size()), &stmt, nullptr);
    sqlite3_set_authorizer(mDb, nullptr, nullptr);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK)
        raise(rc);
    return reads;
}

int SqliteConnection::changes() const { return sqlite3_changes(mDb); }

qint64 SqliteConnection::lastInsertId() const { return sqlite3_last_insert_rowid(mDb); }

void SqliteConnection::raise(int code) const
{
    throw DaoError(sqliteErrorMessage(code, QString::fromUtf8(sqlite3_errmsg(mDb))));
}
