// The settings file's reading and writing rules.
#include "SettingsFile.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "base/TextCodec.h"
#include "engine/EngineFactory.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

QStringList SettingsFile::lines(const Values &v)
{
    auto yesNo = [](bool on) { return on ? QStringLiteral("Yes") : QStringLiteral("No"); };
    return {
        QStringLiteral("Database=") + v.database,
        QStringLiteral("DAOVersion=") + v.daoVersion,
        QStringLiteral("ArchiveCount=") + v.archiveCount,
        QStringLiteral("SkinPath=") + v.skinPath,
        QStringLiteral("SP=") + yesNo(v.showDeleted),
        QStringLiteral("AutoArchive=") + yesNo(v.autoArchive),
        QStringLiteral("SpeedButtons=") + yesNo(v.speedButtons),
        QStringLiteral("PassByChange=") + yesNo(v.passByChange),
        QStringLiteral("ChangeLanguage=") + yesNo(v.changeLanguage),
        QStringLiteral("Skins=") + yesNo(v.skins),
        QStringLiteral("HistoryDays=") + QString::number(v.historyDays),
        QStringLiteral("AutoRefresh=") + yesNo(v.autoRefresh),
    };
}

QByteArray SettingsFile::bytes(const Values &v)
{
    return (lines(v).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

QStringList SettingsFile::splitLines(const QByteArray &bytes)
{
    static const QRegularExpression ends(QStringLiteral("\r\n|\r|\n"));
    return TextCodec::decode(bytes).split(ends);
}

QString SettingsFile::valueOf(const QStringList &lines, const QString &key)
{
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

SettingsFile::Values SettingsFile::read(const QStringList &lines, const Values &current)
{
    Values v = current;
    auto value = [&](const char *key) { return valueOf(lines, QLatin1String(key)); };
    v.database = value("Database");
    v.daoVersion = value("DAOVersion");
    bool ok = false;
    const int count = value("ArchiveCount").toInt(&ok, 10);
    v.archiveCount = QString::number(ok ? count : 4);
    if (const QString skin = value("SkinPath"); !skin.isEmpty())
        v.skinPath = skin;
    v.showDeleted = value("SP") == QLatin1String("Yes");
    v.speedButtons = value("SpeedButtons") == QLatin1String("Yes");
    v.passByChange = value("PassByChange") == QLatin1String("Yes");
    v.changeLanguage = value("ChangeLanguage") == QLatin1String("Yes");
    v.skins = value("Skins") != QLatin1String("No");
    v.autoArchive = value("AutoArchive") != QLatin1String("No");
    // A later key: a file without it, or with what is not a count of days, keeps the default.
    const int days = value("HistoryDays").toInt(&ok, 10);
    v.historyDays = ok && days >= 0 ? days : Values().historyDays;
    v.autoRefresh = value("AutoRefresh") != QLatin1String("No");
    return v;
}

std::optional<QStringList> SettingsFile::readFile(const QString &path, QString *error)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return std::nullopt;
    }
    return splitLines(f.readAll());
}

bool SettingsFile::writeFile(const QString &path, const QByteArray &bytes, FileReplacement::Permissions permissions)
{
    std::unique_ptr<FileReplacement> replacement;
    try {
        replacement = std::make_unique<FileReplacement>(path, QString(), permissions);
    } catch (const DaoError &) {
        // A folder that takes no new files may still let its existing files be rewritten.
        QFile f(path);
        if (!f.exists() || !f.open(QIODevice::ReadWrite))
            return false;
        if (permissions == FileReplacement::Permissions::OwnerOnly && ::fchmod(f.handle(), 0600) != 0)
            return false;
        return f.resize(0) && f.write(bytes) == bytes.size() && f.flush() && ::fsync(f.handle()) == 0;
    }
    try {
        QFile f(replacement->temporaryPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
            return false;
        f.close();
        replacement->commit();
        return true;
    } catch (const DaoError &) {
        return false;
    }
}

FileReplacement::Permissions SettingsFile::permissionsFor(const Values &values)
{
    return engines::holdsPassword(values.database) ? FileReplacement::Permissions::OwnerOnly
                                                    : FileReplacement::Permissions::OfNewFile;
}
