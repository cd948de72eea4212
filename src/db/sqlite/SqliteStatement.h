// A prepared SQLite statement: the SQLite engine's DbStatement, also used on its own by a raw
// SqliteConnection. Movable; finalized when it goes, or only reset when it belongs to the
// connection's statement cache.
#pragma once

#include <vector>

#include "engine/DbStatement.h"

struct sqlite3;
struct sqlite3_stmt;
class SqliteConnection;

class SqliteStatement : public DbStatement
{
public:
    SqliteStatement() = default;
    // cache: the connection whose statement cache holds stmt (only reset at the end), or null.
    SqliteStatement(sqlite3 *db, sqlite3_stmt *stmt, const SqliteConnection *cache = nullptr)
        : mDb(db), mStmt(stmt), mCache(cache)
    {
    }
    ~SqliteStatement() override;
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&other) noexcept;
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return mStmt != nullptr; }
    sqlite3_stmt *handle() const { return mStmt; }

    // A date-time is bound as its stored text.
    void bind(int index, const QVariant &value) override;
    void bindInt64(int index, qint64 value) override;
    void bindUtf8(int index, QByteArrayView text) override;
    bool step() override;
    void reset() override;

    int columnCount() const override;
    QString columnName(int i) const override;
    QString columnDeclType(int i) const; // as declared; empty for an expression
    bool columnIsNull(int i) const override;
    qint64 columnInt64(int i) const override;
    QVariant column(int i) const override;
    QByteArrayView columnText(int i) const override;

private:
    void release();
    // Binds bytes the statement keeps until they are bound over or the statement is given back,
    // so that SQLite need not copy them.
    int bindHeld(int index, QByteArray bytes, bool blob);

    sqlite3 *mDb = nullptr;
    sqlite3_stmt *mStmt = nullptr;
    const SqliteConnection *mCache = nullptr;
    std::vector<QByteArray> mHeld; // by parameter index
};
