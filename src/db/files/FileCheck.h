// The database file checked in the background: the engine's quick check on a reader connection of
// its own, on a thread of idle priority, so that neither the first paint nor the work waits for
// it. It gives way to this program's writes: a write about to begin stops it at once (the post
// then waits for no lock of the check's), and it runs again once the program has not written for
// a while. On damage in the tables it also checks the archive copies it was given.
#pragma once

#include "engine/DbEngine.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class QThread;

class FileCheck : public QObject
{
    Q_OBJECT

public:
    explicit FileCheck(QObject *parent = nullptr);
    // Stops a check that runs and waits for its thread.
    ~FileCheck() override;

    // Starts checking the database engine has open, through a reader of it; backups: the archive
    // copies to check when the tables are damaged. Nothing happens for an engine with no file.
    void start(const DbEngine &engine, const QStringList &backups = QStringList());
    // Stops the check; it does not run again.
    void stop();
    // A write is about to begin: a check that runs stops now, and runs again later.
    void giveWay();
    bool running() const { return mThread != nullptr; }

    // Those of files (database files, such as archive copies) that open and whose check finds
    // nothing; each is read whole.
    static QStringList soundOf(const QStringList &files);

    // How long the program must not have written before a check that gave way runs again.
    void setQuietMs(int ms) { mQuiet.setInterval(ms); }

signals:
    // The result, on the thread that started the check; soundBackups: those of the backups whose
    // check found nothing (asked only when the tables are damaged).
    void checked(const FileHealth &health, const QStringList &soundBackups);

private:
    void run();
    void finished(quint64 run, const std::optional<FileHealth> &health, const QStringList &soundBackups, bool interrupted);

    std::shared_ptr<DbEngine> mReader;
    std::unique_ptr<QThread> mThread;
    const DbEngine *mEngine = nullptr;
    QStringList mBackups;
    QTimer mQuiet;
    bool mWanted = false; // a check is owed: it gave way, or has not run yet
    quint64 mRun = 0;     // which run a result belongs to
};
