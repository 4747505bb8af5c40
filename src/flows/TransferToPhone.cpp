#include "flows/TransferToPhone.h"

#include "app/AppError.h"
#include "flows/BackupReading.h"
#include "flows/FlowInteraction.h"
#include "flows/LoadPhone.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "workers/BackupFileMergeThread.h"
#include "workers/DeviceTransferNotes.h"
#include "workers/IOSMobileRestoreThread.h"
#include "workers/IOSRestoreKikMsgThread.h"

#include <QFileInfo>

bool TransferToPhone::run(const std::function<KikMessageList()> &messages)
{
    // The last chance to stop before the phone is written to.
    if (!m_interaction.confirm(FlowInteraction::Question::CloseKik, closeKikFirstNote()))
        return false;
    const KikMessageList toTransfer = messages();
    if (toTransfer.isEmpty())
        failWith(QStringLiteral("There are no messages to transfer."));
    // The phone's store as it is now: the messages are merged into it.
    LoadPhone phone(m_interaction, m_target);
    if (!phone.run())
        return false;
    const PhoneKikMirror &mirror = phone.result();
    if (mirror.usedBackup) {
        // Asked before anything is merged, so that a "no" leaves even the mirror as it was.
        if (!m_interaction.confirm(FlowInteraction::Question::RestoreNotes, deviceRestoreNotes()))
            return false;
        if (const QString warning = restorePreflightWarning(m_target); !warning.isEmpty()) {
            m_interaction.warn(FlowInteraction::Warning::CloudBackupOn, warning);
            return false;
        }
    }
    // Directly, the merge writes the phone: its success is the transfer's.
    const std::unique_ptr<FlowTask> task = mirror.usedBackup ? m_interaction.task() : m_interaction.lastTask();
    IOSRestoreKikMsgThread merge(m_target, toTransfer, &task->target());
    merge.setDirect(!mirror.usedBackup);
    if (!task->run(merge))
        return false;
    if (mirror.usedBackup)
        return restoreThroughDeviceBackup(mirror, merge.transferred(), placedInBackup(merge.fileList(), mirror.location));
    m_interaction.transferred(merge.transferred(), nullptr);
    m_interaction.phoneWritten(m_target, false);
    return true;
}

// The phone keeps Kik's container closed: the changed files go into the device backup the load
// made, and that backup goes back onto the phone, which restarts afterwards.
bool TransferToPhone::restoreThroughDeviceBackup(const PhoneKikMirror &mirror, int transferred, const IOSFileItemList &files)
{
    if (!QFileInfo(mirror.backupFolder).isDir())
        failWith(QStringLiteral("The device backup of this iPhone is missing."));
    const auto backup = QSharedPointer<BackupManifest>::create(mirror.backupFolder);
    // Held until the restore has read the backup: no other writer changes it meanwhile.
    BackupWriteLock lock(backup->folder());
    lock.acquireOrBusyThrow();
    readBackupInfoThrow(*backup);
    Secret password = mirror.backupPassword.clone();
    if (backup->encrypted() && !unlockForRestore(backup, &password))
        return false;
    backup->load();
    {
        const std::unique_ptr<FlowTask> task = m_interaction.task();
        BackupFileMergeThread write(backup, lock, files, &task->target());
        if (!task->run(write))
            return false;
    }
    const std::unique_ptr<FlowTask> task = m_interaction.lastTask();
    IOSMobileRestoreThread restore(m_target, QFileInfo(mirror.backupFolder).path(), &task->target());
    restore.setBackupPassword(std::move(password));
    if (!task->run(restore))
        return false;
    m_interaction.transferred(transferred, nullptr);
    m_interaction.phoneWritten(m_target, true);
    return true;
}

// The phone needs the password of an encrypted backup to restore it. Only one that unlocks the
// backup is used, so a wrong one never reaches the phone: the one the load of this backup was
// given (tried behind the progress: the key derivation takes seconds), else the user is asked.
bool TransferToPhone::unlockForRestore(const QSharedPointer<BackupManifest> &backup, Secret *password)
{
    if (!password->isEmpty()) {
        switch (unlockWithKnownPassword(m_interaction, backup, *password)) {
        case KnownPassword::Unlocked:
            return true;
        case KnownPassword::Stopped:
            return false;
        case KnownPassword::Refused:
            break;
        }
    }
    return m_interaction.unlockBackup(backup, password);
}
