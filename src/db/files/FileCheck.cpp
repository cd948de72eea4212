// The background check of the database file.
#include "files/FileCheck.h"

#include "base/DaoError.h"
#include "base/DbLog.h"
#include "base/FreedMemory.h"
#include "engine/EngineFactory.h"

#include <QPointer>
#include <QThread>

FileCheck::FileCheck(QObject *parent) : QObject(parent)
{
    mQuiet.setSingleShot(true);
    mQuiet.setInterval(3000);
    connect(&mQuiet, &QTimer::timeout, this, [this] {
        if (mWanted && !mThread && mEngine)
            run();
    });
}

FileCheck::~FileCheck()
{
    stop();
}

void FileCheck::start(const DbEngine &engine, const QStringList &backups)
{
    stop();
    if (!engine.checksFile())
        return;
    mEngine = &engine;
    mBackups = backups;
    mWanted = true;
    run();
}

void FileCheck::stop()
{
    ++mRun;
    mWanted = false;
    mEngine = nullptr;
    mQuiet.stop();
    if (!mThread)
        return;
    if (mReader)
        mReader->interrupt();
    mThread->wait();
    mThread.reset();
    mReader.reset();
}

void FileCheck::giveWay()
{
    if (!mWanted)
        return;
    mQuiet.start(); // counted from the last write
    if (mReader)
        mReader->interrupt();
}

void FileCheck::run()
{
    try {
        mReader = std::shared_ptr<DbEngine>(mEngine->openReader());
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "the file check cannot read the database:" << e.message();
        mWanted = false;
        return;
    }
    const std::shared_ptr<DbEngine> reader = mReader;
    const QStringList backups = mBackups;
    const QPointer<FileCheck> self(this);
    const quint64 run = ++mRun;
    mThread.reset(QThread::create([reader, backups, self, run] {
        QThread::currentThread()->setPriority(QThread::IdlePriority);
        std::optional<FileHealth> health;
        QStringList sound;
        bool interrupted = false;
        try {
            health = reader->checkFile();
            if (health && health->damage == FileHealth::Tables)
                sound = soundOf(backups);
        } catch (const Interrupted &) {
            interrupted = true;
        } catch (const DaoError &e) {
            qCWarning(lcDb) << "the file check failed:" << e.message();
        }
        freedmemory::giveBack();
        QMetaObject::invokeMethod(self, [self, run, health, sound, interrupted] {
            if (self)
                self->finished(run, health, sound, interrupted);
        }, Qt::QueuedConnection);
    }));
    mThread->start();
}

QStringList FileCheck::soundOf(const QStringList &files)
{
    QStringList sound;
    for (const QString &f : files) {
        try {
            std::unique_ptr<DbEngine> e = engines::create(f);
            e->open(f);
            if (const std::optional<FileHealth> h = e->checkFile(); h && h->damage == FileHealth::Sound)
                sound << f;
        } catch (const Interrupted &) {
            throw;
        } catch (const DaoError &) {
            // not sound, or not an inventory at all
        }
    }
    return sound;
}

void FileCheck::finished(quint64 run, const std::optional<FileHealth> &health, const QStringList &soundBackups, bool interrupted)
{
    if (run != mRun || !mEngine)
        return; // of a run stopped since
    if (mThread) {
        mThread->wait();
        mThread.reset();
    }
    mReader.reset();
    if (interrupted) {
        // It gave way to a write: again once the program has been quiet.
        if (mWanted && !mQuiet.isActive())
            mQuiet.start();
        return;
    }
    mWanted = false;
    if (health)
        emit checked(*health, soundBackups);
}
