#pragma once

#include "app/Secret.h"
#include "device/Export.h"
#include "device/MobileBackupMessages.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>

class MobileDeviceHandle;
class MobileBackupFolder;
class MobileBackupLink;
class NotificationProxy;

// The computer's side of the phone's backup service (com.apple.mobilebackup2), spoken by the
// program itself: the DeviceLink version exchange, Hello, then a Backup into or a Restore from
// <backup root>/<UDID>, with the sync notifications and the sync lock around it and every
// message of the phone answered (MobileBackupMessages). It writes Info.plist before a backup,
// RestoreApplications.plist before a restore of a backup that lists applications, and judges
// a backup by Status.plist, not by the last message alone.
//
// run() returns only on success; it throws TaskCanceled after a cancel (checked at least every
// slice of a wait and between files) and MobileBackupError for everything else. A phone that
// has sent nothing since the request is waited for up to the prepare limit (it may prepare for
// minutes, or wait for its passcode), one that stops sending later up to the stall limit; a
// phone the multiplexer no longer lists ends the run at once.
class PARLEWICK_DEVICE_EXPORT MobileBackupClient
{
public:
    enum Operation { Backup, Restore };

    // What the user is told while the run goes on.
    struct Report
    {
        bool preparing = false;        // nothing from the phone since the request
        bool passcodeWanted = false;   // the phone waits for its passcode
        qint64 spaceNeeded = -1;       // a first backup: at most this much (the phone's used storage)
        qint64 spaceFree = -1;         // free on the backup's disk, with spaceNeeded
        MobileBackupMessages::Counters counters;
    };

    MobileBackupClient(MobileDeviceHandle *device, const QString &udid, const QString &backupRoot);
    ~MobileBackupClient();

    // A restore of another phone's backup: the backup folder's UDID (the target's by default).
    void setSourceUdid(const QString &udid) { m_sourceUdid = udid; }
    // An encrypted backup's password for a restore: it goes into the request only, never into
    // the log, and is wiped once sent.
    void setPassword(Secret password) { m_password = std::move(password); }
    void setCancelCheck(std::function<bool()> canceled) { m_canceled = std::move(canceled); }
    void setReporter(std::function<void(const Report &)> reporter) { m_reporter = std::move(reporter); }
    // Seconds; PARLEWICK_PHONE_PREPARE_SECONDS and PARLEWICK_PHONE_STALL_SECONDS set the defaults.
    void setLimits(int prepareSeconds, int stallSeconds);

    QString backupRoot() const { return m_root; }
    // Whether the run changed anything in the backup folder.
    bool changedFolder() const { return m_changed; }

    void run(Operation operation);

    // Whether <folder>/Status.plist says the snapshot is finished.
    static bool snapshotFinished(const QString &deviceFolder);

private:
    void runSession(Operation operation);
    void checkFirstBackupSpace(const QString &deviceFolder);
    // device: the phone's lockdown values (no domain).
    void writeInfoPlist(const QString &deviceFolder, const CFType &device);
    void writeRestoreApplications(const QString &deviceFolder);
    void versionExchange();
    void hello();
    void sendRequest(Operation operation);
    // The phone's end of the request: its ErrorCode and description, or -1 after a Disconnect.
    void serveUntilEnd(Operation operation, const QString &deviceFolder);
    void markUnfinished(const QString &deviceFolder);

    void idle();
    void tick();
    void throwIfCanceled() const;
    void readNotifications();
    void report(bool now);

    MobileDeviceHandle *m_device;
    QString m_udid;
    QString m_sourceUdid;
    QString m_root;
    Secret m_password;
    std::function<bool()> m_canceled;
    std::function<void(const Report &)> m_reporter;
    int m_prepareSeconds;
    int m_stallSeconds;

    std::unique_ptr<NotificationProxy> m_notifications;
    std::unique_ptr<MobileBackupFolder> m_folder;
    std::unique_ptr<MobileBackupLink> m_link;
    std::unique_ptr<MobileBackupMessages> m_messages;
    Report m_report;
    bool m_changed = false;
    QElapsedTimer m_lastReport;
    QElapsedTimer m_lastPresenceCheck;
};
