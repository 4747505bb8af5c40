#pragma once

#include "flows/Export.h"
#include "workers/BackupKikMessagesThread.h"

#include <QSharedPointer>
#include <QString>

class BackupManifest;
class FlowInteraction;

// "Import from iTunes Backup": Kik's messages out of an iTunes backup (its password asked for
// when encrypted, one of several accounts chosen), read and backed up whole into a local
// database the user names.
class PARLEWICK_FLOWS_EXPORT ImportFromBackup
{
public:
    explicit ImportFromBackup(FlowInteraction &interaction)
        : m_interaction(interaction)
    {
    }

    // The backup the user chooses. An empty proposedName proposes the phone's name + "_Backup".
    bool run(const QString &proposedName = QString());
    // A backup already chosen, its metadata read.
    bool importBackup(const QSharedPointer<BackupManifest> &backup, const QString &proposedName = QString());
    // A copy of Kik's app folder (appFolder/Documents/kik.sqlite), only read: the pictures of
    // attachment descriptions go to thumbsFolder (empty: appFolder's "thumbs").
    bool importKikFolder(const QString &appFolder, const QString &thumbsFolder, const QString &title,
                         const QString &proposedName);

    void setWording(BackupKikMessagesThread::Wording wording) { m_wording = wording; }

private:
    FlowInteraction &m_interaction;
    BackupKikMessagesThread::Wording m_wording = BackupKikMessagesThread::Wording::Imported;
};
