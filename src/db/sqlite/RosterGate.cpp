// The compaction gate of the lock file.
#include "sqlite/RosterGate.h"

#include "sqlite/LockFile.h"
#include "sqlite/LockRoster.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <unistd.h>

using namespace lockfile;

RosterGate::~RosterGate()
{
    unlock();
}

bool RosterGate::tryLockExclusive(const QString &databasePath)
{
    unlock();
    const QByteArray path = QFile::encodeName(LockRoster::lockFilePath(databasePath));
    QDeadlineTimer settle(LeaverSettleMs);

    for (int attempt = 0; attempt < ReopenAttempts; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        const int err = setLock(fd, F_WRLCK, GateOffset, 1);
        if (isConflict(err)) {
            // Connected copies hold the gate shared: a refusal. An exclusive holder is a copy
            // that is leaving (it lets go at once) or another compaction.
            const int holder = conflictingLock(fd, F_WRLCK, GateOffset, 1);
            ::close(fd);
            if (holder == F_WRLCK && !settle.hasExpired()) {
                QThread::msleep(GatePollMs / 2);
                continue;
            }
            return false;
        }
        if (err != 0) {
            ::close(fd);
            return false;
        }
        if (!stillLinked(fd, path)) {
            ::close(fd);
            continue;
        }
        mFd = fd;
        return true;
    }
    return false;
}

void RosterGate::unlock()
{
    if (mFd < 0)
        return;
    ::close(mFd);
    mFd = -1;
}
