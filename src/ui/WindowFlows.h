#pragma once

#include "device/DeviceDescription.h"
#include "ui/CommandScope.h"
#include "ui/Export.h"

#include <QSharedPointer>
#include <QString>

class BackupManifest;
class CommandHost;

// The window's commands that run a workflow: they take the messages the command names (its
// variant) and the source or phone it stands on, and leave the steps to the workflow.
class PARLEWICK_UI_EXPORT WindowFlows
{
public:
    explicit WindowFlows(CommandHost &host)
        : m_host(host)
    {
    }

    // The Backup family: into a local database, named after the source by default.
    void backUp(MessageVariant variant);
    void exportToFile(MessageVariant variant);
    // Onto a connected phone other than the one the messages come from.
    void transferToPhone(MessageVariant variant);
    void transferToBackup(MessageVariant variant);
    // "Import from iTunes Backup"; an empty proposed name proposes the phone's.
    void importBackup(const QString &proposedName);
    // A dropped backup (its metadata read) or copy of Kik's app folder.
    void importDroppedBackup(const QSharedPointer<BackupManifest> &backup);
    void importDroppedKikFolder(const QString &folder, const QString &thumbsFolder);
    // Kik's data of a plugged-in phone, shown under its node.
    bool loadPhone(const DeviceDescription &device);
    // The last stretch of the phone's backup road, from its device backup in backupFolder.
    bool loadFromDeviceBackup(const DeviceDescription &device, const QString &backupFolder);

private:
    // The connected phone to transfer to; false when none was chosen.
    bool chooseTargetDevice(DeviceDescription *target);

    CommandHost &m_host;
};
