// Ties a control to a data source: follows the source's dataset, reconnecting when the source is
// given another dataset (or its dataset goes away), and passes the dataset's notifications on.
//
// A control connects to the link once. After a change of dataset the link emits dataSetChanged,
// after which the control reads everything again. The update-record hook, when set, is
// registered on whichever dataset the link follows: the dataset calls it before every post and
// before anything that would post or drop the pending edit, so that the control writes what the
// user typed into the row first (the hook may raise, which abandons the dataset's operation).
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "dataset/RowMoves.h"
#include "dataset/TDaoTable.h"
#include "dataset/TDataSource.h"

class TDataLink : public QObject
{
    Q_OBJECT

public:
    explicit TDataLink(QObject *parent = nullptr);
    ~TDataLink() override;

    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const { return mSource; }
    // The dataset followed now, or nullptr.
    TDaoTable *DataSet() const { return mDataSet; }
    bool active() const;

    void setUpdateRecordHook(std::function<void()> hook);

signals:
    void dataSetChanged(); // another dataset (or none), or the whole row set may differ
    void currentChanged(int position);
    void rowChanged(int position);
    void rowInserted(int position);
    void rowRemoved(int position);
    void stateChanged();
    void rowsFollowed(const RowMoves *moves);

private:
    void attach();
    void registerHook();

    QPointer<TDataSource> mSource;
    QPointer<TDaoTable> mDataSet;
    QList<QMetaObject::Connection> mConnections;
    std::function<void()> mHook;
};
