// The former single-column keyset sort, as a benchmark reference.
#include "KeysetSort.h"

#include "sqlite/SqliteStatement.h"
#include "base/TextFold.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <string_view>
#include <unordered_map>

namespace {

// Texts are copied once into large blocks; the views into them stay valid while it lives.
class Arena
{
public:
    std::string_view add(const char *p, size_t n)
    {
        if (n > Block)
            return keep(std::make_unique<char[]>(n), p, n);
        if (!mCurrent || mUsed + n > Block) {
            mBlocks.push_back(std::make_unique<char[]>(Block));
            mCurrent = mBlocks.back().get();
            mUsed = 0;
        }
        char *dst = mCurrent + mUsed;
        std::memcpy(dst, p, n);
        mUsed += n;
        return {dst, n};
    }

private:
    static constexpr size_t Block = 1 << 20;
    std::string_view keep(std::unique_ptr<char[]> b, const char *p, size_t n)
    {
        std::memcpy(b.get(), p, n);
        std::string_view v(b.get(), n);
        mBlocks.push_back(std::move(b));
        return v;
    }
    std::vector<std::unique_ptr<char[]>> mBlocks;
    char *mCurrent = nullptr;
    size_t mUsed = 0;
};

struct Number
{
    double value;
    qint64 id;
};

} // namespace

std::vector<qint64> sortKeysetByColumn(SqliteStatement &st, bool foldCase, bool descending)
{
    std::vector<qint64> nulls;
    std::vector<Number> numbers;
    // Texts and blobs: the row's id and the index of its distinct value.
    std::vector<std::pair<qint64, quint32>> texts, blobs;
    std::vector<std::string_view> textValues, blobValues;
    std::unordered_map<std::string_view, quint32> textIndex, blobIndex;
    Arena arena;

    auto intern = [&](sqlite3_stmt *s, std::vector<std::string_view> &values,
                      std::unordered_map<std::string_view, quint32> &index, bool blob) -> quint32 {
        const char *p = blob ? static_cast<const char *>(sqlite3_column_blob(s, 1))
                             : reinterpret_cast<const char *>(sqlite3_column_text(s, 1));
        const size_t n = size_t(sqlite3_column_bytes(s, 1));
        const std::string_view probe(p ? p : "", n);
        auto it = index.find(probe);
        if (it != index.end())
            return it->second;
        const std::string_view kept = arena.add(probe.data(), n);
        const auto i = quint32(values.size());
        values.push_back(kept);
        index.emplace(kept, i);
        return i;
    };

    sqlite3_stmt *s = st.handle();
    while (st.step()) {
        const qint64 id = sqlite3_column_int64(s, 0);
        switch (sqlite3_column_type(s, 1)) {
        case SQLITE_NULL:
            nulls.push_back(id);
            break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            numbers.push_back({sqlite3_column_double(s, 1), id});
            break;
        case SQLITE_TEXT:
            texts.emplace_back(id, intern(s, textValues, textIndex, false));
            break;
        default:
            blobs.emplace_back(id, intern(s, blobValues, blobIndex, true));
            break;
        }
    }

    std::stable_sort(numbers.begin(), numbers.end(), [descending](const Number &a, const Number &b) {
        return descending ? a.value > b.value : a.value < b.value;
    });

    // Ranks of the distinct values; values equal under the collation share one rank.
    auto rank = [descending](const std::vector<std::string_view> &values, bool fold) {
        std::vector<quint32> order(values.size());
        for (quint32 i = 0; i < order.size(); ++i)
            order[i] = i;
        auto cmp = [&](std::string_view a, std::string_view b) {
            if (fold)
                return textfold::compareNoCase(a.data(), qsizetype(a.size()), b.data(), qsizetype(b.size()));
            const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
            return c != 0 ? c : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
        };
        std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
            const int c = cmp(values[a], values[b]);
            return descending ? c > 0 : c < 0;
        });
        std::vector<quint32> ranks(values.size());
        quint32 r = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && cmp(values[order[i - 1]], values[order[i]]) != 0)
                ++r;
            ranks[order[i]] = r;
        }
        return std::make_pair(ranks, r + 1);
    };

    // Counting sort by rank keeps the rows of one rank in the scan's ascending id order.
    auto place = [&](const std::vector<std::pair<qint64, quint32>> &rows, const std::vector<std::string_view> &values,
                     bool fold, std::vector<qint64> &out) {
        if (rows.empty())
            return;
        const auto [ranks, count] = rank(values, fold);
        std::vector<size_t> start(size_t(count) + 1, 0);
        for (const auto &row : rows)
            ++start[ranks[row.second] + 1];
        for (size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        const size_t base = out.size();
        out.resize(base + rows.size());
        for (const auto &row : rows)
            out[base + start[ranks[row.second]]++] = row.first;
    };

    std::vector<qint64> out;
    out.reserve(nulls.size() + numbers.size() + texts.size() + blobs.size());
    auto putNulls = [&] { out.insert(out.end(), nulls.begin(), nulls.end()); };
    auto putNumbers = [&] {
        for (const Number &n : numbers)
            out.push_back(n.id);
    };
    if (!descending) {
        putNulls();
        putNumbers();
        place(texts, textValues, foldCase, out);
        place(blobs, blobValues, false, out);
    } else {
        place(blobs, blobValues, false, out);
        place(texts, textValues, foldCase, out);
        putNumbers();
        putNulls();
    }
    return out;
}
