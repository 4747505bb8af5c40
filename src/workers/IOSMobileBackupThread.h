#pragma once

#include "workers/AbsDeviceBackupThread.h"
#include "workers/Export.h"

// Makes a backup of the phone into the temporary backup folder, continuing the one already
// there (the phone sends only what changed) when it is complete and of the phone's iOS version. Once the task succeeded,
// <backupFolder()>/<UDID> opens as an iTunes backup.
class PARLEWICK_WORKERS_EXPORT IOSMobileBackupThread : public AbsDeviceBackupThread
{
    Q_OBJECT
public:
    IOSMobileBackupThread(const DeviceDescription &device, AbsProgressTarget *progress, QObject *parent = nullptr);

    QString backupFolder() const { return backupRoot(); }

    // True when the backup in deviceFolder finished and was made of the phone at productVersion.
    static bool canContinueBackup(const QString &deviceFolder, const QString &productVersion);

protected:
    void run() override;
};
