#include "workers/UnlockBackupThread.h"

#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <stdexcept>

UnlockBackupThread::UnlockBackupThread(const QSharedPointer<const BackupManifest> &backup, Secret password,
                                       AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_backup(backup)
    , m_password(std::move(password))
    , m_progress(progress)
{
}

UnlockBackupThread::~UnlockBackupThread() = default;

void UnlockBackupThread::run()
{
    m_keybag.reset();
    postProgress(m_progress, QStringLiteral("Unlocking the backup with its password..."), AbsProgressTarget::Busy, QString());
    runTask(
        m_progress,
        [this] {
            m_progress->throwIfCanceled();
            QSharedPointer<BackupKeybag> keybag = m_backup->unlockedKeybag(m_password);
            m_password.reset();
            // The derivation cannot stop half-way; a cancel during it drops the keys it gave.
            m_progress->throwIfCanceled();
            m_keybag = keybag;
            return QString();
        },
        [this] { m_password.reset(); });
}
