// The settings in force, and the built-in defaults that answer until the settings window exists.
#include "Settings.h"

namespace {

class DefaultSettings final : public Settings
{
public:
    QString database() const override { return mDatabase; }
    QString daoVersion() const override { return QStringLiteral("3.6"); }
    QString archiveCount() const override { return QStringLiteral("3"); }
    QString skinPath() const override { return QStringLiteral("..\\Skins\\MySkin.skn"); }
    bool showDeleted() const override { return false; }
    bool autoArchive() const override { return true; }
    bool speedButtons() const override { return mSpeedButtons; }
    bool passByChange() const override { return false; }
    bool changeLanguage() const override { return false; }
    bool skins() const override { return true; }
    bool showSpecial() const override { return false; }
    int historyDays() const override { return 365; }
    bool autoRefresh() const override { return true; }
    void setDatabase(const QString &path) override { mDatabase = path; }
    void setSpeedButtons(bool on) override { mSpeedButtons = on; }
    void SaveSettings() override {}

private:
    QString mDatabase = QStringLiteral("Velostok.MDB");
    bool mSpeedButtons = true;
};

Settings *installed = nullptr;

} // namespace

QString Settings::deletedFilter() const
{
    return showDeleted() ? QString() : QStringLiteral("[deleted]=False");
}

Settings &settings()
{
    static DefaultSettings defaults;
    return installed ? *installed : defaults;
}

void setSettings(Settings *s)
{
    installed = s;
}
