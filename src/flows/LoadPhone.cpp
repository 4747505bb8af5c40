#include "flows/LoadPhone.h"

#include "app/AppError.h"
#include "device/DeviceCacheFolder.h"
#include "device/IOSRestorePreflight.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "flows/BackupReading.h"
#include "flows/FlowInteraction.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "workers/IOSLoadKikMessagesThread.h"
#include "workers/IOSMobileBackupThread.h"

#include <QDir>

QString restorePreflightWarning(const DeviceDescription &device)
{
    return IOSRestorePreflight().warning(device.handle);
}

bool LoadPhone::run()
{
    return mirror() && show();
}

bool LoadPhone::mirror()
{
    m_mirror = PhoneKikMirror();
    const std::unique_ptr<FlowTask> task = m_interaction.task();
    IOSLoadKikMessagesThread direct(m_device, &task->target());
    if (!task->run(direct))
        return false;
    if (direct.useBackup())
        return mirrorThroughDeviceBackup();
    if (!m_interaction.givenKikAccount().isEmpty())
        failWith(QStringLiteral("This iPhone serves Kik's app container, which holds no other accounts: leave out --account."));
    m_mirror.appFolder = direct.appFolder();
    return true;
}

bool LoadPhone::mirrorThroughDeviceBackup()
{
    if (const QString warning = restorePreflightWarning(m_device); !warning.isEmpty()) {
        m_interaction.warn(FlowInteraction::Warning::CloudBackupOn, warning);
        return false;
    }
    m_interaction.mention(QStringLiteral("The iPhone keeps Kik's container closed: its Kik data comes through a device backup."));
    if (const QString told = retireEarlierBackupFolder(); !told.isEmpty())
        m_interaction.tell(told);
    QString backupRoot;
    {
        const std::unique_ptr<FlowTask> task = m_interaction.task();
        IOSMobileBackupThread backup(m_device, &task->target());
        if (!task->run(backup))
            return false;
        backupRoot = backup.backupFolder();
    }
    return extractFromDeviceBackup(QDir(backupRoot).filePath(m_device.udid));
}

bool LoadPhone::loadFromDeviceBackup(const QString &backupFolder)
{
    m_mirror = PhoneKikMirror();
    return extractFromDeviceBackup(backupFolder) && show();
}

bool LoadPhone::extractFromDeviceBackup(const QString &backupFolder)
{
    const auto backup = QSharedPointer<BackupManifest>::create(backupFolder);
    readBackupInfoThrow(*backup);
    KikExtraction kik;
    if (!openAndExtractKik(m_interaction, backup, deviceCacheFolder(m_device), kikNotFoundText(), &kik, &m_mirror.backupPassword))
        return false;
    m_mirror.usedBackup = true;
    m_mirror.backupFolder = backupFolder;
    m_mirror.appFolder = kik.appFolder;
    m_mirror.location = kik.location;
    return true;
}

bool LoadPhone::show()
{
    auto store = std::make_unique<IOSKikDb>(m_mirror.appFolder);
    store->setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr data = m_interaction.loadKik(std::move(store), QObject::tr("IDS_LOADING_IOS_KIK"));
    if (!data)
        return false;
    m_interaction.showPhone(m_device, data);
    return true;
}
