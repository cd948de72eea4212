// The data grid's model over a dataset.
#include "TDBGridModel.h"

#include "base/DaoError.h"
#include "dataset/RowMoves.h"
#include "dataset/TDaoTable.h"

#include <QDateTime>
#include <algorithm>

TDBGridModel::TDBGridModel(QObject *parent) : QAbstractTableModel(parent), mLink(new TDataLink(this))
{
    connect(mLink, &TDataLink::dataSetChanged, this, &TDBGridModel::reset);
    connect(mLink, &TDataLink::stateChanged, this, [this] {
        // Opening and closing change the whole row set; an edit state only changes the current
        // row, which rowChanged reports, and a new row is reported by rowInserted, which follows.
        const TDaoTable *t = dataSet();
        if (mLink->active() && t->State() == TDaoTable::dsInsert && datasetRows() == mRows + 1)
            return;
        if (!mLink->active() || datasetRows() != mRows)
            reset();
    });
    connect(mLink, &TDataLink::rowChanged, this, &TDBGridModel::rowChanged);
    connect(mLink, &TDataLink::rowInserted, this, &TDBGridModel::rowInserted);
    connect(mLink, &TDataLink::rowRemoved, this, &TDBGridModel::rowRemoved);
    connect(mLink, &TDataLink::rowsFollowed, this, &TDBGridModel::rowsFollowed);
    connect(mLink, &TDataLink::currentChanged, this, [this] { emit currentRowChanged(gridRow(dataSet())); });
}

int TDBGridModel::gridRow(const TDaoTable *t)
{
    if (!t || !t->Active())
        return -1;
    return t->State() == TDaoTable::dsInsert ? t->RecordCount() : t->RecNo();
}

void TDBGridModel::setDataSource(TDataSource *source)
{
    mLink->setDataSource(source);
}

void TDBGridModel::setColumns(const QList<TColumn> *columns)
{
    mColumns = columns;
    columnsReset();
}

void TDBGridModel::columnsReset()
{
    beginResetModel();
    mFieldIndex.clear();
    TDaoTable *t = dataSet();
    if (mColumns) {
        for (const TColumn &c : *mColumns) {
            const TDaoField *f = t && t->Active() ? t->FindField(c.FieldName) : nullptr;
            mFieldIndex << (f ? f->Index() : -1);
        }
    }
    mRows = datasetRows();
    endResetModel();
}

int TDBGridModel::datasetRows() const
{
    TDaoTable *t = dataSet();
    if (!t || !t->Active())
        return 0;
    return t->RecordCount() + (t->State() == TDaoTable::dsInsert ? 1 : 0);
}

void TDBGridModel::reset()
{
    // Field indexes depend on the open dataset, so they are found again with the rows.
    columnsReset();
    if (const int row = gridRow(dataSet()); row >= 0)
        emit currentRowChanged(row);
}

void TDBGridModel::rowChanged(int position)
{
    if (position < 0)
        return;
    if (datasetRows() != mRows) {
        reset();
        return;
    }
    if (position < mRows)
        emit dataChanged(index(position, 0), index(position, columnCount() - 1));
}

void TDBGridModel::rowInserted(int position)
{
    const int rows = datasetRows();
    if (rows != mRows + 1 || position < 0 || position > mRows) {
        reset();
        return;
    }
    beginInsertRows({}, position, position);
    mRows = rows;
    endInsertRows();
}

void TDBGridModel::rowRemoved(int)
{
    // The dataset tells of a removal after the row has gone, when a view could no longer ask
    // for what it is about to lose: the rows are read again instead.
    reset();
}

void TDBGridModel::rowsFollowed(const RowMoves *moves)
{
    if (moves->none() && datasetRows() == mRows) {
        if (mRows > 0)
            emit dataChanged(index(0, 0), index(mRows - 1, columnCount() - 1));
        return;
    }
    emit aboutToFollow();
    emit layoutAboutToBeChanged();
    // The row being inserted stays after the last one.
    const int oldRows = mRows;
    const int newRows = datasetRows();
    const bool inserting = dataSet()->State() == TDaoTable::dsInsert;
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rows;
    rows.reserve(size_t(before.size()));
    for (const QModelIndex &i : before)
        rows.push_back(inserting && i.row() == oldRows - 1 ? -2 : i.row());
    std::vector<int> mapped = rows;
    moves->map(mapped);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const int r = rows[size_t(k)] == -2 ? newRows - 1 : mapped[size_t(k)];
        after << (r >= 0 && r < newRows ? index(r, before.at(k).column()) : QModelIndex());
    }
    mRows = newRows;
    changePersistentIndexList(before, after);
    emit layoutChanged();
    emit followed(moves);
}

double TDBGridModel::markOf(int row) const
{
    const TDaoTable *t = dataSet();
    if (!t || !t->Active())
        return 0;
    const qint64 at = t->changedByOthersAt(row);
    if (at == 0)
        return 0;
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - at;
    return std::clamp(1.0 - double(age) / double(TDaoTable::MarkMs), 0.0, 1.0);
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    TDaoTable *t = dataSet();
    if (!index.isValid() || mReadOnly || !t || !t->Active() || !t->isTable() || t->ReadOnly())
        return f;
    const int field = fieldOf(index.column());
    if (field < 0 || (mColumns && mColumns->at(index.column()).ReadOnly)
        || t->Fields(field)->DataType() == TFieldType::Counter)
        return f;
    return f | Qt::ItemIsEditable;
}

bool TDBGridModel::writeCell(const QModelIndex &index, const QString &text)
{
    TDaoTable *t = dataSet();
    if (!(flags(index) & Qt::ItemIsEditable) || index.row() != gridRow(t))
        return false;
    // The typed text goes into the current row's buffer; leaving the row posts it.
    TDaoField *f = t->Fields(fieldOf(index.column()));
    if (f->AsString() == text)
        return true;
    if (t->State() == TDaoTable::dsBrowse)
        t->Edit();
    f->setAsString(text);
    return true;
}

bool TDBGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole)
        return false;
    try {
        return writeCell(index, value.toString());
    } catch (const DaoError &) {
        return false;
    }
}

int TDBGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mRows;
}

int TDBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !mColumns ? 0 : int(mColumns->size());
}

int TDBGridModel::fieldOf(int column) const
{
    return column >= 0 && column < mFieldIndex.size() ? mFieldIndex.at(column) : -1;
}

QVariant TDBGridModel::data(const QModelIndex &index, int role) const
{
    TDaoTable *t = dataSet();
    if (!index.isValid() || !t || !t->Active() || !mColumns || index.row() >= mRows)
        return QVariant();
    const TColumn &c = mColumns->at(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const int f = fieldOf(index.column());
        if (f < 0)
            return QVariant();
        try {
            const QVariant v = t->rowValue(index.row(), f);
            return v.isValid() ? t->Fields(f)->textOf(v) : QString();
        } catch (const DaoError &e) {
            // A read that fails while painting (a lost network folder) is told once, later:
            // not from inside the paint.
            if (!mReadFailed) {
                mReadFailed = true;
                auto *self = const_cast<TDBGridModel *>(this);
                QMetaObject::invokeMethod(self, [self, text = e.message()] {
                    emit self->readFailed(text);
                    self->mReadFailed = false;
                }, Qt::QueuedConnection);
            }
            return QVariant();
        }
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(c.Alignment | Qt::AlignVCenter));
    case Qt::FontRole:
        return c.Font;
    case Qt::ForegroundRole:
        return c.Color.isValid() ? QVariant(c.Color) : QVariant();
    default:
        return QVariant();
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    TDaoTable *t = dataSet();
    if (orientation == Qt::Vertical) {
        if (section < 0 || section >= mRows)
            return QVariant();
        // The row indicator: a mark on the current row, a star on a new one.
        if (role == Qt::DisplayRole && section == gridRow(t)) {
            if (t->State() == TDaoTable::dsInsert)
                return QStringLiteral("*");
            return t->State() == TDaoTable::dsEdit ? QStringLiteral("I") : QStringLiteral("\u25B8");
        }
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    if (!mColumns || section < 0 || section >= mColumns->size())
        return QVariant();
    const TColumn &c = mColumns->at(section);
    switch (role) {
    case Qt::DisplayRole:
        return c.Title;
    case Qt::UserRole:
        return c.FieldName;
    case Qt::FontRole:
        return c.TitleFont;
    case Qt::ForegroundRole:
        return c.TitleColor;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(c.TitleAlignment | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}
