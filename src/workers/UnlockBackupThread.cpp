#include "workers/UnlockBackupThread.h"

#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "workers/AbsProgressTarget.h"

#include <stdexcept>

namespace {

void wipeText(QString &text)
{
    text.fill(QChar(0));
    text.clear();
}

} // namespace

UnlockBackupThread::UnlockBackupThread(const QSharedPointer<const BackupManifest> &backup, const QString &password,
                                       AbsProgressTarget *progress, QObject *parent)
    : QThread(parent), m_backup(backup), m_password(password), m_progress(progress)
{
}

UnlockBackupThread::~UnlockBackupThread()
{
    wipeText(m_password);
}

void UnlockBackupThread::run()
{
    m_keybag.reset();
    postProgress(m_progress, QStringLiteral("Checking the password of the iTunes Backup..."), 0, QString());
    try {
        m_progress->throwIfCanceled();
        QSharedPointer<BackupKeybag> keybag = m_backup->unlockedKeybag(m_password);
        wipeText(m_password);
        // The derivation cannot stop half-way; a cancel during it drops the keys it gave.
        m_progress->throwIfCanceled();
        m_keybag = keybag;
        postSuccess(m_progress, QString());
    } catch (int) {
        wipeText(m_password);
    } catch (const std::exception &error) {
        wipeText(m_password);
        postError(m_progress, QString::fromUtf8(error.what()));
    }
}
