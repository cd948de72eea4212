// Power cuts, after the crash VFS of SQLite's own tests: a VFS over SQLite's own, made the default
// while installed, keeps for one folder what its disk would hold if the power failed now.
//
// Writes and truncations reach the file at once (reads see them) but stay pending until the file
// is synced. Creations, deletions and renames stay pending until the folder is synced: by a
// deletion with SQLite's syncDir flag, by the first sync of a journal SQLite created (as its unix
// VFS does), or by the program's flush of the folder. The program's own steps on plain files
// (FileReplacement: the flush of a file by its path, the rename, the flush of the folder) reach
// the model through that class's seams. Real fsyncs are skipped: the model decides what lasts.
//
// arm(N): the Nth write, truncation, sync, deletion or rename in the folder cuts the power. That
// operation and every later write, sync, deletion, rename or creation fail; nothing more reaches
// the disk. Once every file is closed, reboot() lays the folder out as the disk would hold it:
// each file as at its last sync, with a subset of its pending writes, 512-byte sector by sector
// (some torn: garbage within the range written, which a disk that overwrites power-safely may
// leave); the folder's names as at their last flush, with the earlier part of what changed them
// since (file systems journal such changes in order). The roster's lock file (".ldb") is left as
// it is: it holds no data.
#pragma once

#include "base/FileReplacement.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace powerloss {

constexpr qint64 SectorSize = 512;

// What a reboot keeps of what was pending at the cut.
enum class Keep { Some, Nothing, Everything };

// A write, or (truncateTo >= 0) a truncation, not yet synced.
struct Change
{
    qint64 offset = 0;
    QByteArray data;
    qint64 truncateTo = -1;
};

// One file, whatever names it goes by.
struct Node
{
    QByteArray durable; // as at its last sync
    std::vector<Change> pending; // since then, in order
    dev_t dev = 0;
    ino_t ino = 0;
    int handles = 0;
};

struct NameChange
{
    enum Kind { Create, Remove, Rename } kind;
    QString name;
    QString to;
    int node = -1;
};

struct State
{
    std::mutex mutex;
    QString folder; // canonical; empty: nothing is watched
    std::map<int, Node> nodes;
    int nextNode = 1;
    QHash<QString, int> durableNames; // as at the folder's last flush
    QHash<QString, int> liveNames; // as the program sees them
    std::vector<NameChange> namesPending;
    int cutAt = 0; // 0: no cut armed
    int count = 0; // operations since arm()
    bool cut = false;
    sqlite3_vfs *real = nullptr;
    sqlite3_vfs vfs{};
    sqlite3_io_methods methods{};
};

inline State &state()
{
    static State s;
    return s;
}

struct File
{
    sqlite3_file base;
    sqlite3_file *real; // follows this struct
    int node; // -1: outside the folder
    bool syncFolder; // a journal SQLite created: its first sync flushes the folder too
};

inline std::optional<QString> nameIn(const QString &path)
{
    const State &s = state();
    if (s.folder.isEmpty() || path.isEmpty())
        return std::nullopt;
    const QFileInfo fi(path);
    if (QFileInfo(fi.absolutePath()).canonicalFilePath() != s.folder || fi.fileName().endsWith(QLatin1String(".ldb")))
        return std::nullopt;
    return fi.fileName();
}

inline QString pathOf(const QString &name) { return state().folder + QLatin1Char('/') + name; }

inline bool identity(const QString &name, dev_t &dev, ino_t &ino)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(pathOf(name)).constData(), &st) != 0)
        return false;
    dev = st.st_dev;
    ino = st.st_ino;
    return true;
}

inline QStringList realNames()
{
    QStringList out;
    for (const QString &n : QDir(state().folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!n.endsWith(QLatin1String(".ldb")))
            out << n;
    return out;
}

inline void apply(QByteArray &content, qint64 offset, const QByteArray &data)
{
    const qint64 end = offset + data.size();
    if (end > content.size()) {
        const qint64 old = content.size();
        content.resize(end);
        std::memset(content.data() + old, 0, size_t(end - old));
    }
    std::memcpy(content.data() + offset, data.constData(), size_t(data.size()));
}

inline void apply(QByteArray &content, const Change &c)
{
    if (c.truncateTo < 0) {
        apply(content, c.offset, c.data);
    } else if (c.truncateTo < content.size()) {
        content.truncate(c.truncateTo);
    } else {
        apply(content, c.truncateTo, QByteArray()); // grows with zeros
    }
}

// The functions below whose names end in "Locked" run under the state's mutex.

// The node a name in the folder stands for; a file the model has not seen (made by the program
// outside SQLite, or by SQLite just now) joins it as created since the folder's last flush, its
// content pending.
inline int nodeForLocked(const QString &name)
{
    State &s = state();
    if (const auto it = s.liveNames.constFind(name); it != s.liveNames.constEnd())
        return *it;
    const int id = s.nextNode++;
    Node &n = s.nodes[id];
    identity(name, n.dev, n.ino);
    QFile f(pathOf(name));
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray content = f.readAll();
        if (!content.isEmpty())
            n.pending.push_back({0, content, -1});
    }
    s.liveNames.insert(name, id);
    s.namesPending.push_back({NameChange::Create, name, QString(), id});
    return id;
}

// Takes in what the program did to the folder's names without the model (unlinks, new files).
inline void reconcileLocked()
{
    State &s = state();
    const QHash<QString, int> live = s.liveNames;
    for (auto it = live.begin(); it != live.end(); ++it) {
        dev_t dev = 0;
        ino_t ino = 0;
        const Node &n = s.nodes[it.value()];
        if (!identity(it.key(), dev, ino) || dev != n.dev || ino != n.ino) {
            s.liveNames.remove(it.key());
            s.namesPending.push_back({NameChange::Remove, it.key(), QString(), it.value()});
        }
    }
    for (const QString &name : realNames())
        nodeForLocked(name);
}

inline void syncNodeLocked(int id)
{
    Node &n = state().nodes[id];
    for (const Change &c : n.pending)
        apply(n.durable, c);
    n.pending.clear();
}

inline void syncFolderLocked()
{
    State &s = state();
    reconcileLocked();
    s.durableNames = s.liveNames;
    s.namesPending.clear();
    for (auto it = s.nodes.begin(); it != s.nodes.end();) {
        const bool named = std::find(s.liveNames.cbegin(), s.liveNames.cend(), it->first) != s.liveNames.cend();
        it = named || it->second.handles > 0 ? std::next(it) : s.nodes.erase(it);
    }
}

// True when this operation meets the cut (it then fails, as does every later one).
inline bool strikesLocked()
{
    State &s = state();
    if (s.cut)
        return true;
    ++s.count;
    if (s.cutAt > 0 && s.count >= s.cutAt)
        s.cut = true;
    return s.cut;
}

// Every file of the folder as it lies, durable: the state after a reboot.
inline void bootLocked()
{
    State &s = state();
    s.nodes.clear();
    s.durableNames.clear();
    s.liveNames.clear();
    s.namesPending.clear();
    s.cut = false;
    s.cutAt = 0;
    s.count = 0;
    if (s.folder.isEmpty())
        return;
    for (const QString &name : realNames()) {
        const int id = s.nextNode++;
        Node &n = s.nodes[id];
        identity(name, n.dev, n.ino);
        QFile f(pathOf(name));
        if (f.open(QIODevice::ReadOnly))
            n.durable = f.readAll();
        s.durableNames.insert(name, id);
    }
    s.liveNames = s.durableNames;
}

inline File *fileOf(sqlite3_file *f) { return reinterpret_cast<File *>(f); }
inline sqlite3_file *realOf(sqlite3_file *f) { return fileOf(f)->real; }

inline int xClose(sqlite3_file *f)
{
    State &s = state();
    {
        std::lock_guard lock(s.mutex);
        if (fileOf(f)->node >= 0)
            --s.nodes[fileOf(f)->node].handles;
    }
    sqlite3_file *r = realOf(f);
    return r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
}

inline int xRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o) { return realOf(f)->pMethods->xRead(realOf(f), b, n, o); }

inline int xWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    const int node = fileOf(f)->node;
    if (s.cut || (node >= 0 && strikesLocked()))
        return SQLITE_IOERR_WRITE;
    const int rc = realOf(f)->pMethods->xWrite(realOf(f), b, n, o);
    if (rc == SQLITE_OK && node >= 0)
        s.nodes[node].pending.push_back({o, QByteArray(static_cast<const char *>(b), n), -1});
    return rc;
}

inline int xTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    const int node = fileOf(f)->node;
    if (s.cut || (node >= 0 && strikesLocked()))
        return SQLITE_IOERR_TRUNCATE;
    const int rc = realOf(f)->pMethods->xTruncate(realOf(f), size);
    if (rc == SQLITE_OK && node >= 0)
        s.nodes[node].pending.push_back({0, QByteArray(), size});
    return rc;
}

inline int xSync(sqlite3_file *f, int flags)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    File *file = fileOf(f);
    if (s.cut || (file->node >= 0 && strikesLocked()))
        return SQLITE_IOERR_FSYNC;
    if (file->node < 0)
        return realOf(f)->pMethods->xSync(realOf(f), flags);
    syncNodeLocked(file->node);
    if (std::exchange(file->syncFolder, false))
        syncFolderLocked();
    return SQLITE_OK;
}

inline int xFileSize(sqlite3_file *f, sqlite3_int64 *s) { return realOf(f)->pMethods->xFileSize(realOf(f), s); }
inline int xLock(sqlite3_file *f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); }
inline int xUnlock(sqlite3_file *f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); }
inline int xCheckReservedLock(sqlite3_file *f, int *r) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r); }
inline int xFileControl(sqlite3_file *f, int op, void *a) { return realOf(f)->pMethods->xFileControl(realOf(f), op, a); }
inline int xSectorSize(sqlite3_file *f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
inline int xDeviceCharacteristics(sqlite3_file *f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }

inline int xOpen(sqlite3_vfs *, const char *zName, sqlite3_file *f, int flags, int *outFlags)
{
    State &s = state();
    File *file = fileOf(f);
    file->real = reinterpret_cast<sqlite3_file *>(file + 1);
    file->base.pMethods = nullptr;
    file->node = -1;
    file->syncFolder = false;
    const std::optional<QString> name = zName ? nameIn(QString::fromUtf8(zName)) : std::nullopt;
    std::lock_guard lock(s.mutex);
    if (s.cut && (flags & SQLITE_OPEN_CREATE) && name && !QFileInfo::exists(pathOf(*name)))
        return SQLITE_CANTOPEN; // nothing new reaches the disk
    const int rc = s.real->xOpen(s.real, zName, file->real, flags, outFlags);
    if (rc != SQLITE_OK || !file->real->pMethods)
        return rc;
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
    if (name) {
        file->node = nodeForLocked(*name);
        ++s.nodes[file->node].handles;
        file->syncFolder = (flags & SQLITE_OPEN_CREATE)
            && (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL | SQLITE_OPEN_WAL));
    }
    return rc;
}

inline int xDelete(sqlite3_vfs *, const char *zName, int syncDir)
{
    State &s = state();
    const std::optional<QString> name = nameIn(QString::fromUtf8(zName));
    std::lock_guard lock(s.mutex);
    if (s.cut || (name && strikesLocked()))
        return SQLITE_IOERR_DELETE;
    const int rc = s.real->xDelete(s.real, zName, name ? 0 : syncDir);
    if (rc == SQLITE_OK && name) {
        if (const auto it = s.liveNames.constFind(*name); it != s.liveNames.constEnd()) {
            s.namesPending.push_back({NameChange::Remove, *name, QString(), *it});
            s.liveNames.remove(*name);
        }
        if (syncDir)
            syncFolderLocked();
    }
    return rc;
}

inline int xAccess(sqlite3_vfs *, const char *n, int f, int *r) { return state().real->xAccess(state().real, n, f, r); }
inline int xFullPathname(sqlite3_vfs *, const char *n, int size, char *out) { return state().real->xFullPathname(state().real, n, size, out); }
inline void *xDlOpen(sqlite3_vfs *, const char *n) { return state().real->xDlOpen(state().real, n); }
inline void xDlError(sqlite3_vfs *, int n, char *m) { state().real->xDlError(state().real, n, m); }
inline void (*xDlSym(sqlite3_vfs *, void *h, const char *s))(void) { return state().real->xDlSym(state().real, h, s); }
inline void xDlClose(sqlite3_vfs *, void *h) { state().real->xDlClose(state().real, h); }
inline int xRandomness(sqlite3_vfs *, int n, char *out) { return state().real->xRandomness(state().real, n, out); }
inline int xSleep(sqlite3_vfs *, int us) { return state().real->xSleep(state().real, us); }
inline int xCurrentTime(sqlite3_vfs *, double *t) { return state().real->xCurrentTime(state().real, t); }

// FileReplacement's flush of a file by its path, or of a folder.
inline bool syncStep(const QByteArray &path, bool folder)
{
    State &s = state();
    const QString p = QFile::decodeName(path);
    const bool isFolder = folder && !s.folder.isEmpty() && QFileInfo(p).canonicalFilePath() == s.folder;
    const std::optional<QString> name = folder ? std::nullopt : nameIn(p);
    std::lock_guard lock(s.mutex);
    if (s.cut || ((isFolder || name) && strikesLocked())) {
        errno = EIO;
        return false;
    }
    if (isFolder) {
        syncFolderLocked();
    } else if (name) {
        syncNodeLocked(nodeForLocked(*name));
    } else {
        const int fd = ::open(path.constData(), (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
        const bool ok = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    return true;
}

// FileReplacement's rename.
inline int renameStep(const QByteArray &from, const QByteArray &to)
{
    State &s = state();
    const std::optional<QString> fromName = nameIn(QFile::decodeName(from));
    const std::optional<QString> toName = nameIn(QFile::decodeName(to));
    std::lock_guard lock(s.mutex);
    if (s.cut || ((fromName || toName) && strikesLocked())) {
        errno = EIO;
        return -1;
    }
    const int node = fromName ? nodeForLocked(*fromName) : -1;
    const int rc = ::rename(from.constData(), to.constData());
    if (rc != 0)
        return rc;
    if (fromName && toName) {
        s.liveNames.remove(*fromName);
        s.liveNames.insert(*toName, node);
        s.namesPending.push_back({NameChange::Rename, *fromName, *toName, node});
    } else if (fromName) {
        s.liveNames.remove(*fromName);
        s.namesPending.push_back({NameChange::Remove, *fromName, QString(), node});
    } else if (toName) {
        s.liveNames.remove(*toName);
        nodeForLocked(*toName);
    }
    return rc;
}

// Makes the power-loss VFS the default one (once), and the program's plain-file steps its own.
inline void install()
{
    State &s = state();
    FileReplacement::syncStep() = syncStep;
    FileReplacement::renameStep() = renameStep;
    if (s.real)
        return;
    s.real = sqlite3_vfs_find(nullptr);
    s.vfs.iVersion = 1;
    s.vfs.szOsFile = int(sizeof(File)) + s.real->szOsFile;
    s.vfs.mxPathname = s.real->mxPathname;
    s.vfs.zName = "velostok-powerloss";
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

// From now on the files of folder are modelled, every one of them durable as it lies (an empty
// folder: none is).
inline void watch(const QString &folder)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.folder = folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
    bootLocked();
}

// The Nth operation from now cuts the power (0: none is armed).
inline void arm(int n)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.cutAt = n;
    s.count = 0;
}

// Cuts the power now.
inline void cutNow()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.cut = true;
}

inline bool isCut()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.cut;
}

// Writes, truncations, syncs, deletions and renames counted since arm().
inline int operations()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.count;
}

// Lays the folder out as the disk holds it after the cut (cutting now, if it was not yet), then
// takes it as durable. Every file of the folder must be closed.
inline void reboot(QRandomGenerator &random, Keep keep = Keep::Some)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.cut = true;
    for (const auto &[id, n] : s.nodes)
        if (n.handles > 0)
            qFatal("power loss: a file of the folder stayed open across the cut");
    reconcileLocked();

    // The names: those of the last flush, and the earlier part of the changes since.
    const int changes = int(s.namesPending.size());
    const int kept = keep == Keep::Nothing ? 0 : keep == Keep::Everything ? changes : int(random.bounded(changes + 1));
    QHash<QString, int> names = s.durableNames;
    for (int i = 0; i < kept; ++i) {
        const NameChange &c = s.namesPending[size_t(i)];
        if (c.kind == NameChange::Create) {
            names.insert(c.name, c.node);
        } else if (c.kind == NameChange::Remove) {
            names.remove(c.name);
        } else {
            names.remove(c.name);
            names.insert(c.to, c.node);
        }
    }

    // The contents: as at the last sync, with some of the writes since, sector by sector.
    const double share = random.generateDouble();
    const bool torn = random.bounded(4) == 0;
    std::map<int, QByteArray> contents;
    for (const int id : std::as_const(names)) {
        if (contents.count(id))
            continue;
        const Node &n = s.nodes[id];
        QByteArray c = n.durable;
        for (const Change &change : n.pending) {
            if (keep == Keep::Nothing)
                break;
            if (keep == Keep::Everything || change.truncateTo >= 0) {
                if (keep == Keep::Everything || random.generateDouble() < share)
                    apply(c, change);
                continue;
            }
            for (qint64 at = change.offset; at < change.offset + change.data.size();) {
                const qint64 end = std::min(change.offset + change.data.size(), (at / SectorSize + 1) * SectorSize);
                QByteArray piece = change.data.mid(at - change.offset, end - at);
                if (random.generateDouble() < share) {
                    apply(c, at, piece);
                } else if (torn && random.bounded(8) == 0) {
                    for (char &b : piece)
                        b = char(random.bounded(256));
                    apply(c, at, piece);
                }
                at = end;
            }
        }
        contents[id] = c;
    }

    for (const QString &name : realNames())
        if (!names.contains(name))
            QFile::remove(pathOf(name));
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        QFile f(pathOf(it.key()));
        const QByteArray &c = contents[it.value()];
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(c) != c.size())
            qFatal("power loss: %s could not be laid out", qPrintable(pathOf(it.key())));
    }
    bootLocked();
}

} // namespace powerloss
