#pragma once

#include "flows/Export.h"
#include "kik/KikMessage.h"

#include <QString>

class BackupManifest;
class FlowInteraction;

// "Export Messages to iTunes Backup": merges messages into Kik's data in an iTunes backup the
// user chooses and agrees to change. The backup's writer lock is held from before Kik's files
// are read until the commit has ended; the run merges into a private mirror of its own.
class PARLEWICK_FLOWS_EXPORT TransferToBackup
{
public:
    explicit TransferToBackup(FlowInteraction &interaction)
        : m_interaction(interaction)
    {
    }

    // False when nothing was written: declined, failed (the user was told) or canceled.
    bool run(const KikMessageList &messages);

    // The question before the backup is changed.
    static QString question(const BackupManifest &backup, int messages);
    // Which backup is meant, so that the user can tell it from the others of the same phone.
    static QString describe(const BackupManifest &backup);

private:
    FlowInteraction &m_interaction;
};
