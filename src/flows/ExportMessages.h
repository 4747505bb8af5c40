#pragma once

#include "flows/Export.h"
#include "kik/KikMessage.h"

class FlowInteraction;

// Exports messages into a file (text, Word, CSV) or a folder of pages (PDF, HTML), as the user
// chose: where, which kind, how emoji are written; `what` names the messages for the front end.
// False when nothing was chosen, or the task failed (the user was told) or was canceled; raises
// when the choice names no kind of export.
PARLEWICK_FLOWS_EXPORT bool exportMessages(FlowInteraction &interaction, const KikMessageList &messages, const QString &what);
