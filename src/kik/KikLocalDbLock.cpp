#include "kik/KikLocalDbLock.h"

#include "app/AppError.h"
#include "app/WriterLockFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace {

QString lockErrorText(const QString &folder)
{
    return QStringLiteral("Can not lock the local database %1: its folder can not be written.")
        .arg(QDir::toNativeSeparators(folder));
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
        failWith(lockErrorText(m_folder));
    // An import may run for a long time: only an owner that has ended makes a lock stale.
    m_lock = takeWriterLockThrow(path, whileWaiting, lockErrorText(m_folder));
}
