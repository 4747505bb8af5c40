#pragma once

#include "workers/AbsDeviceBackupThread.h"
#include "workers/Export.h"

// Restores the backup in <backup root>/<UDID> to the phone.
class PARLEWICK_WORKERS_EXPORT IOSMobileRestoreThread : public AbsDeviceBackupThread
{
    Q_OBJECT
public:
    IOSMobileRestoreThread(const DeviceDescription &device, const QString &backupRoot, AbsProgressTarget *progress,
                           QObject *parent = nullptr);

    // The password of an encrypted device backup; it lives in memory for this run only.
    void setBackupPassword(Secret password) { m_client->setPassword(std::move(password)); }
    // Restores the backup of another phone: <backup root>/<sourceUdid>.
    void setSourceUdid(const QString &sourceUdid) { m_client->setSourceUdid(sourceUdid); }

    // The user's message for the restore's failure.
    static QString restoreErrorText(const std::exception &error);

protected:
    void run() override;
};
