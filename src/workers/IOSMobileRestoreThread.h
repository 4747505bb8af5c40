#pragma once

#include "workers/AbsDeviceBackupThread.h"

// Restores the backup in <backup root>/<UDID> to the phone.
class IOSMobileRestoreThread : public AbsDeviceBackupThread
{
    Q_OBJECT
public:
    IOSMobileRestoreThread(const DeviceDescription &device, const QString &backupRoot, AbsProgressTarget *progress,
                           QObject *parent = nullptr);

    // The user's message for what the tool said when the restore failed.
    static QString restoreErrorText(const QString &toolMessage);

protected:
    void run() override;

private:
    void runToolThrow(const QString &deviceFolder);
};
