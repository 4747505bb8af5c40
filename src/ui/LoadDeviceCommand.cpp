#include "ui/LoadDeviceCommand.h"

#include "app/MessageBoxes.h"
#include "device/DeviceCacheFolder.h"
#include "device/IOSRestorePreflight.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "ui/ImportItunesCommand.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "views/ItemModelMain.h"
#include "workers/IOSLoadKikMessagesThread.h"
#include "workers/IOSMobileBackupThread.h"

#include <QDir>

#include <memory>
#include <stdexcept>

bool LoadDeviceCommand::run(const DeviceDescription &device, bool *usedBackup)
{
    QString appFolder;
    bool useBackup = false;
    {
        ProgressForm form(&m_window);
        IOSLoadKikMessagesThread loader(device, &form);
        if (!runWithProgress(form, loader))
            return false;
        useBackup = loader.useBackup();
        appFolder = loader.appFolder();
    }
    if (usedBackup)
        *usedBackup = useBackup;
    if (useBackup)
        return loadThroughDeviceBackup(device);
    return showDevice(device, appFolder);
}

// The phone keeps Kik's container closed: a device backup is made and Kik's files are taken
// out of it into the same mirror.
bool LoadDeviceCommand::loadThroughDeviceBackup(const DeviceDescription &device)
{
    // A phone that backs up to iCloud would not take the restore that brings transferred
    // messages back through this backup.
    if (const QString warning = IOSRestorePreflight().warning(static_cast<MobileDeviceHandle *>(device.handle));
        !warning.isEmpty()) {
        showWarning(warning);
        return false;
    }
    if (const QString told = retireEarlierBackupFolder(); !told.isEmpty())
        showInformation(told);
    QString backupRoot;
    {
        ProgressForm form(&m_window);
        IOSMobileBackupThread backup(device, &form);
        if (!runWithProgress(form, backup))
            return false;
        backupRoot = backup.backupFolder();
    }
    return loadFromDeviceBackup(device, QDir(backupRoot).filePath(device.udid));
}

bool LoadDeviceCommand::loadFromDeviceBackup(const DeviceDescription &device, const QString &backupFolder)
{
    const auto backup = QSharedPointer<BackupManifest>::create(backupFolder);
    try {
        backup->readInfo();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return false;
    }
    ImportItunesCommand import(m_window);
    const QString appFolder =
        import.extractKik(backup, deviceCacheFolder(device), ImportItunesCommand::notFoundText(), &m_location, &m_backupPassword);
    return !appFolder.isEmpty() && showDevice(device, appFolder);
}

bool LoadDeviceCommand::showDevice(const DeviceDescription &device, const QString &appFolder)
{
    auto store = std::make_unique<IOSKikDb>(appFolder);
    store->setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr dataSet = m_window.loadWithProgress(std::move(store), QObject::tr("IDS_LOADING_IOS_KIK"));
    if (!dataSet)
        return false;
    ItemModelMain *model = m_window.mainModel();
    // A phone announced again (loaded anew) replaces its node rather than doubling it.
    const QList<_ItemNode *> devices = model->deviceRoot()->children;
    for (_ItemNode *node : devices) {
        auto *known = static_cast<_IOSDeviceItemNode *>(node);
        if (known->device.handle == device.handle)
            m_window.removeSourceNode(known);
    }
    _IOSDeviceItemNode *node = model->addDevice(device);
    node->dataSet = dataSet;
    model->addChats(node);
    m_window.selectNode(node);
    return true;
}
