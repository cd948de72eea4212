// Shared by the data-layer tests: a fresh inventory of its own, and row makers. The inventory is
// a file in a temporary folder, or, when VELOSTOK_PG_TEST holds the connection string of a
// PostgreSQL server whose user may create databases, a database of its own on that server (the
// same suites then run against both engines).
#pragma once

#include "base/DaoError.h"
#include "RawDb.h"
#include "ServerDb.h"
#include "sqlite/SqliteSchema.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct TestDb : RawDb
{
    enum Where { File, Server };

    QTemporaryDir dir;
    std::unique_ptr<ServerDb> server;
    QString path; // the file, or the server database's connection string

    // On the server when the tests run against it, else a file named name.
    explicit TestDb(const QString &name = QStringLiteral("test.mdb")) : TestDb(onServer() ? Server : File, name) {}
    explicit TestDb(Where where, const QString &name = QStringLiteral("test.mdb"))
    {
        if (where == Server) {
            server = std::make_unique<ServerDb>();
            path = server->conninfo;
            rawServer = server.get();
        } else {
            path = dir.filePath(name);
            sqliteschema::createDatabase(path);
            rawFile = path;
        }
    }

    // Whether this run's inventories are on a PostgreSQL server.
    static bool onServer() { return !qEnvironmentVariableIsEmpty("VELOSTOK_PG_TEST"); }

    // Takes out what came after the history (the fitment index, the server's commit notices), as
    // in an inventory of the layout before them.
    static QString dropLaterAdditionsSql(bool server)
    {
        return server ? QStringLiteral("DROP TRIGGER fitment_insert ON main; DROP TRIGGER fitment_update ON main; "
                                       "DROP TRIGGER fitment_delete ON main; DROP TRIGGER fitment_truncate ON main; "
                                       "DROP FUNCTION velostok_fitment(); DROP FUNCTION velostok_fitment_all(); "
                                       "DROP TRIGGER main_notify ON main; DROP TRIGGER models_notify ON models; "
                                       "DROP TRIGGER users_notify ON users; DROP FUNCTION velostok_notify(); "
                                       "DROP TABLE fitment, fitment_dirty, fitment_state; ")
                      : QStringLiteral("DROP TRIGGER fitment_insert; DROP TRIGGER fitment_update; DROP TRIGGER fitment_delete; "
                                       "DROP TABLE fitment; DROP TABLE fitment_dirty; DROP TABLE fitment_state; ");
    }

    std::unique_ptr<TDaoDatabase> connect() const
    {
        auto db = std::make_unique<TDaoDatabase>();
        db->setDatabase(path);
        db->SmartOpen = false;
        db->Open();
        return db;
    }

    static std::unique_ptr<TDaoTable> table(TDaoDatabase *db, const QString &name)
    {
        auto t = std::make_unique<TDaoTable>();
        t->setDatabase(db);
        t->setTableName(name);
        return t;
    }
};

// One field's text in every row of a dataset, in its order, from the first row.
inline QStringList columnTexts(TDaoTable *t, const QString &field)
{
    QStringList out;
    for (t->First(); !t->Eof(); t->Next())
        out << t->FieldByName(field)->AsString();
    return out;
}
