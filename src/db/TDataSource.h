// Binds a dataset to controls: grids and edit boxes reach their dataset through one of these.
#pragma once

#include <QObject>
#include <QPointer>

class TDaoTable;

class TDataSource : public QObject
{
    Q_OBJECT

public:
    explicit TDataSource(QObject *parent = nullptr) : QObject(parent) {}

    TDaoTable *DataSet() const { return mDataSet; }
    void setDataSet(TDaoTable *t)
    {
        if (mDataSet == t)
            return;
        mDataSet = t;
        emit dataSetChanged();
    }

signals:
    void dataSetChanged();

private:
    QPointer<TDaoTable> mDataSet;
};
