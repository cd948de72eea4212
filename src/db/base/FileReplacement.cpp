// Atomic replacement of a file: temporary file, fsync, rename, fsync of the folder.
#include "base/FileReplacement.h"

#include "base/DaoError.h"
#include "base/DbLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool syncPath(const QByteArray &path, bool folder)
{
    const int fd = ::open(path.constData(), (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A byte far beyond anything SQLite locks (its lock bytes lie at 1 GiB): held by the process that
// writes a temporary file, so that a file nobody holds is known to be left over.
constexpr off_t InUseByte = off_t(1) << 40;

bool lockInUse(int fd)
{
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = InUseByte;
    fl.l_len = 1;
    fl.l_pid = 0;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// The permissions a new file gets from open(): 0666 less the process's umask.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    // Without /proc: read it by setting it, and set it back at once.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

const QString FileReplacement::Suffix = QStringLiteral(".velostok-tmp");

int FileReplacement::removeLeftovers(const QString &folder, const QString &prefix)
{
    const QDir dir(folder);
    const QRegularExpression name(QStringLiteral("^") + QRegularExpression::escape(prefix) + QStringLiteral("[A-Za-z0-9]{6}")
                                  + QRegularExpression::escape(Suffix) + QStringLiteral("$"));
    int removed = 0;
    for (const QString &f : dir.entryList({prefix + QStringLiteral("*") + Suffix}, QDir::Files | QDir::Hidden)) {
        if (!name.match(f).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(f));
        const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Held: another process is writing it now.
        const bool abandoned = lockInUse(fd);
        if (abandoned) {
            ::unlink(path.constData());
            ::unlink((path + "-journal").constData());
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

std::function<bool(const QByteArray &, bool)> &FileReplacement::syncStep()
{
    static std::function<bool(const QByteArray &, bool)> step = syncPath;
    return step;
}

std::function<int(const QByteArray &, const QByteArray &)> &FileReplacement::renameStep()
{
    static std::function<int(const QByteArray &, const QByteArray &)> step =
        [](const QByteArray &from, const QByteArray &to) { return ::rename(from.constData(), to.constData()); };
    return step;
}

FileReplacement::FileReplacement(const QString &target, const QString &prefix, Permissions permissions)
    : mTarget(QFileInfo(target).absoluteFilePath())
{
    const QFileInfo fi(mTarget);
    const QString name = prefix.isEmpty() ? fi.fileName() + QLatin1Char('.') : prefix;
    const QByteArray suffix = QFile::encodeName(Suffix);
    QByteArray pattern = QFile::encodeName(fi.absolutePath() + QLatin1Char('/') + name + QStringLiteral("XXXXXX")) + suffix;
    const int fd = ::mkstemps(pattern.data(), int(suffix.size()));
    if (fd < 0)
        throw DaoError(QStringLiteral("Не може да се създаде временен файл в папката на \"%1\": %2")
                           .arg(mTarget, QString::fromLocal8Bit(std::strerror(errno))));
    // mkstemp makes it readable by its owner alone.
    struct stat old = {};
    mode_t mode = 0600;
    if (permissions == Permissions::OfNewFile)
        mode = newFileMode();
    else if (permissions == Permissions::OfTarget)
        mode = ::stat(QFile::encodeName(mTarget).constData(), &old) == 0 ? (old.st_mode & 0777) : newFileMode();
    if (::fchmod(fd, mode) != 0)
        qCWarning(lcDb) << "could not set the permissions of" << QFile::decodeName(pattern);
    // Held while the file is being written: a later look at the folder knows it is in use.
    lockInUse(fd);
    mHold = fd;
    mTemporary = QFile::decodeName(pattern);
}

FileReplacement::~FileReplacement()
{
    if (!mDone) {
        QFile::remove(mTemporary);
        QFile::remove(mTemporary + QStringLiteral("-journal"));
    }
    if (mHold >= 0)
        ::close(mHold);
}

void FileReplacement::commit()
{
    const QByteArray tmp = QFile::encodeName(mTemporary);
    const QByteArray target = QFile::encodeName(mTarget);
    const auto &sync = syncStep(); // an emptied step is the plain fsync again
    const auto flush = [&sync](const QByteArray &path, bool folder) { return sync ? sync(path, folder) : syncPath(path, folder); };
    if (!flush(tmp, false))
        throw DaoError(QStringLiteral("Копието \"%1\" не може да бъде записано на диска; \"%2\" е непроменен.")
                           .arg(mTemporary, mTarget));
    const auto &step = renameStep(); // an emptied step is the plain rename again
    if ((step ? step(tmp, target) : ::rename(tmp.constData(), target.constData())) != 0)
        throw DaoError(QStringLiteral("\"%1\" не може да бъде заменен: %2. Файлът е непроменен.")
                           .arg(mTarget, QString::fromLocal8Bit(std::strerror(errno))));
    mDone = true;
    // The rename is done; without this it could still be lost with the folder's entry.
    if (!flush(QFile::encodeName(QFileInfo(mTarget).absolutePath()), true))
        qCWarning(lcDb) << "could not flush the folder of" << mTarget;
}
