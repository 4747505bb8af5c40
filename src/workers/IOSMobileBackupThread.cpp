#include "workers/IOSMobileBackupThread.h"

#include "app/FileUtils.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupDiscovery.h"
#include "plist/CFType.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QDir>
#include <QFileInfo>

IOSMobileBackupThread::IOSMobileBackupThread(const DeviceDescription &device, AbsProgressTarget *progress, QObject *parent)
    : AbsDeviceBackupThread(device, deviceBackupRoot(), QStringLiteral("Backing up %1...").arg(phoneName(device)), progress,
                            parent)
{
}

bool IOSMobileBackupThread::canContinueBackup(const QString &deviceFolder, const QString &productVersion)
{
    const QDir folder(deviceFolder);
    if (backupFormatOf(deviceFolder) == BackupFormat::None)
        return false;
    for (const char *name : {"Status.plist", "Manifest.plist"}) {
        if (!QFileInfo::exists(folder.filePath(QLatin1String(name))))
            return false;
    }
    const CFType status = CFType::fromPlistFile(folder.filePath(QStringLiteral("Status.plist")));
    if (status.value(QStringLiteral("SnapshotState")).toQString() != QLatin1String("finished"))
        return false;
    const CFType manifest = CFType::fromPlistFile(folder.filePath(QStringLiteral("Manifest.plist")));
    const QString version = manifest.value(QStringLiteral("Lockdown")).value(QStringLiteral("ProductVersion")).toQString();
    return !version.isEmpty() && version == productVersion;
}

void IOSMobileBackupThread::run()
{
    postProgress(m_progress, m_title, 0, QString());
    QString deviceFolder;
    runTask(
        m_progress,
        [&] {
            deviceFolder = deviceFolderThrow();
            if (QFileInfo::exists(deviceFolder) && !canContinueBackup(deviceFolder, m_device.productVersion))
                removeFolderTree(deviceFolder);
            // A whole copy of the phone: only the user may open it.
            privateDeviceBackupFolderThrow(m_device.udid);
            runClientThrow(MobileBackupClient::Backup);
            return QString();
        },
        [&] {
            // Half a backup must not be taken for the phone's data later; a complete one the
            // phone did not touch stays, so that the next backup only adds what changed.
            if (!deviceFolder.isEmpty() && (m_client->changedFolder() || !MobileBackupClient::snapshotFinished(deviceFolder)))
                removeFolderTree(deviceFolder);
        },
        &errorText);
}
