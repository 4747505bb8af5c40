#include "ui/WindowFlows.h"

#include "flows/ExportMessages.h"
#include "flows/ImportFromBackup.h"
#include "flows/LoadPhone.h"
#include "flows/LocalDbBackup.h"
#include "flows/TransferToBackup.h"
#include "flows/TransferToPhone.h"
#include "ui/CommandDialogs.h"
#include "ui/CommandHost.h"
#include "ui/DataSourceSelForm.h"
#include "ui/WindowInteraction.h"
#include "views/ItemModelMain.h"

#include <QFileInfo>

void WindowFlows::backUp(MessageVariant variant)
{
    const CommandScope scope = m_host.commandScope();
    if (!scope.source)
        return;
    const CommandMessages messages = m_host.messagesFor(variant);
    WindowInteraction interaction(m_host);
    WindowInteraction::run(
        [&] { return backUpIntoLocalDb(interaction, messages.messages, proposedLocalDbName(scope.source->text)); });
}

void WindowFlows::exportToFile(MessageVariant variant)
{
    const CommandMessages messages = m_host.messagesFor(variant);
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] { return exportMessages(interaction, messages.messages, messages.what); });
}

void WindowFlows::transferToPhone(MessageVariant variant)
{
    const CommandMessages messages = m_host.messagesFor(variant);
    DeviceDescription target;
    if (messages.messages.isEmpty() || !chooseTargetDevice(&target))
        return;
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] { return TransferToPhone(interaction, target).run([&] { return messages.messages; }); });
}

bool WindowFlows::chooseTargetDevice(DeviceDescription *target)
{
    const CommandScope scope = m_host.commandScope();
    const QString sourceUdid = scope.sourceIsDevice() ? static_cast<const PhoneItemNode *>(scope.source)->device.udid : QString();
    QList<ChoiceEntry> entries;
    for (ItemNode *node : m_host.sources().deviceRoot()->children) {
        const auto *device = static_cast<const PhoneItemNode *>(node);
        if (device->device.udid != sourceUdid)
            entries.append({QStringLiteral(":res/iphone.svg"), device->text, node});
    }
    if (entries.isEmpty())
        return false;
    void *chosen = m_host.dialogs().chooseDevice(QObject::tr("IDS_SEL_ONE_IOS_DEVICE"), entries);
    if (!chosen)
        return false;
    *target = static_cast<const PhoneItemNode *>(chosen)->device;
    return true;
}

void WindowFlows::transferToBackup(MessageVariant variant)
{
    const CommandMessages messages = m_host.messagesFor(variant);
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] { return TransferToBackup(interaction).run(messages.messages); });
}

void WindowFlows::importBackup(const QString &proposedName)
{
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] { return ImportFromBackup(interaction).run(proposedName); });
}

void WindowFlows::importDroppedBackup(const QSharedPointer<BackupManifest> &backup)
{
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] { return ImportFromBackup(interaction).importBackup(backup); });
}

void WindowFlows::importDroppedKikFolder(const QString &folder, const QString &thumbsFolder)
{
    WindowInteraction interaction(m_host);
    WindowInteraction::run([&] {
        return ImportFromBackup(interaction)
            .importKikFolder(folder, thumbsFolder, QObject::tr("IDS_LOADING_IOS_KIK"),
                             proposedLocalDbName(QFileInfo(folder).fileName()));
    });
}

bool WindowFlows::loadPhone(const DeviceDescription &device)
{
    WindowInteraction interaction(m_host);
    return WindowInteraction::run([&] { return LoadPhone(interaction, device).run(); });
}

bool WindowFlows::loadFromDeviceBackup(const DeviceDescription &device, const QString &backupFolder)
{
    WindowInteraction interaction(m_host);
    return WindowInteraction::run([&] { return LoadPhone(interaction, device).loadFromDeviceBackup(backupFolder); });
}
