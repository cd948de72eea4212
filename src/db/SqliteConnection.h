// A thin RAII layer over the SQLite C API: one connection, prepared statements, and the
// translation of engine failures into DaoError with a Bulgarian message.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement
{
public:
    SqliteStatement() = default;
    // owned: finalized at the end; otherwise a statement of the connection's cache, only reset.
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt, const class SqliteConnection *cache = nullptr)
        : mDb(db), mStmt(stmt), mCache(cache) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&other) noexcept;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return mStmt != nullptr; }
    sqlite3_stmt *handle() const { return mStmt; }

    // Binds a value: null, text, integer (bool, int, qint64), double; a date-time as ISO text.
    void bind(int index, const QVariant &value); // index is 1-based
    void bindAll(const QVariantList &values);
    void bindInt64(int index, qint64 value);

    // Steps once: true for a row, false when done. Throws DaoError on failure.
    bool step();
    void reset();

    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    bool columnIsNull(int i) const;
    qint64 columnInt64(int i) const;
    // The stored value as QVariant: null, qint64, double or QString (blobs as QByteArray).
    QVariant column(int i) const;

private:
    void release();

    sqlite3 *mDb = nullptr;
    sqlite3_stmt *mStmt = nullptr;
    const class SqliteConnection *mCache = nullptr; // the connection whose cache holds it
};

class SqliteConnection
{
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    // Opens an existing file read-write (create: also makes a missing one). Throws DaoError.
    void open(const QString &path, bool create = false);
    void close();
    bool isOpen() const { return mDb != nullptr; }
    sqlite3 *handle() const { return mDb; }

    SqliteStatement prepare(const QString &sql) const;
    // Like prepare, but keeps the compiled statement for the next use of the same text; the
    // statement is reset when the returned object goes. Falls back to prepare while in use.
    SqliteStatement cached(const QString &sql) const;
    // Runs one or more statements without results.
    void exec(const QString &sql) const;
    // Runs a query and gives the first column of its first row (null when no row).
    QVariant scalar(const QString &sql) const;
    int changes() const;
    // The (table, column) pairs a statement reads, views and subqueries included; an empty
    // column stands for the whole table.
    QList<QPair<QString, QString>> readsOf(const QString &sql) const;
    qint64 lastInsertId() const;

    // The DaoError for the connection's last failure, with the engine's message for context.
    [[noreturn]] void raise(int code) const;

private:
    sqlite3_stmt *compile(const QString &sql) const;

    sqlite3 *mDb = nullptr;
    friend class SqliteStatement;
    mutable QHash<QString, sqlite3_stmt *> mCache;
    mutable QSet<sqlite3_stmt *> mInUse;
};

// The message for an engine result code (and the engine's own message), in Bulgarian.
QString sqliteErrorMessage(int code, const QString &engineMessage);
// The date-time text stored in the file ("yyyy-MM-dd HH:mm:ss"), and its reading.
QString storedDateTimeText(const QDateTime &value);
QDateTime parseStoredDateTime(const QString &text);
