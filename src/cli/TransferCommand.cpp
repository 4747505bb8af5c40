#include "app/AppError.h"
#include "cli/CliCommand.h"
#include "cli/CliDevice.h"
#include "cli/CliSource.h"
#include "cli/ConsoleInteraction.h"
#include "flows/TransferToBackup.h"
#include "flows/TransferToPhone.h"

namespace {

constexpr QLatin1StringView kToBackup("to-backup");
constexpr QLatin1StringView kToDevice("to-device");
constexpr QLatin1StringView kYes("yes");
constexpr QLatin1StringView kChat("chat");
constexpr QLatin1StringView kAccount("account");
constexpr QLatin1StringView kSourceAccount("source-account");

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

        ConsoleInteraction interaction(args);
        interaction.setKikAccount(args.value(kAccount));
        KikDataSetPtr data;   // owns the messages until the transfer has ended
        const auto messages = [&] {
            data = CliSource::loadWithAccountOptionThrow(args, kSourceAccount);
            KikMessageList chosen;
            if (args.isSet(kChat)) {
                for (const KikChat *chat : CliSource::chatsNamedThrow(*data, args.value(kChat)))
                    chosen += chat->messages;
            } else {
                chosen = data->allMessages();
            }
            return chosen;
        };
        if (args.isSet(kToDevice)) {
            // The phone's user agrees first, before a long load of the source.
            const DeviceDescription phone = connectedDeviceThrow(args.value(kToDevice));
            ConsoleInteraction::requireDone(TransferToPhone(interaction, phone).run(messages));
            return CliExitOk;
        }
        const KikMessageList chosen = messages();
        if (chosen.isEmpty())
            failWith(QStringLiteral("There are no messages to transfer."));
        interaction.setBackupFolder(args.value(kToBackup));
        ConsoleInteraction::requireDone(TransferToBackup(interaction).run(chosen));
        return CliExitOk;
    }
};

const CliRegistration<TransferCommand> registration;

}   // namespace
