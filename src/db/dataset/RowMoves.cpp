// Position maps of followed row sets.
#include "dataset/RowMoves.h"

#include <algorithm>
#include <unordered_map>

RowMoves RowMoves::shifted(std::vector<int> removed, std::vector<int> inserted)
{
    RowMoves m;
    m.mRemoved = std::move(removed);
    m.mInserted = std::move(inserted);
    return m;
}

RowMoves RowMoves::byKey(std::vector<qint64> oldKeys, std::shared_ptr<const std::vector<qint64>> newKeys)
{
    RowMoves m;
    m.mByKey = true;
    m.mOldKeys = std::move(oldKeys);
    m.mNewKeys = std::move(newKeys);
    return m;
}

int RowMoves::shift(int position) const
{
    if (std::binary_search(mRemoved.begin(), mRemoved.end(), position))
        return -1;
    int p = position - int(std::lower_bound(mRemoved.begin(), mRemoved.end(), position) - mRemoved.begin());
    // Each row put in at or before the place reached pushes the row one further.
    for (const int at : mInserted) {
        if (at > p)
            break;
        ++p;
    }
    return p;
}

int RowMoves::map(int position) const
{
    std::vector<int> one{position};
    map(one);
    return one.front();
}

void RowMoves::map(std::vector<int> &positions) const
{
    if (!mByKey) {
        for (int &p : positions)
            p = p < 0 ? -1 : shift(p);
        return;
    }
    // One pass over the new keys finds every key asked for.
    std::unordered_map<qint64, int> wanted;
    for (const int p : positions)
        if (p >= 0 && size_t(p) < mOldKeys.size())
            wanted.emplace(mOldKeys[size_t(p)], -1);
    size_t left = wanted.size();
    for (size_t i = 0; i < mNewKeys->size() && left > 0; ++i) {
        const auto it = wanted.find((*mNewKeys)[i]);
        if (it != wanted.end() && it->second < 0) {
            it->second = int(i);
            --left;
        }
    }
    for (int &p : positions)
        p = p >= 0 && size_t(p) < mOldKeys.size() ? wanted[mOldKeys[size_t(p)]] : -1;
}

int RowMoves::following(int position, int oldCount) const
{
    for (int p = std::max(position, 0); p < oldCount; ++p) {
        const int now = map(p);
        if (now >= 0)
            return now;
        if (mByKey && p - position > 64)
            break; // a whole reselection: not worth a long walk
    }
    return -1;
}
