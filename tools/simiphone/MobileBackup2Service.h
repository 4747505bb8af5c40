#pragma once

#include "simiphone/DeviceLinkChannel.h"
#include "simiphone/ServiceContext.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

struct MobileBackupFailure;
struct PhoneBackupSnapshot;

// com.apple.mobilebackup2, the phone's side: after the DeviceLink version exchange the computer
// says Hello (protocol versions) and asks for a Backup or a Restore; the phone then drives the
// transfer with DLMessage requests that the computer carries out on its backup folder, and ends
// with a DLMessageProcessMessage carrying ErrorCode (0 = success) and ErrorDescription.
// From iOS 16.1 on a request first waits for the passcode (SimFaults), iOS 26 asks the computer
// to purge disk space before a backup; other faults of a phone of today are switched on in
// faults.plist. A backup is made by makePhoneBackup; a restore is written by PhoneRestore, after which the
// phone restarts (unplugged and plugged in again) unless asked not to.
class MobileBackup2Service
{
public:
    explicit MobileBackup2Service(ServiceContext &context);
    void run();

private:
    struct ConnectionLost
    { };
    // Where in a request an injected error code ends it (MobileBackupErrors).
    enum class Stage { Requested, PasscodeTyped, SpaceAnswered, BackupOpened, FilesCrossed };

    QVariantMap hello(const QVariantMap &request) const;
    void backup(const QVariantMap &request);
    // Whether the computer's folder (its Status.plist in folder already) holds that backup whole.
    bool computerHolds(const PhoneBackupSnapshot &last, const QString &folder);
    void restore(const QVariantMap &request);
    void failAt(const QString &operation, Stage stage) const;
    void post(const QString &name) const;   // to the computer's notification observers
    void waitForPasscode() const;
    void prepare() const;
    [[noreturn]] void stall();
    void sendHostileRequest(const QString &operation);
    void sendHostileUpload(const QString &localFile);
    void finish(const MobileBackupFailure &outcome);

    DeviceLinkChannel::Status ask(const QVariantList &message);
    void upload(const QString &folder, const QStringList &names, const QString &suffix = QString());
    // The names that came whole, each stored at folder/<name without the backup's own folder>.
    QSet<QString> download(const QStringList &names, const QString &folder);
    void fileCrossed();
    void pullCableIfDue();
    [[noreturn]] void pullCable(const QString &fault);

    ServiceContext &m_context;
    DeviceLinkChannel m_link;
    QString m_root;   // the backup's folder inside the computer's backup directory
    double m_progress = 0;
    int m_filesCrossed = 0;
    int m_filesUploaded = 0;
    bool m_restartAtEnd = false;
};
