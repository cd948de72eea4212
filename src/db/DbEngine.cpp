// The choice of engine for a Database setting.
#include "DbEngine.h"

#include "PgEngine.h"
#include "SqliteEngine.h"

std::unique_ptr<DbEngine> DbEngine::create(const QString &database)
{
    if (PgEngine::isConnectionString(database))
        return std::make_unique<PgEngine>();
    return std::make_unique<SqliteEngine>();
}

bool DbEngine::isServer(const QString &database) { return PgEngine::isConnectionString(database); }
