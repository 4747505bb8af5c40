#pragma once

#include "simiphone/AnswerFault.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The switches of a phone's faults.plist (all optional, see README.md):
//   PairingRefused   bool: Pair answers "UserDeniedPairing" (the trust prompt declined)
//   NotPaired        bool: the phone knows no computer: ValidatePair, StartSession "InvalidHostID"
//   ContainerRefused bool or error text: VendContainer answers that Error
//                    ("InstallationLookupFailed" when true)
//   LockdownErrors   dict: "Request" or "Request:detail" (StartService: the service name,
//                    GetValue: the Key or the Domain) -> the Error text answered instead
//   AnswerFaults     array of AnswerFault rules
//   DeviceLocked     bool: backups and restores wait for the passcode (PasscodeTimeout seconds,
//                    default 0) and then fail with 208; clearing the switch meanwhile unlocks
//   PasscodeTypedAfter seconds (iOS 16.1+, default 0): the passcode is typed that long after the
//                    prompt shows; negative: only SimPhoneFolder::typePasscode() types it
//   PasscodeTimeout  seconds until a passcode nobody typed ends the request with 208
//                    (default 180, or 0 with DeviceLocked)
//   PurgeDiskSpace   bool: backups ask the computer to purge disk space and wait for its answer
//                    (default: phones of iOS 26 and later do)
//   PrepareSeconds   seconds a backup prepares before the phone sends anything (clearing ends it)
//   StallAfterFiles  integer: the phone stops sending after uploading that many files and
//                    stays connected until the computer hangs up
//   StallInFile      integer: the same halfway through the N-th file it uploads (from 1)
//   HostileName      "message:kind": one request of the phone carries a name leading out of the
//                    backup folder (HostileNames.h)
//   FindMyEnabled    bool: restores fail with 211
//   MobileBackupErrors dict: "Backup" or "Restore" -> error code the operation ends with; 212
//                    right after the request, 3 once the passcode is typed, 105 after the free
//                    space answer, 207 when a restore opens the backup, others after the files
//   CablePulledAfterFiles  integer: the cable comes out once that many files crossed
//   CablePulledInFile      integer: the cable comes out halfway through the N-th file the phone
//                    uploads (counted from 1)
//   CablePulledBetweenFiles integer: the cable comes out right after the N-th file the phone
//                    uploads, before the next one (or the end of the upload)
class SimFaults
{
public:
    explicit SimFaults(const QVariantMap &faults);

    bool pairingRefused() const;
    bool notPaired() const;
    QString containerRefusedError() const;                                             // empty when vending is allowed
    QString lockdownError(const QString &request, const QStringList &details) const;   // empty if none
    QList<AnswerFault> answerFaults() const;
    bool deviceLocked() const;
    double passcodeTimeoutSeconds() const;
    double passcodeTypedAfterSeconds() const;   // negative: typed only on command
    bool purgeDiskSpace(bool byDefault) const;
    double prepareSeconds() const;
    int stallAfterFiles() const;   // -1 when the phone keeps sending
    int stallInFile() const;       // -1 when the phone keeps sending
    QString hostileName() const;   // empty when every name is fair
    bool findMyEnabled() const;
    int mobileBackupError(const QString &operation) const;   // 0 when none
    int cablePulledAfterFiles() const;                       // -1 when the cable stays in
    int cablePulledInFile() const;                           // -1 when the cable stays in
    int cablePulledBetweenFiles() const;                     // -1 when the cable stays in

private:
    QVariantMap m_faults;
};
