#include "app/WriterLockFile.h"

#include "app/AppError.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>

namespace {

const int kTryMs = 100;
// A lock file is written whole right after it is made: one that still cannot be read after
// this long was left by a writer that died making it.
const qint64 kUnreadableStaleSecs = 10;

}   // namespace

std::unique_ptr<QLockFile> takeWriterLockThrow(const QString &path, const std::function<void(bool first)> &whileWaiting,
                                               const QString &cannotLockText)
{
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    bool first = true;
    while (!lock->tryLock(kTryMs)) {
        if (lock->error() != QLockFile::LockFailedError)
            failWith(cannotLockText);
        qint64 pid = 0;
        QString host, application;
        const QFileInfo file(path);
        if (!lock->getLockInfo(&pid, &host, &application) && file.exists()
            && file.lastModified().secsTo(QDateTime::currentDateTime()) > kUnreadableStaleSecs)
            lock->removeStaleLockFile();
        whileWaiting(first);
        first = false;
    }
    return lock;
}
