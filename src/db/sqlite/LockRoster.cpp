// The lock-file roster: entries claimed and held with open-file-description locks.
#include "sqlite/LockRoster.h"

#include "sqlite/LockFile.h"

#include "base/DaoError.h"
#include "base/TextCodec.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStringDecoder>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace lockfile;

constexpr int NameSize = 32;
constexpr int RosterBytes = LockRoster::EntrySize * LockRoster::MaxEntries;

bool writeAt(int fd, const char *data, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

bool readHead(int fd, QByteArray *out)
{
    out->resize(RosterBytes);
    qsizetype got = 0;
    while (got < RosterBytes) {
        const ssize_t n = ::pread(fd, out->data() + got, size_t(RosterBytes - got), off_t(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    out->truncate(got);
    return true;
}

bool allZero(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (c != 0)
            return false;
    }
    return true;
}

// UTF-8, zero-padded to the field; a longer name loses whole characters from its end.
QByteArray encodeName(const QString &name)
{
    QByteArray bytes = name.toUtf8();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (bytes.size() > NameSize) {
        qsizetype cut = NameSize;
        while (cut > 0 && (uchar(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    bytes.append(NameSize - bytes.size(), '\0');
    return bytes;
}


QString gateBusyText()
{
    return QStringLiteral("Базата данни в момента се сбива или поддържа.\nОпитайте отново след малко.");
}

} // namespace

LockRoster::~LockRoster()
{
    leave();
}

QString LockRoster::lockFilePath(const QString &databasePath)
{
    const qsizetype slash = databasePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = databasePath.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return databasePath.left(dot) + QStringLiteral(".ldb");
    return databasePath + QStringLiteral(".ldb");
}

QString LockRoster::decodeName(QByteArrayView field)
{
    const qsizetype zero = field.indexOf('\0');
    if (zero >= 0)
        field = field.first(zero);
    return TextCodec::decode(field);
}

bool LockRoster::join(const QString &databasePath, const QString &computer, const QString &user,
                      int timeoutMs)
{
    leave();
    const QByteArray path = QFile::encodeName(lockFilePath(databasePath));
    const QByteArray entry = encodeName(computer) + encodeName(user);
    QDeadlineTimer deadline(qMax(0, timeoutMs));

    for (int attempt = 0; attempt < ReopenAttempts; ++attempt) {
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        bool writable = fd >= 0;
        if (writable) {
            // Every user of a shared folder must be able to join, whatever this one's umask.
            ::fchmod(fd, 0666);
        } else if (errno == EACCES || errno == EROFS) {
            // No entry for us, but the gate's read lock needs only read access: holding it
            // keeps compaction from replacing the file under this connection.
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        }
        if (fd < 0)
            return false;

        int err;
        while (isConflict(err = setLock(fd, F_RDLCK, GateOffset, 1))) {
            if (deadline.hasExpired()) {
                ::close(fd);
                throw DaoError(gateBusyText());
            }
            QThread::msleep(GatePollMs);
        }
        if (err != 0) { // no locks on this file system: go on unlisted
            ::close(fd);
            return false;
        }
        if (!stillLinked(fd, path)) {
            ::close(fd);
            continue;
        }

        mFd = fd; // from here on the gate is held until leave()
        mPath = path;
        if (!writable)
            return false;
        for (int i = 0; i < MaxEntries; ++i) {
            const off_t start = off_t(i) * EntrySize;
            err = setLock(fd, F_WRLCK, start, EntrySize);
            if (isConflict(err))
                continue;
            if (err != 0 || !writeAt(fd, entry.constData(), size_t(entry.size()), start))
                break;
            mEntry = i;
            return true;
        }
        return false; // every entry held, or the file cannot be written: unlisted, gate held
    }
    return false;
}

void LockRoster::leave()
{
    if (mFd < 0)
        return;
    static const char zeros[EntrySize] = {};
    const bool cleared = mEntry >= 0 && writeAt(mFd, zeros, EntrySize, off_t(mEntry) * EntrySize);

    // The last one out removes the file, as the engine did. Only under a lock over every entry
    // and the gate, so nobody is joined or compacting; a joiner that opened the file meanwhile
    // finds it unlinked once it holds the gate and reopens.
    if (cleared && setLock(mFd, F_WRLCK, 0, GateOffset + 1) == 0) {
        QByteArray head;
        struct stat st = {};
        if (::fstat(mFd, &st) == 0 && st.st_size <= RosterBytes && readHead(mFd, &head)
            && allZero(head) && stillLinked(mFd, mPath)) {
            ::unlink(mPath.constData());
        }
    }
    ::close(mFd); // releases every lock of this connection
    mFd = -1;
    mEntry = -1;
    mPath.clear();
}

bool LockRoster::readEntries(const QString &databasePath, QList<Entry> *out, QString *errorText)
{
    out->clear();
    const QString lockPath = lockFilePath(databasePath);
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (errorText)
            *errorText = QStringLiteral("Файлът на свързаните потребители „%1“ не може да бъде отворен.")
                             .arg(lockPath);
        return false;
    }

    QByteArray head;
    if (!readHead(fd, &head)) {
        ::close(fd);
        if (errorText)
            *errorText = QStringLiteral("Файлът на свързаните потребители „%1“ не може да бъде прочетен.")
                             .arg(lockPath);
        return false;
    }

    const qsizetype count = head.size() / EntrySize;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArrayView bytes(head.constData() + i * EntrySize, EntrySize);
        if (allZero(bytes))
            continue;
        // A write-lock query needs no write access to the file.
        const int holder = conflictingLock(fd, F_WRLCK, off_t(i) * EntrySize, EntrySize);
        if (holder == -1) {
            ::close(fd);
            out->clear();
            if (errorText)
                *errorText = QStringLiteral("Заключванията на файла „%1“ не могат да бъдат проверени.")
                                 .arg(lockPath);
            return false;
        }
        Entry entry;
        entry.index = int(i);
        entry.computer = decodeName(bytes.first(NameSize));
        entry.user = decodeName(bytes.sliced(NameSize, NameSize));
        entry.held = holder != F_UNLCK;
        out->append(entry);
    }
    ::close(fd);
    return true;
}

bool LockRoster::readPlaces(const QString &databasePath, QList<Entry> *out)
{
    out->clear();
    QFile file(lockFilePath(databasePath));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(RosterBytes);
    for (qsizetype at = 0; at + EntrySize <= head.size(); at += EntrySize) {
        const QByteArrayView bytes(head.constData() + at, EntrySize);
        Entry entry;
        entry.index = int(at / EntrySize);
        entry.computer = decodeName(bytes.first(NameSize));
        entry.user = decodeName(bytes.sliced(NameSize));
        out->append(entry);
    }
    return true;
}
