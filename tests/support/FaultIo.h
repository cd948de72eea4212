// Faults in plain file writes, for what does not go through SQLite (settings, exports, the new
// database's template copy): the test executable that includes this header (one source file
// only) defines write, fwrite, fsync, fdatasync and rename, which take the place of the C
// library's for the whole process, Qt and libxlsxwriter included. Armed, the Nth operation of the
// chosen kind on a regular file fails with a full disk or an I/O error; the fault is lifted after
// one hit.
#pragma once

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faultio {

enum class Kind { Write, Sync, Rename };

struct State
{
    Kind kind = Kind::Write;
    int failAt = 0; // 0: no fault
    int count = 0;
    bool full = false;
    bool hit = false;
};

inline State &state()
{
    static State s;
    return s;
}

inline void arm(Kind kind, int n, bool full)
{
    state() = State{kind, n, 0, full, false};
}
inline void disarm() { state().failAt = 0; }
inline bool hit() { return state().hit; }

inline bool regular(int fd)
{
    struct stat st;
    return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

inline bool strikes(Kind k, int fd)
{
    State &s = state();
    if (s.failAt <= 0 || s.hit || s.kind != k || (fd != -2 && !regular(fd)))
        return false;
    if (++s.count < s.failAt)
        return false;
    s.hit = true;
    errno = s.full ? ENOSPC : EIO;
    return true;
}

template<typename F>
F real(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace faultio

extern "C" {

ssize_t write(int fd, const void *buf, size_t n)
{
    static const auto next = faultio::real<ssize_t (*)(int, const void *, size_t)>("write");
    if (faultio::strikes(faultio::Kind::Write, fd))
        return -1;
    return next(fd, buf, n);
}

size_t fwrite(const void *buf, size_t size, size_t n, FILE *f)
{
    static const auto next = faultio::real<size_t (*)(const void *, size_t, size_t, FILE *)>("fwrite");
    if (n > 0 && size > 0 && faultio::strikes(faultio::Kind::Write, ::fileno(f)))
        return 0;
    return next(buf, size, n, f);
}

int fsync(int fd)
{
    static const auto next = faultio::real<int (*)(int)>("fsync");
    if (faultio::strikes(faultio::Kind::Sync, fd))
        return -1;
    return next(fd);
}

int fdatasync(int fd)
{
    static const auto next = faultio::real<int (*)(int)>("fdatasync");
    if (faultio::strikes(faultio::Kind::Sync, fd))
        return -1;
    return next(fd);
}

int rename(const char *from, const char *to) noexcept
{
    static const auto next = faultio::real<int (*)(const char *, const char *)>("rename");
    if (faultio::strikes(faultio::Kind::Rename, -2))
        return -1;
    return next(from, to);
}

} // extern "C"
