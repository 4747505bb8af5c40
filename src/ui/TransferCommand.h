#pragma once

#include "device/DeviceDescription.h"
#include "ui/CommandScope.h"
#include "workers/IOSFileItem.h"

#include <QSharedPointer>
#include <QString>

class BackupManifest;
class BackupWriteLock;
class MainWindow;

// Moves messages back into Kik: onto a connected iPhone (straight into Kik's container, or
// through a device backup when the phone keeps the container closed), or into Kik's data in
// an iTunes backup.
class TransferCommand
{
public:
    explicit TransferCommand(MainWindow &window)
        : m_window(window)
    {
    }

    void toDevice(MessageVariant variant);
    void toItunesBackup(MessageVariant variant);

private:
    // The connected phone to transfer to, other than the one the messages come from; false when
    // none was chosen.
    bool chooseTargetDevice(DeviceDescription *target);
    // Merges the messages into the device's mirror and delivers the files (direct) or collects
    // them into *files. False when that failed (the error was shown) or was cancelled.
    bool restore(const DeviceDescription &device, const CommandMessages &messages, bool direct, int *transferred,
                 IOSFileItemList *files);
    bool mergeIntoBackup(const QSharedPointer<BackupManifest> &backup, const BackupWriteLock &lock, const IOSFileItemList &files);
    void finishThroughDeviceBackup(const DeviceDescription &device, int transferred, const IOSFileItemList &files,
                                   const QString &knownPassword);
    bool unlockForRestore(const QSharedPointer<BackupManifest> &backup, QString *password);
    void restoreDeviceBackup(const DeviceDescription &device, const QString &backupRoot, int transferred,
                             const QString &password);

    MainWindow &m_window;
};
