#include "flows/LocalDbBackup.h"

#include "flows/FlowInteraction.h"
#include "kik/LocalDbCatalogue.h"

bool backUpIntoLocalDb(FlowInteraction &interaction, const KikMessageList &messages, const QString &proposedName,
                       BackupKikMessagesThread::Wording wording)
{
    if (messages.isEmpty())
        return false;
    const LocalDbCatalogue catalogue;
    const QString name = interaction.chooseLocalDb(catalogue.names(), proposedName);
    if (name.isEmpty())
        return false;
    // The name becomes a folder: whatever chose it, it may not lead out of the databases folder.
    if (const QString problem = LocalDbCatalogue::nameProblem(name); !problem.isEmpty()) {
        interaction.warn(FlowInteraction::Warning::Stop, problem);
        return false;
    }
    const QString storedName = catalogue.storedName(name);
    const std::unique_ptr<FlowTask> task = interaction.lastTask();
    BackupKikMessagesThread worker(messages, catalogue.folderOf(storedName), &task->target());
    worker.setWording(wording);
    const bool succeeded = task->run(worker);
    interaction.localDbWritten(storedName, succeeded);
    return succeeded;
}

QString proposedLocalDbName(const QString &sourceName)
{
    return sourceName + QStringLiteral("_Backup");
}
