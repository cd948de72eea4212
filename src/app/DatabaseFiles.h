// The main window's commands on database files: a new database from the template, connecting to
// another file, compaction with its safety copy, and the archive copy made on closing.
#pragma once

#include "engine/DbEngine.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>

class QProgressBar;

// The archive copy's file name for a day and the ArchiveCount text ("Backup" + slot + ".mdb"),
// the slot being the day's last digit modulo the count (4 when the text is no number); empty
// when the count is 0 or below (no copy).
QString archiveFileName(const QDate &day, const QString &archiveCount);

class DatabaseFiles
{
public:
    // connectDatabase: the main window's ConnectDatabase.
    explicit DatabaseFiles(std::function<void()> connectDatabase);
    // The main window's bar, which shows how far a long archive copy has come.
    void setProgressBar(QProgressBar *bar) { mBar = bar; }

    void NewBase1Click();
    void ConnectTo1Click();
    void Compact1Click();
    // Connections to the current database that the roster counts now.
    int CountConnectedUsers();
    // The archive copy, when the main window is asked to close; never refuses, never raises.
    // A damaged file is not copied: the older copies stay as they are.
    void archiveOnClose();

    // The database has just been connected: its file is to be checked.
    void connected();
    // Checks the file connected last in the background, once (the main window calls it after it
    // has painted).
    void startFileCheck();
    bool checkWanted() const { return mCheckWanted; }
    // What the check found, handled while the user is not in the middle of something: damage
    // beside the rows is repaired (when no other counter is connected) and told; damage in the
    // tables leaves the file open for reading only, with a message naming the sound archive copies.
    void fileChecked(const FileHealth &health, const QStringList &soundBackups);
    // The archive copies in the program's folder, Backup0.mdb to Backup9.mdb, that exist.
    static QStringList backupFiles();
    // The message for a file damaged in its tables (kept open for reading, or not opened); the
    // sound archive copies when they are known.
    static QString damageMessage(const QString &file, const std::optional<QStringList> &soundBackups, bool open = true);

private:
    std::function<void()> mConnectDatabase;
    QProgressBar *mBar = nullptr;
    bool mCheckWanted = false;
    bool mRepairing = false;
    // The dialogs keep the folder and name of their previous use.
    QString mSaveFolder;
    QString mSaveName;
    QString mOpenFolder;
    QString mOpenName;
};
