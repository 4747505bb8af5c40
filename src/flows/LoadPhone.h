#pragma once

#include "app/Secret.h"
#include "device/DeviceDescription.h"
#include "flows/Export.h"
#include "workers/KikBackupAccounts.h"

#include <QString>

class FlowInteraction;

// Where Kik's files of a phone were mirrored to, and how they came.
struct PARLEWICK_FLOWS_EXPORT PhoneKikMirror
{
    QString appFolder;            // the device's cache folder's com.kik.chat
    bool usedBackup = false;      // the phone keeps the container closed: they came from a device backup
    QString backupFolder;         // that backup (<device backup folder>/<UDID>)
    KikBackupLocation location;   // where that backup keeps the store that was read
    Secret backupPassword;        // what unlocked an encrypted device backup, for a restore
};

// Loads Kik's data from a plugged-in phone: its app container is mirrored directly when the
// phone serves it; otherwise a device backup of the phone is made (a phone that backs up to
// iCloud would not take the restore a transfer needs, so it is refused first) and Kik's files
// are taken out of it into the same mirror. Then the store is read and the phone shown.
class PARLEWICK_FLOWS_EXPORT LoadPhone
{
public:
    LoadPhone(FlowInteraction &interaction, const DeviceDescription &device)
        : m_interaction(interaction)
        , m_device(device)
    {
    }

    // Mirrors, reads and shows. False when a step failed (the user was told) or was canceled.
    bool run();
    // The mirroring alone.
    bool mirror();
    // The last stretch of the backup road: Kik's files out of the phone's device backup in
    // backupFolder into the device's cache folder, read and shown.
    bool loadFromDeviceBackup(const QString &backupFolder);

    const PhoneKikMirror &result() const { return m_mirror; }

private:
    bool mirrorThroughDeviceBackup();
    bool extractFromDeviceBackup(const QString &backupFolder);
    bool show();

    FlowInteraction &m_interaction;
    const DeviceDescription m_device;
    PhoneKikMirror m_mirror;
};

// The warning of a phone that would not take a restore (iCloud Backup on); empty when it would.
PARLEWICK_FLOWS_EXPORT QString restorePreflightWarning(const DeviceDescription &device);
