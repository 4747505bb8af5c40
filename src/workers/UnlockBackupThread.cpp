#include "workers/UnlockBackupThread.h"

#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <stdexcept>

namespace {

void wipeText(QString &text)
{
    text.fill(QChar(0));
    text.clear();
}

}   // namespace

UnlockBackupThread::UnlockBackupThread(const QSharedPointer<const BackupManifest> &backup, const QString &password,
                                       AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_backup(backup)
    , m_password(password)
    , m_progress(progress)
{
}

UnlockBackupThread::~UnlockBackupThread()
{
    wipeText(m_password);
}

void UnlockBackupThread::run()
{
    m_keybag.reset();
    postProgress(m_progress, QStringLiteral("Unlocking the backup with its password..."), AbsProgressTarget::Busy, QString());
    runTask(
        m_progress,
        [this] {
            m_progress->throwIfCanceled();
            QSharedPointer<BackupKeybag> keybag = m_backup->unlockedKeybag(m_password);
            wipeText(m_password);
            // The derivation cannot stop half-way; a cancel during it drops the keys it gave.
            m_progress->throwIfCanceled();
            m_keybag = keybag;
            return QString();
        },
        [this] { wipeText(m_password); });
}
