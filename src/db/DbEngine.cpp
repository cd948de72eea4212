// The choice of engine for a Database setting.
#include "DbEngine.h"

#include "PgEngine.h"
#include "SqliteEngine.h"
#include "StoredDateTime.h"

std::unique_ptr<DbEngine> DbEngine::create(const QString &database)
{
    if (PgEngine::isConnectionString(database))
        return std::make_unique<PgEngine>();
    return std::make_unique<SqliteEngine>();
}

bool DbEngine::isServer(const QString &database) { return PgEngine::isConnectionString(database); }

QString DbEngine::shownName(const QString &database)
{
    return PgEngine::isConnectionString(database) ? PgEngine::withoutPassword(database) : database;
}

// A connection string that cannot be read counts as holding one: nothing of it is known.
bool DbEngine::holdsPassword(const QString &database)
{
    return PgEngine::isConnectionString(database) && PgEngine::withoutPassword(database) != database;
}

QVariant DbEngine::storedForm(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(storedtime::text(v.toDateTime()));
    case QMetaType::Int:
        return QVariant(qint64(v.toInt()));
    default:
        return v;
    }
}
