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
};
