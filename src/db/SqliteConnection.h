// A thin RAII layer over the SQLite C API: one connection, prepared statements, and the
// translation of engine failures into DaoError with a Bulgarian message.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt) : mDb(db), mStmt(stmt) {}
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
    sqlite3 *mDb = nullptr;
    sqlite3_stmt *mStmt = nullptr;
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
    // Runs one or more statements without results.
    void exec(const QString &sql) const;
    // Runs a query and gives the first column of its first row (null when no row).
    QVariant scalar(const QString &sql) const;
    int changes() const;
    qint64 lastInsertId() const;

    // The DaoError for the connection's last failure, with the engine's message for context.
    [[noreturn]] void raise(int code) const;

private:
    sqlite3 *mDb = nullptr;
};

// The message for an engine result code (and the engine's own message), in Bulgarian.
QString sqliteErrorMessage(int code, const QString &engineMessage);
// The date-time text stored in the file ("yyyy-MM-dd HH:mm:ss"), and its reading.
QString storedDateTimeText(const QDateTime &value);
QDateTime parseStoredDateTime(const QString &text);
