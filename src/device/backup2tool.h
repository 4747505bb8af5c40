#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class MobileDeviceHandle;
class QProcess;

// What the backup tool is asked to do.
enum backup2tool_op : qint32 {
    backup2tool_backup = 0,
    backup2tool_restore = 1,
};

// Drives the external backup tool (idevicebackup2, or the program PARLEWICK_BACKUP_TOOL names)
// for one phone: runs it to the end, reports the progress it prints (or one estimated from the
// phone's used storage), stops it on a cancel or when it goes on long after the phone has left,
// and turns a failure into a BackupToolError in the user's words. The tool keeps a backup in <backup root>/<UDID>, the layout the
// program reads as an iTunes backup.
class backup2tool : public QObject
{
    Q_OBJECT
public:
    backup2tool(void *device, const QString &udid, const QString &backupRoot);

    // Runs the tool; returns only on success, throws BackupToolError (std::runtime_error) on a
    // failure and TaskCanceled after a cancel. Called on a worker thread.
    void run(backup2tool_op op);

    // The password of an encrypted backup to restore. It reaches the tool on its standard input
    // (-i), never on its command line, which other users can read; it is wiped after the run.
    void setBackupPassword(const QString &password) { m_password = password; }

    // Also stops the tool when this says so (checked as often as the cancel flag).
    void setCancelCheck(std::function<bool()> canceled) { m_cancelCheck = std::move(canceled); }

    QString backupRoot() const { return m_backupRoot; }
    // A restore adds -i when a password is set, and --skip-apps when the backup's Info.plist
    // lists no Applications (1.3.0 refuses to restore it otherwise).
    QStringList arguments(backup2tool_op op) const;
    // The tool's absolute path, or its bare name when it cannot be found.
    static QString toolPath();
    // idevicebackup2 refuses to restore a backup without its Info.plist.
    static bool needsInfoPlistToRestore();

    // Seconds a backup of the phone is expected to take; 60 when its usage cannot be read.
    int estimateDurationSeconds() const;
    static int estimateSeconds(qint64 totalBytes, qint64 availableBytes);
    static double progressAfter(qint64 elapsedSeconds, int estimateSeconds);

signals:
    void update(double progress, QString status, QString detail);

public slots:
    void cancel();

private:
    bool isCanceled() const;
    static QString toolName();
    bool backupFinished() const;
    bool infoPlistListsApps() const;
    // Whether the multiplexer lists the phone; nothing when it cannot be asked.
    std::optional<bool> phoneListed() const;
    void sendPassword(QProcess &process);

    MobileDeviceHandle *m_device;
    QString m_udid;
    QString m_backupRoot;
    double m_progress = 0;
    std::atomic<bool> m_canceled{false};
    std::function<bool()> m_cancelCheck;
    QString m_password;
};
