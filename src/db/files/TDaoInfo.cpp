// The connected-users component over the lock-file roster.
#include "files/TDaoInfo.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "base/DbLog.h"
#include "engine/EngineFactory.h"
#include "files/LockRoster.h"

#include <QFile>
#include <QFileInfo>

TDaoInfo::TDaoInfo(QObject *parent)
    : QObject(parent)
{
}

void TDaoInfo::setActive(bool active)
{
    mActive = active;
    if (!active)
        return;
    runDatabaseVersion();
    emit AfterGetDatabaseVersion();
    runNumberOfUsers();
    emit AfterGetNumberOfUsers();
    runUserList(AllUsers, &mLoggedUsers);
    emit AfterGetLoggedUsers();
    runUserList(UsersNow, &mLoggedNowUsers);
    emit AfterGetLoggedNowUsers();
    runUserList(SuspectUsers, &mErrorUsers);
    emit AfterGetErrorUsers();
    runLoggedUsersEx();
    emit AfterGetLoggedUsersEx();
}

int TDaoInfo::DatabaseVersion()
{
    if (!mActive)
        return 0;
    runDatabaseVersion();
    return mDatabaseVersion;
}

int TDaoInfo::NumberOfUsers()
{
    if (!mActive)
        return 0;
    runNumberOfUsers();
    return mNumberOfUsers;
}

QStringList TDaoInfo::LoggedUsers()
{
    if (mActive)
        runUserList(AllUsers, &mLoggedUsers);
    return mLoggedUsers;
}

QStringList TDaoInfo::LoggedNowUsers()
{
    if (mActive)
        runUserList(UsersNow, &mLoggedNowUsers);
    return mLoggedNowUsers;
}

QStringList TDaoInfo::ErrorUsers()
{
    if (mActive)
        runUserList(SuspectUsers, &mErrorUsers);
    return mErrorUsers;
}

QStringList TDaoInfo::LoggedUsersEx()
{
    if (mActive)
        runLoggedUsersEx();
    return mLoggedUsersEx;
}

// The count queries leave an earlier error in place; only a failure of their own replaces it.
void TDaoInfo::runDatabaseVersion()
{
    const int result = getDatabaseVersion();
    if (result < 0)
        setError(result);
    mDatabaseVersion = qMax(0, result);
}

void TDaoInfo::runNumberOfUsers()
{
    const int result = getUsers(CountOnly, nullptr);
    if (result < 0)
        setError(result);
    mNumberOfUsers = qMax(0, result);
}

void TDaoInfo::runUserList(UserOption option, QStringList *list)
{
    list->clear();
    mLastError = NoError;
    mLastErrorText.clear();
    QStringList names;
    const int result = getUsers(option, &names);
    if (result < 0)
        setError(result);
    else
        *list = names;
}

// A server lists its connections itself: every one is held, none is suspect. False when the
// server cannot be asked.
bool TDaoInfo::serverEntries(QList<LockRoster::Entry> *entries) const
{
    try {
        const std::optional<QList<DbEngine::Connected>> now = engines::create(mDatabase)->connectedTo(mDatabase);
        for (const DbEngine::Connected &c : now.value_or(QList<DbEngine::Connected>()))
            entries->append({int(entries->size()), c.computer, c.user, true});
        return true;
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "the server's connections could not be read:" << e.message();
        return false;
    }
}

void TDaoInfo::runLoggedUsersEx()
{
    mLoggedUsersEx.clear();
    if (engines::isServer(mDatabase)) {
        QList<LockRoster::Entry> entries;
        if (!serverEntries(&entries))
            setError(LockFileUnreadable);
        for (const LockRoster::Entry &e : std::as_const(entries))
            mLoggedUsersEx.append(e.computer + QLatin1Char('/') + e.user);
        return;
    }
    const QString lockPath = LockRoster::lockFilePath(mDatabase);
    if (mDatabase.isEmpty() || !QFileInfo::exists(mDatabase) || !QFileInfo::exists(lockPath))
        return;
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(LockFileUnreadable);
        return;
    }
    const QByteArray head = file.read(LockRoster::EntrySize * LockRoster::MaxEntries);
    const qsizetype half = LockRoster::EntrySize / 2;
    for (qsizetype at = 0; at + LockRoster::EntrySize <= head.size(); at += LockRoster::EntrySize) {
        const QByteArrayView entry(head.constData() + at, LockRoster::EntrySize);
        mLoggedUsersEx.append(LockRoster::decodeName(entry.first(half)) + QLatin1Char('/')
                              + LockRoster::decodeName(entry.sliced(half)));
    }
}

int TDaoInfo::checkDatabase() const
{
    if (mDatabase.isEmpty())
        return NoDatabaseName;
    if (engines::isServer(mDatabase))
        return NoError;
    const QFileInfo info(mDatabase);
    if (!info.exists() || info.isDir())
        return DatabaseNotFound;
    return NoError;
}

int TDaoInfo::getUsers(UserOption option, QStringList *names)
{
    if (const int check = checkDatabase(); check != NoError)
        return check;
    QList<LockRoster::Entry> entries;
    if (engines::isServer(mDatabase) ? !serverEntries(&entries) : !LockRoster::readEntries(mDatabase, &entries, nullptr))
        return LockFileUnreadable;

    int count = 0;
    for (const LockRoster::Entry &entry : entries) {
        bool wanted = false;
        switch (option) {
        case AllUsers: wanted = true; break;
        case UsersNow:
        case CountOnly: wanted = entry.held; break;
        case SuspectUsers: wanted = !entry.held; break;
        }
        if (!wanted)
            continue;
        ++count;
        if (names && option != CountOnly)
            names->append(entry.computer);
    }
    return count;
}

// Read from the file's header by the engine, without opening the file (it may be in use or being
// replaced).
int TDaoInfo::getDatabaseVersion()
{
    if (const int check = checkDatabase(); check != NoError)
        return check;
    const FileVersion v = engines::create(mDatabase)->fileVersion(mDatabase);
    switch (v.status) {
    case FileVersion::Ok:
        return v.version;
    case FileVersion::Unreadable:
        return DatabaseUnreadable;
    case FileVersion::NotADatabase:
        return NotADatabase;
    }
    return NotADatabase;
}

QString TDaoInfo::errorText(int code) const
{
    switch (code) {
    case NoDatabaseName:
        return QStringLiteral("Не е зададен файл на базата данни.");
    case DatabaseNotFound:
        return QStringLiteral("Файлът на базата данни „%1“ не е намерен.").arg(engines::shownName(mDatabase));
    case DatabaseUnreadable:
        return QStringLiteral("Файлът на базата данни „%1“ не може да бъде прочетен.").arg(engines::shownName(mDatabase));
    case NotADatabase:
        return QStringLiteral("Файлът „%1“ не е база данни.").arg(engines::shownName(mDatabase));
    case LockFileUnreadable:
        if (engines::isServer(mDatabase))
            return QStringLiteral("Сървърът на базата не дава списъка на свързаните потребители.");
        return QStringLiteral("Файлът на свързаните потребители „%1“ не може да бъде прочетен.")
            .arg(LockRoster::lockFilePath(mDatabase));
    default:
        return QStringLiteral("Неизвестна грешка %1.").arg(code);
    }
}

void TDaoInfo::setError(int code)
{
    mLastError = code;
    mLastErrorText = errorText(code);
}
