#pragma once

#include "device/AfcClient.h"
#include "device/AfcFile.h"
#include "device/Export.h"

#include <functional>

class NotificationProxy;

// What a computer does around a backup or restore so that the phone knows it syncs: posts
// syncWillStart, takes the sync lock (an exclusive lock on /com.apple.itunes.lock_sync in the
// media area, waited for while another holder keeps it), posts syncLockRequest and
// syncDidStart; at the end it unlocks and posts syncDidFinish. A phone whose lock file cannot
// be opened is worked with unlocked, as other tools do.
class PARLEWICK_DEVICE_EXPORT DeviceSyncLock
{
public:
    // idle runs between the tries (it throws to give up: a cancel). Raises MobileBackupError
    // when the lock stays taken.
    DeviceSyncLock(MobileDeviceHandle *device, NotificationProxy &notifications, const std::function<void()> &idle);
    ~DeviceSyncLock();
    DeviceSyncLock(const DeviceSyncLock &) = delete;
    DeviceSyncLock &operator=(const DeviceSyncLock &) = delete;

private:
    NotificationProxy &m_notifications;
    AfcClient m_afc;
    AfcFile m_lockFile;
    bool m_locked = false;
};
