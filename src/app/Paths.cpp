#include "Paths.h"

#include <QCoreApplication>
#include <QDir>

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

} // namespace Paths
