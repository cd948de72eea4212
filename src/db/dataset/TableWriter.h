// Writes the rows of one table for a dataset: insert, update with the optimistic check, delete.
// Each statement commits on its own unless the connection has a write batch open. What was
// written is told to the connection's result cache.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class DbEngine;
class ResultCache;

class TableWriter
{
public:
    // columns: the dataset's columns in field order; generated: those the database fills itself
    // (the counter), never written.
    TableWriter(DbEngine &engine, ResultCache &cache, QString table, std::vector<QString> columns,
                std::vector<bool> generated);

    struct Inserted
    {
        qint64 key = 0;
        std::vector<QVariant> values; // the row as stored, defaults included; empty if it could not be read
    };
    // Writes the changed values and every value that is not null; the other columns keep their
    // defaults.
    Inserted insert(const std::vector<QVariant> &buffer, const std::vector<bool> &changed);
    // Writes the changed values only if every column still holds what was read (original);
    // raises the conflict error when another user changed or deleted the row meanwhile. Gives
    // the row as now stored.
    std::vector<QVariant> update(qint64 key, const std::vector<QVariant> &original,
                                 const std::vector<QVariant> &buffer, const std::vector<bool> &changed);
    // False when the row was no longer there (another connection deleted it).
    bool remove(qint64 key, const std::vector<QVariant> &original);

    // The names of the changed columns.
    QStringList columnsOf(const std::vector<bool> &changed) const;

private:
    DbEngine &mEngine;
    ResultCache &mCache;
    QString mTable;
    QString mQuotedTable;
    std::vector<QString> mColumns;
    std::vector<bool> mGenerated;
    QHash<quint64, QString> mUpdateSql; // by the set of changed fields
};
