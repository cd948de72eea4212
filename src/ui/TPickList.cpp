// Pick lists read on first use.
#include "TPickList.h"

struct TPickList::Data : QSharedData
{
    mutable QStringList items;
    mutable std::function<QStringList()> reader;
};

TPickList::TPickList() : d(new Data) {}

TPickList::TPickList(const QStringList &items) : d(new Data)
{
    d->items = items;
}

TPickList::TPickList(const TPickList &other) = default;
TPickList &TPickList::operator=(const TPickList &other) = default;
TPickList::~TPickList() = default;

const QStringList &TPickList::items() const
{
    if (d->reader) {
        // Taken out first: a reader that fails leaves the list empty rather than retrying in a loop.
        const std::function<QStringList()> reader = std::exchange(d->reader, {});
        d->items = reader();
    }
    return d->items;
}

void TPickList::clear()
{
    d->items.clear();
    d->reader = {};
}

void TPickList::setPending(std::function<QStringList()> reader)
{
    d->items.clear();
    d->reader = std::move(reader);
}

bool TPickList::pending() const
{
    return bool(d->reader);
}
