#pragma once

#include "device/Export.h"

#include <QString>

class CFType;
class MobileDeviceHandle;

// Before a device backup is made for a transfer or restored onto a phone: a phone that backs
// up to iCloud would not take the restore, so the user is told how to switch that off and
// nothing is changed on the phone. Encrypted backups are restored with their password. The
// window shows the warning with a picture of the switch (FlowInteraction::Warning::CloudBackupOn).
class PARLEWICK_DEVICE_EXPORT IOSRestorePreflight
{
public:
    // Asks the phone for its backup settings; the warning when the check fails,
    // empty when it passes. A phone that does not answer passes.
    QString warning(MobileDeviceHandle *device) const;
    // The warning for the phone's "com.apple.mobile.backup" values; empty when they pass.
    QString warningFor(const CFType &backupDomain) const;
};
