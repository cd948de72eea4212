// The settings file's reading and writing rules.
#include "SettingsFile.h"

#include "TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

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

bool SettingsFile::writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    // A folder that takes no new files may still let its existing files be rewritten.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}
