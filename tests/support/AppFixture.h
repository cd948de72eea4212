// A program tree for window tests: Bin/ (the program directory), Sys/EmptyBase.bck, and work/
// as the working directory with its own Velostok.mdb; every window created and the main window
// shown on it.
#pragma once

#include "InventoryGrid.h"
#include "MainMenus.h"
#include "Paths.h"
#include "RecordCommands.h"
#include "Regional.h"
#include "ScriptedPrompts.h"
#include "SqliteConnection.h"
#include "Startup.h"
#include "uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <QTest>

struct AppFixture
{
    QTemporaryDir root;
    ScriptedPrompts prompts;
    QString oldCwd = QDir::currentPath();

    // withDatabase false: the working folder starts empty.
    explicit AppFixture(bool withDatabase = true)
    {
        for (const char *d : {"Bin", "Sys", "work"})
            QDir(root.path()).mkpath(QLatin1String(d));
        QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), root.filePath(QStringLiteral("Sys/EmptyBase.bck")));
        if (withDatabase)
            QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), db());
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

    // Statements on a connection of its own, as another program would run them.
    void exec(const QString &sql) const
    {
        SqliteConnection c;
        c.open(db());
        c.exec(sql);
    }
    QVariant scalar(const QString &sql) const
    {
        SqliteConnection c;
        c.open(db());
        return c.scalar(sql);
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
