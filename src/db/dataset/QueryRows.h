// The rows of a query (a stored query or an SQL statement), read whole, but only when first
// asked: opening costs nothing until then. The connection makes a pending query read before it
// writes anything the query reads, so the rows are those of the moment of opening as far as this
// connection's own writes go. An unfiltered, unsorted stored query is asked of the connection's
// result cache first, which fixes its rows at the opening (also against other connections).
#pragma once

#include "engine/DbEngine.h"
#include "dataset/ResultCache.h"
#include "dataset/RowSource.h"
#include "engine/SqlFragment.h"

#include <QStringList>
#include <optional>

class QueryRows : public RowSource
{
public:
    // sql with its parameters has columns result columns and reads what reads names (see
    // DbEngine::readsOf). source: the stored query itself when the rows are exactly its rows (no
    // filter, no sort), so that the cache may answer.
    QueryRows(DbEngine &engine, ResultCache &cache, SqlFragment sql, int columns,
              QList<QPair<QString, QString>> reads, std::optional<SourceInfo> source);

    bool pending() const override { return mState != Ready; }
    void read() override;

    const QVariant &value(int position, int column) const override;
    std::vector<QVariant> values(int position) const override;
    int find(const KeyCondition &condition) const override;

    // Whether a write to these columns of the table (none named: any column; no table: anything)
    // would change what the query reads.
    bool reads(const QString &table, const QStringList &columns) const;
    // The rows as the cache gave them (one column of texts), shared; null otherwise.
    TextListPtr texts() const { return mShared; }

private:
    enum State { Pending, Ready, Failed };

    DbEngine &mEngine;
    ResultCache &mCache;
    SqlFragment mSql;
    int mColumns;
    std::optional<SourceInfo> mSource;
    QList<QPair<QString, QString>> mReads; // empty column: the whole table
    State mState = Pending;
    QString mError;
    std::vector<QVariant> mValues; // row after row
    ResultCache::Rows mShared;     // the cache's answer, one column of texts
    mutable QVariant mSlot;         // the value last given from it
    ResultCache::TicketPtr mTicket; // the cache's answer reserved at the opening
};
