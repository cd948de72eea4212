// What other connections changed in the inventory's rows since the last look, read from the
// change history, which every writer (this program, another copy, another program through the
// triggers) fills in the transaction of its change. Entries are numbered in the order they were
// begun, not committed: on the server one begun earlier may commit later, so numbers skipped are
// looked for again for a while. An operation on many rows adds its rows in parts as it commits
// them, so its entry is looked at again while it grows.
#pragma once

#include <QSet>
#include <QtGlobal>
#include <map>
#include <set>
#include <utility>
#include <vector>

class ChangeLog;
class DbEngine;

class ChangeFeed
{
public:
    ChangeFeed(DbEngine &engine, ChangeLog &log) : mEngine(engine), mLog(log) {}

    struct Changes
    {
        std::vector<qint64> rows; // main's rows, repeats possible
        bool whole = false;       // no history to tell: anything may have changed
    };
    // From now on. Raises DaoError.
    void start();
    // The rows changed since the last call (or start), those of the entries in own left out.
    // Raises DaoError, and the next call then reads the same again.
    Changes read(const QSet<qint64> &own = {});

private:
    struct Operation
    {
        std::map<std::pair<qint64, qint64>, qint64> parts; // (first row, last row): how many read
        qint64 grew = 0;                            // when a part last came
    };
    // True when a part came.
    bool readOperation(qint64 entry, Operation &op, std::vector<qint64> &rows);

    DbEngine &mEngine;
    ChangeLog &mLog;
    qint64 mSeen = 0;                 // the highest entry read
    std::map<qint64, qint64> mGaps;   // entries skipped, and when they were first missed
    std::map<qint64, Operation> mOperations;
};
