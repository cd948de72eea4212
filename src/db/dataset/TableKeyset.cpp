// Keysets of tables and their page cache.
#include "dataset/TableKeyset.h"

#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"

#include <algorithm>
#include <mutex>
#include <atomic>
#include <unordered_set>

namespace {
constexpr int PageSize = 64;
constexpr size_t CacheLimit = 8192;
} // namespace

TableKeyset::TableKeyset(DbEngine &engine, QString table, std::vector<QString> columns)
    : mEngine(engine), mColumns(std::move(columns))
{
    static std::atomic<quint64> serials{0};
    mSerial = ++serials;
    const SqlDialect &d = engine.dialect();
    mTable = d.quoteIdentifier(table);
    mKey = d.rowKey();
    QStringList cols;
    for (const QString &c : mColumns)
        cols << d.quoteIdentifier(c);
    mSelectList = cols.join(QStringLiteral(", "));
}

void TableKeyset::load(const SqlFragment &where, const QString &orderBy)
{
    mKeys.clear();
    mRows.clear();
    mWhere = where;
    mOrderBy = orderBy;
    mKeysAscend = orderBy.isEmpty();
    try {
        mKeys = selectKeys();
    } catch (...) {
        mKeys.clear();
        mCount = 0;
        throw;
    }
    mCount = int(mKeys.size());
}

namespace {
// The keys of the last row set that went, kept for the next selection: the pages of a million
// keys are in memory already, where a new vector would have the system fault each one in
// again (a filter applied twice in a row took twice as long for it).
std::mutex gSpareLock;
std::vector<qint64> gSpare;

std::vector<qint64> takeSpareKeys()
{
    const std::lock_guard lock(gSpareLock);
    std::vector<qint64> keys = std::exchange(gSpare, {});
    keys.clear();
    return keys;
}

void keepSpareKeys(std::vector<qint64> &&keys)
{
    if (keys.capacity() < 65536)
        return;
    const std::lock_guard lock(gSpareLock);
    if (keys.capacity() > gSpare.capacity())
        gSpare = std::move(keys);
}
} // namespace

TableKeyset::~TableKeyset()
{
    keepSpareKeys(std::move(mKeys));
}

SqlFragment TableKeyset::keysQuery() const
{
    SqlFragment q;
    q.sql = QStringLiteral("SELECT %1 FROM %2").arg(mKey, mTable);
    if (!mWhere.sql.isEmpty())
        q.sql += QStringLiteral(" WHERE ") + mWhere.sql;
    q.sql += QStringLiteral(" ORDER BY ") + orderTerms();
    q.params = mWhere.params;
    return q;
}

namespace {
void appendKeys(DbEngine &engine, const SqlFragment &query, std::vector<qint64> &keys)
{
    std::unique_ptr<DbStatement> st = engine.prepare(query.sql);
    st->bindAll(query.params);
    while (st->step())
        keys.push_back(st->columnInt64(0));
}
} // namespace

std::vector<qint64> TableKeyset::runKeysQuery(DbEngine &engine, const SqlFragment &query)
{
    std::vector<qint64> keys;
    appendKeys(engine, query, keys);
    return keys;
}

std::vector<qint64> TableKeyset::selectKeys() const
{
    // Into the spare keys, on the window's thread only (the reselection in the background
    // allocates its own).
    std::vector<qint64> keys = takeSpareKeys();
    appendKeys(mEngine, keysQuery(), keys);
    if (keys.size() < keys.capacity() / 4) {
        // A small row set gives the large spare back rather than keep it.
        std::vector<qint64> fitting(keys.begin(), keys.end());
        keepSpareKeys(std::move(keys));
        return fitting;
    }
    return keys;
}

// Fetches the page of rows around a position in one statement.
void TableKeyset::fetchPage(int position) const
{
    if (mRows.size() > CacheLimit) {
        const auto pinned = mRows.find(mPinned);
        Row kept;
        const bool keep = mPinned != 0 && pinned != mRows.end();
        if (keep)
            kept = std::move(pinned->second);
        mRows.clear();
        if (keep)
            mRows.emplace(mPinned, std::move(kept));
    }
    const int n = int(mKeys.size());
    const int start = std::max(0, position - PageSize / 4);
    const int end = std::min(n, start + PageSize);
    // A dense run of ascending keys is read as one range, which spares the engine a temporary
    // table of the keys. The keys are looked at: a current row kept by a reselection may sit
    // out of order in an unsorted row set.
    bool dense = end > start && mKeys[size_t(end - 1)] - mKeys[size_t(start)] < 2 * PageSize;
    for (int i = start + 1; dense && i < end; ++i)
        dense = mKeys[size_t(i)] > mKeys[size_t(i - 1)];
    std::unique_ptr<DbStatement> st;
    if (dense) {
        st = mEngine.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 >= ? AND %1 <= ?").arg(mKey, mSelectList, mTable));
        st->bindInt64(1, mKeys[size_t(start)]);
        st->bindInt64(2, mKeys[size_t(end - 1)]);
    } else {
        QString marks;
        for (int i = start; i < end; ++i)
            marks += i == start ? QStringLiteral("?") : QStringLiteral(",?");
        st = mEngine.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)").arg(mKey, mSelectList, mTable, marks));
        for (int i = start; i < end; ++i)
            st->bindInt64(i - start + 1, mKeys[size_t(i)]);
    }
    while (st->step()) {
        const qint64 key = st->columnInt64(0);
        if (dense && !std::binary_search(mKeys.begin() + start, mKeys.begin() + end, key))
            continue; // within the range, not in the row set
        if (mRows.count(key))
            continue; // values held are not replaced here
        Row r;
        r.values.reserve(mColumns.size());
        for (size_t c = 0; c < mColumns.size(); ++c)
            r.values.push_back(st->column(int(c) + 1));
        mRows.emplace(key, std::move(r));
    }
    // Rows of the page the engine no longer has.
    for (int i = start; i < end; ++i) {
        const qint64 key = mKeys[size_t(i)];
        if (mRows.count(key))
            continue;
        Row r;
        r.values.assign(mColumns.size(), QVariant());
        r.missing = true;
        mRows.emplace(key, std::move(r));
    }
}

// Rows held are given as held; the others are read by key a part at a time into values reused
// from part to part, so a long run neither fills nor churns the page cache.
void TableKeyset::visitRows(int from, int to, const std::vector<int> &columns, const RowVisitor &visit) const
{
    from = std::max(from, 0);
    to = std::min(to, int(mKeys.size()));
    const size_t width = columns.size();
    const SqlDialect &d = mEngine.dialect();
    QString select = mKey;
    for (int c : columns)
        select += QStringLiteral(", ") + d.quoteIdentifier(mColumns[size_t(c)]);
    constexpr int Part = 256;
    std::vector<QVariant> read;                    // the part's rows read, width values each
    std::vector<std::pair<qint64, size_t>> found; // their keys and where their values start
    std::vector<qint64> wanted;
    std::vector<QVariant> picked(width);
    const std::vector<QVariant> none(width);
    for (int start = from; start < to; start += Part) {
        const int end = std::min(to, start + Part);
        wanted.clear();
        for (int i = start; i < end; ++i)
            if (!mRows.count(mKeys[size_t(i)]))
                wanted.push_back(mKeys[size_t(i)]);
        found.clear();
        if (!wanted.empty()) {
            QString marks = QStringLiteral("?");
            for (size_t i = 1; i < wanted.size(); ++i)
                marks += QStringLiteral(",?");
            std::unique_ptr<DbStatement> st = mEngine.prepare(
                QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)").arg(select, mTable, mKey, marks));
            for (size_t i = 0; i < wanted.size(); ++i)
                st->bindInt64(int(i) + 1, wanted[i]);
            std::sort(wanted.begin(), wanted.end()); // looked up below
            if (read.size() < wanted.size() * width)
                read.resize(wanted.size() * width);
            while (st->step()) {
                const size_t at = found.size() * width;
                for (size_t c = 0; c < width; ++c)
                    read[at + c] = st->column(int(c) + 1);
                found.emplace_back(st->columnInt64(0), at);
            }
            std::sort(found.begin(), found.end());
        }
        for (int i = start; i < end; ++i) {
            const qint64 key = mKeys[size_t(i)];
            const auto slot = std::lower_bound(found.begin(), found.end(), std::make_pair(key, size_t(0)));
            const bool wasRead = slot != found.end() && slot->first == key;
            const Row *held = nullptr;
            if (auto h = mRows.find(key); h != mRows.end())
                held = &h->second;
            else if (!wasRead && !std::binary_search(wanted.begin(), wanted.end(), key))
                held = rowAt(i); // held when the part was planned, dropped by a visit since
            if (held) {
                for (size_t c = 0; c < width; ++c)
                    picked[c] = held->values[size_t(columns[c])];
                visit(i, picked.data());
                continue;
            }
            // A row gone from the database since the keys were selected reads as empty.
            visit(i, wasRead ? read.data() + slot->second : none.data());
        }
    }
}

const TableKeyset::Row *TableKeyset::rowAt(int position) const
{
    if (position < 0 || position >= int(mKeys.size()))
        return nullptr;
    const qint64 key = mKeys[size_t(position)];
    auto it = mRows.find(key);
    if (it == mRows.end()) {
        fetchPage(position);
        it = mRows.find(key);
    }
    return &it->second;
}

const QVariant &TableKeyset::value(int position, int column) const
{
    const Row *r = rowAt(position);
    return r ? r->values[size_t(column)] : null();
}

std::vector<QVariant> TableKeyset::values(int position) const
{
    const Row *r = rowAt(position);
    return r ? r->values : std::vector<QVariant>(mColumns.size());
}

bool TableKeyset::missing(int position) const
{
    const Row *r = rowAt(position);
    return r && r->missing;
}

int TableKeyset::positionOf(qint64 key, int hint) const
{
    const int n = int(mKeys.size());
    if (hint >= 0 && hint < n && mKeys[size_t(hint)] == key)
        return hint;
    // Rows before it were deleted: it moved up.
    for (int i = std::min(hint, n - 1); i >= 0; --i)
        if (mKeys[size_t(i)] == key)
            return i;
    for (int i = std::max(hint + 1, 0); i < n; ++i)
        if (mKeys[size_t(i)] == key)
            return i;
    return -1;
}

// The engine finds the matching rows; the first of them in keyset order is the answer.
int TableKeyset::find(const KeyCondition &condition) const
{
    const SqlDialect &d = mEngine.dialect();
    const QString col = d.quoteIdentifier(mColumns[size_t(condition.column)]);
    std::unique_ptr<DbStatement> st = mEngine.prepare(
        condition.text ? QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(mKey, mTable, d.patternMatch(QStringLiteral("?"), col))
                       : QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(mKey, mTable, col));
    if (condition.text)
        st->bind(1, condition.pattern);
    else
        st->bind(1, condition.number);
    std::vector<qint64> keys;
    while (st->step())
        keys.push_back(st->columnInt64(0));
    if (keys.empty())
        return -1;
    if (mKeysAscend) {
        // The smallest matching key that is a member is the first row.
        std::sort(keys.begin(), keys.end());
        for (qint64 k : keys) {
            const auto it = std::lower_bound(mKeys.begin(), mKeys.end(), k);
            if (it != mKeys.end() && *it == k)
                return int(it - mKeys.begin());
        }
        return -1;
    }
    const std::unordered_set<qint64> matches(keys.begin(), keys.end());
    for (size_t i = 0; i < mKeys.size(); ++i)
        if (matches.count(mKeys[i]))
            return int(i);
    return -1;
}

void TableKeyset::appended(qint64 key, std::vector<QVariant> values)
{
    ++mLocalChanges;
    if (!mKeys.empty() && key < mKeys.back())
        mKeysAscend = false;
    mKeys.push_back(key);
    mCount = int(mKeys.size());
    if (!values.empty())
        mRows[key] = Row{std::move(values), false};
}

void TableKeyset::updated(int position, std::vector<QVariant> values)
{
    mRows[mKeys[size_t(position)]] = Row{std::move(values), false};
}

void TableKeyset::removed(int position)
{
    ++mLocalChanges;
    mRows.erase(mKeys[size_t(position)]);
    mKeys.erase(mKeys.begin() + position);
    mCount = int(mKeys.size());
}

// ---- following other connections' changes

namespace {
constexpr size_t ReadPart = 400;
// New rows of a sorted row set placed one by one (a few statements each); beyond this many the
// keys are selected anew.
constexpr size_t PlaceLimit = 32;
constexpr size_t WholeFrom = 20000;
} // namespace

std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> TableKeyset::readRows(const std::vector<qint64> &keys, bool values) const
{
    std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> out;
    const QString passes = mWhere.sql.isEmpty() ? QStringLiteral("1")
                                                : QStringLiteral("CASE WHEN %1 THEN 1 ELSE 0 END").arg(mWhere.sql);
    for (size_t from = 0; from < keys.size(); from += ReadPart) {
        const size_t n = std::min(ReadPart, keys.size() - from);
        QString marks = QStringLiteral("?");
        for (size_t i = 1; i < n; ++i)
            marks += QStringLiteral(",?");
        std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("SELECT %1, %2%3 FROM %4 WHERE %1 IN (%5)")
                                                              .arg(mKey, passes, values ? QStringLiteral(", ") + mSelectList : QString(),
                                                                   mTable, marks));
        st->bindAll(mWhere.params);
        const int first = int(mWhere.params.size()) + 1;
        for (size_t i = 0; i < n; ++i)
            st->bindInt64(first + int(i), keys[from + i]);
        while (st->step()) {
            std::vector<QVariant> row;
            if (values) {
                row.reserve(mColumns.size());
                for (size_t c = 0; c < mColumns.size(); ++c)
                    row.push_back(st->column(int(c) + 2));
            }
            out.emplace(st->columnInt64(0), std::make_pair(st->columnInt64(1) != 0, std::move(row)));
        }
    }
    return out;
}

int TableKeyset::placeOf(qint64 key) const
{
    if (mKeysAscend)
        return int(std::lower_bound(mKeys.begin(), mKeys.end(), key) - mKeys.begin());
    // The engine compares, so that its collation and its order of nulls hold.
    std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %1 IN (?, ?) ORDER BY %3 LIMIT 1").arg(mKey, mTable, orderTerms()));
    int lo = 0;
    int hi = int(mKeys.size());
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        st->reset();
        st->bindInt64(1, key);
        st->bindInt64(2, mKeys[size_t(mid)]);
        const bool before = st->step() && st->columnInt64(0) == key;
        if (before)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

TableKeyset::Followed TableKeyset::follow(const std::vector<qint64> &changed, bool whole, qint64 keep, qint64 frozen,
                                          bool *heldBack)
{
    if (whole || changed.size() > WholeFrom) {
        std::vector<qint64> held;
        held.reserve(mRows.size());
        for (const auto &r : mRows)
            held.push_back(r.first);
        const auto read = readRows(held);
        // So many rows (another counter's renumbering) that selecting the keys again costs less
        // than reading each: the rows held are read now, the keys elsewhere.
        if (!whole) {
            Followed out;
            refreshHeld(read, keep, frozen, heldBack, out);
            out.reselectWanted = true;
            return out;
        }
        return reselect(read, keep, frozen, heldBack);
    }
    std::vector<qint64> keys = changed;
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    Followed out;
    if (keys.empty())
        return out;
    std::unordered_map<qint64, int> at; // members among them, by old position
    for (size_t i = 0; i < mKeys.size(); ++i)
        if (std::binary_search(keys.begin(), keys.end(), mKeys[i]))
            at.emplace(mKeys[i], int(i));
    // Values only of the rows held (in view); of the others only whether they are there and pass.
    std::vector<qint64> inView;
    std::vector<qint64> rest;
    for (const qint64 k : keys)
        (at.count(k) && mRows.count(k) ? inView : rest).push_back(k);
    auto read = readRows(inView);
    read.merge(readRows(rest, false));
    std::vector<int> removed;
    std::vector<qint64> news;
    for (const qint64 k : keys) {
        const auto r = read.find(k);
        const auto a = at.find(k);
        if (a == at.end()) {
            if (r != read.end() && r->second.first)
                news.push_back(k);
            continue;
        }
        if (r == read.end()) {
            if (k == frozen) {
                if (heldBack)
                    *heldBack = true;
            } else if (k == keep) {
                mRows[k] = Row{std::vector<QVariant>(mColumns.size()), true};
                out.changed.push_back(k);
            } else {
                removed.push_back(a->second);
            }
            continue;
        }
        const auto held = mRows.find(k);
        if (held != mRows.end() && (held->second.missing || held->second.values != r->second.second) && k == frozen) {
            if (heldBack)
                *heldBack = true;
        } else if (held != mRows.end() && (held->second.missing || held->second.values != r->second.second)) {
            held->second = Row{r->second.second, false};
            out.changed.push_back(k);
        }
    }
    for (const qint64 k : news) {
        mRows.erase(k); // values held from before it left the row set are old
        out.changed.push_back(k); // their values are read when shown
    }
    out.inserted = int(news.size());
    out.removed = int(removed.size());
    if (news.size() > PlaceLimit && !mKeysAscend) {
        out.reselectWanted = true;
        return out;
    }
    if (news.empty() && removed.empty())
        return out;
    if (!mKeysAscend && news.size() > 1) {
        // Among themselves in the row set's order, so that equal places keep it.
        QString marks = QStringLiteral("?");
        for (size_t i = 1; i < news.size(); ++i)
            marks += QStringLiteral(",?");
        std::unique_ptr<DbStatement> st = mEngine.prepare(
            QStringLiteral("SELECT %1 FROM %2 WHERE %1 IN (%3) ORDER BY %4").arg(mKey, mTable, marks, orderTerms()));
        for (size_t i = 0; i < news.size(); ++i)
            st->bindInt64(int(i) + 1, news[i]);
        std::vector<qint64> ordered;
        while (st->step())
            ordered.push_back(st->columnInt64(0));
        if (ordered.size() == news.size())
            news = std::move(ordered);
    }
    std::vector<std::pair<int, qint64>> placed;
    placed.reserve(news.size());
    for (const qint64 k : news)
        placed.emplace_back(placeOf(k), k);
    std::stable_sort(placed.begin(), placed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::sort(removed.begin(), removed.end());

    std::vector<qint64> keysNow;
    keysNow.reserve(mKeys.size() - removed.size() + placed.size());
    std::vector<int> insertedAt;
    size_t pi = 0;
    size_t ri = 0;
    for (size_t i = 0; i <= mKeys.size(); ++i) {
        while (pi < placed.size() && size_t(placed[pi].first) == i) {
            insertedAt.push_back(int(keysNow.size()));
            keysNow.push_back(placed[pi++].second);
        }
        if (i == mKeys.size())
            break;
        if (ri < removed.size() && size_t(removed[ri]) == i) {
            mRows.erase(mKeys[i]);
            ++ri;
            continue;
        }
        keysNow.push_back(mKeys[i]);
    }
    mKeys.swap(keysNow);
    mCount = int(mKeys.size());
    out.moves = RowMoves::shifted(std::move(removed), std::move(insertedAt));
    return out;
}

void TableKeyset::refreshHeld(const std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> &read, qint64 keep,
                              qint64 frozen, bool *heldBack, Followed &out)
{
    for (auto it = mRows.begin(); it != mRows.end();) {
        const auto r = read.find(it->first);
        if (it->first == frozen) {
            if (heldBack && (r == read.end() || it->second.values != r->second.second))
                *heldBack = true;
            ++it;
            continue;
        }
        if (r == read.end() && it->first != keep) {
            it = mRows.erase(it);
            continue;
        }
        if (r == read.end()) {
            it->second = Row{std::vector<QVariant>(mColumns.size()), true};
        } else if (it->second.missing || it->second.values != r->second.second) {
            it->second = Row{r->second.second, false};
            out.changed.push_back(it->first);
        }
        ++it;
    }
}

TableKeyset::Followed TableKeyset::reselect(const std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> &read,
                                            qint64 keep, qint64 frozen, bool *heldBack)
{
    Followed out = adopt(selectKeys(), keep);
    refreshHeld(read, keep, frozen, heldBack, out);
    const std::unordered_set<qint64> before(out.moves.oldKeys().begin(), out.moves.oldKeys().end());
    size_t stayed = 0;
    for (const qint64 k : mKeys) {
        if (before.count(k)) {
            ++stayed;
        } else {
            out.changed.push_back(k);
            ++out.inserted;
        }
    }
    out.removed = int(before.size() - stayed);
    return out;
}

TableKeyset::Followed TableKeyset::adopt(std::vector<qint64> keys, qint64 keep)
{
    auto fresh = std::make_shared<std::vector<qint64>>(std::move(keys));
    // The current row stays where it was, also when it no longer passes or is gone.
    if (keep != 0 && std::find(fresh->begin(), fresh->end(), keep) == fresh->end()) {
        const auto was = std::find(mKeys.begin(), mKeys.end(), keep);
        if (was != mKeys.end()) {
            const size_t at = std::min(size_t(was - mKeys.begin()), fresh->size());
            fresh->insert(fresh->begin() + std::ptrdiff_t(at), keep);
        }
    }
    // Values held of rows that left are dropped: should they come back, they are read anew.
    if (!mRows.empty()) {
        std::unordered_map<qint64, bool> held;
        for (const auto &r : mRows)
            held.emplace(r.first, false);
        for (const qint64 k : *fresh)
            if (const auto it = held.find(k); it != held.end())
                it->second = true;
        for (const auto &[k, stays] : held)
            if (!stays && k != mPinned)
                mRows.erase(k);
    }
    Followed out;
    out.moves = RowMoves::byKey(std::move(mKeys), fresh);
    mKeys = *fresh;
    mCount = int(mKeys.size());
    // The keys come in the row set's order again.
    mKeysAscend = mOrderBy.isEmpty();
    return out;
}
