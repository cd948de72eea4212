// Query rows read on first use.
#include "dataset/QueryRows.h"

#include "base/DaoError.h"

QueryRows::QueryRows(DbEngine &engine, ResultCache &cache, SqlFragment sql, int columns,
                     QList<QPair<QString, QString>> reads, std::optional<SourceInfo> source)
    : mEngine(engine), mCache(cache), mSql(std::move(sql)), mColumns(columns), mSource(std::move(source)),
      mReads(std::move(reads))
{
    if (mSource)
        mTicket = mCache.reserve(*mSource);
}

void QueryRows::read()
{
    if (mState == Ready)
        return;
    if (mState == Failed)
        throw DaoError(mError);
    try {
        if (mTicket) {
            mShared = mCache.rowsOf(mTicket);
            mTicket.reset();
            mCount = int(mShared->size());
        } else if (mSource && (mShared = mCache.rowsOf(*mSource))) {
            mCount = int(mShared->size());
        } else {
            std::unique_ptr<DbStatement> st = mEngine.prepare(mSql.sql);
            st->bindAll(mSql.params);
            const int n = st->columnCount();
            while (st->step())
                for (int i = 0; i < n; ++i)
                    mValues.push_back(st->column(i));
            mCount = n > 0 ? int(mValues.size()) / n : 0;
        }
    } catch (const DaoError &e) {
        mValues.clear();
        mShared.reset();
        mTicket.reset();
        mCount = 0;
        mState = Failed;
        mError = e.message();
        throw;
    }
    mState = Ready;
}

const QVariant &QueryRows::value(int position, int column) const
{
    if (position < 0 || position >= mCount || column < 0 || column >= mColumns)
        return null();
    if (mShared) {
        if (column != 0 || mShared->isNull(position))
            return null();
        mSlot = mShared->at(position);
        return mSlot;
    }
    return mValues[size_t(position) * size_t(mColumns) + size_t(column)];
}

std::vector<QVariant> QueryRows::values(int position) const
{
    std::vector<QVariant> out;
    out.reserve(size_t(mColumns));
    for (int c = 0; c < mColumns; ++c)
        out.push_back(value(position, c));
    return out;
}

int QueryRows::find(const KeyCondition &condition) const
{
    for (int i = 0; i < mCount; ++i)
        if (condition.matches(value(i, condition.column)))
            return i;
    return -1;
}

bool QueryRows::reads(const QString &table, const QStringList &columns) const
{
    // Rows reserved with the cache are fixed already.
    if (mState != Pending || mTicket)
        return false;
    if (table.isEmpty() || mReads.isEmpty())
        return true; // a statement of unknown effect, or the engine could not tell
    for (const auto &[t, c] : mReads) {
        if (t.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        if (c.isEmpty() || columns.isEmpty())
            return true;
        for (const QString &w : columns)
            if (w.compare(c, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}
