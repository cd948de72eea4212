// The rows of a data source's dataset as a table model, in the columns of a grid's column set.
//
// Rows are read only as the view asks for them (the dataset fetches them by pages), so a
// million-row dataset costs no more than a small one. Row i is the dataset's position i; while
// the dataset inserts, the new row is one more row after the last. The model follows the
// dataset's notifications: a reset when the row set may have changed, row signals for single
// changes, and currentRowChanged whenever the dataset's current row moves. When the dataset
// follows other connections' changes, rows move without a reset: the view's current cell,
// selection and open editor move with their rows.
//
// writeCell writes a typed text into the dataset's current row and starts an edit. The model
// never moves the dataset: a cell of another row is not written.
#pragma once

#include "TColumn.h"
#include "TDataLink.h"

#include <QAbstractTableModel>
#include <QList>

class TDaoTable;
class TDataSource;

class TDBGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TDBGridModel(QObject *parent = nullptr);

    // The grid row of the dataset's current row (the row being inserted sits after the last
    // one), or -1 when the dataset is closed or empty.
    static int gridRow(const TDaoTable *dataSet);

    void setDataSource(TDataSource *source);
    TDaoTable *dataSet() const { return mLink->DataSet(); }
    TDataLink *link() const { return mLink; }
    // The column set shown; owned by the caller, which calls columnsReset() after changing it.
    void setColumns(const QList<TColumn> *columns);
    void columnsReset();

    void setReadOnly(bool ro) { mReadOnly = ro; }

    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Writes a text into an editable cell of the dataset's current row, starting an edit (the
    // same text changes nothing); false for a cell that takes no typing or lies on another row.
    // Raises the field's DaoError when it refuses the text; the row keeps its value.
    bool writeCell(const QModelIndex &index, const QString &text);
    // writeCell for item views in general: false also when the field refuses the text.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The dataset field of a column, or -1.
    int fieldOf(int column) const;
    // How strongly a row is marked as changed by another connection: 1 just after, fading to 0.
    double markOf(int row) const;

signals:
    void currentRowChanged(int row);
    // Reading a row failed while the view painted it (told once until the view acknowledges).
    void readFailed(const QString &message);
    // Around following other connections' changes: before the rows move, and after (positions
    // before to after in moves).
    void aboutToFollow();
    void followed(const RowMoves *moves);

private:
    void reset();
    void rowChanged(int position);
    void rowInserted(int position);
    void rowRemoved(int position);
    void rowsFollowed(const RowMoves *moves);
    int datasetRows() const;

    TDataLink *mLink;
    const QList<TColumn> *mColumns = nullptr;
    QList<int> mFieldIndex;
    int mRows = 0;
    bool mReadOnly = false;
    mutable bool mReadFailed = false;
};
