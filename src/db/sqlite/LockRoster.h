// The lock file beside a database (its name with the last extension replaced by ".ldb"): who is
// connected. The file is a row of 64-byte entries, computer name (32 bytes) then user name
// (32 bytes), each zero-padded. A connection claims the first entry nobody holds, fills it and
// holds an open-file-description lock (F_OFD_SETLK) on its 64 bytes while it is open, so a copy
// that was killed leaves a filled entry that nobody holds: listed as suspect and reused by the
// next copy that joins. Every connection also holds a shared lock on a gate byte far past the
// entries; compaction takes the gate exclusively, so nobody can join while it replaces the file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class LockRoster
{
public:
    static constexpr int EntrySize = 64;
    static constexpr int MaxEntries = 256; // 16384 bytes, what the roster reads

    struct Entry
    {
        int index = 0;
        QString computer;
        QString user;
        bool held = false; // some open connection holds this entry now
    };

    LockRoster() = default;
    ~LockRoster();
    LockRoster(const LockRoster &) = delete;
    LockRoster &operator=(const LockRoster &) = delete;

    static QString lockFilePath(const QString &databasePath);

    // Joins the roster of the database: takes the gate shared, claims an entry and writes the
    // names into it. Returns false, without an error, when the lock file cannot be created or
    // written (a read-only folder): the connection then goes on unlisted. Throws DaoError when the
    // gate stays held exclusively (a compaction) for longer than timeoutMs.
    bool join(const QString &databasePath, const QString &computer, const QString &user,
              int timeoutMs = 5000);

    // Clears this connection's entry and releases its locks. Nothing when not joined.
    void leave();

    // Holds the gate (listed in an entry or not: a full or read-only lock file lists nobody).
    bool joined() const { return mFd >= 0; }
    int entryIndex() const { return mEntry; }

    // Every filled entry of the lock file, with whether someone holds it now. False with
    // *errorText set when the lock file exists but cannot be read; true with no entries when
    // there is no lock file.
    static bool readEntries(const QString &databasePath, QList<Entry> *out, QString *errorText);
    // Every whole entry of the first MaxEntries as it lies, empty ones included, without asking
    // who holds them (held stays false). False when the lock file exists but cannot be opened;
    // true with no entries when there is none.
    static bool readPlaces(const QString &databasePath, QList<Entry> *out);

    // One name field of an entry: cut at its first zero byte; UTF-8, or CP1251 when the bytes are
    // not valid UTF-8 (files written by the older system).
    static QString decodeName(QByteArrayView field);

private:
    int mFd = -1;
    int mEntry = -1;
    QByteArray mPath; // the lock file, to remove it when the last connection leaves
};
