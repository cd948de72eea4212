// Binds a dataset to controls: grids and edit boxes reach their dataset through one of these.
// A data source does not own its dataset (the data module does) nor the controls bound to it
// (their windows do); it only names the dataset, and reads null once the dataset is destroyed.
// dataSetChanged tells the controls to follow another dataset.
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
