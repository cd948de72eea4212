// How the program reads its settings. The settings window's controls hold them; each getter
// reads its control at the moment it is asked, so a change made in the window is seen at once.
// Until the settings window installs itself, the built-in defaults answer.
#pragma once

#include <QString>

class Settings
{
public:
    virtual ~Settings() = default;

    virtual QString database() const = 0;     // the database path (Database)
    virtual QString daoVersion() const = 0;   // the engine version text (DAOVersion)
    virtual QString archiveCount() const = 0; // the number of archive copies as typed (ArchiveCount)
    virtual QString skinPath() const = 0;     // SkinPath
    virtual bool showDeleted() const = 0;     // SP: rows marked deleted are shown
    virtual bool autoArchive() const = 0;     // AutoArchive
    virtual bool speedButtons() const = 0;    // SpeedButtons: the tool bar is shown
    virtual bool passByChange() const = 0;    // PassByChange: storing a row needs a user's password
    virtual bool changeLanguage() const = 0;  // ChangeLanguage: the Language menu is offered
    virtual bool skins() const = 0;           // Skins: the skin is applied
    virtual bool showSpecial() const = 0;     // the special columns are shown (not stored)
    virtual int historyDays() const = 0;      // HistoryDays: days the change history is kept, 0 for ever
    virtual bool autoRefresh() const = 0;     // AutoRefresh: others' changes are shown as they come

    // The commands that change a setting outside the settings window.
    virtual void setDatabase(const QString &path) = 0;
    virtual void setSpeedButtons(bool on) = 0;
    // Writes the settings file and the grid layout; tells the user when they cannot be written.
    virtual void SaveSettings() = 0;

    // The filter that hides or shows the rows marked deleted, by the setting SP.
    QString deletedFilter() const;
};

// The installed settings, or the defaults.
Settings &settings();
// Installs s (not owned); nullptr restores the defaults.
void setSettings(Settings *s);
