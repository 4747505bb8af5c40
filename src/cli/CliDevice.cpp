#include "cli/CliDevice.h"

#include "app/AppError.h"
#include "cli/CliOutput.h"
#include "cli/ConsoleProgress.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "workers/IOSMobileBackupThread.h"

#include <QDir>

#include <algorithm>

namespace {

}   // namespace

DeviceDescription connectedDeviceThrow(const QString &udid)
{
    const QList<MobileDeviceHandle *> connected = MobileDeviceHandle::connectedDevices();
    for (MobileDeviceHandle *device : connected) {
        if (device->udid() != udid)
            continue;
        // The phone is named by the UDID the user gave, whatever its lockdown says.
        DeviceDescription description = describeDeviceThrow(device);
        description.udid = device->udid();
        return description;
    }
    QString text = QStringLiteral("No iPhone with the UDID %1 is connected.").arg(tabField(udid));
    if (connected.isEmpty())
        text += QStringLiteral(" No iPhone is connected.");
    else
        text += QStringLiteral(" Connected iPhones:");
    for (MobileDeviceHandle *device : connected)
        text += QStringLiteral("\n  ") + tabField(device->udid());
    failWith(text);
}

QCommandLineOption backupDirOption()
{
    return QCommandLineOption(QStringLiteral("backup-dir"),
                              QStringLiteral("Keep the iPhone's device backup in DIR/UDID (default: as in Preferences)."),
                              QStringLiteral("DIR"));
}

void useBackupDirOption(const QList<QCommandLineOption> &options, const QCommandLineParser &args)
{
    const QString name = backupDirOption().names().constFirst();
    const bool offered = std::any_of(options.begin(), options.end(),
                                     [&](const QCommandLineOption &option) { return option.names().contains(name); });
    if (offered && args.isSet(name))
        setDeviceBackupRootForThisRun(args.value(name));
}

QString deviceBackupThrow(const DeviceDescription &device)
{
    if (const QString told = retireEarlierBackupFolder(); !told.isEmpty())
        printErr(told);
    ConsoleProgress progress;
    IOSMobileBackupThread backup(device, &progress);
    runTaskThrow(progress, backup);
    return QDir(backup.backupFolder()).filePath(device.udid);
}
