// The main window's commands on database files: a new database from the template, connecting to
// another file, compaction with its safety copy, and the archive copy made on closing.
#pragma once

#include <QDate>
#include <QString>
#include <functional>

// The archive copy's file name for a day and the ArchiveCount text ("Backup" + slot + ".mdb"),
// the slot being the day's last digit modulo the count (4 when the text is no number); empty
// when the count is 0 or below (no copy).
QString archiveFileName(const QDate &day, const QString &archiveCount);

class DatabaseFiles
{
public:
    // connectDatabase: the main window's ConnectDatabase.
    explicit DatabaseFiles(std::function<void()> connectDatabase);

    void NewBase1Click();
    void ConnectTo1Click();
    void Compact1Click();
    // Connections to the current database that the roster counts now.
    int CountConnectedUsers();
    // The archive copy, when the main window is asked to close; never refuses, never raises.
    void archiveOnClose();

private:
    std::function<void()> mConnectDatabase;
    // The dialogs keep the folder and name of their previous use.
    QString mSaveFolder;
    QString mSaveName;
    QString mOpenFolder;
    QString mOpenName;
};
