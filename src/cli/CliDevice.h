#pragma once

#include "device/DeviceDescription.h"

#include <QCommandLineParser>
#include <QString>

// The connected iPhone whose UDID is udid, described by the phone itself. Raises
// AppError naming the phones that are connected when it is not one of them.
DeviceDescription connectedDeviceThrow(const QString &udid);

// Makes a device backup of the phone into the device backup folder, as the window does, and
// returns its folder (<device backup folder>/<UDID>). A folder left by an earlier version is
// moved or removed first, with a note on stderr. Progress on stderr; Ctrl-C raises CliCanceled.
QString deviceBackupThrow(const DeviceDescription &device);

// --backup-dir DIR of the commands that take --device: where the phone's device backup is
// kept (DIR/<UDID>) instead of the folder chosen in the window's Preferences.
QCommandLineOption backupDirOption();
// Makes the folder given with it the one of this run, when the command has the option.
void useBackupDirOption(const QList<QCommandLineOption> &options, const QCommandLineParser &args);
