#include "flows/ExportMessages.h"

#include "flows/FlowInteraction.h"
#include "workers/ExportMessagesThread.h"
#include "workers/ExportTarget.h"

bool exportMessages(FlowInteraction &interaction, const KikMessageList &messages)
{
    if (messages.isEmpty())
        return false;
    const ExportChoice choice = interaction.chooseExport();
    if (choice.path.isEmpty())
        return false;
    const ExportTarget target = ExportTarget::forChosenPath(choice.path, choice.kind);
    const std::unique_ptr<FlowTask> task = interaction.lastTask();
    ExportMessagesThread worker(messages, target.path, target.format, &task->target());
    worker.setEmojiStyle(choice.emoji);
    worker.setCsvFormulaGuard(choice.csvGuard);
    return task->run(worker);
}
