// Replaces a file in one step: the new content is written to a temporary file in the target's
// folder, which is flushed to disk, renamed over the target, and the folder flushed. Until the
// rename the old file stays whole; after it the new one is complete. A failure at any point
// leaves the target as it was and removes the temporary file. The new file gets the permissions
// of the file it replaces, or those of a file made anew (the process's umask): in a shared shop
// folder the other counters can read it as they could the old one. A file that holds a secret
// asks for its owner's alone instead, before anything is written into it.
#pragma once

#include <QString>
#include <functional>

class FileReplacement
{
public:
    enum class Permissions {
        OfTarget,  // those of the file replaced; a new file's when there is none
        OfNewFile, // 0666 less the umask, whatever the file replaced had
        OwnerOnly, // 0600: read and written by its owner alone
    };

    // Makes an empty temporary file beside target, named prefix followed by six random characters
    // (target's name followed by "." when prefix is empty) and the suffix below, with the
    // permissions asked for. Raises DaoError when it cannot.
    explicit FileReplacement(const QString &target, const QString &prefix = QString(),
                             Permissions permissions = Permissions::OfTarget);
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    const QString &temporaryPath() const { return mTemporary; }
    const QString &target() const { return mTarget; }

    // Puts the temporary file in the target's place. Raises DaoError (target untouched).
    void commit();

    // The rename step; tests replace it to make it fail, and empty it to restore the plain
    // rename. Returns 0 or -1 with errno set, as rename().
    static std::function<int(const QByteArray &from, const QByteArray &to)> &renameStep();
    // The flush step: fsync of the temporary file (folder false) or of the target's folder
    // (true); tests replace it to follow what reaches the disk, and empty it to restore the plain
    // fsync. Returns true when flushed (else errno is set).
    static std::function<bool(const QByteArray &path, bool folder)> &syncStep();

    // Removes the temporary files (and their journals) that an interrupted replacement left in a
    // folder: names of prefix, six characters and the suffix that no process holds. Files a user
    // named alike without the suffix are never touched. The count removed.
    static int removeLeftovers(const QString &folder, const QString &prefix);

    // Ends every temporary file's name: no user names a file so.
    static const QString Suffix;

private:
    int mHold = -1; // the temporary file, held open and locked while it is written
    QString mTarget;
    QString mTemporary;
    bool mDone = false;
};
