#pragma once

#include "app/AppError.h"
#include "device/Export.h"

#include <QString>

// A device backup or restore that failed, in the user's words. `known` marks a failure whose
// message already tells the user what to do (a device error the program knows, a lost
// connection, a stalled phone, an unsafe name).
class PARLEWICK_DEVICE_EXPORT MobileBackupError : public AppError
{
public:
    MobileBackupError(const QString &message, int deviceError, bool known)
        : AppError(message)
        , m_deviceError(deviceError)
        , m_known(known)
    {
    }
    int deviceError() const { return m_deviceError; }   // the phone's ErrorCode, 0 when none
    bool known() const { return m_known; }

private:
    int m_deviceError;
    bool m_known;
};

namespace MobileBackupErrors {

// The phone's ErrorCode values the program tells the user what to do about.
enum Code {
    SnapshotLeft = 3,
    UploadErrors = 104,
    ComputerFull = 105,
    BackupDamaged = 205,
    WrongPassword = 207,
    DeviceLocked = 208,
    FindMyEnabled = 211,
    SetupUnfinished = 212,
};

// What to do about the phone's error code; empty for a code the program does not know.
PARLEWICK_DEVICE_EXPORT QString adviceFor(int code, const QString &backupRoot);
// The error a request ended with: the advice for a known code, else the phone's own words.
PARLEWICK_DEVICE_EXPORT MobileBackupError fromDevice(int code, const QString &description, const QString &backupRoot);

PARLEWICK_DEVICE_EXPORT MobileBackupError connectionLost();
PARLEWICK_DEVICE_EXPORT MobileBackupError notFinished();
PARLEWICK_DEVICE_EXPORT MobileBackupError stalled(int seconds);
PARLEWICK_DEVICE_EXPORT MobileBackupError unsafeName(const QString &name);
PARLEWICK_DEVICE_EXPORT MobileBackupError protocolError(const QString &what);

}   // namespace MobileBackupErrors
