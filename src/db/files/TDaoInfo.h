// The connected-users component: who is connected to a database, as its engine lists them (a
// file's lock file, a server's sessions).
//
// Setting Active true runs every query once (DatabaseVersion, NumberOfUsers, LoggedUsers,
// LoggedNowUsers, ErrorUsers, LoggedUsersEx), each followed by its AfterGet... signal. While
// active, reading a count or list runs its query again; while inactive the counts read 0 and the
// lists keep their last contents. A failed query reads 0 or an empty list and leaves its code
// (negative) and text in LastError and LastErrorText; nothing is thrown.
#pragma once

#include "engine/DbEngine.h"

#include <QObject>
#include <QString>
#include <QStringList>

class TDaoInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Database READ Database WRITE setDatabase)
    Q_PROPERTY(QString DaoInfoDll READ DaoInfoDll WRITE setDaoInfoDll)
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(int DatabaseVersion READ DatabaseVersion)
    Q_PROPERTY(int NumberOfUsers READ NumberOfUsers)
    Q_PROPERTY(QStringList LoggedUsers READ LoggedUsers)
    Q_PROPERTY(QStringList LoggedNowUsers READ LoggedNowUsers)
    Q_PROPERTY(QStringList ErrorUsers READ ErrorUsers)
    Q_PROPERTY(QStringList LoggedUsersEx READ LoggedUsersEx)
    Q_PROPERTY(int LastError READ LastError)
    Q_PROPERTY(QString LastErrorText READ LastErrorText)

public:
    // LastError codes.
    enum Error : int {
        NoError = 0,
        NoDatabaseName = -1,
        DatabaseNotFound = -2,
        DatabaseUnreadable = -3,
        NotADatabase = -4,
        LockFileUnreadable = -5,
    };

    explicit TDaoInfo(QObject *parent = nullptr);

    QString Database() const { return mDatabase; }
    void setDatabase(const QString &database) { mDatabase = database; }

    // Kept for the settings that name it; the engine reads the roster itself.
    QString DaoInfoDll() const { return mDaoInfoDll; }
    void setDaoInfoDll(const QString &dll) { mDaoInfoDll = dll; }

    bool Active() const { return mActive; }
    void setActive(bool active);

    // The schema version recorded in the database file.
    int DatabaseVersion();
    // Connections listed and connected now (on a file: holding an entry of its lock file).
    int NumberOfUsers();
    // Computer names: everyone listed; those connected now; those listed by a copy that ended
    // without leaving (a filled entry of the lock file that nobody holds).
    QStringList LoggedUsers();
    QStringList LoggedNowUsers();
    QStringList ErrorUsers();
    // Every place of the list as "computer/user", empty ones included (on a file: every whole
    // entry of its lock file).
    QStringList LoggedUsersEx();

    int LastError() const { return mLastError; }
    QString LastErrorText() const { return mLastErrorText; }

Q_SIGNALS:
    void AfterGetDatabaseVersion();
    void AfterGetNumberOfUsers();
    void AfterGetLoggedUsers();
    void AfterGetLoggedNowUsers();
    void AfterGetErrorUsers();
    void AfterGetLoggedUsersEx();

private:
    enum UserOption { AllUsers = 1, UsersNow = 2, SuspectUsers = 4, CountOnly = 8 };

    void runDatabaseVersion();
    void runNumberOfUsers();
    void runUserList(UserOption option, QStringList *list);
    void runLoggedUsersEx();

    // The roster calls: a count (or version) or a negative error code.
    int getUsers(UserOption option, QStringList *names);
    int getDatabaseVersion();
    QString errorText(int code) const;
    void setError(int code);
    int checkDatabase(const DbEngine &engine) const;

    QString mDatabase;
    QString mDaoInfoDll = QStringLiteral("msldbusr.dll");
    bool mActive = false;
    int mDatabaseVersion = 0;
    int mNumberOfUsers = 0;
    QStringList mLoggedUsers;
    QStringList mLoggedNowUsers;
    QStringList mErrorUsers;
    QStringList mLoggedUsersEx;
    int mLastError = NoError;
    QString mLastErrorText;
    QString mRosterError; // the engine's words for the list it could not read last
};
