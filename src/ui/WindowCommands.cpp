#include "ui/WindowCommands.h"

#include "app/AppFolders.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/VendorHost.h"
#include "app/VolumeSerial.h"
#include "device/DeviceCacheFolder.h"
#include "device/TempBackupFolder.h"
#include "ui/AboutUsForm.h"
#include "ui/CommandHost.h"
#include "ui/DeleteCommand.h"
#include "ui/ManualViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/SourcePaths.h"
#include "ui/WindowFlows.h"
#include "views/ItemModelMain.h"
#include "widgets/KikMsgPrinter.h"
#include "widgets/MessageBoxes.h"
#include "widgets/UpdateCheck.h"

#include <QDir>

namespace {

// The phone the current node stands for; null on any other node.
PhoneItemNode *currentPhone(const CommandHost &host)
{
    ItemNode *node = host.commandScope().current;
    return node && node->type == IOSDeviceNodeType ? static_cast<PhoneItemNode *>(node) : nullptr;
}

}   // namespace

void WindowCommands::backUp(MessageVariant variant)
{
    WindowFlows(m_host).backUp(variant);
}

void WindowCommands::exportToFile(MessageVariant variant)
{
    WindowFlows(m_host).exportToFile(variant);
}

void WindowCommands::print(MessageVariant variant)
{
    const CommandMessages messages = m_host.messagesFor(variant);
    if (messages.messages.isEmpty())
        return;
    KikMsgPrinter printer(m_host.dialogParent());
    printer.print(messages.messages);
}

void WindowCommands::transferToPhone(MessageVariant variant)
{
    WindowFlows(m_host).transferToPhone(variant);
}

void WindowCommands::transferToBackup(MessageVariant variant)
{
    WindowFlows(m_host).transferToBackup(variant);
}

void WindowCommands::deleteMessages(MessageVariant variant)
{
    DeleteCommand command(m_host);
    switch (variant) {
    case MessageVariant::Selection:
        command.deleteSelected();
        break;
    case MessageVariant::Chat:
        command.deleteChat();
        break;
    case MessageVariant::All:
        command.deleteDatabase();
        break;
    case MessageVariant::Toolbar:
        command.deleteFromToolbar();
        break;
    }
}

void WindowCommands::importBackup()
{
    WindowFlows(m_host).importBackup(QString());
}

void WindowCommands::importIntoCurrentLocalDb()
{
    const ItemNode *node = m_host.commandScope().current;
    if (node && node->type == LocalDbNodeType)
        WindowFlows(m_host).importBackup(node->text);
}

void WindowCommands::openDatabaseFolder()
{
    openInExplorer(localDatabasesFolder());
}

void WindowCommands::clearCache()
{
    removeFolderTree(iosCacheFolder());
    retireEarlierBackupFolder();   // logged; what it kept goes with the rest
    clearTempBackupFolder();
    showInformation(QObject::tr("IDS_SUC_CLEAR_CACHE"));
}

void WindowCommands::viewPhoneCacheFiles()
{
    const PhoneItemNode *phone = currentPhone(m_host);
    if (!phone)
        return;
    const QString folder = deviceCacheFolder(phone->device);
    QDir().mkpath(folder);
    openInExplorer(folder);
}

void WindowCommands::unmountPhone()
{
    if (PhoneItemNode *phone = currentPhone(m_host))
        m_host.removeSourceNode(phone);
}

void WindowCommands::reloadSource()
{
    const CommandScope scope = m_host.commandScope();
    if (!scope.source)
        return;
    if (scope.sourceIsLocalDb()) {
        const QStringList path = SourcePaths::pathOf(scope.current);
        auto *node = static_cast<LocalDbItemNode *>(scope.source);
        ItemNode *again = m_host.reloadLocalDb(node) ? SourcePaths::nodeAt(m_host.sources(), path) : nullptr;
        if (again)
            m_host.selectNode(again);
        return;
    }
    const DeviceDescription device = static_cast<PhoneItemNode *>(scope.source)->device;
    if (device.handle)   // a phone; a remembered backup has nothing to read again
        m_host.reloadPhone(device);
}

// The vendor's pages exist only where a vendor host is configured; their menu entries too.
void WindowCommands::checkForUpdate()
{
    if (vendorHostConfigured())
        shellOpen(manualUpdateCheckUrl(currentVolumeSerial()).toString());
}

void WindowCommands::editPreferences()
{
    PreferencesDialog dialog(m_host.dialogParent());
    if (dialog.exec() == QDialog::Accepted)
        m_host.showMessagesAgain();   // the times in the chosen clock
}

void WindowCommands::showHelp()
{
    ManualViewer::showFor(m_host.dialogParent());
}

void WindowCommands::sendFeedback()
{
    if (vendorHostConfigured())
        shellOpen(vendorUrl(QStringLiteral("/support/")));
}

void WindowCommands::showAbout()
{
    AboutUsForm form(m_host.dialogParent());
    form.exec();
}

void WindowCommands::openHomePage()
{
    if (vendorHostConfigured())
        shellOpen(vendorUrl(QStringLiteral("/")));
}
