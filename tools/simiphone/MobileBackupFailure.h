#pragma once

#include <QString>

// How a backup or restore ends on the phone when it fails: the code and text of the final
// status ("ErrorCode N: <text>" in the backup tool's output).
struct MobileBackupFailure
{
    int code = 0;
    QString description;

    // The phone's text for a code: "Device locked (MBErrorDomain/208)", ...
    static MobileBackupFailure of(int code, const QString &detail = QString());
};
