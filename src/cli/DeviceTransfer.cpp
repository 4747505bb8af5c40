#include "cli/DeviceTransfer.h"

#include "cli/CliBackup.h"
#include "cli/CliCommand.h"
#include "cli/CliDevice.h"
#include "cli/CliOutput.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "workers/ConsoleProgress.h"
#include "workers/DeviceTransferNotes.h"
#include "workers/IOSMergeWAFiles2iTunesBKThread.h"
#include "workers/IOSMobileRestoreThread.h"
#include "workers/IOSRestoreKikMsgThread.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// The console shows a link's address beside its label.
QString noteText(const QString &richText)
{
    static const QRegularExpression link(QStringLiteral("<a\\s+href=\"([^\"]*)\"\\s*>([^<]*)</a>"),
                                         QRegularExpression::CaseInsensitiveOption);
    return plainText(QString(richText).replace(link, QStringLiteral("\\2: \\1")));
}

// Prints the note on stderr; goes on with --yes or when the user types "y" at the terminal.
void acceptOrThrow(const QString &note, const QCommandLineParser &args)
{
    printErr(noteText(note));
    if (args.isSet(QStringLiteral("yes")))
        return;
    if (isatty(STDIN_FILENO) != 1)
        throw CliUsageError(QStringLiteral("Nothing was changed on the iPhone: add --yes to accept the notes above."));
    std::fputs("Continue? (y/N) ", stderr);
    std::fflush(stderr);
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.push_back(char(c));
    const QString answer = QString::fromLocal8Bit(line.data(), qsizetype(line.size())).trimmed();
    if (answer.compare(QLatin1String("y"), Qt::CaseInsensitive) != 0
        && answer.compare(QLatin1String("yes"), Qt::CaseInsensitive) != 0)
        throw CliCanceled();
}

// A task that other steps follow: a Ctrl-C that comes after its success still stops them.
void runStepThrow(ConsoleProgress &progress, QThread &worker)
{
    runTaskThrow(progress, worker);
    if (progress.isCanceled())
        throw CliCanceled();
}

// The phone keeps Kik's container closed: the changed files go into the device backup the
// load made, and that backup goes back onto the phone.
void restoreThroughDeviceBackupThrow(const DeviceDescription &device, const DeviceKikMirror &mirror, const IOSFileItemList &files,
                                     const QCommandLineParser &args)
{
    // The phone needs an encrypted backup's password to restore it; only one that unlocked the
    // backup here is handed on, so a wrong one stops before anything reaches the phone.
    // The lock is held until the restore has read the backup: no other writer changes it meanwhile.
    BackupWriteLock lock(mirror.backupFolder);
    lock.acquireOrBusyThrow();
    QString password;
    const QSharedPointer<BackupManifest> backup = openBackupThrow(mirror.backupFolder, args, &password);
    {
        ConsoleProgress progress;
        IOSMergeWAFiles2iTunesBKThread merge(backup, lock, placedInBackup(files, mirror.location), &progress);
        runStepThrow(progress, merge);
    }
    ConsoleProgress progress;
    IOSMobileRestoreThread restore(device, QFileInfo(mirror.backupFolder).path(), &progress);
    restore.setBackupPassword(password);
    runTaskThrow(progress, restore);
}

}   // namespace

DeviceDescription deviceToTransferToThrow(const QString &udid, const QCommandLineParser &args)
{
    const DeviceDescription device = connectedDeviceThrow(udid);
    acceptOrThrow(closeKikFirstNote(), args);
    return device;
}

int transferToDeviceThrow(const KikMessageList &messages, const DeviceDescription &device, const QString &account,
                          const QCommandLineParser &args)
{
    // The phone's store as it is now: the messages are merged into it.
    const DeviceKikMirror mirror = mirrorDeviceKikThrow(device, args, account);
    if (mirror.usedBackup) {
        // Asked before anything is merged, so that a "no" leaves even the mirror as it was.
        acceptOrThrow(deviceRestoreNotes(), args);
        requireRestorablePhoneThrow(device);
    }
    ConsoleProgress progress;
    IOSRestoreKikMsgThread merge(device, messages, &progress);
    merge.setDirect(!mirror.usedBackup);
    // Directly, the merge writes the phone: its success is the transfer's.
    if (mirror.usedBackup)
        runStepThrow(progress, merge);
    else
        runTaskThrow(progress, merge);
    if (mirror.usedBackup)
        restoreThroughDeviceBackupThrow(device, mirror, merge.fileList(), args);
    return merge.transferred();
}
