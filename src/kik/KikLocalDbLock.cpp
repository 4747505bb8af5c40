#include "kik/KikLocalDbLock.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <stdexcept>

namespace {

const int kTryMs = 100;
// A lock file is written whole right after it is made: one that still cannot be read after
// this long was left by a writer that died making it.
const qint64 kUnreadableStaleSecs = 10;

std::runtime_error lockError(const QString &folder)
{
    return std::runtime_error(QStringLiteral("Can not lock the local database %1: its folder can not be written.")
                                  .arg(QDir::toNativeSeparators(folder))
                                  .toStdString());
}

}   // namespace

KikLocalDbLock::KikLocalDbLock(const QString &databaseFolder)
    : m_folder(QDir(databaseFolder).absolutePath())
{
}

KikLocalDbLock::~KikLocalDbLock() = default;

QString KikLocalDbLock::lockPathFor(const QString &databaseFolder)
{
    const QFileInfo folder(QDir(databaseFolder).absolutePath());
    return folder.absolutePath() + QStringLiteral("/.") + folder.fileName() + QStringLiteral(".lock");
}

void KikLocalDbLock::acquireThrow(const std::function<void(bool first)> &whileWaiting)
{
    if (m_lock)
        return;
    const QString path = lockPathFor(m_folder);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw lockError(m_folder);
    auto lock = std::make_unique<QLockFile>(path);
    // An import may run for a long time: only an owner that has ended makes a lock stale.
    lock->setStaleLockTime(0);
    bool first = true;
    while (!lock->tryLock(kTryMs)) {
        if (lock->error() != QLockFile::LockFailedError)
            throw lockError(m_folder);
        qint64 pid = 0;
        QString host, application;
        const QFileInfo file(path);
        if (!lock->getLockInfo(&pid, &host, &application) && file.exists()
            && file.lastModified().secsTo(QDateTime::currentDateTime()) > kUnreadableStaleSecs)
            lock->removeStaleLockFile();
        whileWaiting(first);
        first = false;
    }
    m_lock = std::move(lock);
}
