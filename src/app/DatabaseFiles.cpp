// Database files: create, switch, compact, archive.
#include "DatabaseFiles.h"

#include "AppLog.h"
#include "base/Clock.h"
#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "engine/EngineFactory.h"
#include "files/FileCheck.h"
#include "base/FileReplacement.h"
#include "Paths.h"
#include "Prompts.h"
#include "Settings.h"
#include "dataset/TDaoDatabase.h"
#include "files/TDaoInfo.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScopeGuard>

#include <algorithm>

namespace {

const QString DatabaseFilter = QStringLiteral("Database files|*.mdb");

// The template written over target in one step, while no copy of the program has target open.
bool copyTemplate(const QString &templ, const QString &target)
{
    try {
        const std::unique_ptr<DbEngine::Hold> alone = engines::create(target)->holdAlone(target);
        if (!alone)
            return false; // another copy (or this one) works on it: its work would be lost
        QFile in(templ);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        FileReplacement replacement(target);
        QFile out(replacement.temporaryPath());
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QByteArray content = in.readAll();
        if (in.error() != QFileDevice::NoError || out.write(content) != content.size() || !out.flush())
            return false;
        out.close();
        replacement.commit();
        return true;
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "the new database" << target << "could not be made:" << e.message();
        return false;
    }
}

} // namespace

QString archiveFileName(const QDate &day, const QString &archiveCount)
{
    bool ok = false;
    int count = archiveCount.toInt(&ok);
    if (!ok)
        count = 4;
    // A count of 0 or below (an edited settings file) makes no copy rather than fail the close.
    if (count <= 0)
        return QString();
    const int digit = day.day() % 10;
    return QStringLiteral("Backup%1.mdb").arg(digit % count);
}

DatabaseFiles::DatabaseFiles(std::function<void()> connectDatabase) : mConnectDatabase(std::move(connectDatabase)) {}

void DatabaseFiles::NewBase1Click()
{
    // An inventory on a server is made in the database the setting names, which must hold none
    // yet (one that does is never overwritten), with the template's makes and models.
    if (const QString server = settings().database(); engines::isServer(server)) {
        if (!prompts().confirm(QStringLiteral("Да се създаде ли нова празна база на сървъра ?"), QStringLiteral("Warning")))
            return;
        try {
            engines::create(server)->createDatabase(server, Paths::fromProgramDir(QStringLiteral("../Sys/EmptyBase.bck")));
        } catch (const DaoError &e) {
            qCWarning(lcApp) << "the inventory on the server could not be made:" << e.message();
            prompts().message(QStringLiteral("Грешка при създаване на базата !"));
            return;
        }
        DM->DataBase->Close();
        DM->DataBase->setDatabase(server);
        mConnectDatabase();
        return;
    }
    Prompts::FileRequest r;
    r.filter = DatabaseFilter;
    r.defaultSuffix = QStringLiteral("mdb");
    r.folder = mSaveFolder;
    r.fileName = mSaveName;
    r.mustExist = false;
    const QString chosen = prompts().saveFile(r);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    mSaveFolder = file.absolutePath();
    mSaveName = file.fileName();
    if (file.exists()
        && !prompts().confirm(QStringLiteral("Фаълйт вече съществува !\rИскате ли да го промените ?"), QStringLiteral("Warning")))
        return;
    const QString templ = Paths::fromProgramDir(QStringLiteral("../Sys/EmptyBase.bck"));
    if (!QFileInfo::exists(templ))
        return;
    if (!copyTemplate(templ, file.absoluteFilePath())) {
        prompts().message(QStringLiteral("Грешка при създаване на базата !"));
        return;
    }
    settings().setDatabase(file.absoluteFilePath());
    settings().SaveSettings();
    DM->DataBase->Close();
    DM->DataBase->setDatabase(file.absoluteFilePath());
    mConnectDatabase();
}

void DatabaseFiles::ConnectTo1Click()
{
    Prompts::FileRequest r;
    r.filter = DatabaseFilter;
    r.defaultSuffix = QStringLiteral("mdb");
    r.folder = mOpenFolder.isEmpty() ? QDir::currentPath() : mOpenFolder;
    r.fileName = mOpenName;
    r.mustExist = true;
    const QString chosen = prompts().openFile(r);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    mOpenFolder = file.absolutePath();
    mOpenName = file.fileName();
    settings().setDatabase(file.absoluteFilePath());
    settings().SaveSettings();
    mConnectDatabase();
}

int DatabaseFiles::CountConnectedUsers()
{
    TDaoInfo *info = DM->dbInfo;
    info->setActive(false);
    info->setDatabase(DM->DataBase->Database());
    info->setActive(true);
    return info->NumberOfUsers();
}

void DatabaseFiles::Compact1Click()
{
    if (!prompts().confirm(QStringLiteral("За да премахнете временните таблици от базата,\rтрябва всички потребители да бъдат изключени !"),
                           QStringLiteral("Внимание")))
        return;
    TDaoDatabase *db = DM->DataBase;
    // A file damaged in its tables is never compacted: the copy would lose what cannot be read.
    if (db->Damaged()) {
        prompts().message(damageMessage(db->Database(), std::nullopt));
        return;
    }
    if (db->Connected()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        std::optional<FileHealth> health;
        try {
            health = db->CheckFile();
        } catch (const DaoError &e) {
            qCWarning(lcApp) << "the check before compaction failed:" << e.message();
        }
        if (health && health->damage == FileHealth::Tables) {
            qCWarning(lcApp) << db->Database() << "is damaged:" << health->problems;
            db->setDamaged(true);
            prompts().message(damageMessage(db->Database(), std::nullopt));
            return;
        }
    }
    try {
        // A database left closed by a failed compaction or connection is copied all the same.
        db->CopyDatabase(QDir::current().absoluteFilePath(QStringLiteral("Compact.mdb")));
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "the safety copy before compaction failed:" << e.message();
        prompts().message(QStringLiteral("Не може да се създаде копие на базата!"));
        return;
    }
    try {
        db->Close();
        if (CountConnectedUsers() >= 1) {
            QString text = QStringLiteral("Има свързани към базата потребители !\n\r Прекратете връзките и опитайте пак!\n\r\tСвързани в момента са :\n\r");
            for (const QString &user : DM->dbInfo->LoggedNowUsers())
                text += user + QStringLiteral("\r\n");
            prompts().message(text);
            mConnectDatabase();
            return;
        }
        db->CompactDatabaseFile(db->Database(), db->DatabasePassword);
    } catch (const FileDamaged &e) {
        qCWarning(lcApp) << "compaction refused:" << e.message();
        prompts().message(damageMessage(db->Database(), std::nullopt));
        return;
    } catch (const DaoError &e) {
        // The connection stays closed until the user connects again.
        qCWarning(lcApp) << "compaction failed:" << e.message();
        prompts().message(QStringLiteral("Грешка при сбиване на базата !\rУверете се че никой не използва базата\rв момента и опитайте пак да я сбиете !"));
        return;
    }
    prompts().message(QStringLiteral("Базата е сбита успешно !"));
    mConnectDatabase();
}

void DatabaseFiles::archiveOnClose()
{
    TDaoDatabase *db = DM ? DM->DataBase : nullptr;
    if (!db || !settings().autoArchive() || !db->Connected())
        return;
    const QString name = archiveFileName(Clock::today(), settings().archiveCount());
    if (name.isEmpty() || QFileInfo(db->Database()).fileName() == name)
        return;
    // A large inventory on a server takes seconds to copy: the window shows it is busy.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    // A damaged file never takes the place of a sound older copy.
    if (db->Damaged())
        return; // told when it was found
    try {
        if (const std::optional<FileHealth> health = db->CheckFile(); health && health->damage != FileHealth::Sound) {
            qCWarning(lcApp) << "no archive copy of the damaged" << db->Database() << ":" << health->problems;
            prompts().message(QStringLiteral("Архивно копие не е направено: файлът на базата \"%1\" е повреден.\r"
                                             "По-старите архивни копия са запазени непроменени.")
                                  .arg(db->Database()));
            return;
        }
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "no archive copy: the check failed:" << e.message();
        return;
    }
    // A server's inventory is written row by row: the bar shows how far it has come, repainted
    // now and then (input waits until the copy is over).
    QElapsedTimer paint;
    paint.start();
    const auto hideBar = qScopeGuard([this] {
        if (mBar)
            mBar->hide();
    });
    const auto progress = [&](qint64 done, qint64 total) {
        if (!mBar || paint.elapsed() < 100)
            return;
        paint.start();
        mBar->setRange(0, 1000);
        mBar->setValue(int(total > 0 ? std::min<qint64>(done, total) * 1000 / total : 0));
        mBar->show();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    // A failed copy is silent and the close goes on: the settings are still saved.
    try {
        db->CopyOpenDatabase(QDir(Paths::programDir()).absoluteFilePath(name), progress);
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "the archive copy" << name << "failed:" << e.message();
    } catch (const std::exception &e) {
        qCWarning(lcApp) << "the archive copy" << name << "failed:" << e.what();
    }
}

QStringList DatabaseFiles::backupFiles()
{
    QStringList out;
    const QDir dir(Paths::programDir());
    for (int slot = 0; slot <= 9; ++slot)
        if (const QString f = dir.absoluteFilePath(QStringLiteral("Backup%1.mdb").arg(slot)); QFileInfo(f).isFile())
            out << f;
    return out;
}

QString DatabaseFiles::damageMessage(const QString &file, const std::optional<QStringList> &soundBackups, bool open)
{
    QString text = QStringLiteral("Файлът на базата \"%1\" е повреден: част от записите не може да бъде прочетена.\r").arg(file);
    text += open ? QStringLiteral("Програмата продължава само за четене: промени не се записват и не се прави архивно копие.\r")
                 : QStringLiteral("Базата не може да бъде отворена.\r");
    if (soundBackups && soundBackups->isEmpty()) {
        text += QStringLiteral("В папката на програмата няма здраво архивно копие.\r");
    } else if (soundBackups) {
        QStringList lines;
        for (const QString &b : *soundBackups) {
            const QFileInfo fi(b);
            lines << QStringLiteral("   %1 от %2").arg(fi.fileName(), fi.lastModified().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        }
        text += QStringLiteral("Здрави архивни копия в папката на програмата (%1):\r%2\r").arg(QDir::toNativeSeparators(Paths::programDir()), lines.join(QLatin1Char('\r')));
    } else if (!backupFiles().isEmpty()) {
        text += QStringLiteral("В папката на програмата има архивни копия (Backup*.mdb).\r");
    }
    text += QStringLiteral("Затворете програмата и заменете файла на базата със здраво копие.");
    return text;
}

void DatabaseFiles::connected()
{
    mCheckWanted = !mRepairing;
}

void DatabaseFiles::startFileCheck()
{
    if (!std::exchange(mCheckWanted, false))
        return;
    DM->DataBase->startFileCheck(backupFiles());
}

void DatabaseFiles::fileChecked(const FileHealth &health, const QStringList &soundBackups)
{
    TDaoDatabase *db = DM->DataBase;
    if (!db->Connected() || health.damage == FileHealth::Sound)
        return;
    qCWarning(lcApp) << db->Database() << "is damaged:" << health.problems;
    if (health.damage == FileHealth::Tables) {
        db->setDamaged(true);
        prompts().message(damageMessage(db->Database(), soundBackups));
        return;
    }
    // Every row reads whole: the file is made anew from them, as compaction does, when no one
    // else has it open.
    const QString file = db->Database();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    bool repaired = false;
    try {
        db->Close();
        if (CountConnectedUsers() == 0) {
            db->CompactDatabaseFile(file, db->DatabasePassword);
            repaired = true;
        }
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "the repair of" << file << "failed:" << e.message();
    }
    mRepairing = true;
    mConnectDatabase(); // not checked again: the repair has just read every row
    mRepairing = false;
    restore.dismiss();
    QGuiApplication::restoreOverrideCursor();
    prompts().message(repaired ? QStringLiteral("Файлът на базата \"%1\" имаше повреда в индексите и беше поправен.\r"
                                                "Всички записи са запазени.")
                                     .arg(file)
                               : QStringLiteral("Файлът на базата \"%1\" има повреда в индексите; записите са здрави.\r"
                                                "Той ще бъде поправен, когато не е отворен от друго работно място: "
                                                "при следващото стартиране или със \"Сбиване на базата\".")
                                     .arg(file));
}
