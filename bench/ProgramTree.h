// For the window benchmarks: a program tree in a temporary folder (Bin/ as the program
// directory, Sys/EmptyBase.bck), which is also the working folder.
#pragma once

#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

struct ProgramTree
{
    QTemporaryDir dir;

    ProgramTree()
    {
        QDir(dir.path()).mkpath(QStringLiteral("Bin"));
        QDir(dir.path()).mkpath(QStringLiteral("Sys"));
        QFile::copy(QStringLiteral(VELOSTOK_SYS_DIR "/EmptyBase.bck"), dir.filePath(QStringLiteral("Sys/EmptyBase.bck")));
        Paths::setProgramDir(dir.filePath(QStringLiteral("Bin")));
        QDir::setCurrent(dir.path());
    }

    QString filePath(const QString &name) const { return dir.filePath(name); }
};
