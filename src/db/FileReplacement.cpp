// Atomic replacement of a file: temporary file, fsync, rename, fsync of the folder.
#include "FileReplacement.h"

#include "DaoError.h"
#include "DbLog.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool syncPath(const QByteArray &path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::function<int(const QByteArray &, const QByteArray &)> &FileReplacement::renameStep()
{
    static std::function<int(const QByteArray &, const QByteArray &)> step =
        [](const QByteArray &from, const QByteArray &to) { return ::rename(from.constData(), to.constData()); };
    return step;
}

FileReplacement::FileReplacement(const QString &target, const QString &prefix)
    : mTarget(QFileInfo(target).absoluteFilePath())
{
    const QFileInfo fi(mTarget);
    const QString name = prefix.isEmpty() ? fi.fileName() + QLatin1Char('.') : prefix;
    QByteArray pattern = QFile::encodeName(fi.absolutePath() + QLatin1Char('/') + name + QStringLiteral("XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw DaoError(QStringLiteral("Не може да се създаде временен файл в папката на \"%1\": %2")
                           .arg(mTarget, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    mTemporary = QFile::decodeName(pattern);
}

FileReplacement::~FileReplacement()
{
    if (!mDone)
        QFile::remove(mTemporary);
}

void FileReplacement::commit()
{
    const QByteArray tmp = QFile::encodeName(mTemporary);
    const QByteArray target = QFile::encodeName(mTarget);
    if (!syncPath(tmp, O_RDWR))
        throw DaoError(QStringLiteral("Копието \"%1\" не може да бъде записано на диска; \"%2\" е непроменен.")
                           .arg(mTemporary, mTarget));
    const auto &step = renameStep(); // an emptied step is the plain rename again
    if ((step ? step(tmp, target) : ::rename(tmp.constData(), target.constData())) != 0)
        throw DaoError(QStringLiteral("\"%1\" не може да бъде заменен: %2. Файлът е непроменен.")
                           .arg(mTarget, QString::fromLocal8Bit(std::strerror(errno))));
    mDone = true;
    // The rename is done; without this it could still be lost with the folder's entry.
    if (!syncPath(QFile::encodeName(QFileInfo(mTarget).absolutePath()), O_RDONLY | O_DIRECTORY))
        qCWarning(lcDb) << "could not flush the folder of" << mTarget;
}
