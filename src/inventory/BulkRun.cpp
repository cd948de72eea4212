#include "BulkRun.h"

#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

BulkRun::BulkRun(TDaoTable *table, QProgressBar *bar) : mTable(table), mBar(bar)
{
    mPaint.start();
}

BulkRun::~BulkRun()
{
    try {
        endBulk();
    } catch (...) {
        // The command has ended it where it could tell its failure.
    }
    hideBar();
    clearFlag();
}

void BulkRun::raiseFlag()
{
    DM->BulkUpdate = true;
    mFlag = true;
}

void BulkRun::clearFlag()
{
    if (std::exchange(mFlag, false))
        DM->BulkUpdate = false;
}

void BulkRun::showBar(qint64 steps)
{
    mBar->setRange(0, int(std::clamp<qint64>(steps, 1, std::numeric_limits<int>::max())));
    mBar->setValue(0);
    mBar->show();
    mShown = true;
}

void BulkRun::hideBar()
{
    if (std::exchange(mShown, false))
        mBar->hide();
}

void BulkRun::beginBulk(inventoryschema::ChangeKind kind)
{
    mTable->Database()->beginOperation(kind);
    try {
        mTable->setBulkMode(true);
    } catch (...) {
        mTable->Database()->endOperation();
        throw;
    }
    mBulk = true;
    mPaint.start();
}

void BulkRun::endBulk()
{
    if (!std::exchange(mBulk, false))
        return;
    const auto done = qScopeGuard([this] { mTable->Database()->endOperation(); });
    mTable->setBulkMode(false);
}

void BulkRun::repaint()
{
    // Repaints only: the user's input waits until the command is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    mPaint.restart();
}
