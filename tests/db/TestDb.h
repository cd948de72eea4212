// Shared by the data-layer tests: a fresh inventory file in a temporary folder, and row makers.
#pragma once

#include "SqliteConnection.h"
#include "SqliteSchema.h"
#include "TDaoDatabase.h"
#include "TDaoTable.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct TestDb
{
    QTemporaryDir dir;
    QString path;

    explicit TestDb(const QString &name = QStringLiteral("test.mdb"))
    {
        path = dir.filePath(name);
        sqliteschema::createDatabase(path);
    }

    // Runs statements on a separate raw connection, as another program would.
    void exec(const QString &sql) const
    {
        SqliteConnection c;
        c.open(path);
        c.exec(sql);
    }

    QVariant scalar(const QString &sql) const
    {
        SqliteConnection c;
        c.open(path);
        return c.scalar(sql);
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

// The unit_name of every row of a dataset, in its order, from the first row.
inline QStringList columnTexts(TDaoTable *t, const QString &field)
{
    QStringList out;
    for (t->First(); !t->Eof(); t->Next())
        out << t->FieldByName(field)->AsString();
    return out;
}
