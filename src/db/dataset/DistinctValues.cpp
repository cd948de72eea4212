// Distinct values of a column, maintained incrementally.
#include "dataset/DistinctValues.h"

#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"
#include "base/TextFold.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {
int compareBytes(QByteArrayView a, QByteArrayView b)
{
    const int c = a.isEmpty() || b.isEmpty() ? 0 : std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    return c != 0 ? c : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
}

int compareFolded(QByteArrayView a, QByteArrayView b)
{
    return textfold::compareNoCase(a.data(), a.size(), b.data(), b.size());
}

QByteArrayView viewOf(const std::string &s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}
} // namespace

bool DistinctValues::less(QByteArrayView a, QByteArrayView b)
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
    mValid = false; // until order() has made it whole
    mNulls = 0;
    mValues = TextList();
    mCounts.clear();
    mPending.clear();
    const SqlDialect &d = engine.dialect();
    const QString col = d.quoteIdentifier(mColumn);
    TextList::Builder values;
    if (d.countsDistinctByOrder()) {
        // Equal values come together: counted here. Texts equal but of other storage classes
        // (a number in a text column) are merged by the ordering anyway.
        std::unique_ptr<DbStatement> st = engine.prepareScan(
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(col, d.quoteIdentifier(mTable)));
        while (st->step()) {
            if (st->columnIsNull(0)) {
                ++mNulls;
                continue;
            }
            const QByteArrayView text = st->columnText(0);
            if (!mCounts.empty() && values.last() == text) {
                ++mCounts.back();
                continue;
            }
            values.append(text);
            mCounts.push_back(1);
        }
    } else {
        std::unique_ptr<DbStatement> st =
            engine.prepareScan(QStringLiteral("SELECT %1, count(*) FROM %2 GROUP BY %1").arg(col, d.quoteIdentifier(mTable)));
        while (st->step()) {
            const qint64 n = st->columnInt64(1);
            if (st->columnIsNull(0)) {
                mNulls += n;
                continue;
            }
            values.append(st->columnText(0));
            mCounts.push_back(n);
        }
    }
    mValues = values.take();
}

void DistinctValues::order()
{
    // The scan gives the exact values in byte order, which is mostly the folded order already
    // (catalogue numbers in capitals and digits): then one pass does. Numbers read as text may
    // repeat a text.
    const size_t n = mCounts.size();
    bool sorted = true;
    for (size_t i = 1; i < n && sorted; ++i)
        sorted = !less(mValues.utf8(qsizetype(i)), mValues.utf8(qsizetype(i - 1)));
    if (sorted) {
        bool repeats = false;
        for (size_t i = 1; i < n && !repeats; ++i)
            repeats = mValues.utf8(qsizetype(i)) == mValues.utf8(qsizetype(i - 1));
        if (!repeats) {
            mValid = true;
            return;
        }
    }
    std::vector<quint32> order;
    if (!sorted) {
        order.resize(n);
        for (size_t i = 0; i < n; ++i)
            order[i] = quint32(i);
        std::sort(order.begin(), order.end(),
                  [this](quint32 a, quint32 b) { return less(mValues.utf8(qsizetype(a)), mValues.utf8(qsizetype(b))); });
    }
    TextList::Builder values;
    values.reserve(qsizetype(n), mValues.bytes());
    std::vector<qint64> counts;
    counts.reserve(n);
    QByteArrayView last;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = sorted ? k : order[k];
        const QByteArrayView v = mValues.utf8(qsizetype(i));
        if (!counts.empty() && v == last) {
            counts.back() += mCounts[i];
            continue;
        }
        values.append(v);
        counts.push_back(mCounts[i]);
        last = v;
    }
    mValues = values.take();
    mCounts.swap(counts);
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
    std::stable_sort(pending.begin(), pending.end(),
                     [](const Entry &a, const Entry &b) { return less(viewOf(a.value), viewOf(b.value)); });
    TextList::Builder values;
    values.reserve(qsizetype(mCounts.size() + pending.size()), mValues.bytes());
    std::vector<qint64> counts;
    counts.reserve(mCounts.size() + pending.size());
    size_t e = 0;
    const size_t n = mCounts.size();
    for (size_t i = 0; i < pending.size();) {
        const QByteArrayView v = viewOf(pending[i].value);
        for (; e < n && less(mValues.utf8(qsizetype(e)), v); ++e) {
            values.append(mValues.utf8(qsizetype(e)));
            counts.push_back(mCounts[e]);
        }
        qint64 count = 0;
        if (e < n && mValues.utf8(qsizetype(e)) == v)
            count = mCounts[e++];
        for (; i < pending.size() && viewOf(pending[i].value) == v; ++i) {
            if (pending[i].count < 0 && count <= 0)
                mValid = false; // a value we never counted: our picture is wrong, read it anew
            count = std::max<qint64>(count + pending[i].count, 0);
        }
        if (count > 0) {
            values.append(v);
            counts.push_back(count);
        }
    }
    for (; e < n; ++e) {
        values.append(mValues.utf8(qsizetype(e)));
        counts.push_back(mCounts[e]);
    }
    mValues = values.take();
    mCounts.swap(counts);
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

TextListPtr DistinctValues::rows() const
{
    if (mRows)
        return mRows;
    flush();
    // One value per group of texts that differ only in letter case; mostly there are none such,
    // and the rows share the values' block.
    const qsizetype n = mValues.size();
    qsizetype firstRepeat = -1;
    for (qsizetype i = 1; i < n && firstRepeat < 0; ++i)
        if (compareFolded(mValues.utf8(i - 1), mValues.utf8(i)) == 0)
            firstRepeat = i;
    if (firstRepeat < 0) {
        mRows = std::make_shared<const TextList>(mValues.withLeadingNull(mNulls > 0));
        return mRows;
    }
    TextList::Builder out;
    out.reserve(n, mValues.bytes());
    out.setLeadingNull(mNulls > 0);
    for (qsizetype i = 0; i < n; ++i)
        if (i == 0 || compareFolded(mValues.utf8(i - 1), mValues.utf8(i)) != 0)
            out.append(mValues.utf8(i));
    mRows = std::make_shared<const TextList>(out.take());
    return mRows;
}
