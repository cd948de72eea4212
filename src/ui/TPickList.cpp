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
    Data(const Data &other) : QSharedData(other), texts(other.texts), strings(other.strings), reader(other.reader) {}
    ~Data() { delete model; }

    const TextList &read() const
    {
        if (reader) {
            // Taken out first: a reader that fails leaves the list empty rather than retrying.
            const std::function<TextList()> r = std::exchange(reader, {});
            texts = r();
        }
        return texts;
    }
    void set(TextList list, std::function<TextList()> r = {})
    {
        texts = std::move(list);
        strings.reset();
        reader = std::move(r);
        changed();
    }
    void changed()
    {
        if (model)
            static_cast<PickListModel *>(model.data())->entriesChanged();
    }

    mutable TextList texts;
    mutable std::shared_ptr<const QStringList> strings; // texts as QStrings, once asked for
    mutable std::function<TextList()> reader;
    mutable QPointer<QAbstractListModel> model;
};

namespace {
TextList textListOf(const QStringList &items)
{
    TextList::Builder b;
    b.reserve(items.size(), 0);
    for (const QString &s : items)
        b.append(s);
    return b.take();
}
} // namespace

int PickListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(mData->read().size());
}

QVariant PickListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const TextList &texts = mData->read();
    return index.row() < texts.size() ? QVariant(texts.at(index.row())) : QVariant();
}

TPickList::TPickList() : d(new Data) {}

TPickList::TPickList(const QStringList &items) : d(new Data)
{
    d->texts = textListOf(items);
}

TPickList::TPickList(const TPickList &other) = default;
TPickList &TPickList::operator=(const TPickList &other) = default;
TPickList::~TPickList() = default;

const TextList &TPickList::texts() const
{
    return d->read();
}

const QStringList &TPickList::items() const
{
    const TextList &t = d->read();
    if (!d->strings)
        d->strings = std::make_shared<const QStringList>(t.toStringList());
    return *d->strings;
}

void TPickList::clear()
{
    d->set(TextList());
}

void TPickList::setPending(std::function<QStringList()> reader)
{
    d->set(TextList(), [reader = std::move(reader)] { return textListOf(reader()); });
}

void TPickList::setPendingTexts(std::function<TextList()> reader)
{
    d->set(TextList(), std::move(reader));
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
