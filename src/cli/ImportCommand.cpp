#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "cli/ConsoleInteraction.h"
#include "flows/ImportFromBackup.h"
#include "flows/LocalDbBackup.h"

namespace {

const QString kInto = QStringLiteral("into");

class ImportCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("import"); }
    QString summary() const override { return QStringLiteral("Back up every message of a source into a local database."); }
    QString arguments() const override { return QStringLiteral("SOURCE"); }
    QString description() const override
    {
        return CliSource::optionsHelp()
               + QStringLiteral("\n\nThe local database NAME in the data folder is made when it does not exist; an existing one\n"
                                "gets what it lacks (users, chats, messages), nothing in it is changed or removed. Ctrl-C\n"
                                "stops the import and leaves the database as it was.");
    }
    QList<QCommandLineOption> options() const override
    {
        return CliSource::options()
               + QList<QCommandLineOption>{
                   QCommandLineOption(kInto, QStringLiteral("The local database to back up into."), QStringLiteral("NAME"))};
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("unexpected argument '%1'").arg(args.positionalArguments().first()));
        if (!args.isSet(kInto))
            throw CliUsageError(QStringLiteral("import needs --into NAME"));
        // A name that cannot be a database is told before a long load.
        localDatabaseFolderThrow(args.value(kInto));
        ConsoleInteraction interaction(args);
        interaction.setLocalDb(args.value(kInto));
        if (const QString backup = CliSource::backupFolderThrow(args); !backup.isEmpty()) {
            ImportFromBackup import(interaction);
            import.setWording(BackupKikMessagesThread::Wording::BackedUp);
            interaction.setBackupFolder(backup);
            interaction.setKikAccount(args.value(accountOption().names().constFirst()));
            ConsoleInteraction::requireDone(import.run());
        } else {
            const KikDataSetPtr data = CliSource::loadThrow(args);
            ConsoleInteraction::requireDone(backUpIntoLocalDb(interaction, data->allMessages(), args.value(kInto)));
        }
        return CliExitOk;
    }
};

const CliRegistration<ImportCommand> registration;

}   // namespace
