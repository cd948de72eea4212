// Statements on a connection of the test's own, as another program would run them, against the
// inventory a fixture made: a file, or a database on the test server.
#pragma once

#include "ServerDb.h"
#include "postgresql/PgStatement.h"
#include "sqlite/SqliteConnection.h"
#include "sqlite/SqliteEngine.h"
#include "sqlite/SqliteStatement.h"

#include <QStringList>
#include <QVariant>

struct RawDb
{
    QString rawFile;                     // the file, when the inventory is one
    const ServerDb *rawServer = nullptr; // else its server database

    void exec(const QString &sql) const
    {
        if (rawServer) {
            rawServer->exec(sql);
            return;
        }
        SqliteConnection c;
        c.open(rawFile);
        c.exec(sql);
    }

    // The first value of the first row (null when there is none), typed as SQLite gives it:
    // booleans as the integers 0 and 1, integers as qint64, reals as double, the rest as text.
    QVariant scalar(const QString &sql) const
    {
        if (rawServer) {
            const auto c = rawServer->raw();
            PgStatement st(*c, sql);
            return st.step() ? st.column(0) : QVariant();
        }
        SqliteConnection c;
        c.open(rawFile);
        return c.scalar(sql);
    }

    // The first column of every row, as scalar() types it, read with the engine's own functions
    // (the stored queries call them).
    QVariantList column(const QString &sql) const
    {
        QVariantList out;
        if (rawServer) {
            const auto c = rawServer->raw();
            PgStatement st(*c, sql);
            while (st.step())
                out << st.column(0);
            return out;
        }
        SqliteConnection c;
        c.open(rawFile);
        SqliteEngine::prepareConnection(c);
        SqliteStatement st = c.prepare(sql);
        while (st.step())
            out << st.column(0);
        return out;
    }

    // That column as text, joined by sep (SQLite has no string_agg).
    QString joined(const QString &sql, const QString &sep = QStringLiteral(",")) const
    {
        QStringList out;
        for (const QVariant &v : column(sql))
            out << v.toString();
        return out.join(sep);
    }

    // A test-only trigger that refuses, with message, a row change on main (event "UPDATE OF
    // user_id", "DELETE" …) when the condition on NEW or OLD holds; dropped by allow(name).
    void refuse(const QString &name, const QString &event, const QString &condition, const QString &message) const
    {
        if (!rawServer) {
            exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON main WHEN %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                     .arg(name, event, condition, message));
            return;
        }
        const QString row = event.startsWith(QLatin1String("DELETE")) ? QStringLiteral("OLD") : QStringLiteral("NEW");
        exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF %3 THEN RAISE EXCEPTION '%4'; "
                            "END IF; RETURN %5; END $$; CREATE TRIGGER %1 BEFORE %2 ON main FOR EACH ROW EXECUTE FUNCTION %1()")
                 .arg(name, event, condition, message, row));
    }
    void allow(const QString &name) const
    {
        exec(rawServer ? QStringLiteral("DROP TRIGGER %1 ON main; DROP FUNCTION %1()").arg(name)
                    : QStringLiteral("DROP TRIGGER %1").arg(name));
    }

};
