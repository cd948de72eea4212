// Distinct values of a column, maintained incrementally.
#include "DistinctValues.h"

#include "SqliteConnection.h"
#include "TextFold.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace {
int compareBytes(const std::string &a, const std::string &b)
{
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return c != 0 ? c : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
}

int compareFolded(const std::string &a, const std::string &b)
{
    return textfold::compareNoCase(a.data(), qsizetype(a.size()), b.data(), qsizetype(b.size()));
}
} // namespace

bool DistinctValues::less(const std::string &a, const std::string &b)
{
    const int c = compareFolded(a, b);
    return c != 0 ? c < 0 : compareBytes(a, b) < 0;
}

std::string DistinctValues::textOf(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::QByteArray)
        return stored.toByteArray().toStdString();
    return stored.toString().toStdString();
}

void DistinctValues::touch()
{
    static quint64 next = 0;
    mSerial = ++next;
}

void DistinctValues::build(SqliteConnection &conn)
{
    touch();
    mNulls = 0;
    mEntries.clear();
    const QString sql = QStringLiteral("SELECT \"%1\", count(*) FROM \"%2\" GROUP BY \"%1\"").arg(mColumn, mTable);
    SqliteStatement st = conn.prepare(sql);
    sqlite3_stmt *s = st.handle();
    while (st.step()) {
        const qint64 n = sqlite3_column_int64(s, 1);
        if (sqlite3_column_type(s, 0) == SQLITE_NULL) {
            mNulls += n;
            continue;
        }
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        mEntries.push_back({std::string(p ? p : "", size_t(sqlite3_column_bytes(s, 0))), n});
    }
    // The scan gives the exact values in byte order; numbers read as text may repeat a text.
    std::sort(mEntries.begin(), mEntries.end(), [](const Entry &a, const Entry &b) { return less(a.value, b.value); });
    std::vector<Entry> merged;
    merged.reserve(mEntries.size());
    for (Entry &e : mEntries) {
        if (!merged.empty() && merged.back().value == e.value)
            merged.back().count += e.count;
        else
            merged.push_back(std::move(e));
    }
    mEntries.swap(merged);
    mValid = true;
}

void DistinctValues::add(const QVariant &stored, qint64 count)
{
    if (!stored.isValid() || stored.isNull()) {
        mNulls += count;
        return;
    }
    const std::string v = textOf(stored);
    auto it = std::lower_bound(mEntries.begin(), mEntries.end(), v,
                               [](const Entry &e, const std::string &x) { return less(e.value, x); });
    if (it != mEntries.end() && it->value == v) {
        it->count += count;
        if (it->count <= 0)
            mEntries.erase(it);
    } else if (count > 0) {
        mEntries.insert(it, Entry{v, count});
    } else {
        mValid = false; // a value we never counted: our picture is wrong, read it anew
    }
}

void DistinctValues::change(const QVariant *before, const QVariant *after)
{
    auto isNull = [](const QVariant *v) { return !v->isValid() || v->isNull(); };
    if (before && after && isNull(before) == isNull(after) && (isNull(before) || textOf(*before) == textOf(*after)))
        return; // the list stays as it is
    touch();
    if (!mValid)
        return;
    if (before)
        add(*before, -1);
    if (after)
        add(*after, 1);
    if (mNulls < 0)
        mValid = false;
}

std::vector<QVariant> DistinctValues::values() const
{
    std::vector<QVariant> out;
    out.reserve(mEntries.size() + 1);
    if (mNulls > 0)
        out.emplace_back();
    for (size_t i = 0; i < mEntries.size(); ++i) {
        // One value per group of texts that differ only in letter case.
        if (i > 0 && compareFolded(mEntries[i - 1].value, mEntries[i].value) == 0)
            continue;
        out.emplace_back(QString::fromStdString(mEntries[i].value));
    }
    return out;
}
