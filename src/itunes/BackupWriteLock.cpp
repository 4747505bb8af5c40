#include "itunes/BackupWriteLock.h"

#include "app/AppError.h"
#include "app/WriterLockFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

BackupWriteLock::BackupWriteLock(const QString &backupFolder)
    : m_folder(QDir(backupFolder).absolutePath())
{
}

BackupWriteLock::~BackupWriteLock() = default;

QString BackupWriteLock::lockPathFor(const QString &backupFolder)
{
    return QDir(backupFolder).filePath(QStringLiteral(".parlewick-writer.lock"));
}

QString BackupWriteLock::busyText(const QString &backupFolder)
{
    return QStringLiteral("The iTunes backup %1 is being written by another task.").arg(QDir::toNativeSeparators(backupFolder));
}

void BackupWriteLock::acquireThrow(const std::function<void(bool first)> &whileWaiting)
{
    if (m_lock)
        return;
    // Made in the backup only: a missing folder is not made here.
    const QString cannot = QFileInfo(m_folder).isDir()
                               ? QStringLiteral("The iTunes backup %1 can not be written: a lock file can not be made in it.")
                               : QStringLiteral("The iTunes backup %1 does not exist.");
    m_lock = takeWriterLockThrow(lockPathFor(m_folder), whileWaiting, cannot.arg(QDir::toNativeSeparators(m_folder)));
}

void BackupWriteLock::acquireOrBusyThrow()
{
    acquireThrow([this](bool) { failWith((busyText(m_folder) + QStringLiteral(" Try again when it has finished."))); });
}

bool BackupWriteLock::holds(const QString &backupFolder) const
{
    return m_lock && QDir(backupFolder).absolutePath() == m_folder;
}
