#include "flows/ExportMessages.h"

#include "flows/FlowInteraction.h"
#include "workers/ExportMessagesThread.h"
#include "workers/ExportTarget.h"

bool exportMessages(FlowInteraction &interaction, const KikMessageList &messages, const QString &what)
{
    if (messages.isEmpty())
        return false;
    const ExportChoice choice = interaction.chooseExport(what);
    if (choice.path.isEmpty())
        return false;
    const ExportTarget target = ExportTarget::forChosenPath(choice.path, choice.kind);
    const std::unique_ptr<FlowTask> task = interaction.exportTask();
    ExportMessagesThread worker(messages, target.path, target.format, &task->target());
    worker.setEmojiStyle(choice.emoji);
    worker.setCsvFormulaGuard(choice.csvGuard);
    if (!task->run(worker))
        return false;
    interaction.exported(worker.exportedCount(), target.path);
    return true;
}
