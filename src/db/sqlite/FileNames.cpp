#include "sqlite/FileNames.h"

#include "base/DaoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace filenames {

QString normalised(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QString withFoundCase(const QString &path)
{
    if (QFileInfo::exists(path))
        return path;
    const QFileInfo fi(path);
    const QDir dir = fi.dir();
    if (!dir.exists())
        return path;
    QString match;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &n : names) {
        if (n.compare(fi.fileName(), Qt::CaseInsensitive) == 0) {
            if (!match.isEmpty())
                return path; // ambiguous: take none
            match = n;
        }
    }
    if (match.isEmpty())
        return path;
    // A bare name stays bare.
    return path.contains(QLatin1Char('/')) ? dir.filePath(match) : match;
}

QString locate(const QString &database, const QString &fallbackDir)
{
    QString path = withFoundCase(normalised(database));
    if (!QFileInfo::exists(path) && !fallbackDir.isEmpty())
        path = withFoundCase(QDir(fallbackDir).filePath(QFileInfo(path).fileName()));
    return path;
}

QString absolute(const QString &path) { return QFileInfo(normalised(path)).absoluteFilePath(); }

void copyBytes(const QString &source, const QString &dest, const QString &shownDest)
{
    QFile in(source);
    QFile out(dest);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде копиран: %2").arg(source, in.errorString()));
    for (QByteArray block = in.read(1 << 20); !block.isEmpty(); block = in.read(1 << 20))
        if (out.write(block) != block.size())
            throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(shownDest, out.errorString()));
    if (in.error() != QFileDevice::NoError || !out.flush())
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде копиран.").arg(source));
}

} // namespace filenames
