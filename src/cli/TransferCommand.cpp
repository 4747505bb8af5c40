#include "app/PrivateCache.h"
#include "cli/CliBackup.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "cli/DeviceTransfer.h"
#include "device/DeviceDescription.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "workers/ConsoleProgress.h"
#include "workers/IOSMergeWAFiles2iTunesBKThread.h"
#include "workers/IOSRestoreKikMsgThread.h"
#include "workers/KikBackupAccounts.h"

#include <QDir>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

constexpr QLatin1StringView kToBackup("to-backup");
constexpr QLatin1StringView kToDevice("to-device");
constexpr QLatin1StringView kYes("yes");
constexpr QLatin1StringView kChat("chat");
constexpr QLatin1StringView kAccount("account");
constexpr QLatin1StringView kSourceAccount("source-account");

// One writer per backup: a second run waits here, saying so, until the first has ended.
void lockBackupThrow(BackupWriteLock &lock, const QString &folder)
{
    ConsoleProgress waiting;
    lock.acquireThrow([&](bool first) {
        if (first)
            printErr(BackupWriteLock::busyText(QDir(folder).absolutePath())
                     + QStringLiteral(" Waiting for it to finish (Ctrl-C stops)..."));
        if (waiting.isCanceled())
            throw CliCanceled();
    });
}

class TransferCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("transfer"); }
    QString summary() const override { return QStringLiteral("Move messages into Kik on an iPhone or in an iTunes backup."); }
    QString arguments() const override { return QStringLiteral("SOURCE"); }
    QString description() const override
    {
        return CliSource::optionsHelp().replace(QStringLiteral("--account NAME"), QStringLiteral("--source-account NAME"))
               + QStringLiteral("\n\nMerges the messages of SOURCE (or of its chat NAME only) into Kik's store, as the window\n"
                                "does: messages the store has already are not added again.\n"
                                "--to-backup DIR writes into the iTunes backup DIR (\"Export Messages to iTunes Backup\"). When\n"
                                "the backup holds several Kik accounts, --account NAME picks the one written to. The backup\n"
                                "changes all at once or not at all; Ctrl-C leaves it as it was. An encrypted backup (and an\n"
                                "encrypted SOURCE backup) takes its password as the other commands do. Restore the backup\n"
                                "onto the iPhone afterwards to see the messages in Kik.\n"
                                "--to-device UDID writes into Kik on the connected iPhone UDID: straight into Kik's container\n"
                                "when the iPhone serves it, else into a device backup of the iPhone that is then restored\n"
                                "onto it (--account NAME picks the account of that backup). Close Kik on the iPhone first;\n"
                                "for a restore enter the passcode on the iPhone and turn off iCloud Backup and Find My\n"
                                "iPhone. These notes are printed and must be accepted: --yes, or \"y\" at the terminal's\n"
                                "question; without a terminal and without --yes nothing is done (exit code 2).");
    }
    QList<QCommandLineOption> options() const override
    {
        QList<QCommandLineOption> options = CliSource::options();
        options.removeIf([](const QCommandLineOption &option) { return option.names().contains(kAccount); });
        options << QCommandLineOption(QString(kSourceAccount),
                                      QStringLiteral("The Kik account of a SOURCE backup or iPhone to read (user name or id)."),
                                      QStringLiteral("NAME"))
                << QCommandLineOption(QString(kToBackup), QStringLiteral("The iTunes backup to write into."),
                                      QStringLiteral("DIR"))
                << QCommandLineOption(QString(kToDevice), QStringLiteral("The connected iPhone to write into."),
                                      QStringLiteral("UDID"))
                << QCommandLineOption(QString(kYes), QStringLiteral("Accept the notes of a transfer to an iPhone."))
                << QCommandLineOption(QString(kChat), QStringLiteral("Transfer only the chat NAME."), QStringLiteral("NAME"))
                << QCommandLineOption(QString(kAccount), QStringLiteral("The Kik account to write into (user name or id)."),
                                      QStringLiteral("NAME"));
        return options;
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("unexpected argument '%1'").arg(args.positionalArguments().first()));
        if (args.isSet(kToBackup) && args.isSet(kToDevice))
            throw CliUsageError(QStringLiteral("--to-backup and --to-device cannot go together"));
        const QLatin1StringView target = args.isSet(kToDevice) ? kToDevice : kToBackup;
        if (!args.isSet(target) || args.value(target).isEmpty())
            throw CliUsageError(QStringLiteral("transfer needs --to-backup DIR or --to-device UDID"));
        if (args.isSet(kYes) && !args.isSet(kToDevice))
            throw CliUsageError(QStringLiteral("--yes goes only with --to-device"));
        if (args.isSet(kToDevice) && args.value(kToDevice) == args.value(QStringLiteral("device")))
            throw CliUsageError(QStringLiteral("the source and the target are the same iPhone"));

        // The phone's user agrees first, before a long load of the source.
        const DeviceDescription targetDevice =
            args.isSet(kToDevice) ? deviceToTransferToThrow(args.value(kToDevice), args) : DeviceDescription();
        const KikDataSetPtr data = CliSource::loadWithAccountOptionThrow(args, kSourceAccount);
        KikMessageList messages;
        if (args.isSet(kChat)) {
            for (const _KikChat *chat : CliSource::chatsNamedThrow(*data, args.value(kChat)))
                messages += chat->messages;
        } else {
            messages = data->allMessages();
        }
        if (messages.isEmpty())
            throw std::runtime_error("There are no messages to transfer.");
        if (args.isSet(kToDevice)) {
            const int transferred = transferToDeviceThrow(messages, targetDevice, args.value(kAccount), args);
            printOut(QStringLiteral("Successfully transferred %1 messages to iPhone.").arg(transferred));
            return CliExitOk;
        }

        const QString folder = args.value(kToBackup);
        QSharedPointer<BackupManifest> backup = openBackupThrow(folder, args);
        // Held from before Kik's files are read until the commit has ended; a run that wrote
        // meanwhile changed the list, which is then read again.
        BackupWriteLock lock(backup->folder());
        lockBackupThrow(lock, backup->folder());
        backup = BackupManifest::currentThrow(backup);
        // The run's own mirror of the backup's Kik files, private and gone however it ends.
        const std::unique_ptr<QTemporaryDir> mirror = privateTemporaryFolderThrow();
        DeviceDescription device;
        device.udid = mirror->path();
        device.deviceName = backup->deviceName();
        KikBackupLocation location;
        extractKikThrow(backup, mirror->path(), args.value(kAccount), &location);

        ConsoleProgress mergeProgress;
        IOSRestoreKikMsgThread merge(device, messages, &mergeProgress);
        merge.setDirect(false);
        runTaskThrow(mergeProgress, merge);

        ConsoleProgress writeProgress;
        IOSMergeWAFiles2iTunesBKThread write(backup, lock, placedInBackup(merge.fileList(), location), &writeProgress);
        runTaskThrow(writeProgress, write);
        printOut(QStringLiteral("Successfully transferred %1 messages into the iTunes backup %2.")
                     .arg(merge.transferred())
                     .arg(QDir::toNativeSeparators(backup->folder())));
        return CliExitOk;
    }
};

const CliRegistration<TransferCommand> registration;

}   // namespace
