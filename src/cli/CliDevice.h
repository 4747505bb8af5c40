#pragma once

#include "device/DeviceDescription.h"
#include "workers/KikBackupAccounts.h"

#include <QCommandLineParser>
#include <QString>

// The connected iPhone whose UDID is udid, described by the phone itself. Raises
// std::runtime_error naming the phones that are connected when it is not one of them.
DeviceDescription connectedDeviceThrow(const QString &udid);

// Where Kik's files of a phone were mirrored to, and how they came.
struct DeviceKikMirror
{
    QString appFolder;            // the device's cache folder's com.kik.chat
    bool usedBackup = false;      // the phone keeps the container closed: they came from a device backup
    QString backupFolder;         // that backup (<device backup folder>/<UDID>)
    KikBackupLocation location;   // where that backup keeps the store that was read
};

// Mirrors Kik's files from the phone into its cache folder as the window does: straight from the
// container over house_arrest, or through a device backup when the phone keeps it closed (an
// encrypted one takes its password as readBackupPasswordThrow does; account picks one of several
// Kik accounts). Progress on stderr; Ctrl-C raises CliCanceled.
DeviceKikMirror mirrorDeviceKikThrow(const DeviceDescription &device, const QCommandLineParser &args, const QString &account);

// Makes a device backup of the phone into the device backup folder, as the window does, and
// returns its folder (<device backup folder>/<UDID>). A folder left by an earlier version is
// moved or removed first, with a note on stderr. Progress on stderr; Ctrl-C raises CliCanceled.
QString deviceBackupThrow(const DeviceDescription &device);

// --backup-dir DIR of the commands that take --device: where the phone's device backup is
// kept (DIR/<UDID>) instead of the folder chosen in the window's Preferences.
QCommandLineOption backupDirOption();
// Makes the folder given with it the one of this run, when the command has the option.
void useBackupDirOption(const QList<QCommandLineOption> &options, const QCommandLineParser &args);

// Raises std::runtime_error with the preflight's warning as plain text when the phone would not
// take a device backup or restore (iCloud Backup on).
void requireRestorablePhoneThrow(const DeviceDescription &device);
