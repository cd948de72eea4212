// The locks of the roster's lock file, shared by LockRoster and RosterGate: open-file-description
// record locks (F_OFD_SETLK), and the check that a lock file was not deleted under its opener.
#pragma once

#include <QByteArray>
#include <fcntl.h>

namespace lockfile {

// Far past the entries, so that the gate never overlaps an entry of any size of roster.
constexpr off_t GateOffset = 0x7fff0000;
// How often a join or the gate reopens a lock file that was deleted under it before giving up.
constexpr int ReopenAttempts = 50;
constexpr int GatePollMs = 20;
// A leaving connection holds the whole file only while it checks whether to delete it.
constexpr int LeaverSettleMs = 200;

struct flock lockRange(short type, off_t start, off_t length);
// 0 when the lock was set, otherwise the errno (EAGAIN or EACCES: another holder conflicts).
int setLock(int fd, short type, off_t start, off_t length);
bool isConflict(int err);
// The type of a lock another open file description holds that conflicts with the one asked
// for: F_UNLCK when none; -1 when the file system cannot tell.
int conflictingLock(int fd, short type, off_t start, off_t length);
// A leaving connection may delete the lock file between our open and our lock: locks on the
// deleted inode protect nothing, so the caller reopens when the path names another file now.
bool stillLinked(int fd, const QByteArray &path);

} // namespace lockfile
