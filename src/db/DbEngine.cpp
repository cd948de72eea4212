// The choice of engine for a Database setting.
#include "DbEngine.h"

#include "SqliteEngine.h"

std::unique_ptr<DbEngine> DbEngine::create(const QString &database)
{
    Q_UNUSED(database) // every setting names a file of the embedded engine for now
    return std::make_unique<SqliteEngine>();
}
