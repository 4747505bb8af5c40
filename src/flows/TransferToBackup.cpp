#include "flows/TransferToBackup.h"

#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "flows/BackupReading.h"
#include "flows/FlowInteraction.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "workers/BackupFileMergeThread.h"
#include "workers/IOSRestoreKikMsgThread.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

QString TransferToBackup::describe(const BackupManifest &backup)
{
    return QStringLiteral("\"%1\" (made %2, in %3)")
        .arg(backup.displayName(), QLocale::system().toString(backup.backupDate().toLocalTime(), QLocale::ShortFormat),
             QDir::toNativeSeparators(backup.folder()));
}

QString TransferToBackup::question(const BackupManifest &backup, int messages)
{
    return QObject::tr("%n messages will be merged into Kik's data in the iTunes backup %1. This changes the "
                       "backup; a phone restored from it gets these messages.\n\nWrite into this backup?",
                       nullptr, messages)
        .arg(describe(backup));
}

bool TransferToBackup::run(const KikMessageList &messages)
{
    if (messages.isEmpty())
        return false;
    QSharedPointer<BackupManifest> backup = m_interaction.chooseBackup(FlowInteraction::BackupUse::Write);
    if (!backup || !m_interaction.confirm(FlowInteraction::Question::WriteIntoBackup, question(*backup, int(messages.size()))))
        return false;
    // A run that wrote meanwhile changed the list, which is then read again.
    BackupWriteLock lock(backup->folder());
    m_interaction.acquireWriteLock(lock);
    backup = BackupManifest::currentThrow(backup);
    const std::unique_ptr<QTemporaryDir> mirror = privateTemporaryFolderThrow();
    // An encrypted backup is written once its password was given.
    KikExtraction kik;
    if (!openAndExtractKik(m_interaction, backup, mirror->path(),
                           QStringLiteral("Found no Kik data in your iTunes Backup. Please check if you have installed and "
                                          "verified Kik Messenger on your iPhone."),
                           &kik))
        return false;
    DeviceDescription device;
    device.udid = mirror->path();
    device.deviceName = backup->deviceName();
    const std::unique_ptr<FlowTask> mergeTask = m_interaction.task();
    IOSRestoreKikMsgThread merge(device, messages, &mergeTask->target());
    merge.setDirect(false);
    if (!mergeTask->run(merge))
        return false;
    const std::unique_ptr<FlowTask> writeTask = m_interaction.lastTask();
    BackupFileMergeThread write(backup, lock, placedInBackup(merge.fileList(), kik.location), &writeTask->target());
    if (!writeTask->run(write))
        return false;
    m_interaction.transferred(merge.transferred(), backup.data());
    return true;
}
