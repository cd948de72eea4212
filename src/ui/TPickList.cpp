// Pick lists read on first use, and the list model the boxes share.
#include "TPickList.h"

#include <QAbstractListModel>
#include <QPointer>

namespace {

class PickListModel : public QAbstractListModel
{
public:
    explicit PickListModel(const TPickList::Data *data) : mData(data) {}

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    void entriesChanged()
    {
        beginResetModel();
        endResetModel();
    }

private:
    const TPickList::Data *mData;
};

} // namespace

struct TPickList::Data : QSharedData
{
    Data() = default;
    // A copy has the entries, not the boxes that show the original.
    Data(const Data &other) : QSharedData(other), items(other.items), reader(other.reader) {}
    ~Data() { delete model; }

    const QStringList &read() const
    {
        if (reader) {
            // Taken out first: a reader that fails leaves the list empty rather than retrying.
            const std::function<QStringList()> r = std::exchange(reader, {});
            items = r();
        }
        return items;
    }
    void changed()
    {
        if (model)
            static_cast<PickListModel *>(model.data())->entriesChanged();
    }

    mutable QStringList items;
    mutable std::function<QStringList()> reader;
    mutable QPointer<QAbstractListModel> model;
};

int PickListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(mData->read().size());
}

QVariant PickListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const QStringList &items = mData->read();
    return index.row() < items.size() ? QVariant(items.at(index.row())) : QVariant();
}

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
    return d->read();
}

void TPickList::clear()
{
    d->items.clear();
    d->reader = {};
    d->changed();
}

void TPickList::setPending(std::function<QStringList()> reader)
{
    d->items.clear();
    d->reader = std::move(reader);
    d->changed();
}

bool TPickList::pending() const
{
    return bool(d->reader);
}

QAbstractItemModel *TPickList::model() const
{
    if (!d->model)
        d->model = new PickListModel(d.constData());
    return d->model;
}
