#pragma once

#include <QString>

class CFType;
class MobileDeviceHandle;

// Before a device backup is made for a transfer or restored onto a phone: a phone that backs
// up to iCloud, or whose backups are encrypted, would not take the restore, so the user is told
// how to switch that off and nothing is changed on the phone.
class IOSRestorePreflight
{
public:
    IOSRestorePreflight(bool checkCloudBackup, bool checkEncryption)
        : m_checkCloudBackup(checkCloudBackup), m_checkEncryption(checkEncryption)
    {
    }

    // Asks the phone for its backup settings; the warning (rich text) when one of the checks
    // fails, empty when they pass. A phone that does not answer passes.
    QString warning(MobileDeviceHandle *device) const;
    // The warning for the phone's "com.apple.mobile.backup" values; empty when they pass.
    QString warningFor(const CFType &backupDomain) const;

private:
    bool m_checkCloudBackup;
    bool m_checkEncryption;
};
