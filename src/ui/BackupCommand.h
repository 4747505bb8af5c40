#pragma once

#include "ui/CommandScope.h"
#include "workers/BackupKikMessagesThread.h"

#include <QString>

class MainWindow;

// Backs messages up into a local database the user names (an existing one gets merged into),
// then shows that database with its chats.
class BackupCommand
{
public:
    explicit BackupCommand(MainWindow &window)
        : m_window(window)
    {
    }

    // The Backup family: the variant's messages, the name proposed after their source.
    void run(MessageVariant variant);
    // Asks for the database (proposing proposedName), backs the messages up and reloads it;
    // an import says "imported" at the end.
    void backUp(const CommandMessages &messages, const QString &proposedName,
                BackupKikMessagesThread::Wording wording = BackupKikMessagesThread::Wording::BackedUp);

    static QString proposedName(const QString &sourceName);

private:
    // The node of that name, letters compared without case; null when there is none.
    _LocalDbItemNode *existingLocalDbNode(const QString &name) const;

    MainWindow &m_window;
};
