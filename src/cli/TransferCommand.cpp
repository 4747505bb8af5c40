#include "app/FileUtils.h"
#include "cli/CliBackup.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "device/DeviceCacheFolder.h"
#include "device/DeviceDescription.h"
#include "itunes/BackupManifest.h"
#include "workers/ConsoleProgress.h"
#include "workers/IOSMergeWAFiles2iTunesBKThread.h"
#include "workers/IOSRestoreKikMsgThread.h"
#include "workers/KikBackupAccounts.h"

#include <QDir>

#include <stdexcept>

namespace {

constexpr QLatin1StringView kToBackup("to-backup");
constexpr QLatin1StringView kChat("chat");
constexpr QLatin1StringView kAccount("account");
constexpr QLatin1StringView kSourceAccount("source-account");

// The mirror of the backup's Kik files goes whatever way the command ends.
class MirrorFolder
{
public:
    explicit MirrorFolder(const QString &path) : m_path(path) {}
    ~MirrorFolder() { removeFolderTree(m_path); }
    MirrorFolder(const MirrorFolder &) = delete;
    MirrorFolder &operator=(const MirrorFolder &) = delete;
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

class TransferCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("transfer"); }
    QString summary() const override { return QStringLiteral("Move messages into Kik's data in an iTunes backup."); }
    QString arguments() const override { return QStringLiteral("SOURCE"); }
    QString description() const override
    {
        return CliSource::optionsHelp().replace(QStringLiteral("--account ID"), QStringLiteral("--source-account ID"))
               + QStringLiteral(
                   "\n\nMerges the messages of SOURCE (or of its chat NAME only) into Kik's store inside the iTunes\n"
                   "backup DIR, as the window's \"Export Messages to iTunes Backup\" does: messages the store has\n"
                   "already are not added again. When the backup holds several Kik accounts, --account ID picks\n"
                   "the one written to. The backup changes all at once or not at all; Ctrl-C leaves it as it\n"
                   "was. An encrypted backup (and an encrypted SOURCE backup) takes its password as the other\n"
                   "commands do. Restore the backup onto the iPhone afterwards to see the messages in Kik.");
    }
    QList<QCommandLineOption> options() const override
    {
        QList<QCommandLineOption> options = CliSource::options();
        options.removeIf([](const QCommandLineOption &option) { return option.names().contains(kAccount); });
        options << QCommandLineOption(QString(kSourceAccount), QStringLiteral("The Kik account of a SOURCE backup to read."),
                                      QStringLiteral("ID"))
                << QCommandLineOption(QString(kToBackup), QStringLiteral("The iTunes backup to write into."), QStringLiteral("DIR"))
                << QCommandLineOption(QString(kChat), QStringLiteral("Transfer only the chat NAME."), QStringLiteral("NAME"))
                << QCommandLineOption(QString(kAccount), QStringLiteral("The Kik account of the backup to write into."),
                                      QStringLiteral("ID"));
        return options;
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("unexpected argument '%1'").arg(args.positionalArguments().first()));
        if (!args.isSet(kToBackup) || args.value(kToBackup).isEmpty())
            throw CliUsageError(QStringLiteral("transfer needs --to-backup DIR"));

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

        const QString folder = args.value(kToBackup);
        const QSharedPointer<BackupManifest> backup = openBackupThrow(folder, args);
        DeviceDescription device;
        device.udid = QStringLiteral("virtual_") + backup->identityKey();
        device.deviceName = backup->deviceName();
        const MirrorFolder mirror(deviceCacheFolder(device));
        KikBackupLocation location;
        extractKikThrow(backup, mirror.path(), args.value(kAccount), &location);

        ConsoleProgress mergeProgress;
        IOSRestoreKikMsgThread merge(device, messages, &mergeProgress);
        merge.setDirect(false);
        runTaskThrow(mergeProgress, merge);

        ConsoleProgress writeProgress;
        IOSMergeWAFiles2iTunesBKThread write(backup, placedInBackup(merge.fileList(), location), &writeProgress);
        runTaskThrow(writeProgress, write);
        printOut(QStringLiteral("Successfully transferred %1 messages into the iTunes backup %2.")
                     .arg(merge.transferred())
                     .arg(QDir::toNativeSeparators(backup->folder())));
        return CliExitOk;
    }
};

const CliRegistration<TransferCommand> registration;

} // namespace
