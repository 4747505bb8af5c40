#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// A failed run of the backup tool, in the user's words. `known` marks a failure whose message
// already tells the user what to do (a device error the program knows, a lost connection).
class BackupToolError : public std::runtime_error
{
public:
    BackupToolError(const QString &message, int deviceError, bool known)
        : std::runtime_error(message.toStdString())
        , m_deviceError(deviceError)
        , m_known(known)
    {
    }
    int deviceError() const { return m_deviceError; }   // N of "ErrorCode N", 0 when none
    bool known() const { return m_known; }

private:
    int m_deviceError;
    bool m_known;
};

// How a finished run of idevicebackup2 (1.3.0) is judged. It exits with 256 - N for device
// error N and prints "ErrorCode N: <text> (MBErrorDomain/N)" on stdout; a lost connection prints
// "Could not receive from mobilebackup2" and "Backup Aborted."; and it exits 0 after a backup
// the phone did not finish, so only Status.plist says whether a backup is complete.
struct BackupToolRun
{
    QString toolName;
    bool crashed = false;
    int exitCode = 0;
    QString output;               // standard error, then standard output
    bool backupFinished = true;   // Status.plist says "finished" (true for a restore)
    bool phoneLeft = false;       // stopped by the program: the phone was gone and the tool went on
};

// Throws BackupToolError unless the run succeeded.
void judgeBackupToolRun(const BackupToolRun &run);
// The device error the run ended with: the last "ErrorCode N" line, else 256 - exit status
// when that is a code the program knows; 0 when neither.
int backupToolDeviceError(const QString &output, int exitCode);
// The percentage of the last progress bar ("[====   ]  45%") in what the tool printed; -1 when
// there is none.
double backupToolProgress(const QByteArray &printed);
