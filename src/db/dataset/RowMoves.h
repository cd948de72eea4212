// Where the rows of a row set went when it followed other connections' changes: positions before
// to positions after. Rows were taken out and put in (their order otherwise kept), or, after the
// keys were selected anew, each row is found again by its key.
#pragma once

#include <QtGlobal>
#include <memory>
#include <vector>

class RowMoves
{
public:
    RowMoves() = default;
    // Taken out: old positions; put in: new positions; both ascending.
    static RowMoves shifted(std::vector<int> removed, std::vector<int> inserted);
    // Every row found by its key in the new keys.
    static RowMoves byKey(std::vector<qint64> oldKeys, std::shared_ptr<const std::vector<qint64>> newKeys);

    bool none() const { return !mByKey && mRemoved.empty() && mInserted.empty(); }
    // The new position of an old one; -1 when its row left.
    int map(int position) const;
    // The same for many at once (cheaper than one by one after a whole reselection).
    void map(std::vector<int> &positions) const;
    // The nearest row after an old position that stayed, at its new position (-1: none).
    int following(int position, int oldCount) const;
    // After a whole reselection: the keys before it.
    const std::vector<qint64> &oldKeys() const { return mOldKeys; }

private:
    int shift(int position) const;

    bool mByKey = false;
    std::vector<int> mRemoved;
    std::vector<int> mInserted;
    std::vector<qint64> mOldKeys;
    std::shared_ptr<const std::vector<qint64>> mNewKeys;
};
