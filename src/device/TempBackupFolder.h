#pragma once

#include "device/Export.h"

#include <QString>

// A device backup is a full copy of the phone, unencrypted unless the phone encrypts: the
// user's private data. Each phone's backup is made in and kept in <root>/<UDID>, so the next
// backup of the same phone is incremental. The root is the folder given for this run
// (--backup-dir), else the one chosen in Preferences, else "device-backups" in the program's
// private cache folder. The root the program makes and every phone's folder are owner-only.

// The root in use (not created or checked).
PARLEWICK_DEVICE_EXPORT QString deviceBackupRoot();
PARLEWICK_DEVICE_EXPORT QString defaultDeviceBackupRoot();
// --backup-dir: this process uses folder (empty: the usual choice again).
PARLEWICK_DEVICE_EXPORT void setDeviceBackupRootForThisRun(const QString &folder);
// The root, created (owner-only when the program makes it); raises when it cannot be made or
// is a link or somebody else's.
PARLEWICK_DEVICE_EXPORT QString chooseTempBackupFolder();
// <root>/<udid>, created owner-only (or made so); raises for a UDID that is no plain name.
PARLEWICK_DEVICE_EXPORT QString privateDeviceBackupFolderThrow(const QString &udid);
// Tools > Clear Cache: the default root goes whole; in a folder the user chose only the
// phones' backups (folders named like a UDID holding a backup's property lists).
PARLEWICK_DEVICE_EXPORT void clearTempBackupFolder();

// Earlier versions kept the backup in "__talvora_iosbk_temp" at the root of the volume with
// the most free space, readable by everyone, remembered in "__talvora_iosbk_temp.path" in the
// data folder. Moves what it holds into the root in use when that is a rename on the same
// volume, else removes it. Returns what the user is to be told (empty when nothing was left).
inline constexpr char TempBackupFolderName[] = "__talvora_iosbk_temp";
inline constexpr char TempBackupRootFileName[] = "__talvora_iosbk_temp.path";
PARLEWICK_DEVICE_EXPORT QString retireEarlierBackupFolder();

// Bytes available to this user on the folder's volume; -1 when that cannot be told.
PARLEWICK_DEVICE_EXPORT qint64 freeDiskSpace(const QString &folder);
