#pragma once

#include "device/DeviceDescription.h"
#include "device/MobileBackupClient.h"
#include "workers/Export.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <exception>
#include <memory>

class AbsProgressTarget;

// What the device backup and restore threads share: the phone, the progress target, and the
// program's backup client working on <backup root>/<UDID>, stopped by the target's cancel.
// The client's reports become the dialog's lines: what the phone is doing or waiting for, the
// passcode notice while the phone waits for it, bytes of the total announced, files, and the
// time left.
class PARLEWICK_WORKERS_EXPORT AbsDeviceBackupThread : public QThread
{
    Q_OBJECT
public:
    ~AbsDeviceBackupThread() override;

    QString backupRoot() const;
    // <backup root>/<UDID>; throws for a UDID that is no plain identifier.
    QString deviceFolderThrow() const;
    // The client, for its limits and (restore) the source and password.
    MobileBackupClient &client() { return *m_client; }

    static QString withRestartNote(const QString &text);
    // The failure for the error dialog: a message that already tells the user what to do
    // stands alone, any other gets the note that a restart may help.
    static QString errorText(const std::exception &error);

    // What the notice says while the phone waits for its passcode.
    static QString passcodeNotice();
    // The line under the bar for a report: bytes, files, time left (elapsedMs since the first
    // percent the phone gave, -1 before).
    static QString progressText(const MobileBackupClient::Report &report, bool receiving, qint64 elapsedMs);

protected:
    AbsDeviceBackupThread(const DeviceDescription &device, const QString &backupRoot, const QString &title,
                          AbsProgressTarget *progress, QObject *parent);
    void runClientThrow(MobileBackupClient::Operation operation);
    // The phone as the progress names it: its own name, else "the iPhone".
    static QString phoneName(const DeviceDescription &device);

    DeviceDescription m_device;
    AbsProgressTarget *m_progress;
    std::unique_ptr<MobileBackupClient> m_client;
    const QString m_title;

private:
    void postReport(const MobileBackupClient::Report &report, MobileBackupClient::Operation operation);

    QString m_notice;
    QElapsedTimer m_sinceFirstPercent;
};
