#include "cli/BackupPassword.h"
#include "cli/CliCommand.h"
#include "cli/CliDevice.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "cli/ConsoleInteraction.h"
#include "flows/BackupReading.h"

#include <QDir>

namespace {

class ExtractCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("extract"); }
    QString summary() const override { return QStringLiteral("Copy Kik's files out of an iTunes backup or an iPhone."); }
    QString description() const override
    {
        return QStringLiteral("Writes Kik's store (Documents/kik.sqlite and its side files) and the folders attachments,\n"
                              "content_manager and profpix into OUT/com.kik.chat, decrypting an encrypted backup. A\n"
                              "Documents folder already there is replaced. Prints the folder written. When the backup\n"
                              "holds several Kik accounts, --account NAME (its Kik user name or id) picks one (without it the "
                              "accounts are listed).\n"
                              "With --device UDID a device backup of the connected iPhone is made first and read the same\n"
                              "way (an encrypted one asks for its password).");
    }
    QList<QCommandLineOption> options() const override
    {
        return {
            QCommandLineOption(QStringLiteral("backup"), QStringLiteral("The iTunes backup folder."), QStringLiteral("DIR")),
            QCommandLineOption(QStringLiteral("device"), QStringLiteral("The connected iPhone UDID."), QStringLiteral("UDID")),
            backupDirOption(),
            QCommandLineOption(QStringLiteral("out"), QStringLiteral("Where to write com.kik.chat."), QStringLiteral("DIR")),
            accountOption(),
            passwordFileOption()};
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("extract takes no arguments"));
        const bool fromDevice = args.isSet(QStringLiteral("device"));
        if (fromDevice == args.isSet(QStringLiteral("backup")) || !args.isSet(QStringLiteral("out")))
            throw CliUsageError(QStringLiteral("extract needs --backup DIR or --device UDID, and --out DIR"));
        const QString folder = fromDevice ? deviceBackupThrow(connectedDeviceThrow(args.value(QStringLiteral("device"))))
                                          : args.value(QStringLiteral("backup"));
        ConsoleInteraction interaction(args);
        interaction.setBackupFolder(folder);
        interaction.setKikAccount(args.value(QStringLiteral("account")));
        KikExtraction kik;
        ConsoleInteraction::requireDone(openAndExtractKik(interaction, interaction.chooseBackup(FlowInteraction::BackupUse::Read),
                                                          args.value(QStringLiteral("out")), kikNotFoundText(), &kik));
        printOut(QDir::toNativeSeparators(kik.appFolder));
        return CliExitOk;
    }
};

const CliRegistration<ExtractCommand> registration;

}   // namespace
