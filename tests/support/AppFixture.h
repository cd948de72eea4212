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

    // A test-only trigger that refuses, with message, a row change on main (event "UPDATE OF
    // user_id", "DELETE" …) when the condition on NEW or OLD holds; dropped by allow(name).
    void refuse(const QString &name, const QString &event, const QString &condition, const QString &message) const
    {
        if (!server) {
            exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON main WHEN %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                     .arg(name, event, condition, message));
            return;
        }
        const QString row = event.startsWith(QLatin1String("DELETE")) ? QStringLiteral("OLD") : QStringLiteral("NEW");
        exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF %3 THEN RAISE EXCEPTION '%4'; "
                            "END IF; RETURN %5; END $$; CREATE TRIGGER %1 BEFORE %2 ON main FOR EACH ROW EXECUTE FUNCTION %1()")
                 .arg(name, event, condition, message, row));
    }
    void allow(const QString &name) const
    {
        exec(server ? QStringLiteral("DROP TRIGGER %1 ON main; DROP FUNCTION %1()").arg(name)
                    : QStringLiteral("DROP TRIGGER %1").arg(name));
    }

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
