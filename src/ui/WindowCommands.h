#pragma once

#include "ui/CommandScope.h"
#include "ui/Export.h"

class CommandHost;

// The user's commands of the menus, the tool bar and the context menus. Each family takes the
// messages its variant names and hands over to DeleteCommand or WindowFlows; the single
// commands stand on the current node. All of them work through the host alone.
class PARLEWICK_UI_EXPORT WindowCommands
{
public:
    explicit WindowCommands(CommandHost &host)
        : m_host(host)
    {
    }

    void backUp(MessageVariant variant);
    void exportToFile(MessageVariant variant);
    void print(MessageVariant variant);
    // Onto a phone (from a phone or a local database) or into an iTunes backup.
    void transferToPhone(MessageVariant variant);
    void transferToBackup(MessageVariant variant);
    void deleteMessages(MessageVariant variant);

    void importBackup();
    // Import from a backup proposing the current local database's name.
    void importIntoCurrentLocalDb();
    void openDatabaseFolder();
    void clearCache();
    void viewPhoneCacheFiles();
    void unmountPhone();
    // F5 and Retry Loading: the source read again, the same node selected after.
    void reloadSource();

    void checkForUpdate();
    void editPreferences();
    void showHelp();
    void sendFeedback();
    void showAbout();
    void openHomePage();

private:
    CommandHost &m_host;
};
