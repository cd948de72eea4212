// The row set of a table opened as a dynaset: the keys of the matching rows, selected once in sort
// order (the row key breaks ties), and their values fetched by key in pages and kept. Rows added
// by others appear only when a new keyset is loaded; a row appended here joins the end.
#pragma once

#include "dataset/RowSource.h"
#include "engine/SqlFragment.h"

#include <unordered_map>

class DbEngine;

class TableKeyset : public RowSource
{
public:
    TableKeyset(DbEngine &engine, QString table, std::vector<QString> columns);

    // Selects the keys of the rows that pass where (empty: all), ordered by orderBy (empty: the
    // key alone). Raises DaoError, and the keyset is then left empty.
    void load(const SqlFragment &where, const QString &orderBy);

    const QVariant &value(int position, int column) const override;
    std::vector<QVariant> values(int position) const override;
    bool missing(int position) const override;
    qint64 keyAt(int position) const override { return mKeys[size_t(position)]; }
    int positionOf(qint64 key, int hint) const override;
    int find(const KeyCondition &condition) const override;
    void dropValues() override { mRows.clear(); }

    // This connection's own writes through the dataset (values empty: read when first asked).
    void appended(qint64 key, std::vector<QVariant> values);
    void updated(int position, std::vector<QVariant> values);
    void removed(int position);

private:
    struct Row
    {
        std::vector<QVariant> values;
        bool missing = false; // no longer in the database
    };
    const Row *rowAt(int position) const;
    void fetchPage(int position) const;

    DbEngine &mEngine;
    QString mTable;   // quoted
    QString mKey;     // the row key column
    std::vector<QString> mColumns;
    QString mSelectList;
    std::vector<qint64> mKeys;
    bool mKeysAscend = true; // in key order (no sort term, nothing appended out of order)
    mutable std::unordered_map<qint64, Row> mRows;
};
