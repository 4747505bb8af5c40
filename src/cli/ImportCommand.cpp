#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "workers/BackupKikMessagesThread.h"
#include "workers/ConsoleProgress.h"

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
        const QString folder = localDatabaseFolderThrow(args.value(kInto));
        const KikDataSetPtr data = CliSource::loadThrow(args);
        ConsoleProgress progress;
        BackupKikMessagesThread worker(data->allMessages(), folder, &progress);
        return reportOutcome(progress, progress.runWorker(worker));
    }
};

const CliRegistration<ImportCommand> registration;

}   // namespace
