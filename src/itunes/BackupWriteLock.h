#pragma once

#include "itunes/Export.h"

#include <QString>

#include <functional>
#include <memory>

class QLockFile;

// Keeps the writers of one iTunes backup apart, whatever program run or data folder they come
// from: the lock file lies in the backup folder itself (hidden, beside its file list), where
// every run sees it. A writer takes it before it reads anything for the write and holds it
// until its commit has ended; letting go removes the file. A holder that has ended leaves it
// stale: the next writer takes it over and settles what that holder left. Readers never make it.
class PARLEWICK_ITUNES_EXPORT BackupWriteLock
{
public:
    explicit BackupWriteLock(const QString &backupFolder);
    ~BackupWriteLock();   // lets go
    BackupWriteLock(const BackupWriteLock &) = delete;
    BackupWriteLock &operator=(const BackupWriteLock &) = delete;

    static QString lockPathFor(const QString &backupFolder);
    // Said to a writer that waits or stops for another one.
    static QString busyText(const QString &backupFolder);

    // Returns once the lock is had. While another writer holds it, whileWaiting is called
    // between tries, the first time with true; it may throw to stop waiting. Raises when the
    // lock file cannot be made (the folder is read-only or gone).
    void acquireThrow(const std::function<void(bool first)> &whileWaiting);
    // Stops at once with busyText when another writer holds it.
    void acquireOrBusyThrow();
    bool holds(const QString &backupFolder) const;

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
};
