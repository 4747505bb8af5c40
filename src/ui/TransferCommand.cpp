#include "ui/TransferCommand.h"

#include "app/FileUtils.h"
#include "app/MessageBoxes.h"
#include "app/PrivateCache.h"
#include "device/IOSRestorePreflight.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "ui/DataSourceSelForm.h"
#include "ui/ImportItunesCommand.h"
#include "ui/LoadDeviceCommand.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "views/ItemModelMain.h"
#include "workers/DeviceTransferNotes.h"
#include "workers/IOSMergeWAFiles2iTunesBKThread.h"
#include "workers/IOSMobileRestoreThread.h"
#include "workers/IOSRestoreKikMsgThread.h"
#include "workers/KikBackupAccounts.h"
#include "workers/UnlockBackupThread.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

QString successText(int transferred)
{
    return QObject::tr("Successfully transferred %n messages to iPhone.", nullptr, transferred);
}

// Which backup is meant, so that the user can tell it from the others of the same phone.
QString describeBackup(const BackupManifest &backup)
{
    return QStringLiteral("\"%1\" (made %2, in %3)")
        .arg(escapeHtml(backup.displayName()),
             QLocale::system().toString(backup.backupDate().toLocalTime(), QLocale::ShortFormat),
             escapeHtml(QDir::toNativeSeparators(backup.folder())));
}

QString backupWriteQuestion(const BackupManifest &backup, int messages)
{
    return QObject::tr("%n messages will be merged into Kik's data in the iTunes backup %1. This changes the "
                       "backup; a phone restored from it gets these messages.<br/><br/>Write into this backup?",
                       nullptr, messages)
        .arg(describeBackup(backup));
}

}   // namespace

void TransferCommand::toDevice(MessageVariant variant)
{
    const CommandMessages messages = m_window.messagesFor(variant);
    if (messages.messages.isEmpty())
        return;
    DeviceDescription target;
    if (!chooseTargetDevice(&target))
        return;
    // The last chance to stop before the phone is written to.
    if (!askToContinue(closeKikFirstNote() + QStringLiteral("<br/><br/><img src=\":res/kill_kik.png\">")))
        return;
    bool usedBackup = false;
    LoadDeviceCommand loader(m_window);
    if (!loader.run(target, &usedBackup))
        return;
    int transferred = 0;
    IOSFileItemList files;
    if (!restore(target, messages, !usedBackup, &transferred, &files))
        return;
    if (usedBackup) {
        // A phone that keeps Kik in its App Group container gets the store there.
        finishThroughDeviceBackup(target, transferred, placedInBackup(files, loader.backupLocation()), loader.backupPassword());
        return;
    }
    showInformation(successText(transferred));
    LoadDeviceCommand(m_window).run(target);
}

bool TransferCommand::chooseTargetDevice(DeviceDescription *target)
{
    const CommandScope scope = m_window.commandScope();
    const QString sourceUdid =
        scope.sourceIsDevice() ? static_cast<const _IOSDeviceItemNode *>(scope.source)->device.udid : QString();
    QList<ChoiceEntry> entries;
    for (_ItemNode *node : m_window.mainModel()->deviceRoot()->children) {
        const auto *device = static_cast<const _IOSDeviceItemNode *>(node);
        if (device->device.udid != sourceUdid)
            entries.append({QStringLiteral(":res/iphone.svg"), device->text, node});
    }
    if (entries.isEmpty())
        return false;
    void *chosen = m_window.dialogs().chooseDevice(QObject::tr("IDS_SEL_ONE_IOS_DEVICE"), entries);
    if (!chosen)
        return false;
    *target = static_cast<const _IOSDeviceItemNode *>(chosen)->device;
    return true;
}

bool TransferCommand::restore(const DeviceDescription &device, const CommandMessages &messages, bool direct, int *transferred,
                              IOSFileItemList *files)
{
    ProgressForm form(&m_window);
    IOSRestoreKikMsgThread worker(device, messages.messages, &form);
    worker.setDirect(direct);
    if (!runWithProgress(form, worker))
        return false;
    *transferred = worker.transferred();
    *files = worker.fileList();
    return true;
}

bool TransferCommand::mergeIntoBackup(const QSharedPointer<BackupManifest> &backup, const BackupWriteLock &lock,
                                      const IOSFileItemList &files)
{
    ProgressForm form(&m_window);
    IOSMergeWAFiles2iTunesBKThread worker(backup, lock, files, &form);
    return runWithProgress(form, worker);
}

// The phone's container was closed, so the files go into the device backup the load made and
// that backup goes back onto the phone.
void TransferCommand::finishThroughDeviceBackup(const DeviceDescription &device, int transferred, const IOSFileItemList &files,
                                                const QString &knownPassword)
{
    if (!askToContinue(deviceRestoreNotes()))
        return;
    if (const QString warning = IOSRestorePreflight().warning(static_cast<MobileDeviceHandle *>(device.handle));
        !warning.isEmpty()) {
        showWarning(warning);
        return;
    }
    const QString backupRoot = deviceBackupRoot();
    const QString backupFolder = QDir(backupRoot).filePath(sanitizeFileName(device.udid));
    if (!QFileInfo(backupFolder).isDir()) {
        reportError(QStringLiteral("The device backup of this iPhone is missing."));
        return;
    }
    const auto backup = QSharedPointer<BackupManifest>::create(backupFolder);
    // Held until the restore has read the backup: no other writer changes it meanwhile.
    BackupWriteLock lock(backup->folder());
    try {
        lock.acquireOrBusyThrow();
        backup->readInfo();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    QString password = knownPassword;
    if (backup->encrypted() && !unlockForRestore(backup, &password))
        return;
    try {
        backup->load();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    if (!mergeIntoBackup(backup, lock, files))
        return;
    restoreDeviceBackup(device, backupRoot, transferred, password);
}

// The phone needs the password of an encrypted backup to restore it. Only one that unlocks the
// backup is used, so a wrong one never reaches the phone: the one the load of this backup was
// given (tried behind the progress dialog: the key derivation takes seconds), else the user is
// asked. False when it stays locked, the user gave up, or the try failed (shown) or was cancelled.
bool TransferCommand::unlockForRestore(const QSharedPointer<BackupManifest> &backup, QString *password)
{
    if (!password->isEmpty()) {
        ProgressForm form(&m_window);
        UnlockBackupThread worker(backup, *password, &form);
        if (!runWithProgress(form, worker))
            return false;
        if (worker.keybag()) {
            backup->setKeybag(worker.keybag());
            return true;
        }
    }
    return m_window.dialogs().unlockBackup(backup, password);
}

// The merged device backup goes back onto the phone, which restarts afterwards: its node goes
// now, and the phone is loaded again when it comes back.
void TransferCommand::restoreDeviceBackup(const DeviceDescription &device, const QString &backupRoot, int transferred,
                                          const QString &password)
{
    {
        ProgressForm form(&m_window);
        IOSMobileRestoreThread worker(device, backupRoot, &form);
        worker.setBackupPassword(password);
        if (!runWithProgress(form, worker))
            return;
    }
    showInformation(successText(transferred));
    m_window.iosDeviceDisconnected(device.handle);
}

void TransferCommand::toItunesBackup(MessageVariant variant)
{
    const CommandMessages messages = m_window.messagesFor(variant);
    if (messages.messages.isEmpty())
        return;
    const QSharedPointer<BackupManifest> chosen = m_window.dialogs().chooseBackupToWrite();
    if (!chosen
        || !askWithButtons(QMessageBox::Question, backupWriteQuestion(*chosen, int(messages.messages.size())),
                           QStringLiteral("Write"), QStringLiteral("Cancel")))
        return;
    // One writer per backup, held from before Kik's files are read until the commit has ended;
    // the run's mirror of those files is its own (private, gone however it ends).
    QSharedPointer<BackupManifest> backup = chosen;
    BackupWriteLock lock(backup->folder());
    std::unique_ptr<QTemporaryDir> mirror;
    try {
        lock.acquireOrBusyThrow();
        backup = BackupManifest::currentThrow(backup);
        mirror = privateTemporaryFolderThrow();
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    // An encrypted backup is written once its password was given (extractKik asks for it).
    DeviceDescription device;
    device.udid = mirror->path();
    device.deviceName = backup->deviceName();
    KikBackupLocation location;
    const QString appFolder = ImportItunesCommand(m_window).extractKik(
        backup, mirror->path(),
        QStringLiteral("Found no Kik data in your iTunes Backup. Please check if you have installed and verified Kik "
                       "Messenger on your iPhone."),
        &location);
    int transferred = 0;
    IOSFileItemList files;
    if (!appFolder.isEmpty() && restore(device, messages, false, &transferred, &files)
        && mergeIntoBackup(backup, lock, placedInBackup(files, location)))
        // Rich text (the break), so that the escaped name reads as it is.
        showInformation(QObject::tr("Successfully transferred %n messages into the iTunes backup<br/>%1.", nullptr, transferred)
                            .arg(describeBackup(*backup)));
}
