#include "device/DeviceSyncLock.h"

#include "device/AfcChannel.h"
#include "device/MobileBackupError.h"
#include "device/NotificationProxy.h"

#include <QDebug>
#include <QThread>

namespace {

const char kLockFile[] = "/com.apple.itunes.lock_sync";
const QString kPrefix = QStringLiteral("com.apple.itunes-mobdev.");
constexpr int kLockTries = 50;
constexpr int kLockPauseMs = 200;

}   // namespace

DeviceSyncLock::DeviceSyncLock(MobileDeviceHandle *device, NotificationProxy &notifications, const std::function<void()> &idle)
    : m_notifications(notifications)
    , m_afc(device)
{
    m_notifications.post(kPrefix + QStringLiteral("syncWillStart"));
    try {
        m_afc.open();
    } catch (const std::exception &error) {
        qDebug() << "sync lock: no media area:" << error.what();
    }
    if (m_afc.isOpen() && m_afc.openReadWrite(QLatin1String(kLockFile), &m_lockFile)) {
        m_notifications.post(kPrefix + QStringLiteral("syncLockRequest"));
        bool busy = false;
        for (int attempt = 0; attempt < kLockTries && !m_locked; ++attempt) {
            const qint64 status = m_lockFile.lock(AfcChannel::LockExclusive);
            m_locked = status == 0;
            busy = status == qint64(AfcChannel::WouldBlock);
            if (!m_locked && !busy) {
                qDebug() << "sync lock: not taken, status" << status;
                break;
            }
            if (busy) {
                idle();
                QThread::msleep(kLockPauseMs);
            }
        }
        if (busy) {
            m_notifications.post(kPrefix + QStringLiteral("syncDidFinish"));
            throw MobileBackupError(QStringLiteral("The iPhone is syncing with another program or computer. Wait until "
                                                   "it is done, then try again."),
                                    0, true);
        }
    } else {
        qDebug() << "sync lock: the lock file could not be opened; going on without it";
    }
    m_notifications.post(kPrefix + QStringLiteral("syncDidStart"));
}

DeviceSyncLock::~DeviceSyncLock()
{
    if (m_locked)
        m_lockFile.lock(AfcChannel::Unlock);
    m_lockFile.close();
    m_afc.close();
    m_notifications.post(kPrefix + QStringLiteral("syncDidFinish"));
}
