// A program tree for window tests: Bin/ (the program directory), Sys/EmptyBase.bck, and work/
// as the working directory with its own Velostok.mdb; every window created and the main window
// shown on it. With VELOSTOK_PG_TEST set, the inventory is instead a fresh one on that server,
// made from the same template, and the settings file names it.
#pragma once

#include "InventoryGrid.h"
#include "MainMenus.h"
#include "Paths.h"
#include "RawDb.h"
#include "RecordCommands.h"
#include "base/Regional.h"
#include "ScriptedPrompts.h"
#include "ServerDb.h"
#include "SettingsFile.h"
#include "Startup.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <QTest>

struct AppFixture : RawDb
{
    QTemporaryDir root;
    ScriptedPrompts prompts;
    QString oldCwd = QDir::currentPath();
    std::unique_ptr<ServerDb> server;

    static bool onServer() { return !qEnvironmentVariableIsEmpty("VELOSTOK_PG_TEST"); }

    // withDatabase false: the working folder starts empty (and no server database is made).
    explicit AppFixture(bool withDatabase = true)
    {
        for (const char *d : {"Bin", "Sys", "work"})
            QDir(root.path()).mkpath(QLatin1String(d));
        QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), root.filePath(QStringLiteral("Sys/EmptyBase.bck")));
        if (withDatabase && onServer()) {
            server = std::make_unique<ServerDb>(false);
            PgEngine().createDatabase(server->conninfo, QStringLiteral(VELOSTOK_TEMPLATE));
            SettingsFile::Values v;
            v.database = server->conninfo;
            SettingsFile::writeFile(bin(QStringLiteral("set.dll")), SettingsFile::bytes(v));
            rawServer = server.get();
        } else if (withDatabase) {
            QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), db());
        }
        if (!server)
            rawFile = db();
        Paths::setProgramDir(root.filePath(QStringLiteral("Bin")));
        QDir::setCurrent(root.filePath(QStringLiteral("work")));
    }

    ~AppFixture()
    {
        Startup::destroyAll();
        QDir::setCurrent(oldCwd);
        Paths::setProgramDir({});
    }

    QString db() const { return root.filePath(QStringLiteral("work/Velostok.mdb")); }
    QString bin(const QString &name = {}) const { return QDir(root.filePath(QStringLiteral("Bin"))).filePath(name); }
    QString work() const { return root.filePath(QStringLiteral("work")); }

    // The Database setting that names the inventory.
    QString database() const { return server ? server->conninfo : db(); }

    // Creates the windows and shows the main window; showDeleted sets the setting first.
    bool start(bool showDeleted = false)
    {
        if (!Startup::createAll())
            return false;
        fSettings->cbxShowDel->setChecked(showDeleted);
        fVelostok->show();
        return DM->DataBase->Connected();
    }
};

inline void initWindowTests()
{
    regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    Startup::setupFonts();
}
