#include "engine/EngineFactory.h"

#include "postgresql/PgEngine.h"
#include "sqlite/SqliteEngine.h"

namespace engines {

std::unique_ptr<DbEngine> create(const QString &database)
{
    if (PgEngine::isConnectionString(database))
        return std::make_unique<PgEngine>();
    return std::make_unique<SqliteEngine>();
}

std::unique_ptr<DbEngine> createForFile() { return std::make_unique<SqliteEngine>(); }

bool isServer(const QString &database) { return PgEngine::isConnectionString(database); }

QString shownName(const QString &database)
{
    return PgEngine::isConnectionString(database) ? PgEngine::withoutPassword(database) : database;
}

// A connection string that cannot be read counts as holding one: nothing of it is known.
bool holdsPassword(const QString &database)
{
    return PgEngine::isConnectionString(database) && PgEngine::withoutPassword(database) != database;
}

} // namespace engines
