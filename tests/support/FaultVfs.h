// A test VFS over SQLite's own, made the default while installed: it counts the writes, syncs and
// opens of every connection and fails the Nth of the chosen kind with an I/O error or a full
// disk, the way SQLite tests itself. Every later operation succeeds again (the fault is lifted
// after one hit), so the program can be seen going on.
#pragma once

#include <sqlite3.h>

#include <cstring>
#include <unistd.h>

namespace faultvfs {

enum class Kind { Write, Sync, Open };

struct State
{
    Kind kind = Kind::Write;
    int failAt = 0;     // 0: no fault
    int count = 0;      // operations of the kind seen since arm()
    int full = 0;       // nonzero: the fault is a full disk, else an I/O error
    bool hit = false;   // the fault was injected
    bool dies = false;  // the process ends there instead, as if killed (in a child process)
    sqlite3_vfs *real = nullptr;
    sqlite3_vfs vfs{};
    sqlite3_io_methods methods{};
    const sqlite3_io_methods *realMethods = nullptr;
};

inline State &state()
{
    static State s;
    return s;
}

struct File
{
    sqlite3_file base; // our methods
    sqlite3_file *real; // the real file follows this struct
};

inline sqlite3_file *realOf(sqlite3_file *f)
{
    return reinterpret_cast<File *>(f)->real;
}

// True when this operation is the one to fail.
inline bool strikes(Kind k)
{
    State &s = state();
    if (s.failAt <= 0 || s.hit || s.kind != k)
        return false;
    if (++s.count < s.failAt)
        return false;
    s.hit = true;
    return true;
}

inline int xClose(sqlite3_file *f)
{
    sqlite3_file *r = realOf(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    return rc;
}
inline int xRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o) { return realOf(f)->pMethods->xRead(realOf(f), b, n, o); }
inline int xWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o)
{
    if (strikes(Kind::Write)) {
        if (state().dies)
            ::_exit(137);
        return state().full ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    }
    return realOf(f)->pMethods->xWrite(realOf(f), b, n, o);
}
inline int xTruncate(sqlite3_file *f, sqlite3_int64 s) { return realOf(f)->pMethods->xTruncate(realOf(f), s); }
inline int xSync(sqlite3_file *f, int flags)
{
    if (strikes(Kind::Sync))
        return SQLITE_IOERR_FSYNC;
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
inline int xFileSize(sqlite3_file *f, sqlite3_int64 *s) { return realOf(f)->pMethods->xFileSize(realOf(f), s); }
inline int xLock(sqlite3_file *f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); }
inline int xUnlock(sqlite3_file *f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); }
inline int xCheckReservedLock(sqlite3_file *f, int *r) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r); }
inline int xFileControl(sqlite3_file *f, int op, void *a) { return realOf(f)->pMethods->xFileControl(realOf(f), op, a); }
inline int xSectorSize(sqlite3_file *f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
inline int xDeviceCharacteristics(sqlite3_file *f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }

inline int xOpen(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
{
    State &s = state();
    auto *file = reinterpret_cast<File *>(f);
    file->real = reinterpret_cast<sqlite3_file *>(file + 1);
    file->base.pMethods = nullptr;
    if (strikes(Kind::Open))
        return SQLITE_CANTOPEN;
    const int rc = s.real->xOpen(s.real, name, file->real, flags, outFlags);
    if (rc == SQLITE_OK && file->real->pMethods) {
        s.methods.iVersion = 1;
        s.methods.xClose = xClose;
        s.methods.xRead = xRead;
        s.methods.xWrite = xWrite;
        s.methods.xTruncate = xTruncate;
        s.methods.xSync = xSync;
        s.methods.xFileSize = xFileSize;
        s.methods.xLock = xLock;
        s.methods.xUnlock = xUnlock;
        s.methods.xCheckReservedLock = xCheckReservedLock;
        s.methods.xFileControl = xFileControl;
        s.methods.xSectorSize = xSectorSize;
        s.methods.xDeviceCharacteristics = xDeviceCharacteristics;
        file->base.pMethods = &s.methods;
    }
    return rc;
}

inline int xDelete(sqlite3_vfs *, const char *n, int sync) { return state().real->xDelete(state().real, n, sync); }
inline int xAccess(sqlite3_vfs *, const char *n, int f, int *r) { return state().real->xAccess(state().real, n, f, r); }
inline int xFullPathname(sqlite3_vfs *, const char *n, int size, char *out)
{
    return state().real->xFullPathname(state().real, n, size, out);
}
inline void *xDlOpen(sqlite3_vfs *, const char *n) { return state().real->xDlOpen(state().real, n); }
inline void xDlError(sqlite3_vfs *, int n, char *m) { state().real->xDlError(state().real, n, m); }
inline void (*xDlSym(sqlite3_vfs *, void *h, const char *s))(void) { return state().real->xDlSym(state().real, h, s); }
inline void xDlClose(sqlite3_vfs *, void *h) { state().real->xDlClose(state().real, h); }
inline int xRandomness(sqlite3_vfs *, int n, char *out) { return state().real->xRandomness(state().real, n, out); }
inline int xSleep(sqlite3_vfs *, int us) { return state().real->xSleep(state().real, us); }
inline int xCurrentTime(sqlite3_vfs *, double *t) { return state().real->xCurrentTime(state().real, t); }

// Makes the fault VFS the default one (once).
inline void install()
{
    State &s = state();
    if (s.real)
        return;
    s.real = sqlite3_vfs_find(nullptr);
    s.vfs.iVersion = 1;
    s.vfs.szOsFile = int(sizeof(File)) + s.real->szOsFile;
    s.vfs.mxPathname = s.real->mxPathname;
    s.vfs.zName = "velostok-fault";
    s.vfs.xOpen = xOpen;
    s.vfs.xDelete = xDelete;
    s.vfs.xAccess = xAccess;
    s.vfs.xFullPathname = xFullPathname;
    s.vfs.xDlOpen = xDlOpen;
    s.vfs.xDlError = xDlError;
    s.vfs.xDlSym = xDlSym;
    s.vfs.xDlClose = xDlClose;
    s.vfs.xRandomness = xRandomness;
    s.vfs.xSleep = xSleep;
    s.vfs.xCurrentTime = xCurrentTime;
    sqlite3_vfs_register(&s.vfs, 1);
}

// The Nth operation of the kind from now fails once.
inline void arm(Kind kind, int n, bool fullDisk = false)
{
    State &s = state();
    s.kind = kind;
    s.failAt = n;
    s.count = 0;
    s.full = fullDisk ? 1 : 0;
    s.hit = false;
    s.dies = false;
}

inline void disarm()
{
    state().failAt = 0;
}

inline bool hit()
{
    return state().hit;
}

} // namespace faultvfs
