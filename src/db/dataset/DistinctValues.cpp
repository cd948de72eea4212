// Distinct values of a column, maintained incrementally.
#include "dataset/DistinctValues.h"

#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"
#include "base/TextFold.h"

#include <algorithm>
#include <atomic>
#include <cstring>

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
    // Lists are built on reading threads too.
    static std::atomic<quint64> next = 0;
    mSerial = ++next;
    mRows.reset();
}

void DistinctValues::build(DbEngine &engine)
{
    scan(engine);
    order();
}

void DistinctValues::scan(DbEngine &engine)
{
    touch();
    mNulls = 0;
    mEntries.clear();
    mPending.clear();
    const SqlDialect &d = engine.dialect();
    const QString col = d.quoteIdentifier(mColumn);
    std::unique_ptr<DbStatement> st =
        engine.prepareScan(QStringLiteral("SELECT %1, count(*) FROM %2 GROUP BY %1").arg(col, d.quoteIdentifier(mTable)));
    while (st->step()) {
        const qint64 n = st->columnInt64(1);
        if (st->columnIsNull(0)) {
            mNulls += n;
            continue;
        }
        const QByteArrayView text = st->columnText(0);
        mEntries.push_back({std::string(text.data(), size_t(text.size())), n});
    }
}

void DistinctValues::order()
{
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
    mPending.push_back(Entry{textOf(stored), count});
    if (mPending.size() >= 4096)
        flush();
}

void DistinctValues::flush() const
{
    if (mPending.empty())
        return;
    std::vector<Entry> pending;
    pending.swap(mPending);
    // Same values together, each value's changes in the order they came.
    std::stable_sort(pending.begin(), pending.end(), [](const Entry &a, const Entry &b) { return less(a.value, b.value); });
    std::vector<Entry> merged;
    merged.reserve(mEntries.size() + pending.size());
    auto e = mEntries.begin();
    for (size_t i = 0; i < pending.size();) {
        const std::string &v = pending[i].value;
        while (e != mEntries.end() && less(e->value, v))
            merged.push_back(std::move(*e++));
        qint64 count = 0;
        if (e != mEntries.end() && e->value == v)
            count = (e++)->count;
        for (; i < pending.size() && pending[i].value == v; ++i) {
            if (pending[i].count < 0 && count <= 0)
                mValid = false; // a value we never counted: our picture is wrong, read it anew
            count = std::max<qint64>(count + pending[i].count, 0);
        }
        if (count > 0)
            merged.push_back(Entry{v, count});
    }
    while (e != mEntries.end())
        merged.push_back(std::move(*e++));
    mEntries.swap(merged);
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

std::shared_ptr<const std::vector<QVariant>> DistinctValues::rows() const
{
    if (mRows)
        return mRows;
    flush();
    auto out = std::make_shared<std::vector<QVariant>>();
    out->reserve(mEntries.size() + 1);
    if (mNulls > 0)
        out->emplace_back();
    for (size_t i = 0; i < mEntries.size(); ++i) {
        // One value per group of texts that differ only in letter case.
        if (i > 0 && compareFolded(mEntries[i - 1].value, mEntries[i].value) == 0)
            continue;
        out->emplace_back(QString::fromStdString(mEntries[i].value));
    }
    mRows = std::move(out);
    return mRows;
}
