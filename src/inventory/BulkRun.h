// The frame of a command that writes many rows of the inventory (the renumbering, the row
// paste): the progress bar, the dataset's bulk mode, the data module's flag that holds back the
// per-row work, and the window repainted every 100 ms while the user's input waits. The command
// ends each part itself, in the order it needs; what is still on when the frame goes is ended
// then (the bar hidden, the flag cleared, bulk mode left with its failure dropped).
#pragma once

#include "engine/InventorySchema.h"

#include <QElapsedTimer>

#include <exception>

class QProgressBar;
class TDaoTable;

class BulkRun
{
public:
    BulkRun(TDaoTable *table, QProgressBar *bar);
    ~BulkRun();
    BulkRun(const BulkRun &) = delete;
    BulkRun &operator=(const BulkRun &) = delete;

    // Sets the flag that holds back the per-row work.
    void raiseFlag();
    void clearFlag();
    // Shows the bar at 0 of steps (at least 1).
    void showBar(qint64 steps);
    void hideBar();
    QProgressBar *bar() const { return mBar; }
    // Writes in batches from here on, the rows written being one history entry of kind; the
    // repaint clock starts.
    void beginBulk(inventoryschema::ChangeKind kind);
    // Commits the last batch and writes row by row again; raises what that commit raises.
    void endBulk();
    // Whether 100 ms have passed since the window was last repainted.
    bool repaintDue() const { return mPaint.elapsed() >= 100; }
    void repaint();

private:
    TDaoTable *mTable;
    QProgressBar *mBar;
    QElapsedTimer mPaint;
    bool mFlag = false;
    bool mShown = false;
    bool mBulk = false;
};
