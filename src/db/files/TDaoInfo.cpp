// The connected-users component over the engine's list of who is connected.
#include "files/TDaoInfo.h"

#include "base/DaoError.h"
#include "engine/EngineFactory.h"


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

void TDaoInfo::runLoggedUsersEx()
{
    mLoggedUsersEx.clear();
    if (mDatabase.isEmpty())
        return;
    try {
        for (const DbEngine::Connected &c : engines::create(mDatabase)->rosterPlaces(mDatabase))
            mLoggedUsersEx.append(c.computer + QLatin1Char('/') + c.user);
    } catch (const DaoError &e) {
        mRosterError = e.message();
        setError(LockFileUnreadable);
    }
}

int TDaoInfo::checkDatabase(const DbEngine &engine) const
{
    if (mDatabase.isEmpty())
        return NoDatabaseName;
    return engine.present(mDatabase) ? NoError : DatabaseNotFound;
}

int TDaoInfo::getUsers(UserOption option, QStringList *names)
{
    const std::unique_ptr<DbEngine> engine = engines::create(mDatabase);
    if (const int check = checkDatabase(*engine); check != NoError)
        return check;
    QList<DbEngine::Connected> listed;
    try {
        listed = engine->connectedTo(mDatabase).value_or(QList<DbEngine::Connected>());
    } catch (const DaoError &e) {
        mRosterError = e.message();
        return LockFileUnreadable;
    }

    int count = 0;
    for (const DbEngine::Connected &c : std::as_const(listed)) {
        bool wanted = false;
        switch (option) {
        case AllUsers: wanted = true; break;
        case UsersNow:
        case CountOnly: wanted = !c.suspect; break;
        case SuspectUsers: wanted = c.suspect; break;
        }
        if (!wanted)
            continue;
        ++count;
        if (names && option != CountOnly)
            names->append(c.computer);
    }
    return count;
}

// Read from the file's header by the engine, without opening the file (it may be in use or being
// replaced).
int TDaoInfo::getDatabaseVersion()
{
    const std::unique_ptr<DbEngine> engine = engines::create(mDatabase);
    if (const int check = checkDatabase(*engine); check != NoError)
        return check;
    const FileVersion v = engine->fileVersion(mDatabase);
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
        return mRosterError; // the engine's words: a lock file or a server that did not answer
    default:
        return QStringLiteral("Неизвестна грешка %1.").arg(code);
    }
}

void TDaoInfo::setError(int code)
{
    mLastError = code;
    mLastErrorText = errorText(code);
}
