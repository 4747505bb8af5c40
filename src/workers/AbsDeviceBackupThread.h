#pragma once

#include "device/DeviceDescription.h"

#include <QString>
#include <QThread>

#include <exception>

class AbsProgressTarget;
class backup2tool;

// What the device backup and restore threads share: the phone, the progress target, and the
// backup tool that works on <backup root>/<UDID>, stopped by the target's cancel.
class AbsDeviceBackupThread : public QThread
{
    Q_OBJECT
public:
    ~AbsDeviceBackupThread() override;

    QString backupRoot() const;
    // <backup root>/<UDID>; throws for a UDID that is no plain identifier.
    QString deviceFolderThrow() const;

    // The tool's message made fit for the rich-text error dialog.
    static QString escapeAngles(QString text);
    static QString withRestartNote(const QString &text);
    // The tool's failure for the error dialog: a message that already tells the user what to do
    // stands alone, any other gets the note that a restart may help.
    static QString errorText(const std::exception &error);

public slots:
    void backupUpdate(double progress, const QString &status, const QString &detail);

protected:
    AbsDeviceBackupThread(const DeviceDescription &device, const QString &backupRoot, AbsProgressTarget *progress,
                          QObject *parent);

    DeviceDescription m_device;
    AbsProgressTarget *m_progress;
    backup2tool *m_tool;
};
