// The settings file set.dll: twelve key=value lines beside the program. Reading and writing rules
// only (QtCore); the settings window holds the values in its controls.
//
// Writing: always the lines Database, DAOVersion, ArchiveCount, SkinPath, SP, AutoArchive,
// SpeedButtons, PassByChange, ChangeLanguage, Skins, then the later HistoryDays and AutoRefresh, in this order, each ended by CR LF, booleans
// as "Yes"/"No", as UTF-8 without BOM; the file is replaced whole.
// Reading: lines end with CR, LF or CR LF; a file that is not valid UTF-8 is taken as CP1251. A
// key's value is the rest of the first line whose text before its first "=" equals the key,
// letter case aside (nothing trimmed); a key without a line reads as empty. Then: Database and
// DAOVersion as they are; ArchiveCount as an integer, 4 when missing or not one, written back as
// plain decimal; SkinPath only when not empty; SP, SpeedButtons, PassByChange and ChangeLanguage
// on only for exactly "Yes"; Skins and AutoArchive on unless exactly "No"; HistoryDays as a whole
// number of 0 or more, 365 otherwise; AutoRefresh on unless exactly "No" (older copies of the program
// ignore the later lines).
#pragma once

#include "base/FileReplacement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class SettingsFile
{
public:
    struct Values
    {
        QString database = QStringLiteral("Velostok.MDB");
        QString daoVersion = QStringLiteral("3.6");
        QString archiveCount = QStringLiteral("3");
        QString skinPath = QStringLiteral("..\\Skins\\MySkin.skn");
        bool showDeleted = false; // SP
        bool autoArchive = true;
        bool speedButtons = true;
        bool passByChange = false;
        bool changeLanguage = false;
        bool skins = true;
        // Days the change history is kept (HistoryDays); 0 keeps it for ever.
        int historyDays = 365;
        // The grid and the tables' windows follow other counters' changes (AutoRefresh).
        bool autoRefresh = true;

        bool operator==(const Values &) const = default;
    };

    // The lines as written.
    static QStringList lines(const Values &values);
    static QByteArray bytes(const Values &values);

    // The lines of a file's bytes.
    static QStringList splitLines(const QByteArray &bytes);
    // The value of key in lines, empty when no line has it.
    static QString valueOf(const QStringList &lines, const QString &key);
    // The values the lines give, starting from current (which keeps what the rules leave).
    static Values read(const QStringList &lines, const Values &current);

    // The lines of the file at path; nullopt when there is no such file. Sets *error (and
    // gives nullopt) when it exists but cannot be read.
    static std::optional<QStringList> readFile(const QString &path, QString *error);
    // Replaces the file at path with bytes, with the permissions asked for; false when it cannot
    // be written (the old file is then left as it was where the folder allows a new file beside
    // it). In a folder that takes no new file, an existing file is written over in place; an
    // owner's-only one only when it can be made so first.
    static bool writeFile(const QString &path, const QByteArray &bytes,
                          FileReplacement::Permissions permissions = FileReplacement::Permissions::OfTarget);
    // The permissions set.dll is written with: its owner's alone while the Database setting holds
    // a password, those of a new file otherwise.
    static FileReplacement::Permissions permissionsFor(const Values &values);
};
