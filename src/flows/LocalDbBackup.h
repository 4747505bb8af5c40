#pragma once

#include "flows/Export.h"
#include "kik/KikMessage.h"
#include "workers/BackupKikMessagesThread.h"

#include <QString>

class FlowInteraction;

// Backs messages up into a local database the user names (an existing one gets what it lacks).
// False when nothing was chosen, the name cannot be a database, or the task failed or was
// canceled (the user was told). proposedName is offered; wording says "imported" or "backed up".
PARLEWICK_FLOWS_EXPORT bool backUpIntoLocalDb(
    FlowInteraction &interaction, const KikMessageList &messages, const QString &proposedName,
    BackupKikMessagesThread::Wording wording = BackupKikMessagesThread::Wording::BackedUp);

// The database name proposed for the messages of a source.
PARLEWICK_FLOWS_EXPORT QString proposedLocalDbName(const QString &sourceName);
