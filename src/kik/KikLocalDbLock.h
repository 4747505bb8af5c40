#pragma once

#include "kik/Export.h"

#include <QString>

#include <functional>
#include <memory>

class QLockFile;

// Keeps writers of one local database apart, whether threads of one program or the window and
// the command-line tool: the database is made, filled and taken back by one writer at a time.
// The lock file lies beside the database folder (hidden, in its parent), so that the folder can
// be made and removed under it. A lock left by a process that has ended is taken over.
class PARLEWICK_KIK_EXPORT KikLocalDbLock
{
public:
    explicit KikLocalDbLock(const QString &databaseFolder);
    ~KikLocalDbLock();   // lets go
    KikLocalDbLock(const KikLocalDbLock &) = delete;
    KikLocalDbLock &operator=(const KikLocalDbLock &) = delete;

    static QString lockPathFor(const QString &databaseFolder);

    // Returns once the lock is had. While another writer holds it, whileWaiting is called
    // between tries, the first time with true; it may throw to stop waiting.
    void acquireThrow(const std::function<void(bool first)> &whileWaiting);

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
};
