// The program directory, and files in it whose name may differ in letter case.
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString overridden;
}

namespace Paths {

QString programDir()
{
    return overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
}

void setProgramDir(const QString &dir)
{
    overridden = dir;
}

QString fromProgramDir(const QString &relative)
{
    QString r = relative;
    r.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir(programDir()).filePath(r));
}

QString fromCurrentDir(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir::current().absoluteFilePath(p));
}

QString programFile(const QString &name)
{
    const QDir dir(programDir());
    if (QFileInfo::exists(dir.filePath(name)))
        return dir.filePath(name);
    // Name filters ignore letter case.
    const QStringList found = dir.entryList({name}, QDir::Files | QDir::Hidden | QDir::System);
    return found.size() == 1 ? dir.filePath(found.first()) : dir.filePath(name);
}

} // namespace Paths
