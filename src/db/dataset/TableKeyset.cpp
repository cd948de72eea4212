// Keysets of tables and their page cache.
#include "dataset/TableKeyset.h"

#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"

#include <algorithm>
#include <unordered_set>

namespace {
constexpr int PageSize = 64;
constexpr size_t CacheLimit = 8192;
} // namespace

TableKeyset::TableKeyset(DbEngine &engine, QString table, std::vector<QString> columns)
    : mEngine(engine), mColumns(std::move(columns))
{
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
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(mKey, mTable);
    if (!where.sql.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.sql;
    sql += QStringLiteral(" ORDER BY ");
    if (!orderBy.isEmpty())
        sql += orderBy + QStringLiteral(", ");
    sql += mKey;
    mKeysAscend = orderBy.isEmpty();
    std::unique_ptr<DbStatement> st = mEngine.prepare(sql);
    st->bindAll(where.params);
    try {
        while (st->step())
            mKeys.push_back(st->columnInt64(0));
    } catch (...) {
        mKeys.clear();
        mCount = 0;
        throw;
    }
    mCount = int(mKeys.size());
}

// Fetches the page of rows around a position in one statement.
void TableKeyset::fetchPage(int position) const
{
    if (mRows.size() > CacheLimit)
        mRows.clear();
    const int n = int(mKeys.size());
    const int start = std::max(0, position - PageSize / 4);
    const int end = std::min(n, start + PageSize);
    QString marks;
    for (int i = start; i < end; ++i)
        marks += i == start ? QStringLiteral("?") : QStringLiteral(",?");
    std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)").arg(mKey, mSelectList, mTable, marks));
    for (int i = start; i < end; ++i)
        st->bindInt64(i - start + 1, mKeys[size_t(i)]);
    std::unordered_map<qint64, Row> got;
    while (st->step()) {
        Row r;
        r.values.reserve(mColumns.size());
        for (size_t c = 0; c < mColumns.size(); ++c)
            r.values.push_back(st->column(int(c) + 1));
        got.emplace(st->columnInt64(0), std::move(r));
    }
    for (int i = start; i < end; ++i) {
        const qint64 key = mKeys[size_t(i)];
        if (mRows.count(key))
            continue;
        auto it = got.find(key);
        if (it != got.end()) {
            mRows.emplace(key, std::move(it->second));
        } else {
            Row r;
            r.values.assign(mColumns.size(), QVariant());
            r.missing = true;
            mRows.emplace(key, std::move(r));
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
    mRows.erase(mKeys[size_t(position)]);
    mKeys.erase(mKeys.begin() + position);
    mCount = int(mKeys.size());
}
