#pragma once

#include "device/DeviceDescription.h"
#include "workers/KikBackupAccounts.h"

#include <QString>

class MainWindow;

// Loads Kik's data from a plugged-in phone and shows its chats under a device node of its
// own. The app container is mirrored directly when the phone allows it; otherwise Kik's files
// must come from a device backup of the phone.
class LoadDeviceCommand
{
public:
    explicit LoadDeviceCommand(MainWindow &window)
        : m_window(window)
    {
    }

    // False when a step failed (the error was shown) or was cancelled. *usedBackup tells
    // whether Kik's files had to come from a device backup.
    bool run(const DeviceDescription &device, bool *usedBackup = nullptr);
    // The last stretch of the backup road: Kik's files are taken out of the phone's device
    // backup in backupFolder (the folder named after its UDID) into the device's cache folder,
    // the same mirror the direct road fills, and shown.
    bool loadFromDeviceBackup(const DeviceDescription &device, const QString &backupFolder);
    // Where the device backup kept the store that was read (after the backup road).
    const KikBackupLocation &backupLocation() const { return m_location; }
    // The password that unlocked an encrypted device backup, for the restore that follows a
    // transfer: kept only as long as this command.
    const QString &backupPassword() const { return m_backupPassword; }

private:
    bool loadThroughDeviceBackup(const DeviceDescription &device);
    bool showDevice(const DeviceDescription &device, const QString &appFolder);

    MainWindow &m_window;
    KikBackupLocation m_location;
    QString m_backupPassword;
};
