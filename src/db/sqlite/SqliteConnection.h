// A raw SQLite connection to one file: open, prepare (with a cache of compiled statements), run.
// The SQLite engine works through one; tests use one on its own to reach a file as another
// program would (no Velostok functions unless SqliteEngine::prepareConnection adds them).
#pragma once

#include "sqlite/SqliteStatement.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

class SqliteConnection
{
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    // Before the first connection of the process: SQLite keeps no memory statistics, which would
    // take a global lock at every allocation and release of its own. Later calls do nothing.
    static void configureLibrary();

    // Opens an existing file read-write (create: also makes a missing one; readOnly: for
    // reading only). Throws DaoError.
    void open(const QString &path, bool create = false, bool readOnly = false);
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
    qint64 lastInsertId() const;

    // The DaoError for the connection's last failure, with the engine's message for context.
    [[noreturn]] void raise(int code) const;

private:
    friend class SqliteStatement;
    sqlite3_stmt *compile(const QString &sql) const;
    void giveBack(sqlite3_stmt *stmt) const { mInUse.remove(stmt); }

    sqlite3 *mDb = nullptr;
    mutable QHash<QString, sqlite3_stmt *> mCache;
    mutable QSet<sqlite3_stmt *> mInUse;
};

// The message for an SQLite result code (and the engine's own message), in Bulgarian.
QString sqliteErrorMessage(int code, const QString &engineMessage);
