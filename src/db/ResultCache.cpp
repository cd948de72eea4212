// The connection's kept results: distinct-value lists of the stored pick-list queries.
#include "ResultCache.h"

#include "DbEngine.h"

#include <algorithm>

namespace {
bool gEnabled = true;
}

void ResultCache::setEnabled(bool on) { gEnabled = on; }

bool ResultCache::enabled() { return gEnabled; }

ResultCache::Rows ResultCache::rowsOf(const SourceInfo &source)
{
    if (!gEnabled || !source.distinctOf)
        return nullptr;
    const auto &[table, column] = *source.distinctOf;
    DistinctValues *d = nullptr;
    for (auto &e : mDistinct)
        if (e->table().compare(table, Qt::CaseInsensitive) == 0 && e->column().compare(column, Qt::CaseInsensitive) == 0)
            d = e.get();
    if (!d) {
        mDistinct.push_back(std::make_unique<DistinctValues>(table, column));
        d = mDistinct.back().get();
    }
    // Other connections' commits change the data version; ours keep the list current.
    const qint64 version = mEngine.dataVersion();
    if (!d->valid() || d->builtAtDataVersion() != version) {
        d->build(mEngine);
        d->setDataVersion(version);
    }
    return d->rows();
}

void ResultCache::rowChanged(const QString &table, const std::vector<QString> &columns,
                             const std::vector<QVariant> *before, const std::vector<QVariant> *after)
{
    for (auto &d : mDistinct) {
        if (!d->valid() || d->table().compare(table, Qt::CaseInsensitive) != 0)
            continue;
        auto col = std::find_if(columns.begin(), columns.end(),
                                [&](const QString &c) { return c.compare(d->column(), Qt::CaseInsensitive) == 0; });
        if (col == columns.end()) {
            // An update leaves a column it does not name alone; a new or removed row we cannot see.
            if (!before || !after)
                d->invalidate();
            continue;
        }
        const size_t i = size_t(col - columns.begin());
        d->change(before ? &before->at(i) : nullptr, after ? &after->at(i) : nullptr);
    }
}

void ResultCache::forgetAll()
{
    for (auto &d : mDistinct)
        d->invalidate();
}
