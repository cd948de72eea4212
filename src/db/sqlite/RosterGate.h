// The gate of a database's lock file, taken exclusively by compaction: while it is held, no copy
// can join the roster (see LockRoster).
#pragma once

#include <QString>

class RosterGate
{
public:
    RosterGate() = default;
    ~RosterGate();
    RosterGate(const RosterGate &) = delete;
    RosterGate &operator=(const RosterGate &) = delete;

    // False when any connection holds the gate (is connected) or the lock file cannot be opened
    // for writing while it exists; true also when there was no lock file (one is created).
    bool tryLockExclusive(const QString &databasePath);
    void unlock();

private:
    int mFd = -1;
};
