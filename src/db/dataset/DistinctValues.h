// The distinct values of one column, letter case folded as the stored pick-list queries fold it,
// kept up to date from this connection's own writes: the pick-list queries are re-queried after
// every post, and running them again would sort the whole column each time.
//
// Built by one grouped scan of the column (its index); each later write of this connection
// changes the counts. A change by another connection (seen through the data version) or a
// statement whose effect is unknown makes it stale, and the next use builds it again.
#pragma once

#include "base/TextList.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <string>
#include <vector>

class DbEngine;

class DistinctValues
{
public:
    DistinctValues(QString table, QString column) : mTable(std::move(table)), mColumn(std::move(column)) {}

    const QString &table() const { return mTable; }
    const QString &column() const { return mColumn; }

    bool valid() const
    {
        flush();
        return mValid;
    }
    void invalidate() { mValid = false; }
    // Both steps in one: the grouped scan of the column (all the engine is asked), then the
    // ordering by folded value (no engine needed, any thread).
    void build(DbEngine &engine);
    void scan(DbEngine &engine);
    void order();
    qint64 builtAtDataVersion() const { return mDataVersion; }
    void setDataVersion(qint64 v) { mDataVersion = v; }

    // One row's stored value left (before) and/or came (after); nullptr for "no row". A null
    // stored value is an invalid or null QVariant.
    void change(const QVariant *before, const QVariant *after);

    // The query's rows in order: a null first when some row has none, then one value per group.
    // Shared and never changed: a reader may keep them while the list moves on.
    TextListPtr rows() const;
    // Changes whenever values() would give something else; unique across all lists.
    quint64 serial() const { return mSerial; }

private:
    struct Entry
    {
        std::string value; // UTF-8
        qint64 count = 0;
    };
    void add(const QVariant &stored, qint64 count);
    // Merges the changes noted since the last merge into the entries: one pass over them for
    // many changes, where inserting each into the ordered entries would move them every time.
    void flush() const;
    static std::string textOf(const QVariant &stored);
    static bool less(QByteArrayView a, QByteArrayView b);

    QString mTable;
    QString mColumn;
    mutable bool mValid = false;
    qint64 mDataVersion = -1;
    qint64 mNulls = 0;
    quint64 mSerial = 0;
    void touch();
    // The values by folded value, then by exact bytes, and how many rows hold each: a million
    // distinct catalogue numbers are kept in one block rather than a string each.
    mutable TextList mValues;
    mutable std::vector<qint64> mCounts;
    mutable std::vector<Entry> mPending; // changes not merged yet, in the order they came
    mutable TextListPtr mRows; // made when first asked after a change
};
