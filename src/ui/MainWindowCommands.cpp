// The command slots of the main window: each picks its messages and hands over to the command
// class of its family.
#include "ui/MainWindow.h"

#include "app/AppFolders.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/Preferences.h"
#include "app/VendorHost.h"
#include "app/VolumeSerial.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"
#include "device/TempBackupFolder.h"
#include "ui/AboutUsForm.h"
#include "ui/DeleteCommand.h"
#include "ui/ManualViewer.h"
#include "ui/PhoneServiceHint.h"
#include "ui/PreferencesDialog.h"
#include "ui/WindowFlows.h"
#include "views/ItemModelMain.h"
#include "widgets/KikMsgPrinter.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"
#include "widgets/UpdateCheck.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <stdexcept>

void MainWindow::miBackup()
{
    WindowFlows(*this).backUp(MessageVariant::Selection);
}
void MainWindow::miBackupChat()
{
    WindowFlows(*this).backUp(MessageVariant::Chat);
}
void MainWindow::miBackupAll()
{
    WindowFlows(*this).backUp(MessageVariant::All);
}
void MainWindow::miBackupToolbar()
{
    WindowFlows(*this).backUp(MessageVariant::Toolbar);
}

void MainWindow::miExport()
{
    WindowFlows(*this).exportToFile(MessageVariant::Selection);
}
void MainWindow::miExportChat()
{
    WindowFlows(*this).exportToFile(MessageVariant::Chat);
}
void MainWindow::miExportAll()
{
    WindowFlows(*this).exportToFile(MessageVariant::All);
}
void MainWindow::miExportToolbar()
{
    WindowFlows(*this).exportToFile(MessageVariant::Toolbar);
}

void MainWindow::miPrint()
{
    print(MessageVariant::Selection);
}
void MainWindow::miPrintChat()
{
    print(MessageVariant::Chat);
}
void MainWindow::miPrintAll()
{
    print(MessageVariant::All);
}
void MainWindow::miPrintToolbar()
{
    print(MessageVariant::Toolbar);
}

void MainWindow::print(MessageVariant variant)
{
    const CommandMessages messages = messagesFor(variant);
    if (messages.messages.isEmpty())
        return;
    KikMsgPrinter printer(this);
    printer.print(messages.messages);
}

void MainWindow::miDelete()
{
    DeleteCommand(*this).deleteSelected();
}
void MainWindow::miDeleteChat()
{
    DeleteCommand(*this).deleteChat();
}
void MainWindow::miDeleteAll()
{
    DeleteCommand(*this).deleteDatabase();
}
void MainWindow::miDeleteToolbar()
{
    DeleteCommand(*this).deleteFromToolbar();
}

void MainWindow::miI2i()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Selection);
}
void MainWindow::miI2iChat()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Chat);
}
void MainWindow::miI2iAll()
{
    WindowFlows(*this).transferToPhone(MessageVariant::All);
}
void MainWindow::miI2iToolbar()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Toolbar);
}
void MainWindow::miDb2i()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Selection);
}
void MainWindow::miDb2iChat()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Chat);
}
void MainWindow::miDb2iAll()
{
    WindowFlows(*this).transferToPhone(MessageVariant::All);
}
void MainWindow::miDb2iToolbar()
{
    WindowFlows(*this).transferToPhone(MessageVariant::Toolbar);
}
void MainWindow::miExport2ITunesBKSel()
{
    WindowFlows(*this).transferToBackup(MessageVariant::Selection);
}
void MainWindow::miExport2ITunesBKChat()
{
    WindowFlows(*this).transferToBackup(MessageVariant::Chat);
}
void MainWindow::miExport2ITunesBKAll()
{
    WindowFlows(*this).transferToBackup(MessageVariant::All);
}
void MainWindow::miExport2ITunesBKToolbar()
{
    WindowFlows(*this).transferToBackup(MessageVariant::Toolbar);
}

void MainWindow::miImportiTunes()
{
    WindowFlows(*this).importBackup(QString());
}

void MainWindow::miImportiTunesToLocalDb()
{
    const ItemNode *node = currentNode();
    if (node && node->type == LocalDbNodeType)
        WindowFlows(*this).importBackup(node->text);
}

void MainWindow::miOpenDBFolder()
{
    openInExplorer(localDatabasesFolder());
}

void MainWindow::miClearCache()
{
    removeFolderTree(iosCacheFolder());
    retireEarlierBackupFolder();   // logged; what it kept goes with the rest
    clearTempBackupFolder();
    showInformation(QObject::tr("IDS_SUC_CLEAR_CACHE"));
}

void MainWindow::miViewIOSCacheFiles()
{
    const ItemNode *node = currentNode();
    if (!node || node->type != IOSDeviceNodeType)
        return;
    const QString folder = deviceCacheFolder(static_cast<const PhoneItemNode *>(node)->device);
    QDir().mkpath(folder);
    openInExplorer(folder);
}

void MainWindow::miUnmountDevice()
{
    ItemNode *node = currentNode();
    if (node && node->type == IOSDeviceNodeType)
        removeSourceNode(static_cast<PhoneItemNode *>(node));
}

// The vendor's pages exist only where a vendor host is configured; their menu entries too.
void MainWindow::miCheckUpdate()
{
    if (vendorHostConfigured())
        shellOpen(manualUpdateCheckUrl(currentVolumeSerial()).toString());
}

void MainWindow::miPreferences()
{
    PreferencesDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted && m_shownDataSet)
        showMessages(m_shownDataSet, m_currentChat);   // the times in the chosen clock
}

void MainWindow::miHelp()
{
    ManualViewer::showFor(this);
}

void MainWindow::miFeedback()
{
    if (vendorHostConfigured())
        shellOpen(vendorUrl(QStringLiteral("/support/")));
}

void MainWindow::miAbout()
{
    AboutUsForm form(this);
    form.exec();
}

void MainWindow::miHome()
{
    if (vendorHostConfigured())
        shellOpen(vendorUrl(QStringLiteral("/")));
}

void MainWindow::iosDeviceConnected(void *handle)
{
    auto *device = static_cast<MobileDeviceHandle *>(handle);
    if (!device || !device->isAttached())
        return;
    // Announced while a dialog or a task is in front (another phone arriving at the same time,
    // say): the phone waits its turn, so that only one task runs at a time.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(500, this, [this, handle] { iosDeviceConnected(handle); });
        return;
    }
    DeviceDescription description;
    try {
        description = describeDeviceThrow(device);
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    showConnectNotesOnce(description.udid);
    loadKikFromDevice(description);
}

// Before the first load of each phone in a session, unless the user asked not to see them again.
void MainWindow::showConnectNotesOnce(const QString &udid)
{
    Preferences preferences = Preferences::load();
    if (!preferences.connectNotes || m_notedPhones.contains(udid))
        return;
    m_notedPhones.insert(udid);
    if (showInformationWithOptOut(QStringLiteral(
            "<p><b>Notes:</b></p><p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please enter your "
            "passcode on iPhone first.</nobr></p><p><nobr><b>2.</b>  Please make sure you have installed and verified "
            "Kik on your iPhone.</nobr></p>"))) {
        preferences.connectNotes = false;
        preferences.save();
    }
}

void MainWindow::loadKikFromDevice(const DeviceDescription &description)
{
    qDebug() << "iPhone" << description.deviceName << description.udid << "connected";
    if (!WindowFlows(*this).loadPhone(description))
        keepUnloadedPhone(description);
}

// A phone whose load failed or was cancelled stays listed while it is plugged in, marked, so
// that Retry (or F5) can load it again without pulling the cable.
void MainWindow::keepUnloadedPhone(const DeviceDescription &description)
{
    const MobileDeviceHandle *device = description.handle;
    if (!device || !device->isAttached())
        return;
    for (ItemNode *node : mainModel()->deviceRoot()->children) {
        if (static_cast<const PhoneItemNode *>(node)->device.handle == description.handle)
            return;
    }
    PhoneItemNode *node = mainModel()->addDevice(description);
    node->loadFailed = true;
    node->text = QStringLiteral("%1 (not loaded)").arg(description.deviceName);
    selectNode(node);
}

void MainWindow::iosDeviceDisconnected(void *handle)
{
    if (!handle)
        return;
    m_phoneServiceHint->check();
    const QList<ItemNode *> devices = mainModel()->deviceRoot()->children;
    for (ItemNode *node : devices) {
        auto *device = static_cast<PhoneItemNode *>(node);
        if (device->device.handle == handle)
            removeSourceNode(device);
    }
}
