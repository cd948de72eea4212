// The link between a control and its data source's dataset.
#include "TDataLink.h"

#include "dataset/TDaoTable.h"

TDataLink::TDataLink(QObject *parent) : QObject(parent) {}

TDataLink::~TDataLink()
{
    if (mDataSet)
        mDataSet->setUpdateRecordHook(this, {});
}

void TDataLink::setDataSource(TDataSource *source)
{
    if (mSource)
        disconnect(mSource, nullptr, this, nullptr);
    mSource = source;
    if (mSource)
        connect(mSource, &TDataSource::dataSetChanged, this, &TDataLink::attach);
    attach();
}

bool TDataLink::active() const
{
    return mDataSet && mDataSet->Active();
}

void TDataLink::setUpdateRecordHook(std::function<void()> hook)
{
    mHook = std::move(hook);
    registerHook();
}

void TDataLink::registerHook()
{
    if (!mDataSet)
        return;
    if (mHook)
        mDataSet->setUpdateRecordHook(this, [this] { mHook(); });
    else
        mDataSet->setUpdateRecordHook(this, {});
}

void TDataLink::attach()
{
    for (const auto &c : std::as_const(mConnections))
        disconnect(c);
    mConnections.clear();
    if (mDataSet)
        mDataSet->setUpdateRecordHook(this, {});
    mDataSet = mSource ? mSource->DataSet() : nullptr;
    if (TDaoTable *t = mDataSet) {
        registerHook();
        mConnections << connect(t, &TDaoTable::dataSetChanged, this, &TDataLink::dataSetChanged)
                     << connect(t, &TDaoTable::currentChanged, this, &TDataLink::currentChanged)
                     << connect(t, &TDaoTable::rowChanged, this, &TDataLink::rowChanged)
                     << connect(t, &TDaoTable::rowInserted, this, &TDataLink::rowInserted)
                     << connect(t, &TDaoTable::rowRemoved, this, &TDataLink::rowRemoved)
                     << connect(t, &TDaoTable::stateChanged, this, &TDataLink::stateChanged)
                     << connect(t, &TDaoTable::rowsFollowed, this, &TDataLink::rowsFollowed)
                     << connect(t, &QObject::destroyed, this, [this] {
                            mDataSet = nullptr;
                            emit dataSetChanged();
                        });
    }
    emit dataSetChanged();
}
