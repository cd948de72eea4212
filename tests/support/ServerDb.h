// A fresh database of its own on the PostgreSQL server the tests are given (VELOSTOK_PG_TEST:
// the connection string of a user who may create databases).
#pragma once

#include "base/DaoError.h"
#include "postgresql/PgConnection.h"
#include "postgresql/PgEngine.h"
#include "dataset/TDaoDatabase.h"

#include <QRandomGenerator>
#include <QString>
#include <memory>

// A fresh database on the server (an empty inventory unless told otherwise), dropped afterwards
// with whatever is still connected to it.
struct ServerDb
{
    QString admin = qEnvironmentVariable("VELOSTOK_PG_TEST");
    QString name = QStringLiteral("velostok_t%1").arg(QRandomGenerator::global()->generate64());
    QString conninfo;

    explicit ServerDb(bool inventory = true)
    {
        PgConnection c;
        c.open(admin);
        c.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
        conninfo = admin + QStringLiteral(" dbname=") + name; // the later keyword wins
        if (inventory)
            PgEngine().createDatabase(conninfo);
    }
    ~ServerDb()
    {
        try {
            PgConnection c;
            c.open(admin);
            c.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
        } catch (const DaoError &e) {
            qWarning("%s", e.what());
        }
    }
    ServerDb(const ServerDb &) = delete;
    ServerDb &operator=(const ServerDb &) = delete;

    // A raw connection of another program, reading dates as the engine writes them.
    std::unique_ptr<PgConnection> raw() const
    {
        auto c = std::make_unique<PgConnection>();
        c->open(conninfo);
        c->exec(QStringLiteral("SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'"));
        return c;
    }
    // Rows written with their own ids (as the tests write them) leave the id sequences behind:
    // they are moved past the largest id, as the file's AUTOINCREMENT moves on by itself.
    void exec(const QString &sql) const
    {
        const auto c = raw();
        c->exec(sql);
        c->exec(QStringLiteral("SELECT setval(pg_get_serial_sequence(t, 'id'), m + 1, false) FROM "
                               "(SELECT 'main' AS t, (SELECT coalesce(max(id), 0) FROM main) AS m UNION ALL "
                               "SELECT 'models', (SELECT coalesce(max(id), 0) FROM models) UNION ALL "
                               "SELECT 'users', (SELECT coalesce(max(id), 0) FROM users)) AS ids"));
    }
    std::unique_ptr<TDaoDatabase> connect() const
    {
        auto db = std::make_unique<TDaoDatabase>();
        db->setDatabase(conninfo);
        db->SmartOpen = false;
        db->Open();
        return db;
    }

    // The first value of a statement's first row as text; empty for none or null.
    QString text(const QString &sql) const
    {
        const PgResult r = raw()->query(sql);
        return r.rows() > 0 && !r.isNull(0, 0) ? r.string(0, 0) : QString();
    }
    // Hands the database to a role that is no superuser and must give its password (the throwaway
    // server trusts every other role), as a shop sets its server up; its connection string.
    static constexpr const char *PasswordRole = "velostok_password";
    static constexpr const char *Password = "hemlig";
    QString ownedByPasswordRole() const
    {
        PgConnection c;
        c.open(admin);
        try {
            c.exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(QLatin1String(PasswordRole)));
        } catch (const DaoError &) {
            // made by an earlier test (roles belong to the whole server)
        }
        c.exec(QStringLiteral("ALTER ROLE %1 NOSUPERUSER LOGIN PASSWORD '%2'").arg(QLatin1String(PasswordRole), QLatin1String(Password)));
        c.exec(QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(name, QLatin1String(PasswordRole)));
        return conninfo + QStringLiteral(" user=%1 password=%2").arg(QLatin1String(PasswordRole), QLatin1String(Password));
    }

    // Ends every session on the database but the asking one, as a server restart or a dropped
    // network ends them.
    void dropSessions() const
    {
        PgConnection c;
        c.open(admin);
        c.query(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = ? AND pid <> pg_backend_pid()"),
                {name});
    }
};
