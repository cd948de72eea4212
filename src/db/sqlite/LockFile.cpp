// Open-file-description locks on the roster's lock file.
#include "sqlite/LockFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace lockfile {

struct flock lockRange(short type, off_t start, off_t length)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    fl.l_pid = 0; // required by the OFD commands
    return fl;
}

// 0 when the lock was set, otherwise the errno (EAGAIN or EACCES: another holder conflicts).
int setLock(int fd, short type, off_t start, off_t length)
{
    struct flock fl = lockRange(type, start, length);
    while (::fcntl(fd, F_OFD_SETLK, &fl) == -1) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

bool isConflict(int err)
{
    return err == EAGAIN || err == EACCES;
}

// The type of a lock another open file description holds that conflicts with the one asked
// for: F_UNLCK when none; -1 when the file system cannot tell.
int conflictingLock(int fd, short type, off_t start, off_t length)
{
    struct flock fl = lockRange(type, start, length);
    if (::fcntl(fd, F_OFD_GETLK, &fl) == -1)
        return -1;
    return fl.l_type;
}

// A leaving connection may delete the lock file between our open and our lock: locks on the
// deleted inode protect nothing, so the caller reopens when the path names another file now.
bool stillLinked(int fd, const QByteArray &path)
{
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(fd, &opened) != 0 || opened.st_nlink == 0)
        return false;
    if (::stat(path.constData(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace lockfile
